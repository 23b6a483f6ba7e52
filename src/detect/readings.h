// The detector's four readings of a text. Each reads the bytes at hand up
// to a stop and goes on from there when more come, so that a text read in
// pieces is found to be what the whole of it is found to be.
#ifndef KMV_DETECT_READINGS_H
#define KMV_DETECT_READINGS_H

#include <cstddef>
#include <cstdint>
#include <optional>

#include "detect/candidates.h"
#include "detect/table_lookups.h"
#include "kmv.h"
#include "simd/level.h"

namespace kmv::detect {

// A step of a reading reads no further than this many bytes from where it
// starts; a step over plain bytes goes on to the end of those at hand at
// most.
inline constexpr size_t kLookAhead = 128;

// Bytes [0, len) of the text at hand, buf[0] at offset `base` of the text
// (an even offset: a position keeps its parity). A reading takes steps
// from positions before `stop`. Unless the text ends at len, `stop` lies
// kLookAhead bytes before len, so that no step reads past len or finds the
// text ended where it goes on. At least two bytes before the first
// position of any reading are at hand (a UTF-16 unit looks back one unit).
struct Window {
  const unsigned char *buf;
  uint64_t base;
  size_t len;
  size_t stop;
  bool ends;

  static Window whole(const unsigned char *buf, size_t len) {
    return {buf, 0, len, len, true};
  }
  // A position in the window, of an offset of the text in it.
  size_t at(uint64_t offset) const {
    return static_cast<size_t>(offset - base);
  }
  // The same of an offset that only bounds positions from below, and
  // may lie before the window.
  size_t bound(uint64_t offset) const {
    return offset > base ? static_cast<size_t>(offset - base) : 0;
  }
};

// Where a reading stands: the offset of its next step in the text, and
// whether it has finished (at the end of the text or before).
struct Progress {
  uint64_t at = 0;
  bool done = false;
};

// A reading by quick runs, each of which starts with blocks allowed, and
// careful steps of one character between them: `run(i, blocks_from)`
// returns where its run stopped, `careful(i)` steps over one character and
// tells whether the reading goes on. Stops at the window's stop, finishes
// at the end of the text or where a careful step ends it.
template <typename Run, typename Careful>
void read_runs(Progress &p, uint64_t &blocks_from, const Window &w, Run run,
               Careful careful) {
  size_t i = w.at(p.at), from = w.bound(blocks_from);
  while (true) {
    i = run(i, from);
    if (i >= w.stop && !w.ends) break;
    if (i >= w.len || !careful(i)) {
      p.done = true;
      break;
    }
    from = i;
  }
  p.at = w.base + i;
  blocks_from = w.base + from;
}

enum class ScanEnd { kGoOn, kStop };

// The Shift_JIS tallies of the first scan.
struct SjisReading {
  const uint16_t *table;
  uint64_t count;
  int64_t good = 0, bad = 0, kana = 0;
  uint32_t preference = 0;
  bool cut_at_lead = false, no_code_at_end = false;

  ScanEnd read_run(const Window &w, size_t &pos);
  ScanEnd read_last_byte(uint32_t c, size_t &i);
};

// Escapes, zero bytes and the Shift_JIS reading.
class FirstScan : public Progress {
 public:
  FirstScan(const kmv_handle *h, size_t text_length);
  void read(const Window &w);
  // An escape sequence named ISO-2022-JP: that decides the text.
  bool jis() const { return jis_; }
  bool all_ascii() const { return all_ascii_; }
  void tell(Evidence &e) const;

 private:
  // What the stop cut short, to go on with.
  enum class Resume { kStep, kRun, kPlain };

  bool read_block(const unsigned char *p, size_t &i, bool even);

