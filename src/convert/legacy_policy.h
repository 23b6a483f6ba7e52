// Per-member policies of the Shift_JIS, EUC-JP and ISO-2022-JP decoders:
// which bytes go around the source table, and what is recorded for them.
#ifndef KMV_CONVERT_LEGACY_POLICY_H
#define KMV_CONVERT_LEGACY_POLICY_H

#include <cstdint>

#include "convert/frame.h"

namespace kmv::conv {

struct LegacyPolicy {
  // Single bytes (ASCII, and for Shift_JIS the half-width katakana bytes)
  // are mapped through the source table instead of being passed on as they
  // stand. The Unicode targets need a UTF-16 value for them.
  bool singles_looked_up;
  // A single byte looked up without a value is recorded with its own value
  // (the EUC-JP and ISO-2022-JP families do; Shift_JIS does not).
  bool single_misses_recorded;
  // Half-width katakana are mapped through the source table (EUC-JP to
  // Unicode) instead of being computed.
  bool kana_looked_up;
};

// Shift_JIS, EUC-JP and ISO-2022-JP targets: single bytes pass unchanged
// and katakana are computed.
inline constexpr LegacyPolicy kToLegacy{false, false, false};

inline constexpr LegacyPolicy kSjisToUnicode{true, false, true};
inline constexpr LegacyPolicy kJisToUnicode{true, true, false};
// EUC-JP to UTF-16 looks every character up; to UTF-8 single bytes are
// copied as they stand, 80 to A0 included.
inline constexpr LegacyPolicy kEucToUtf16{true, true, true};
inline constexpr LegacyPolicy kEucToUtf8{false, false, true};

// The replacement for a single byte without a value in the source table.
template <LegacyPolicy P, class W>
KMV_ALWAYS_INLINE void replace_single(const unsigned char *pos, unsigned b,
                                      W &w) {
  if constexpr (P.single_misses_recorded) {
    w.replace(pos, static_cast<int32_t>(b));
  } else {
    w.replace_silently();
  }
}

}  // namespace kmv::conv

#endif
