#include "substitutes.h"

#include <algorithm>
#include <cstring>

namespace kmvtool {
namespace {

// The plain converter copies these, so it has nothing to report.
bool copies(kmv::encoding from, kmv::encoding to) {
  using kmv::detail::family;
  const family f = kmv::detail::family_of(from);
  return from == to || (f == kmv::detail::family_of(to) && f != family::euc);
}

// Whether any byte of p[0, n) is one that `odd` picks. No early exit, so
// that the loop is one of vector ors.
template <typename Odd>
bool any_byte(const unsigned char *p, std::size_t n, Odd odd) {
  unsigned found = 0;
  for (std::size_t i = 0; i < n; ++i) found |= odd(p[i]);
  return found != 0;
}

// Whether `bytes` holds one that the plain converter passes on as it
// stands, where the way through UTF-16 finds no character for it or reads
// it another way: NUL (outside UTF-16), in EUC-JP the bytes that start no
// character, and in ISO-2022-JP any byte above 0x7F (after a stray ESC it
// is copied, where UTF-16 takes it as a Latin-1 character). Text rarely
// has them, so the search costs little and seldom sends a piece the long
// way.
bool has_odd_byte(std::span<const std::byte> bytes, kmv::encoding from) {
  using kmv::detail::family;
  const family f = kmv::detail::family_of(from);
  if (bytes.empty() || f == family::unibe || f == family::unile) return false;
  const auto *p = reinterpret_cast<const unsigned char *>(bytes.data());
  const std::size_t n = bytes.size();
  switch (f) {
    case family::jis:
      return any_byte(p, n, [](unsigned char b) {
        return static_cast<unsigned>(b == 0) | (b >= 0x80);
      });
    case family::euc:
      return any_byte(p, n, [](unsigned char b) {
        return static_cast<unsigned>(b == 0) | (b == 0xFF) |
               (static_cast<unsigned char>(b - 0x80) <= 0x20 &&
                static_cast<unsigned char>(b - 0x8E) > 1);
      });
    default:
      return std::memchr(p, 0, n) != nullptr;
  }
}

unsigned unit_at(std::span<const std::byte> units, std::size_t i) {
  return static_cast<unsigned>(units[i]) << 8 |
         static_cast<unsigned>(units[i + 1]);
}

}  // namespace

SubstitutingConverter::SubstitutingConverter(kmv::encoding from,
                                             kmv::encoding to,
                                             Unmappable policy,
                                             bool plain_first)
    : from_(from),
      plain_(from, to),
      to_units_(from, kmv::encoding::utf16be),
      long_way_(!plain_first || copies(from, to)),
      writer_(to, policy) {}

// A piece goes to the plain converter in slices, so that a character it
// cannot convert costs the conversion of one slice again, not the piece's.
kmv::result<std::span<const std::byte>> SubstitutingConverter::feed(
    std::span<const std::byte> in) {
  if (long_way_) return through_units(in, false);
  if (in.size() <= kSlice) return through_plain(in, false);
  gathered_.clear();
  for (std::size_t at = 0; at < in.size(); at += kSlice) {
    auto out =
        through_plain(in.subspan(at, std::min(kSlice, in.size() - at)), false);
    if (!out) return out;
    gathered_.insert(gathered_.end(), out->begin(), out->end());
  }
  return std::span<const std::byte>(gathered_);
}

kmv::result<std::span<const std::byte>> SubstitutingConverter::finish() {
  return long_way_ ? through_units({}, true) : through_plain({}, true);
}

// The plain conversion stands unless it found something unconvertible (or
// an odd byte); then the text it converted (what it held before, and what
// came now, but for what it holds now) is converted the other way. After
// that, the plain output goes on from where the other way left the text.
kmv::result<std::span<const std::byte>> SubstitutingConverter::through_plain(
    std::span<const std::byte> in, bool last) {
  const auto at = plain_.held();
  held_.assign(at.bytes.begin(), at.bytes.end());
  const std::uint64_t base = plain_.consumed() - held_.size();
  const std::uint64_t count = plain_.unconvertible();
  const bool odd = has_odd_byte(held_, from_) || has_odd_byte(in, from_);
  auto out = last ? plain_.finish() : plain_.feed(in);
  if (!out) return out;
  const bool clean = plain_.unconvertible() == count && !odd;
  if (clean && !redone_) return out;
  held_.insert(held_.end(), in.begin(), in.end());
  held_.resize(held_.size() - plain_.held().bytes.size());
  out_.clear();
  if (held_.empty()) {  // nothing converted now
    if (!last || !redone_) return out;
    return end_text();
  }
  if (clean) {  // after text converted the other way
    writer_.begin(out_);
    writer_.enter(at.writer_mode, out_);
    out_.insert(out_.end(), out->begin(), out->end());
    redone_ = false;
    return std::span<const std::byte>(out_);
  }
  if (!redone_) writer_.resume(at.started, at.writer_mode);
  redone_ = true;
  if (auto failed = redo(held_, at, base)) return *failed;
  return last ? end_text() : std::span<const std::byte>(out_);
}

std::span<const std::byte> SubstitutingConverter::end_text() {
  writer_.begin(out_);
  writer_.enter(KMV_JIS_ASCII, out_);
  return out_;
}

std::optional<kmv::error> SubstitutingConverter::redo(
    std::span<const std::byte> region,
    const kmv::stream_converter::held_text &at, std::uint64_t base) {
  const auto prefix = kmv::as_bytes(at.source_prefix);
  source_.assign(prefix.begin(), prefix.end());
  source_.insert(source_.end(), region.begin(), region.end());
  auto units = h_.convert(source_, from_, kmv::encoding::utf16be);
  if (!units) return units.error();
  unreadable_ += units->unconvertible;
  if (units->first && !first_) {
    first_ = kmv::stream_char{base + units->first->offset - prefix.size(),
                              units->first->code};
  }
  return writer_.write(units->bytes.bytes(), out_);
}

kmv::result<std::span<const std::byte>> SubstitutingConverter::through_units(
    std::span<const std::byte> in, bool last) {
  auto units = last ? to_units_.finish() : to_units_.feed(in);
  if (!units) return units.error();
  unreadable_ = to_units_.unconvertible();
  first_ = to_units_.first();
  out_.clear();
  if (auto failed = write_units(*units, last)) return *failed;
  return last ? end_text() : std::span<const std::byte>(out_);
}

// Writes whole UTF-16 characters; a high surrogate at the end waits for
// the next piece, where its pair may be.
std::optional<kmv::error> SubstitutingConverter::write_units(
    std::span<const std::byte> units, bool last) {
  if (!carry_.empty()) {
    carry_.insert(carry_.end(), units.begin(), units.end());
    units = std::span<const std::byte>(carry_);
  }
  std::size_t n = units.size() & ~std::size_t{1};
  const unsigned u = n >= 2 ? unit_at(units, n - 2) : 0;
  if (!last && u >= 0xD800 && u < 0xDC00) n -= 2;
  if (last) n = units.size();
  std::vector<std::byte> rest(units.begin() + static_cast<std::ptrdiff_t>(n),
                              units.end());
  auto failed = writer_.write(units.first(n), out_);
  carry_ = std::move(rest);
  return failed;
}

}  // namespace kmvtool
