// Real Japanese texts through every Shift_JIS, EUC-JP and ISO-2022-JP
// converter, against the output make_vectors.py works out with Python's
// codecs. Where the library maps differently from those codecs by design,
// the script makes the difference (and says why):
//  - Shift_JIS 81 60 and EUC-JP A1 C1 read as U+301C WAVE DASH, where cp932
//    says U+FF5E; ISO-2022-JP 21 41 reads as U+FF5E, where iso2022_jp says
//    U+301C.
//  - Code page 932 duplicates (NEC row 13 copies, NEC-selected IBM
//    extensions ED40-EEFC) have no mapping; cp932 reads them.
//  - EUC-JP 8F A2 B7 (JIS X 0212 tilde) has no mapping in the code page
//    20932 variant; euc_jp reads it as U+007E. Code page 51932 and the
//    common variant have no JIS X 0212 at all; eucJP-ms moves 8F A2 B7 and
//    8F A2 C3 to U+FF5E and U+FFE4 and adds the IBM extensions at 8F F3F3.
#include <gtest/gtest.h>

#include <set>
#include <string>

#include "legacy_convert.h"

namespace {

TEST(LegacyOracle, EveryConverterMatchesTheOracleOnRealText) {
  const legacy::Vectors &v = legacy::vectors();
  ASSERT_GE(v.cases.size(), 140u) << "vectors.txt not found or incomplete";
  std::set<std::string> seen;
  for (const legacy::Case &c : v.cases) {
    const legacy::Source &s = v.sources.at(c.source);
    const std::string from_to = s.family + " " + c.target;
    SCOPED_TRACE(c.source + " to " + c.target + " " + c.dst_variant);
    seen.insert(from_to + (s.family == "euc" ? " " + s.variant : "") +
                (c.target == "euc" ? " " + c.dst_variant : ""));
    kmv_handle *h = create_kmv();
    if (s.family == "euc") legacy::select_euc_decoding(h, s.variant);
    if (c.target == "euc") legacy::select_euc_encoding(h, c.dst_variant);
    const legacy::Result r = legacy::convert(from_to, s.bytes, h);
    release_kmv(h);
    EXPECT_EQ(r.status, KMV_SUCCESS);
    EXPECT_EQ(r.out, c.expected);
    EXPECT_EQ(r.err_count, c.err_count);
    EXPECT_EQ(r.err_first, c.first_offset);
    EXPECT_EQ(r.err_first_code, c.first_code);
    EXPECT_EQ(r.err_last, c.last_offset);
    EXPECT_EQ(r.err_last_code, c.last_code);
  }
  // Every converter once per EUC-JP variant it reads or writes: eight
  // from Shift_JIS, eight from ISO-2022-JP, four times nine from EUC-JP.
  EXPECT_EQ(seen.size(), 8u + 8u + 36u);
}

// The byte-order marks of the Unicode targets, before real text and alone.
TEST(LegacyOracle, MarksPrecedeTheSameText) {
  using legacy::operator+;
  const legacy::Source &s = legacy::vectors().sources.at("prose_sjis");
  const struct {
    const char *target, *mark;
  } marks[] = {{"unibe", "FEFF"}, {"unile", "FFFE"}, {"utf8", "EFBBBF"}};
  for (const auto &m : marks) {
    for (const char *family : {"sjis ", "jis "}) {
      const std::string name = family + std::string(m.target);
      EXPECT_EQ(legacy::convert(name, {}, nullptr, 1).out, legacy::hex(m.mark));
    }
    const std::string name = std::string("sjis ") + m.target;
    EXPECT_EQ(legacy::convert(name, s.bytes, nullptr, 1).out,
              legacy::hex(m.mark) + legacy::convert(name, s.bytes).out);
  }
}

TEST(LegacyOracle, EmptySourceGivesAnEmptyBuffer) {
  for (const auto &[name, fn] : legacy::converters()) {
    (void)fn;
    const legacy::Result r = legacy::convert(name, {});
    EXPECT_EQ(r.status, KMV_SUCCESS) << name;
    EXPECT_FALSE(r.out_null) << name;
    EXPECT_TRUE(r.out.empty()) << name;
  }
}

}  // namespace
