// The detector's first scan: escape sequences, zero bytes and the
// Shift_JIS reading.
#include <bit>
#include <cstddef>
#include <cstdint>

#include "detect/byte_runs.h"
#include "detect/candidates.h"
#include "detect/passes.h"
#include "detect/readings.h"
#include "detect/table_lookups.h"
#include "kmv.h"

namespace {

using namespace kmv::detect;

// Steps over bytes below 0x80 other than ESC, eight at a time, counting the
// zero bytes among them by the parity of their offsets.
size_t skip_plain(const unsigned char *buf, size_t i, size_t len,
                  int64_t &nul_even, int64_t &nul_odd) {
  while (len - i >= 8) {
    const uint64_t word = load_word(buf + i);
    if ((word & kHighBits) != 0 || kmv::detect::has_byte(word, 0x1B)) break;
    if (const uint64_t zeros = zero_bytes(word); zeros != 0) {
      const int even = count_flagged_bytes(zeros & kEvenLanes);
      const int odd = count_flagged_bytes(zeros) - even;
      nul_even += (i % 2 == 0) ? even : odd;
      nul_odd += (i % 2 == 0) ? odd : even;
    }
    i += 8;
  }
  return i;
}

enum class Escape { kNone, kJis };

// ESC with two bytes behind it: a JIS designation decides the text; an
// unknown sequence behind `$` or `(` is stepped over whole.
Escape read_escape(const unsigned char *buf, size_t &i, size_t len) {
  if (len - i < 3) {
    ++i;
    return Escape::kNone;
  }
  const unsigned char intro = buf[i + 1], final_byte = buf[i + 2];
  if (intro == '$') {
    if (final_byte == '@' || final_byte == 'B' || final_byte == 'J') {
      return Escape::kJis;
    }
  } else if (intro == '(') {
    if (final_byte == 'B' || final_byte == 'H' || final_byte == 'I' ||
        final_byte == 'J') {
      return Escape::kJis;
    }
  }
  i += (intro == '$' || intro == '(') ? 3 : 1;
  return Escape::kNone;
}

// The preference bit when a known code is a hiragana or katakana, without
// a branch: the two kinds of code alternate unpredictably in real text.
uint32_t sjis_kana_preference(uint32_t code) {
  const bool kana = (code - 0x829Fu <= 0x82F1u - 0x829Fu) |
                    (code - 0x8340u <= 0x8393u - 0x8340u);
  return static_cast<uint32_t>(kana) * kCandSjis;
}

// The preference needs one known hiragana or katakana code; it is looked
// for only among codes that start with 0x82 or 0x83, and only until found.
uint32_t kana_preference(const unsigned char *p, uint64_t kana_row_leads,
                         const uint16_t *table, uint64_t count) {
  for (uint64_t rest = kana_row_leads; rest != 0; rest &= rest - 1) {
    const uint32_t code = load_be16(p + std::countr_zero(rest));
    if (code < count && table[code] != 0 && sjis_kana_preference(code) != 0) {
      return kCandSjis;
    }
  }
  return 0;
}

}  // namespace

