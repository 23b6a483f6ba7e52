// Calling the Shift_JIS, EUC-JP and ISO-2022-JP converters from tests: one
// signature for all, results with positions as offsets into the source.
#ifndef KMV_TESTS_LEGACY_CONVERT_H
#define KMV_TESTS_LEGACY_CONVERT_H

#include <cstdint>
#include <cstdlib>
#include <initializer_list>
#include <map>
#include <string>
#include <vector>

#include "kmv.h"

namespace legacy {

using Bytes = std::vector<unsigned char>;
using Converter = int32_t (*)(kmv_handle *, unsigned char **, uint64_t *,
                              const unsigned char **, const unsigned char *,
                              uint64_t, int);

template <int32_t (*F)(kmv_handle *, unsigned char **, uint64_t *,
                       const unsigned char **, const unsigned char *, uint64_t)>
int32_t without_bom(kmv_handle *h, unsigned char **dst, uint64_t *dst_len,
                    const unsigned char **err_pos, const unsigned char *src,
                    uint64_t src_len, int) {
  return F(h, dst, dst_len, err_pos, src, src_len);
}

// "source target" to the converter, for every converter of the three
// families.
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

inline Bytes bytes(std::initializer_list<int> list) {
  Bytes out;
  for (int b : list) out.push_back(static_cast<unsigned char>(b));
  return out;
}

inline Bytes join(Bytes a, const Bytes &b) {
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

}  // namespace legacy

#endif
