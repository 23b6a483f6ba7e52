// The byte order of a text named only "UTF-16".
#ifndef KMV_TOOLS_UTF16_ORDER_H
#define KMV_TOOLS_UTF16_ORDER_H

#include <cstddef>
#include <span>

#include "kmv.hpp"

namespace kmvtool {

// The order its mark gives; without a mark, the order the detector leaves
// alone, else the one that puts the zero bytes of ASCII and Latin text in
// the high half of each unit; big-endian when nothing tells.
kmv::encoding utf16_source(std::span<const std::byte> text, kmv::handle &h);

}  // namespace kmvtool

#endif
