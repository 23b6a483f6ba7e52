// Arbitrary bytes as names, arbitrary sizes and values for the name functions.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "kmv.h"

namespace {

void check_bounded(const char *buf, size_t size, size_t room, int32_t len) {
  // Nothing past `room` may change; the text must be terminated within it.
  for (size_t i = room; i < size; ++i) {
    if (buf[i] != '#') std::abort();
  }
  if (room > 0 &&
      (len < 0 || static_cast<size_t>(len) >= room || buf[len] != '\0')) {
    std::abort();
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  if (size < 5) return 0;
  int32_t value;
  std::memcpy(&value, data, sizeof value);
  const size_t room = data[4] % 130;
  std::string name(reinterpret_cast<const char *>(data + 5), size - 5);

  int32_t type = kmv_nameto_type(name.c_str());
  if (type != KMV_ECTYPE && (type < 1 || type > 16)) std::abort();

  char text[160];
  std::memset(text, '#', sizeof text);
  int32_t len = kmv_multi_type_names(text, room, value);
  check_bounded(text, sizeof text, room, len);

  std::memset(text, '#', sizeof text);
  len = kmv_all_type_names(text, room);
  check_bounded(text, sizeof text, room, len);

  std::memset(text, '#', sizeof text);
  len = kmv_typeto_name(text, value);
  check_bounded(text, sizeof text, 14, len);
  return 0;
}
