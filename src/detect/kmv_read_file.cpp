// Reads a whole file, up to the process-wide size limit, into a new buffer.
#include <sys/stat.h>

#include <cstdio>
#include <cstdlib>

#include "core/settings.h"
#include "kmv.h"

namespace {

// The size is taken at its full width: files of 2 GiB and more are read up
// to the limit like any other. A negative limit (storable through the
// stream layer's setter) leaves nothing that can be allocated.
bool read_size(const struct stat &info, int64_t limit, uint64_t &size) {
  if (limit < 0) return false;
  const uint64_t file_size =
      info.st_size > 0 ? static_cast<uint64_t>(info.st_size) : 0;
  const uint64_t most = static_cast<uint64_t>(limit);
  size = file_size < most ? file_size : most;
  return true;
}

int32_t read_all(std::FILE *file, unsigned char *&data, uint64_t size) {
  data = static_cast<unsigned char *>(std::malloc(size == 0 ? 1 : size));
  if (data == nullptr) return KMV_EALLOC;
  if (size > 512 && std::setvbuf(file, nullptr, _IOFBF, size) != 0) {
    return KMV_EALLOC;
  }
  if (std::fread(data, 1, size, file) != size) return KMV_EREAD;
  return KMV_SUCCESS;
}

}  // namespace

extern "C" {

KMV_API int32_t kmv_read_file(kmv_handle * /*handle: not used*/,
                              unsigned char **buf, uint64_t *buf_len,
                              const char *path) {
  // Nowhere to deliver the contents: as when there is no memory for them.
  if (buf == nullptr || buf_len == nullptr) return KMV_EALLOC;
  struct stat info;
  if (path == nullptr || stat(path, &info) != 0) return KMV_ENOTEXISTS;
  std::FILE *file = std::fopen(path, "rb");
  if (file == nullptr) return KMV_EROPEN;
  uint64_t size = 0;
  unsigned char *data = nullptr;
  int32_t status = KMV_EALLOC;
  if (S_ISDIR(info.st_mode)) {
    // Opening a directory succeeds here, but nothing can be read from it.
    status = KMV_EREAD;
  } else if (read_size(info, kmv::max_buf_size, size)) {
    status = read_all(file, data, size);
  }
  std::fclose(file);
  if (status != KMV_SUCCESS) {
    std::free(data);
    return status;
  }
  *buf = data;
  *buf_len = size;
  return KMV_SUCCESS;
}

}  // extern "C"
