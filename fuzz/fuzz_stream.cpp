// The piecewise converter against the whole-text conversion: the input
// chooses the pair of encodings and where the text is cut.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "kmv.hpp"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  if (size < 3) return 0;
  const kmv::encoding from =
      kmv::all_encodings[data[0] % kmv::all_encodings.size()];
  const kmv::encoding to =
      kmv::all_encodings[data[1] % kmv::all_encodings.size()];
  const unsigned cut_seed = data[2];
  const std::string text(reinterpret_cast<const char *>(data + 3), size - 3);

  kmv::handle h;
  auto expected = h.convert(text, from, to);
  kmv::stream_converter conv(from, to);
  std::string out;
  std::size_t at = 0;
  unsigned step = cut_seed;
  bool failed = false;
  auto take = [&](const kmv::result<std::span<const std::byte>> &r) {
    if (!r) {
      if (expected || r.error().status != expected.error().status ||
          r.error().offset != expected.error().offset) {
        std::abort();
      }
      failed = true;
      return;
    }
    out.append(reinterpret_cast<const char *>(r->data()), r->size());
  };
  while (at < text.size() && !failed) {
    step = step * 1103515245u + 12345u;
    const std::size_t n =
        std::min<std::size_t>(1 + (step >> 16) % 13, text.size() - at);
    take(conv.feed(std::string_view(text).substr(at, n)));
    at += n;
  }
  if (!failed) take(conv.finish());
  if (failed) return 0;
  if (!expected || out != expected->bytes.view() ||
      conv.unconvertible() != expected->unconvertible ||
      conv.first().has_value() != expected->first.has_value() ||
      conv.last().has_value() != expected->last.has_value()) {
    std::abort();
  }
  if (expected->first && (conv.first()->offset != expected->first->offset ||
                          conv.first()->code != expected->first->code)) {
    std::abort();
  }
  if (expected->last && (conv.last()->offset != expected->last->offset ||
                         conv.last()->code != expected->last->code)) {
    std::abort();
  }
  return 0;
}
