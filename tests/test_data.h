// What the test files share: bytes written as hex, files read whole, and
// tables of cases kept as text under data/ (fields split at '|', lines
// starting with '#' are comments).
#ifndef KMV_TESTS_TEST_DATA_H
#define KMV_TESTS_TEST_DATA_H

#include <cctype>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <string>
#include <vector>

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

// The rows of data/<name>; an empty result means the file is missing.
inline std::vector<Row> rows(const std::string &name) {
  std::ifstream in(std::string(KMV_TEST_DATA_DIR) + "/" + name);
  std::vector<Row> out;
  std::string text;
  for (int n = 1; std::getline(in, text); ++n) {
    if (text.empty() || text[0] == '#') continue;
    Row row{n, {}};
    for (size_t from = 0;;) {
      const size_t bar = text.find('|', from);
      std::string field = text.substr(from, bar - from);
      field.erase(0, field.find_first_not_of(' '));
      field.erase(field.find_last_not_of(' ') + 1);
      row.fields.push_back(field);
      if (bar == std::string::npos) break;
      from = bar + 1;
    }
    out.push_back(row);
  }
  return out;
}

// The words of a text, split at spaces.
inline std::vector<std::string> words(const std::string &text) {
  std::vector<std::string> out;
  for (size_t from = 0, end = 0; from < text.size(); from = end + 1) {
    end = text.find(' ', from);
    if (end == std::string::npos) end = text.size();
    if (end > from) out.push_back(text.substr(from, end - from));
  }
  return out;
}

// Hex with repeats: "8540*20 1b2442" is 8540 twenty times, then 1b2442.
inline Bytes pattern(const std::string &text) {
  Bytes out;
  for (const std::string &word : words(text)) {
    const size_t star = word.find('*');
    out = out +
          repeat(word.substr(0, star), star == std::string::npos
                                           ? 1
                                           : std::stoul(word.substr(star + 1)));
  }
  return out;
}

// The bytes of data/<name>.
inline Bytes data_bytes(const std::string &name) {
  const std::string text =
      read_file(std::string(KMV_TEST_DATA_DIR) + "/" + name);
  return Bytes(text.begin(), text.end());
}

}  // namespace testdata

namespace testdata {

// The bytes of a hex text as a string.
inline std::string str(const std::string &hex_text) {
  const Bytes b = hex(hex_text);
  return std::string(b.begin(), b.end());
}

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

// The rows of data/<name> whose first field is `kind`; none is an error.
inline std::vector<Row> rows(const std::string &name, const std::string &kind) {
  std::vector<Row> out;
  for (const Row &row : rows(name))
    if (row[0] == kind) out.push_back(row);
  if (out.empty()) throw std::runtime_error("no " + kind + " rows in " + name);
  return out;
}

}  // namespace testdata

#endif
