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
#include "test_data.h"

namespace legacy {

using testdata::Bytes;
using testdata::hex;
using testdata::operator+;

struct Source {
  std::string family, variant;
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
    for (std::string text; std::getline(in, text);) {
      std::istringstream line(text);
      std::string kind, name, text_hex;
      line >> kind >> name;
      if (kind == "S") {
        Source &s = out.sources[name];
        line >> s.family >> s.variant >> text_hex;
        s.bytes = hex(text_hex);
      } else if (kind == "L") {
        for (int32_t n; line >> n;) out.sources[name].line_counts.push_back(n);
      } else if (kind == "C") {
        Case &c = out.cases.emplace_back();
        c.source = name;
        line >> c.target >> c.dst_variant >> c.err_count >> c.first_offset >>
            c.first_code >> c.last_offset >> c.last_code >> text_hex;
        c.expected = hex(text_hex);
      }
    }
    return out;
  }();
  return v;
}

// The EUC-JP variants as the slots of a handle hold them: decoding tables
// (two-byte, three-byte) and an encoding table (two- or four-byte slot).
struct EucVariant {
  const char *name;
  const uint16_t *t00;
  uint64_t s00;
  const uint16_t *t8f;
  uint64_t s8f;
  const uint16_t *enc2;
  const uint32_t *enc4;
  uint64_t enc_size;
};

inline const EucVariant &euc_variant(const std::string &name) {
  static const EucVariant all[] = {
      {"common", euc2unibecommon_table00, euc2unibecommon_table00_size, nullptr,
       0, unibe2euccommon_table, nullptr, unibe2euccommon_table_size},
      {"20932", euc2unibe20932_table00, euc2unibe20932_table00_size,
       euc2unibe20932_table8f, euc2unibe20932_table8f_size, nullptr,
       unibe2euc20932_table, unibe2euc20932_table_size},
      {"51932", euc2unibe51932_table00, euc2unibe51932_table00_size, nullptr, 0,
       unibe2euc51932_table, nullptr, unibe2euc51932_table_size},
      {"ms", euc2unibems_table00, euc2unibems_table00_size, euc2unibems_table8f,
       euc2unibems_table8f_size, nullptr, unibe2eucms_table,
       unibe2eucms_table_size}};
  for (const EucVariant &v : all) {
    if (name == v.name) return v;
  }
  return all[0];
}

inline void select_euc_decoding(kmv_handle *h, const std::string &name) {
  const EucVariant &v = euc_variant(name);
  h->euc2unibe_table00 = v.t00;
  h->euc2unibe_table00_size = v.s00;
  h->euc2unibe_table8f = v.t8f;
  h->euc2unibe_table8f_size = v.s8f;
}

inline void select_euc_encoding(kmv_handle *h, const std::string &name) {
  const EucVariant &v = euc_variant(name);
  h->unibe2euc_table = v.enc2;
  h->unibe2euc_table_size = v.enc2 == nullptr ? 0 : v.enc_size;
  h->unibe2euc_table4 = v.enc4;
  h->unibe2euc_table4_size = v.enc4 == nullptr ? 0 : v.enc_size;
}

inline const char *const kEucVariants[] = {"common", "20932", "51932", "ms"};

}  // namespace legacy

#endif
