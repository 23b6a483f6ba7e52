// The UTF-8 family: converters and line scanner.
#include "convert/frame.h"
#include "convert/jis_writer.h"
#include "convert/utf8_decoder.h"
#include "convert/writers.h"

using namespace kmv::conv;

KMV_CONVERTER(kmv_utf8to_euc, Utf8Decoder<kThroughTable>, EucWriter)
KMV_CONVERTER(kmv_utf8to_sjis, Utf8Decoder<kKanaComputed>, SjisWriter)
KMV_CONVERTER(kmv_utf8to_jis, Utf8Decoder<kJisClasses>, JisWriter)
KMV_CONVERTER_BOM(kmv_utf8to_unibe, Utf8Decoder<kThroughTable>, UnibeWriter)
KMV_CONVERTER_BOM(kmv_utf8to_unile, Utf8Decoder<kThroughTable>, UnileWriter)

// One line of UTF-8 text. Sequences are counted up to LF or CR (consumed,
// CR LF together), the end of the span, or a sequence cut by the end of the
// span (left for the next call). A malformed sequence is copied and passed,
// and reported by ECHAR.
extern "C" KMV_API int32_t kmv_utf8_strln(const kmv_handle *,
                                          unsigned char *line,
                                          uint64_t *line_len,
                                          const unsigned char **pos,
                                          uint64_t avail) {
  if (line_len != nullptr) *line_len = 0;
  if (line_len == nullptr || pos == nullptr ||
      ((line == nullptr || *pos == nullptr) && avail != 0)) {
    return KMV_ECHAR;
  }
  const Byte *const start = *pos;
  const Byte *p = start;
  const Byte *const end = start + avail;
  if (avail >= 3 && std::memcmp(p, Utf8Decoder<kThroughTable>::kMark, 3) == 0) {
    p += 3;
  }
  int32_t count = 0;
  int32_t result = 0;
  const Byte *line_end = nullptr;
  const Byte *next = nullptr;
  while (p < end) {
    const unsigned b = *p;
    if (b == 0x0A || b == 0x0D) {
      line_end = p;
      next = p + 1;
      if (b == 0x0D && next < end && *next == 0x0A) ++next;
      break;
    }
    const unsigned len = utf8_length(b);
    if (static_cast<size_t>(end - p) < len) break;
    bool well_formed = true;
    if (len == 2) {
      well_formed = is_continuation(p[1]);
    } else if (len == 3) {
      well_formed =
          b - 0xE0 < 0x10 && is_continuation(p[1]) && is_continuation(p[2]);
    }
    p += len;
    if (!well_formed) {
      line_end = next = p;
      result = KMV_ECHAR;
      break;
    }
    ++count;
  }
  if (line_end == nullptr) line_end = next = p;
  const size_t n = static_cast<size_t>(line_end - start);
  if (n != 0) std::memcpy(line, start, n);
  *line_len = n;
  *pos = next;
  return result == 0 ? count : result;
}
