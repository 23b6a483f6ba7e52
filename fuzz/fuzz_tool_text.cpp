// The tool's handling of bytes it does not control: file names shown on a
// terminal and in JSON, and the byte order of a text named only UTF-16.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "shown_name.h"
#include "utf16_order.h"

namespace {

bool has_raw_control(std::string_view text) {
  for (const char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte < 0x20 || byte == 0x7F) return true;
  }
  return false;
}

std::string from_hex(std::string_view hex) {
  std::string bytes;
  for (std::size_t i = 0; i + 1 < hex.size(); i += 2) {
    bytes += static_cast<char>(
        std::stoi(std::string(hex.substr(i, 2)), nullptr, 16));
  }
  return bytes;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data,
                                      std::size_t size) {
  const std::string_view name(reinterpret_cast<const char *>(data), size);
  if (has_raw_control(kmvtool::escaped_name(name))) std::abort();
  const std::string json = kmvtool::json_path_members(name);
  if (has_raw_control(json)) std::abort();
  const auto at = json.find("\"path_bytes\":\"");
  if (at != std::string::npos) {
    const auto hex = std::string_view(json).substr(at + 14, size * 2);
    if (from_hex(hex) != name) std::abort();
  }
  kmv::handle h;
  const auto order = kmvtool::utf16_source(
      std::as_bytes(std::span(reinterpret_cast<const char *>(data), size)), h);
  if (kmv::detail::family_of(order) != kmv::detail::family::unibe &&
      kmv::detail::family_of(order) != kmv::detail::family::unile) {
    std::abort();
  }
  return 0;
}
