// Which characters of a Unicode source go around the target's table: a
// named policy of the UTF-16 and UTF-8 decoders, chosen per converter.
#ifndef KMV_CONVERT_BYPASS_H
#define KMV_CONVERT_BYPASS_H

namespace kmv::conv {

struct Bypass {
  bool ascii;  // U+0000 to U+007F become byte events (UTF-16 sources)
  bool kana;   // U+FF61 to U+FF9F become kana events
};

// Every character through the target table (Shift_JIS, EUC-JP from
// UTF-16; EUC-JP from UTF-8; the Unicode targets, which have no table).
inline constexpr Bypass kThroughTable{false, false};
// Half-width katakana computed, not looked up (Shift_JIS from UTF-8).
inline constexpr Bypass kKanaComputed{false, true};
// ISO-2022-JP: ASCII and half-width katakana have modes of their own.
inline constexpr Bypass kJisClasses{true, true};

}  // namespace kmv::conv

#endif
