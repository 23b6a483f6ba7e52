// Arbitrary bytes through the stream layer's conversion step, for every
// pair of type codes, valid or not.
#include <cstdint>
#include <cstdlib>

#include "kmv.h"

namespace {

// Every type code, the unused codes around them, masks and negatives.
constexpr int32_t kTypes[] = {0,  1,  2,  3,  4,     5,     6,       7,
                              8,  9,  10, 11, 12,    13,    14,      15,
                              16, 17, -1, 64, 0x100, 0x300, 0x40000, INT32_MIN};
constexpr size_t kTypeCount = sizeof kTypes / sizeof kTypes[0];

bool is_known(int32_t type) {
  return type == 1 || type == 2 || (type >= 4 && type <= 8) ||
         (type >= 11 && type <= 16);
}

// Two Unicode forms of one family differ only by the mark: _copy's work.
bool bom_pair(int32_t a, int32_t b) {
  if (a < 11 || a > 16 || b < 11 || b > 16 || a == b) return false;
  return (a - 11) / 2 == (b - 11) / 2;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  if (size < 2) return 0;
  const int32_t src_type = kTypes[data[0] % kTypeCount];
  const int32_t dst_type = kTypes[data[1] % kTypeCount];
  const unsigned char *text = data + 2;
  const uint64_t length = size - 2;

  kmv_handle *handle = create_kmv();
  if (handle == nullptr) return 0;
  unsigned char *out = nullptr;
  uint64_t out_len = 0;
  const int32_t status =
      _convert(handle, &out, &out_len, dst_type, text, length, src_type);
  const bool convertible = (is_known(src_type) && is_known(dst_type) &&
                            !bom_pair(src_type, dst_type)) ||
                           src_type == dst_type;
  if (status == KMV_ECTYPE) {
    if (convertible || out != nullptr || out_len != 0) std::abort();
  } else if (status == KMV_EALLOC) {
    if (out != nullptr || out_len != 0) std::abort();
  } else if (status != KMV_SUCCESS && status != KMV_EUEXPEOD) {
    std::abort();
  } else if (!convertible || out == nullptr) {
    std::abort();
  }
  std::free(out);

  out = nullptr;
  if (_copy(&out, &out_len, dst_type, text, length, src_type) != 0)
    std::abort();
  if (out_len > length + 3) std::abort();
  std::free(out);
  release_kmv(handle);
  return 0;
}
