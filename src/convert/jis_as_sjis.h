// ISO-2022-JP two-byte codes written as code page 932 Shift_JIS by
// arithmetic, skipping the trip through UTF-16 and its two table reads.
// Only where the handle holds the built-in tables, and only for the codes
// whose trip through those tables gives that very result: every other code
// keeps the table path.
#ifndef KMV_CONVERT_JIS_AS_SJIS_H
#define KMV_CONVERT_JIS_AS_SJIS_H

#include <cstdint>
#include <cstring>

#include "convert/frame.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace kmv::conv {

// One byte per two-byte code, 1 where the arithmetic is exact, indexed by
// the code's two bytes as a little-endian word (second byte high), as they
// are loaded. (Bytes, not bits: a block of eight codes is then eight loads
// and ands.)
struct ArithmeticCodes {
  uint8_t known[0x10000];

  static KMV_ALWAYS_INLINE uint32_t word(const Byte *p) {
    return uint32_t{p[1]} << 8 | p[0];
  }
  KMV_ALWAYS_INLINE bool has(const Byte *p) const { return known[word(p)]; }
};

// The codes of the handle's ISO-2022-JP decoding and Shift_JIS encoding
// tables, or null when they are not the built-in ones.
const ArithmeticCodes *jis_codes_as_sjis(const kmv_handle &h);
// The same of its EUC-JP two-byte table (any built-in variant): an EUC-JP
// code is the JIS code with both high bits set, indexed as it stands.
const ArithmeticCodes *euc_codes_as_sjis(const kmv_handle &h);

// The Shift_JIS code of JIS row/cell code j1 j2 (both 21 to 7E), without
// a branch: the parity of the row is as good as random in kanji text.
KMV_ALWAYS_INLINE uint32_t sjis_of_jis(uint32_t j1, uint32_t j2) {
  uint32_t lead = ((j1 + 1) >> 1) + 0x70;
  lead += lead >= 0xA0 ? 0x40u : 0u;
  const uint32_t odd = 0u - (j1 & 1);
  const uint32_t step = j2 >= 0x60 ? 0x5Eu : 0x5Fu;
  const uint32_t trail = j2 + 0x7E - (step & odd);
  return lead << 8 | trail;
}

// The codes at p that are in `codes`, up to eight in a row, as Shift_JIS
// at d; returns how many. Stores 16 bytes whatever the count. EUC-JP codes
// (kEuc) have their high bits dropped first.
template <bool kEuc = false>
KMV_ALWAYS_INLINE int sjis_of_jis_block(const Byte *p,
                                        const ArithmeticCodes &codes, Byte *d) {
  // A code in `codes` has both bytes 21 to 7E (A1 to FE): any other byte
  // ends the run as well. Mostly all eight are in.
  unsigned all = 1;
  for (int i = 0; i < 16; i += 2)
    all &= unsigned{codes.known[ArithmeticCodes::word(p + i)]};
  int count = 8;
  if (all == 0) {
    count = 0;
    while (count < 8 && codes.has(p + 2 * count)) ++count;
  }
#if defined(__SSE2__)
  // The same arithmetic as sjis_of_jis, on 16-bit lanes j1 | j2 << 8.
  const __m128i v =
      _mm_and_si128(_mm_loadu_si128(reinterpret_cast<const __m128i *>(p)),
                    _mm_set1_epi8(kEuc ? 0x7F : -1));
  const __m128i low = _mm_set1_epi16(0xFF);
  const __m128i j1 = _mm_and_si128(v, low);
  const __m128i j2 = _mm_srli_epi16(v, 8);
  __m128i lead =
      _mm_add_epi16(_mm_srli_epi16(_mm_add_epi16(j1, _mm_set1_epi16(1)), 1),
                    _mm_set1_epi16(0x70));
  lead = _mm_add_epi16(
      lead, _mm_and_si128(_mm_cmpgt_epi16(lead, _mm_set1_epi16(0x9F)),
                          _mm_set1_epi16(0x40)));
  const __m128i odd =
      _mm_cmpeq_epi16(_mm_and_si128(j1, _mm_set1_epi16(1)), _mm_set1_epi16(1));
  const __m128i step = _mm_add_epi16(_mm_set1_epi16(0x5F),
                                     _mm_cmpgt_epi16(j2, _mm_set1_epi16(0x5F)));
  const __m128i trail = _mm_sub_epi16(_mm_add_epi16(j2, _mm_set1_epi16(0x7E)),
                                      _mm_and_si128(step, odd));
  _mm_storeu_si128(reinterpret_cast<__m128i *>(d),
                   _mm_or_si128(lead, _mm_slli_epi16(trail, 8)));
#else
  for (int i = 0; i < 16; i += 2) {
    const uint32_t seven = kEuc ? 0x7F : 0xFF;
    const uint32_t code = sjis_of_jis(p[i] & seven, p[i + 1] & seven);
    d[i] = static_cast<Byte>(code >> 8);
    d[i + 1] = static_cast<Byte>(code);
  }
#endif
  return count;
}

}  // namespace kmv::conv

#endif
