#include "unreadable.h"

#include <cstdio>

namespace kmvtool {
namespace {

bool is_utf16(kmv::encoding e) {
  return e >= kmv::encoding::utf16be && e <= kmv::encoding::utf16le_bom;
}

bool is_utf8(kmv::encoding e) {
  return e == kmv::encoding::utf8 || e == kmv::encoding::utf8_bom;
}

}  // namespace

Unreadable find_unreadable(kmv::handle &h, std::span<const std::byte> text,
                           kmv::encoding from) {
  // Every unit of UTF-16 text reads as itself.
  if (is_utf16(from)) return {};
  const auto read = h.convert(text, from, kmv::encoding::utf16be);
  if (!read || read->unconvertible == 0) return {};
  Unreadable found{read->unconvertible, {}, {}};
  if (!read->first) return found;
  found.first = read->first->offset;
  // A malformed sequence is shown by its first byte, not its code 0.
  const auto code = is_utf8(from)
                        ? static_cast<unsigned>(text[read->first->offset])
                        : static_cast<unsigned>(read->first->code);
  char hex[16];
  std::snprintf(hex, sizeof hex, "0x%X", code);
  found.first_code = hex;
  return found;
}

std::string unreadable_text(std::uint32_t count, kmv::encoding from) {
  const std::string what = count == 1 ? " character" : " characters";
  if (is_utf8(from)) {
    return std::to_string(count) + (count == 1 ? " sequence" : " sequences") +
           " of invalid UTF-8";
  }
  return std::to_string(count) + what + " cannot be read as " +
         std::string(kmv::name(from));
}

}  // namespace kmvtool
