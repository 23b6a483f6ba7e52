// Library texts in the caller's encoding.
#ifndef KMV_CORE_MESSAGES_H
#define KMV_CORE_MESSAGES_H

#include <cstdint>
#include <cstring>

#include "kmv.h"

namespace kmv {

// Writes as much of the UTF-8 `source` (`length` bytes) as fits into
// text_size bytes (terminator included, text_size at least 1) in the
// requested encoding: cut to text_size - 1 bytes for UTF-8, and by whole
// characters for the encodings it is re-encoded into. Returns the length
// written.
int32_t put_text_cut(kmv_handle *handle, char *text, uint64_t text_size,
                     const char *source, uint64_t length, int32_t conv_type);
// The same for a terminated `source`.
inline int32_t put_text_cut(kmv_handle *handle, char *text, uint64_t text_size,
                            const char *source, int32_t conv_type) {
  return put_text_cut(handle, text, text_size, source, std::strlen(source),
                      conv_type);
}

}  // namespace kmv

#endif
