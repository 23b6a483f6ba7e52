#include "substitute_writer.h"

#include <algorithm>
#include <cstdio>

namespace kmvtool {
namespace {

// Characters the target lacks are looked for in windows of this size, so
// that many of them in one run cost little more than one.
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
bool pair_at(std::span<const std::byte> units, std::size_t i) {
  return i + 4 <= units.size() && high_surrogate(unit_at(units, i)) &&
         low_surrogate(unit_at(units, i + 2));
}

std::string hex_unit(unsigned u) {
  char text[8];
  std::snprintf(text, sizeof text, "\\u%04X", u);
  return text;
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

// The run converted as it goes on in the output. A character before it
// puts the ISO-2022-JP writer into its mode (U+3000 or U+FF71, their
// output dropped); a U+FEFF at its start gets a mark before it, which the
// conversion drops, so that it stays a character.
kmv::result<SubstituteWriter::Converted> SubstituteWriter::convert(
    std::span<const std::byte> units) {
  std::string_view before;
  std::size_t probe_output = 0;
  if (jis() && mode_ == KMV_JIS_TWO_BYTE) {
    before = std::string_view("\x30\x00", 2);
    probe_output = 5;  // ESC $ B 21 21
  } else if (jis() && mode_ == KMV_JIS_KATAKANA) {
    before = "\xFF\x71";
    probe_output = 4;  // ESC ( I 31
  } else if (units.size() >= 2 && unit_at(units, 0) == 0xFEFF) {
    before = "\xFE\xFF";
  }
  std::span<const std::byte> text = units;
  if (!before.empty()) {
    const auto prefix = kmv::as_bytes(before);
    scratch_.assign(prefix.begin(), prefix.end());
    scratch_.insert(scratch_.end(), units.begin(), units.end());
    text = scratch_;
  }
  auto c = h_.convert(text, kmv::encoding::utf16be, to_);
  if (!c) return c.error();
  if (c->first) c->first->offset -= before.size();
  std::size_t skip = probe_output;
  if (started_) skip += kmv::bom_bytes(to_).size();  // marks only at the start
  return Converted{std::move(*c), skip};
}

// The writer's mode after the run: the mode its last character takes
// alone, with a mark before a U+FEFF so that it stays a character.
std::uint32_t SubstituteWriter::mode_after(std::span<const std::byte> units) {
  const std::size_t n =
      units.size() >= 4 && pair_at(units, units.size() - 4) ? 4 : 2;
  const auto last = units.last(n);
  std::vector<std::byte> alone;
  if (unit_at(last, 0) == 0xFEFF) alone = {std::byte{0xFE}, std::byte{0xFF}};
  alone.insert(alone.end(), last.begin(), last.end());
  const auto c = h_.convert(alone, kmv::encoding::utf16be, to_);
  if (!c) return KMV_JIS_ASCII;
  const auto b = c->bytes.bytes();
  if (b.size() < 4 || b[0] != std::byte{0x1B}) return KMV_JIS_ASCII;
  return b[1] == std::byte{'$'} ? KMV_JIS_TWO_BYTE : KMV_JIS_KATAKANA;
}

// Appends a converted run, leaving ISO-2022-JP in the mode its last
// character took rather than returning to ASCII.
void SubstituteWriter::put(std::span<const std::byte> units,
                           const Converted &done, std::vector<std::byte> &out) {
  auto bytes = done.c.bytes.bytes();
  bytes = bytes.subspan(std::min(done.skip, bytes.size()));
  if (jis()) {
    mode_ = mode_after(units);
    if (mode_ != KMV_JIS_ASCII && bytes.size() >= 3) {
      bytes = bytes.first(bytes.size() - 3);  // the return to ASCII
    }
  }
  append(out, bytes);
  started_ = true;
}

void SubstituteWriter::enter(std::uint32_t mode, std::vector<std::byte> &out) {
  if (!jis() || mode_ == mode) return;
  const std::string_view escape = mode == KMV_JIS_TWO_BYTE   ? "\x1B$B"
                                  : mode == KMV_JIS_KATAKANA ? "\x1B(I"
                                                             : "\x1B(B";
  append(out, kmv::as_bytes(escape));
  mode_ = mode;
}

void SubstituteWriter::begin(std::vector<std::byte> &out) {
  if (!started_) append(out, kmv::as_bytes(kmv::bom_bytes(to_)));
  started_ = true;
}

std::optional<kmv::error> SubstituteWriter::write(
    std::span<const std::byte> units, std::vector<std::byte> &out) {
  for (std::size_t at = 0; at < units.size();) {
    std::size_t end = std::min(units.size(), at + kWindow);
    if (end < units.size() && high_surrogate(unit_at(units, end - 2))) end += 2;
    if (auto failed = write_window(units.subspan(at, end - at), out)) {
      return failed;
    }
    at = end;
  }
  return std::nullopt;
}

// Converts up to each character the target lacks and writes its substitute
// in its place; a window the target holds whole costs one conversion.
std::optional<kmv::error> SubstituteWriter::write_window(
    std::span<const std::byte> units, std::vector<std::byte> &out) {
  while (!units.empty()) {
    auto c = convert(units);
    if (!c) return c.error();
    if (c->c.unconvertible == 0 || !c->c.first) {
      put(units, *c, out);
      return std::nullopt;
    }
    const std::size_t at = c->c.first->offset & ~std::size_t{1};
    if (at > 0) {
      auto before = convert(units.first(at));
      if (!before) return before.error();
      put(units.first(at), *before, out);
    }
    std::size_t len = 0;
    if (auto failed = put_substitute(units, at, len, out)) return failed;
    units = units.subspan(at + len);
  }
  return std::nullopt;
}

// The substitute of the character at `at`, in the target's own units; its
// length in `len`.
std::optional<kmv::error> SubstituteWriter::put_substitute(
    std::span<const std::byte> units, std::size_t at, std::size_t &len,
    std::vector<std::byte> &out) {
  const unsigned u = unit_at(units, at);
  const bool pair = pair_at(units, at);
  const char32_t code =
      pair ? 0x10000 + ((u - 0xD800) << 10) + (unit_at(units, at + 2) - 0xDC00)
           : u;
  len = pair ? 4 : 2;
  ++unwritable_;
  const std::string text = substitute_text(code, policy_);
  if (text.empty()) return std::nullopt;
  enter(KMV_JIS_ASCII, out);
  auto written = h_.convert(text, kmv::encoding::utf8, to_);
  if (!written) return written.error();
  auto bytes = written->bytes.bytes();
  if (started_) {
    bytes = bytes.subspan(std::min(bytes.size(), kmv::bom_bytes(to_).size()));
  }
  append(out, bytes);
  started_ = true;
  return std::nullopt;
}

}  // namespace kmvtool
