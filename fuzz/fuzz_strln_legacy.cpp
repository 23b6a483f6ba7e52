// The Shift_JIS, EUC-JP and ISO-2022-JP line scanners over arbitrary
// bytes, line by line to the end: the first byte picks the scanner and the
// entry shift state, the second caps the bytes made available per call.
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "kmv.h"

namespace {

int32_t scan(unsigned which, const kmv_handle *h, unsigned char *line,
             uint64_t *len, const unsigned char **pos, uint64_t avail,
             uint32_t *state) {
  switch (which) {
    case 0:
      return kmv_sjis_strln(h, line, len, pos, avail);
    case 1:
      return kmv_euc_strln(h, line, len, pos, avail);
    default:
      return kmv_jis_strln(h, line, len, pos, avail, state);
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  if (size < 2) return 0;
  const unsigned which = data[0] % 3;
  uint32_t state = (data[0] / 3) % 4;  // 3 names no mode: read as ASCII
  const size_t cap = data[1] == 0 ? SIZE_MAX : data[1];
  const size_t n = size - 2;
  auto *text = static_cast<unsigned char *>(std::malloc(n == 0 ? 1 : n));
  if (n != 0) std::memcpy(text, data + 2, n);
  kmv_handle *h = create_kmv();

  const unsigned char *pos = text;
  const unsigned char *const end = text + n;
  for (int calls = 0; calls <= static_cast<int>(n) + 1; ++calls) {
    const uint64_t avail = static_cast<uint64_t>(
        static_cast<size_t>(end - pos) < cap ? end - pos : cap);
    // A line buffer of exactly avail bytes: any write past it is caught.
    auto *line = static_cast<unsigned char *>(std::malloc(avail + 1));
    const unsigned char *const start = pos;
    uint64_t len = 12345;
    const int32_t r = scan(which, h, line, &len, &pos, avail, &state);
    if (len > avail) std::abort();
    if (pos < start || pos > start + avail) std::abort();
    if (std::memcmp(line, start, len) != 0) std::abort();
    if (which == 2 && state > 2) std::abort();
    if (r == KMV_ECHAR) {
      if (pos != start + len) std::abort();
    } else if (r == KMV_EUEXPEOD) {
      if (which != 2 || len != avail || pos != start + avail || state != 1) {
        std::abort();
      }
    } else if (r < 0 || static_cast<uint64_t>(r) > len) {
      std::abort();
    } else if (pos < start + len) {
      std::abort();
    }
    std::free(line);
    if (r < 0) {
      // Skip the bad byte, as a reader that goes on would.
      if (pos == end) break;
      ++pos;
      if (which == 2) state = 0;
    } else if (pos == start) {
      break;  // a character cut by the end of the available bytes
    }
    if (pos == end) break;
  }
  release_kmv(h);
  std::free(text);
  return 0;
}
