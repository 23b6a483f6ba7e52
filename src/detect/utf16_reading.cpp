// The UTF-16 readings of the buffer in both byte orders.
#include <algorithm>
#include <bit>
#include <cstddef>
#include <cstdint>

#include "detect/byte_runs.h"
#include "detect/candidates.h"
#include "detect/passes.h"
#include "detect/readings.h"
#include "kmv.h"

namespace {

using namespace kmv::detect;

// The unit blocks read 16-bit lanes of words loaded in host order.
constexpr bool kUnitBlocks = std::endian::native == std::endian::little;

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

// A surrogate is text only as half of a pair: a high surrogate followed
// by a low one, read in the same byte order.
bool in_pair(const unsigned char *buf, size_t i, size_t len, bool big_endian) {
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

// Once one order has left the set, its count and preference no longer
// matter (only a decision brings it back, and a decided walk ends with
// one candidate); only its deciding units do, and those are rare. For
// UTF16BE gone: a first byte 0x00 (a tab or line end) or 0xFE and up (a
// mark or replacement character); for UTF16LE gone: a second byte of
// 0xFE and up. Each plain unit then needs just the remaining reading.
template <bool kBig>
bool is_plain(uint32_t u) {
  return kBig ? u >= 0x100 && (u & 0xFF) < 0xFE : (u & 0xFF) - 1u < 0xFDu;
}

// Eight plain units at p at once, when the table def covers every unit
// (no bound to test). Finds the preference among them while it is unknown.
template <bool kBig>
bool plain_block(const uint16_t *def, const unsigned char *p, uint32_t &pref) {
  constexpr uint64_t kLowBytes = 0x00FF00FF00FF00FFull;
  constexpr uint64_t kNinthBits = 0x0100010001000100ull;
  uint64_t words[2] = {load_word(p), load_word(p + 8)};
  uint32_t all_known = 4;
  for (uint64_t &word : words) {
    // Units as values in 16-bit lanes; the big-endian ones come out in
    // reverse order, which neither test minds.
    if (kBig) word = __builtin_bswap64(word);
    const uint64_t low = word & kLowBytes, high = (word >> 8) & kLowBytes;
    const uint64_t nonzero = (kBig ? high : low) + 0x00FF00FF00FF00FFull;
    const uint64_t above_fd = low + 0x0002000200020002ull;
    if (((above_fd | ~nonzero) & kNinthBits) != 0) return false;
    for (unsigned k = 0; k < 4; ++k) {
      all_known &= (def[(word >> (16 * k)) & 0xFFFF] & 3u) + 3u;
    }
  }
  if (all_known == 0) return false;
  for (uint64_t word : words) {
    for (unsigned k = 0; k < 4 && pref == 0; ++k) {
      pref = utf16_kana_preference((word >> (16 * k)) & 0xFFFF, true,
                                   kBig ? kCandUtf16be : kCandUtf16le);
    }
  }
  return true;
}

}  // namespace

namespace kmv::detect {

Utf16Reading::Utf16Reading(const kmv_handle *h, size_t text_length)
    : def_(h->unibe_def_table),
      def_count_(h->unibe_def_table_size),
      rows_state_(text_length >= kSummaryFrom ? Rows::kLater : Rows::kNone) {
  // An empty table reads entry 0 of this one, and discards it.
  if (def_ == nullptr || def_count_ == 0) def_ = kNoTable, def_count_ = 1;
}

// Null where the level has no unit blocks or the text is short.
const simd::UnitRows *Utf16Reading::unit_rows() {
  if (rows_state_ == Rows::kLater) {
    const bool usable =
        def_count_ >= 0x10000 && simd::active.summarize_units != nullptr;
    if (usable) simd::active.summarize_units(def_, &rows_);
    rows_state_ = usable ? Rows::kSummarized : Rows::kNone;
  }
  return rows_state_ == Rows::kSummarized ? &rows_ : nullptr;
}

void Utf16Reading::read(const Window &w) {
  size_t i = w.at(at);
  while (i < w.stop && w.len - i >= 2 && !ended_) {
    switch (candidates_) {
      case kCandUtf16be:
        i = walk_one_order<true>(w, i);
        break;
      case kCandUtf16le:
        i = walk_one_order<false>(w, i);
        break;
      default:
        i = walk_both(w, i);
        break;
    }
  }
  at = w.base + i;
  if (ended_ || w.ends) done = true;
  // A walk that ended early, on a decision or with both orders ruled out,
  // has no byte left over.
  if (w.ends && !ended_ && i + 1 == w.len) odd_byte_left_ = true;
}

void Utf16Reading::tell(Evidence &e) const {
  e.candidates =
      decided_ ? candidates_ : (e.candidates & ~kCandUtf16) | candidates_;
  e.preference |= preference_;
  e.be_good = be_good_;
  e.le_good = le_good_;
  if (odd_byte_left_) {
    if (be_good_ == 0) e.candidates &= ~kCandUtf16be;
    if (le_good_ == 0) e.candidates &= ~kCandUtf16le;
    e.end_flags |= kEndUtf16;
  }
}

bool Utf16Reading::plausible(uint32_t unit) const {
  const bool inside = unit < def_count_;
  return inside & ((def_[inside ? unit : 0] & 3) != 0);
}

// One unit read both ways, exactly by the rules.
void Utf16Reading::read_unit(const unsigned char *buf, size_t i, size_t len) {
  const uint32_t u0 = buf[i], u1 = buf[i + 1];
  const uint32_t be = u0 * 256 + u1, le = u1 * 256 + u0;
  const bool be_ok = plausible(be) || in_pair(buf, i, len, true);
  const bool le_ok = plausible(le) || in_pair(buf, i, len, false);
  const bool be_decides =
      be_ok ? u0 == 0 && is_line_control(u1) : is_mark_or_replacement(be);
  if (be_decides) return decide(kCandUtf16be);
  be_good_ += be_ok;
  preference_ |= utf16_kana_preference(be, be_ok, kCandUtf16be);
  candidates_ &= ~(static_cast<uint32_t>(!be_ok) * kCandUtf16be);
  if (candidates_ == 0) return end();
  if (!le_ok && is_mark_or_replacement(le)) return decide(kCandUtf16le);
  le_good_ += le_ok;
  preference_ |= utf16_kana_preference(le, le_ok, kCandUtf16le);
  candidates_ &= ~(static_cast<uint32_t>(!le_ok) * kCandUtf16le);
  if (candidates_ == 0) end();
}

// Returns when the set of orders changes, the walk ends or the stop comes.
size_t Utf16Reading::walk_both(const Window &w, size_t i) {
  for (; i < w.stop && w.len - i >= 2; i += 2) {
    read_unit(w.buf, i, w.len);
    if (ended_ || candidates_ != kCandUtf16) return i + 2;
  }
  return i;
}

// Plain units up to one that needs the reading both ways, which ends the
// call; a call starts with blocks allowed.
template <bool kBig>
size_t Utf16Reading::walk_one_order(const Window &w, size_t i) {
  constexpr uint32_t kOrder = kBig ? kCandUtf16be : kCandUtf16le;
  const unsigned char *const buf = w.buf;
  const size_t len = w.len;
  const uint16_t *const def = def_;
  const uint64_t count = def_count_;
  const bool blocks = kUnitBlocks && count >= 0x10000;
  size_t blocks_from = w.bound(blocks_from_);
  int64_t good = 0;
  uint32_t pref = preference_ & kOrder;
  const simd::UnitRows *const rows = blocks ? unit_rows() : nullptr;
  const auto wide_blocks = simd::active.plain_units[kBig ? 0 : 1];
  // Blocks of 64 bytes start before the stop, as the others do.
  const unsigned char *const wide_end = buf + std::min(len, w.stop + 63);
  size_t wide_from = i;
  for (; i < w.stop && len - i >= 2; i += 2) {
    if (rows != nullptr && wide_blocks != nullptr && i >= wide_from) {
      bool kana = false;
      const size_t taken = wide_blocks(buf + i, wide_end, rows, &kana);
      good += static_cast<int64_t>(taken / 2);
      pref |= kana ? kOrder : 0;
      i += taken;
      wide_from = i + 64;
      if (!(i < w.stop && len - i >= 2)) break;
    }
    if (blocks && i >= blocks_from && len - i >= 16) {
      if (plain_block<kBig>(def, buf + i, pref)) {
        good += 8;
        i += 14;  // and 2 more by the loop
        continue;
      }
      blocks_from = i + 16;
    }
    const uint32_t first = buf[i], second = buf[i + 1];
    const uint32_t u = kBig ? first << 8 | second : second << 8 | first;
    if (!(u < count && (def[u] & 3) != 0 && is_plain<kBig>(u))) break;
    ++good;
    if (pref == 0) pref = utf16_kana_preference(u, true, kOrder);
  }
  (kBig ? be_good_ : le_good_) += good;
  preference_ |= pref;
  blocks_from_ = w.base + blocks_from;
  if (i < w.stop && len - i >= 2) {
    read_unit(buf, i, len);
    i += 2;
    blocks_from_ = w.base + i;
  }
  return i;
}

void utf16_pass(const kmv_handle *h, const unsigned char *buf, size_t len,
                Evidence &e) {
  Utf16Reading reading(h, len);
  reading.read(Window::whole(buf, len));
  reading.tell(e);
}

}  // namespace kmv::detect
