// Whatever bytes X stand between two well-formed texts A and B (B begins
// with a line feed), converting A + X + B gives output that begins with
// the output for A and ends with the output for B: nothing broken swallows
// or corrupts what follows it. The first byte picks the source family and
// the target; the rest is X.
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "kmv.h"

namespace {

using Bytes = std::vector<unsigned char>;

const int32_t kTypes[] = {KMV_TYPE_UTF8, KMV_TYPE_UTF16BE, KMV_TYPE_UTF16LE,
                          KMV_TYPE_SJIS, KMV_TYPE_EUC,     KMV_TYPE_JIS};
constexpr int kCount = sizeof kTypes / sizeof kTypes[0];

void check(bool ok) {
  if (!ok) std::abort();
}

Bytes convert(kmv_handle *h, int32_t from, int32_t to, const Bytes &src) {
  unsigned char *dst = nullptr;
  uint64_t len = 0;
  check(_convert(h, &dst, &len, to, src.data(), src.size(), from) ==
        KMV_SUCCESS);
  Bytes out(dst, dst + len);
  std::free(dst);
  return out;
}

Bytes in(kmv_handle *h, int32_t type, const char *utf8) {
  const Bytes text(utf8, utf8 + std::strlen(utf8));
  return convert(h, KMV_TYPE_UTF8, type, text);
}

bool starts_with(const Bytes &text, const Bytes &head) {
  return std::equal(head.begin(), head.end(), text.begin());
}

bool ends_with(const Bytes &text, const Bytes &tail) {
  return std::equal(tail.rbegin(), tail.rend(), text.rbegin());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  if (size < 1) return 0;
  const int pick = data[0] % (kCount * (kCount - 1));
  const int32_t from = kTypes[pick / (kCount - 1)];
  int to_index = pick % (kCount - 1);
  if (to_index >= pick / (kCount - 1)) ++to_index;
  const int32_t to = kTypes[to_index];

  Bytes x(data + 1, data + size);
  // UTF-16 text is whole units; ISO-2022-JP text after X starts in the
  // ASCII mode, out of any katakana run.
  if (from == KMV_TYPE_UTF16BE || from == KMV_TYPE_UTF16LE) {
    x.resize(x.size() & ~size_t{1});
  }
  if (from == KMV_TYPE_JIS) x.insert(x.end(), {0x0F, 0x1B, 0x28, 0x42});

  kmv_handle *h = create_kmv();
  const Bytes a = in(h, from, "漢字とかなｶﾅ🍣.");
  const Bytes b = in(h, from, "\n改行の後.");
  Bytes whole = a;
  whole.insert(whole.end(), x.begin(), x.end());
  whole.insert(whole.end(), b.begin(), b.end());
  const Bytes out = convert(h, from, to, whole);
  const Bytes out_a = convert(h, from, to, a);
  const Bytes out_b = convert(h, from, to, b);
  check(out.size() >= out_a.size() + out_b.size());
  check(starts_with(out, out_a) && ends_with(out, out_b));
  release_kmv(h);
  return 0;
}
