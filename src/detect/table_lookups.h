// Look-ups in the conversion tables that the detector's passes share.
#ifndef KMV_DETECT_TABLE_LOOKUPS_H
#define KMV_DETECT_TABLE_LOOKUPS_H

#include <bit>
#include <cstddef>
#include <cstdint>

#include "detect/byte_runs.h"
#include "kmv.h"

namespace kmv::detect {

inline uint32_t entry(const uint16_t *table, uint64_t count, uint64_t index) {
  return (table != nullptr && index < count) ? table[index] : 0u;
}

inline bool any_code_with_lead(const uint16_t *table, uint64_t count,
                               uint64_t lead, uint32_t first_trail) {
  for (uint32_t trail = first_trail; trail <= 0xFF; ++trail) {
    if (entry(table, count, lead * 256 + trail) != 0) return true;
  }
  return false;
}

// Whether any code of the handle's Shift_JIS, EUC-JP or EUC-JP three-byte
// table begins with the given byte(s).
bool sjis_lead_possible(const kmv_handle *h, uint64_t lead);
bool euc_lead_possible(const kmv_handle *h, uint64_t lead);
bool euc8f_lead_possible(const kmv_handle *h, uint64_t second);

inline uint32_t is_known(const unsigned char *p, uint64_t bits,
                         const uint16_t *table, uint64_t count) {
  const uint32_t code = load_be16(p + std::countr_zero(bits));
  return code < count && table[code] != 0;
}

// How many of the codes that begin at the set bits of `leads` the table
// holds. The two halves of the mask are walked side by side, so that the
// steps from one bit to the next do not wait on each other.
inline uint32_t known_codes(const unsigned char *p, uint64_t leads,
                            const uint16_t *table, uint64_t count) {
  if (simd::active.known_codes != nullptr) {
    return simd::active.known_codes(p, leads, table, count);
  }
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

// From this many bytes of text on, a reading may summarize a table, which
// reads the whole table once (about a microsecond).
inline constexpr size_t kSummaryFrom = 32 * 1024;

// A table whose codes are counted block by block. In a long text, at a
// level that has the kernels, a summary of its rows replaces the read per
// code once a few blocks have been read the plain way: building it reads
// the whole table (about a microsecond), which a text decided at its start
// never pays.
class CodeTable {
 public:
  CodeTable(const uint16_t *t, uint64_t n, size_t text_length)
      : table_(t),
        count_(t != nullptr ? n : 0),
        blocks_before_summary_(text_length >= kSummaryFrom ? 32 : 0) {}

  const uint16_t *table() const { return table_; }
  uint64_t count() const { return count_; }

  uint32_t known(const unsigned char *p, uint64_t leads) {
    if (blocks_before_summary_ != 0 && --blocks_before_summary_ == 0) {
      summarized_ = simd::active.summarize_rows != nullptr &&
                    simd::active.summarize_rows(table_, count_, &rows_);
    }
    return summarized_ ? simd::active.known_codes_in_rows(p, leads, &rows_)
                       : known_codes(p, leads, table_, count_);
  }

 private:
  const uint16_t *table_;
  uint64_t count_;
  unsigned blocks_before_summary_;
  bool summarized_ = false;
  simd::CodeRows rows_;
};

}  // namespace kmv::detect

#endif
