// Encoding detection: the lead-byte probes, the EUC-JP variant check, the
// buffer detector with its decision step, and detection of a file by name.
#include "kmv.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "core/type_masks.h"
#include "detect/byte_runs.h"

namespace {

using kmv::detect::block_masks;
using kmv::detect::BlockMasks;
using kmv::detect::count_bits;
using kmv::detect::count_flagged_bytes;
using kmv::detect::kEvenLanes;
using kmv::detect::kFastBlockMasks;
using kmv::detect::kHighBits;
using kmv::detect::load_be16;
using kmv::detect::load_word;
using kmv::detect::second_bytes;
using kmv::detect::skip_ascii;
using kmv::detect::zero_bytes;

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

uint32_t entry(const uint16_t *table, uint64_t count, uint64_t index) {
  return (table != nullptr && index < count) ? table[index] : 0u;
}

bool any_code_with_lead(const uint16_t *table, uint64_t count, uint64_t lead,
                        uint32_t first_trail) {
  for (uint32_t trail = first_trail; trail <= 0xFF; ++trail) {
    if (entry(table, count, lead * 256 + trail) != 0) return true;
  }
  return false;
}

bool sjis_lead_possible(const kmv_handle *h, uint64_t lead) {
  return any_code_with_lead(h->sjis2unibe_table, h->sjis2unibe_table_size, lead,
                            0x40);
}

bool euc_lead_possible(const kmv_handle *h, uint64_t lead) {
  return any_code_with_lead(h->euc2unibe_table00, h->euc2unibe_table00_size,
                            lead, 0xA0);
}

bool euc8f_lead_possible(const kmv_handle *h, uint64_t second) {
  return any_code_with_lead(h->euc2unibe_table8f, h->euc2unibe_table8f_size,
                            second, 0xA0);
}

// Counters are 64-bit inside: a buffer handed in directly may hold more
// codes than 32 bits count. Reported counts saturate.
int32_t clamp32(int64_t count) {
  return count > INT32_MAX ? INT32_MAX : static_cast<int32_t>(count);
}

float as_float(int64_t count) {
  return static_cast<float>(count);
}

// ---------------------------------------------------------------------------
// EUC-JP variant check.

void store_euc_defaults(kmv_handle *h) {
  h->euc2unibe_table00 = euc2unibecommon_table00;
  h->euc2unibe_table00_size = euc2unibecommon_table00_size;
  h->euc2unibe_table8f = nullptr;
  h->euc2unibe_table8f_size = 0;
}

void store_euc3(kmv_handle *h) {
  h->euc2unibe_table00 = euc2unibems_table00;
  h->euc2unibe_table00_size = euc2unibems_table00_size;
  h->euc2unibe_table8f = euc2unibems_table8f;
  h->euc2unibe_table8f_size = euc2unibems_table8f_size;
}

uint32_t handle_entry(const kmv_handle *h, uint32_t index, bool three_byte) {
  return three_byte
             ? entry(h->euc2unibe_table8f, h->euc2unibe_table8f_size, index)
             : entry(h->euc2unibe_table00, h->euc2unibe_table00_size, index);
}

struct EucTally {
  int64_t valid = 0, invalid = 0;
  int64_t hits1 = 0, misses1 = 0;
  int64_t hits2 = 0, misses2 = 0;
  int64_t hits3 = 0, misses3 = 0;
  uint32_t bits = 0;
};

bool euc1_holds(uint32_t index, bool three_byte) {
  return three_byte ? entry(euc2unibe20932_table8f, euc2unibe20932_table8f_size,
                            index) != 0
                    : entry(euc2unibe20932_table00, euc2unibe20932_table00_size,
                            index) != 0;
}

bool euc2_holds(uint32_t index, bool three_byte) {
  return !three_byte &&
         entry(euc2unibe51932_table00, euc2unibe51932_table00_size, index) != 0;
}

// The EUC3 reading goes through the handle's slots, which hold the EUC3
// tables only for this one look-up.
bool euc3_holds(kmv_handle *h, uint32_t index, bool three_byte) {
  store_euc3(h);
  const bool held = handle_entry(h, index, three_byte) != 0;
  store_euc_defaults(h);
  return held;
}

// Sorts one code among the variants; true when the 21st invalid code ends
// the walk. `index` is the two-byte code, or the low 16 bits of a
// three-byte one.
bool classify_euc_code(kmv_handle *h, EucTally &t, uint32_t index,
                       bool three_byte) {
  if (handle_entry(h, index, three_byte) != 0) {
    ++t.valid;
    return false;
  }
  const bool in1 = euc1_holds(index, three_byte);
  if (in1) {
    ++t.hits1;
    t.bits |= kCandEuc1;
  } else {
    ++t.misses1;
  }
  const bool in2 = euc2_holds(index, three_byte);
  if (in2) {
    ++t.hits2;
    t.bits |= kCandEuc2;
  } else {
    ++t.misses2;
  }
  if (euc3_holds(h, index, three_byte)) {
    ++t.hits3;
    t.bits |= kCandEuc3;
    return false;
  }
  ++t.misses3;
  if (in1 || in2) return false;
  return ++t.invalid > kMostUnknownCodes;
}

// A three-byte code whose last byte lies beyond the text could still be
// complete when any three-byte table holds a code with this second byte.
bool euc_three_byte_possible(const kmv_handle *h, uint64_t second) {
  return euc8f_lead_possible(h, second) ||
         any_code_with_lead(euc2unibe20932_table8f, euc2unibe20932_table8f_size,
                            second, 0xA0) ||
         any_code_with_lead(euc2unibems_table8f, euc2unibems_table8f_size,
                            second, 0xA0);
}

enum class EucStep { kGoOn, kEnd, kNotEuc };

// The text ends inside the character at its last bytes: a possible start
// marks the reading as cut, an impossible one rules EUC-JP out.
EucStep cut_short(bool possible, uint32_t &end_flags) {
  if (!possible) return EucStep::kNotEuc;
  end_flags |= kEndEuc;
  return EucStep::kEnd;
}

uint32_t is_known(const unsigned char *p, uint64_t bits, const uint16_t *table,
                  uint64_t count) {
  const uint32_t code = load_be16(p + std::countr_zero(bits));
  return code < count && table[code] != 0;
}

// How many of the codes that begin at the set bits of `leads` the table
// holds. The two halves of the mask are walked side by side, so that the
// steps from one bit to the next do not wait on each other.
uint32_t known_codes(const unsigned char *p, uint64_t leads,
                     const uint16_t *table, uint64_t count) {
  uint64_t low = leads & 0xFFFFFFFFu, high = leads & ~uint64_t{0xFFFFFFFFu};
  uint32_t known = 0;
  for (; low != 0 && high != 0; low &= low - 1, high &= high - 1) {
    known += is_known(p, low, table, count) + is_known(p, high, table, count);
  }
  for (uint64_t rest = low | high; rest != 0; rest &= rest - 1) {
    known += is_known(p, rest, table, count);
  }
  return known;
}

// True when the table holds no one-byte character at 0x80 and above: then
// every such byte begins a two-byte code, as in Shift_JIS.
bool no_high_singles(const uint16_t *t00, uint64_t n00) {
  for (uint32_t c = 0x80; c <= 0xFF; ++c) {
    if (entry(t00, n00, c) != 0) return false;
  }
  return true;
}

// One 64-byte block from a character start whose two-byte codes the table
// all holds, counted at once; declines, counting nothing, on a single shift
// at a character start or a code that needs the variant reading.
bool read_valid_block(const unsigned char *buf, size_t buf_len, size_t &i,
                      const uint16_t *t00, uint64_t n00, int64_t &valid) {
  const unsigned char *p = buf + i;
  const auto m = kmv::detect::euc_block_masks(p);
  if (m.high == 0) {
    i = skip_ascii(buf, i + 64, buf_len);
    return true;
  }
  const uint64_t starts = ~second_bytes(m.high);
  if ((m.shift & starts) != 0) return false;
  const uint64_t leads = m.high & starts;
  const int codes = count_bits(leads);
  if (known_codes(p, leads, t00, n00) != static_cast<uint32_t>(codes)) {
    return false;
  }
  valid += codes;
  i += 64 + (leads >> 63);
  return true;
}

struct BlockUse {
  const uint16_t *table = nullptr;
  uint64_t count = 0;
  bool allowed = false;

