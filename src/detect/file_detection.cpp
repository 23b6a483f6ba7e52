// Detection of a file by name. A file longer than the read limit is seen
// only up to the limit; a character that this cut splits says nothing
// about the file's encoding.
#include <sys/stat.h>

#include <cstdlib>

#include "core/settings.h"
#include "detect/character_boundaries.h"
#include "kmv.h"

namespace {

using kmv::detect::bytes_past_boundary;
using kmv::detect::kFamilies;
using kmv::detect::result_names;

bool library_cut(const char *path, uint64_t read) {
  if (kmv::max_buf_size < 0 || read != static_cast<uint64_t>(kmv::max_buf_size))
    return false;
  struct stat info;
  return stat(path, &info) == 0 && info.st_size > 0 &&
         static_cast<uint64_t>(info.st_size) > read;
}

// The answer for the text cut back to the last character boundary of the
// encoding it is in: the first family, in a fixed order, whose cut-back
// text detects as that family; otherwise the uncut answer (the text then
// ends on a boundary of its encoding, or no family claims it).
int32_t detect_cut_text(kmv_handle *h, const unsigned char *text, size_t len,
                        int32_t expected_type, unsigned char ignore_hints) {
  for (const auto family : kFamilies) {
    const size_t past = bytes_past_boundary(family, text, len);
    if (past == 0) continue;
    const int32_t cut =
        kmv_buf(h, text, len - past, expected_type, ignore_hints);
    if (result_names(cut, family)) return cut;
  }
  return kmv_buf(h, text, len, expected_type, ignore_hints);
}

}  // namespace

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
      library_cut(path, text_len)
          ? detect_cut_text(handle, text, text_len, expected_type, ignore_hints)
          : kmv_buf(handle, text, text_len, expected_type, ignore_hints);
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
