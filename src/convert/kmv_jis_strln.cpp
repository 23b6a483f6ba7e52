// Line scanner for ISO-2022-JP text. The shift state lives with the caller,
// so a line may start in the two-byte or katakana mode that the previous
// one left.
#include "convert/jis_escape.h"
#include "convert/line_scan.h"
#include "kmv.h"

namespace {

using kmv::jis::Mode;
using kmv::scan::is_graphic;

enum class Stop { kLineEnd, kBadByte, kCutPair };

// One scan of a line: where it stopped, and why.
struct Scan {
  const unsigned char *p;     // first byte not belonging to the line
  const unsigned char *next;  // where the next line starts
  Mode mode;
  uint64_t count;
  Stop stop;
};

// An SO run inside ASCII mode: returns false at a byte that is neither a
// katakana byte nor the closing SI.
bool scan_katakana_run(Scan &s, const unsigned char *end) {
  while (s.p < end) {
    const unsigned b = *s.p;
    if (b == kmv::jis::kShiftIn) {
      ++s.p;
      return true;
    }
    if (!kmv::jis::is_katakana_byte(b)) return false;
    ++s.count;
    ++s.p;
  }
  return true;
}

// ASCII mode: returns false when the line is over (s.stop says why).
bool scan_ascii(Scan &s, const unsigned char *end) {
  const unsigned b = *s.p;
  if (b > 0x7E) {
    s.stop = Stop::kBadByte;
    return false;
  }
  if (b == 0x0A || b == 0x0D) {
    s.next = kmv::scan::after_line_end(s.p, end);
    s.stop = Stop::kLineEnd;
    return false;
  }
  ++s.p;
  if (b == kmv::jis::kShiftOut) {
    if (scan_katakana_run(s, end)) return true;
    s.stop = Stop::kBadByte;
    return false;
  }
  ++s.count;
  return true;
}

// Two-byte mode: a control byte there is read as in ASCII mode, so that a
// line end is never taken for half of a pair.
bool scan_two_byte(Scan &s, const unsigned char *end) {
  if (*s.p < 0x21) return scan_ascii(s, end);
  if (!is_graphic(*s.p)) {
    s.stop = Stop::kBadByte;
    return false;
  }
  if (s.p + 1 == end) {
    s.stop = Stop::kCutPair;
    return false;
  }
  if (!is_graphic(s.p[1])) {
    ++s.p;
    s.stop = Stop::kBadByte;
    return false;
  }
  s.p += 2;
  ++s.count;
  return true;
}

Scan scan_line(const unsigned char *start, const unsigned char *end,
               Mode mode) {
  Scan s{start, nullptr, mode, 0, Stop::kLineEnd};
  while (s.p < end) {
    if (*s.p == kmv::jis::kEsc) {
      if (end - s.p < 3) {  // a cut sequence ends the line, ESC included
        s.next = ++s.p;
        return s;
      }
      const kmv::jis::Escape e = kmv::jis::read_escape(s.p);
      if (e.recognised) s.mode = e.mode;
      s.p += e.length;
      continue;
    }
    bool goes_on;
    if (s.mode == kmv::jis::kAscii) {
      goes_on = scan_ascii(s, end);
    } else if (s.mode == kmv::jis::kKatakana) {
      goes_on = kmv::jis::is_katakana_byte(*s.p);
      if (goes_on) {
        ++s.p;
        ++s.count;
      } else {
        s.stop = Stop::kBadByte;
      }
    } else {
      goes_on = scan_two_byte(s, end);
    }
    if (!goes_on) return s;
  }
  s.next = end;
  return s;
}

}  // namespace

extern "C" KMV_API int32_t kmv_jis_strln(const kmv_handle * /*handle*/,
                                         unsigned char *line,
                                         uint64_t *line_len,
                                         const unsigned char **pos,
                                         uint64_t avail, uint32_t *state) {
  if (line_len != nullptr) *line_len = 0;
  if (!kmv::scan::arguments_usable(line, line_len, pos, avail))
    return KMV_ECHAR;
  const Mode entry_mode = kmv::jis::mode_from(state != nullptr ? *state : 0);
  const unsigned char *start = *pos;
  const unsigned char *end = start + avail;
  const Scan s = scan_line(start, end, entry_mode);
  int32_t result = kmv::scan::count_result(s.count);
  Mode mode = s.mode;
  if (s.stop == Stop::kBadByte) {
    kmv::scan::hand_out(line, line_len, pos, start, s.p, s.p);
    result = KMV_ECHAR;
  } else if (s.stop == Stop::kCutPair) {
    kmv::scan::hand_out(line, line_len, pos, start, end, end);
    mode = kmv::jis::kTwoByte;
    result = KMV_EUEXPEOD;
  } else {
    kmv::scan::hand_out(line, line_len, pos, start, s.p, s.next);
  }
  if (state != nullptr) *state = mode;
  return result;
}
