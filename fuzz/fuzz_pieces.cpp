// A text converted in the pieces that the Python package's file conversion
// cuts must give exactly the bytes and the count of the whole conversion.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "../python/src/pieces.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  if (size < 3) return 0;
  const auto &all = kmv::all_encodings;
  const kmv::encoding from = all[data[0] % all.size()];
  const kmv::encoding to = all[1 + data[1] % (all.size() - 1)];  // no ASCII
  const std::size_t limit = 1 + data[2] % 64;
  const auto text = std::as_bytes(std::span(data + 3, size - 3));

  kmv::handle h;
  const auto whole = h.convert(text, from, to);
  std::string joined;
  std::uint32_t unconvertible = 0;
  bool failed = false;
  for (std::size_t start = 0, piece = 0; !failed; ++piece) {
    const auto rest = text.subspan(start);
    const std::size_t end = kmvpy::piece_end(rest, from, limit);
    const auto part =
        h.convert(rest.first(end), piece ? kmvpy::unmarked_form(from) : from,
                  piece ? kmvpy::unmarked_form(to) : to);
    failed = !part;
    if (part) {
      joined += part->bytes.view();
      unconvertible += part->unconvertible;
    }
    start += end;
    if (start >= text.size()) break;
  }
  if (failed != !whole) std::abort();
  if (whole && (joined != whole->bytes.view() ||
                unconvertible != whole->unconvertible)) {
    std::abort();
  }
  return 0;
}
