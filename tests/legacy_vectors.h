// Reads tests/data/convert2/vectors.txt: real Japanese texts in Shift_JIS,
// EUC-JP and ISO-2022-JP with the output each converter must give for them,
// worked out by make_vectors.py from Python's codecs.
#ifndef KMV_TESTS_LEGACY_VECTORS_H
#define KMV_TESTS_LEGACY_VECTORS_H

#include <cstdint>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "kmv.h"

namespace legacy {

using Bytes = std::vector<unsigned char>;

// "1B 24 42" or "1B2442" to the bytes.
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

struct Source {
  std::string name, family, variant;
  Bytes bytes;
  std::vector<int32_t> line_counts;  // characters per line; empty if unknown
};

struct Case {
  std::string source, target, dst_variant;
  uint32_t err_count;
  int64_t first_offset, first_code, last_offset, last_code;
  Bytes expected;
};

struct Vectors {
  std::map<std::string, Source> sources;
  std::vector<Case> cases;
};

inline const Vectors &vectors() {
  static const Vectors v = [] {
    Vectors out;
    std::ifstream in(KMV_TEST_DATA_DIR "/convert2/vectors.txt");
    std::string text;
    while (std::getline(in, text)) {
      std::istringstream line(text);
      std::string kind, name;
      line >> kind >> name;
      if (kind == "S") {
        Source s;
        std::string text_hex;
        s.name = name;
        line >> s.family >> s.variant >> text_hex;
        s.bytes = hex(text_hex);
        out.sources[name] = s;
      } else if (kind == "L") {
        int32_t n;
        while (line >> n) out.sources[name].line_counts.push_back(n);
      } else if (kind == "C") {
        Case c;
        std::string text_hex;
        c.source = name;
        line >> c.target >> c.dst_variant >> c.err_count >> c.first_offset >>
            c.first_code >> c.last_offset >> c.last_code >> text_hex;
        c.expected = hex(text_hex);
        out.cases.push_back(c);
      }
    }
    return out;
  }();
  return v;
}

// The EUC-JP variants as the slots of a handle hold them.
inline void select_euc_decoding(kmv_handle *h, const std::string &variant) {
  h->euc2unibe_table8f = nullptr;
  h->euc2unibe_table8f_size = 0;
  if (variant == "common") {
    h->euc2unibe_table00 = euc2unibecommon_table00;
    h->euc2unibe_table00_size = euc2unibecommon_table00_size;
  } else if (variant == "20932") {
    h->euc2unibe_table00 = euc2unibe20932_table00;
    h->euc2unibe_table00_size = euc2unibe20932_table00_size;
    h->euc2unibe_table8f = euc2unibe20932_table8f;
    h->euc2unibe_table8f_size = euc2unibe20932_table8f_size;
  } else if (variant == "51932") {
    h->euc2unibe_table00 = euc2unibe51932_table00;
    h->euc2unibe_table00_size = euc2unibe51932_table00_size;
  } else if (variant == "ms") {
    h->euc2unibe_table00 = euc2unibems_table00;
    h->euc2unibe_table00_size = euc2unibems_table00_size;
    h->euc2unibe_table8f = euc2unibems_table8f;
    h->euc2unibe_table8f_size = euc2unibems_table8f_size;
  }
}

inline void select_euc_encoding(kmv_handle *h, const std::string &variant) {
  h->unibe2euc_table = nullptr;
  h->unibe2euc_table_size = 0;
  h->unibe2euc_table4 = nullptr;
  h->unibe2euc_table4_size = 0;
  if (variant == "common") {
    h->unibe2euc_table = unibe2euccommon_table;
    h->unibe2euc_table_size = unibe2euccommon_table_size;
  } else if (variant == "20932") {
    h->unibe2euc_table4 = unibe2euc20932_table;
    h->unibe2euc_table4_size = unibe2euc20932_table_size;
  } else if (variant == "51932") {
    h->unibe2euc_table = unibe2euc51932_table;
    h->unibe2euc_table_size = unibe2euc51932_table_size;
  } else if (variant == "ms") {
    h->unibe2euc_table4 = unibe2eucms_table;
    h->unibe2euc_table4_size = unibe2eucms_table_size;
  }
}

inline const char *const kEucVariants[] = {"common", "20932", "51932", "ms"};

}  // namespace legacy

#endif
