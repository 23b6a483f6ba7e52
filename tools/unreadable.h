// Characters of a text that its own encoding cannot read, told apart from
// those a target lacks, for the tool's messages.
#ifndef KMV_TOOLS_UNREADABLE_H
#define KMV_TOOLS_UNREADABLE_H

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>

#include "kmv.hpp"

namespace kmvtool {

struct Unreadable {
  std::uint32_t count = 0;
  std::optional<std::size_t> first;  // byte offset
  std::string first_code;            // "0xEEE0", or a malformed first byte
};

// Malformed sequences, and codes the source table does not map. Found by
// reading the text into UTF-16, where no character is missing on the
// target's side.
Unreadable find_unreadable(kmv::handle &h, std::span<const std::byte> text,
                           kmv::encoding from);

// "invalid UTF-8" or "cannot be read as SJIS", after a count of what.
std::string unreadable_text(std::uint32_t count, kmv::encoding from);

}  // namespace kmvtool

#endif
