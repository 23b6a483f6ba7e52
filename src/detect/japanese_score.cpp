// The unigram model of Japanese text. Each code unit falls in a class with
// a log-probability per character, in bits: roughly the class's share of
// Japanese text plus the spread of characters inside it. The shares are
// rounded from common knowledge of Japanese writing: kana and level-1
// kanji carry most text, level-2 kanji are rare, other scripts and
// controls are almost absent.
#include "detect/japanese_score.h"

#include <array>

#include "detect/kanji_levels.h"

namespace kmv::detect {

namespace {

// Half-bits, so that every weight fits a signed byte.
using Weights = std::array<int8_t, 0x10000>;

constexpr int8_t half_bits(float bits) {
  return static_cast<int8_t>(bits * 2);
}

struct Range {
  uint32_t first, last;
  float bits;
};

// Later ranges override earlier ones.
// clang-format off
constexpr Range kRanges[] = {
    {0x0000, 0xFFFF, -26.0f},  // scripts and signs that Japanese text lacks
    {0x0000, 0x001F, -30.0f},  // controls
    {0x0009, 0x000A, -4.0f},   // tab, line feed
    {0x000D, 0x000D, -4.0f},   // carriage return
    {0x0020, 0x007E, -8.0f},   // ASCII signs
    {0x0020, 0x0020, -4.5f},   // space
    {0x0030, 0x0039, -5.5f},   // digits
    {0x0041, 0x005A, -6.5f},   // capitals
    {0x0061, 0x007A, -4.5f},   // small letters
    {0x007F, 0x009F, -30.0f},  // DEL and C1 controls
    {0x00A0, 0x00FF, -16.0f},  // Latin-1
    {0x0100, 0x04FF, -18.0f},  // Latin, Greek, Cyrillic
    {0x2000, 0x2BFF, -13.0f},  // punctuation, arrows, maths, box drawing
    {0x2E80, 0x2FDF, -24.0f},  // radicals
    {0x3000, 0x303F, -7.5f},   // ideographic punctuation
    {0x3041, 0x309F, -7.0f},   // hiragana
    {0x30A0, 0x30FF, -9.0f},   // katakana
    {0x3300, 0x33FF, -18.0f},  // squared words
    {0x3400, 0x4DBF, -26.0f},  // rare ideographs
    {0x4E00, 0x9FFF, -22.0f},  // ideographs outside JIS X 0208
    {0xAC00, 0xD7AF, -28.0f},  // Hangul
    {0xD800, 0xDFFF, -30.0f},  // surrogates, unless paired
    {0xE000, 0xF8FF, -30.0f},  // private use
    {0xF900, 0xFAFF, -20.0f},  // compatibility ideographs
    {0xFEFF, 0xFEFF, -20.0f},  // zero-width no-break space
    {0xFF01, 0xFF5E, -11.0f},  // full-width ASCII
    {0xFF61, 0xFF9F, -14.0f},  // half-width katakana
    {0xFFE0, 0xFFEF, -14.0f},  // full-width signs
    {0xFFF0, 0xFFFF, -30.0f},  // specials
};
// clang-format on
constexpr float kLevel1Bits = -12.0f, kLevel2Bits = -19.0f;
// A character beyond the Basic Multilingual Plane, mostly emoji.
constexpr float kPairBits = -20.0f;
constexpr float kLatinInWordBits = 8.0f;  // raised from the Latin-1 weight
constexpr float kJapaneseAfterLetterBits = -4.0f;

Weights build_weights() {
  Weights w{};
  for (const Range &r : kRanges) {
    for (uint32_t u = r.first; u <= r.last; ++u) w[u] = half_bits(r.bits);
  }
  for (uint32_t u = kFirstKanji; u <= kLastKanji; ++u) {
    if (in_kanji_set(kLevel1Kanji, u)) w[u] = half_bits(kLevel1Bits);
    if (in_kanji_set(kLevel2Kanji, u)) w[u] = half_bits(kLevel2Bits);
  }
  return w;
}

const Weights &weights() {
  static const Weights w = build_weights();
  return w;
}

uint32_t load(const unsigned char *p, bool big_endian) {
  return big_endian ? static_cast<uint32_t>(p[0]) << 8 | p[1]
                    : static_cast<uint32_t>(p[1]) << 8 | p[0];
}

bool is_ascii_letter(uint32_t u) {
  return (u | 0x20u) - 'a' < 26u;
}

// Latin letters beyond ASCII come inside words of ASCII letters; Japanese
// characters seldom stick to them.
float after_ascii_letter(uint32_t u) {
  if (u - 0xC0u <= 0x24Fu - 0xC0u) return kLatinInWordBits;
  const bool japanese = u - 0x3040u <= 0x30FFu - 0x3040u ||
                        u - kFirstKanji <= kLastKanji - kFirstKanji;
  return japanese ? kJapaneseAfterLetterBits : 0.0f;
}

bool is_high(uint32_t u) {
  return u - 0xD800u < 0x400u;
}
bool is_low(uint32_t u) {
  return u - 0xDC00u < 0x400u;
}

}  // namespace

float japanese_bits(const unsigned char *units, size_t count, bool big_endian) {
  const Weights &w = weights();
  int64_t half = 0;
  float context = 0.0f;
  bool letter = false;
  for (size_t i = 0; i < count; ++i) {
    const uint32_t u = load(units + 2 * i, big_endian);
    if (letter) context += after_ascii_letter(u);
    letter = is_ascii_letter(u);
    if (is_high(u) && i + 1 < count &&
        is_low(load(units + 2 * i + 2, big_endian))) {
      half += half_bits(kPairBits);
      ++i;
      continue;
    }
    half += w[u];
  }
  return static_cast<float>(half) / 2.0f + context;
}

}  // namespace kmv::detect
