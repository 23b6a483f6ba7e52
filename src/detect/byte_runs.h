// Word- and block-at-a-time tests that let the detector's passes step over
// many bytes per test without changing what they find.
#ifndef KMV_DETECT_BYTE_RUNS_H
#define KMV_DETECT_BYTE_RUNS_H

#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "simd/level.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace kmv::detect {

inline constexpr uint64_t kEveryByte = 0x0101010101010101ull;
inline constexpr uint64_t kHighBits = 0x8080808080808080ull;
inline constexpr uint64_t kLowSeven = 0x7F7F7F7F7F7F7F7Full;

inline uint64_t load_word(const unsigned char *p) {
  uint64_t word;
  std::memcpy(&word, p, sizeof word);
  return word;
}

// The high bit of each byte of the result is set exactly where the byte of
// `word` is zero (no borrow crosses bytes, unlike the shorter test).
inline uint64_t zero_bytes(uint64_t word) {
  return ~(((word & kLowSeven) + kLowSeven) | word | kLowSeven);
}

inline bool has_byte(uint64_t word, unsigned char value) {
  return zero_bytes(word ^ (kEveryByte * value)) != 0;
}

// The target has no population-count instruction by default; this is the
// usual bit-parallel count.
inline int count_bits(uint64_t bits) {
  bits -= (bits >> 1) & 0x5555555555555555ull;
  bits = (bits & 0x3333333333333333ull) + ((bits >> 2) & 0x3333333333333333ull);
  bits = (bits + (bits >> 4)) & 0x0F0F0F0F0F0F0F0Full;
  return static_cast<int>((bits * kEveryByte) >> 56);
}

// Number of bytes flagged (high bit set) in a zero_bytes() result.
inline int count_flagged_bytes(uint64_t flags) {
  return static_cast<int>((((flags >> 7) & kEveryByte) * kEveryByte) >> 56);
}

// Index of the first byte of 0x80 or above at or after `from`, or `len`.
inline size_t skip_ascii(const unsigned char *buf, size_t from, size_t len) {
  size_t i = from;
  while (len - i >= 32) {
    if (i - from == simd::kLongRun && simd::active.skip_ascii != nullptr) {
      return i + simd::active.skip_ascii(buf + i, buf + len);
    }
    const uint64_t any = load_word(buf + i) | load_word(buf + i + 8) |
                         load_word(buf + i + 16) | load_word(buf + i + 24);
    if ((any & kHighBits) != 0) break;
    i += 32;
  }
  while (len - i >= 8 && (load_word(buf + i) & kHighBits) == 0) i += 8;
  while (i < len && buf[i] < 0x80) ++i;
  return i;
}

// Zero bytes of a word loaded at an even offset: those at even offsets sit
// in the high bits selected here.
inline constexpr uint64_t kEvenLanes =
    std::endian::native == std::endian::little ? 0x0080008000800080ull
                                               : 0x8000800080008000ull;

// The two bytes at p as one big-endian number.
inline uint32_t load_be16(const unsigned char *p) {
  return static_cast<uint32_t>(p[0]) << 8 | p[1];
}

// Bit j of each mask describes byte j of a 64-byte block.
using BlockMasks = simd::BlockMasks;
// Bytes of 0x80 and above, and the EUC-JP single shifts 0x8E and 0x8F.
using EucBlockMasks = simd::EucBlockMasks;

inline BlockMasks block_masks_portable(const unsigned char *p) {
  BlockMasks m{0, 0, 0, 0, 0};
  for (unsigned j = 0; j < 64; ++j) {
    const uint64_t bit = uint64_t{1} << j;
    const unsigned char c = p[j];
    if (c >= 0x80) m.high |= bit;
    if (c >= 0xA1 && c <= 0xDF) m.kana |= bit;
    if (c == 0) m.zero |= bit;
    if (c == 0x1B) m.esc |= bit;
    if (c == 0x82 || c == 0x83) m.kana_row |= bit;
  }
  return m;
}

#if defined(__SSE2__)
inline constexpr bool kFastBlockMasks = true;

inline uint64_t lane_bits(__m128i flags, unsigned lane) {
  return static_cast<uint64_t>(static_cast<uint32_t>(_mm_movemask_epi8(flags)))
         << (16 * lane);
}

