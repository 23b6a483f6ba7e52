// Shift_JIS source converters: characters by target, unmapped codes and
// their records, cut last characters, the ISO-2022-JP writer's modes, and
// tables taken from the handle.
#include <gtest/gtest.h>

#include "legacy_convert.h"

namespace {

using legacy::Bytes;
using legacy::check_rows;
using legacy::convert;
using legacy::hex;
using legacy::Result;
using legacy::operator+;

const int32_t kOk = KMV_SUCCESS;
const int32_t kCut = KMV_EUEXPEOD;

TEST(SjisConvert, CharactersByTarget) {
  check_rows({
      // Half-width katakana, both ends of the range; 81 60 is WAVE DASH,
      // not the full-width tilde; 81 48 the full-width "?". 00 is copied
      // to the byte targets and becomes "?" in Unicode; "?" is never
      // counted.
      {"sjis euc", "B1 8160 8148 00 3F", "8EB1 A1C1 A1A9 00 3F"},
      {"sjis jis", "00 3F B1 8148", "00 3F 1B2849 31 1B2442 2129 1B2842"},
      {"sjis unibe", "B1 8160 00 3F", "FF71 301C 003F 003F"},
      {"sjis unile", "A1 DF 3F", "61FF 9FFF 3F00"},
      {"sjis utf8", "B1 00", "EFBDB1 3F"},
      // A Shift_JIS source has no mark: EF BB is an unassigned pair.
      {"sjis utf8", "EFBB", "3F", 1, 0, 0xEFBB},
  });
}

TEST(SjisConvert, UnmappedCodesAreRecordedWithTheSourceCode) {
  check_rows({
      // ED 40 is code page 932's NEC-selected copy of FA 5C: no mapping.
      {"sjis euc", "41 ED40", "41 3F", 1, 1, 0xED40},
      {"sjis jis", "41 ED40", "41 1B2442 2129 1B2842", 1, 1, 0xED40},
      {"sjis unibe", "41 ED40", "0041 003F", 1, 1, 0xED40},
      {"sjis unile", "41 ED40", "4100 3F00", 1, 1, 0xED40},
      {"sjis utf8", "ED40 ED41", "3F 3F", 2, 0, 0xED40, kOk, -1, 2, 0xED41},
      // 87 40 (circled one) maps to Unicode but not to common EUC-JP;
      // 81 CA (U+FFE2) does, through an extra entry.
      {"sjis euc", "8740 81CA 8741", "3F A2CC 3F", 2, 0, 0x8740, kOk, -1, 4,
       0x8741},
  });
}

TEST(SjisConvert, CutLastCharacterKeepsThePrefixAndItsRecords) {
  check_rows({
      {"sjis euc", "82A0 82", "A4A2", 0, -1, -1, kCut, 2},
      // The prefix keeps the mode of its last character: no ESC ( B.
      {"sjis jis", "82A0 82", "1B2442 2422", 0, -1, -1, kCut, 2},
      {"sjis unibe", "82A0 82", "3042", 0, -1, -1, kCut, 2},
      {"sjis unile", "82A0 82", "4230", 0, -1, -1, kCut, 2},
      {"sjis utf8", "82A0 82", "E38182", 0, -1, -1, kCut, 2},
      {"sjis jis", "88", "", 0, -1, -1, kCut, 0},
      {"sjis unibe", "ED40 41 88", "003F 0041", 1, 0, 0xED40, kCut, 3},
      {"sjis unile", "88", "", 0, -1, -1, kCut, 0},
  });
}

TEST(SjisToJis, DesignatesOnlyOnModeChanges) {
  check_rows({
      {"sjis jis", "889F", "1B2442 3021 1B2842"},
      // One designation for both kanji; back to ASCII before the LF.
      {"sjis jis", "889F 889F 0A", "1B2442 3021 3021 1B2842 0A"},
      // Katakana to kanji directly, without passing through ASCII.
      {"sjis jis", "B1 889F", "1B2849 31 1B2442 3021 1B2842"},
      // NEC row 13 and IBM extensions (FA 5C = U+7E8A) are two-byte codes.
      {"sjis jis", "8740 FA5C", "1B2442 2D21 7921 1B2842"},
      // ASCII only, ESC SO SI included: the text itself.
      {"sjis jis", "61 1B 0E 0F 7E 5C", "61 1B 0E 0F 7E 5C"},
  });
}

TEST(SjisToJis, OutputFarLongerThanTheSourceGrowsSafely) {
  // Katakana and kanji alternating: 3 bytes in, 9 out, 5000 times.
  Bytes src, expected;
  for (int i = 0; i < 5000; ++i) {
    src = src + hex("B1 889F");
    expected = expected + hex("1B2849 31 1B2442 3021");
  }
  const Result r = convert("sjis jis", src);
  EXPECT_EQ(r.status, KMV_SUCCESS);
  EXPECT_EQ(r.out, expected + hex("1B2842"));
}

TEST(SjisConvert, TablesComeFromTheHandle) {
  kmv_handle *h = create_kmv();
  // A table that ends before the kanji of row 89: they become unmapped.
  h->sjis2unibe_table_size = 0x8900;
  Result r = convert("sjis unibe", hex("889F 899F"), h);
  EXPECT_EQ(r.out, hex("4E9C 003F"));
  EXPECT_EQ(r.err_first_code, 0x899F);
  // No table at all: even ASCII has no value for the Unicode targets.
  h->sjis2unibe_table = nullptr;
  h->sjis2unibe_table_size = 0;
  r = convert("sjis utf8", hex("41 B1"), h);
  EXPECT_EQ(r.out, hex("3F 3F"));
  EXPECT_EQ(r.err_count, 0u);
  // The EUC-JP target writes through the four-byte slot when it is set:
  // circled one of the NEC row, small roman one of the IBM codes.
  h->sjis2unibe_table = sjis2unibe932_table;
  h->sjis2unibe_table_size = sjis2unibe932_table_size;
  h->unibe2euc_table4 = unibe2eucms_table;
  h->unibe2euc_table4_size = unibe2eucms_table_size;
  r = convert("sjis euc", hex("8740 FA40"), h);
  EXPECT_EQ(r.out, hex("ADA1 8FF3F3"));
  release_kmv(h);
}

}  // namespace
