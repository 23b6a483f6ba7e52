// The AVX2 level: 32 bytes per step. The UTF conversions take whole blocks
// of ASCII or of three-byte characters as vectors, and a character at a
// time in between.
#include <array>

#include "simd/kernels.h"
#include "simd/utf_steps.h"

#if defined(__x86_64__)
#include <immintrin.h>

#define KMV_AVX2 __attribute__((target("avx2,bmi,bmi2,popcnt")))

namespace kmv::simd {
namespace {

KMV_AVX2 inline __m256i load32(const Byte *p) {
  return _mm256_loadu_si256(reinterpret_cast<const __m256i *>(p));
}

KMV_AVX2 inline void store32(Byte *p, __m256i v) {
  _mm256_storeu_si256(reinterpret_cast<__m256i *>(p), v);
}

KMV_AVX2 inline uint32_t bits(__m256i flags) {
  return static_cast<uint32_t>(_mm256_movemask_epi8(flags));
}

// Bit j set where byte j is 01 to 7F.
KMV_AVX2 inline uint32_t ascii_bytes(__m256i v) {
  return bits(_mm256_cmpgt_epi8(v, _mm256_setzero_si256()));
}

KMV_AVX2 inline __m256i swap_bytes(__m256i v) {
  return _mm256_or_si256(_mm256_slli_epi16(v, 8), _mm256_srli_epi16(v, 8));
}

KMV_AVX2 size_t copy_ascii(const Byte *p, const Byte *stop, Byte *dst) {
  const Byte *s = p;
  for (; stop - s >= 32; s += 32) {
    const __m256i v = load32(s);
    store32(dst + (s - p), v);
    const uint32_t ok = ascii_bytes(v);
    if (ok != ~0u) {
      return static_cast<size_t>(s - p) +
             static_cast<size_t>(__builtin_ctz(~ok));
    }
  }
  Byte *d = dst + (s - p);
  while (s < stop && *s - 1u < 0x7Fu) *d++ = *s++;
  return static_cast<size_t>(s - p);
}

template <bool kBig>
KMV_AVX2 inline void store_widened(Byte *d, __m256i v) {
  __m256i lo = _mm256_cvtepu8_epi16(_mm256_castsi256_si128(v));
  __m256i hi = _mm256_cvtepu8_epi16(_mm256_extracti128_si256(v, 1));
  store32(d, kBig ? _mm256_slli_epi16(lo, 8) : lo);
  store32(d + 32, kBig ? _mm256_slli_epi16(hi, 8) : hi);
}

template <bool kBig>
KMV_AVX2 size_t widen_ascii(const Byte *p, const Byte *stop, Byte *dst) {
  const Byte *s = p;
  for (; stop - s >= 32; s += 32) {
    const __m256i v = load32(s);
    store_widened<kBig>(dst + 2 * (s - p), v);
    const uint32_t ok = ascii_bytes(v);
    if (ok != ~0u) {
      return static_cast<size_t>(s - p) +
             static_cast<size_t>(__builtin_ctz(~ok));
    }
  }
  for (; s < stop && *s - 1u < 0x7Fu; ++s)
    put_unit(*s, dst + 2 * (s - p), kBig);
  return static_cast<size_t>(s - p);
}

template <bool kBig>
KMV_AVX2 inline __m256i load_units(const Byte *p) {
  const __m256i v = load32(p);
  return kBig ? swap_bytes(v) : v;
}

// Bytes of a and b, 16-bit lanes narrowed, in order.
KMV_AVX2 inline __m256i pack_in_order(__m256i a, __m256i b) {
  return _mm256_permute4x64_epi64(_mm256_packus_epi16(a, b), 0xD8);
}

template <bool kBig>
KMV_AVX2 size_t narrow_ascii(const Byte *p, const Byte *stop, Byte *dst) {
  const Byte *s = p;
  const __m256i zero = _mm256_setzero_si256(), top = _mm256_set1_epi16(0x80);
  for (; stop - s >= 64; s += 64) {
    const __m256i a = load_units<kBig>(s), b = load_units<kBig>(s + 32);
    const __m256i ok_a = _mm256_and_si256(_mm256_cmpgt_epi16(a, zero),
                                          _mm256_cmpgt_epi16(top, a));
    const __m256i ok_b = _mm256_and_si256(_mm256_cmpgt_epi16(b, zero),
                                          _mm256_cmpgt_epi16(top, b));
    store32(dst + (s - p) / 2, pack_in_order(a, b));
    const uint32_t ok =
        bits(_mm256_permute4x64_epi64(_mm256_packs_epi16(ok_a, ok_b), 0xD8));
    if (ok != ~0u) {
      return static_cast<size_t>(s - p) / 2 +
             static_cast<size_t>(__builtin_ctz(~ok));
    }
  }
  for (; stop - s >= 2; s += 2) {
    const uint32_t u = unit_at(s, kBig);
    if (u - 1 >= 0x7F) break;
    dst[(s - p) / 2] = static_cast<Byte>(u);
  }
  return static_cast<size_t>(s - p) / 2;
}

KMV_AVX2 size_t swap_units(const Byte *p, const Byte *stop, Byte *dst) {
  const Byte *s = p;
  Byte *d = dst;
  for (; stop - s >= 32; s += 32, d += 32) store32(d, swap_bytes(load32(s)));
  for (; stop - s >= 2; s += 2, d += 2) {
    d[0] = s[1];
    d[1] = s[0];
  }
  return static_cast<size_t>(s - p);
}

// Eight units of 0800 and above (no surrogate) as 24 bytes of UTF-8 (32
// stored).
KMV_AVX2 inline void store_three_byte_forms(__m256i u8x16, Byte *d) {
  // u8x16: eight 16-bit units in the low 128 bits.
  const __m256i u = _mm256_cvtepu16_epi32(_mm256_castsi256_si128(u8x16));
  const __m256i low6 = _mm256_set1_epi32(0x3F);
  const __m256i b0 =
      _mm256_or_si256(_mm256_srli_epi32(u, 12), _mm256_set1_epi32(0xE0));
  const __m256i b1 = _mm256_or_si256(
      _mm256_and_si256(_mm256_srli_epi32(u, 6), low6), _mm256_set1_epi32(0x80));
  const __m256i b2 =
      _mm256_or_si256(_mm256_and_si256(u, low6), _mm256_set1_epi32(0x80));
  const __m256i forms = _mm256_or_si256(
      b0, _mm256_or_si256(_mm256_slli_epi32(b1, 8), _mm256_slli_epi32(b2, 16)));
  // Four forms per 128-bit lane: drop every fourth byte.
  const __m256i packed = _mm256_shuffle_epi8(
      forms,
      _mm256_setr_epi8(0, 1, 2, 4, 5, 6, 8, 9, 10, 12, 13, 14, -1, -1, -1, -1,
                       0, 1, 2, 4, 5, 6, 8, 9, 10, 12, 13, 14, -1, -1, -1, -1));
  _mm_storeu_si128(reinterpret_cast<__m128i *>(d),
                   _mm256_castsi256_si128(packed));
  _mm_storeu_si128(reinterpret_cast<__m128i *>(d + 12),
                   _mm256_extracti128_si256(packed, 1));
}

// How to pack four UTF-8 forms held in four bytes each (first byte lowest)
// into their lengths, by the units' classes: bit i set when unit i takes
// two bytes or more, bit 4 + i when it takes three.
struct Packing {
  alignas(16) signed char shuffle[16];
  unsigned length;
};

constexpr std::array<Packing, 256> packings() {
  std::array<Packing, 256> all{};
  for (unsigned key = 0; key < 256; ++key) {
    Packing &p = all[key];
    unsigned at = 0;
    for (unsigned i = 0; i < 4; ++i) {
      const unsigned len = 1 + (key >> i & 1) + (key >> (4 + i) & 1);
      for (unsigned j = 0; j < len; ++j) {
        p.shuffle[at++] = static_cast<signed char>(4 * i + j);
      }
    }
    p.length = at;
    for (; at < 16; ++at) p.shuffle[at] = -1;
  }
  return all;
}

constexpr std::array<Packing, 256> kPackings = packings();

KMV_AVX2 inline Byte *store_packed(__m128i forms, unsigned key, Byte *d) {
  const Packing &p = kPackings[key];
  _mm_storeu_si128(
      reinterpret_cast<__m128i *>(d),
      _mm_shuffle_epi8(
          forms, _mm_load_si128(reinterpret_cast<const __m128i *>(p.shuffle))));
  return d + p.length;
}

// Eight units (zero-extended to 32 bits, none a surrogate) as UTF-8.
KMV_AVX2 inline Byte *store_utf8_of_8_units(__m256i u, Byte *d) {
  const __m256i low6 = _mm256_set1_epi32(0x3F), trail = _mm256_set1_epi32(0x80);
  const __m256i multi = _mm256_cmpgt_epi32(u, _mm256_set1_epi32(0x7F));
  const __m256i wide = _mm256_cmpgt_epi32(u, _mm256_set1_epi32(0x7FF));
  __m256i b0 = _mm256_blendv_epi8(
      u, _mm256_or_si256(_mm256_srli_epi32(u, 6), _mm256_set1_epi32(0xC0)),
      multi);
  b0 = _mm256_blendv_epi8(
      b0, _mm256_or_si256(_mm256_srli_epi32(u, 12), _mm256_set1_epi32(0xE0)),
      wide);
  const __m256i last = _mm256_or_si256(_mm256_and_si256(u, low6), trail);
  const __m256i middle =
      _mm256_or_si256(_mm256_and_si256(_mm256_srli_epi32(u, 6), low6), trail);
  const __m256i b1 =
      _mm256_and_si256(multi, _mm256_blendv_epi8(last, middle, wide));
  const __m256i b2 = _mm256_and_si256(wide, last);
  const __m256i forms = _mm256_or_si256(
      b0, _mm256_or_si256(_mm256_slli_epi32(b1, 8), _mm256_slli_epi32(b2, 16)));
  const unsigned m =
      static_cast<unsigned>(_mm256_movemask_ps(_mm256_castsi256_ps(multi)));
  const unsigned w =
      static_cast<unsigned>(_mm256_movemask_ps(_mm256_castsi256_ps(wide)));
  d = store_packed(_mm256_castsi256_si128(forms), (m & 0xF) | (w & 0xF) << 4,
                   d);
  return store_packed(_mm256_extracti128_si256(forms, 1),
                      m >> 4 | (w >> 4) << 4, d);
}

template <bool kBig>
KMV_AVX2 size_t utf8_from_units(const Byte *p, const Byte *stop, Byte *dst,
                                size_t *written) {
  const Byte *s = p;
  Byte *d = dst;
  const __m256i zero = _mm256_setzero_si256();
  // Sixteen units per step, while 32 more are left: their output stays
  // within three bytes per unit ahead.
  while (stop - s >= 64) {
    const __m256i v = load_units<kBig>(s);
    const __m256i top5 = _mm256_srli_epi16(v, 11);
    if (bits(_mm256_cmpeq_epi16(top5, _mm256_set1_epi16(0x1B))) != 0) break;
    if (bits(_mm256_cmpeq_epi16(top5, zero)) == 0) {
      store_three_byte_forms(v, d);
      store_three_byte_forms(_mm256_permute4x64_epi64(v, 0xEE), d + 24);
      d += 48;
    } else if (bits(_mm256_cmpeq_epi16(_mm256_srli_epi16(v, 7), zero)) == ~0u) {
      _mm_storeu_si128(reinterpret_cast<__m128i *>(d),
                       _mm256_castsi256_si128(pack_in_order(v, zero)));
      d += 16;
    } else {
      d = store_utf8_of_8_units(
          _mm256_cvtepu16_epi32(_mm256_castsi256_si128(v)), d);
      d = store_utf8_of_8_units(
          _mm256_cvtepu16_epi32(_mm256_extracti128_si256(v, 1)), d);
    }
    s += 32;
  }
  *written = static_cast<size_t>(d - dst);
  return static_cast<size_t>(s - p) / 2;
}

// Eight three-byte characters in the 24 bytes at s (none overlong, none a
// surrogate) as sixteen bytes of UTF-16 at d; false if they are not that.
template <bool kBig>
KMV_AVX2 inline bool units_of_three_byte_block(const Byte *s, Byte *d) {
  const __m256i v =
      _mm256_loadu2_m128i(reinterpret_cast<const __m128i *>(s + 12),
                          reinterpret_cast<const __m128i *>(s));
  const __m256i mask = _mm256_setr_epi8(
      -16, -64, -64, -16, -64, -64, -16, -64, -64, -16, -64, -64, 0, 0, 0, 0,
      -16, -64, -64, -16, -64, -64, -16, -64, -64, -16, -64, -64, 0, 0, 0, 0);
  const __m256i form =
      _mm256_setr_epi8(-32, -128, -128, -32, -128, -128, -32, -128, -128, -32,
                       -128, -128, 0, 0, 0, 0, -32, -128, -128, -32, -128, -128,
                       -32, -128, -128, -32, -128, -128, 0, 0, 0, 0);
  if (bits(_mm256_cmpeq_epi8(_mm256_and_si256(v, mask), form)) != ~0u)
    return false;
  // Per lane: lead and middle byte as one 16-bit lane (lead high), and
  // the last byte, for four characters.
  const __m256i lead_middle = _mm256_shuffle_epi8(
      v, _mm256_setr_epi8(1, 0, 4, 3, 7, 6, 10, 9, -1, -1, -1, -1, -1, -1, -1,
                          -1, 1, 0, 4, 3, 7, 6, 10, 9, -1, -1, -1, -1, -1, -1,
                          -1, -1));
  const __m256i last = _mm256_shuffle_epi8(
      v, _mm256_setr_epi8(2, -1, 5, -1, 8, -1, 11, -1, -1, -1, -1, -1, -1, -1,
                          -1, -1, 2, -1, 5, -1, 8, -1, 11, -1, -1, -1, -1, -1,
                          -1, -1, -1, -1));
  const __m256i low6 = _mm256_set1_epi16(0x3F);
  const __m256i units = _mm256_or_si256(
      _mm256_or_si256(
          _mm256_slli_epi16(_mm256_srli_epi16(lead_middle, 8), 12),
          _mm256_slli_epi16(_mm256_and_si256(lead_middle, low6), 6)),
      _mm256_and_si256(last, low6));
  // Overlong forms lie below 0800, surrogates at D800 to DFFF.
  const __m256i top5 = _mm256_srli_epi16(units, 11);
  const uint32_t bad =
      bits(_mm256_or_si256(_mm256_cmpeq_epi16(top5, _mm256_setzero_si256()),
                           _mm256_cmpeq_epi16(top5, _mm256_set1_epi16(0x1B))));
  // Only the low eight bytes of each lane hold characters.
  if ((bad & 0x00FF00FFu) != 0) return false;
  const __m256i in_order = _mm256_permute4x64_epi64(units, 0x08);
  _mm_storeu_si128(
      reinterpret_cast<__m128i *>(d),
      _mm256_castsi256_si128(kBig ? swap_bytes(in_order) : in_order));
  return true;
}

template <bool kBig>
KMV_AVX2 size_t units_from_utf8(const Byte *p, const Byte *stop, Byte *dst,
                                size_t *units) {
  const Byte *s = p;
  Byte *d = dst;
  while (stop - s >= 32) {
    const __m256i v = load32(s);
    if (bits(v) == 0) {
      store_widened<kBig>(d, v);
      s += 32;
      d += 64;
      continue;
    }
    if (units_of_three_byte_block<kBig>(s, d)) {
      s += 24;
      d += 16;
      continue;
    }
    // Mixed text: the decoder's own loop is faster there.
    break;
  }
  *units = static_cast<size_t>(d - dst) / 2;
  return static_cast<size_t>(s - p);
}

KMV_AVX2 size_t skip_ascii(const Byte *p, const Byte *stop) {
  const Byte *s = p;
  for (; stop - s >= 32; s += 32) {
    const uint32_t high = bits(load32(s));
    if (high != 0)
      return static_cast<size_t>(s - p) +
             static_cast<size_t>(__builtin_ctz(high));
  }
  while (s < stop && *s < 0x80) ++s;
  return static_cast<size_t>(s - p);
}

// Bit j set where byte j lies in [lo, hi].
KMV_AVX2 inline uint32_t bytes_in(__m256i v, unsigned char lo,
                                  unsigned char hi) {
  const __m256i shifted =
      _mm256_sub_epi8(v, _mm256_set1_epi8(static_cast<char>(lo)));
  const __m256i over =
      _mm256_subs_epu8(shifted, _mm256_set1_epi8(static_cast<char>(hi - lo)));
  return bits(_mm256_cmpeq_epi8(over, _mm256_setzero_si256()));
}

KMV_AVX2 inline uint64_t both(uint32_t lo, uint32_t hi) {
  return uint64_t{lo} | uint64_t{hi} << 32;
}

KMV_AVX2 BlockMasks block_masks(const Byte *p) {
  const __m256i a = load32(p), b = load32(p + 32);
  const __m256i esc = _mm256_set1_epi8(0x1B), nul = _mm256_setzero_si256();
  return BlockMasks{
      both(bits(a), bits(b)),
      both(bytes_in(a, 0xA1, 0xDF), bytes_in(b, 0xA1, 0xDF)),
      both(bits(_mm256_cmpeq_epi8(a, nul)), bits(_mm256_cmpeq_epi8(b, nul))),
      both(bits(_mm256_cmpeq_epi8(a, esc)), bits(_mm256_cmpeq_epi8(b, esc))),
      both(bytes_in(a, 0x82, 0x83), bytes_in(b, 0x82, 0x83))};
}

KMV_AVX2 EucBlockMasks euc_block_masks(const Byte *p) {
  const __m256i a = load32(p), b = load32(p + 32);
  return EucBlockMasks{both(bits(a), bits(b)),
                       both(bytes_in(a, 0x8E, 0x8F), bytes_in(b, 0x8E, 0x8F))};
}

// Gathers of eight lanes were measured slower than the scalar look-ups of
// the baseline, which this level keeps (the Shift_JIS writer's too).
constexpr decltype(Kernels::known_codes) known_codes = nullptr;
constexpr decltype(Kernels::sjis_from_utf8) sjis_from_utf8 = nullptr;
template <bool>
constexpr TableCodesFn sjis_from_units = nullptr;
template <bool>
constexpr TableCodesFn euc_from_units = nullptr;
// Its byte shuffles reach 16 bytes, too few for the row summary's sets.
constexpr decltype(Kernels::summarize_rows) summarize_rows = nullptr;
constexpr decltype(Kernels::known_codes_in_rows) known_codes_in_rows = nullptr;
template <bool>
constexpr TableCodesFn units_from_euc = nullptr;
constexpr TableCodesFn utf8_from_jis = nullptr;
// The unit rows are read by byte permutation across 256 bytes.
constexpr decltype(Kernels::summarize_units) summarize_units = nullptr;
template <bool>
constexpr PlainUnitsFn plain_units = nullptr;

}  // namespace

Kernels avx2_kernels() {
  return KMV_SIMD_LEVEL_TABLE;
}

}  // namespace kmv::simd

#else
namespace kmv::simd {
Kernels avx2_kernels() {
  return Kernels{};
}
}  // namespace kmv::simd
#endif
