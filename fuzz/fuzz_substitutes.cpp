// The tool's substituting conversion (--unmappable): the input chooses the
// pair, the policy and where the text is cut. Cut anywhere, it writes,
// counts and fails the same as given the text whole, and the same as when
// all of the text goes the long way, through UTF-16.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "substitutes.h"

namespace {

struct Run {
  std::string out;
  std::optional<std::int32_t> failure;
  std::uint64_t unconvertible = 0;
};

Run convert(const std::string &text, kmv::encoding from, kmv::encoding to,
            kmvtool::Unmappable policy, unsigned step,  // 0: whole
            bool plain_first = true) {
  kmvtool::SubstitutingConverter conv(from, to, policy, plain_first);
  Run run;
  auto take = [&](const kmv::result<std::span<const std::byte>> &r) {
    if (!r) {
      run.failure = r.error().status;
      return;
    }
    run.out.append(reinterpret_cast<const char *>(r->data()), r->size());
  };
  for (std::size_t at = 0; at < text.size() && !run.failure;) {
    std::size_t n = text.size() - at;
    if (step != 0) {
      step = step * 1103515245u + 12345u;
      n = std::min<std::size_t>(1 + (step >> 16) % 13, n);
    }
    take(conv.feed(kmv::as_bytes(std::string_view(text).substr(at, n))));
    at += n;
  }
  if (!run.failure) take(conv.finish());
  run.unconvertible = conv.unconvertible();
  return run;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  if (size < 4) return 0;
  const kmv::encoding from =
      kmv::all_encodings[data[0] % kmv::all_encodings.size()];
  const kmv::encoding to =
      kmv::all_encodings[data[1] % kmv::all_encodings.size()];
  if (to == kmv::encoding::ascii) return 0;  // no target
  const auto policy = static_cast<kmvtool::Unmappable>(1 + data[2] % 3);
  const std::string text(reinterpret_cast<const char *>(data + 4), size - 4);

  const Run whole = convert(text, from, to, policy, 0);
  const Run cut = convert(text, from, to, policy, (data[3] | 1u));
  const Run long_way = convert(text, from, to, policy, 0, false);
  for (const Run *other : {&cut, &long_way}) {
    if (whole.failure != other->failure) std::abort();
    if (whole.failure) return 0;
    if (whole.unconvertible != other->unconvertible) std::abort();
    if (whole.out != other->out) std::abort();
  }
  return 0;
}
