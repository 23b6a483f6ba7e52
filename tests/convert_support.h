// Helpers shared by the converter tests: byte strings written as hex, one
// call of a converter with everything it hands back, and the converter
// lists.
#ifndef KMV_TESTS_CONVERT_SUPPORT_H
#define KMV_TESTS_CONVERT_SUPPORT_H

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

#include "kmv.h"

namespace kmv_test {

using Bytes = std::vector<unsigned char>;

// "E3 81 82" -> {0xE3, 0x81, 0x82}; spaces are ignored.
inline Bytes hex(const std::string &text) {
  Bytes out;
  std::string digits;
  for (char c : text) {
    if (c != ' ') digits += c;
  }
  for (size_t i = 0; i + 1 < digits.size(); i += 2) {
    out.push_back(static_cast<unsigned char>(
        std::stoul(digits.substr(i, 2), nullptr, 16)));
  }
  return out;
}

inline Bytes bytes(const std::string &text) {
  return Bytes(text.begin(), text.end());
}

inline std::string show(const Bytes &b) {
  std::ostringstream s;
  for (size_t i = 0; i < b.size(); ++i) {
    char cell[4];
    std::snprintf(cell, sizeof cell, "%02X", b[i]);
    s << (i ? " " : "") << cell;
  }
  return s.str();
}

inline Bytes operator+(Bytes a, const Bytes &b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

inline Bytes read_data(const std::string &name) {
  std::ifstream f(std::string(KMV_TEST_DATA_DIR) + "/convert/" + name,
                  std::ios::binary);
  return Bytes(std::istreambuf_iterator<char>(f), {});
}

using PlainFn = int32_t (*)(kmv_handle *, unsigned char **, uint64_t *,
                            const unsigned char **, const unsigned char *,
                            uint64_t);
using BomFn = int32_t (*)(kmv_handle *, unsigned char **, uint64_t *,
                          const unsigned char **, const unsigned char *,
                          uint64_t, int);

// What one call hands back.
struct Result {
  int32_t status = 1;
  Bytes out;
  bool dst_null = true;
  const unsigned char *err_pos = nullptr;
};

// A converter with or without the bom argument.
struct Converter {
  const char *name;
  PlainFn plain;
  BomFn with_bom;
  const char *source;  // "unibe", "unile", "utf8", ...
  const char *target;  // "euc", "sjis", "jis", "unibe", "unile", "utf8"

  Result operator()(kmv_handle *h, const Bytes &src, int bom = 0,
                    bool want_err_pos = true) const {
    Result r;
    unsigned char *dst = reinterpret_cast<unsigned char *>(&r);  // junk
    uint64_t len = 12345;
    const unsigned char *err = src.data();  // junk, must be cleared
    const unsigned char **err_arg = want_err_pos ? &err : nullptr;
    r.status =
        plain != nullptr
            ? plain(h, &dst, &len, err_arg, src.data(), src.size())
            : with_bom(h, &dst, &len, err_arg, src.data(), src.size(), bom);
    r.dst_null = dst == nullptr;
    if (dst != nullptr) {
      r.out.assign(dst, dst + len);
      std::free(dst);
    } else if (len != 0) {
      r.out.assign(len, 0xEE);  // a length without a buffer shows up
    }
    r.err_pos = want_err_pos ? err : nullptr;
    return r;
  }

  bool has_bom() const { return with_bom != nullptr; }
};

inline Bytes target_mark(const std::string &target) {
  if (target == "unibe") return {0xFE, 0xFF};
  if (target == "unile") return {0xFF, 0xFE};
  if (target == "utf8") return {0xEF, 0xBB, 0xBF};
  return {};
}

inline Bytes source_mark(const std::string &source) {
  return target_mark(source);
}

}  // namespace kmv_test

#endif
