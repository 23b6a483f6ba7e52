// The mapping tables: counts, inverse pairs, the code points on which the
// code pages disagree, and the decoding tables against the mapping data.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <fstream>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "kmv.h"

namespace {

// A table read the way the library reads it: an index at or beyond the
// count is no mapping.
struct View {
  const uint16_t *narrow;
  const uint32_t *wide;
  uint64_t size;
  uint32_t operator[](uint32_t index) const {
    if (index >= size) return 0;
    return wide ? wide[index] : narrow[index];
  }
};

View narrow(const uint16_t *table, uint64_t size) {
  return {table, nullptr, size};
}
View wide(const uint32_t *table, uint64_t size) {
  return {nullptr, table, size};
}

#define NARROW(name) narrow(name, name##_size)
#define WIDE(name) wide(name, name##_size)

const View sjis = NARROW(sjis2unibe932_table);
const View jis = NARROW(jis2unibe50221_table);
const View euc_common = NARROW(euc2unibecommon_table00);
const View euc20932 = NARROW(euc2unibe20932_table00);
const View euc20932_8f = NARROW(euc2unibe20932_table8f);
const View euc51932 = NARROW(euc2unibe51932_table00);
const View eucms = NARROW(euc2unibems_table00);
const View eucms_8f = NARROW(euc2unibems_table8f);
const View to_sjis = NARROW(unibe2sjis932_table);
const View to_jis = NARROW(unibe2jis50221_table);
const View to_euc_common = NARROW(unibe2euccommon_table);
const View to_euc20932 = WIDE(unibe2euc20932_table);
const View to_euc51932 = NARROW(unibe2euc51932_table);
const View to_eucms = WIDE(unibe2eucms_table);
const View class_words = NARROW(unibe_def_table);

// Mismatches are gathered so that one broken rule reports a few examples
// instead of thousands of lines.
class Mismatches {
 public:
  void check(uint32_t index, uint32_t actual, uint32_t expected) {
    if (actual == expected) return;
    if (++count_ <= 8) {
      char line[80];
      std::snprintf(line, sizeof line, "  at 0x%04X: 0x%04X, expected 0x%04X\n",
                    index, actual, expected);
      text_ += line;
    }
  }
  bool none() const { return count_ == 0; }
  std::string report() const {
    return std::to_string(count_) + " mismatches\n" + text_;
  }