  // Whether blocks fit the table; asked again only when the table changes.
  bool fits(const uint16_t *t00, uint64_t n00) {
    if (t00 != table || n00 != count) {
      table = t00;
      count = n00;
      allowed = kFastBlockMasks && no_high_singles(t00, n00);
    }
    return allowed;
  }
};

// Codes that the handle's table holds, single-byte characters and
// half-width katakana: they count without the variant reading. Stops at
// anything else, and one byte before the end of the text.
size_t read_valid_run(const kmv_handle *h, const unsigned char *buf, size_t i,
                      size_t len, int64_t &valid, BlockUse &block_use) {
  const uint16_t *const t00 = h->euc2unibe_table00;
  const uint64_t n00 = t00 != nullptr ? h->euc2unibe_table00_size : 0;
  const bool blocks = block_use.fits(t00, n00);
  size_t blocks_from = i;
  int64_t n = 0;
  while (len - i >= 2) {
    if (blocks && i >= blocks_from && len - i > 64) {
      if (read_valid_block(buf, len, i, t00, n00, n)) continue;
      blocks_from = i + 64;
    }
    const uint32_t c = buf[i];
    if (c < 0x80) {
      i = skip_ascii(buf, i + 1, len);
      continue;
    }
    if (c == 0x8F) break;
    if (c == 0x8E) {
      if (buf[i + 1] - 0xA1u > 0xDFu - 0xA1u) break;
      i += 2;
      continue;
    }
    if (c < n00 && t00[c] != 0) {
      ++i;
      continue;
    }
    const uint32_t code = c * 256 + buf[i + 1];
    if (code >= n00 || t00[code] == 0) break;
    ++n;
    i += 2;
  }
  valid += n;
  return i;
}

// The careful reading of one character at i. The 21st invalid code, or a
// text that ends inside a character, ends the walk.
EucStep read_euc_char(kmv_handle *h, EucTally &t, uint32_t &end_flags,
                      const unsigned char *buf, size_t &i, size_t len) {
  const uint32_t c = buf[i];
  if (c < 0x80) {
    ++i;
    return EucStep::kGoOn;
  }
  const size_t left = len - i - 1;  // bytes behind c
  uint32_t index;
  bool three_byte = false;
  if (c == 0x8E || c == 0x8F) {
    if (left == 0) return cut_short(true, end_flags);
    const uint32_t next = buf[i + 1];
    if (c == 0x8E && next >= 0xA1 && next <= 0xDF) {  // half-width kana
      i += 2;
      return EucStep::kGoOn;
    }
    // 0x8E before anything else pairs the two bytes behind it.
    if (left == 1) {
      return cut_short(c == 0x8E ? euc_lead_possible(h, next)
                                 : euc_three_byte_possible(h, next),
                       end_flags);
    }
    index = next * 256 + buf[i + 2];
    three_byte = c == 0x8F;
    i += 3;
  } else if (entry(h->euc2unibe_table00, h->euc2unibe_table00_size, c) != 0) {
    ++i;
    return EucStep::kGoOn;
  } else if (left == 0) {
    return cut_short(euc_lead_possible(h, c), end_flags);
  } else {
    index = c * 256 + buf[i + 1];
    i += 2;
  }
  return classify_euc_code(h, t, index, three_byte) ? EucStep::kEnd
                                                    : EucStep::kGoOn;
}

// Returns false when the text cannot be EUC-JP at all.
bool walk_euc(kmv_handle *h, EucTally &t, uint32_t &end_flags,
              const unsigned char *buf, size_t len) {
  BlockUse block_use;
  size_t i = 0;
  while (true) {
    i = read_valid_run(h, buf, i, len, t.valid, block_use);
    if (i >= len) return true;
    const EucStep step = read_euc_char(h, t, end_flags, buf, i, len);
    if (step != EucStep::kGoOn) return step == EucStep::kEnd;
  }
}

// A variant without a hit cannot pass: its misses include every invalid
// code, and EUC-invalid already exceeds EUC-valid / 30 when this is asked.
void gain_variants_by_share(EucTally &t) {
  const auto fits = [&](int64_t hits, int64_t misses) {
    return as_float(hits + t.valid) / 30.0f > as_float(misses);
  };
  if (fits(t.hits1, t.misses1)) t.bits |= kCandEuc1;
  if (fits(t.hits2, t.misses2)) t.bits |= kCandEuc2;
  if (fits(t.hits3, t.misses3)) t.bits |= kCandEuc3;
}

struct EucReport {
  int32_t *valid;
  int32_t *invalid;
  unsigned char *clean;
};

int32_t score_euc(EucTally &t, const EucReport &out, int32_t expected_type) {
  if (t.hits1 == 0 && t.hits2 == 0 && t.valid == 0 && t.hits3 == 0) return 0;
  if (t.valid <= t.invalid) return 0;
  if (out.clean != nullptr) *out.clean = t.invalid == 0 ? 1 : 0;
  if (out.valid != nullptr) *out.valid = clamp32(t.valid);
  if (out.invalid != nullptr) *out.invalid = clamp32(t.invalid);
  if (as_float(t.invalid) > as_float(t.valid) / 30.0f) {
    gain_variants_by_share(t);
  }
  if (expected_type == KMV_TYPE_EUC1 && (t.bits & kCandEuc1) != 0) {
    return kCandEuc1;
  }
  if (expected_type == KMV_TYPE_EUC2 && (t.bits & kCandEuc2) != 0) {
    return kCandEuc2;
  }
  if (expected_type == KMV_TYPE_EUC3 && (t.bits & kCandEuc3) != 0) {
    return kCandEuc3;
  }
  if (t.bits == 0 || t.bits == (kCandEuc1 | kCandEuc2 | kCandEuc3)) {
    return kCandEuc;
  }
  if (t.bits == (kCandEuc1 | kCandEuc3)) return kCandEuc1;
  return static_cast<int32_t>(t.bits);
}

// ---------------------------------------------------------------------------
// Buffer detector.

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

int32_t bom_type(const unsigned char *buf, uint64_t len) {
  if (len >= 2 && buf[0] == 0xFE && buf[1] == 0xFF) return KMV_TYPE_UTF16BE_BOM;
  if (len >= 2 && buf[0] == 0xFF && buf[1] == 0xFE) return KMV_TYPE_UTF16LE_BOM;
  if (len >= 3 && buf[0] == 0xEF && buf[1] == 0xBB && buf[2] == 0xBF) {
    return KMV_TYPE_UTF8_BOM;
  }
  return 0;
}

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
bool read_block(SjisReading &sjis, Evidence &e, const unsigned char *buf,
                size_t &i) {
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
  const uint64_t count = sjis.table != nullptr ? sjis.count : 0;
  const int64_t good = known_codes(p, leads, sjis.table, count);
  const int64_t bad = count_bits(leads) - good;
  if (sjis.bad + bad > kMostUnknownCodes) return false;
  if ((sjis.preference & kCandSjis) == 0) {
    sjis.preference |=
        kana_preference(p, leads & m.kana_row, sjis.table, count);
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

// Escapes, zero bytes and the Shift_JIS reading; true when an escape
// sequence names ISO-2022-JP. Whole blocks go at once where they can; the
// byte-wise reading takes over for the next 64 bytes when one declines.
bool first_scan(const kmv_handle *h, const unsigned char *buf, size_t len,
                Evidence &e) {
  SjisReading sjis{h->sjis2unibe_table, h->sjis2unibe_table_size};
  size_t i = 0, blocks_from = 0;
  while (i < len) {
    if (kFastBlockMasks && i >= blocks_from && len - i > 64) {
      if (read_block(sjis, e, buf, i)) continue;
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

void euc_pass(kmv_handle *h, const unsigned char *buf, size_t len,
              int32_t expected_type, Evidence &e) {
  store_euc_defaults(h);
  const int32_t bits =
      check_euc(h, &e.euc_valid, &e.euc_invalid, &e.end_flags, &e.preference,
                &e.euc_clean, expected_type, buf, len);
  store_euc_defaults(h);
  if ((e.sjis_bad > 0 || e.single_kana > e.sjis_good) && e.euc_valid > 0 &&
      e.euc_invalid == 0) {
    e.candidates &= ~kCandSjis;
  }
  e.candidates = (e.candidates & ~kCandEucAny) | static_cast<uint32_t>(bits);
}

bool is_continuation(uint32_t byte) {
  return byte >= 0x80 && byte <= 0xBF;
}

enum class Utf8End { kGoOn, kRuledOut, kCut };

// The careful reading of one character at i, near the end of the text or
// where the quick run below stopped.
Utf8End read_utf8_char(const unsigned char *buf, size_t &i, size_t len,
                       uint32_t &end_flags, int64_t &seq) {
  const uint32_t c = buf[i];
  const size_t left = len - i - 1;
  if (c < 0x80) {
    ++i;
    return Utf8End::kGoOn;
  }
  if (left == 0) {
    end_flags |= kEndUtf8;
    return (c >= 0xC0 && c <= 0xEF) ? Utf8End::kCut : Utf8End::kRuledOut;
  }
  if (c >= 0xC0 && c <= 0xDF) {
    if (!is_continuation(buf[i + 1])) return Utf8End::kRuledOut;
    ++seq;
    i += 2;
    return Utf8End::kGoOn;
  }
  const bool three_lead = c >= 0xE0 && c <= 0xEF;
  if (left == 1) {
    end_flags |= kEndUtf8;
    return (three_lead && is_continuation(buf[i + 1])) ? Utf8End::kCut
                                                       : Utf8End::kRuledOut;
  }
  if (!three_lead || !is_continuation(buf[i + 1]) ||
      !is_continuation(buf[i + 2])) {
    return Utf8End::kRuledOut;
  }
  ++seq;
  i += 3;
  return Utf8End::kGoOn;
}

// Well-formed two- and three-byte sequences and ASCII, while a whole
// three-byte sequence still fits: there the careful reading would take the
// same steps. Stops at anything else.
size_t read_utf8_run(const unsigned char *buf, size_t i, size_t len,
                     int64_t &seq) {
  int64_t n = 0;
  while (len - i >= 3) {
    const uint32_t c = buf[i];
    const bool second_cont = (buf[i + 1] & 0xC0) == 0x80;
    if ((c & 0xF0) == 0xE0 && second_cont && (buf[i + 2] & 0xC0) == 0x80) {
      ++n;
      i += 3;
    } else if (c < 0x80) {
      i = skip_ascii(buf, i + 1, len);
    } else if ((c & 0xE0) == 0xC0 && second_cont) {
      ++n;
      i += 2;
    } else {
      break;
    }
  }
  seq += n;
  return i;
}

void utf8_pass(const unsigned char *buf, size_t len, Evidence &e) {
  int64_t seq = 0;
  uint32_t end_flags = e.end_flags;
  size_t i = 0;
  while (true) {
    i = read_utf8_run(buf, i, len, seq);
    if (i >= len) break;
    const Utf8End step = read_utf8_char(buf, i, len, end_flags, seq);
    if (step == Utf8End::kRuledOut) {
      e.end_flags = end_flags;
      e.candidates &= ~kCandUtf8;
      return;
    }
    if (step == Utf8End::kCut) break;
  }
  e.end_flags = end_flags;
  e.utf8_seq = seq;
  if (seq == 0) e.candidates &= ~kCandUtf8;
}

uint32_t utf16_kana_preference(uint32_t unit, bool plausible, uint32_t order) {
  const bool kana = (unit - 0x3041u <= 0x3093u - 0x3041u) |
                    (unit - 0x30A1u <= 0x30F3u - 0x30A1u);
  return static_cast<uint32_t>(kana & plausible) * order;
}

bool is_mark_or_replacement(uint32_t unit) {
  return (unit == 0xFEFF) | (unit == 0xFFFD);
}

bool is_line_control(uint32_t byte) {
  return (byte == 0x09) | (byte == 0x0A) | (byte == 0x0D);
}

// The UTF-16 readings in both byte orders. Each unit is read both ways even
// after one order has left the set; the walk goes on while either is left.
// An implausible unit rules its order out, unless it is a byte-order mark or
// a replacement character read that way, which decides the order; so does a
// tab or line end in a big-endian unit.
class Utf16Reading {
 public:
  uint32_t candidates;
  int64_t be_good = 0, le_good = 0;
  uint32_t preference = 0;

  Utf16Reading(uint32_t cand, const uint16_t *def, uint64_t def_count)
      : candidates(cand), def_(def), def_count_(def_count) {
    // An empty table reads entry 0 of this one, and discards it.
    if (def_ == nullptr || def_count_ == 0) def_ = kNoTable, def_count_ = 1;
  }

  // Returns the number of bytes read.
  size_t walk(const unsigned char *buf, size_t len) {
    size_t i = 0;
    while (len - i >= 2 && !ended_) {
      switch (candidates & kCandUtf16) {
        case kCandUtf16be:
          i = walk_big_endian_only(buf, i, len);
          break;
        case kCandUtf16le:
          i = walk_little_endian_only(buf, i, len);
          break;
        default:
          i = walk_both(buf, i, len);
          break;
      }
    }
    return i;
  }

  // True when the walk ended on a decision or with both orders ruled out,
  // before the end of the text.
  bool ended_early() const { return ended_; }

 private:
  static constexpr uint16_t kNoTable[1] = {0};
  const uint16_t *def_;
  uint64_t def_count_;
  bool ended_ = false;

  bool plausible(uint32_t unit) const {
    const bool inside = unit < def_count_;
    return inside & ((def_[inside ? unit : 0] & 3) != 0);
  }

  // One unit read both ways, exactly by the rules.
  void read_unit(uint32_t u0, uint32_t u1) {
    const uint32_t be = u0 * 256 + u1, le = u1 * 256 + u0;
    const bool be_ok = plausible(be), le_ok = plausible(le);
    const bool be_decides =
        be_ok ? u0 == 0 && is_line_control(u1) : is_mark_or_replacement(be);
    if (be_decides) return decide(kCandUtf16be);
    be_good += be_ok;
    preference |= utf16_kana_preference(be, be_ok, kCandUtf16be);
    candidates &= ~(static_cast<uint32_t>(!be_ok) * kCandUtf16be);
    if ((candidates & kCandUtf16) == 0) return end();
    if (!le_ok && is_mark_or_replacement(le)) return decide(kCandUtf16le);
    le_good += le_ok;
    preference |= utf16_kana_preference(le, le_ok, kCandUtf16le);
    candidates &= ~(static_cast<uint32_t>(!le_ok) * kCandUtf16le);
    if ((candidates & kCandUtf16) == 0) end();
  }

  void decide(uint32_t order) {
    candidates = order;
    end();
  }
  void end() { ended_ = true; }

  // Returns when the set of orders changes or the walk ends.
  size_t walk_both(const unsigned char *buf, size_t i, size_t len) {
    for (; len - i >= 2; i += 2) {
      read_unit(buf[i], buf[i + 1]);
      if (ended_ || (candidates & kCandUtf16) != kCandUtf16) return i + 2;
    }
    return i;
  }

  // Once UTF16BE has left the set, its count and preference no longer
  // matter (only a decision brings it back, and a decided walk ends with
  // one candidate); only its deciding units do, and those are rare: a first
  // byte 0x00 (a tab or line end) or 0xFE and up (a mark or replacement
  // character). Each plain unit then needs just the little-endian reading.
  size_t walk_little_endian_only(const unsigned char *buf, size_t i,
                                 size_t len) {
    const uint16_t *const def = def_;
    const uint64_t count = def_count_;
    int64_t good = 0;
    uint32_t pref = preference & kCandUtf16le;
    for (; len - i >= 2; i += 2) {
      const uint32_t le = buf[i] | static_cast<uint32_t>(buf[i + 1]) << 8;
      const bool plain =
          le < count && (def[le] & 3) != 0 && (le & 0xFF) - 1u < 0xFDu;
      if (!plain) break;
      ++good;
      if (pref == 0) pref = utf16_kana_preference(le, true, kCandUtf16le);
    }
    le_good += good;
    preference |= pref;
    if (len - i >= 2) read_unit(buf[i], buf[i + 1]), i += 2;
    return i;
  }

  // The mirror image, once UTF16LE has left the set: its deciding units
  // have a second byte of 0xFE and up.
  size_t walk_big_endian_only(const unsigned char *buf, size_t i, size_t len) {
    const uint16_t *const def = def_;
    const uint64_t count = def_count_;
    int64_t good = 0;
    uint32_t pref = preference & kCandUtf16be;
    for (; len - i >= 2; i += 2) {
      const uint32_t be = static_cast<uint32_t>(buf[i]) << 8 | buf[i + 1];
      const bool plain =
          be < count && (def[be] & 3) != 0 && be >= 0x100 && (be & 0xFF) < 0xFE;
      if (!plain) break;
      ++good;
      if (pref == 0) pref = utf16_kana_preference(be, true, kCandUtf16be);
    }
    be_good += good;
    preference |= pref;
    if (len - i >= 2) read_unit(buf[i], buf[i + 1]), i += 2;
    return i;
  }
};

void utf16_pass(const kmv_handle *h, const unsigned char *buf, size_t len,
                Evidence &e) {
  Utf16Reading r(e.candidates, h->unibe_def_table, h->unibe_def_table_size);
  const size_t read = r.walk(buf, len);
  e.candidates = r.candidates;
  e.preference |= r.preference;
  e.be_good = r.be_good;
  e.le_good = r.le_good;
  // A walk that ended early, on a decision or with both orders ruled out,
  // has no byte left over.
  if (!r.ended_early() && read + 1 == len) {
    if (e.be_good == 0) e.candidates &= ~kCandUtf16be;
    if (e.le_good == 0) e.candidates &= ~kCandUtf16le;
    e.end_flags |= kEndUtf16;
  }
}

// Candidates whose reading was cut leave the set; flags and preferences of
// candidates that are gone are dropped.
void settle_cut_readings(uint32_t &cand, uint32_t &end, uint32_t &pref) {
  if ((end & kEndSjis) != 0) cand &= ~kCandSjis;
  if ((end & kEndEuc) != 0) cand &= ~kCandEuc;
  if ((end & kEndUtf16) != 0) cand &= ~kCandUtf16;
  if ((end & kEndUtf8) != 0) cand &= ~kCandUtf8;
  if ((cand & kCandSjis) == 0) end &= ~kEndSjis, pref &= ~kCandSjis;
  if ((cand & kCandEucAny) == 0) end &= ~kEndEuc, pref &= ~kCandEuc;
  if ((cand & kCandUtf16be) == 0) end &= ~kEndUtf16, pref &= ~kCandUtf16be;
  if ((cand & kCandUtf16le) == 0) end &= ~kEndUtf16, pref &= ~kCandUtf16le;
  if ((cand & kCandUtf8) == 0) end &= ~kEndUtf8;
}

int32_t fallback(const Evidence &e) {
  if (e.sjis_good > 0 && e.sjis_bad == 0) {
    return static_cast<int32_t>(e.euc_clean ? KMV_MASK_SJIS | KMV_MASK_EUC
                                            : KMV_MASK_SJIS);
  }
  return e.euc_clean ? static_cast<int32_t>(KMV_MASK_EUC) : kNoCandidate;
}

bool zero_bytes_lean_one_way(const Evidence &e) {
  return as_float(e.nul_even) / 100.0f > as_float(e.nul_odd) ||
         as_float(e.nul_odd) / 100.0f > as_float(e.nul_even);
}

int32_t final_decision(Evidence &e, int32_t expected_type, bool ignore_hints) {
  uint32_t pref = ignore_hints ? 0 : e.preference;
  const int32_t expected = ignore_hints ? 0 : expected_type;
  uint32_t end = e.end_flags;
  settle_cut_readings(e.candidates, end, pref);
  int32_t result = _detect(expected, e.candidates, end, pref);
  if (end != 0 && result == kNoCandidate) {
    result = _detect(expected, e.candidates, 0, pref);
  }
  if (result == kNoCandidate) result = fallback(e);
  if (!ignore_hints && result >= KMV_MASK_MIN && zero_bytes_lean_one_way(e)) {
    result &= static_cast<int32_t>(KMV_MASK_UTF16BE | KMV_MASK_UTF16LE);
  }
  return result;
}

// ---------------------------------------------------------------------------
// Decision step.

constexpr int32_t kUndecided = INT32_MIN;

bool expects(int32_t expected, int32_t first, int32_t last) {
  return expected >= first && expected <= last;
}

int32_t pick(uint32_t cand, uint32_t only, int32_t type, uint32_t mask) {
  return cand == only ? type : static_cast<int32_t>(mask);
}

int32_t decide_euc(int32_t expected, uint32_t cand, uint32_t &r) {
  if ((cand & kCandEuc) != 0) {
    if (expects(expected, 5, 8)) return pick(cand, kCandEuc, 5, KMV_MASK_EUC);
    r |= KMV_MASK_EUC;
  }
  if ((cand & kCandEuc1) != 0) {
    if (expects(expected, 5, 7)) return pick(cand, kCandEuc1, 6, KMV_MASK_EUC1);
    r |= KMV_MASK_EUC1;
    if (expected == 8) return pick(cand, kCandEuc1, 8, KMV_MASK_EUC3);
  }
  if ((cand & kCandEuc2) != 0) {
    if (expects(expected, 5, 8)) return pick(cand, kCandEuc2, 7, KMV_MASK_EUC2);
    r |= KMV_MASK_EUC2;
  }
  if ((cand & kCandEuc3) != 0) {
    if (expects(expected, 5, 8)) return pick(cand, kCandEuc3, 8, KMV_MASK_EUC3);
    r |= KMV_MASK_EUC3;
  }
  return kUndecided;
}

int32_t decide_utf16(int32_t expected, uint32_t cand, uint32_t &r) {
  if ((cand & kCandUtf16be) != 0) {
    r |= KMV_MASK_UTF16BE;
    if (expects(expected, 11, 12)) {
      return pick(cand, kCandUtf16be, 11, KMV_MASK_UTF16BE);
    }
  }
  if ((cand & kCandUtf16le) != 0) {
    r |= KMV_MASK_UTF16LE;
    if (expects(expected, 13, 14)) {
      return pick(cand, kCandUtf16le, 13, KMV_MASK_UTF16LE);
    }
  }
  return kUndecided;
}

// A preference narrows several candidates to one mask, still as a mask.
int32_t apply_preference(uint32_t r, uint32_t pref) {
  if (pref == kCandSjis && (r & KMV_MASK_SJIS) != 0) return KMV_MASK_SJIS;
  if (pref == kCandEuc && (r & KMV_MASK_EUC) != 0) return KMV_MASK_EUC;
  if (pref == kCandUtf16be && (r & KMV_MASK_UTF16BE) != 0) {
    return KMV_MASK_UTF16BE;
  }
  if (pref == kCandUtf16le && (r & KMV_MASK_UTF16LE) != 0) {
    return KMV_MASK_UTF16LE;
  }
  return static_cast<int32_t>(r);
}

int32_t decide_front(int32_t expected, uint32_t cand, uint32_t end,
                     uint32_t &r) {
  if ((cand & kCandAscii) != 0) {
    r = KMV_MASK_ASCII;
    if (expected == KMV_TYPE_ASCII) {
      return pick(cand, kCandAscii, KMV_TYPE_ASCII, KMV_MASK_ASCII);
    }
  }
  if ((cand & kCandSjis) != 0 && (end & kEndSjis) == 0) {
    r |= KMV_MASK_SJIS;
    if (expected == KMV_TYPE_SJIS) {
      return pick(cand, kCandSjis, KMV_TYPE_SJIS, KMV_MASK_SJIS);
    }
  }
  if ((end & kEndEuc) == 0) {
    if (const int32_t d = decide_euc(expected, cand, r); d != kUndecided) {
      return d;
    }
  }
  if ((end & kEndUtf16) == 0) return decide_utf16(expected, cand, r);
  return kUndecided;
}

}  // namespace

extern "C" {

// ---------------------------------------------------------------------------
// Probes.

KMV_API unsigned char is_sjis_possible(const kmv_handle *handle,
                                       uint32_t lead) {
  return handle != nullptr && sjis_lead_possible(handle, lead) ? 1 : 0;
}

KMV_API unsigned char is_euc_possible(const kmv_handle *handle, uint32_t lead) {
  return handle != nullptr && euc_lead_possible(handle, lead) ? 1 : 0;
}

KMV_API unsigned char is_euc_possible8f(const kmv_handle *handle,
                                        uint32_t second) {
  return handle != nullptr && euc8f_lead_possible(handle, second) ? 1 : 0;
}

KMV_API unsigned char is_unibe_possible(const kmv_handle *, uint32_t) {
  return 1;
}

KMV_API unsigned char is_unile_possible(const kmv_handle *, uint32_t) {
  return 1;
}

KMV_API int32_t check_euc(kmv_handle *handle, int32_t *euc_valid,
                          int32_t *euc_invalid, uint32_t *end_flags,
                          uint32_t * /*preference: not consulted*/,
                          unsigned char *euc_clean, int32_t expected_type,
                          const unsigned char *buf, uint64_t buf_len) {
  if (handle == nullptr || buf == nullptr) return 0;
  EucTally tally;
  uint32_t flags = end_flags != nullptr ? *end_flags : 0;
  if (!walk_euc(handle, tally, flags, buf, buf_len)) return 0;
  if (end_flags != nullptr) *end_flags = flags;
  return score_euc(tally, EucReport{euc_valid, euc_invalid, euc_clean},
                   expected_type);
}

// ---------------------------------------------------------------------------
// Decision step and buffer detector.

KMV_API int32_t _detect(int32_t expected_type, uint32_t candidates,
                        uint32_t end_flags, uint32_t preference) {
  uint32_t r = 0;
  const int32_t early = decide_front(expected_type, candidates, end_flags, r);
  if (early != kUndecided) return early;
  if ((candidates & kCandUtf8) != 0 && (end_flags & kEndUtf8) == 0) {
    if (expects(expected_type, 15, 16)) {
      return pick(candidates, kCandUtf8, KMV_TYPE_UTF8, KMV_MASK_UTF8);
    }
    r |= KMV_MASK_UTF8;
    if (r == KMV_MASK_UTF8) return KMV_TYPE_UTF8;
  } else {
    if (const int32_t t = kmv::type_of_plain_mask(r, kUndecided);
        t != kUndecided) {
      return t;
    }
    if (r == 0) return kNoCandidate;
  }
  return apply_preference(r, preference);
}

KMV_API int32_t kmv_buf(kmv_handle *handle, const unsigned char *buf,
                        uint64_t buf_len, int32_t expected_type,
                        unsigned char ignore_hints) {
  if (buf_len == 0) return 0;
  if (handle == nullptr || buf == nullptr) return kNoCandidate;
  if (const int32_t bom = bom_type(buf, buf_len); bom != 0) return bom;
  if (expected_type == KMV_TYPE_ASCII) expected_type = KMV_TYPE_UTF8;
  const size_t len = buf_len;
  Evidence e;
  if (first_scan(handle, buf, len, e)) return KMV_TYPE_JIS;
  sjis_verdict(e);
  if (e.all_ascii) {
    e.candidates &= kCandAscii | kCandUtf16;
  } else {
    euc_pass(handle, buf, len, expected_type, e);
    utf8_pass(buf, len, e);
  }
  utf16_pass(handle, buf, len, e);
  return final_decision(e, expected_type, ignore_hints != 0);
}

// ---------------------------------------------------------------------------
// File detection.

KMV_API int32_t kmv_path_keep(kmv_handle *handle, unsigned char **buf,
                              uint64_t *buf_len, const char *path,
                              int32_t expected_type,
                              unsigned char ignore_hints) {
  if (buf != nullptr) {
    *buf = nullptr;
    if (buf_len != nullptr) *buf_len = 0;
  }
  unsigned char *text = nullptr;
  uint64_t text_len = 0;
  const int32_t status = kmv_read_file(handle, &text, &text_len, path);
  if (status < 0) return status;
  const int32_t result =
      kmv_buf(handle, text, text_len, expected_type, ignore_hints);
  if (buf == nullptr) {
    std::free(text);
    return result;
  }
  *buf = text;
  if (buf_len != nullptr) *buf_len = text_len;
  return result;
}

KMV_API int32_t kmv_path(kmv_handle *handle, const char *path,
                         int32_t expected_type, unsigned char ignore_hints) {
  return kmv_path_keep(handle, nullptr, nullptr, path, expected_type,
                       ignore_hints);
}

}  // extern "C"
