// Calling the Shift_JIS, EUC-JP and ISO-2022-JP converters from tests: one
// signature for all, results with positions as offsets into the source, and
// table rows checked on one handle so that every row also proves the
// previous call's record was cleared.
#ifndef KMV_TESTS_LEGACY_CONVERT_H
#define KMV_TESTS_LEGACY_CONVERT_H

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "kmv.h"
#include "legacy_vectors.h"

namespace legacy {

using Converter = kmv_converter_bom_fn;

template <int32_t (*F)(kmv_handle *, unsigned char **, uint64_t *,
                       const unsigned char **, const unsigned char *, uint64_t)>
int32_t without_bom(kmv_handle *h, unsigned char **dst, uint64_t *dst_len,
                    const unsigned char **err_pos, const unsigned char *src,
                    uint64_t src_len, int) {
  return F(h, dst, dst_len, err_pos, src, src_len);
}

// "source target" to the converter, for every converter of the families.
inline const std::map<std::string, Converter> &converters() {
  static const std::map<std::string, Converter> m = {
      {"sjis euc", without_bom<kmv_sjisto_euc>},
      {"sjis jis", without_bom<kmv_sjisto_jis>},
      {"sjis unibe", kmv_sjisto_unibe},
      {"sjis unile", kmv_sjisto_unile},
      {"sjis utf8", kmv_sjisto_utf8},
      {"euc euc", without_bom<kmv_eucto_euc>},
      {"euc jis", without_bom<kmv_eucto_jis>},
      {"euc sjis", without_bom<kmv_eucto_sjis>},
      {"euc unibe", kmv_eucto_unibe},
      {"euc unile", kmv_eucto_unile},
      {"euc utf8", kmv_eucto_utf8},
      {"jis euc", without_bom<kmv_jisto_euc>},
      {"jis sjis", without_bom<kmv_jisto_sjis>},
      {"jis unibe", kmv_jisto_unibe},
      {"jis unile", kmv_jisto_unile},
      {"jis utf8", kmv_jisto_utf8},
  };
  return m;
}

struct Result {
  int32_t status;
  Bytes out;
  bool out_null;
  int64_t err_pos;  // offsets into the source, -1 for null
  uint32_t err_count;
  int64_t err_first, err_last;
  int32_t err_first_code, err_last_code;
  bool src_top_is_src;
};

inline int64_t offset(const unsigned char *p, const unsigned char *base) {
  return p == nullptr ? -1 : static_cast<int64_t>(p - base);
}

// Converts src with the converter "from to" on handle h (a fresh default
// handle when null).
inline Result convert(const std::string &from_to, const Bytes &src,
                      kmv_handle *h = nullptr, int bom = 0) {
  kmv_handle *own = h == nullptr ? create_kmv() : nullptr;
  if (h == nullptr) h = own;
  // The source lives in its own allocation of exactly its size, so that
  // ASan reports any read past it.
  auto *copy = static_cast<unsigned char *>(std::malloc(src.size() + 1));
  for (size_t i = 0; i < src.size(); ++i) copy[i] = src[i];
  unsigned char *dst = reinterpret_cast<unsigned char *>(1);
  uint64_t dst_len = 99;
  const unsigned char *err_pos = reinterpret_cast<const unsigned char *>(1);
  Result r{};
  r.status = converters().at(from_to)(h, &dst, &dst_len, &err_pos, copy,
                                      src.size(), bom);
  r.out_null = dst == nullptr;
  if (dst != nullptr) r.out.assign(dst, dst + dst_len);
  std::free(dst);
  r.err_pos = offset(err_pos, copy);
  r.err_count = h->err_count;
  r.err_first = offset(h->err_first, copy);
  r.err_last = offset(h->err_last, copy);
  r.err_first_code = h->err_first_code;
  r.err_last_code = h->err_last_code;
  r.src_top_is_src = h->src_top == copy;
  std::free(copy);
  release_kmv(own);
  return r;
}

// The rows of a case file under data/: "source target" (optionally followed
// by the EUC-JP variants read and written, "euc euc 20932 51932"), source,
// output, the record ("count first:code [last:code]", offsets into the
// source, codes in hex; last defaults to first) and the offset of a cut
// last character, if any. The rows share one handle, so that every row also
// proves the previous call's record was cleared.
inline void check_rows(const std::string &file) {
  const auto rows = testdata::rows(file);
  ASSERT_FALSE(rows.empty()) << file;
  kmv_handle *shared = create_kmv();
  for (const testdata::Row &row : rows) {
    std::istringstream words(row[0]);
    std::string from, to, dec, enc;
    words >> from >> to >> dec >> enc;
    SCOPED_TRACE(file + ":" + std::to_string(row.line));
    kmv_handle *h = shared;
    if (!dec.empty()) {
      h = create_kmv();
      select_euc_decoding(h, dec);
      select_euc_encoding(h, enc);
    }
    const Result r = convert(from + " " + to, hex(row[1]), h);
    if (h != shared) release_kmv(h);
    unsigned n = 0, first = ~0u, code = ~0u, last = ~0u, last_code = ~0u;
    std::sscanf(row[3].c_str(), "%u %u:%x %u:%x", &n, &first, &code, &last,
                &last_code);
    const auto at = [n](unsigned i) { return n ? int64_t{i} : -1; };
    const int64_t cut = row[4].empty() ? -1 : std::stoll(row[4]);
    EXPECT_EQ(r.status, cut < 0 ? KMV_SUCCESS : KMV_EUEXPEOD);
    EXPECT_FALSE(r.out_null);
    EXPECT_EQ(r.out, hex(row[2]));
    EXPECT_EQ(r.err_pos, cut);
    EXPECT_EQ(r.err_count, n);
    EXPECT_EQ(r.err_first, at(first));
    EXPECT_EQ(r.err_first_code, static_cast<int32_t>(code));
    EXPECT_EQ(r.err_last, at(last == ~0u ? first : last));
    EXPECT_EQ(r.err_last_code,
              static_cast<int32_t>(last == ~0u ? code : last_code));
    EXPECT_TRUE(r.src_top_is_src);
  }
  release_kmv(shared);
}

}  // namespace legacy

#endif
