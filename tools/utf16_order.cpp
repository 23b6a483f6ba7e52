#include "utf16_order.h"

namespace kmvtool {
namespace {

// Zero bytes in the first and in the second byte of the units.
kmv::encoding order_by_zero_bytes(std::span<const std::byte> text) {
  std::size_t first = 0, second = 0;
  for (std::size_t i = 0; i + 1 < text.size(); i += 2) {
    first += text[i] == std::byte{0};
    second += text[i + 1] == std::byte{0};
  }
  return second > first ? kmv::encoding::utf16le : kmv::encoding::utf16be;
}

}  // namespace

kmv::encoding utf16_source(std::span<const std::byte> text, kmv::handle &h) {
  const auto starts = [&](std::byte a, std::byte b) {
    return text.size() >= 2 && text[0] == a && text[1] == b;
  };
  if (starts(std::byte{0xFE}, std::byte{0xFF})) {
    return kmv::encoding::utf16be_bom;
  }
  if (starts(std::byte{0xFF}, std::byte{0xFE})) {
    return kmv::encoding::utf16le_bom;
  }
  if (const auto found = h.detect(text, kmv::encoding::unknown, true)) {
    const auto set = found->candidates();
    const bool be = set.contains(kmv::encoding::utf16be);
    const bool le = set.contains(kmv::encoding::utf16le);
    if (be != le) return be ? kmv::encoding::utf16be : kmv::encoding::utf16le;
  }
  return order_by_zero_bytes(text);
}

}  // namespace kmvtool
