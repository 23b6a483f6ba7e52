// The AVX-512 level (BW, VL, VBMI and VBMI2): 64 bytes per step; the UTF
// conversions take mixed runs of one-, two- and three-byte characters
// through byte compression and permutation.
#include "simd/kernels.h"
#include "simd/utf_steps.h"

#if defined(__x86_64__)
#if defined(__GNUC__) && !defined(__clang__)
// GCC 12 takes the deliberately undefined vectors inside its own AVX-512
// intrinsics for uninitialized reads.
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#endif
#include <immintrin.h>

#define KMV_AVX512                                               \
  __attribute__((                                                \
      target("avx512f,avx512bw,avx512vl,avx512vbmi,avx512vbmi2," \
             "avx2,bmi,bmi2,popcnt")))

namespace kmv::simd {
namespace {

KMV_AVX512 inline __m512i load64(const Byte *p) {
  return _mm512_loadu_si512(p);
}

KMV_AVX512 inline void store64(Byte *p, __m512i v) {
  _mm512_storeu_si512(p, v);
}

// Bit j set where byte j is 01 to 7F.
KMV_AVX512 inline uint64_t ascii_bytes(__m512i v) {
  return _mm512_cmpgt_epi8_mask(v, _mm512_setzero_si512());
}

KMV_AVX512 inline __m512i swap_bytes(__m512i v) {
  return _mm512_or_si512(_mm512_slli_epi16(v, 8), _mm512_srli_epi16(v, 8));
}

KMV_AVX512 size_t copy_ascii(const Byte *p, const Byte *stop, Byte *dst) {
  const Byte *s = p;
  for (; stop - s >= 64; s += 64) {
    const __m512i v = load64(s);
    store64(dst + (s - p), v);
    const uint64_t ok = ascii_bytes(v);
    if (ok != ~uint64_t{0}) {
      return static_cast<size_t>(s - p) +
             static_cast<size_t>(__builtin_ctzll(~ok));
    }
  }
  Byte *d = dst + (s - p);
  while (s < stop && *s - 1u < 0x7Fu) *d++ = *s++;
  return static_cast<size_t>(s - p);
}

template <bool kBig>
KMV_AVX512 size_t widen_ascii(const Byte *p, const Byte *stop, Byte *dst) {
  const Byte *s = p;
  for (; stop - s >= 64; s += 64) {
    const __m512i v = load64(s);
    __m512i lo = _mm512_cvtepu8_epi16(_mm512_castsi512_si256(v));
    __m512i hi = _mm512_cvtepu8_epi16(_mm512_extracti64x4_epi64(v, 1));
    if (kBig) {
      lo = _mm512_slli_epi16(lo, 8);
      hi = _mm512_slli_epi16(hi, 8);
    }
    Byte *d = dst + 2 * (s - p);
    store64(d, lo);
    store64(d + 64, hi);
    const uint64_t ok = ascii_bytes(v);
    if (ok != ~uint64_t{0}) {
      return static_cast<size_t>(s - p) +
             static_cast<size_t>(__builtin_ctzll(~ok));
    }
  }
  for (; s < stop && *s - 1u < 0x7Fu; ++s)
    put_unit(*s, dst + 2 * (s - p), kBig);
  return static_cast<size_t>(s - p);
}

template <bool kBig>
KMV_AVX512 inline __m512i load_units(const Byte *p) {
  const __m512i v = load64(p);
  return kBig ? swap_bytes(v) : v;
}

// Bit j set where unit j is 0001 to 007F.
KMV_AVX512 inline uint32_t ascii_units(__m512i u) {
  return _mm512_cmplt_epu16_mask(_mm512_sub_epi16(u, _mm512_set1_epi16(1)),
                                 _mm512_set1_epi16(0x7F));
}

template <bool kBig>
KMV_AVX512 size_t narrow_ascii(const Byte *p, const Byte *stop, Byte *dst) {
  const Byte *s = p;
  for (; stop - s >= 128; s += 128) {
    const __m512i a = load_units<kBig>(s), b = load_units<kBig>(s + 64);
    Byte *d = dst + (s - p) / 2;
    _mm256_storeu_si256(reinterpret_cast<__m256i *>(d),
                        _mm512_cvtepi16_epi8(a));
    _mm256_storeu_si256(reinterpret_cast<__m256i *>(d + 32),
                        _mm512_cvtepi16_epi8(b));
    const uint64_t ok = ascii_units(a) | uint64_t{ascii_units(b)} << 32;
    if (ok != ~uint64_t{0}) {
      return static_cast<size_t>(s - p) / 2 +
             static_cast<size_t>(__builtin_ctzll(~ok));
    }
  }
  for (; stop - s >= 2; s += 2) {
    const uint32_t u = unit_at(s, kBig);
    if (u - 1 >= 0x7F) break;
    dst[(s - p) / 2] = static_cast<Byte>(u);
  }
  return static_cast<size_t>(s - p) / 2;
}

// Bit j set where unit j is a surrogate.
KMV_AVX512 inline uint32_t surrogate_units(__m512i u) {
  return _mm512_cmpeq_epi16_mask(
      _mm512_and_si512(u, _mm512_set1_epi16(static_cast<short>(0xF800))),
      _mm512_set1_epi16(static_cast<short>(0xD800)));
}

KMV_AVX512 size_t swap_units(const Byte *p, const Byte *stop, Byte *dst) {
  const Byte *s = p;
  Byte *d = dst;
  for (; stop - s >= 64; s += 64, d += 64) store64(d, swap_bytes(load64(s)));
  for (; stop - s >= 2; s += 2, d += 2) {
    d[0] = s[1];
    d[1] = s[0];
  }
  return static_cast<size_t>(s - p);
}

// Sixteen units (zero-extended to 32 bits) as their UTF-8 forms, packed.
// Returns the bytes stored at d (a whole vector is stored).
KMV_AVX512 inline unsigned utf8_of_16_units(__m512i u, uint32_t take, Byte *d) {
  const __m512i one_byte = _mm512_set1_epi32(0x80);
  const __m512i two_byte = _mm512_set1_epi32(0x800);
  const __m512i low6 = _mm512_set1_epi32(0x3F);
  const __m512i trail = _mm512_set1_epi32(0x80);
  const __mmask16 wide = _mm512_cmpge_epu32_mask(u, two_byte);
  const __mmask16 multi = _mm512_cmpge_epu32_mask(u, one_byte);
  // First byte by length: u, C0 | u >> 6, E0 | u >> 12.
  __m512i b0 = _mm512_mask_or_epi32(u, multi, _mm512_srli_epi32(u, 6),
                                    _mm512_set1_epi32(0xC0));
  b0 = _mm512_mask_or_epi32(b0, wide, _mm512_srli_epi32(u, 12),
                            _mm512_set1_epi32(0xE0));
  const __m512i last = _mm512_or_si512(_mm512_and_si512(u, low6), trail);
  const __m512i middle =
      _mm512_or_si512(_mm512_and_si512(_mm512_srli_epi32(u, 6), low6), trail);
  // Two bytes: b0 last; three bytes: b0 middle last.
  __m512i b1 = _mm512_maskz_mov_epi32(multi, last);
  b1 = _mm512_mask_mov_epi32(b1, wide, middle);
  const __m512i b2 = _mm512_maskz_mov_epi32(wide, last);
  const __m512i forms = _mm512_or_si512(
      b0, _mm512_or_si512(_mm512_slli_epi32(b1, 8), _mm512_slli_epi32(b2, 16)));
  const uint64_t keep = _pdep_u64(take, 0x1111111111111111ull) |
                        _pdep_u64(take & multi, 0x2222222222222222ull) |
                        _pdep_u64(take & wide, 0x4444444444444444ull);
  store64(d, _mm512_maskz_compress_epi8(keep, forms));
  return static_cast<unsigned>(__builtin_popcountll(keep));
}

template <bool kBig>
KMV_AVX512 size_t utf8_from_units(const Byte *p, const Byte *stop, Byte *dst,
                                  size_t *written) {
  const Byte *s = p;
  Byte *d = dst;
  // 32 units per step; their output (up to 96 bytes, stored as whole
  // vectors) stays within 3 bytes per unit of the 64 units ahead.
  while (stop - s >= 128) {
    const __m512i v = load_units<kBig>(s);
    const uint32_t surrogates = surrogate_units(v);
    const uint32_t take =
        surrogates == 0 ? ~0u : (1u << __builtin_ctz(surrogates)) - 1;
    if (take == 0) break;
    if (_mm512_cmpge_epu16_mask(v, _mm512_set1_epi16(0x80)) == 0) {
      _mm256_storeu_si256(reinterpret_cast<__m256i *>(d),
                          _mm512_cvtepi16_epi8(v));
      d += __builtin_popcount(take);
    } else {
      d += utf8_of_16_units(_mm512_cvtepu16_epi32(_mm512_castsi512_si256(v)),
                            take & 0xFFFF, d);
      d += utf8_of_16_units(
          _mm512_cvtepu16_epi32(_mm512_extracti64x4_epi64(v, 1)), take >> 16,
          d);
    }
    s += 2 * __builtin_popcount(take);
    if (take != ~0u) break;
  }
  *written = static_cast<size_t>(d - dst);
  return static_cast<size_t>(s - p) / 2;
}

// The plain characters of a 64-byte block (one to three bytes, none
// overlong, none a surrogate): bit j of `starts` set where one begins that
// is wholly before the last character start of the block that precedes
// anything not plain. `length` is where the last of them ends, 0 if none.
struct PlainChars {
  uint64_t starts;
  unsigned length;
  // Every first byte of a two- or three-byte form in the block: those at
  // `starts` come first.
  uint64_t leads;
};

KMV_AVX512 inline PlainChars plain_chars(__m512i v) {
  const uint64_t trail = _mm512_cmpeq_epi8_mask(
      _mm512_and_si512(v, _mm512_set1_epi8(static_cast<char>(0xC0))),
      _mm512_set1_epi8(static_cast<char>(0x80)));
  const uint64_t high = _mm512_movepi8_mask(v);
  const uint64_t lead2 = _mm512_cmplt_epu8_mask(
      _mm512_sub_epi8(v, _mm512_set1_epi8(static_cast<char>(0xC2))),
      _mm512_set1_epi8(0x1E));
  const uint64_t lead3 = _mm512_cmplt_epu8_mask(
      _mm512_sub_epi8(v, _mm512_set1_epi8(static_cast<char>(0xE0))),
      _mm512_set1_epi8(0x10));
  const uint64_t low_second =
      _mm512_cmplt_epu8_mask(v, _mm512_set1_epi8(static_cast<char>(0xA0)));
  const uint64_t e0 =
      _mm512_cmpeq_epi8_mask(v, _mm512_set1_epi8(static_cast<char>(0xE0)));
  const uint64_t ed =
      _mm512_cmpeq_epi8_mask(v, _mm512_set1_epi8(static_cast<char>(0xED)));
  const uint64_t expected_trail = (lead2 | lead3) << 1 | lead3 << 2;
  // Overlong three-byte forms (E0 80-9F) and surrogates (ED A0-BF).
  const uint64_t bad_second = (e0 << 1 & low_second) | (ed << 1 & ~low_second);
  const uint64_t bad =
      (high & ~trail & ~lead2 & ~lead3) | (trail ^ expected_trail) | bad_second;
  const unsigned first_bad =
      bad == 0 ? 64 : static_cast<unsigned>(__builtin_ctzll(bad));
  const uint64_t starts =
      ~trail &
      (first_bad == 64 ? ~uint64_t{0} : (uint64_t{1} << first_bad) - 1);
  if (starts == 0) return {0, 0, 0};
  // The last start may begin a character that the block or the bad byte
  // cuts: leave it.
  const unsigned last = 63u - static_cast<unsigned>(__builtin_clzll(starts));
  const uint64_t take = starts & ~(uint64_t{1} << last);
  return {take, take == 0 ? 0 : last, lead2 | lead3};
}

// The unit of each plain character whose first bytes (up to three, as
// many as its first byte says) are in the 16-bit lanes of b0, b1, b2.
KMV_AVX512 inline __m512i unit_of_bytes(__m512i b0, __m512i b1, __m512i b2) {
  const __m512i low6 = _mm512_set1_epi16(0x3F);
  const __m512i two = _mm512_or_si512(
      _mm512_slli_epi16(_mm512_and_si512(b0, _mm512_set1_epi16(0x1F)), 6),
      _mm512_and_si512(b1, low6));
  const __m512i three = _mm512_or_si512(
      _mm512_or_si512(_mm512_slli_epi16(b0, 12),
                      _mm512_slli_epi16(_mm512_and_si512(b1, low6), 6)),
      _mm512_and_si512(b2, low6));
  const __mmask32 multi = _mm512_cmpge_epu16_mask(b0, _mm512_set1_epi16(0x80));
  const __mmask32 wide = _mm512_cmpge_epu16_mask(b0, _mm512_set1_epi16(0xE0));
  const __m512i u = _mm512_mask_mov_epi16(b0, multi, two);
  return _mm512_mask_mov_epi16(u, wide, three);
}

// The units of the first 32 plain characters that begin at the set bits
// of `starts`, in order, in 16-bit lanes.
KMV_AVX512 inline __m512i units_of_chars(__m512i v, uint64_t starts) {
  const __m512i at = _mm512_maskz_compress_epi8(
      starts,
      _mm512_set_epi8(63, 62, 61, 60, 59, 58, 57, 56, 55, 54, 53, 52, 51, 50,
                      49, 48, 47, 46, 45, 44, 43, 42, 41, 40, 39, 38, 37, 36,
                      35, 34, 33, 32, 31, 30, 29, 28, 27, 26, 25, 24, 23, 22,
                      21, 20, 19, 18, 17, 16, 15, 14, 13, 12, 11, 10, 9, 8, 7,
                      6, 5, 4, 3, 2, 1, 0));
  const __m256i one = _mm256_set1_epi8(1);
  const __m256i low_at = _mm512_castsi512_si256(at);
  const __m512i b0 = _mm512_cvtepu8_epi16(
      _mm512_castsi512_si256(_mm512_permutexvar_epi8(at, v)));
  const __m512i b1 =
      _mm512_cvtepu8_epi16(_mm512_castsi512_si256(_mm512_permutexvar_epi8(
          _mm512_castsi256_si512(_mm256_add_epi8(low_at, one)), v)));
  const __m512i b2 = _mm512_cvtepu8_epi16(_mm512_castsi512_si256(
      _mm512_permutexvar_epi8(_mm512_castsi256_si512(_mm256_add_epi8(
                                  low_at, _mm256_add_epi8(one, one))),
                              v)));
  return unit_of_bytes(b0, b1, b2);
}

// The characters that begin in the 64-byte block at s, read with the two
// bytes after it (the reader keeps 66 bytes): `carry` has bit j set when
// byte j continues a character of the block before. When all of them are
// plain (see plain_chars), the block is taken whole and the step is always
// 64 bytes, so the next block's load never waits for this one's reading;
// `carry` is then what the next block begins with. Otherwise `length`
// ends before the last character start that precedes anything not plain
// (or after the carried bytes), and `carry` is 0. It reads the bytes as
// plain_chars does, in its own copy: sharing that reading through helpers
// made UTF-8 to Shift_JIS a tenth slower.
struct StrideChars {
  uint64_t starts;
  unsigned length;
  uint64_t carry;
};

KMV_AVX512 inline uint64_t trail_bytes(__m512i v) {
  return _mm512_cmpeq_epi8_mask(
      _mm512_and_si512(v, _mm512_set1_epi8(static_cast<char>(0xC0))),
      _mm512_set1_epi8(static_cast<char>(0x80)));
}

KMV_AVX512 inline StrideChars stride_chars(__m512i v, __m512i after2,
                                           uint64_t carry) {
  const uint64_t trail = trail_bytes(v);
  const uint64_t high = _mm512_movepi8_mask(v);
  const uint64_t lead2 = _mm512_cmplt_epu8_mask(
      _mm512_sub_epi8(v, _mm512_set1_epi8(static_cast<char>(0xC2))),
      _mm512_set1_epi8(0x1E));
  const uint64_t lead3 = _mm512_cmplt_epu8_mask(
      _mm512_sub_epi8(v, _mm512_set1_epi8(static_cast<char>(0xE0))),
      _mm512_set1_epi8(0x10));
  const __m512i a0 = _mm512_set1_epi8(static_cast<char>(0xA0));
  const uint64_t low_second = _mm512_cmplt_epu8_mask(v, a0);
  const uint64_t e0 =
      _mm512_cmpeq_epi8_mask(v, _mm512_set1_epi8(static_cast<char>(0xE0)));
  const uint64_t ed =
      _mm512_cmpeq_epi8_mask(v, _mm512_set1_epi8(static_cast<char>(0xED)));
  // Bytes 64 and 65, the top two of the block two bytes on.
  const uint64_t trail_after = trail_bytes(after2) >> 62;
  const uint64_t low_after = _mm512_cmplt_epu8_mask(after2, a0) >> 62 & 1;
  const uint64_t leads = lead2 | lead3;
  const uint64_t expected = leads << 1 | lead3 << 2 | carry;
  const uint64_t expected_after = leads >> 63 | lead3 >> 62;
  // Overlong three-byte forms (E0 80-9F) and surrogates (ED A0-BF).
  const uint64_t bad_second = (e0 << 1 & low_second) | (ed << 1 & ~low_second);
  const uint64_t bad_after = (expected_after & ~trail_after) |
                             (e0 >> 63 & low_after) | (ed >> 63 & ~low_after);
  const uint64_t bad =
      (high & ~trail & ~leads) | (trail ^ expected) | bad_second;
  if (bad == 0 && bad_after == 0) [[likely]] {
    return {~trail, 64, expected_after};
  }
  const unsigned first_bad =
      bad == 0 ? 64 : static_cast<unsigned>(__builtin_ctzll(bad));
  const uint64_t starts =
      ~trail &
      (first_bad == 64 ? ~uint64_t{0} : (uint64_t{1} << first_bad) - 1);
  if (starts == 0) {
    return {0, static_cast<unsigned>(__builtin_popcountll(carry)), 0};
  }
  // The last start may begin a character that the bad byte cuts: leave it.
  const unsigned last = 63u - static_cast<unsigned>(__builtin_clzll(starts));
  return {starts & ~(uint64_t{1} << last), last, 0};
}

// The characters stride_chars takes from the block at s, as UTF-16 units
// (stored as two whole vectors at d; *units gets their count). Its own
// copy of units_of_chars, for 64 of them: calling a shared helper here was
// measured a quarter slower. The three bytes of each character are read
// from the block and from it one and two bytes on, so that a character
// that begins in the block may end after it.
template <bool kBig>
KMV_AVX512 inline StrideChars units_of_block(const Byte *s, uint64_t carry,
                                             Byte *d, unsigned *units) {
  const __m512i v = load64(s), after2 = load64(s + 2);
  const StrideChars chars = stride_chars(v, after2, carry);
  *units = static_cast<unsigned>(__builtin_popcountll(chars.starts));
  const __m512i at = _mm512_maskz_compress_epi8(
      chars.starts,
      _mm512_set_epi8(63, 62, 61, 60, 59, 58, 57, 56, 55, 54, 53, 52, 51, 50,
                      49, 48, 47, 46, 45, 44, 43, 42, 41, 40, 39, 38, 37, 36,
                      35, 34, 33, 32, 31, 30, 29, 28, 27, 26, 25, 24, 23, 22,
                      21, 20, 19, 18, 17, 16, 15, 14, 13, 12, 11, 10, 9, 8, 7,
                      6, 5, 4, 3, 2, 1, 0));
  const __m512i first = _mm512_permutexvar_epi8(at, v);
  const __m512i second = _mm512_permutexvar_epi8(at, load64(s + 1));
  const __m512i third = _mm512_permutexvar_epi8(at, after2);
  for (int half = 0; half < (*units > 32 ? 2 : 1); ++half) {
    const __m512i b0 =
        _mm512_cvtepu8_epi16(half == 0 ? _mm512_castsi512_si256(first)
                                       : _mm512_extracti64x4_epi64(first, 1));
    const __m512i b1 =
        _mm512_cvtepu8_epi16(half == 0 ? _mm512_castsi512_si256(second)
                                       : _mm512_extracti64x4_epi64(second, 1));
    const __m512i b2 =
        _mm512_cvtepu8_epi16(half == 0 ? _mm512_castsi512_si256(third)
                                       : _mm512_extracti64x4_epi64(third, 1));
    const __m512i u = unit_of_bytes(b0, b1, b2);
    store64(d + 64 * half, kBig ? swap_bytes(u) : u);
  }
  return chars;
}

// Sixteen three-byte characters in the first 48 bytes of the block (none
// overlong, none a surrogate) as units in the low 16 lanes of u; false if
// they are not that.
KMV_AVX512 inline bool three_byte_units(__m512i v, __m512i &u) {
  alignas(64) static constexpr signed char kForm[2][64] = {
      {-16, -64, -64, -16, -64, -64, -16, -64, -64, -16, -64, -64,
       -16, -64, -64, -16, -64, -64, -16, -64, -64, -16, -64, -64,
       -16, -64, -64, -16, -64, -64, -16, -64, -64, -16, -64, -64,
       -16, -64, -64, -16, -64, -64, -16, -64, -64, -16, -64, -64},
      {-32, -128, -128, -32, -128, -128, -32, -128, -128, -32, -128, -128,
       -32, -128, -128, -32, -128, -128, -32, -128, -128, -32, -128, -128,
       -32, -128, -128, -32, -128, -128, -32, -128, -128, -32, -128, -128,
       -32, -128, -128, -32, -128, -128, -32, -128, -128, -32, -128, -128}};
  const __m512i bits_used = _mm512_load_si512(kForm[0]);
  const __m512i form = _mm512_load_si512(kForm[1]);
  if (_mm512_cmpneq_epi8_mask(_mm512_and_si512(v, bits_used), form) != 0) {
    return false;
  }
  // Unit i from bytes 3i (lead), 3i + 1 and 3i + 2.
  alignas(64) static constexpr char kPick[2][64] = {
      {1,  0,  4,  3,  7,  6,  10, 9,  13, 12, 16, 15, 19, 18, 22, 21,
       25, 24, 28, 27, 31, 30, 34, 33, 37, 36, 40, 39, 43, 42, 46, 45},
      {2,  2,  5,  5,  8,  8,  11, 11, 14, 14, 17, 17, 20, 20, 23, 23,
       26, 26, 29, 29, 32, 32, 35, 35, 38, 38, 41, 41, 44, 44, 47, 47}};
  const __m512i lead_middle =
      _mm512_permutexvar_epi8(_mm512_load_si512(kPick[0]), v);
  const __m512i last = _mm512_permutexvar_epi8(_mm512_load_si512(kPick[1]), v);
  const __m512i low6 = _mm512_set1_epi16(0x3F);
  u = _mm512_or_si512(
      _mm512_or_si512(
          _mm512_slli_epi16(_mm512_srli_epi16(lead_middle, 8), 12),
          _mm512_slli_epi16(_mm512_and_si512(lead_middle, low6), 6)),
      _mm512_and_si512(last, low6));
  const __mmask32 bad =
      _mm512_cmplt_epu16_mask(u, _mm512_set1_epi16(0x800)) | surrogate_units(u);
  return (bad & 0xFFFFu) == 0;
}

// Sixteen three-byte characters at s as 32 bytes of UTF-16 at d.
template <bool kBig>
KMV_AVX512 inline bool units_of_three_byte_block(const Byte *s, Byte *d) {
  __m512i u;
  if (!three_byte_units(load64(s), u)) return false;
  _mm256_storeu_si256(reinterpret_cast<__m256i *>(d),
                      _mm512_castsi512_si256(kBig ? swap_bytes(u) : u));
  return true;
}

// Shift_JIS (or EUC-JP) codes of the units (32-bit lanes) at the set bits
// of `use`, through a table from UTF-16 whose entries of 4000 and above are
// two-byte codes; false when one of them is beyond the table or has an
// entry below 4000, or, in Shift_JIS, is half-width katakana (written
// without the table). Each lane reads the entry before its unit as well
// (see known_codes).
template <bool kSjis = true>
KMV_AVX512 inline bool sjis_codes(__m512i u, __mmask16 use,
                                  const uint16_t *table, __m512i limit,
                                  __m256i *codes) {
  const __mmask16 kana = _mm512_mask_cmplt_epu32_mask(
      use, _mm512_sub_epi32(u, _mm512_set1_epi32(0xFF61)),
      _mm512_set1_epi32(0x3F));
  if ((kSjis && kana != 0) ||
      _mm512_mask_cmplt_epu32_mask(use, u, limit) != use) {
    return false;
  }
  const __m512i entries = _mm512_srli_epi32(
      _mm512_mask_i32gather_epi32(_mm512_setzero_si512(), use,
                                  _mm512_sub_epi32(u, _mm512_set1_epi32(1)),
                                  table, 2),
      16);
  if (_mm512_mask_cmplt_epu32_mask(use, entries, _mm512_set1_epi32(0x4000)) !=
      0) {
    return false;
  }
  *codes = _mm512_cvtepi32_epi16(entries);
  return true;
}

// The table's row of U+3000 to U+30FF (kana and the marks of Japanese
// text), 256 entries in eight registers, read by word permutation instead
// of gathered. All zero (no code: the kernel stops there) for a table
// that ends before it. Entries are held byte-swapped, as they are written
// (first byte lowest), and so are the other entries of a block.
struct KanaRow {
  __m512i part[8];
};

KMV_AVX512 inline KanaRow load_kana_row(const uint16_t *table, uint64_t size) {
  KanaRow row;
  for (unsigned i = 0; i < 8; ++i) {
    row.part[i] = size >= 0x3100
                      ? swap_bytes(_mm512_loadu_si512(table + 0x3000 + 32 * i))
                      : _mm512_setzero_si512();
  }
  return row;
}

// The row's entries at the low bytes of the units (16-bit lanes).
KMV_AVX512 inline __m512i kana_row_entries(const KanaRow &row, __m512i u) {
  const __m512i q0 = _mm512_permutex2var_epi16(row.part[0], u, row.part[1]);
  const __m512i q1 = _mm512_permutex2var_epi16(row.part[2], u, row.part[3]);
  const __m512i q2 = _mm512_permutex2var_epi16(row.part[4], u, row.part[5]);
  const __m512i q3 = _mm512_permutex2var_epi16(row.part[6], u, row.part[7]);
  const __mmask32 bit6 = _mm512_test_epi16_mask(u, _mm512_set1_epi16(0x40));
  const __mmask32 bit7 = _mm512_test_epi16_mask(u, _mm512_set1_epi16(0x80));
  return _mm512_mask_blend_epi16(bit7, _mm512_mask_blend_epi16(bit6, q0, q1),
                                 _mm512_mask_blend_epi16(bit6, q2, q3));
}

// The table entries of the first eight units at the set bits of `far`
// (16-bit lanes, none below 0080) put in their lanes of `codes`, the
// other lanes of `far` get 0, and so does a unit beyond the table or of
// half-width katakana (written without the table). Read one by one
// through general registers: a gather costs about as much as sixteen
// loads whatever number of lanes it reads, and holds up the vector work
// around it.
KMV_AVX512 inline __m512i read_far(__m512i u, __mmask32 far,
                                   const uint16_t *table, __m512i limit16,
                                   __m512i codes) {
  const __m128i packed =
      _mm512_castsi512_si128(_mm512_maskz_compress_epi16(far, u));
  const __mmask8 kana = _mm_cmplt_epu16_mask(
      _mm_sub_epi16(packed, _mm_set1_epi16(static_cast<short>(0xFF61))),
      _mm_set1_epi16(0x3F));
  const __mmask8 use = _mm_mask_cmplt_epu16_mask(
      static_cast<__mmask8>(~kana), packed, _mm512_castsi512_si128(limit16));
  const __m128i at = _mm_maskz_mov_epi16(use, packed);
  // Four entries byte-swapped: in reverse order, then the whole word.
  const auto entries_of = [table](uint64_t four) {
    uint64_t e = __builtin_bswap64(uint64_t{table[four & 0xFFFF]} << 48 |
                                   uint64_t{table[four >> 16 & 0xFFFF]} << 32 |
                                   uint64_t{table[four >> 32 & 0xFFFF]} << 16 |
                                   uint64_t{table[four >> 48]});
    // Kept in a general register: the compiler would otherwise pair the
    // two halves in vector registers, at a cost.
    __asm__("" : "+r"(e));
    return e;
  };
  const __m128i entries = _mm_set_epi64x(
      static_cast<long long>(
          entries_of(static_cast<uint64_t>(_mm_extract_epi64(at, 1)))),
      static_cast<long long>(
          entries_of(static_cast<uint64_t>(_mm_cvtsi128_si64(at)))));
  return _mm512_mask_expand_epi16(
      codes, far, _mm512_castsi128_si512(_mm_maskz_mov_epi16(use, entries)));
}

// What sjis_of_block took: source bytes and bytes stored, and whether it
// stopped before a character without a two-byte code.
struct SjisBlock {
  unsigned taken;
  unsigned written;
  bool failed;
};

// The characters of a 64-byte block that plain_chars takes, in Shift_JIS
// at d (a whole vector is stored): ASCII as is, the others through the
// table, whose two bytes take the place of their first two. Of those not
// in the kana row only eight are read: the block ends before the ninth. A
// character whose entry is not a two-byte code ends the block and the run.
// Where the block ends is known from plain_chars alone unless one of those
// two (both rare) happens, so the next block need not wait for this one.
KMV_AVX512 inline SjisBlock sjis_of_block(__m512i v, Byte *d,
                                          const uint16_t *table,
                                          __m512i limit16, const KanaRow &row) {
  const PlainChars chars = plain_chars(v);
  if (chars.length == 0) return {0, 0, false};
  const uint64_t multi = chars.starts & _mm512_movepi8_mask(v);
  // Units of all leads: the first of them, those taken, are known before
  // the rest of plain_chars is, and the table reads need not wait for it.
  const __m512i u = units_of_chars(v, chars.leads);
  const auto lanes = static_cast<__mmask32>(_pext_u64(multi, multi));
  const __mmask32 far = _mm512_cmpneq_epi16_mask(_mm512_srli_epi16(u, 8),
                                                 _mm512_set1_epi16(0x30));
  const __m512i codes =
      read_far(u, far, table, limit16, kana_row_entries(row, u));
  const __m512i out = _mm512_mask_expand_epi8(v, multi | multi << 1, codes);
  const uint64_t keep = (chars.starts & ~multi) | multi | multi << 1;
  store64(d, _mm512_maskz_compress_epi8(keep, out));
  // A far unit past the eighth has no entry read: it fails here too.
  const __mmask32 failed = _mm512_mask_cmplt_epu16_mask(
      lanes, _mm512_and_si512(codes, _mm512_set1_epi16(0xFF)),
      _mm512_set1_epi16(0x40));
  if (failed != 0) [[unlikely]] {
    const auto lane = static_cast<unsigned>(__builtin_ctz(failed));
    const uint64_t at = _pdep_u64(uint64_t{1} << lane, multi);
    const bool ninth_far = __builtin_popcount(far & ((1u << lane) - 1)) == 8;
    return {static_cast<unsigned>(__builtin_ctzll(at)),
            static_cast<unsigned>(__builtin_popcountll(keep & (at - 1))),
            !ninth_far};
  }
  return {chars.length, static_cast<unsigned>(__builtin_popcountll(keep)),
          false};
}

// A run of ASCII is copied; any other block goes by sjis_of_block. Stops
// before a step that takes nothing. Every step stores whole vectors: the
// output of 64 bytes of source is at most 64 bytes.
KMV_AVX512 size_t sjis_from_utf8(const Byte *p, const Byte *stop, Byte *dst,
                                 const uint16_t *table, uint64_t size,
                                 size_t *written) {
  *written = 0;
  if (size < 0x3100) return 0;
  const __m512i limit16 =
      _mm512_set1_epi16(static_cast<short>(size < 0xFFFF ? size : 0xFFFF));
  const KanaRow row = load_kana_row(table, size);
  const Byte *s = p;
  Byte *d = dst;
  while (stop - s >= 64) {
    const __m512i v = load64(s);
    if (_mm512_movepi8_mask(v) == 0) {
      store64(d, v);
      s += 64;
      d += 64;
      continue;
    }
    const SjisBlock block = sjis_of_block(v, d, table, limit16, row);
    s += block.taken;
    d += block.written;
    if (block.taken == 0 || block.failed) break;
  }
  *written = static_cast<size_t>(d - dst);
  return static_cast<size_t>(s - p);
}

// 32 units at a time: ASCII ones as bytes, and the others, packed, looked
// up sixteen to a gather; their codes take the units' places again before
// the bytes are packed. Stops before a block with a unit 0000 or one that
// sjis_codes does not take.
template <bool kBig, bool kSjis = true>
KMV_AVX512 size_t sjis_from_units(const Byte *p, const Byte *stop, Byte *dst,
                                  const uint16_t *table, uint64_t size,
                                  size_t *written) {
  const __m512i limit =
      _mm512_set1_epi32(static_cast<int>(size < 0x10000 ? size : 0x10000));
  const Byte *s = p;
  Byte *d = dst;
  while (stop - s >= 64) {
    const __m512i u = load_units<kBig>(s);
    const __mmask32 multi = _mm512_cmpge_epu16_mask(u, _mm512_set1_epi16(0x80));
    if ((ascii_units(u) | multi) != ~__mmask32{0}) break;
    const __m512i packed = _mm512_maskz_compress_epi16(multi, u);
    const auto m = static_cast<unsigned>(__builtin_popcount(multi));
    __m256i low = _mm256_setzero_si256(), high = _mm256_setzero_si256();
    if (m != 0 &&
        (!sjis_codes<kSjis>(
             _mm512_cvtepu16_epi32(_mm512_castsi512_si256(packed)),
             static_cast<__mmask16>(m >= 16 ? 0xFFFF : (1u << m) - 1), table,
             limit, &low) ||
         (m > 16 &&
          !sjis_codes<kSjis>(
              _mm512_cvtepu16_epi32(_mm512_extracti64x4_epi64(packed, 1)),
              static_cast<__mmask16>(m >= 32 ? 0xFFFF : (1u << (m - 16)) - 1),
              table, limit, &high)))) {
      break;
    }
    const __m512i codes = _mm512_maskz_expand_epi16(
        multi, _mm512_inserti64x4(_mm512_castsi256_si512(low), high, 1));
    const __m512i lanes = _mm512_mask_mov_epi16(u, multi, swap_bytes(codes));
    const uint64_t keep =
        0x5555555555555555ull | _pdep_u64(multi, 0xAAAAAAAAAAAAAAAAull);
    store64(d, _mm512_maskz_compress_epi8(keep, lanes));
    s += 64;
    d += 32 + m;
  }
  *written = static_cast<size_t>(d - dst);
  return static_cast<size_t>(s - p) / 2;
}

template <bool kBig>
KMV_AVX512 size_t euc_from_units(const Byte *p, const Byte *stop, Byte *dst,
                                 const uint16_t *table, uint64_t size,
                                 size_t *written) {
  return sjis_from_units<kBig, false>(p, stop, dst, table, size, written);
}

template <bool kBig>
KMV_AVX512 size_t units_from_utf8(const Byte *p, const Byte *stop, Byte *dst,
                                  size_t *units) {
  const Byte *s = p;
  Byte *d = dst;
  // A block that begins with the end of a character (a carry) is neither
  // ASCII nor three-byte characters.
  uint64_t carry = 0;
  while (stop - s >= 64) {
    const __m512i v = load64(s);
    if (_mm512_movepi8_mask(v) == 0) {
      __m512i lo = _mm512_cvtepu8_epi16(_mm512_castsi512_si256(v));
      __m512i hi = _mm512_cvtepu8_epi16(_mm512_extracti64x4_epi64(v, 1));
      store64(d, kBig ? _mm512_slli_epi16(lo, 8) : lo);
      store64(d + 64, kBig ? _mm512_slli_epi16(hi, 8) : hi);
      s += 64;
      d += 128;
      continue;
    }
    if (units_of_three_byte_block<kBig>(s, d)) {
      s += 48;
      d += 32;
      continue;
    }
    if (stop - s < 66) break;
    unsigned n = 0;
    const StrideChars chars = units_of_block<kBig>(s, carry, d, &n);
    s += chars.length;
    d += 2 * n;
    carry = chars.carry;
    if (chars.length == 0) {
      // The block starts with the one character it cannot take whole.
      uint32_t u;
      const unsigned len = plain_utf8(s, stop, &u);
      if (len == 0) break;
      put_unit(u, d, kBig);
      s += len;
      d += 2;
    }
  }
  // The bytes that continue the last character taken.
  s += __builtin_popcountll(carry);
  *units = static_cast<size_t>(d - dst) / 2;
  return static_cast<size_t>(s - p);
}

KMV_AVX512 size_t skip_ascii(const Byte *p, const Byte *stop) {
  const Byte *s = p;
  for (; stop - s >= 64; s += 64) {
    const uint64_t high = _mm512_movepi8_mask(load64(s));
    if (high != 0)
      return static_cast<size_t>(s - p) +
             static_cast<size_t>(__builtin_ctzll(high));
  }
  while (s < stop && *s < 0x80) ++s;
  return static_cast<size_t>(s - p);
}

KMV_AVX512 inline uint64_t bytes_in(__m512i v, unsigned char lo,
                                    unsigned char hi) {
  return _mm512_cmple_epu8_mask(
      _mm512_sub_epi8(v, _mm512_set1_epi8(static_cast<char>(lo))),
      _mm512_set1_epi8(static_cast<char>(hi - lo)));
}

KMV_AVX512 BlockMasks block_masks(const Byte *p) {
  const __m512i v = load64(p);
  return BlockMasks{_mm512_movepi8_mask(v), bytes_in(v, 0xA1, 0xDF),
                    _mm512_cmpeq_epi8_mask(v, _mm512_setzero_si512()),
                    _mm512_cmpeq_epi8_mask(v, _mm512_set1_epi8(0x1B)),
                    bytes_in(v, 0x82, 0x83)};
}

KMV_AVX512 EucBlockMasks euc_block_masks(const Byte *p) {
  const __m512i v = load64(p);
  return EucBlockMasks{_mm512_movepi8_mask(v), bytes_in(v, 0x8E, 0x8F)};
}

// The codes of one half block (32 bytes at p, and the byte after them) in
// 16-bit lanes, those at the set bits of `leads` moved to the front.
KMV_AVX512 inline __m512i lead_codes(const Byte *p, uint32_t leads) {
  const __m512i first = _mm512_cvtepu8_epi16(
      _mm256_loadu_si256(reinterpret_cast<const __m256i *>(p)));
  const __m512i second = _mm512_cvtepu8_epi16(
      _mm256_loadu_si256(reinterpret_cast<const __m256i *>(p + 1)));
  return _mm512_maskz_compress_epi16(
      leads, _mm512_or_si512(_mm512_slli_epi16(first, 8), second));
}

// The codes are gathered sixteen at a time. Each lane reads the entry
// before its code as well, so that the code's own entry is the high half
// and nothing past the last entry is read; a lead byte of 0x80 or above
// keeps the entry before inside the table.
KMV_AVX512 uint32_t known_codes(const Byte *p, uint64_t leads,
                                const uint16_t *table, uint64_t count) {
  alignas(64) uint16_t codes[128];
  const auto low = static_cast<uint32_t>(leads);
  const auto n_low = static_cast<unsigned>(__builtin_popcount(low));
  const auto n =
      n_low + static_cast<unsigned>(__builtin_popcountll(leads >> 32));
  _mm512_store_si512(codes, lead_codes(p, low));
  _mm512_storeu_si512(codes + n_low,
                      lead_codes(p + 32, static_cast<uint32_t>(leads >> 32)));
  const __m512i limit =
      _mm512_set1_epi32(static_cast<int>(count < 0x10000 ? count : 0x10000));
  const __m512i one = _mm512_set1_epi32(1);
  const __m512i high_half = _mm512_set1_epi32(static_cast<int>(0xFFFF0000u));
  uint32_t known = 0;
  for (unsigned k = 0; k < n; k += 16) {
    const auto present =
        static_cast<__mmask16>(n - k >= 16 ? 0xFFFFu : (1u << (n - k)) - 1);
    const __m512i code = _mm512_cvtepu16_epi32(
        _mm256_load_si256(reinterpret_cast<const __m256i *>(codes + k)));
    const __mmask16 inside = _mm512_mask_cmplt_epu32_mask(present, code, limit);
    const __m512i pairs = _mm512_mask_i32gather_epi32(
        _mm512_setzero_si512(), inside, _mm512_sub_epi32(code, one), table, 2);
    known += static_cast<uint32_t>(__builtin_popcount(
        _mm512_mask_test_epi32_mask(inside, pairs, high_half)));
  }
  return known;
}

// The trail bytes of one row whose codes the table holds, as 256 bits.
KMV_AVX512 inline __m256i row_bits(const uint16_t *table, uint64_t count,
                                   uint64_t row) {
  alignas(32) uint32_t bits[8] = {};
  for (uint64_t k = 0; k < 8; ++k) {
    const uint64_t from = row * 256 + 32 * k;
    if (from >= count) break;
    const auto inside = static_cast<__mmask32>(
        count - from >= 32 ? ~0u : (1u << (count - from)) - 1);
    const __m512i entries = _mm512_maskz_loadu_epi16(inside, table + from);
    bits[k] = _mm512_test_epi16_mask(entries, entries);
  }
  return _mm256_load_si256(reinterpret_cast<const __m256i *>(bits));
}

KMV_AVX512 bool summarize_rows(const uint16_t *table, uint64_t count,
                               CodeRows *rows) {
  if (table == nullptr) count = 0;
  unsigned sets = 0;
  for (unsigned r = 0; r < 128; ++r) {
    const __m256i bits = row_bits(table, count, 0x80 + r);
    unsigned s = 0;
    while (s < sets &&
           _mm256_cmpneq_epi64_mask(
               bits, _mm256_load_si256(reinterpret_cast<const __m256i *>(
                         rows->sets[s]))) != 0) {
      ++s;
    }
    if (s == sets) {
      if (sets == 16) return false;
      _mm256_store_si256(reinterpret_cast<__m256i *>(rows->sets[sets++]), bits);
    }
    rows->row_set[r] = static_cast<Byte>(s);
  }
  for (; sets < 16; ++sets) {
    _mm256_store_si256(reinterpret_cast<__m256i *>(rows->sets[sets]),
                       _mm256_setzero_si256());
  }
  return true;
}

// Each lead byte picks its row's set, and the trail byte one bit of it:
// the sets are four registers of four, read by byte permutation.
KMV_AVX512 uint32_t known_codes_in_rows(const Byte *p, uint64_t leads,
                                        const CodeRows *rows) {
  const __m512i lead = load64(p), trail = load64(p + 1);
  const __m512i set =
      _mm512_permutex2var_epi8(_mm512_load_si512(rows->row_set), lead,
                               _mm512_load_si512(rows->row_set + 64));
  // Byte (set % 4) * 32 + trail / 8 of the register of the set's four.
  const __m512i at = _mm512_or_si512(
      _mm512_and_si512(_mm512_slli_epi16(set, 5), _mm512_set1_epi8(0x60)),
      _mm512_and_si512(_mm512_srli_epi16(trail, 3), _mm512_set1_epi8(0x1F)));
  __m512i quarter[4];
  for (unsigned q = 0; q < 4; ++q) {
    const Byte *four = rows->sets[4 * q];
    quarter[q] = _mm512_permutex2var_epi8(_mm512_load_si512(four), at,
                                          _mm512_load_si512(four + 64));
  }
  const __mmask64 odd_quarter = _mm512_test_epi8_mask(set, _mm512_set1_epi8(4));
  const __mmask64 upper_half = _mm512_test_epi8_mask(set, _mm512_set1_epi8(8));
  const __m512i byte = _mm512_mask_blend_epi8(
      upper_half, _mm512_mask_blend_epi8(odd_quarter, quarter[0], quarter[1]),
      _mm512_mask_blend_epi8(odd_quarter, quarter[2], quarter[3]));
  const __m512i bit = _mm512_shuffle_epi8(
      _mm512_set1_epi64(static_cast<long long>(0x8040201008040201ull)),
      _mm512_and_si512(trail, _mm512_set1_epi8(7)));
  return static_cast<uint32_t>(
      __builtin_popcountll(_mm512_mask_test_epi8_mask(leads, byte, bit)));
}

// The two-byte codes of EUC-JP (both bytes A1 to FE) at the start of the
// 32 bytes at s: bit i set when code i is one and so are all before it.
KMV_AVX512 inline uint32_t leading_euc_codes(__m256i v) {
  const uint32_t high = _mm256_cmplt_epu8_mask(
      _mm256_sub_epi8(v, _mm256_set1_epi8(static_cast<char>(0xA1))),
      _mm256_set1_epi8(0x5E));
  const uint32_t codes = _pext_u32(high & high >> 1, 0x55555555u);
  return codes == 0xFFFFu ? codes : (1u << __builtin_ctz(~codes)) - 1;
}

// The table's values of the two-byte codes at the set bits of pairs among
// the sixteen in v (zero where a code is not below limit, or no code).
KMV_AVX512 inline __m512i pair_values(__m256i v, __mmask16 pairs,
                                      const uint16_t *table, __m512i limit) {
  const __m512i two = _mm512_cvtepu16_epi32(v);
  const __m512i code = _mm512_or_si512(
      _mm512_slli_epi32(_mm512_and_si512(two, _mm512_set1_epi32(0xFF)), 8),
      _mm512_srli_epi32(two, 8));
  const __mmask16 known = _mm512_mask_cmplt_epu32_mask(pairs, code, limit);
  // Each lane reads the entry before its code as well (see known_codes).
  return _mm512_srli_epi32(
      _mm512_mask_i32gather_epi32(_mm512_setzero_si512(), known,
                                  _mm512_sub_epi32(code, _mm512_set1_epi32(1)),
                                  table, 2),
      16);
}

KMV_AVX512 inline __m512i table_limit(uint64_t size) {
  return _mm512_set1_epi32(static_cast<int>(size < 0x10000 ? size : 0x10000));
}

// EUC-JP through its decoding table (size entries) to UTF-16 units of one
// order: two-byte codes sixteen to a gather, and a lone single byte 01 to
// 7F between them (a line end). Stops before anything else, and before a
// character the table has no value for. Returns the bytes taken; *units gets
// the units stored.
template <bool kBig>
KMV_AVX512 size_t units_from_euc(const Byte *p, const Byte *stop, Byte *dst,
                                 const uint16_t *table, uint64_t size,
                                 size_t *units) {
  const __m512i limit = table_limit(size);
  const Byte *s = p;
  Byte *d = dst;
  while (stop - s >= 32) {
    const __m256i v = _mm256_loadu_si256(reinterpret_cast<const __m256i *>(s));
    const auto pairs = static_cast<__mmask16>(leading_euc_codes(v));
    if (pairs != 0) {
      const __m512i values = pair_values(v, pairs, table, limit);
      const __m256i out = _mm512_cvtepi32_epi16(values);
      _mm256_storeu_si256(reinterpret_cast<__m256i *>(d),
                          kBig ? _mm256_or_si256(_mm256_slli_epi16(out, 8),
                                                 _mm256_srli_epi16(out, 8))
                               : out);
      // The step goes on before the gather is in: the next load must not
      // wait for it. A code without a value (rare) takes the step back.
      const auto n = static_cast<unsigned>(__builtin_popcount(pairs));
      s += 2 * n;
      d += 2 * n;
      const uint32_t mapped =
          _mm512_mask_cmpneq_epi32_mask(pairs, values, _mm512_setzero_si512());
      if (mapped != pairs) [[unlikely]] {
        const auto lost = n - static_cast<unsigned>(__builtin_ctz(~mapped));
        s -= 2 * lost;
        d -= 2 * lost;
        break;
      }
      if (n == 16) continue;
    }
    // A lone single byte (a line end); a longer run goes to the block
    // moves of ASCII.
    const unsigned b = *s;
    const uint32_t u = b - 1 < 0x7F && b < size ? table[b] : 0;
    if (u == 0 || s[1] - 1u < 0x7F) break;
    put_unit(u, d, kBig);
    ++s;
    d += 2;
  }
  *units = static_cast<size_t>(d - dst) / 2;
  return static_cast<size_t>(s - p);
}

// ISO-2022-JP pairs through the decoding table (size entries) to UTF-8,
// sixteen to a gather, for characters of U+0800 and above (three bytes
// each). Stops before anything else: a pair without a value, or one whose
// character is shorter. Returns the bytes taken; *written gets the bytes
// stored.
KMV_AVX512 size_t utf8_from_jis(const Byte *p, const Byte *stop, Byte *dst,
                                const uint16_t *table, uint64_t size,
                                size_t *written) {
  const __m512i limit = table_limit(size);
  const Byte *s = p;
  Byte *d = dst;
  while (stop - s >= 32) {
    const __m256i v = _mm256_loadu_si256(reinterpret_cast<const __m256i *>(s));
    // Sixteen pairs of two-byte mode (all bytes 21 and above), or the end
    // of the run, which is left to the caller: a gather for a few pairs
    // costs more than it saves.
    if (_mm256_cmpge_epu8_mask(v, _mm256_set1_epi8(0x21)) != ~0u) break;
    const __m512i u = pair_values(v, 0xFFFF, table, limit);
    // No value (0) and "?", which counts as unconverted, are below 0800.
    const uint32_t wide = _mm512_cmpge_epu32_mask(u, _mm512_set1_epi32(0x800));
    const auto n = static_cast<unsigned>(__builtin_ctz(~wide));
    if (n == 0) break;
    // Lane i: E0|u>>12, 80|(u>>6 & 3F), 80|(u & 3F), and a byte dropped.
    const __m512i three = _mm512_or_si512(
        _mm512_set1_epi32(0x8080E0),
        _mm512_or_si512(
            _mm512_srli_epi32(u, 12),
            _mm512_or_si512(
                _mm512_slli_epi32(_mm512_and_si512(_mm512_srli_epi32(u, 6),
                                                   _mm512_set1_epi32(0x3F)),
                                  8),
                _mm512_slli_epi32(_mm512_and_si512(u, _mm512_set1_epi32(0x3F)),
                                  16))));
    const uint64_t lanes = n == 16 ? ~uint64_t{0} : (uint64_t{1} << 4 * n) - 1;
    _mm512_mask_storeu_epi8(
        d, (uint64_t{1} << 3 * n) - 1,
        _mm512_maskz_compress_epi8(lanes & 0x7777777777777777ull, three));
    s += 2 * n;
    d += 3 * n;
    if (n < 16) break;
  }
  *written = static_cast<size_t>(d - dst);
  return static_cast<size_t>(s - p);
}

// Bit j of the result: unit j of the 256 at `units` is plausible.
KMV_AVX512 inline void plausible_bits(const uint16_t *units, uint64_t bits[4]) {
  const __m512i plausible = _mm512_set1_epi16(3);
  for (unsigned k = 0; k < 4; ++k) {
    const __m512i a = _mm512_loadu_si512(units + 64 * k);
    const __m512i b = _mm512_loadu_si512(units + 64 * k + 32);
    bits[k] = uint64_t{_mm512_test_epi16_mask(a, plausible)} |
              uint64_t{_mm512_test_epi16_mask(b, plausible)} << 32;
  }
}

// The interval [first, last] of set bits, when they are one.
inline bool one_interval(const uint64_t bits[4], unsigned &first,
                         unsigned &last) {
  unsigned set = 0;
  first = 256, last = 0;
  for (unsigned k = 0; k < 4; ++k) {
    if (bits[k] == 0) continue;
    set += static_cast<unsigned>(__builtin_popcountll(bits[k]));
    if (first == 256) {
      first = 64 * k + static_cast<unsigned>(__builtin_ctzll(bits[k]));
    }
    last = 64 * k + 63 - static_cast<unsigned>(__builtin_clzll(bits[k]));
  }
  return set != 0 && set == last - first + 1;
}

KMV_AVX512 void summarize_units(const uint16_t *table, UnitRows *rows) {
  for (unsigned row = 0; row < 256; ++row) {
    uint64_t bits[4];
    plausible_bits(table + 256 * row, bits);
    unsigned first = 0, last = 0;
    const bool interval = one_interval(bits, first, last);
    rows->low[row] = static_cast<Byte>(interval ? first : 0xFF);
    rows->high[row] = static_cast<Byte>(interval ? last : 0);
  }
}

// Each byte of v looked up in a table of 256 bytes (four registers).
KMV_AVX512 inline __m512i look_up_bytes(const __m512i table[4], __m512i v) {
  return _mm512_mask_blend_epi8(
      _mm512_movepi8_mask(v), _mm512_permutex2var_epi8(table[0], v, table[1]),
      _mm512_permutex2var_epi8(table[2], v, table[3]));
}

KMV_AVX512 inline void load_table(const Byte *bytes, __m512i table[4]) {
  for (unsigned k = 0; k < 4; ++k) table[k] = _mm512_load_si512(bytes + 64 * k);
}

// What each unit's high byte holds, moved to its low byte.
template <bool kBig>
KMV_AVX512 inline __m512i to_low_bytes(__m512i v) {
  return kBig ? _mm512_slli_epi16(v, 8) : _mm512_srli_epi16(v, 8);
}

template <bool kBig>
KMV_AVX512 size_t plain_units(const Byte *p, const Byte *stop,
                              const UnitRows *rows, bool *kana) {
  constexpr uint64_t kLowBytes =
      kBig ? 0xAAAAAAAAAAAAAAAAull : 0x5555555555555555ull;
  __m512i low_table[4], high_table[4];
  load_table(rows->low, low_table);
  load_table(rows->high, high_table);
  const Byte *s = p;
  __mmask32 kana_units = 0;
  for (; stop - s >= 64; s += 64) {
    const __m512i v = load64(s);
    const __m512i low = to_low_bytes<kBig>(look_up_bytes(low_table, v));
    const __m512i high = to_low_bytes<kBig>(look_up_bytes(high_table, v));
    const uint64_t held =
        _mm512_cmpge_epu8_mask(v, low) & _mm512_cmple_epu8_mask(v, high);
    const uint64_t plain =
        kBig ? _mm512_cmplt_epu8_mask(v, _mm512_set1_epi8(-2)) &
                   _mm512_test_epi8_mask(v, v) << 1
             : _mm512_cmplt_epu8_mask(_mm512_sub_epi8(v, _mm512_set1_epi8(1)),
                                      _mm512_set1_epi8(-3));
    if ((held & plain & kLowBytes) != kLowBytes) break;
    const __m512i unit = kBig ? swap_bytes(v) : v;
    kana_units |= _mm512_cmplt_epu16_mask(
                      _mm512_sub_epi16(unit, _mm512_set1_epi16(0x3041)),
                      _mm512_set1_epi16(0x53)) |
                  _mm512_cmplt_epu16_mask(
                      _mm512_sub_epi16(unit, _mm512_set1_epi16(0x30A1)),
                      _mm512_set1_epi16(0x53));
  }
  *kana = kana_units != 0;
  return static_cast<size_t>(s - p);
}

}  // namespace

Kernels avx512_kernels() {
  return KMV_SIMD_LEVEL_TABLE;
}

}  // namespace kmv::simd

#else
namespace kmv::simd {
Kernels avx512_kernels() {
  return Kernels{};
}
}  // namespace kmv::simd
#endif
