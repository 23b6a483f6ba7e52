// The escape sequences read in ISO-2022-JP text. The converters and the
// line scanner read them alike, leniently: three designations lead to each
// of ASCII and the two-byte set, one to half-width katakana.
#ifndef KMV_CONVERT_JIS_ESCAPE_H
#define KMV_CONVERT_JIS_ESCAPE_H

#include <cstdint>

namespace kmv::jis {

enum Mode : uint32_t { kAscii = 0, kTwoByte = 1, kKatakana = 2 };

inline constexpr unsigned char kEsc = 0x1B;
inline constexpr unsigned char kShiftOut = 0x0E;
inline constexpr unsigned char kShiftIn = 0x0F;

// The outcome of an ESC with at least two more bytes behind it.
struct Escape {
  unsigned length;  // bytes the sequence takes: 3 when recognised, else 1 or 2
  bool recognised;
  Mode mode;  // the new mode when recognised
};

inline Escape read_escape(const unsigned char *esc) {
  const unsigned intermediate = esc[1];
  const unsigned final_byte = esc[2];
  if (intermediate == 0x24) {  // ESC $ x: JIS X 0208 under three names
    if (final_byte == 0x40 || final_byte == 0x42 || final_byte == 0x4A) {
      return {3, true, kTwoByte};
    }
    return {2, false, kAscii};
  }
  if (intermediate == 0x28) {  // ESC ( x: ASCII or JIS X 0201
    if (final_byte == 0x42 || final_byte == 0x48 || final_byte == 0x4A) {
      return {3, true, kAscii};
    }
    if (final_byte == 0x49) return {3, true, kKatakana};
    return {2, false, kAscii};
  }
  return {1, false, kAscii};
}

// A shift state from a caller: anything but the two shifted modes is read
// as ASCII mode.
inline Mode mode_from(uint32_t state) {
  return state == kTwoByte || state == kKatakana ? static_cast<Mode>(state)
                                                 : kAscii;
}

inline bool is_katakana_byte(unsigned b) {
  return b >= 0x21 && b <= 0x5F;
}

}  // namespace kmv::jis

#endif
