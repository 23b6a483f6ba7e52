// The detector's first scan: escape sequences, zero bytes and the
// Shift_JIS reading.
#include <bit>
#include <cstddef>
#include <cstdint>

#include "detect/byte_runs.h"
#include "detect/candidates.h"
#include "detect/passes.h"
#include "detect/table_lookups.h"
#include "kmv.h"

namespace {

using namespace kmv::detect;

// Steps over bytes below 0x80 other than ESC, eight at a time, counting the
// zero bytes among them by the parity of their offsets.
size_t skip_plain(const unsigned char *buf, size_t i, size_t len, Evidence &e) {
  while (len - i >= 8) {
    const uint64_t word = load_word(buf + i);
    if ((word & kHighBits) != 0 || kmv::detect::has_byte(word, 0x1B)) break;
    if (const uint64_t zeros = zero_bytes(word); zeros != 0) {
      const int even = count_flagged_bytes(zeros & kEvenLanes);
      const int odd = count_flagged_bytes(zeros) - even;
      e.nul_even += (i % 2 == 0) ? even : odd;
      e.nul_odd += (i % 2 == 0) ? odd : even;
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

enum class ScanEnd { kGoOn, kStop };

// The Shift_JIS reading of a run of characters that start with a high
// byte. Ends before a byte below 0x80, at the end of the text, or on the
// 21st unknown code. The counters are copied to locals for the run: the
// text's bytes may alias any member.
struct SjisReading {
  const uint16_t *table;
  uint64_t count;
  int64_t good = 0, bad = 0, kana = 0;
  uint32_t preference = 0;
  bool cut_at_lead = false, no_code_at_end = false;

  ScanEnd read_run(const unsigned char *buf, size_t &pos, size_t len) {
    const uint16_t *const t = table;
    const uint64_t n = t != nullptr ? count : 0;
    int64_t good_n = good, bad_n = bad, kana_n = kana;
    uint32_t pref = preference;
    size_t i = pos;
    ScanEnd end = ScanEnd::kGoOn;
    while (len - i >= 2) {
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
  ScanEnd read_last_byte(uint32_t c, size_t &i) {
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
};

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

// One 64-byte block from a character start, read at once: the table is
// consulted only at the first bytes of two-byte codes. Declines, counting
// nothing, when an ESC starts a character in the block or the block holds
// the 21st unknown code; the byte-wise reading takes those.
bool read_block(SjisReading &sjis, CodeTable &codes, Evidence &e,
                const unsigned char *buf, size_t &i) {
  const unsigned char *p = buf + i;
  const BlockMasks m = block_masks(p);
  if ((m.high | m.esc | m.zero) == 0) {
    i += 64;
    return true;
  }
  const uint64_t lead_type = m.high & ~m.kana;
  const uint64_t starts = ~second_bytes(lead_type);
  if ((m.esc & starts) != 0) return false;
  const uint64_t leads = lead_type & starts;
  const int64_t good = codes.known(p, leads);
  const int64_t bad = count_bits(leads) - good;
  if (sjis.bad + bad > kMostUnknownCodes) return false;
  if ((sjis.preference & kCandSjis) == 0) {
    sjis.preference |=
        kana_preference(p, leads & m.kana_row, codes.table(), codes.count());
  }
  sjis.good += good;
  sjis.bad += bad;
  if (const uint64_t kana = m.kana & starts; kana != 0) {
    sjis.kana += count_bits(kana);
  }
  if (const uint64_t zeros = m.zero & starts; zeros != 0) {
    const int even = count_bits(zeros & 0x5555555555555555ull);
    const int odd = count_bits(zeros) - even;
    e.nul_even += i % 2 == 0 ? even : odd;
    e.nul_odd += i % 2 == 0 ? odd : even;
  }
  if (m.high != 0) e.all_ascii = false;
  i += 64 + (leads >> 63);  // a code may take the next block's first byte
  return true;
}

}  // namespace

namespace kmv::detect {

// Escapes, zero bytes and the Shift_JIS reading; true when an escape
// sequence names ISO-2022-JP. Whole blocks go at once where they can; the
// byte-wise reading takes over for the next 64 bytes when one declines.
bool first_scan(const kmv_handle *h, const unsigned char *buf, size_t len,
                Evidence &e) {
  SjisReading sjis{h->sjis2unibe_table, h->sjis2unibe_table_size};
  CodeTable codes(sjis.table, sjis.count, len);
  size_t i = 0, blocks_from = 0;
  while (i < len) {
    if (kFastBlockMasks && i >= blocks_from && len - i > 64) {
      if (read_block(sjis, codes, e, buf, i)) continue;
      blocks_from = i + 64;
    }
    const unsigned char c = buf[i];
    if (c >= 0x80) {
      e.all_ascii = false;
      if (sjis.read_run(buf, i, len) == ScanEnd::kStop) break;
    } else if (c == 0) {
      ++(i % 2 == 0 ? e.nul_even : e.nul_odd);
      ++i;
    } else if (c == 0x1B) {
      if (read_escape(buf, i, len) == Escape::kJis) return true;
    } else {
      i = skip_plain(buf, i + 1, len, e);
    }
  }
  e.sjis_good = sjis.good;
  e.sjis_bad = sjis.bad;
  e.single_kana = sjis.kana;
  e.preference |= sjis.preference;
  if (!e.all_ascii) e.candidates = kCandNonAscii;
  if (sjis.cut_at_lead) e.end_flags |= kEndSjis;
  if (sjis.no_code_at_end) e.candidates &= ~kCandSjis;
  return false;
}

void sjis_verdict(Evidence &e) {
  if ((e.sjis_good == 0 && e.single_kana == 0) ||
      as_float(e.sjis_bad) > as_float(e.sjis_good) / 30.0f) {
    e.candidates &= ~kCandSjis;
  }
}

}  // namespace kmv::detect
