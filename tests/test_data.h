// What the test files share: bytes written as hex, files read whole,
// tables of cases kept as text under data/ (fields split at '|', lines
// starting with '#' are comments), handles and temporary directories.
#ifndef KMV_TESTS_TEST_DATA_H
#define KMV_TESTS_TEST_DATA_H

#include <stdlib.h>

#include <cctype>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "kmv.h"

namespace testdata {

using Bytes = std::vector<unsigned char>;

// "1B 24 42", "1b2442" and "1B2442 41" alike.
inline Bytes hex(const std::string &text) {
  Bytes out;
  std::string digits;
  for (char c : text)
    if (std::isxdigit(static_cast<unsigned char>(c))) digits += c;
  for (size_t i = 0; i + 1 < digits.size(); i += 2)
    out.push_back(static_cast<unsigned char>(
        std::stoul(digits.substr(i, 2), nullptr, 16)));
  return out;
}

inline Bytes operator+(Bytes a, const Bytes &b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

inline Bytes repeat(const std::string &text, size_t times) {
  Bytes out;
  while (times-- > 0) out = out + hex(text);
  return out;
}

inline std::string read_file(const std::string &path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

struct Row {
  int line;  // in the data file, for messages
  std::vector<std::string> fields;
  const std::string &operator[](size_t i) const {
    static const std::string none;
    return i < fields.size() ? fields[i] : none;
  }
};

// A field split at `sep`, e.g. "1 2" at ' ' or "41, , 42" at ','.
inline std::vector<std::string> split(const std::string &text, char sep) {
  std::vector<std::string> out(1);
  for (char c : text)
    if (c == sep)
      out.emplace_back();
    else
      out.back().push_back(c);
  return out;
}

// The rows of data/<name>; an empty result means the file is missing.
inline std::vector<Row> rows(const std::string &name, char sep = '|') {
  std::ifstream in(std::string(KMV_TEST_DATA_DIR) + "/" + name);
  std::vector<Row> out;
  std::string text;
  for (int n = 1; std::getline(in, text); ++n) {
    if (text.empty() || text[0] == '#') continue;
    Row row{n, split(text, sep)};
    for (std::string &field : row.fields) {
      field.erase(0, field.find_first_not_of(' '));
      field.erase(field.find_last_not_of(' ') + 1);
    }
    out.push_back(row);
  }
  return out;
}

// Hex with repeats: "8540*20 1b2442" is 8540 twenty times, then 1b2442.
inline Bytes pattern(const std::string &text) {
  Bytes out;
  std::istringstream words(text);
  for (std::string word; words >> word;) {
    const size_t star = word.find('*');
    const size_t times =
        star == std::string::npos ? 1 : std::stoul(word.substr(star + 1));
    out = out + repeat(word.substr(0, star), times);
  }
  return out;
}

// The bytes of data/<name>.
inline Bytes data_bytes(const std::string &name) {
  const std::string text = read_file(KMV_TEST_DATA_DIR "/" + name);
  return Bytes(text.begin(), text.end());
}

// The bytes of a hex text as a string.
inline std::string str(const std::string &hex_text) {
  const Bytes b = hex(hex_text);
  return std::string(b.begin(), b.end());
}

// The rows of data/<name> whose first field is `kind`; none is an error.
inline std::vector<Row> rows(const std::string &name, const std::string &kind) {
  std::vector<Row> out;
  for (const Row &row : rows(name))
    if (row[0] == kind) out.push_back(row);
  if (out.empty()) throw std::runtime_error("no " + kind + " rows in " + name);
  return out;
}

// A converter without the bom flag, called as one with it.
template <kmv_converter_fn F>
int32_t without_bom(kmv_handle *h, unsigned char **dst, uint64_t *dst_len,
                    const unsigned char **err_pos, const unsigned char *src,
                    uint64_t src_len, int) {
  return F(h, dst, dst_len, err_pos, src, src_len);
}

// Every converter, by its name without the kmv_ prefix ("sjisto_euc").
#define KMV_TEST_PLAIN(from, to) \
  { #from "to_" #to, without_bom < kmv_##from##to_##to> }
#define KMV_TEST_MARKED(from, to) \
  { #from "to_" #to, kmv_##from##to_##to }
inline const std::map<std::string, kmv_converter_bom_fn> &converters() {
  static const std::map<std::string, kmv_converter_bom_fn> all = {
      KMV_TEST_PLAIN(sjis, euc),     KMV_TEST_PLAIN(sjis, jis),
      KMV_TEST_MARKED(sjis, unibe),  KMV_TEST_MARKED(sjis, unile),
      KMV_TEST_MARKED(sjis, utf8),   KMV_TEST_PLAIN(euc, euc),
      KMV_TEST_PLAIN(euc, jis),      KMV_TEST_PLAIN(euc, sjis),
      KMV_TEST_MARKED(euc, unibe),   KMV_TEST_MARKED(euc, unile),
      KMV_TEST_MARKED(euc, utf8),    KMV_TEST_PLAIN(jis, euc),
      KMV_TEST_PLAIN(jis, sjis),     KMV_TEST_MARKED(jis, unibe),
      KMV_TEST_MARKED(jis, unile),   KMV_TEST_MARKED(jis, utf8),
      KMV_TEST_PLAIN(unibe, euc),    KMV_TEST_PLAIN(unibe, sjis),
      KMV_TEST_PLAIN(unibe, jis),    KMV_TEST_MARKED(unibe, unile),
      KMV_TEST_MARKED(unibe, utf8),  KMV_TEST_PLAIN(unile, euc),
      KMV_TEST_PLAIN(unile, sjis),   KMV_TEST_PLAIN(unile, jis),
      KMV_TEST_MARKED(unile, unibe), KMV_TEST_MARKED(unile, utf8),
      KMV_TEST_PLAIN(utf8, euc),     KMV_TEST_PLAIN(utf8, sjis),
      KMV_TEST_PLAIN(utf8, jis),     KMV_TEST_MARKED(utf8, unibe),
      KMV_TEST_MARKED(utf8, unile)};
  return all;
}

// A handle released at the end of its scope.
struct Handle {
  kmv_handle *const h = create_kmv();
  Handle() = default;
  Handle(const Handle &) = delete;
  ~Handle() { release_kmv(h); }
  operator kmv_handle *() const { return h; }
  kmv_handle *operator->() const { return h; }
};

// A fresh directory under /tmp, removed with its contents at the end.
struct TempDir {
  std::string dir = make();
  ~TempDir() { std::filesystem::remove_all(dir); }
  std::string path(const std::string &name) const { return dir + "/" + name; }
  std::string file(const std::string &name, const std::string &bytes) const {
    std::ofstream(path(name), std::ios::binary) << bytes;
    return path(name);
  }
  std::string file(const std::string &name, const Bytes &bytes) const {
    return file(name, std::string(bytes.begin(), bytes.end()));
  }
  static std::string make() {
    char pattern[] = "/tmp/kmv_test_XXXXXX";
    return mkdtemp(pattern) != nullptr ? pattern : "/nonexistent";
  }
};

}  // namespace testdata

#endif
