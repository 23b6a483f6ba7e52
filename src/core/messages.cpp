// The library's own texts (status messages, system error descriptions) are
// UTF-8; callers working in ISO-2022-JP, Shift_JIS or EUC-JP get them
// re-encoded through the UTF-8 converters.
#include "core/messages.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "kmv.h"

namespace {

using Utf8Converter = kmv_converter_fn;

// Null when the caller asked for UTF-8 (or an encoding texts are never
// delivered in): the text then stays as it is.
Utf8Converter converter_for(const kmv_handle *handle, int32_t conv_type) {
  // Without a handle there are no tables to convert through.
  if (handle == nullptr) return nullptr;
  switch (conv_type) {
    case KMV_TYPE_JIS:
      return kmv_utf8to_jis;
    case KMV_TYPE_SJIS:
      return kmv_utf8to_sjis;
    case KMV_TYPE_EUC:
      return kmv_utf8to_euc;
    default:
      return nullptr;
  }
}

struct Converted {
  unsigned char *bytes = nullptr;
  uint64_t length = 0;
};

// The converter's status is not looked at: replaced characters are fine in
// a message, and a text cut inside a character still yields its prefix.
Converted convert_text(Utf8Converter convert, kmv_handle *handle,
                       const char *text, uint64_t length) {
  Converted out;
  convert(handle, &out.bytes, &out.length, nullptr,
          reinterpret_cast<const unsigned char *>(text), length);
  return out;
}

// `bytes` may be `text` itself.
int32_t put_text(char *text, const void *bytes, uint64_t length) {
  std::memmove(text, bytes, static_cast<size_t>(length));
  text[length] = '\0';
  return static_cast<int32_t>(length);
}

bool is_continuation(char byte) {
  return (static_cast<unsigned char>(byte) & 0xC0) == 0x80;
}

// The character boundary at or before `at`.
uint64_t boundary_before(const char *text, uint64_t at) {
  while (at > 0 && is_continuation(text[at])) --at;
  return at;
}

}  // namespace

namespace kmv {

// The re-encoded form may be longer than its source (ISO-2022-JP adds
// escape sequences), so the source is shortened by whole characters until
// the result fits. `source` may be `text` itself: it is read in full before
// anything is written.
int32_t put_text_cut(kmv_handle *handle, char *text, uint64_t text_size,
                     const char *source, uint64_t length, int32_t conv_type) {
  uint64_t n = length < text_size - 1 ? length : text_size - 1;
  const Utf8Converter convert = converter_for(handle, conv_type);
  if (convert == nullptr) return put_text(text, source, n);
  // A character cut in half would leave an ISO-2022-JP text in its
  // two-byte mode: only whole characters are converted.
  if (n < length) n = boundary_before(source, n);
  for (;;) {
    Converted out = convert_text(convert, handle, source, n);
    if (out.bytes == nullptr) return put_text(text, source, n);
    if (out.length < text_size) {
      const int32_t written = put_text(text, out.bytes, out.length);
      std::free(out.bytes);
      return written;
    }
    std::free(out.bytes);
    n = boundary_before(source, n - 1);
  }
}

}  // namespace kmv

extern "C" {

// The text's own bytes and the terminator slot behind them are all there
// is: a longer re-encoding is cut.
KMV_API int32_t _convert_buf(kmv_handle *handle, char *buf, uint64_t len,
                             int32_t conv_type) {
  if (buf == nullptr) return 0;
  if (converter_for(handle, conv_type) == nullptr)
    return static_cast<int32_t>(len);
  return kmv::put_text_cut(handle, buf, len + 1, buf, len, conv_type);
}

KMV_API int32_t kmv_statusto_message(kmv_handle *handle, char *text,
                                     int32_t status, int32_t conv_type) {
  if (text == nullptr) return 0;
  const char *message = "Unknown";
  for (uint64_t row = 0; row < satusMessageSize; ++row) {
    if (satusMessage[row].code == status) {
      message = satusMessage[row].message;
      break;
    }
  }
  // The caller's buffer holds the longest message in any encoding.
  constexpr uint64_t kMessageRoom = 60;
  return kmv::put_text_cut(handle, text, kMessageRoom, message,
                           std::strlen(message), conv_type);
}

KMV_API int32_t kmv_get_strerror(kmv_handle *handle, int32_t errnum, char *text,
                                 uint64_t text_size, int32_t conv_type) {
  if (text == nullptr || text_size == 0) return 0;
  const char *description = std::strerror(errnum);
  if (description == nullptr) {
    char unknown[32];
    std::snprintf(unknown, sizeof unknown, "Unknown(%ld)",
                  static_cast<long>(errnum));
    return kmv::put_text_cut(nullptr, text, text_size, unknown, conv_type);
  }
  return kmv::put_text_cut(handle, text, text_size, description, conv_type);
}

}  // extern "C"
