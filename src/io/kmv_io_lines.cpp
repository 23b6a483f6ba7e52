// Handing out a descriptor's converted text line by line.
//
// The read window of one call is the rest of the text, cut to the caller's
// buffer. Three things are settled here rather than in the scanners:
// - a window cut by the buffer must not split what the next call could not
//   resume: an ISO-2022-JP escape sequence, two-byte character or SO..SI
//   katakana run, and a CR LF pair (whose LF would read as an empty line);
// - a remainder too short for one character ends the text;
// - a bad byte that a scanner reports without moving is stepped over, so
//   that a reader that goes on after an error reaches the end.
#include "io/tio.h"
#include "kmv.h"

namespace {

using kmv::TIO;

enum class Scanner { kNone, kJis, kSjis, kEuc, kUnibe, kUnile, kUtf8 };

Scanner scanner_for(int32_t dtype) {
  switch (dtype) {
    case KMV_TYPE_ASCII:
    case KMV_TYPE_JIS:
      return Scanner::kJis;
    case KMV_TYPE_SJIS:
      return Scanner::kSjis;
    case KMV_TYPE_EUC:
    case KMV_TYPE_EUC1:
    case KMV_TYPE_EUC2:
    case KMV_TYPE_EUC3:
      return Scanner::kEuc;
    case KMV_TYPE_UTF16BE:
    case KMV_TYPE_UTF16BE_BOM:
      return Scanner::kUnibe;
    case KMV_TYPE_UTF16LE:
    case KMV_TYPE_UTF16LE_BOM:
      return Scanner::kUnile;
    case KMV_TYPE_UTF8:
    case KMV_TYPE_UTF8_BOM:
      return Scanner::kUtf8;
    default:
      return Scanner::kNone;
  }
}

// One scanner call: its result, the bytes copied, where the next line
// starts and the ISO-2022-JP shift state there.
struct Scan {
  int32_t result;
  uint64_t copied;
  const unsigned char *next;
  uint32_t state;
};

// The part of the text one call may read: from `start`, `avail` bytes.
struct Window {
  const unsigned char *start;
  uint64_t avail;
};

Scan scan_window(const TIO &record, Scanner scanner, unsigned char *line,
                 Window window) {
  Scan s{0, 0, window.start, record.jis_state};
  const kmv_handle *h = record.handle;
  switch (scanner) {
    case Scanner::kJis:
      s.result =
          kmv_jis_strln(h, line, &s.copied, &s.next, window.avail, &s.state);
      break;
    case Scanner::kSjis:
      s.result = kmv_sjis_strln(h, line, &s.copied, &s.next, window.avail);
      break;
    case Scanner::kEuc:
      s.result = kmv_euc_strln(h, line, &s.copied, &s.next, window.avail);
      break;
    case Scanner::kUnibe:
      s.result = kmv_unibe_strln(h, line, &s.copied, &s.next, window.avail);
      break;
    case Scanner::kUnile:
      s.result = kmv_unile_strln(h, line, &s.copied, &s.next, window.avail);
      break;
    case Scanner::kUtf8:
    case Scanner::kNone:
      s.result = kmv_utf8_strln(h, line, &s.copied, &s.next, window.avail);
      break;
  }
  return s;
}

constexpr unsigned char kEsc = 0x1B;
constexpr unsigned char kShiftOut = 0x0E;
constexpr unsigned char kShiftIn = 0x0F;

// Offset of an SO whose katakana run is still open at `end`, or -1.
int64_t open_run_at(const unsigned char *start, const unsigned char *end) {
  for (const unsigned char *p = end; p != start; --p) {
    if (p[-1] == kShiftIn) return -1;
    if (p[-1] == kShiftOut) return p - 1 - start;
  }
  return -1;
}

// How many bytes of a window cut by the caller's buffer hold only whole
// ISO-2022-JP units; the window's own size when the cut is clean. In a
// text that goes on, the scanner would otherwise stop after a lone ESC,
// on half a two-byte character or inside a katakana run, and the next call
// would read the rest in the wrong mode.
uint64_t jis_whole_units(const Scan &s, Window window) {
  if (s.result == KMV_EUEXPEOD) return window.avail - 1;
  if (s.result < 0) return window.avail;
  const auto consumed = static_cast<uint64_t>(s.next - window.start);
  if (consumed != s.copied) return window.avail;  // ended at a line end
  if (consumed > 0 && window.start[consumed - 1] == kEsc) return consumed - 1;
  if (consumed == window.avail) {
    const int64_t run = open_run_at(window.start, s.next);
    if (run >= 0) return static_cast<uint64_t>(run);
  }
  return window.avail;
}

bool is_unit(Scanner scanner, const unsigned char *p, unsigned char value) {
  switch (scanner) {
    case Scanner::kUnibe:
      return p[0] == 0 && p[1] == value;
    case Scanner::kUnile:
      return p[0] == value && p[1] == 0;
    default:
      return p[0] == value;
  }
}

// A line that ended at a CR on the window's edge takes the LF behind it
// too, as it would have with a larger buffer.
void take_split_line_feed(Scanner scanner, Scan &s, const unsigned char *start,
                          const unsigned char *text_end) {
  const uint64_t unit =
      scanner == Scanner::kUnibe || scanner == Scanner::kUnile ? 2 : 1;
  if (s.result < 0) return;
  const auto consumed = static_cast<uint64_t>(s.next - start);
  if (consumed - s.copied != unit) return;  // no lone line-end unit
  if (static_cast<uint64_t>(text_end - s.next) < unit) return;
  if (is_unit(scanner, s.next - unit, 0x0D) && is_unit(scanner, s.next, 0x0A)) {
    s.next += unit;
  }
}

// Scans one line; `fits` turns false when not even one unit of the text
// fits into the window.
Scan scan_line(const TIO &record, Scanner scanner, unsigned char *line,
               Window window, const unsigned char *text_end, bool &fits) {
  const bool cut = window.start + window.avail < text_end;
  Scan s = scan_window(record, scanner, line, window);
  while (cut && scanner == Scanner::kJis) {
    const uint64_t whole = jis_whole_units(s, window);
    if (whole == window.avail) break;
    if (whole == 0) {
      fits = false;
      return s;
    }
    window.avail = whole;
    s = scan_window(record, scanner, line, window);
  }
  take_split_line_feed(scanner, s, window.start, text_end);
  fits = s.result < 0 || s.next != window.start || !cut;
  return s;
}

// The buffer is too small for what comes next: nothing is read, and a
// larger buffer goes on from here.
int32_t no_room(int32_t *line_len) {
  if (line_len != nullptr) *line_len = 0;
  return KMV_EUEXPEOD;
}

int32_t check_readable(int32_t fd) {
  const int32_t status = kmv::check_fd(fd);
  if (status != KMV_SUCCESS) return status;
  const int32_t mode = kmv::tioInfo[fd].mode;
  return mode == 0 || mode == 3 ? KMV_SUCCESS : KMV_EIOMODE;
}

}  // namespace

