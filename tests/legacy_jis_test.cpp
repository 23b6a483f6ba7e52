// ISO-2022-JP source converters: the one lenient decoder's escape
// sequences, SO/SI runs and pairing rule, and each target's writing.
#include <gtest/gtest.h>

#include <string>

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
const char *const kTargets[] = {"jis euc", "jis sjis", "jis unibe", "jis unile",
                                "jis utf8"};

TEST(JisConvert, KatakanaModeAndRuns) {
  check_rows({
      // Three names for the two-byte set, three for ASCII.
      {"jis sjis", "1B2440 3021 1B284A 41 1B244A 3021 1B2848 41 1B2442 3021",
       "889F 41 889F 41 889F"},
      {"jis sjis", "1B2849 31", "B1"},
      {"jis euc", "1B2849 31", "8EB1"},
      {"jis unibe", "1B2849 31", "FF71"},
      // The ends of the range, and a byte outside it (replaced uncounted).
      {"jis utf8", "1B2849 21 5F 60", "EFBDA1 EFBE9F 3F"},
      {"jis sjis", "0E 31 32 0F 41", "B1 B2 41"},
      {"jis unibe", "0E 31 32 0F 41", "FF71 FF72 0041"},
      // A byte that ends a run unasked is replaced; the run is then over.
      {"jis sjis", "0E 31 0A 31", "B1 3F 31"},
      // A run never spans an escape sequence: the ESC is what ends it.
      {"jis sjis", "0E 31 1B2442 3021", "B1 3F 24 42 30 21"},
      // A source that ends inside a run is complete.
      {"jis euc", "0E 31", "8EB1"},
      // A control byte is never half of a pair: SO in two-byte mode starts
      // a run as in ASCII mode.
      {"jis unibe", "1B2442 0E21", "FF61"},
  });
}

TEST(JisConvert, UnrecognisedEscapeBytesAreText) {
  check_rows({
      // JIS X 0212: ESC $ copied, then "( D ! !" read as ASCII.
      {"jis sjis", "1B2428442121", "1B2428442121"},
      {"jis euc", "1B4142", "1B4142"},
      {"jis sjis", "1B4142", "1B4142"},
      {"jis utf8", "1B4142", "1B4142"},
      {"jis unibe", "1B4142", "001B 0041 0042"},
      {"jis unile", "1B4142", "1B00 4100 4200"},
      // ESC ( with another final byte: two bytes copied, the final read as
      // text of the current mode (two-byte mode: 30 21 is a pair).
      {"jis unibe", "1B2442 1B2830 21", "001B 0028 4E9C"},
      // A sequence cut by the end of the source is copied, in any mode.
      {"jis euc", "41 1B", "41 1B"},
      {"jis sjis", "41 1B24", "41 1B24"},
      {"jis utf8", "41 1B24", "41 1B24"},
      {"jis unile", "1B2442 3021 1B28", "9C4E 1B00 2800"},
  });
}

TEST(JisConvert, PairsInTwoByteMode) {
  check_rows({
      // An odd byte before an escape sequence or a line end is replaced
      // alone; what follows it is read as usual.
      {"jis sjis", "1B2442 3021 30 1B2842 0A", "889F 3F 0A", 1, 5, 0x30},
      {"jis euc", "1B2442 30 0A 3021", "3F 0A B0A1", 1, 3, 0x30},
      // A first byte 00 is a control byte as in ASCII mode, not half a
      // pair (the Unicode targets replace and record it).
      {"jis euc", "1B2442 00 3021", "00 B0A1"},
      {"jis unibe", "1B2442 0000 2129", "003F 003F FF1F", 2, 3, 0, 0, -1, 4, 0},
      // Unmapped pairs are recorded with their JIS code, also when only
      // the target lacks them (2D 21 is not in common EUC-JP).
      {"jis unibe", "1B2442 3021 307F 3021", "4E9C 003F 4E9C", 1, 5, 0x307F},
      {"jis euc", "1B2442 2D21", "3F", 1, 3, 0x2D21},
      // 21 41 reads as U+FF5E: Shift_JIS 81 60, no common EUC-JP code.
      {"jis sjis", "1B2442 2141", "8160"},
      {"jis unibe", "1B2442 2141", "FF5E"},
      {"jis euc", "1B2442 2141", "3F", 1, 3, 0x2141},
      // A pair cut by the end of the source; the next call starts in
      // ASCII mode again.
      {"jis sjis", "1B2442 30", "", 0, -1, -1, kCut, 3},
      {"jis unile", "1B2442 30", "", 0, -1, -1, kCut, 3},
      {"jis sjis", "3021", "3021"},
  });
}

TEST(JisConvert, AsciiModeBytes) {
  check_rows({
      // "?" is the character and not counted; 80 and 7F are replaced
      // without being counted.
      // 00: copied to the byte targets, replaced and recorded in Unicode.
      {"jis euc", "3F 80 7F 00", "3F 3F 3F 00"},
      {"jis sjis", "3F 80 7F 00", "3F 3F 3F 00"},
      {"jis unibe", "3F 80 7F 00", "003F 003F 003F 003F", 1, 3, 0},
      {"jis unile", "3F 80 7F 00", "3F00 3F00 3F00 3F00", 1, 3, 0},
      {"jis utf8", "3F 80 7F 00", "3F 3F 3F 3F", 1, 3, 0},
      // SI outside a run, and every control byte, is text.
      {"jis sjis", "0F 09 0D 0A", "0F 09 0D 0A"},
  });
}

TEST(JisConvert, LongMixedTextKeepsItsModesAcrossChunks) {
  // Long enough for the frame to take it in several chunks, with modes and
  // a katakana run open at arbitrary chunk borders.
  Bytes src, sjis;
  for (int i = 0; i < 3000; ++i) {
    src = src + hex("41 0E310F 1B2442 3021 1B2849 32 1B2842");
    sjis = sjis + hex("41 B1 889F B2");
  }
  const Result r = convert("jis sjis", src);
  EXPECT_EQ(r.status, kOk);
  EXPECT_EQ(r.out, sjis);
}

}  // namespace
