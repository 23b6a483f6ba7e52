// Pieces shared by the line scanners of the legacy byte families: argument
// checks and the hand-over of one scanned line.
#ifndef KMV_CONVERT_LINE_SCAN_H
#define KMV_CONVERT_LINE_SCAN_H

#include <cstdint>
#include <cstring>

#include "kmv.h"

namespace kmv::scan {

// A scanner cannot do anything sensible without somewhere to report the
// line: it then reads nothing and answers ECHAR, so that a caller looping
// over lines stops instead of spinning.
inline bool arguments_usable(const unsigned char *line,
                             const uint64_t *line_len,
                             const unsigned char *const *pos, uint64_t avail) {
  if (line_len == nullptr || pos == nullptr) return false;
  if (avail == 0) return true;
  return *pos != nullptr && line != nullptr;
}

// Bytes 21 to 7E: what the default locale's isgraph accepts.
inline bool is_graphic(unsigned b) {
  return b - 0x21u < 0x5Eu;
}

// Copies [start, stop) into line and leaves the read position at next.
inline void hand_out(unsigned char *line, uint64_t *line_len,
                     const unsigned char **pos, const unsigned char *start,
                     const unsigned char *stop, const unsigned char *next) {
  const auto len = static_cast<uint64_t>(stop - start);
  if (len != 0) std::memmove(line, start, len);
  *line_len = len;
  *pos = next;
}

// The result is a signed 32-bit count; a longer line reports the largest.
inline int32_t count_result(uint64_t count) {
  return count > INT32_MAX ? INT32_MAX : static_cast<int32_t>(count);
}

// A CR ends the line, together with an LF right behind it when that LF is
// still within reach.
inline const unsigned char *after_line_end(const unsigned char *p,
                                           const unsigned char *end) {
  if (*p == 0x0D && p + 1 < end && p[1] == 0x0A) return p + 2;
  return p + 1;
}

}  // namespace kmv::scan

#endif
