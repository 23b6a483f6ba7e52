// Calling the Shift_JIS, EUC-JP and ISO-2022-JP converters from tests: one
// signature for all, results with positions as offsets into the source, and
// table rows checked on one handle so that every row also proves the
// previous call's record was cleared.
#ifndef KMV_TESTS_LEGACY_CONVERT_H
#define KMV_TESTS_LEGACY_CONVERT_H

#include <gtest/gtest.h>

#include <cstdint>
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

inline Bytes operator+(Bytes a, const Bytes &b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
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

// One call and everything it must hand back. `conv` is "source target",
// optionally followed by the EUC-JP variants read and written ("euc euc
// 20932 51932"). The last record defaults to the first.
struct Row {
  const char *conv, *src, *out;
  uint32_t errs = 0;
  int64_t first = -1;
  int32_t code = -1;
  int32_t status = KMV_SUCCESS;
  int64_t err_pos = -1;
  int64_t last = -2;
  int32_t last_code = -2;
};

inline void check_rows(std::initializer_list<Row> rows) {
  kmv_handle *shared = create_kmv();
  for (const Row &row : rows) {
    std::istringstream words(row.conv);
    std::string from, to, dec, enc;
    words >> from >> to >> dec >> enc;
    SCOPED_TRACE(std::string(row.conv) + " : " + row.src);
    kmv_handle *h = shared;
    if (!dec.empty()) {
      h = create_kmv();
      select_euc_decoding(h, dec);
      select_euc_encoding(h, enc);
    }
    const Result r = convert(from + " " + to, hex(row.src), h);
    if (h != shared) release_kmv(h);
    EXPECT_EQ(r.status, row.status);
    EXPECT_FALSE(r.out_null);
    EXPECT_EQ(r.out, hex(row.out));
    EXPECT_EQ(r.err_pos, row.err_pos);
    EXPECT_EQ(r.err_count, row.errs);
    EXPECT_EQ(r.err_first, row.first);
    EXPECT_EQ(r.err_first_code, row.code);
    EXPECT_EQ(r.err_last, row.last == -2 ? row.first : row.last);
    EXPECT_EQ(r.err_last_code, row.last_code == -2 ? row.code : row.last_code);
    EXPECT_TRUE(r.src_top_is_src);
  }
  release_kmv(shared);
}

}  // namespace legacy

#endif
