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

// One line of UTF-8 text. UTF-16 units are counted up to LF or CR (consumed,
// CR LF together), the end of the span, or a sequence cut by the end of the
// span (left for the next call). A malformed sequence (its maximal subpart,
// never the byte that broke it) is copied and passed, and reported by
// ECHAR.
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
    const Utf8Sequence seq = read_utf8(p, end);
    if (seq.kind == Utf8Sequence::kCut) break;
    p += seq.length;
    if (seq.kind == Utf8Sequence::kMalformed) {
      line_end = next = p;
      result = KMV_ECHAR;
      break;
    }
    count += seq.length == 4 ? 2 : 1;  // a pair counts as its two units
  }
  if (line_end == nullptr) line_end = next = p;
  const size_t n = static_cast<size_t>(line_end - start);
  if (n != 0) std::memcpy(line, start, n);
  *line_len = n;
  *pos = next;
  return result == 0 ? count : result;
}
