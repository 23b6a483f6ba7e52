// The UTF-16 readings of the buffer in both byte orders.
#include <cstddef>
#include <cstdint>

#include "detect/candidates.h"
#include "detect/passes.h"
#include "kmv.h"

namespace {

using namespace kmv::detect;

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

  // A surrogate is text only as half of a pair: a high surrogate followed
  // by a low one, read in the same byte order.
  static bool in_pair(const unsigned char *buf, size_t i, size_t len,
                      bool big_endian) {
    const auto unit = [&](size_t at) {
      return big_endian ? static_cast<uint32_t>(buf[at]) << 8 | buf[at + 1]
                        : static_cast<uint32_t>(buf[at + 1]) << 8 | buf[at];
    };
    const uint32_t u = unit(i);
    if (u - 0xD800u < 0x400u) {
      return len - i >= 4 && unit(i + 2) - 0xDC00u < 0x400u;
    }
    return u - 0xDC00u < 0x400u && i >= 2 && unit(i - 2) - 0xD800u < 0x400u;
  }

  // One unit read both ways, exactly by the rules.
  void read_unit(const unsigned char *buf, size_t i, size_t len) {
    const uint32_t u0 = buf[i], u1 = buf[i + 1];
    const uint32_t be = u0 * 256 + u1, le = u1 * 256 + u0;
    const bool be_ok = plausible(be) || in_pair(buf, i, len, true);
    const bool le_ok = plausible(le) || in_pair(buf, i, len, false);
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
      read_unit(buf, i, len);
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
    if (len - i >= 2) read_unit(buf, i, len), i += 2;
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
    if (len - i >= 2) read_unit(buf, i, len), i += 2;
    return i;
  }
};

}  // namespace

namespace kmv::detect {

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

}  // namespace kmv::detect