extern "C" {

KMV_API int32_t kmv_io_get_line(int32_t fd, unsigned char *line,
                                int32_t line_size, int32_t *line_len) {
  const int32_t status = check_readable(fd);
  if (status != KMV_SUCCESS) return status;
  TIO &record = kmv::tioInfo[fd];
  const unsigned char *end = record.data + record.size;
  if (record.pos >= end) return KMV_EOF;
  const Scanner scanner = scanner_for(record.dtype);
  if (scanner == Scanner::kNone) return KMV_ECTYPE;

  if (line == nullptr || line_size < 1) return no_room(line_len);
  const auto left = static_cast<uint64_t>(end - record.pos);
  const uint64_t room = static_cast<uint64_t>(line_size);
  const Window window{record.pos, left < room ? left : room};
  bool fits = true;
  Scan s = scan_line(record, scanner, line, window, end, fits);
  if (!fits) return no_room(line_len);
  if (s.result >= 0 && s.next == record.pos) {
    // Too little is left for one character: that is the end of the text.
    record.pos = end;
    return KMV_EOF;
  }
  if (s.result == KMV_ECHAR && s.next == record.pos) ++s.next;
  record.pos = s.next;
  record.jis_state = s.state;
  if (line_len != nullptr) {
    *line_len = static_cast<int32_t>(static_cast<uint32_t>(s.copied));
  }
  return s.result;
}

KMV_API int32_t kmv_io_rewind(int32_t fd) {
  const int32_t status = check_readable(fd);
  if (status != KMV_SUCCESS) return status;
  TIO &record = kmv::tioInfo[fd];
  record.pos = record.data;
  // The text starts in ASCII mode whatever mode its last line left.
  record.jis_state = KMV_JIS_ASCII;
  return KMV_SUCCESS;
}

}  // extern "C"
