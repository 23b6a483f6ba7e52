// Descriptor table, opening and closing, the per-descriptor accessors and
// the stream layer's forwarders to the core functions.
#include <cstdlib>

#include "io/tio.h"
#include "kmv.h"

namespace kmv {

TIO tioInfo[KMV_IO_MAX_FILES];
LastOperation last_operation;

int32_t check_fd(int32_t fd) {
  if (static_cast<uint32_t>(fd) >= KMV_IO_MAX_FILES) return KMV_EIOFDRANGE;
  if (tioInfo[fd].data == nullptr) return KMV_EIONOTOPEN;
  return KMV_SUCCESS;
}

}  // namespace kmv

namespace {

using kmv::TIO;

bool is_readable_mode(int32_t mode) {
  return mode == 0 || mode == 3;
}

// Releases what an open record holds and marks it free.
void clear_record(TIO &record) {
  release_kmv(record.handle);
  std::free(record.data);
  record.handle = nullptr;
  record.data = nullptr;
  record.size = 0;
  record.pos = nullptr;
}

// A record is in use exactly while `data` is not null, so even an empty
// text needs a block of its own.
unsigned char *non_null(unsigned char *data) {
  return data != nullptr ? data : static_cast<unsigned char *>(std::malloc(1));
}

struct Text {
  unsigned char *bytes = nullptr;
  uint64_t length = 0;
};

// Turns the file's bytes (detected as `stype`) into the descriptor's text in
// `dst_type`: kept, given or stripped of a byte-order mark, or converted.
// The file's buffer is consumed either way.
int32_t make_text(kmv_handle *handle, Text file, int32_t stype,
                  int32_t dst_type, Text &out) {
  using kmv::last_operation;
  int32_t status = KMV_SUCCESS;
  if (stype == dst_type) {
    last_operation.ope_type = kmv::kOpeKept;
    out = file;
  } else if (const int32_t bom = kmv_cmp_bom(stype, dst_type); bom != 0) {
    last_operation.ope_type = bom > 0 ? kmv::kOpeBomAdded : kmv::kOpeBomRemoved;
    status = _copy(&out.bytes, &out.length, dst_type, file.bytes, file.length,
                   stype);
    std::free(file.bytes);
  } else {
    last_operation.ope_type = kmv::kOpeConverted;
    status = _convert(handle, &out.bytes, &out.length, dst_type, file.bytes,
                      file.length, stype);
    std::free(file.bytes);
  }
  if (status != KMV_SUCCESS) {
    std::free(out.bytes);  // a converter's prefix before a cut character
    out = Text{};
    return status;
  }
  out.bytes = non_null(out.bytes);
  return out.bytes != nullptr ? KMV_SUCCESS : KMV_EALLOC;
}

// Detects the file and fills the record; the record's handle is in place.
int32_t load_record(TIO &record, const char *path, int32_t expected_type,
                    int32_t dst_type, int32_t *detected_type) {
  using kmv::last_operation;
  Text file;
  const int32_t result = kmv_path_keep(record.handle, &file.bytes, &file.length,
                                       path, expected_type, 0);
  if (result < 0) {
    std::free(file.bytes);  // read, but no encoding fits it
    return result;
  }
  if (result < KMV_MASK_MIN) last_operation.is_decided = 1;
  last_operation.stype = result;
  record.stype = result;
  if (detected_type != nullptr) *detected_type = result;

  Text text;
  const int32_t status = make_text(record.handle, file, result, dst_type, text);
  if (status != KMV_SUCCESS) return status;
  record.data = text.bytes;
  record.size = text.length;
  record.dtype = dst_type;
  return KMV_SUCCESS;
}

// Widens a signed buffer size; a negative one leaves no room at all.
uint64_t room(int32_t size) {
  return size > 0 ? static_cast<uint64_t>(size) : 0;
}

}  // namespace

