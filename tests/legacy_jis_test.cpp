// ISO-2022-JP source converters: the one lenient decoder's escape
// sequences, SO/SI runs and pairing rule, and each target's writing.
#include <gtest/gtest.h>

#include "legacy_convert.h"

namespace {

TEST(JisConvert, CaseTable) {
  legacy::check_rows("convert2/jis_cases.txt");
}

TEST(JisConvert, LongMixedTextKeepsItsModesAcrossChunks) {
  // Long enough for the frame to take it in several chunks, with modes and
  // a katakana run open at arbitrary chunk borders.
  const legacy::Result r = legacy::convert(
      "jis sjis",
      testdata::repeat("41 0E310F 1B2442 3021 1B2849 32 1B2842", 3000));
  EXPECT_EQ(r.status, KMV_SUCCESS);
  EXPECT_EQ(r.out, testdata::repeat("41 B1 889F B2", 3000));
}

}  // namespace
