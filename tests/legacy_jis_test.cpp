// ISO-2022-JP source converters: the one lenient decoder's escape
// sequences, SO/SI runs and pairing rule, and each target's writing.
#include <gtest/gtest.h>

#include <string>

#include "legacy_convert.h"

namespace {

using legacy::bytes;
using legacy::Bytes;
using legacy::convert;
using legacy::join;
using legacy::Result;

const char *const kTargets[] = {"jis euc", "jis sjis", "jis unibe", "jis unile",
                                "jis utf8"};
const char *const kByteTargets[] = {"jis euc", "jis sjis", "jis utf8"};

TEST(JisConvert, SevenEscapeSequences) {
  for (const char *to : kTargets) {
    SCOPED_TRACE(to);
    const Bytes kanji = convert(to, bytes({0x1B, 0x24, 0x42, 0x30, 0x21})).out;
    for (int final_byte : {0x40, 0x4A}) {
      EXPECT_EQ(convert(to, bytes({0x1B, 0x24, final_byte, 0x30, 0x21})).out,
                kanji);
    }
    // Each of the ASCII designations ends the two-byte mode.
    for (int final_byte : {0x42, 0x4A, 0x48}) {
      const Result r =
          convert(to, bytes({0x1B, 0x24, 0x42, 0x1B, 0x28, final_byte, 0x41}));
      EXPECT_EQ(r.out, convert(to, bytes({0x41})).out);
    }
  }
}

TEST(JisConvert, KatakanaModeAndRuns) {
  const Bytes mode = bytes({0x1B, 0x28, 0x49, 0x31});
  EXPECT_EQ(convert("jis sjis", mode).out, bytes({0xB1}));
  EXPECT_EQ(convert("jis euc", mode).out, bytes({0x8E, 0xB1}));
  EXPECT_EQ(convert("jis unibe", mode).out, bytes({0xFF, 0x71}));
  EXPECT_EQ(convert("jis utf8", mode).out, bytes({0xEF, 0xBD, 0xB1}));
  // The ends of the range, and a byte outside it (replaced, not counted).
  Result r = convert("jis utf8", bytes({0x1B, 0x28, 0x49, 0x21, 0x5F, 0x60}));
  EXPECT_EQ(r.out, bytes({0xEF, 0xBD, 0xA1, 0xEF, 0xBE, 0x9F, 0x3F}));
  EXPECT_EQ(r.err_count, 0u);

  const Bytes run = bytes({0x0E, 0x31, 0x32, 0x0F, 0x41});
  EXPECT_EQ(convert("jis sjis", run).out, bytes({0xB1, 0xB2, 0x41}));
  EXPECT_EQ(convert("jis unibe", run).out,
            bytes({0xFF, 0x71, 0xFF, 0x72, 0x00, 0x41}));
  // A byte that ends a run unasked is replaced; the run is then over.
  r = convert("jis sjis", bytes({0x0E, 0x31, 0x0A, 0x31}));
  EXPECT_EQ(r.out, bytes({0xB1, 0x3F, 0x31}));
  EXPECT_EQ(r.err_count, 0u);
  // A run never spans an escape sequence: the ESC is the byte that ends it.
  EXPECT_EQ(
      convert("jis sjis", bytes({0x0E, 0x31, 0x1B, 0x24, 0x42, 0x30, 0x21}))
          .out,
      bytes({0xB1, 0x3F, 0x24, 0x42, 0x30, 0x21}));
  // A source that ends inside a run is complete.
  EXPECT_EQ(convert("jis euc", bytes({0x0E, 0x31})).status, KMV_SUCCESS);
  // SO means nothing in two-byte mode: 0E 21 is a pair like any other.
  r = convert("jis unibe", bytes({0x1B, 0x24, 0x42, 0x0E, 0x21}));
  EXPECT_EQ(r.out, bytes({0x00, 0x3F}));
  EXPECT_EQ(r.err_first_code, 0x0E21);
}

TEST(JisConvert, UnrecognisedEscapeBytesAreText) {
  // A JIS X 0212 designation: ESC $ copied, then "( D ! !" as ASCII.
  const Bytes x0212 = bytes({0x1B, 0x24, 0x28, 0x44, 0x21, 0x21});
  EXPECT_EQ(convert("jis sjis", x0212).out, x0212);
  const Bytes other = bytes({0x1B, 0x41, 0x42});
  for (const char *to : kByteTargets) {
    EXPECT_EQ(convert(to, other).out, other) << to;
    EXPECT_EQ(convert(to, other).err_count, 0u) << to;
  }
  EXPECT_EQ(convert("jis unibe", other).out,
            bytes({0x00, 0x1B, 0x00, 0x41, 0x00, 0x42}));
  EXPECT_EQ(convert("jis unile", other).out,
            bytes({0x1B, 0x00, 0x41, 0x00, 0x42, 0x00}));
  // ESC ( with another final byte: two bytes copied, the final read as text
  // of the current mode (here two-byte mode, where 30 21 is a pair).
  const Result r =
      convert("jis unibe", bytes({0x1B, 0x24, 0x42, 0x1B, 0x28, 0x30, 0x21}));
  EXPECT_EQ(r.out, bytes({0x00, 0x1B, 0x00, 0x28, 0x4E, 0x9C}));
}

TEST(JisConvert, CutEscapeAtTheEndIsCopied) {
  for (const Bytes &tail : {bytes({0x1B}), bytes({0x1B, 0x24})}) {
    const Bytes src = join(bytes({0x41}), tail);
    for (const char *to : kByteTargets) {
      const Result r = convert(to, src);
      EXPECT_EQ(r.status, KMV_SUCCESS) << to;
      EXPECT_EQ(r.out, src) << to;
    }
  }
  // In two-byte mode too, and UTF-16 gets one unit per copied byte.
  const Result r =
      convert("jis unile", bytes({0x1B, 0x24, 0x42, 0x30, 0x21, 0x1B, 0x28}));
  EXPECT_EQ(r.status, KMV_SUCCESS);
  EXPECT_EQ(r.out, bytes({0x9C, 0x4E, 0x1B, 0x00, 0x28, 0x00}));
}

TEST(JisConvert, PairsTakeAnySecondByte) {
  // An odd byte before an escape sequence pairs with its ESC; the sequence
  // is then read as text of two-byte mode, and a lone last byte is a cut
  // character.
  const Bytes src =
      bytes({0x1B, 0x24, 0x42, 0x30, 0x21, 0x30, 0x1B, 0x28, 0x42, 0x0A});
  const Result r = convert("jis sjis", src);
  EXPECT_EQ(r.status, KMV_EUEXPEOD);
  EXPECT_EQ(r.out, bytes({0x88, 0x9F, 0x3F, 0x3F}));
  EXPECT_EQ(r.err_pos, 9);
  EXPECT_EQ(r.err_count, 2u);
  EXPECT_EQ(r.err_first, 5);
  EXPECT_EQ(r.err_first_code, 0x301B);
  EXPECT_EQ(r.err_last, 7);
  EXPECT_EQ(r.err_last_code, 0x2842);
  // A first byte 00 lands in the single-byte part of the table.
  EXPECT_EQ(convert("jis utf8", bytes({0x1B, 0x24, 0x42, 0x00, 0x41})).out,
            bytes({0x41}));
  // Only the pair 00 3F is a "?" that is not counted.
  const Result q =
      convert("jis euc", bytes({0x1B, 0x24, 0x42, 0x00, 0x3F, 0x21, 0x29}));
  EXPECT_EQ(q.out, bytes({0x3F, 0xA1, 0xA9}));
  EXPECT_EQ(q.err_count, 0u);
}

TEST(JisConvert, UnmappedPairsAreRecordedWithTheirCode) {
  const Bytes src =
      bytes({0x1B, 0x24, 0x42, 0x30, 0x21, 0x30, 0x7F, 0x30, 0x21});
  Result r = convert("jis unibe", src);
  EXPECT_EQ(r.out, bytes({0x4E, 0x9C, 0x00, 0x3F, 0x4E, 0x9C}));
  EXPECT_EQ(r.err_count, 1u);
  EXPECT_EQ(r.err_first, 5);
  EXPECT_EQ(r.err_first_code, 0x307F);
  // Mapped in JIS, missing in the target: still the JIS code (2D 21 is the
  // circled one, not in the common EUC-JP table).
  r = convert("jis euc", bytes({0x1B, 0x24, 0x42, 0x2D, 0x21}));
  EXPECT_EQ(r.out, bytes({0x3F}));
  EXPECT_EQ(r.err_first_code, 0x2D21);
  // 21 41 reads as U+FF5E: Shift_JIS 81 60, no common EUC-JP code.
  EXPECT_EQ(convert("jis sjis", bytes({0x1B, 0x24, 0x42, 0x21, 0x41})).out,
            bytes({0x81, 0x60}));
  EXPECT_EQ(convert("jis unibe", bytes({0x1B, 0x24, 0x42, 0x21, 0x41})).out,
            bytes({0xFF, 0x5E}));
  EXPECT_EQ(
      convert("jis euc", bytes({0x1B, 0x24, 0x42, 0x21, 0x41})).err_first_code,
      0x2141);
}

TEST(JisConvert, AsciiModeBytes) {
  for (const char *to : kTargets) {
    SCOPED_TRACE(to);
    // "?" is written as the character and not counted; 80 and 7F are
    // replaced without being counted.
    Result r = convert(to, bytes({0x3F, 0x80, 0x7F}));
    EXPECT_EQ(r.err_count, 0u);
    EXPECT_EQ(r.out, convert(to, bytes({0x3F, 0x3F, 0x3F})).out);
  }
  // 00: copied to the byte targets, replaced and recorded in Unicode.
  EXPECT_EQ(convert("jis euc", bytes({0x00})).out, bytes({0x00}));
  EXPECT_EQ(convert("jis sjis", bytes({0x00})).out, bytes({0x00}));
  for (const char *to : {"jis unibe", "jis unile", "jis utf8"}) {
    const Result r = convert(to, bytes({0x41, 0x00}));
    EXPECT_EQ(r.err_count, 1u) << to;
    EXPECT_EQ(r.err_first, 1) << to;
    EXPECT_EQ(r.err_first_code, 0) << to;
  }
  // SI outside a run, and every control byte, is text.
  const Bytes controls = bytes({0x0F, 0x09, 0x0D, 0x0A});
  EXPECT_EQ(convert("jis sjis", controls).out, controls);
}

TEST(JisConvert, CutPairAndState) {
  for (const char *to : kTargets) {
    const Result r = convert(to, bytes({0x1B, 0x24, 0x42, 0x30}));
    EXPECT_EQ(r.status, KMV_EUEXPEOD) << to;
    EXPECT_TRUE(r.out.empty()) << to;
    EXPECT_FALSE(r.out_null) << to;
    EXPECT_EQ(r.err_pos, 3) << to;
  }
  // Each call starts in ASCII mode whatever the previous one ended in.
  kmv_handle *h = create_kmv();
  convert("jis sjis", bytes({0x1B, 0x24, 0x42, 0x30, 0x21}), h);
  EXPECT_EQ(convert("jis sjis", bytes({0x30, 0x21}), h).out,
            bytes({0x30, 0x21}));
  // And the per-call record is cleared.
  convert("jis unibe", bytes({0x00, 0x00}), h);
  EXPECT_EQ(h->err_count, 2u);
  const Result clean = convert("jis unibe", bytes({0x41}), h);
  EXPECT_EQ(clean.err_count, 0u);
  EXPECT_EQ(clean.err_first, -1);
  EXPECT_EQ(clean.err_first_code, -1);
  EXPECT_EQ(clean.err_last_code, -1);
  release_kmv(h);
}

TEST(JisConvert, MarksAndEmptySource) {
  EXPECT_EQ(convert("jis unibe", {}, nullptr, 1).out, bytes({0xFE, 0xFF}));
  EXPECT_EQ(convert("jis unile", bytes({0x41}), nullptr, 1).out,
            bytes({0xFF, 0xFE, 0x41, 0x00}));
  EXPECT_EQ(convert("jis utf8", bytes({0x41}), nullptr, 1).out,
            bytes({0xEF, 0xBB, 0xBF, 0x41}));
  for (const char *to : kTargets) {
    const Result r = convert(to, {});
    EXPECT_EQ(r.status, KMV_SUCCESS);
    EXPECT_TRUE(r.out.empty());
  }
}

TEST(JisConvert, LongMixedTextKeepsItsModesAcrossChunks) {
  // Long enough for the frame to take it in several chunks, with modes
  // and a katakana run open at arbitrary chunk borders.
  Bytes src;
  Bytes sjis;
  for (int i = 0; i < 3000; ++i) {
    src = join(src, bytes({0x41, 0x0E, 0x31, 0x0F, 0x1B, 0x24, 0x42, 0x30, 0x21,
                           0x1B, 0x28, 0x49, 0x32, 0x1B, 0x28, 0x42}));
    sjis = join(sjis, bytes({0x41, 0xB1, 0x88, 0x9F, 0xB2}));
  }
  const Result r = convert("jis sjis", src);
  EXPECT_EQ(r.status, KMV_SUCCESS);
  EXPECT_EQ(r.out, sjis);
}

}  // namespace
