// The mapping tables: counts, inverse pairs, the code points on which the
// code pages disagree, and the decoding tables against the mapping data.
#include <gtest/gtest.h>

#include <cstdint>
#include <fstream>
#include <map>
#include <set>
#include <sstream>
#include <string>

#include "kmv.h"

namespace {

// A table read the way the library reads it: an index at or beyond the
// count is no mapping.
struct View {
  const uint16_t *narrow = nullptr;
  const uint32_t *wide = nullptr;
  uint64_t size = 0;
  View() = default;
  View(const uint16_t *t, uint64_t n) : narrow(t), size(n) {}
  View(const uint32_t *t, uint64_t n) : wide(t), size(n) {}
  uint32_t operator[](uint32_t index) const {
    if (index >= size) return 0;
    return wide ? wide[index] : narrow[index];
  }
};

#define VIEW(name) View(name, name##_size)

// clang-format off
const View sjis = VIEW(sjis2unibe932_table), jis = VIEW(jis2unibe50221_table),
    euc_common = VIEW(euc2unibecommon_table00),
    euc20932 = VIEW(euc2unibe20932_table00),
    euc20932_8f = VIEW(euc2unibe20932_table8f),
    euc51932 = VIEW(euc2unibe51932_table00), eucms = VIEW(euc2unibems_table00),
    eucms_8f = VIEW(euc2unibems_table8f), to_sjis = VIEW(unibe2sjis932_table),
    to_jis = VIEW(unibe2jis50221_table),
    to_euc_common = VIEW(unibe2euccommon_table),
    to_euc20932 = VIEW(unibe2euc20932_table),
    to_euc51932 = VIEW(unibe2euc51932_table), to_eucms = VIEW(unibe2eucms_table),
    class_words = VIEW(unibe_def_table);
// clang-format on

// A broken rule shows in thousands of entries: a few examples are enough.
struct Mismatches {
  int left = 8;
  void check(uint32_t index, uint32_t actual, uint32_t expected) {
    if (actual != expected && left-- > 0)
      ADD_FAILURE() << std::hex << "at 0x" << index << ": 0x" << actual
                    << ", expected 0x" << expected;
  }
};

std::map<uint32_t, uint32_t> read_mapping(const std::string &file) {
  std::ifstream in(std::string(KMV_TABLES_DATA_DIR) + "/" + file);
  EXPECT_TRUE(in) << file;
  std::map<uint32_t, uint32_t> map;
  std::string line;
  uint32_t code = 0, unicode = 0;
  while (std::getline(in, line))
    if (!line.empty() && line[0] != '#' &&
        std::istringstream(line) >> std::hex >> code >> unicode)
      map[code] = unicode;
  return map;
}

uint32_t cp932_at(uint32_t code) {
  static const auto cp932 = read_mapping("cp932.txt");
  auto found = cp932.find(code);
  return found == cp932.end() ? 0 : found->second;
}

// CP932 value of the character at a JIS row/cell code, by row (ku) and
// cell (ten) rather than by the byte arithmetic the generator uses.
uint32_t cp932_of_jis(uint32_t code) {
  const uint32_t ku = (code >> 8) - 0x20, ten = (code & 0xFF) - 0x20;
  const uint32_t lead = (ku - 1) / 2 + (ku <= 62 ? 0x81 : 0xC1);
  const uint32_t trail = ku % 2 ? ten + 0x3F + (ten >= 64) : ten + 0x9E;
  return cp932_at(lead << 8 | trail);
}

bool one_of(uint32_t value, std::initializer_list<uint32_t> values) {
  return std::set<uint32_t>(values).count(value) != 0;
}

TEST(Tables, EntryCountsAndSharedAliases) {
  struct Row {
    const char *name;
    View view;
    const void *table, *alias;
    const uint64_t *alias_size;
    uint64_t entries, nonzero;
  };
#define ROW(t, v, n, nz) \
  { #t, v, t, _##t, &_##t##_size, n, nz }
  // clang-format off
  const Row rows[] = {
      ROW(sjis2unibe932_table, sjis, 64588, 9396),
      ROW(jis2unibe50221_table, jis, 31871, 7453),
      ROW(euc2unibecommon_table00, euc_common, 62631, 7064),
      ROW(euc2unibe20932_table00, euc20932, 62631, 7069),
      ROW(euc2unibe20932_table8f, euc20932_8f, 60900, 6066),
      ROW(euc2unibe51932_table00, euc51932, 64767, 7516),
      ROW(euc2unibems_table00, eucms, 65279, 8113),
      ROW(euc2unibems_table8f, eucms_8f, 65279, 7099),
      ROW(unibe2sjis932_table, to_sjis, 65510, 9402),
      ROW(unibe2jis50221_table, to_jis, 65510, 7455),
      ROW(unibe2euccommon_table, to_euc_common, 65510, 7068),
      ROW(unibe2euc20932_table, to_euc20932, 65510, 13140),
      ROW(unibe2euc51932_table, to_euc51932, 65510, 7517),
      ROW(unibe2eucms_table, to_eucms, 65510, 15212),
      ROW(unibe_def_table, class_words, 65536, 35263)};
  // clang-format on
  for (const Row &t : rows) {
    uint64_t nonzero = 0;
    for (uint32_t i = 0; i < t.entries; ++i) nonzero += t.view[i] != 0;
    EXPECT_EQ(t.view.size, t.entries) << t.name;
    EXPECT_EQ(nonzero, t.nonzero) << t.name;
    EXPECT_EQ(t.alias, t.table) << t.name;  // one object, not a copy
    EXPECT_EQ(*t.alias_size, t.entries) << t.name;
  }
}

// The encoding side is the inverse of the decoding side (two-byte table
// and, for the 32-bit encoders, the 0x8F table), apart from the listed
// additions and decodings that are deliberately not encoded.
TEST(Tables, EncodersInvertDecodersApartFromTheirAdditions) {
  using Additions = std::map<uint32_t, uint32_t>;  // UTF-16 -> code
  const Additions fullwidth = {
      {0xFF0D, 0xA1DD}, {0xFFE0, 0xA1F1}, {0xFFE1, 0xA1F2}, {0xFFE2, 0xA2CC}};
  Additions fullwidth_and_broken_bar = fullwidth;
  fullwidth_and_broken_bar[0xFFE4] = 0x8FA2C3;
  struct Pair {
    View two_byte, three_byte, encode;
    Additions additions;
    uint32_t not_encoded;
  };
  // clang-format off
  const Pair pairs[] = {
      {sjis, {}, to_sjis, {{0xFF5E, 0x8160}, {0x0080, 0x80}, {0xF8F0, 0xA0},
                           {0xF8F1, 0xFD}, {0xF8F2, 0xFE}, {0xF8F3, 0xFF}}, 0},
      {jis, {}, to_jis, {{0x301C, 0x2141}, {0x203E, 0x7E}}, 0},
      {euc_common, {}, to_euc_common, fullwidth, 0},
      {euc20932, euc20932_8f, to_euc20932, fullwidth_and_broken_bar, 0},
      {euc51932, {}, to_euc51932, {{0xFF5E, 0xA1C1}}, 0},
      {eucms, eucms_8f, to_eucms, {{0xFF5E, 0xA1C1}}, 0x8FA2B7}};
  // clang-format on
  for (const Pair &p : pairs) {
    SCOPED_TRACE(testing::Message() << "pair " << &p - pairs);
    Mismatches encoded, decoded;  // by direction
    for (uint32_t prefix : {0u, 0x8F0000u}) {
      const View &side = prefix ? p.three_byte : p.two_byte;
      for (uint32_t i = 0; i < side.size; ++i)
        if (side[i] != 0 && (prefix | i) != p.not_encoded)
          encoded.check(side[i], p.encode[side[i]], prefix | i);
    }
    for (uint32_t unicode = 0; unicode < 0x10000; ++unicode) {
      const uint32_t code = p.encode[unicode];
      const auto added = p.additions.find(unicode);
      const View &side = code > 0xFFFF ? p.three_byte : p.two_byte;
      if (added != p.additions.end())
        encoded.check(unicode, code, added->second);
      else if (code != 0 && (code <= 0xFFFF || code >> 16 == 0x8F))
        decoded.check(code, side[code & 0xFFFF], unicode);
      else
        encoded.check(unicode, code, 0);
    }
  }
}

bool is_duplicate(uint32_t sjis_code) {
  return one_of(sjis_code,
                {0x8790, 0x8791, 0x8792, 0x8795, 0x8796, 0x8797, 0x879A, 0x879B,
                 0x879C, 0xFA54, 0xFA58, 0xFA59, 0xFA5A, 0xFA5B}) ||
         (sjis_code >= 0xED40 && sjis_code <= 0xEEFC) ||
         (sjis_code >= 0xFA4A && sjis_code <= 0xFA53);
}

// What jis2unibe50221_table holds at a JIS code (or a single byte).
uint32_t jis_value(uint32_t code) {
  const uint32_t ku = (code >> 8) - 0x20, ten = (code & 0xFF) - 0x20;
  if (code < 0x80) return code;
  if (code < 0x2121 || code > 0x7E7E || ten < 1 || ten > 94) return 0;
  if (one_of(code, {0x2D70, 0x2D71, 0x2D72, 0x2D75, 0x2D76, 0x2D77, 0x2D7A,
                    0x2D7B, 0x2D7C, 0x7C7B}))
    return 0;
  const bool row =
      ku <= 8 || ku == 13 || (ku >= 16 && ku <= 84) || (ku >= 89 && ku <= 92);
  return row ? cp932_of_jis(code) : 0;
}

// Every index of the Shift_JIS, JIS and one- and two-byte EUC-JP decoders.
// Code page 20932 reads the disputed codes its own way (the EUC-JP variant
// pairs in legacy_convert_test check them).
TEST(Tables, DecodersFollowCp932) {
  Mismatches m;
  for (uint32_t i = 0; i < 0x10000; ++i) {
    uint32_t expected = i < 0x80 ? i : is_duplicate(i) ? 0 : cp932_at(i);
    if (i >= 0xA1 && i <= 0xDF) expected = 0xFF61 + i - 0xA1;
    m.check(i, sjis[i], i == 0x8160 ? 0x301C : expected);
    if (i < 0x8000) m.check(i, jis[i], jis_value(i));
    const uint32_t ku = (i >> 8) - 0xA0, ten = (i & 0xFF) - 0xA0;
    const bool two_byte = ku >= 1 && ku <= 94 && ten >= 1 && ten <= 94;
    uint32_t from_jis = two_byte ? jis_value(i - 0x8080) : 0;
    if (i < 0x80) from_jis = i;
    if (i >= 0x8EA1 && i <= 0x8EDF) from_jis = 0xFF61 + i - 0x8EA1;
    if (i == 0xA1C1) from_jis = 0x301C;
    const bool jis_x_0208 = !two_byte || ku <= 8 || (ku >= 16 && ku <= 84);
    const bool disputed = one_of(i, {0xA1C2, 0xA1DD, 0xA1F1, 0xA1F2, 0xA2CC});
    m.check(i, euc_common[i], jis_x_0208 && !disputed ? from_jis : 0);
    if (!disputed) m.check(i, euc20932[i], jis_x_0208 ? from_jis : 0);
    m.check(i, euc51932[i], from_jis);
    const bool c1 = i >= 0x80 && i <= 0x9F && i != 0x8E && i != 0x8F;
    const uint32_t pua = 0xE000 + (ku - 85) * 94 + ten - 1;
    m.check(i, eucms[i], c1 ? i : two_byte && ku >= 85 ? pua : from_jis);
  }
}

// The 0x8F tables hold JIS X 0212 (with a few changes), and eucJP-ms adds
// the IBM extensions it otherwise lacks, in Shift_JIS order, and a second
// user-defined area.
TEST(Tables, ThreeByteTablesFollowJisX0212) {
  const auto jisx0212 = read_mapping("jisx0212.txt");
  const std::map<uint32_t, uint32_t> ms_changes = {
      {0xA2B7, 0xFF5E}, {0xA2C3, 0xFFE4}, {0xA2F1, 0}};
  Mismatches m;
  uint32_t previous_sjis = 0xFA3F;
  for (uint32_t i = 0xA1A1; i < 0x10000; ++i) {
    const auto found = jisx0212.find(i - 0x8080);
    const uint32_t unicode = found == jisx0212.end() ? 0 : found->second;
    m.check(i, euc20932_8f[i], i == 0xA2B7 ? 0 : unicode);
    const auto change = ms_changes.find(i);
    uint32_t ms = change == ms_changes.end() ? unicode : change->second;
    const uint32_t row = i >> 8, cell = i & 0xFF;
    if (row >= 0xF5 && row <= 0xFE && cell >= 0xA1 && cell <= 0xFE)
      ms = 0xE3AC + (row - 0xF5) * 94 + cell - 0xA1;
    const bool ibm_place = (i >= 0xF3F3 && i <= 0xF3FC) || i == 0xF4A9 ||
                           i == 0xF4AA || (i >= 0xF4AE && i <= 0xF4FE);
    if (!ibm_place) {
      m.check(i, eucms_8f[i], ms);
      continue;
    }
    const uint32_t sjis_code = to_sjis[eucms_8f[i]];
    EXPECT_TRUE(sjis_code > previous_sjis && sjis_code <= 0xFC4B) << i;
    previous_sjis = sjis_code;
  }
  EXPECT_EQ(eucms_8f[0xF3F3], 0x2170u);
  EXPECT_EQ(eucms_8f[0xF4A9], 0xFF07u);
  for (uint32_t code = 0xFA40; code <= 0xFC4B; ++code)
    EXPECT_TRUE(cp932_at(code) == 0 || to_eucms[cp932_at(code)] != 0) << code;
  EXPECT_EQ(to_eucms[0xE757], 0x8FFEFEu);
  EXPECT_EQ(to_eucms[0x0085], 0x85u);  // C1 controls but the two prefixes
  EXPECT_EQ(to_eucms[0x008E], 0u);
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
}

}  // namespace
