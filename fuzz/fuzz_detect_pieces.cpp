// Arbitrary bytes through the detector in pieces, with a small buffer and
// reads of a chosen size, against the buffer detector over the whole text:
// the same answer, and the handle's EUC-JP slots left alike.
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "detect/pieces_detector.h"

namespace {

struct Source {
  const std::vector<unsigned char> &text;
  size_t step;
  size_t at = 0;
};

int64_t read_source(void *p, unsigned char *into, uint64_t most) {
  auto &s = *static_cast<Source *>(p);
  const size_t n =
      std::min({static_cast<size_t>(most), s.text.size() - s.at, s.step});
  if (n != 0) std::memcpy(into, s.text.data() + s.at, n);
  s.at += n;
  return static_cast<int64_t>(n);
}

void use_variant(kmv_handle *h, bool variant) {
  h->euc2unibe_table00 =
      variant ? euc2unibe20932_table00 : euc2unibecommon_table00;
  h->euc2unibe_table00_size =
      variant ? euc2unibe20932_table00_size : euc2unibecommon_table00_size;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  if (size < 3) return 0;
  static const int32_t kTypes[] = {0, 1, 2, 4, 5, 6, 7, 8, 11, 13, 15, -1};
  const int32_t expected = kTypes[data[0] % 12];
  const bool ignore = (data[0] & 0x80) != 0, variant = (data[0] & 0x40) != 0;
  const size_t buffer = kmv::detect::kLeastPiecesBuffer + data[1] * 3u;
  const size_t step = 1 + data[2] * 13u;
  const std::vector<unsigned char> text(data + 3, data + size);

  kmv_handle *whole = create_kmv(), *pieces = create_kmv();
  if (whole == nullptr || pieces == nullptr) std::abort();
  use_variant(whole, variant);
  use_variant(pieces, variant);
  const int32_t want =
      kmv_buf(whole, text.data(), text.size(), expected, ignore);
  Source src{text, step};
  const int32_t got = kmv::detect::detect_pieces(pieces, read_source, &src,
                                                 expected, ignore, buffer);
  if (got != want || whole->euc2unibe_table00 != pieces->euc2unibe_table00 ||
      whole->euc2unibe_table8f != pieces->euc2unibe_table8f) {
    std::abort();
  }
  release_kmv(whole);
  release_kmv(pieces);
  return 0;
}
