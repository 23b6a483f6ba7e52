// The vector levels against each other on arbitrary bytes. The first byte
// picks the converter; the rest is the source. Every level the CPU has
// must give the SSE2 baseline's output, status, error position and
// recorded characters, and kmv_buf the same answer. A first byte of 0x80
// and above also asks for the source repeated to a long text, where the
// detector summarizes its tables, and its Shift_JIS, EUC-JP and UTF-16
// tallies.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "detect/candidates.h"
#include "detect/passes.h"
#include "kmv.h"
#include "simd/level.h"

namespace {

struct Outcome {
  int32_t rc = 0;
  std::vector<unsigned char> out;
  const unsigned char *err = nullptr;
  uint32_t count = 0;
  const unsigned char *first = nullptr, *last = nullptr;
  int32_t first_code = 0, last_code = 0;
  int32_t detected = 0;
  std::vector<int64_t> long_tallies;

  bool operator==(const Outcome &) const = default;
};

// clang-format off
const kmv_converter_bom_fn kWithBom[] = {
    kmv_utf8to_unile, kmv_utf8to_unibe, kmv_unileto_utf8, kmv_unibeto_utf8,
    kmv_unileto_unibe, kmv_unibeto_unile, kmv_sjisto_unile, kmv_eucto_utf8,
    kmv_jisto_unibe, kmv_jisto_unile, kmv_jisto_utf8, kmv_eucto_unibe,
    kmv_eucto_unile};
const kmv_converter_fn kPlain[] = {
    kmv_utf8to_sjis, kmv_utf8to_jis, kmv_unileto_euc, kmv_unibeto_sjis,
    kmv_unileto_sjis, kmv_sjisto_euc, kmv_eucto_sjis, kmv_jisto_euc};
// clang-format on
constexpr size_t kCount = std::size(kWithBom) + std::size(kPlain);

std::vector<int64_t> long_tallies(kmv_handle *h, const unsigned char *src,
                                  size_t n) {
  std::vector<unsigned char> text;
  while (n != 0 && text.size() < 33000) text.insert(text.end(), src, src + n);
  kmv::detect::Evidence e;
  kmv::detect::first_scan(h, text.data(), text.size(), e);
  kmv::detect::store_euc_defaults(h);
  int32_t ok = 0, bad = 0;
  check_euc(h, &ok, &bad, nullptr, nullptr, nullptr, 0, text.data(),
            text.size());
  kmv::detect::Evidence units;
  kmv::detect::utf16_pass(h, text.data(), text.size(), units);
  return {e.sjis_good,      e.sjis_bad,       e.single_kana, ok,           bad,
          units.candidates, units.preference, units.be_good, units.le_good};
}

Outcome run(size_t which, const unsigned char *src, size_t n, bool long_text) {
  kmv_handle *h = create_kmv();
  Outcome o;
  unsigned char *out = nullptr;
  uint64_t len = 0;
  o.rc =
      which < std::size(kWithBom)
          ? kWithBom[which](h, &out, &len, &o.err, src, n, 0)
          : kPlain[which - std::size(kWithBom)](h, &out, &len, &o.err, src, n);
  if (out != nullptr) o.out.assign(out, out + len);
  std::free(out);
  o.count = h->err_count;
  o.first = h->err_first;
  o.last = h->err_last;
  o.first_code = h->err_first_code;
  o.last_code = h->err_last_code;
  o.detected = kmv_buf(h, src, n, 0, 0);
  if (long_text) o.long_tallies = long_tallies(h, src, n);
  release_kmv(h);
  return o;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  if (size == 0) return 0;
  const size_t which = data[0] % kCount;
  std::vector<unsigned char> src(data + 1, data + size);
  using kmv::simd::Level;
  kmv::simd::use_level(Level::kSse2);
  const Outcome baseline = run(which, src.data(), src.size(), data[0] >= 0x80);
  for (Level level : {Level::kAvx2, Level::kAvx512}) {
    if (kmv::simd::use_level(level) &&
        !(run(which, src.data(), src.size(), data[0] >= 0x80) == baseline)) {
      std::abort();
    }
  }
  return 0;
}
