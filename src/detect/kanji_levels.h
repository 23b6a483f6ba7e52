// The level-1 and level-2 kanji of JIS X 0208 among the ideographs U+4E00
// to U+9FFF, one bit per code point (generated: make_kanji_levels.py).
#ifndef KMV_DETECT_KANJI_LEVELS_H
#define KMV_DETECT_KANJI_LEVELS_H

#include <cstdint>

namespace kmv::detect {

inline constexpr uint32_t kFirstKanji = 0x4E00, kLastKanji = 0x9FFF;
inline constexpr uint32_t kKanjiWords = (kLastKanji - kFirstKanji + 32) / 32;

extern const uint32_t kLevel1Kanji[kKanjiWords];
extern const uint32_t kLevel2Kanji[kKanjiWords];

inline bool in_kanji_set(const uint32_t *set, uint32_t unit) {
  const uint32_t at = unit - kFirstKanji;
  return (set[at / 32] >> (at % 32) & 1u) != 0;
}

}  // namespace kmv::detect

#endif
