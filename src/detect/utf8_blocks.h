// 64 bytes of UTF-8 read at once: ASCII and the two- and three-byte forms
// that the detector's UTF-8 reading accepts without a closer look.
#ifndef KMV_DETECT_UTF8_BLOCKS_H
#define KMV_DETECT_UTF8_BLOCKS_H

#include <cstddef>
#include <cstdint>

#include "detect/byte_runs.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace kmv::detect {

// Bit j of each mask describes byte j of a 64-byte block, by its top bits.
struct Utf8Classes {
  uint64_t continuation;  // 10xxxxxx
  uint64_t lead2;         // 110xxxxx
  uint64_t lead3;         // 1110xxxx
  uint64_t lead4_or_bad;  // 11110xxx and 11111xxx
};

inline Utf8Classes utf8_classes_portable(const unsigned char *p) {
  Utf8Classes m{0, 0, 0, 0};
  for (unsigned j = 0; j < 64; ++j) {
    const uint64_t bit = uint64_t{1} << j;
    const unsigned c = p[j];
    if (c >= 0x80 && c <= 0xBF) m.continuation |= bit;
    if (c >= 0xC0 && c <= 0xDF) m.lead2 |= bit;
    if (c >= 0xE0 && c <= 0xEF) m.lead3 |= bit;
    if (c >= 0xF0) m.lead4_or_bad |= bit;
  }
  return m;
}

#if defined(__SSE2__)
inline Utf8Classes utf8_classes(const unsigned char *p) {
  // Shifting each 16-bit lane left by k brings bit 7 - k of every byte to
  // its top bit (the bits that cross into the upper byte land below it).
  uint64_t b7 = 0, b6 = 0, b5 = 0, b4 = 0;
  for (unsigned lane = 0; lane < 4; ++lane) {
    const __m128i v =
        _mm_loadu_si128(reinterpret_cast<const __m128i *>(p + 16 * lane));
    const auto bits = [&](__m128i x) {
      return static_cast<uint64_t>(static_cast<uint32_t>(_mm_movemask_epi8(x)))
             << (16 * lane);
    };
    b7 |= bits(v);
    b6 |= bits(_mm_slli_epi16(v, 1));
    b5 |= bits(_mm_slli_epi16(v, 2));
    b4 |= bits(_mm_slli_epi16(v, 3));
  }
  const uint64_t two_top = b7 & b6;
  return {b7 & ~b6, two_top & ~b5, two_top & b5 & ~b4, two_top & b5 & b4};
}
#else
inline Utf8Classes utf8_classes(const unsigned char *p) {
  return utf8_classes_portable(p);
}
#endif

struct Utf8Block {
  size_t length;      // bytes read, 0 when the block was declined
  int64_t sequences;  // two- and three-byte sequences among them
};

// The block at p, from a character start: every character that starts in
// it must be ASCII or a two- or three-byte form whose continuation bytes
// follow (the last may reach two bytes beyond the block, which must be
// readable). Declines anything else.
inline Utf8Block utf8_block(const unsigned char *p) {
  const Utf8Classes m = utf8_classes(p);
  if (m.lead4_or_bad != 0) return {0, 0};
  const uint64_t leads = m.lead2 | m.lead3;
  if (((leads << 1) | (m.lead3 << 2)) != m.continuation) return {0, 0};
  // Continuation bytes owed beyond the block: one after a lead at 63 or a
  // three-byte lead at 62, two after a three-byte lead at 63.
  const auto owed = static_cast<unsigned>((leads >> 63) + (m.lead3 >> 63) +
                                          ((m.lead3 >> 62) & 1));
  for (unsigned k = 0; k < owed; ++k) {
    if ((p[64 + k] & 0xC0) != 0x80) return {0, 0};
  }
  return {64 + owed, count_bits(leads)};
}

}  // namespace kmv::detect

#endif
