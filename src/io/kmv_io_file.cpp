// Whole-file operations of the stream layer: detection by path after a
// kind check, and conversion of one file into another.
#include <sys/stat.h>

#include <cstdio>
#include <cstdlib>

#include "io/tio.h"
#include "kmv.h"

namespace {

enum FileKind : int32_t {
  kMissing = 0,
  kDirectory = 1,
  kRegular = 2,
  kOther = 9
};

int32_t kind_status(int32_t kind) {
  if (kind == kMissing) return KMV_ENOTEXISTS;
  return kind == kRegular ? KMV_SUCCESS : KMV_ENOTFILE;
}

struct Span {
  const unsigned char *bytes;
  uint64_t length;
};

constexpr unsigned char kMarkBe[] = {0xFE, 0xFF};
constexpr unsigned char kMarkLe[] = {0xFF, 0xFE};
constexpr unsigned char kMarkUtf8[] = {0xEF, 0xBB, 0xBF};

// The mark written before the buffer, and how many of its bytes are left
// out, for a file written as `dst_type` with the mark adjusted.
struct Adjustment {
  Span mark;
  uint64_t skip;
};

Adjustment adjustment_for(int32_t dst_type) {
  switch (dst_type) {
    case KMV_TYPE_UTF16BE:
    case KMV_TYPE_UTF16LE:
      return {{nullptr, 0}, 2};
    case KMV_TYPE_UTF8:
      return {{nullptr, 0}, 3};
    case KMV_TYPE_UTF16BE_BOM:
      return {{kMarkBe, sizeof kMarkBe}, 0};
    case KMV_TYPE_UTF16LE_BOM:
      return {{kMarkLe, sizeof kMarkLe}, 0};
    case KMV_TYPE_UTF8_BOM:
      return {{kMarkUtf8, sizeof kMarkUtf8}, 0};
    default:
      return {{nullptr, 0}, 0};
  }
}

bool write_all(std::FILE *file, Span span) {
  if (span.length == 0) return true;
  return std::fwrite(span.bytes, 1, span.length, file) == span.length;
}

// A source longer than the read limit would be converted only in part.
bool exceeds_read_limit(const char *path) {
  struct stat attributes;
  if (stat(path, &attributes) != 0) return false;  // the read reports it
  const int64_t limit = kmv_get_max_buf_size();
  // A negative limit makes every read fail on its own, as it always has.
  return limit >= 0 && static_cast<int64_t>(attributes.st_size) > limit;
}

bool is_type_code(int32_t r) {
  switch (r) {
    case KMV_TYPE_ASCII:
    case KMV_TYPE_JIS:
    case KMV_TYPE_SJIS:
    case KMV_TYPE_EUC:
    case KMV_TYPE_EUC1:
    case KMV_TYPE_EUC2:
    case KMV_TYPE_EUC3:
    case KMV_TYPE_UTF16BE:
    case KMV_TYPE_UTF16BE_BOM:
    case KMV_TYPE_UTF16LE:
    case KMV_TYPE_UTF16LE_BOM:
    case KMV_TYPE_UTF8:
    case KMV_TYPE_UTF8_BOM:
      return true;
    default:
      return false;
  }
}

// Writes the source detected as `stype` to dst_path as `dst_type`.
int32_t write_converted(kmv_handle *handle, Span source, int32_t stype,
                        const char *dst_path, int32_t dst_type) {
  using kmv::last_operation;
  if (stype == dst_type) {
    last_operation.ope_type = kmv::kOpeKept;
    return _write_file(source.bytes, source.length, dst_path, dst_type, 0);
  }
  if (const int32_t bom = kmv_cmp_bom(stype, dst_type); bom != 0) {
    last_operation.ope_type = bom > 0 ? kmv::kOpeBomAdded : kmv::kOpeBomRemoved;
    return _write_file(source.bytes, source.length, dst_path, dst_type, 1);
  }
  last_operation.ope_type = kmv::kOpeConverted;
  unsigned char *converted = nullptr;
  uint64_t length = 0;
  int32_t status = _convert(handle, &converted, &length, dst_type, source.bytes,
                            source.length, stype);
  if (status == KMV_SUCCESS) {
    status = _write_file(converted, length, dst_path, dst_type, 0);
  }
  std::free(converted);
  return status;
}

int32_t convert_with(kmv_handle *handle, const char *src_path,
                     int32_t expected_type, const char *dst_path,
                     int32_t dst_type) {
  using kmv::last_operation;
  if (exceeds_read_limit(src_path)) return KMV_EREAD;
  unsigned char *bytes = nullptr;
  uint64_t length = 0;
  const int32_t r =
      kmv_path_keep(handle, &bytes, &length, src_path, expected_type, 0);
  if (r < 0) {
    std::free(bytes);  // read, but no encoding fits it
    return r;
  }
  if (is_type_code(r)) last_operation.is_decided = 1;
  last_operation.stype = r;
  const int32_t status =
      write_converted(handle, Span{bytes, length}, r, dst_path, dst_type);
  std::free(bytes);
  return status;
}

}  // namespace

extern "C" {

KMV_API int32_t _check_stat(const char *path) {
  struct stat attributes;
  if (stat(path, &attributes) != 0) return kMissing;
  if (S_ISREG(attributes.st_mode)) return kRegular;
  if (S_ISDIR(attributes.st_mode)) return kDirectory;
  return kOther;
}

KMV_API int32_t kmv_io_path(const char *path, int32_t expected_type) {
  const int32_t status = kind_status(_check_stat(path));
  if (status != KMV_SUCCESS) return status;
  kmv_handle *handle = create_kmv();
  if (handle == nullptr) return KMV_EALLOC;
  const int32_t result = kmv_path(handle, path, expected_type, 0);
  release_kmv(handle);
  return result;
}

KMV_API int32_t _write_file(const unsigned char *buf, uint64_t buf_len,
                            const char *path, int32_t dst_type, int32_t bom) {
  std::FILE *file = std::fopen(path, "wb");
  if (file == nullptr) return KMV_EWOPEN;
  Adjustment adjust = bom != 0 ? adjustment_for(dst_type) : Adjustment{};
  // A buffer shorter than the mark it should lose is left out whole.
  const uint64_t skip = adjust.skip < buf_len ? adjust.skip : buf_len;
  bool written = write_all(file, adjust.mark);
  written = write_all(file, Span{buf + skip, buf_len - skip}) && written;
  // Buffered bytes reach the disk only at closing; a failure there is a
  // failed write too.
  written = std::fclose(file) == 0 && written;
  return written ? KMV_SUCCESS : KMV_EWRITE;
}

KMV_API int32_t kmv_io_convert_file(const char *src_path, int32_t expected_type,
                                    const char *dst_path, int32_t dst_type) {
  const int32_t status = kind_status(_check_stat(src_path));
  if (status != KMV_SUCCESS) return status;
  kmv_handle *handle = create_kmv();
  if (handle == nullptr) return KMV_EALLOC;
  kmv::begin_operation();
  const int32_t result =
      convert_with(handle, src_path, expected_type, dst_path, dst_type);
  release_kmv(handle);
  return result;
}

}  // extern "C"
