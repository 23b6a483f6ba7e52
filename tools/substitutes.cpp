#include "substitutes.h"

#include <cstdio>

namespace kmvtool {
namespace {

// Characters the target lacks are looked for in windows of this size, so
// that many of them in one piece cost little more than one.
constexpr std::size_t kWindow = 4096;

unsigned unit_at(std::span<const std::byte> units, std::size_t i) {
  return static_cast<unsigned>(units[i]) << 8 |
         static_cast<unsigned>(units[i + 1]);
}
bool high_surrogate(unsigned u) {
  return u >= 0xD800 && u < 0xDC00;
}
bool low_surrogate(unsigned u) {
  return u >= 0xDC00 && u < 0xE000;
}

std::string hex_unit(unsigned u) {
  char text[8];
  std::snprintf(text, sizeof text, "\\u%04X", u);
  return text;
}

kmv::encoding without_mark(kmv::encoding e) {
  switch (e) {
    case kmv::encoding::utf8_bom:
      return kmv::encoding::utf8;
    case kmv::encoding::utf16be_bom:
      return kmv::encoding::utf16be;
    case kmv::encoding::utf16le_bom:
      return kmv::encoding::utf16le;
    default:
      return e;
  }
}

void append(std::vector<std::byte> &out, std::span<const std::byte> bytes) {
  out.insert(out.end(), bytes.begin(), bytes.end());
}

}  // namespace

std::string substitute_text(char32_t code, Unmappable policy) {
  switch (policy) {
    case Unmappable::html:
      return "&#" + std::to_string(static_cast<std::uint32_t>(code)) + ";";
    case Unmappable::escape:
      if (code > 0xFFFF) {
        const char32_t v = code - 0x10000;
        return hex_unit(static_cast<unsigned>(0xD800 + (v >> 10))) +
               hex_unit(static_cast<unsigned>(0xDC00 + (v & 0x3FF)));
      }
      return hex_unit(static_cast<unsigned>(code));
    default:
      return {};
  }
}

SubstitutingConverter::SubstitutingConverter(kmv::encoding from,
                                             kmv::encoding to,
                                             Unmappable policy)
    : to_units_(from, kmv::encoding::utf16be), to_(to), policy_(policy) {}

kmv::result<std::span<const std::byte>> SubstitutingConverter::feed(
    std::span<const std::byte> in) {
  out_.clear();
  auto units = to_units_.feed(in);
  if (!units) return units.error();
  if (auto failed = write_units(*units, false)) return *failed;
  return done();
}

kmv::result<std::span<const std::byte>> SubstitutingConverter::finish() {
  out_.clear();
  auto units = to_units_.finish();
  if (!units) return units.error();
  if (auto failed = write_units(*units, true)) return *failed;
  if (!started_) append(out_, kmv::as_bytes(kmv::bom_bytes(to_)));
  started_ = true;
  return done();
}

kmv::result<std::span<const std::byte>> SubstitutingConverter::done() {
  return std::span<const std::byte>(out_);
}

// Converts whole UTF-16 characters; a high surrogate at the end waits for
// the next piece, where its pair may be.
std::optional<kmv::error> SubstitutingConverter::write_units(
    std::span<const std::byte> units, bool last) {
  if (!carry_.empty()) {
    carry_.insert(carry_.end(), units.begin(), units.end());
    units = std::span<const std::byte>(carry_);
  }
  std::size_t n = units.size() & ~std::size_t{1};
  if (!last && n >= 2 && high_surrogate(unit_at(units, n - 2))) n -= 2;
  if (last) n = units.size();
  std::vector<std::byte> rest(units.begin() + static_cast<std::ptrdiff_t>(n),
                              units.end());
  auto failed = n > 0 ? write_run(units.first(n)) : std::nullopt;
  carry_ = std::move(rest);
  return failed;
}

// The target for the next output: with its mark only at the start.
kmv::encoding SubstitutingConverter::next_target() {
  const kmv::encoding target = started_ ? without_mark(to_) : to_;
  started_ = true;
  return target;
}

kmv::result<kmv::conversion> SubstitutingConverter::to_target(
    std::span<const std::byte> units) {
  const kmv::encoding target = next_target();
  if (units.size() < 2 || unit_at(units, 0) != 0xFEFF) {
    return h_.convert(units, kmv::encoding::utf16be, target);
  }
  // The converted text never starts with a mark (the source's is dropped
  // before), so a U+FEFF here is a character: a mark before it keeps it one.
  marked_.assign({std::byte{0xFE}, std::byte{0xFF}});
  marked_.insert(marked_.end(), units.begin(), units.end());
  auto c = h_.convert(marked_, kmv::encoding::utf16be, target);
  if (c && c->first) c->first->offset -= 2;
  return c;
}

// The common case, a run the target holds whole, costs one conversion.
std::optional<kmv::error> SubstitutingConverter::write_run(
    std::span<const std::byte> units) {
  const bool was_started = started_;
  auto whole = to_target(units);
  if (!whole) return whole.error();
  if (whole->unconvertible == 0) {
    append(out_, whole->bytes.bytes());
    return std::nullopt;
  }
  started_ = was_started;  // that conversion was only a look
  for (std::size_t at = 0; at < units.size();) {
    std::size_t end = std::min(units.size(), at + kWindow);
    if (end < units.size() && high_surrogate(unit_at(units, end - 2))) end += 2;
    if (auto failed = write_window(units.subspan(at, end - at))) return failed;
    at = end;
  }
  return std::nullopt;
}

// Converts up to each character the target lacks and writes its substitute
// (ASCII, in the target's own units) in its place.
std::optional<kmv::error> SubstitutingConverter::write_window(
    std::span<const std::byte> units) {
  while (!units.empty()) {
    const bool was_started = started_;
    auto c = to_target(units);
    if (!c) return c.error();
    if (c->unconvertible == 0 || !c->first) {
      append(out_, c->bytes.bytes());
      return std::nullopt;
    }
    started_ = was_started;
    const std::size_t at = c->first->offset & ~std::size_t{1};
    if (at > 0) {
      auto before = to_target(units.first(at));
      if (!before) return before.error();
      append(out_, before->bytes.bytes());
    }
    const unsigned u = unit_at(units, at);
    const bool pair = high_surrogate(u) && at + 4 <= units.size() &&
                      low_surrogate(unit_at(units, at + 2));
    const char32_t code = pair ? 0x10000 + ((u - 0xD800) << 10) +
                                     (unit_at(units, at + 2) - 0xDC00)
                               : u;
    const std::string text = substitute_text(code, policy_);
    if (!text.empty()) {
      auto written = h_.convert(text, kmv::encoding::utf8, next_target());
      if (!written) return written.error();
      append(out_, written->bytes.bytes());
    }
    ++unwritable_;
    units = units.subspan(at + (pair ? 4 : 2));
  }
  return std::nullopt;
}

}  // namespace kmvtool
