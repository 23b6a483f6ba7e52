#include "convert/frame.h"

namespace kmv::conv {

Grown grow_buffer(Byte *base, size_t used, size_t capacity, size_t need) {
  size_t next = std::max(capacity, Output::kMinCapacity);
  while (next - used < need) {
    if (next > SIZE_MAX / 2) {
      std::free(base);
      return {nullptr, 0};
    }
    next *= 2;
  }
  auto *grown = static_cast<Byte *>(std::realloc(base, next));
  if (grown == nullptr) {
    std::free(base);
    return {nullptr, 0};
  }
  return {grown, next};
}

}  // namespace kmv::conv
