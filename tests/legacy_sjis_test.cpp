// Shift_JIS source converters: characters by target, unmapped codes and
// their records, cut last characters, the ISO-2022-JP writer's modes, and
// tables taken from the handle.
#include <gtest/gtest.h>

#include "legacy_convert.h"

namespace {

using legacy::convert;
using legacy::hex;
using legacy::Result;
using legacy::operator+;

TEST(SjisConvert, CaseTable) {
  legacy::check_rows("convert2/sjis_cases.txt");
}

TEST(SjisToJis, OutputFarLongerThanTheSourceGrowsSafely) {
  // Katakana and kanji alternating: 3 bytes in, 9 out, 5000 times.
  const Result r = convert("sjis jis", testdata::repeat("B1 889F", 5000));
  EXPECT_EQ(r.status, KMV_SUCCESS);
  EXPECT_EQ(r.out,
            testdata::repeat("1B2849 31 1B2442 3021", 5000) + hex("1B2842"));
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
