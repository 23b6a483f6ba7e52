// Line scanner for Shift_JIS text (ASCII is read as Shift_JIS here).
#include "convert/line_scan.h"
#include "kmv.h"

namespace {

// Pairs are checked against the caller's table; without a handle the
// default code page 932 table decides.
bool pair_is_character(const kmv_handle *handle, unsigned code) {
  const uint16_t *table = sjis2unibe932_table;
  uint64_t size = sjis2unibe932_table_size;
  if (handle != nullptr) {
    table = handle->sjis2unibe_table;
    size = handle->sjis2unibe_table_size;
  }
  return table != nullptr && code < size && table[code] != 0;
}

bool is_single_byte(unsigned b) {
  return b < 0x80 || (b >= 0xA1 && b <= 0xDF);
}

}  // namespace

extern "C" KMV_API int32_t kmv_sjis_strln(const kmv_handle *handle,
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
  const unsigned char *next = end;
  uint64_t count = 0;
  while (p < end) {
    const unsigned b = *p;
    if (is_single_byte(b)) {
      if (b == 0x0A || b == 0x0D) {
        next = kmv::scan::after_line_end(p, end);
        break;
      }
      ++count;
      ++p;
      continue;
    }
    if (p + 1 == end) {  // the pair's second byte is not here yet
      next = p;
      break;
    }
    if (!pair_is_character(handle, b << 8 | p[1])) {
      kmv::scan::hand_out(line, line_len, pos, start, p + 1, p + 1);
      return KMV_ECHAR;
    }
    ++count;
    p += 2;
  }
  kmv::scan::hand_out(line, line_len, pos, start, p, next);
  return kmv::scan::count_result(count);
}
