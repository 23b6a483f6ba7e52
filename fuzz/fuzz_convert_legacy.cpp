// Every Shift_JIS, EUC-JP and ISO-2022-JP converter on arbitrary bytes.
// The first byte picks the converter and the bom flag, the second the
// EUC-JP variants in the handle's decoding and encoding slots. Checked
// without an oracle: results, the per-call record, bounds, and that a cut
// last character leaves the same output as converting the text before it.
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "kmv.h"

namespace {

using Plain = kmv_converter_fn;
using WithBom = kmv_converter_bom_fn;

struct Converter {
  Plain plain;
  WithBom with_bom;
  bool writes_jis;
  unsigned longest_char;  // source bytes of the longest character
};

const Converter kConverters[] = {
    {kmv_sjisto_euc, nullptr, false, 2},
    {kmv_sjisto_jis, nullptr, true, 2},
    {nullptr, kmv_sjisto_unibe, false, 2},
    {nullptr, kmv_sjisto_unile, false, 2},
    {nullptr, kmv_sjisto_utf8, false, 2},
    {kmv_eucto_euc, nullptr, false, 3},
    {kmv_eucto_jis, nullptr, true, 3},
    {kmv_eucto_sjis, nullptr, false, 3},
    {nullptr, kmv_eucto_unibe, false, 3},
    {nullptr, kmv_eucto_unile, false, 3},
    {nullptr, kmv_eucto_utf8, false, 3},
    {kmv_jisto_euc, nullptr, false, 2},
    {kmv_jisto_sjis, nullptr, false, 2},
    {nullptr, kmv_jisto_unibe, false, 2},
    {nullptr, kmv_jisto_unile, false, 2},
    {nullptr, kmv_jisto_utf8, false, 2},
};
constexpr unsigned kCount = sizeof kConverters / sizeof kConverters[0];

void select_variant(kmv_handle *h, unsigned decoding, unsigned encoding) {
  const struct {
    const uint16_t *t00;
    uint64_t n00;
    const uint16_t *t8f;
    uint64_t n8f;
    const uint16_t *enc;
    uint64_t nenc;
    const uint32_t *enc4;
    uint64_t nenc4;
  } v[4] = {
      {euc2unibecommon_table00, euc2unibecommon_table00_size, nullptr, 0,
       unibe2euccommon_table, unibe2euccommon_table_size, nullptr, 0},
      {euc2unibe20932_table00, euc2unibe20932_table00_size,
       euc2unibe20932_table8f, euc2unibe20932_table8f_size, nullptr, 0,
       unibe2euc20932_table, unibe2euc20932_table_size},
      {euc2unibe51932_table00, euc2unibe51932_table00_size, nullptr, 0,
       unibe2euc51932_table, unibe2euc51932_table_size, nullptr, 0},
      {euc2unibems_table00, euc2unibems_table00_size, euc2unibems_table8f,
       euc2unibems_table8f_size, nullptr, 0, unibe2eucms_table,
       unibe2eucms_table_size},
  };
  const auto &d = v[decoding & 3];
  const auto &e = v[encoding & 3];
  h->euc2unibe_table00 = d.t00;
  h->euc2unibe_table00_size = d.n00;
  h->euc2unibe_table8f = d.t8f;
  h->euc2unibe_table8f_size = d.n8f;
  h->unibe2euc_table = e.enc;
  h->unibe2euc_table_size = e.nenc;
  h->unibe2euc_table4 = e.enc4;
  h->unibe2euc_table4_size = e.nenc4;
}

struct Out {
  int32_t status;
  unsigned char *dst;
  uint64_t len;
  const unsigned char *err_pos;
};

Out run(const Converter &c, kmv_handle *h, const unsigned char *src, uint64_t n,
        int bom) {
  Out o{0, reinterpret_cast<unsigned char *>(8), 77,
        reinterpret_cast<const unsigned char *>(8)};
  o.status = c.plain != nullptr
                 ? c.plain(h, &o.dst, &o.len, &o.err_pos, src, n)
                 : c.with_bom(h, &o.dst, &o.len, &o.err_pos, src, n, bom);
  return o;
}

void check_record(const kmv_handle *h, const unsigned char *src, uint64_t n) {
  if (h->src_top != src) std::abort();
  if (h->err_count == 0) {
    if (h->err_first != nullptr || h->err_last != nullptr ||
        h->err_first_code != -1 || h->err_last_code != -1) {
      std::abort();
    }
    return;
  }
  if (h->err_first == nullptr || h->err_last == nullptr) std::abort();
  if (h->err_first < src || h->err_last >= src + n) std::abort();
  if (h->err_first > h->err_last) std::abort();
  if (h->err_count == 1 &&
      (h->err_first != h->err_last || h->err_first_code != h->err_last_code)) {
    std::abort();
  }
  if (h->err_count > n) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  if (size < 2) return 0;
  const Converter &c = kConverters[data[0] % kCount];
  const int bom = (data[0] / kCount) & 1;
  kmv_handle *h = create_kmv();
  select_variant(h, data[1], data[1] >> 2);
  // The source in an allocation of its own size, so that any read past it
  // is caught.
  const size_t n = size - 2;
  auto *src = static_cast<unsigned char *>(std::malloc(n == 0 ? 1 : n));
  if (n != 0) std::memcpy(src, data + 2, n);

  const Out o = run(c, h, src, n, bom);
  if (o.status != KMV_SUCCESS && o.status != KMV_EUEXPEOD) std::abort();
  if (o.dst == nullptr) std::abort();
  // At most an escape sequence and a two-byte character per source byte
  // (EUC-JP FF to ISO-2022-JP), the mark and the closing sequence.
  if (o.len > 5 * n + 6) std::abort();
  check_record(h, src, n);
  if (o.status == KMV_SUCCESS && o.err_pos != nullptr) std::abort();
  if (o.status == KMV_EUEXPEOD) {
    if (o.err_pos == nullptr || o.err_pos < src || o.err_pos >= src + n ||
        src + n - o.err_pos >= c.longest_char) {
      std::abort();
    }
    // The text before the cut character, ended by a line feed (which no
    // first byte takes), converts to the same bytes and the line feed
    // (after the return to ASCII mode of the ISO-2022-JP writer).
    const uint32_t count = h->err_count;
    const auto cut = static_cast<size_t>(o.err_pos - src);
    auto *before = static_cast<unsigned char *>(std::malloc(cut + 1));
    std::memcpy(before, src, cut);
    before[cut] = '\n';
    const Out prefix = run(c, h, before, cut + 1, bom);
    if (prefix.status != KMV_SUCCESS || h->err_count != count) std::abort();
    if (prefix.len <= o.len || std::memcmp(prefix.dst, o.dst, o.len) != 0) {
      std::abort();
    }
    if (!c.writes_jis && prefix.len > o.len + 2) std::abort();
    std::free(prefix.dst);
    std::free(before);
  }
  std::free(o.dst);
  std::free(src);
  release_kmv(h);
  return 0;
}