inline BlockMasks block_masks(const unsigned char *p) {
  if (simd::active.block_masks != nullptr) return simd::active.block_masks(p);
  BlockMasks m{0, 0, 0, 0, 0};
  // Bytes compare as signed: 0xA1 to 0xDF are -95 to -33, 0x82 and 0x83
  // are -126 and -125.
  const __m128i below_kana = _mm_set1_epi8(-96),
                above_kana = _mm_set1_epi8(-32);
  const __m128i below_row = _mm_set1_epi8(-127),
                above_row = _mm_set1_epi8(-124);
  const __m128i nul = _mm_setzero_si128(), esc = _mm_set1_epi8(0x1B);
  for (unsigned lane = 0; lane < 4; ++lane) {
    const __m128i v =
        _mm_loadu_si128(reinterpret_cast<const __m128i *>(p + 16 * lane));
    m.high |= lane_bits(v, lane);
    m.kana |= lane_bits(_mm_and_si128(_mm_cmpgt_epi8(v, below_kana),
                                      _mm_cmplt_epi8(v, above_kana)),
                        lane);
    m.zero |= lane_bits(_mm_cmpeq_epi8(v, nul), lane);
    m.esc |= lane_bits(_mm_cmpeq_epi8(v, esc), lane);
    m.kana_row |= lane_bits(_mm_and_si128(_mm_cmpgt_epi8(v, below_row),
                                          _mm_cmplt_epi8(v, above_row)),
                            lane);
  }
  return m;
}
inline EucBlockMasks euc_block_masks(const unsigned char *p) {
  if (simd::active.euc_block_masks != nullptr) {
    return simd::active.euc_block_masks(p);
  }
  EucBlockMasks m{0, 0};
  // 0x8E and 0x8F compare as -114 and -113.
  const __m128i below = _mm_set1_epi8(-115), above = _mm_set1_epi8(-112);
  for (unsigned lane = 0; lane < 4; ++lane) {
    const __m128i v =
        _mm_loadu_si128(reinterpret_cast<const __m128i *>(p + 16 * lane));
    m.high |= lane_bits(v, lane);
    m.shift |= lane_bits(
        _mm_and_si128(_mm_cmpgt_epi8(v, below), _mm_cmplt_epi8(v, above)),
        lane);
  }
  return m;
}
#else
inline constexpr bool kFastBlockMasks = false;
inline BlockMasks block_masks(const unsigned char *p) {
  return block_masks_portable(p);
}
inline EucBlockMasks euc_block_masks(const unsigned char *p) {
  const BlockMasks m = block_masks_portable(p);
  EucBlockMasks e{m.high, 0};
  for (unsigned j = 0; j < 64; ++j) {
    if (p[j] == 0x8E || p[j] == 0x8F) e.shift |= uint64_t{1} << j;
  }
  return e;
}
#endif

// Second bytes of two-byte codes in a 64-byte block that starts at a
// character start, given the bytes that begin a two-byte code wherever a
// character starts. Such bytes come in runs; each run starts at a character
// start (the byte before it is a one-byte character or a second byte) and
// alternates first and second bytes, and a run of odd length also takes the
// byte behind it. A run that reaches the end of the block may take the
// first byte of the next one; the caller looks at bit 63.
inline uint64_t second_bytes(uint64_t lead_type) {
  constexpr uint64_t kEven = 0x5555555555555555ull, kOdd = ~kEven;
  const uint64_t starts = lead_type & ~(lead_type << 1);
  // Adding a run's first bit clears the run and sets the bit behind it.
  const uint64_t even_carries = lead_type + (starts & kEven);
  const uint64_t odd_carries = lead_type + (starts & kOdd);
  const uint64_t in_even_runs = lead_type & ~even_carries;
  const uint64_t in_odd_runs = lead_type & ~odd_carries;
  const uint64_t inside = (in_even_runs & kOdd) | (in_odd_runs & kEven);
  const uint64_t behind_even = even_carries & ~lead_type & kOdd;
  const uint64_t behind_odd = odd_carries & ~lead_type & kEven;
  return inside | behind_even | behind_odd;
}

}  // namespace kmv::detect

#endif