  SjisReading sjis_;
  CodeTable codes_;
  uint64_t blocks_from_ = 0;
  int64_t nul_even_ = 0, nul_odd_ = 0;
  Resume resume_ = Resume::kStep;
  bool all_ascii_ = true, jis_ = false;
};

struct EucTally {
  int64_t valid = 0, invalid = 0;
  int64_t hits1 = 0, misses1 = 0;
  int64_t hits2 = 0, misses2 = 0;
  int64_t hits3 = 0, misses3 = 0;
  uint32_t bits = 0;
};

// Whether 64-byte blocks may be read at once with the handle's table.
struct EucBlockUse {
  std::optional<CodeTable> codes;
  bool allowed = false;

  // Asked again only when the table changes.
  bool fits(const uint16_t *t00, uint64_t n00, size_t text_length);
};

struct EucReport {
  int32_t *valid;
  int32_t *invalid;
  unsigned char *clean;
};

// The EUC-JP reading with the handle's tables, and which variant tables
// read the codes that those leave unknown.
class EucReading : public Progress {
 public:
  EucReading(kmv_handle *h, size_t text_length)
      : h_(h), text_length_(text_length) {}
  void read(const Window &w);
  // The EUC-JP candidate bits, 0 when the text is no EUC-JP; fills the
  // report and adds the end flags when it is. Asked once.
  int32_t score(const EucReport &out, uint32_t &end_flags,
                int32_t expected_type);
  // The same into the evidence, after the Shift_JIS verdict.
  void tell(int32_t expected_type, Evidence &e);

 private:
  kmv_handle *h_;
  size_t text_length_;
  EucTally tally_;
  EucBlockUse block_use_;
  uint64_t blocks_from_ = 0;
  uint32_t end_flags_ = 0;
  bool skipping_ = false, not_euc_ = false;
};

class Utf8Reading : public Progress {
 public:
  void read(const Window &w);
  void tell(Evidence &e) const;

 private:
  int64_t seq_ = 0;
  uint64_t blocks_from_ = 0;
  uint32_t end_flags_ = 0;
  bool skipping_ = false, ruled_out_ = false;
};

// The UTF-16 readings in both byte orders. Each unit is read both ways even
// after one order has left the set; the walk goes on while either is left.
// An implausible unit rules its order out, unless it is a byte-order mark or
// a replacement character read that way, which decides the order; so does a
// tab or line end in a big-endian unit.
class Utf16Reading : public Progress {
 public:
  Utf16Reading(const kmv_handle *h, size_t text_length);
  void read(const Window &w);
  void tell(Evidence &e) const;

 private:
  static constexpr uint16_t kNoTable[1] = {0};
  const uint16_t *def_;
  uint64_t def_count_;
  uint32_t candidates_ = kCandUtf16;
  int64_t be_good_ = 0, le_good_ = 0;
  uint32_t preference_ = 0;
  uint64_t blocks_from_ = 0;
  bool decided_ = false, ended_ = false, odd_byte_left_ = false;
  // Whether the table's rows are summarized, once the text is long enough
  // to pay for reading the whole table.
  enum class Rows { kLater, kSummarized, kNone } rows_state_;
  simd::UnitRows rows_;

  const simd::UnitRows *unit_rows();

  bool plausible(uint32_t unit) const;
  void read_unit(const unsigned char *buf, size_t i, size_t len);
  void decide(uint32_t order) {
    candidates_ = order;
    decided_ = true;
    end();
  }
  void end() { ended_ = true; }
  size_t walk_both(const Window &w, size_t i);
  template <bool kBig>
  size_t walk_one_order(const Window &w, size_t i);
};

// All four, for one text.
struct Readings {
  FirstScan first;
  EucReading euc;
  Utf8Reading utf8;
  Utf16Reading utf16;

  Readings(kmv_handle *h, size_t text_length)
      : first(h, text_length), euc(h, text_length), utf16(h, text_length) {}
  // The answer from what the readings found; the EUC-JP and UTF-8 readings
  // count only where the first scan met a byte of 0x80 or above.
  int32_t decide(int32_t expected_type, bool ignore_hints);
};

}  // namespace kmv::detect

#endif