extern "C" {

KMV_API int32_t _getTIO(void) {
  for (int32_t fd = 0; fd < KMV_IO_MAX_FILES; ++fd) {
    if (kmv::tioInfo[fd].data == nullptr) return fd;
  }
  return -1;
}

KMV_API kmv_handle *_get_kmv(int32_t fd) {
  if (kmv::check_fd(fd) != KMV_SUCCESS) return nullptr;
  return kmv::tioInfo[fd].handle;
}

KMV_API int32_t kmv_io_open(const char *path, int32_t mode,
                            int32_t expected_type, int32_t dst_type,
                            int32_t *detected_type) {
  if (detected_type != nullptr) *detected_type = 0;
  const int32_t fd = _getTIO();
  if (fd < 0) return KMV_EIOMAX;
  if (mode < 0 || mode > 3) return KMV_EIOMODE;
  TIO &record = kmv::tioInfo[fd];
  record.handle = create_kmv();
  if (record.handle == nullptr) return KMV_EALLOC;

  kmv::begin_operation();
  record.mode = mode;
  record.jis_state = KMV_JIS_ASCII;
  const int32_t status =
      load_record(record, path, expected_type, dst_type, detected_type);
  if (status != KMV_SUCCESS) {
    clear_record(record);
    return status;
  }
  record.pos = is_readable_mode(mode) ? record.data : nullptr;
  return fd;
}

KMV_API int32_t kmv_io_close(int32_t fd) {
  const int32_t status = kmv::check_fd(fd);
  if (status != KMV_SUCCESS) return status;
  clear_record(kmv::tioInfo[fd]);
  return KMV_SUCCESS;
}

KMV_API int32_t kmv_io_get_size(int32_t fd) {
  const int32_t status = kmv::check_fd(fd);
  if (status != KMV_SUCCESS) return status;
  return static_cast<int32_t>(static_cast<uint32_t>(kmv::tioInfo[fd].size));
}

KMV_API int32_t kmv_io_get_stype(int32_t fd) {
  const int32_t status = kmv::check_fd(fd);
  return status != KMV_SUCCESS ? status : kmv::tioInfo[fd].stype;
}

KMV_API int32_t kmv_io_get_dtype(int32_t fd) {
  const int32_t status = kmv::check_fd(fd);
  return status != KMV_SUCCESS ? status : kmv::tioInfo[fd].dtype;
}

KMV_API int32_t kmv_io_get_errno(int32_t fd) {
  const int32_t status = kmv::check_fd(fd);
  return status != KMV_SUCCESS ? status : kmv::tioInfo[fd].handle->last_errno;
}

KMV_API int32_t kmv_io_get_strerror(int32_t fd, int32_t errnum, char *text,
                                    int32_t text_size, int32_t conv_type) {
  const int32_t status = kmv::check_fd(fd);
  if (status != KMV_SUCCESS) return status;
  return kmv_get_strerror(kmv::tioInfo[fd].handle, errnum, text,
                          room(text_size), conv_type);
}

KMV_API int32_t kmv_io_is_can_read(int32_t mode) {
  return is_readable_mode(mode) ? 1 : 0;
}

KMV_API int32_t kmv_io_is_can_write(int32_t mode) {
  return mode >= 1 && mode <= 3 ? 1 : 0;
}

KMV_API int32_t kmv_io_is_decided(void) {
  return kmv::last_operation.is_decided;
}

KMV_API int32_t kmv_io_get_ctype(void) {
  return kmv::last_operation.stype;
}

KMV_API int32_t kmv_io_get_ope_type(void) {
  return kmv::last_operation.ope_type;
}

KMV_API int64_t kmv_io_get_max_buf_size(void) {
  return kmv_get_max_buf_size();
}

KMV_API int64_t kmv_io_set_max_buf_size(int32_t size) {
  // Widened with its sign, as the callers of this form expect.
  return kmv_set_max_buf_size(
      static_cast<uint64_t>(static_cast<int64_t>(size)));
}

KMV_API int32_t kmv_io_detect_by(int32_t value) {
  return kmv_detect_by(value);
}

KMV_API int32_t kmv_io_cmp_bom(int32_t src_type, int32_t dst_type) {
  return kmv_cmp_bom(src_type, dst_type);
}

KMV_API int32_t kmv_io_typeto_name(char *text, int32_t type) {
  return kmv_typeto_name(text, type);
}

KMV_API int32_t kmv_io_nameto_type(const char *name) {
  return kmv_nameto_type(name);
}

KMV_API int32_t kmv_io_multi_type_names(char *text, int32_t text_size,
                                        int32_t value) {
  return kmv_multi_type_names(text, room(text_size), value);
}

KMV_API int32_t kmv_io_all_type_names(char *text, int32_t text_size) {
  return kmv_all_type_names(text, room(text_size));
}

KMV_API int32_t kmv_io_all_type_names_length(void) {
  return kmv_all_type_names_length();
}

KMV_API int32_t kmv_io_statusto_message(char *text, int32_t status,
                                        int32_t conv_type) {
  kmv_handle *handle = create_kmv();
  if (handle == nullptr) return KMV_EALLOC;
  const int32_t length = kmv_statusto_message(handle, text, status, conv_type);
  release_kmv(handle);
  return length;
}

}  // extern "C"