namespace kmv::detect {

// The Shift_JIS reading of a run of characters that start with a high
// byte. Ends before a byte below 0x80, at the stop, at the end of the text,
// or on the 21st unknown code. The counters are copied to locals for the
// run: the text's bytes may alias any member.
ScanEnd SjisReading::read_run(const Window &w, size_t &pos) {
  const unsigned char *const buf = w.buf;
  const size_t len = w.len, stop = w.stop;
  const uint16_t *const t = table;
  const uint64_t n = t != nullptr ? count : 0;
  int64_t good_n = good, bad_n = bad, kana_n = kana;
  uint32_t pref = preference;
  size_t i = pos;
  ScanEnd end = ScanEnd::kGoOn;
  while (i < stop && len - i >= 2) {
    const uint32_t c = buf[i];
    if (c < 0x80) break;
    if (c - 0xA1u <= 0xDFu - 0xA1u) {
      ++kana_n;
      ++i;
      continue;
    }
    const uint32_t code = c * 256 + buf[i + 1];
    i += 2;
    if (code < n && t[code] != 0) {
      ++good_n;
      pref |= sjis_kana_preference(code);
    } else if (++bad_n > kMostUnknownCodes) {
      end = ScanEnd::kStop;
      break;
    }
  }
  good = good_n;
  bad = bad_n;
  kana = kana_n;
  preference = pref;
  if (end == ScanEnd::kGoOn && len - i == 1 && buf[i] >= 0x80) {
    end = read_last_byte(buf[i], i);
  }
  pos = i;
  return end;
}

// A high byte that ends the text: a kana, or a lead byte whose code the
// text cuts off.
ScanEnd SjisReading::read_last_byte(uint32_t c, size_t &i) {
  if (c - 0xA1u <= 0xDFu - 0xA1u) {
    ++kana;
    ++i;
    return ScanEnd::kGoOn;
  }
  // The detector's own copy of the Shift_JIS lead-byte probe.
  const bool possible = any_code_with_lead(table, count, c, 0x40);
  (possible ? cut_at_lead : no_code_at_end) = true;
  return ScanEnd::kStop;
}

FirstScan::FirstScan(const kmv_handle *h, size_t text_length)
    : sjis_{h->sjis2unibe_table, h->sjis2unibe_table_size},
      codes_(sjis_.table, sjis_.count, text_length) {}

// One 64-byte block from a character start, read at once: the table is
// consulted only at the first bytes of two-byte codes. Declines, counting
// nothing, when an ESC starts a character in the block or the block holds
// the 21st unknown code; the byte-wise reading takes those. Inlined into
// the reading's loop: as a call, it cost a fifth of the scan's speed.
[[gnu::always_inline]] inline bool FirstScan::read_block(const unsigned char *p,
                                                         size_t &i, bool even) {
  const BlockMasks m = block_masks(p);
  if ((m.high | m.esc | m.zero) == 0) {
    i += 64;
    return true;
  }
  const uint64_t lead_type = m.high & ~m.kana;
  const uint64_t starts = ~second_bytes(lead_type);
  if ((m.esc & starts) != 0) return false;
  const uint64_t leads = lead_type & starts;
  const int64_t good = codes_.known(p, leads);
  const int64_t bad = count_bits(leads) - good;
  if (sjis_.bad + bad > kMostUnknownCodes) return false;
  if ((sjis_.preference & kCandSjis) == 0) {
    sjis_.preference |=
        kana_preference(p, leads & m.kana_row, codes_.table(), codes_.count());
  }
  sjis_.good += good;
  sjis_.bad += bad;
  if (const uint64_t kana = m.kana & starts; kana != 0) {
    sjis_.kana += count_bits(kana);
  }
  if (const uint64_t zeros = m.zero & starts; zeros != 0) {
    const int at_even = count_bits(zeros & 0x5555555555555555ull);
    const int at_odd = count_bits(zeros) - at_even;
    nul_even_ += even ? at_even : at_odd;
    nul_odd_ += even ? at_odd : at_even;
  }
  if (m.high != 0) all_ascii_ = false;
  i += 64 + (leads >> 63);  // a code may take the next block's first byte
  return true;
}

// Whole blocks go at once where they can; the byte-wise reading takes over
// for the next 64 bytes when one declines. A run of high bytes or of plain
// ones that the stop cut goes on as it was.
void FirstScan::read(const Window &w) {
  const unsigned char *const buf = w.buf;
  const size_t len = w.len;
  size_t i = w.at(at), blocks_from = w.bound(blocks_from_);
  const Resume resume = resume_;
  resume_ = Resume::kStep;
  if (resume == Resume::kPlain) {
    i = skip_plain(buf, i, len, nul_even_, nul_odd_);
    if (i >= w.stop) resume_ = Resume::kPlain;
  }
  bool in_run = resume == Resume::kRun;
  while (i < w.stop) {
    if (!in_run && kFastBlockMasks && i >= blocks_from && len - i > 64) {
      if (read_block(buf + i, i, i % 2 == 0)) continue;
      blocks_from = i + 64;
    }
    in_run = false;
    const unsigned char c = buf[i];
    if (c >= 0x80) {
      all_ascii_ = false;
      if (sjis_.read_run(w, i) == ScanEnd::kStop) {
        done = true;
        break;
      }
      if (i >= w.stop && !w.ends && buf[i] >= 0x80) resume_ = Resume::kRun;
    } else if (c == 0) {
      ++(i % 2 == 0 ? nul_even_ : nul_odd_);
      ++i;
    } else if (c == 0x1B) {
      if (read_escape(buf, i, len) == Escape::kJis) {
        jis_ = done = true;
        break;
      }
    } else {
      i = skip_plain(buf, i + 1, len, nul_even_, nul_odd_);
      if (i >= w.stop) resume_ = Resume::kPlain;
    }
  }
  at = w.base + i;
  blocks_from_ = w.base + blocks_from;
  if (w.ends) done = true;
}

void FirstScan::tell(Evidence &e) const {
  e.sjis_good = sjis_.good;
  e.sjis_bad = sjis_.bad;
  e.single_kana = sjis_.kana;
  e.preference |= sjis_.preference;
  e.nul_even += nul_even_;
  e.nul_odd += nul_odd_;
  if (!all_ascii_) e.all_ascii = false;
  if (!e.all_ascii) e.candidates = kCandNonAscii;
  if (sjis_.cut_at_lead) e.end_flags |= kEndSjis;
  if (sjis_.no_code_at_end) e.candidates &= ~kCandSjis;
}

// Escapes, zero bytes and the Shift_JIS reading; true when an escape
// sequence names ISO-2022-JP.
bool first_scan(const kmv_handle *h, const unsigned char *buf, size_t len,
                Evidence &e) {
  FirstScan scan(h, len);
  scan.read(Window::whole(buf, len));
  if (scan.jis()) return true;
  scan.tell(e);
  return false;
}

void sjis_verdict(Evidence &e) {
  if ((e.sjis_good == 0 && e.single_kana == 0) ||
      as_float(e.sjis_bad) > as_float(e.sjis_good) / 30.0f) {
    e.candidates &= ~kCandSjis;
  }
}

}  // namespace kmv::detect
