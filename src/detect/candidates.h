// The detector's working set of candidates, the flags of readings that the
// text cut, and the evidence that the reading passes gather for the
// decision step.
#ifndef KMV_DETECT_CANDIDATES_H
#define KMV_DETECT_CANDIDATES_H

#include <cstdint>

namespace kmv::detect {

// Bits of the detector's working set of candidates. They are not the public
// type masks: the decision step translates them.
constexpr uint32_t kCandAscii = 0x1;
constexpr uint32_t kCandSjis = 0x4;
constexpr uint32_t kCandEuc = 0x8;
constexpr uint32_t kCandEuc1 = 0x10;
constexpr uint32_t kCandEuc2 = 0x20;
constexpr uint32_t kCandEuc3 = 0x40;
constexpr uint32_t kCandEucAny = kCandEuc | kCandEuc1 | kCandEuc2 | kCandEuc3;
constexpr uint32_t kCandUtf16be = 0x200;
constexpr uint32_t kCandUtf16le = 0x400;
constexpr uint32_t kCandUtf16 = kCandUtf16be | kCandUtf16le;
constexpr uint32_t kCandUtf8 = 0x800;
constexpr uint32_t kCandAll = 0xE7D;
constexpr uint32_t kCandNonAscii = kCandAll & ~kCandAscii;

// End flags: a reading ended inside a character.
constexpr uint32_t kEndSjis = 1;
constexpr uint32_t kEndEuc = 2;
constexpr uint32_t kEndUtf16 = 4;
constexpr uint32_t kEndUtf8 = 8;

constexpr int32_t kNoCandidate = -1;
constexpr int64_t kMostUnknownCodes = 20;  // the 21st ends a reading

// Counters are 64-bit inside: a buffer handed in directly may hold more
// codes than 32 bits count. Reported counts saturate.
inline int32_t clamp32(int64_t count) {
  return count > INT32_MAX ? INT32_MAX : static_cast<int32_t>(count);
}

inline float as_float(int64_t count) {
  return static_cast<float>(count);
}

struct Evidence {
  uint32_t candidates = kCandAll;
  uint32_t end_flags = 0;
  uint32_t preference = 0;
  int64_t sjis_good = 0, sjis_bad = 0, single_kana = 0;
  int64_t nul_even = 0, nul_odd = 0;
  int32_t euc_valid = 0, euc_invalid = 0;
  int64_t utf8_seq = 0;
  int64_t be_good = 0, le_good = 0;
  bool all_ascii = true;
  unsigned char euc_clean = 0;
};

}  // namespace kmv::detect

#endif
