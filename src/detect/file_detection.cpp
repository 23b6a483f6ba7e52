// Detection of a file by name.
#include <cstdlib>

#include "kmv.h"

extern "C" {

KMV_API int32_t kmv_path_keep(kmv_handle *handle, unsigned char **buf,
                              uint64_t *buf_len, const char *path,
                              int32_t expected_type,
                              unsigned char ignore_hints) {
  if (buf != nullptr) {
    *buf = nullptr;
    if (buf_len != nullptr) *buf_len = 0;
  }
  unsigned char *text = nullptr;
  uint64_t text_len = 0;
  const int32_t status = kmv_read_file(handle, &text, &text_len, path);
  if (status < 0) return status;
  const int32_t result =
      kmv_buf(handle, text, text_len, expected_type, ignore_hints);
  if (buf == nullptr) {
    std::free(text);
    return result;
  }
  *buf = text;
  if (buf_len != nullptr) *buf_len = text_len;
  return result;
}

KMV_API int32_t kmv_path(kmv_handle *handle, const char *path,
                         int32_t expected_type, unsigned char ignore_hints) {
  return kmv_path_keep(handle, nullptr, nullptr, path, expected_type,
                       ignore_hints);
}

}  // extern "C"
