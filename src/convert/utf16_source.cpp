// The UTF-16 families: big- and little-endian converters and line scanners.
#include "convert/frame.h"
#include "convert/jis_writer.h"
#include "convert/utf16_decoder.h"
#include "convert/writers.h"

using namespace kmv::conv;

namespace {
using BigThroughTable = Utf16Decoder<Order::kBig, kThroughTable>;
using BigJis = Utf16Decoder<Order::kBig, kJisClasses>;
using LittleThroughTable = Utf16Decoder<Order::kLittle, kThroughTable>;
using LittleJis = Utf16Decoder<Order::kLittle, kJisClasses>;
}  // namespace

KMV_CONVERTER(kmv_unibeto_euc, BigThroughTable, EucWriter)
KMV_CONVERTER(kmv_unibeto_sjis, BigThroughTable, SjisWriter)
KMV_CONVERTER(kmv_unibeto_jis, BigJis, JisWriter)
KMV_CONVERTER_BOM(kmv_unibeto_unile, BigThroughTable, UnileWriter)
KMV_CONVERTER_BOM(kmv_unibeto_utf8, BigThroughTable, Utf8Writer)

KMV_CONVERTER(kmv_unileto_euc, LittleThroughTable, EucWriter)
KMV_CONVERTER(kmv_unileto_sjis, LittleThroughTable, SjisWriter)
KMV_CONVERTER(kmv_unileto_jis, LittleJis, JisWriter)
KMV_CONVERTER_BOM(kmv_unileto_unibe, LittleThroughTable, UnibeWriter)
KMV_CONVERTER_BOM(kmv_unileto_utf8, LittleThroughTable, Utf8Writer)

namespace {

// One line of UTF-16 text: code units counted up to LF or CR (which end it
// and are consumed, CR LF together), or up to the last whole unit within
// avail. A mark at the start is copied but not counted.
template <Order O>
int32_t scan_utf16_line(unsigned char *line, uint64_t *line_len,
                        const unsigned char **pos, uint64_t avail) {
  if (line_len != nullptr) *line_len = 0;
  if (line_len == nullptr || pos == nullptr ||
      ((line == nullptr || *pos == nullptr) && avail != 0)) {
    return KMV_ECHAR;
  }
  const Byte *const start = *pos;
  const Byte *p = start;
  const Byte *const end = start + avail;
  if (avail >= 2 && load_unit<O>(p) == 0xFEFF) p += 2;
  int32_t count = 0;
  const Byte *next = nullptr;  // where the following line starts
  const Byte *line_end = nullptr;
  while (end - p >= 2) {
    const uint32_t u = load_unit<O>(p);
    if (u == 0x000A || u == 0x000D) {
      line_end = p;
      next = p + 2;
      if (u == 0x000D && end - next >= 2 && load_unit<O>(next) == 0x000A) {
        next += 2;
      }
      break;
    }
    ++count;
    p += 2;
  }
  if (line_end == nullptr) line_end = next = p;
  const size_t n = static_cast<size_t>(line_end - start);
  if (n != 0) std::memcpy(line, start, n);
  *line_len = n;
  *pos = next;
  return count;
}

}  // namespace

extern "C" KMV_API int32_t kmv_unibe_strln(const kmv_handle *,
                                           unsigned char *line,
                                           uint64_t *line_len,
                                           const unsigned char **pos,
                                           uint64_t avail) {
  return scan_utf16_line<Order::kBig>(line, line_len, pos, avail);
}

extern "C" KMV_API int32_t kmv_unile_strln(const kmv_handle *,
                                           unsigned char *line,
                                           uint64_t *line_len,
                                           const unsigned char **pos,
                                           uint64_t avail) {
  return scan_utf16_line<Order::kLittle>(line, line_len, pos, avail);
}