 private:
  uint32_t count_ = 0;
  std::string text_;
};

std::map<uint32_t, uint32_t> read_mapping(const std::string &file) {
  std::ifstream in(std::string(KMV_TABLES_DATA_DIR) + "/" + file);
  EXPECT_TRUE(in) << file;
  std::map<uint32_t, uint32_t> map;
  std::string line;
  while (std::getline(in, line)) {
    if (line.empty() || line[0] == '#') continue;
    std::istringstream words(line);
    uint32_t code = 0, unicode = 0;
    words >> std::hex >> code >> unicode;
    map[code] = unicode;
  }
  return map;
}

const std::map<uint32_t, uint32_t> &cp932() {
  static const auto map = read_mapping("cp932.txt");
  return map;
}

uint32_t cp932_at(uint32_t code) {
  auto found = cp932().find(code);
  return found == cp932().end() ? 0 : found->second;
}

// Shift_JIS code of a JIS X 0208 row (ku) and cell (ten), 1-based.
uint32_t sjis_of_kuten(uint32_t ku, uint32_t ten) {
  const uint32_t lead = (ku - 1) / 2 + (ku <= 62 ? 0x81 : 0xC1);
  uint32_t trail = ten + 0x9E;
  if (ku % 2 == 1) trail = ten + 0x3F + (ten >= 64 ? 1 : 0);
  return lead << 8 | trail;
}

// CP932 value of the character at a JIS row/cell code.
uint32_t cp932_of_jis(uint32_t code) {
  return cp932_at(sjis_of_kuten((code >> 8) - 0x20, (code & 0xFF) - 0x20));
}

bool one_of(uint32_t value, std::initializer_list<uint32_t> values) {
  return std::set<uint32_t>(values).count(value) != 0;
}

// ---------------------------------------------------------------------------

struct Expected {
  const char *name;
  View view;
  const void *table, *alias;
  const uint64_t *size, *alias_size;
  uint64_t entries, nonzero;
};

#define EXPECTED(t, v, count, nonzero_count)                               \
  Expected {                                                               \
    .name = #t, .view = v, .table = t, .alias = _##t, .size = &t##_size,   \
    .alias_size = &_##t##_size, .entries = count, .nonzero = nonzero_count \
  }

TEST(Tables, EntryCountsAndNonZeroEntries) {
  const Expected tables[] = {
      EXPECTED(sjis2unibe932_table, sjis, 64588, 9396),
      EXPECTED(jis2unibe50221_table, jis, 31871, 7453),
      EXPECTED(euc2unibecommon_table00, euc_common, 62631, 7064),
      EXPECTED(euc2unibe20932_table00, euc20932, 62631, 7069),
      EXPECTED(euc2unibe20932_table8f, euc20932_8f, 60900, 6066),
      EXPECTED(euc2unibe51932_table00, euc51932, 64767, 7516),
      EXPECTED(euc2unibems_table00, eucms, 65279, 8113),
      EXPECTED(euc2unibems_table8f, eucms_8f, 65279, 7099),
      EXPECTED(unibe2sjis932_table, to_sjis, 65510, 9402),
      EXPECTED(unibe2jis50221_table, to_jis, 65510, 7455),
      EXPECTED(unibe2euccommon_table, to_euc_common, 65510, 7068),
      EXPECTED(unibe2euc20932_table, to_euc20932, 65510, 13140),
      EXPECTED(unibe2euc51932_table, to_euc51932, 65510, 7517),
      EXPECTED(unibe2eucms_table, to_eucms, 65510, 15212),
      EXPECTED(unibe_def_table, class_words, 65536, 35263),
  };
  for (const Expected &t : tables) {
    SCOPED_TRACE(t.name);
    EXPECT_EQ(*t.size, t.entries);
    EXPECT_EQ(t.alias, t.table);  // the same object, not a copy
    EXPECT_EQ(t.alias_size, t.size);
    uint64_t nonzero = 0, end = 0;
    for (uint32_t i = 0; i < t.entries; ++i)
      if (t.view[i] != 0) ++nonzero, end = i + 1;
    EXPECT_EQ(nonzero, t.nonzero);
    EXPECT_EQ(t.view[0], 0u);
    // A mapping table ends at its last entry.
    if (t.view.narrow != unibe_def_table) {
      EXPECT_EQ(end, t.entries);
    }
  }
}

// ---------------------------------------------------------------------------
// Inverse pairs: the decoding side (two-byte table and, for the 32-bit
// encoders, the 0x8F table) and the encoding side agree, apart from the
// listed additions to the encoder and decodings it deliberately drops.

struct Decoder {
  View two_byte;
  View three_byte{nullptr, nullptr, 0};
  uint32_t operator()(uint32_t code) const {
    if (code <= 0xFFFF) return two_byte[code];
    return (code >> 16) == 0x8F ? three_byte[code & 0xFFFF] : 0;
  }
};

using Additions = std::map<uint32_t, uint32_t>;  // UTF-16 -> code

void expect_inverse(const Decoder &decode, View encode,
                    const Additions &additions,
                    std::set<uint32_t> not_encoded = {}) {
  Mismatches decoded_back, encoded_back;
  for (uint32_t prefix : {0u, 0x8F0000u}) {
    const View &side = prefix ? decode.three_byte : decode.two_byte;
    for (uint32_t i = 0; i < side.size; ++i) {
      const uint32_t unicode = side[i];
      if (unicode == 0 || not_encoded.count(prefix | i)) continue;
      encoded_back.check(unicode, encode[unicode], prefix | i);
    }
  }
  for (uint32_t unicode = 0; unicode < 0x10000; ++unicode) {
    const uint32_t code = encode[unicode];
    auto added = additions.find(unicode);
    if (added != additions.end())
      encoded_back.check(unicode, code, added->second);
    else if (code != 0)
      decoded_back.check(code & 0xFFFF, decode(code), unicode);
  }
  EXPECT_TRUE(encoded_back.none()) << "encoder: " << encoded_back.report();
  EXPECT_TRUE(decoded_back.none()) << "decoder: " << decoded_back.report();
}

TEST(Tables, ShiftJisPairIsInverseApartFromSixAdditions) {
  expect_inverse({sjis}, to_sjis,
                 {{0xFF5E, 0x8160},
                  {0x0080, 0x80},
                  {0xF8F0, 0xA0},
                  {0xF8F1, 0xFD},
                  {0xF8F2, 0xFE},
                  {0xF8F3, 0xFF}});
  for (uint32_t u : {0xA2, 0xA3, 0xA5, 0xAC, 0x2016, 0x2212, 0x203E})
    EXPECT_EQ(to_sjis[u], 0u) << std::hex << u;
}

TEST(Tables, JisPairIsInverseApartFromTwoAdditions) {
  expect_inverse({jis}, to_jis, {{0x301C, 0x2141}, {0x203E, 0x7E}});
  for (uint32_t u = 0xFF61; u <= 0xFF9F; ++u) EXPECT_EQ(to_jis[u], 0u);
  EXPECT_EQ(to_jis[0xA5], 0u);
  // One-byte values are ASCII only, and come from ASCII or the overline.
  for (uint32_t u = 0x80; u < 0x10000; ++u)
    if (to_jis[u] != 0 && u != 0x203E) {
      EXPECT_GE(to_jis[u], 0x2121u) << std::hex << u;
    }
}

const Additions kFullwidthForms = {
    {0xFF0D, 0xA1DD}, {0xFFE0, 0xA1F1}, {0xFFE1, 0xA1F2}, {0xFFE2, 0xA2CC}};

TEST(Tables, EucCommonPairIsInverseApartFromFullwidthForms) {
  expect_inverse({euc_common}, to_euc_common, kFullwidthForms);
  for (uint32_t u : {0xFF5E, 0x2225, 0x2016, 0x2212, 0xA2, 0xA3, 0xAC})
    EXPECT_EQ(to_euc_common[u], 0u) << std::hex << u;
}

TEST(Tables, Euc20932PairIsInverseApartFromFullwidthForms) {
  Additions additions = kFullwidthForms;
  additions[0xFFE4] = 0x8FA2C3;
  expect_inverse({euc20932, euc20932_8f}, to_euc20932, additions);
  EXPECT_EQ(to_euc20932[0xFF5E], 0u);
  EXPECT_EQ(to_euc20932[0x2225], 0u);
}

TEST(Tables, Euc51932PairIsInverseApartFromTilde) {
  expect_inverse({euc51932}, to_euc51932, {{0xFF5E, 0xA1C1}});
}

TEST(Tables, EucMsPairIsInverseButTildeIsWrittenInTwoBytes) {
  expect_inverse({eucms, eucms_8f}, to_eucms, {{0xFF5E, 0xA1C1}}, {0x8FA2B7});
  EXPECT_EQ(eucms_8f[0xA2B7], 0xFF5Eu);
}

// ---------------------------------------------------------------------------
// Where the published mappings disagree.

TEST(Tables, DisputedCodesDecodePerCodePage) {
  const uint32_t none = 0;
  struct Row {
    uint32_t sjis_code, jis_code, euc_code;
    uint32_t sjis, jis, common, cp20932, cp51932_and_ms;
  };
  const Row rows[] = {
      {0x5C, 0x5C, 0x5C, 0x5C, 0x5C, 0x5C, 0x5C, 0x5C},
      {0x7E, 0x7E, 0x7E, 0x7E, 0x7E, 0x7E, 0x7E, 0x7E},
      {0x815C, 0x213D, 0xA1BD, 0x2015, 0x2015, 0x2015, 0x2015, 0x2015},
      {0x815F, 0x2140, 0xA1C0, 0xFF3C, 0xFF3C, 0xFF3C, 0xFF3C, 0xFF3C},
      {0x8160, 0x2141, 0xA1C1, 0x301C, 0xFF5E, 0x301C, 0x301C, 0x301C},
      {0x8161, 0x2142, 0xA1C2, 0x2225, 0x2225, none, 0x2016, 0x2225},
      {0x817C, 0x215D, 0xA1DD, 0xFF0D, 0xFF0D, none, 0x2212, 0xFF0D},
      {0x8191, 0x2171, 0xA1F1, 0xFFE0, 0xFFE0, none, 0x00A2, 0xFFE0},
      {0x8192, 0x2172, 0xA1F2, 0xFFE1, 0xFFE1, none, 0x00A3, 0xFFE1},
      {0x81CA, 0x224C, 0xA2CC, 0xFFE2, 0xFFE2, none, 0x00AC, 0xFFE2},
  };
  for (const Row &r : rows) {
    SCOPED_TRACE(testing::Message() << std::hex << r.sjis_code);
    EXPECT_EQ(sjis[r.sjis_code], r.sjis);
    EXPECT_EQ(jis[r.jis_code], r.jis);
    EXPECT_EQ(euc_common[r.euc_code], r.common);
    EXPECT_EQ(euc20932[r.euc_code], r.cp20932);
    EXPECT_EQ(euc51932[r.euc_code], r.cp51932_and_ms);
    EXPECT_EQ(eucms[r.euc_code], r.cp51932_and_ms);
  }
  EXPECT_EQ(euc20932_8f[0xA2B7], 0u);
  EXPECT_EQ(eucms_8f[0xA2B7], 0xFF5Eu);
  EXPECT_EQ(euc20932_8f[0xA2C3], 0x00A6u);
  EXPECT_EQ(eucms_8f[0xA2C3], 0xFFE4u);
}

TEST(Tables, DisputedCharactersEncodePerCodePage) {
  const uint32_t none = 0;
  struct Row {
    uint32_t unicode, sjis, jis, common, cp20932, cp51932, ms;
  };
  const Row rows[] = {
      {0x005C, 0x5C, 0x5C, 0x5C, 0x5C, 0x5C, 0x5C},
      {0x007E, 0x7E, 0x7E, 0x7E, 0x7E, 0x7E, 0x7E},
      {0x00A5, none, none, none, none, none, none},
      {0x203E, none, 0x7E, none, none, none, none},
      {0x2014, none, none, none, none, none, none},
      {0x2015, 0x815C, 0x213D, 0xA1BD, 0xA1BD, 0xA1BD, 0xA1BD},
      {0xFF3C, 0x815F, 0x2140, 0xA1C0, 0xA1C0, 0xA1C0, 0xA1C0},
      {0x301C, 0x8160, 0x2141, 0xA1C1, 0xA1C1, 0xA1C1, 0xA1C1},
      {0xFF5E, 0x8160, 0x2141, none, none, 0xA1C1, 0xA1C1},
      {0x2016, none, none, none, 0xA1C2, none, none},
      {0x2225, 0x8161, 0x2142, none, none, 0xA1C2, 0xA1C2},
      {0x2212, none, none, none, 0xA1DD, none, none},
      {0xFF0D, 0x817C, 0x215D, 0xA1DD, 0xA1DD, 0xA1DD, 0xA1DD},
      {0x00A2, none, none, none, 0xA1F1, none, none},
      {0xFFE0, 0x8191, 0x2171, 0xA1F1, 0xA1F1, 0xA1F1, 0xA1F1},
      {0x00A3, none, none, none, 0xA1F2, none, none},
      {0xFFE1, 0x8192, 0x2172, 0xA1F2, 0xA1F2, 0xA1F2, 0xA1F2},
      {0x00AC, none, none, none, 0xA2CC, none, none},
      {0xFFE2, 0x81CA, 0x224C, 0xA2CC, 0xA2CC, 0xA2CC, 0xA2CC},
      {0x00A6, none, none, none, 0x8FA2C3, none, none},
      {0xFFE4, 0xFA55, 0x7C7C, none, 0x8FA2C3, 0xFCFC, 0x8FA2C3},
  };
  for (const Row &r : rows) {
    SCOPED_TRACE(testing::Message() << "U+" << std::hex << r.unicode);
    EXPECT_EQ(to_sjis[r.unicode], r.sjis);
    EXPECT_EQ(to_jis[r.unicode], r.jis);
    EXPECT_EQ(to_euc_common[r.unicode], r.common);
    EXPECT_EQ(to_euc20932[r.unicode], r.cp20932);
    EXPECT_EQ(to_euc51932[r.unicode], r.cp51932);
    EXPECT_EQ(to_eucms[r.unicode], r.ms);
  }
}

// ---------------------------------------------------------------------------
// Decoding tables against the code page 932 and JIS X 0212 data.

TEST(Tables, ShiftJisFollowsCp932ButForWaveDashAndDuplicates) {
  ASSERT_EQ(cp932().size(), 9604u);
  auto duplicate = [](uint32_t code) {
    return one_of(code,
                  {0x8790, 0x8791, 0x8792, 0x8795, 0x8796, 0x8797, 0x879A,
                   0x879B, 0x879C, 0xFA54, 0xFA58, 0xFA59, 0xFA5A, 0xFA5B}) ||
           (code >= 0xED40 && code <= 0xEEFC) ||
           (code >= 0xFA4A && code <= 0xFA53);
  };
  Mismatches m;
  for (uint32_t b = 0; b < 0x100; ++b) {
    uint32_t expected = b < 0x80 ? b : 0;
    if (b >= 0xA1 && b <= 0xDF) expected = 0xFF61 + (b - 0xA1);
    m.check(b, sjis[b], expected);
  }
  for (uint32_t code = 0x100; code < 0x10000; ++code) {
    uint32_t expected = duplicate(code) ? 0 : cp932_at(code);
    if (code == 0x8160) expected = 0x301C;
    m.check(code, sjis[code], expected);
  }
  EXPECT_TRUE(m.none()) << m.report();
  // The user-defined area keeps its private-use values.
  EXPECT_EQ(sjis[0xF040], 0xE000u);
  EXPECT_EQ(sjis[0xF9FC], 0xE757u);
}

// Rows 1 to 8, 13, 16 to 84 and 89 to 92.
bool is_jis_row(uint32_t ku) {
  return ku <= 8 || ku == 13 || (ku >= 16 && ku <= 84) ||
         (ku >= 89 && ku <= 92);
}

TEST(Tables, JisFollowsCp932InItsRows) {
  Mismatches m;
  for (uint32_t code = 0x2121; code <= 0x7E7E; ++code) {
    const uint32_t ku = (code >> 8) - 0x20, ten = (code & 0xFF) - 0x20;
    if (ten < 1 || ten > 94) continue;
    uint32_t expected = is_jis_row(ku) ? cp932_of_jis(code) : 0;
    if (one_of(code, {0x2D70, 0x2D71, 0x2D72, 0x2D75, 0x2D76, 0x2D77, 0x2D7A,
                      0x2D7B, 0x2D7C, 0x7C7B}))
      expected = 0;
    m.check(code, jis[code], expected);
  }
  EXPECT_TRUE(m.none()) << m.report();
  for (uint32_t b = 0; b < 0x100; ++b) EXPECT_EQ(jis[b], b < 0x80 ? b : 0);
}

TEST(Tables, EucTwoByteCodesFollowCp932) {
  Mismatches common, cp20932, cp51932, ms;
  for (uint32_t code = 0xA1A1; code <= 0xFEFE; ++code) {
    if ((code & 0xFF) < 0xA1 || (code & 0xFF) == 0xFF) continue;
    const uint32_t ku = (code >> 8) - 0xA0;
    const uint32_t cp = cp932_of_jis(code - 0x8080);
    const bool jis_x_0208 = ku <= 8 || (ku >= 16 && ku <= 84);
    uint32_t expected = jis_x_0208 ? cp : 0;
    if (code == 0xA1C1) expected = 0x301C;
    const bool disputed =
        one_of(code, {0xA1C2, 0xA1DD, 0xA1F1, 0xA1F2, 0xA2CC});
    common.check(code, euc_common[code], disputed ? 0 : expected);
    if (!disputed) cp20932.check(code, euc20932[code], expected);
    const uint32_t from_jis = code == 0xA1C1 ? 0x301C : jis[code - 0x8080];
    cp51932.check(code, euc51932[code], from_jis);
    const uint32_t pua = 0xE000 + (ku - 85) * 94 + (code & 0xFF) - 0xA1;
    ms.check(code, eucms[code], ku >= 85 ? pua : from_jis);
  }
  EXPECT_TRUE(common.none()) << common.report();
  EXPECT_TRUE(cp20932.none()) << cp20932.report();
  EXPECT_TRUE(cp51932.none()) << cp51932.report();
  EXPECT_TRUE(ms.none()) << ms.report();
}

TEST(Tables, EucSingleBytesAndKatakana) {
  for (uint32_t b = 1; b < 0x100; ++b) {
    const uint32_t ascii = b < 0x80 ? b : 0;
    EXPECT_EQ(euc_common[b], ascii);
    EXPECT_EQ(euc20932[b], ascii);
    EXPECT_EQ(euc51932[b], ascii);
    const bool c1 = b >= 0x80 && b <= 0x9F && b != 0x8E && b != 0x8F;
    EXPECT_EQ(eucms[b], c1 ? b : ascii) << std::hex << b;
  }
  for (const View &t : {euc_common, euc20932, euc51932, eucms}) {
    EXPECT_EQ(t[0x8EA0], 0u);
    EXPECT_EQ(t[0x8EA1], 0xFF61u);
    EXPECT_EQ(t[0x8EDF], 0xFF9Fu);
    EXPECT_EQ(t[0x8EE0], 0u);
  }
}

TEST(Tables, ThreeByteTablesFollowJisX0212) {
  const auto jisx0212 = read_mapping("jisx0212.txt");
  ASSERT_EQ(jisx0212.size(), 6067u);
  Mismatches cp20932, ms;
  for (auto [code, unicode] : jisx0212) {
    const uint32_t euc = code + 0x8080;
    cp20932.check(euc, euc20932_8f[euc], euc == 0xA2B7 ? 0 : unicode);
    uint32_t ms_value = unicode;
    if (euc == 0xA2B7) ms_value = 0xFF5E;
    if (euc == 0xA2C3) ms_value = 0xFFE4;
    if (euc == 0xA2F1) ms_value = 0;
    ms.check(euc, eucms_8f[euc], ms_value);
  }
  EXPECT_TRUE(cp20932.none()) << cp20932.report();
  EXPECT_TRUE(ms.none()) << ms.report();
  EXPECT_EQ(euc20932_8f[0xA2F1], 0x2116u);
}

// eucJP-ms places the IBM extensions it lacks after JIS X 0212, in
// Shift_JIS order, and must then encode every one of them.
TEST(Tables, EucMsHoldsEveryIbmExtension) {
  std::vector<uint32_t> places;
  for (uint32_t code = 0xF3F3; code <= 0xF3FC; ++code) places.push_back(code);
  places.insert(places.end(), {0xF4A9, 0xF4AA});
  for (uint32_t code = 0xF4AE; code <= 0xF4FE; ++code) places.push_back(code);
  uint32_t previous_sjis = 0xFA3F;
  for (uint32_t place : places) {
    const uint32_t unicode = eucms_8f[place];
    const uint32_t sjis_code = to_sjis[unicode];
    EXPECT_GT(sjis_code, previous_sjis) << std::hex << place;
    EXPECT_LE(sjis_code, 0xFC4Bu);
    previous_sjis = sjis_code;
  }
  EXPECT_EQ(eucms_8f[0xF3F3], 0x2170u);
  EXPECT_EQ(eucms_8f[0xF3FC], 0x2179u);
  EXPECT_EQ(eucms_8f[0xF4A9], 0xFF07u);
  EXPECT_EQ(eucms_8f[0xF4AA], 0xFF02u);
  for (uint32_t gap : {0xF3FD, 0xF3FE, 0xF4A1, 0xF4A8, 0xF4AB, 0xF4AD})
    EXPECT_EQ(eucms_8f[gap], 0u) << std::hex << gap;
  for (uint32_t code = 0xFA40; code <= 0xFC4B; ++code)
    if (cp932_at(code) != 0) {
      EXPECT_NE(to_eucms[cp932_at(code)], 0u) << std::hex << code;
    }
}

// ---------------------------------------------------------------------------
// Entry formats and the edge cases callers rely on.

TEST(Tables, EncodedValuesHaveTheirByteForms) {
  for (uint32_t u = 0; u < 0x10000; ++u) {
    for (const View &t : {to_euc_common, to_euc20932, to_euc51932, to_eucms}) {
      const uint32_t code = t[u];
      if (code < 0x100) continue;
      const uint32_t hh = (code >> 8) & 0xFF, ll = code & 0xFF;
      const bool katakana = code >= 0x8EA1 && code <= 0x8EDF;
      const bool euc_bytes =
          hh >= 0xA1 && hh <= 0xFE && ll >= 0xA1 && ll <= 0xFE;
      const bool two_byte = code <= 0xFFFF && euc_bytes;
      const bool three_byte = code >> 16 == 0x8F && euc_bytes;
      EXPECT_TRUE(katakana || two_byte || three_byte)
          << std::hex << "U+" << u << " -> " << code;
    }
    if (u >= 0xD800 && u <= 0xDFFF) {
      for (const View &t : {to_sjis, to_jis, to_euc_common, to_eucms})
        EXPECT_EQ(t[u], 0u);
    }
  }
  for (const View &t : {sjis, jis, euc_common, euc20932, euc20932_8f, euc51932,
                        eucms, eucms_8f})
    for (uint32_t i = 0; i < t.size; ++i)
      EXPECT_FALSE(t[i] >= 0xD800 && t[i] <= 0xDFFF) << std::hex << i;
}

TEST(Tables, EdgeCases) {
  EXPECT_EQ(sjis[0x8790], 0u);
  EXPECT_EQ(sjis[0xED40], 0u);
  EXPECT_EQ(sjis[0x81E0], 0x2252u);
  EXPECT_EQ(sjis[0xFA5C], 0x7E8Au);
  EXPECT_EQ(eucms[0xF5A1], 0xE000u);
  EXPECT_EQ(eucms_8f[0xFEFE], 0xE757u);
  EXPECT_EQ(eucms_8f[0xF5A1], 0xE3ACu);
  EXPECT_EQ(to_eucms[0xE757], 0x8FFEFEu);
  EXPECT_EQ(to_eucms[0xE000], 0xF5A1u);
  EXPECT_EQ(to_eucms[0x0085], 0x85u);
  EXPECT_EQ(to_eucms[0x008E], 0u);
  // Lookups past the end read nothing: the counts stop short of them.
  for (const View &t :
       {to_sjis, to_jis, to_euc_common, to_euc20932, to_euc51932, to_eucms})
    EXPECT_EQ(t.size, 0xFFE6u);
  EXPECT_LT(euc_common.size, 0xF5A1u);
  EXPECT_EQ(euc_common[0xF5A1], 0u);
}

TEST(Tables, ClassWordsMarkJapaneseTextRanges) {
  const uint32_t plausible[][2] = {{0x0001, 0x04FF}, {0x1E30, 0x2FDF},
                                   {0x2FF0, 0x9FEF}, {0xF900, 0xFAFF},
                                   {0xFE30, 0xFE4F}, {0xFF00, 0xFFEF}};
  Mismatches m;
  for (uint32_t u = 0; u < 0x10000; ++u) {
    uint32_t expected = 0;
    for (auto &range : plausible)
      if (u >= range[0] && u <= range[1]) expected = 3;
    m.check(u, class_words[u], expected);
  }
  EXPECT_TRUE(m.none()) << m.report();
  EXPECT_EQ(class_words[0x3042] & 3, 3u);
  EXPECT_EQ(class_words[0xFF5E] & 3, 3u);
  for (uint32_t u : {0xD800, 0xE000, 0xFFFE, 0xFFFF})
    EXPECT_EQ(class_words[u], 0u);
}

}  // namespace
