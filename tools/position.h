// Line and column of a place in a text, for messages.
#ifndef KMV_TOOLS_POSITION_H
#define KMV_TOOLS_POSITION_H

#include <cstddef>
#include <span>

#include "kmv.hpp"

namespace kmvtool {

struct TextPosition {
  std::size_t line = 1;    // from 1; LF, CR and CR LF end a line
  std::size_t column = 1;  // from 1, in characters (UTF-16: code units)
};

// Where the character at byte `offset` of `text` (in `enc`) stands. Escape
// sequences and a byte-order mark take no column.
TextPosition locate(std::span<const std::byte> text, std::size_t offset,
                    kmv::encoding enc);

}  // namespace kmvtool

#endif
