// Tests on 16 source bytes at once that let the legacy decoders take eight
// two-byte codes in a row without classifying each first byte: kanji text
// is mostly long runs of them.
#ifndef KMV_CONVERT_PAIR_BLOCKS_H
#define KMV_CONVERT_PAIR_BLOCKS_H

#include <type_traits>

#include "convert/frame.h"
#include "convert/writers.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace kmv::conv {

inline constexpr long kPairBlock = 16;

// Eight codes at a time pay where each code takes two table lookups (the
// Shift_JIS, EUC-JP and ISO-2022-JP targets); with one lookup (the Unicode
// targets) the plain loop over codes was measured faster.
template <class W>
inline constexpr bool kBlocksPay =
    !kIsUtf16Writer<W> && !std::is_same_v<W, Utf8Writer>;

#if defined(__SSE2__)
// Bit i set when byte i lies in [lo, hi].
KMV_ALWAYS_INLINE unsigned bytes_in_range(__m128i v, unsigned char lo,
                                          unsigned char hi) {
  const __m128i shifted = _mm_sub_epi8(v, _mm_set1_epi8(static_cast<char>(lo)));
  const __m128i over =
      _mm_subs_epu8(shifted, _mm_set1_epi8(static_cast<char>(hi - lo)));
  return static_cast<unsigned>(
      _mm_movemask_epi8(_mm_cmpeq_epi8(over, _mm_setzero_si128())));
}

KMV_ALWAYS_INLINE __m128i load16(const Byte *p) {
  return _mm_loadu_si128(reinterpret_cast<const __m128i *>(p));
}
#endif

// EUC-JP: all 16 bytes are A1 to FE, so p starts eight two-byte codes.
KMV_ALWAYS_INLINE bool euc_pair_block(const Byte *p) {
#if defined(__SSE2__)
  return bytes_in_range(load16(p), 0xA1, 0xFE) == 0xFFFFu;
#else
  (void)p;
  return false;
#endif
}

// Shift_JIS: the bytes at even offsets are all lead bytes 81-9F or E0-FC
// (with bit 5 flipped, one range: A1-DC), and those at odd offsets all
// second bytes (40-FC but 7F).
KMV_ALWAYS_INLINE bool sjis_pair_block(const Byte *p) {
#if defined(__SSE2__)
  const __m128i v = load16(p);
  const __m128i flipped = _mm_xor_si128(v, _mm_set1_epi8(0x20));
  const unsigned del = static_cast<unsigned>(
      _mm_movemask_epi8(_mm_cmpeq_epi8(v, _mm_set1_epi8(0x7F))));
  const unsigned second = bytes_in_range(v, 0x40, 0xFC) & ~del;
  return (bytes_in_range(flipped, 0xA1, 0xDC) & 0x5555u) == 0x5555u &&
         (second & 0xAAAAu) == 0xAAAAu;
#else
  (void)p;
  return false;
#endif
}

// ISO-2022-JP two-byte mode: no control byte (below 21, ESC included)
// among the 16, so p starts eight pairs.
KMV_ALWAYS_INLINE bool jis_pair_block(const Byte *p) {
#if defined(__SSE2__)
  return bytes_in_range(load16(p), 0x21, 0xFF) == 0xFFFFu;
#else
  (void)p;
  return false;
#endif
}

}  // namespace kmv::conv

#endif
