// Writes a buffer to a file, creating or truncating it.
#include <cstdio>

#include "kmv.h"

extern "C" {

KMV_API int32_t kmv_write_file(kmv_handle * /*handle: not used*/,
                               const unsigned char *buf, uint64_t buf_len,
                               const char *path) {
  if (path == nullptr) return KMV_EWOPEN;
  // No bytes to write: the file is left as it is.
  if (buf == nullptr && buf_len != 0) return KMV_EWRITE;
  std::FILE *file = std::fopen(path, "wb");
  if (file == nullptr) return KMV_EWOPEN;
  const size_t written = buf_len == 0 ? 0 : std::fwrite(buf, 1, buf_len, file);
  // Buffered bytes reach the file only when it is closed, so a full disk
  // may first show there.
  const bool closed = std::fclose(file) == 0;
  return (written == buf_len && closed) ? KMV_SUCCESS : KMV_EWRITE;
}

}  // extern "C"
