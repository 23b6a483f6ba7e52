// How likely a run of UTF-16 code units is as Japanese text: the sum, in
// bits, of the log-probability of each character under a unigram model of
// character classes (kana, level-1 and level-2 kanji, ASCII, ...).
#ifndef KMV_DETECT_JAPANESE_SCORE_H
#define KMV_DETECT_JAPANESE_SCORE_H

#include <cstddef>
#include <cstdint>

namespace kmv::detect {

// The log-probability of an unmapped or malformed character.
inline constexpr float kUnreadableBits = -30.0f;

// `units` holds `count` code units in the given byte order.
float japanese_bits(const unsigned char *units, size_t count, bool big_endian);

}  // namespace kmv::detect

#endif
