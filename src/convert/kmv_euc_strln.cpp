// Line scanner for EUC-JP text of every table variant. It checks byte
// ranges only; which codes are characters is left to the converters.
#include "convert/line_scan.h"
#include "kmv.h"

namespace {

using kmv::scan::is_graphic;

bool is_single_byte(unsigned b) {
  return b <= 0xA0 && b != 0x8E && b != 0x8F;
}
bool is_katakana_byte(unsigned b) {
  return b >= 0xA1 && b <= 0xDF;
}
bool is_second_byte(unsigned b) {
  return b > 0xA0 && is_graphic(b & 0x7F);
}

}  // namespace

extern "C" KMV_API int32_t kmv_euc_strln(const kmv_handle * /*handle*/,
                                         unsigned char *line,
                                         uint64_t *line_len,
                                         const unsigned char **pos,
                                         uint64_t avail) {
  if (line_len != nullptr) *line_len = 0;
  if (!kmv::scan::arguments_usable(line, line_len, pos, avail))
    return KMV_ECHAR;
  const unsigned char *start = *pos;
  const unsigned char *end = start + avail;
  const unsigned char *p = start;
  const unsigned char *next = nullptr;  // set when a line end is met
  const unsigned char *bad = nullptr;   // where a malformed character stops us
  uint64_t count = 0;
  while (p < end) {
    const unsigned b = *p;
    const auto left = static_cast<uint64_t>(end - p);
    if (is_single_byte(b)) {
      if (b == 0x0A || b == 0x0D) {
        next = kmv::scan::after_line_end(p, end);
        break;
      }
      ++p;
    } else if (b == 0x8E) {
      if (left < 2) break;
      if (!is_katakana_byte(p[1])) {
        bad = p + 1;
        break;
      }
      p += 2;
    } else if (b == 0x8F) {
      if (left > 1 && !is_second_byte(p[1])) {
        bad = p + 1;
        break;
      }
      if (left > 2 && !is_second_byte(p[2])) {
        bad = p + 2;
        break;
      }
      if (left < 3) break;
      p += 3;
    } else {
      if (!is_graphic(b & 0x7F)) {
        bad = p;
        break;
      }
      if (left < 2) break;
      if (!is_second_byte(p[1])) {
        bad = p + 1;
        break;
      }
      p += 2;
    }
    ++count;
  }
  if (bad != nullptr) {
    kmv::scan::hand_out(line, line_len, pos, start, bad, bad);
    return KMV_ECHAR;
  }
  // Without a line end the next call goes on where this one stopped, also
  // before a character cut by the end of the available bytes.
  if (next == nullptr) next = p;
  kmv::scan::hand_out(line, line_len, pos, start, p, next);
  return kmv::scan::count_result(count);
}
