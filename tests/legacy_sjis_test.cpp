// Shift_JIS source converters, grouped by target: characters, the
// ISO-2022-JP writer's modes, replacement and recording, cut last
// characters, and the per-call state.
#include <gtest/gtest.h>

#include "legacy_convert.h"

namespace {

using legacy::bytes;
using legacy::Bytes;
using legacy::convert;
using legacy::join;
using legacy::Result;

const Bytes kToTwoByte = bytes({0x1B, 0x24, 0x42});
const Bytes kToKatakana = bytes({0x1B, 0x28, 0x49});
const Bytes kToAscii = bytes({0x1B, 0x28, 0x42});

void expect_clean(const Result &r) {
  EXPECT_EQ(r.status, KMV_SUCCESS);
  EXPECT_EQ(r.err_count, 0u);
  EXPECT_EQ(r.err_first, -1);
  EXPECT_EQ(r.err_last, -1);
  EXPECT_EQ(r.err_first_code, -1);
  EXPECT_EQ(r.err_last_code, -1);
  EXPECT_EQ(r.err_pos, -1);
  EXPECT_TRUE(r.src_top_is_src);
}

void expect_one_miss(const Result &r, int64_t at, int32_t code) {
  EXPECT_EQ(r.status, KMV_SUCCESS);
  EXPECT_EQ(r.err_count, 1u);
  EXPECT_EQ(r.err_first, at);
  EXPECT_EQ(r.err_last, at);
  EXPECT_EQ(r.err_first_code, code);
  EXPECT_EQ(r.err_last_code, code);
}

TEST(SjisConvert, HalfWidthKatakanaIsComputedOrLookedUp) {
  const Bytes kana = bytes({0xB1});
  EXPECT_EQ(convert("sjis euc", kana).out, bytes({0x8E, 0xB1}));
  EXPECT_EQ(convert("sjis jis", kana).out,
            join(join(kToKatakana, bytes({0x31})), kToAscii));
  EXPECT_EQ(convert("sjis unibe", kana).out, bytes({0xFF, 0x71}));
  EXPECT_EQ(convert("sjis utf8", kana).out, bytes({0xEF, 0xBD, 0xB1}));
  // The whole katakana range, both ends.
  EXPECT_EQ(convert("sjis unile", bytes({0xA1, 0xDF})).out,
            bytes({0x61, 0xFF, 0x9F, 0xFF}));
}

TEST(SjisConvert, WaveDashIsU301C) {
  const Bytes wave = bytes({0x81, 0x60});
  EXPECT_EQ(convert("sjis unibe", wave).out, bytes({0x30, 0x1C}));
  EXPECT_EQ(convert("sjis euc", wave).out, bytes({0xA1, 0xC1}));
  EXPECT_EQ(convert("sjis jis", wave).out,
            join(join(kToTwoByte, bytes({0x21, 0x41})), kToAscii));
}

TEST(SjisConvert, DuplicateCodesAreUnmappedInEveryTarget) {
  // ED 40 is code page 932's NEC-selected copy of FA 5C.
  const Bytes dup = bytes({0x41, 0xED, 0x40});
  const struct {
    const char *to;
    Bytes out;
  } cases[] = {
      {"sjis euc", bytes({0x41, 0x3F})},
      {"sjis jis", join(join(bytes({0x41}), kToTwoByte),
                        join(bytes({0x21, 0x29}), kToAscii))},
      {"sjis unibe", bytes({0x00, 0x41, 0x00, 0x3F})},
      {"sjis unile", bytes({0x41, 0x00, 0x3F, 0x00})},
      {"sjis utf8", bytes({0x41, 0x3F})},
  };
  for (const auto &c : cases) {
    const Result r = convert(c.to, dup);
    EXPECT_EQ(r.out, c.out) << c.to;
    expect_one_miss(r, 1, 0xED40);
  }
}

TEST(SjisConvert, SecondStageMissesAreRecordedWithTheSourceCode) {
  // 87 40 (circled one) is in code page 932 but not in the common EUC-JP
  // table; 81 CA (U+FFE2) is, through an extra entry.
  const Bytes text = bytes({0x87, 0x40, 0x81, 0xCA, 0x87, 0x41});
  const Result r = convert("sjis euc", text);
  EXPECT_EQ(r.out, bytes({0x3F, 0xA2, 0xCC, 0x3F}));
  EXPECT_EQ(r.err_count, 2u);
  EXPECT_EQ(r.err_first, 0);
  EXPECT_EQ(r.err_first_code, 0x8740);
  EXPECT_EQ(r.err_last, 4);
  EXPECT_EQ(r.err_last_code, 0x8741);
}

TEST(SjisConvert, ByteZeroAndQuestionMark) {
  const Bytes zero = bytes({0x00});
  EXPECT_EQ(convert("sjis euc", zero).out, zero);
  EXPECT_EQ(convert("sjis jis", zero).out, zero);
  for (const char *to : {"sjis unibe", "sjis utf8"}) {
    const Result r = convert(to, zero);
    EXPECT_EQ(r.out.back(), 0x3F) << to;
    expect_clean(r);  // a one-byte replacement is not counted
  }
  // "?" is written as "?" and not counted anywhere.
  for (const auto &[name, fn] : legacy::converters()) {
    (void)fn;
    if (name.rfind("sjis", 0) != 0) continue;
    expect_clean(convert(name, bytes({0x3F})));
  }
  // The full-width question mark has codes of its own.
  const Bytes fw = bytes({0x81, 0x48});
  Result r = convert("sjis jis", fw);
  EXPECT_EQ(r.out, join(join(kToTwoByte, bytes({0x21, 0x29})), kToAscii));
  expect_clean(r);
  r = convert("sjis euc", fw);
  EXPECT_EQ(r.out, bytes({0xA1, 0xA9}));
  expect_clean(r);
}

TEST(SjisConvert, CutLastCharacter) {
  const Bytes text = bytes({0x82, 0xA0, 0x82});
  const struct {
    const char *to;
    Bytes prefix;
  } cases[] = {
      {"sjis euc", bytes({0xA4, 0xA2})},
      // The prefix keeps the mode of its last character: no ESC ( B.
      {"sjis jis", join(kToTwoByte, bytes({0x24, 0x22}))},
      {"sjis unibe", bytes({0x30, 0x42})},
      {"sjis unile", bytes({0x42, 0x30})},
      {"sjis utf8", bytes({0xE3, 0x81, 0x82})},
  };
  for (const auto &c : cases) {
    const Result r = convert(c.to, text);
    EXPECT_EQ(r.status, KMV_EUEXPEOD) << c.to;
    EXPECT_EQ(r.out, c.prefix) << c.to;
    EXPECT_EQ(r.err_pos, 2) << c.to;
    EXPECT_EQ(r.err_count, 0u);
  }
  const Result alone = convert("sjis jis", bytes({0x88}));
  EXPECT_EQ(alone.status, KMV_EUEXPEOD);
  EXPECT_FALSE(alone.out_null);
  EXPECT_TRUE(alone.out.empty());
  EXPECT_EQ(alone.err_pos, 0);

  // Without err_pos the same result.
  kmv_handle *h = create_kmv();
  unsigned char *dst = nullptr;
  uint64_t len = 0;
  EXPECT_EQ(kmv_sjisto_euc(h, &dst, &len, nullptr, text.data(), text.size()),
            KMV_EUEXPEOD);
  EXPECT_EQ(len, 2u);
  std::free(dst);
  release_kmv(h);
}

TEST(SjisConvert, CutCharacterKeepsEarlierRecords) {
  const Result r = convert("sjis unibe", bytes({0xED, 0x40, 0x41, 0x88}));
  EXPECT_EQ(r.status, KMV_EUEXPEOD);
  EXPECT_EQ(r.out, bytes({0x00, 0x3F, 0x00, 0x41}));
  EXPECT_EQ(r.err_pos, 3);
  EXPECT_EQ(r.err_count, 1u);
  EXPECT_EQ(r.err_first_code, 0xED40);
}

TEST(SjisConvert, EmptySourceAndMarks) {
  for (const auto &[name, fn] : legacy::converters()) {
    (void)fn;
    if (name.rfind("sjis", 0) != 0) continue;
    const Result r = convert(name, {});
    EXPECT_EQ(r.status, KMV_SUCCESS) << name;
    EXPECT_FALSE(r.out_null) << name;
    EXPECT_TRUE(r.out.empty()) << name;
  }
  EXPECT_EQ(convert("sjis unibe", {}, nullptr, 1).out, bytes({0xFE, 0xFF}));
  EXPECT_EQ(convert("sjis unile", {}, nullptr, 1).out, bytes({0xFF, 0xFE}));
  EXPECT_EQ(convert("sjis utf8", {}, nullptr, 1).out,
            bytes({0xEF, 0xBB, 0xBF}));
  // A Shift_JIS source has no mark of its own: EF BB BF is text.
  EXPECT_EQ(convert("sjis utf8", bytes({0xEF, 0xBB})).out, bytes({0x3F}));
}

// --- ISO-2022-JP target: the writer's modes --------------------------------

TEST(SjisToJis, DesignatesOnlyOnModeChanges) {
  const Bytes kanji = bytes({0x88, 0x9F});
  EXPECT_EQ(convert("sjis jis", kanji).out,
            join(join(kToTwoByte, bytes({0x30, 0x21})), kToAscii));
  // One designation for both kanji; back to ASCII before the LF.
  EXPECT_EQ(convert("sjis jis", bytes({0x88, 0x9F, 0x88, 0x9F, 0x0A})).out,
            join(join(kToTwoByte, bytes({0x30, 0x21, 0x30, 0x21})),
                 join(kToAscii, bytes({0x0A}))));
  // Katakana to kanji directly, without passing through ASCII.
  EXPECT_EQ(convert("sjis jis", bytes({0xB1, 0x88, 0x9F})).out,
            join(join(join(kToKatakana, bytes({0x31})), kToTwoByte),
                 join(bytes({0x30, 0x21}), kToAscii)));
  // NEC row 13 and IBM extensions (FA 5C = U+7E8A) stay in two-byte mode.
  EXPECT_EQ(convert("sjis jis", bytes({0x87, 0x40, 0xFA, 0x5C})).out,
            join(join(kToTwoByte, bytes({0x2D, 0x21, 0x79, 0x21})), kToAscii));
  // ASCII only: the text itself, no escape sequence.
  const Bytes ascii = bytes({0x61, 0x1B, 0x0E, 0x0F, 0x7E, 0x5C});
  EXPECT_EQ(convert("sjis jis", ascii).out, ascii);
}

TEST(SjisToJis, OutputFarLongerThanTheSourceGrowsSafely) {
  // Katakana and kanji alternating: 3 bytes in, 9 out, for 5000 rounds.
  Bytes src;
  Bytes expected;
  for (int i = 0; i < 5000; ++i) {
    src = join(src, bytes({0xB1, 0x88, 0x9F}));
    expected = join(expected, join(join(kToKatakana, bytes({0x31})),
                                   join(kToTwoByte, bytes({0x30, 0x21}))));
  }
  expected = join(expected, kToAscii);
  const Result r = convert("sjis jis", src);
  EXPECT_EQ(r.status, KMV_SUCCESS);
  EXPECT_EQ(r.out, expected);
  // And a single kanji: 2 bytes in, 8 out.
  EXPECT_EQ(convert("sjis jis", bytes({0x88, 0x9F})).out.size(), 8u);
}

// --- per-call state
// -----------------------------------------------------------

TEST(SjisConvert, PerCallStateIsResetByEveryCall) {
  kmv_handle *h = create_kmv();
  Result r = convert("sjis utf8", bytes({0xED, 0x40, 0xED, 0x41}), h);
  EXPECT_EQ(r.err_count, 2u);
  EXPECT_EQ(r.err_last, 2);
  EXPECT_EQ(r.err_last_code, 0xED41);
  r = convert("sjis jis", bytes({0x82, 0xA0}), h);
  expect_clean(r);
  r = convert("sjis euc", bytes({0x82}), h);  // a failing call resets too
  r = convert("sjis unile", bytes({0xED, 0x40}), h);
  expect_one_miss(r, 0, 0xED40);
  r = convert("sjis unile", bytes({0x88}), h);
  EXPECT_EQ(r.status, KMV_EUEXPEOD);
  EXPECT_EQ(r.err_count, 0u);
  EXPECT_EQ(r.err_first_code, -1);
  EXPECT_TRUE(r.src_top_is_src);
  release_kmv(h);
}

TEST(SjisConvert, TablesComeFromTheHandle) {
  kmv_handle *h = create_kmv();
  // A Shift_JIS table that ends before the kanji: they become unmapped.
  h->sjis2unibe_table_size = 0x8900;
  Result r = convert("sjis unibe", bytes({0x88, 0x9F, 0x89, 0x9F}), h);
  EXPECT_EQ(r.out, bytes({0x4E, 0x9C, 0x00, 0x3F}));
  expect_one_miss(r, 2, 0x899F);
  // No table at all: even ASCII has no value for the Unicode targets.
  h->sjis2unibe_table = nullptr;
  h->sjis2unibe_table_size = 0;
  r = convert("sjis utf8", bytes({0x41, 0xB1}), h);
  EXPECT_EQ(r.out, bytes({0x3F, 0x3F}));
  EXPECT_EQ(r.err_count, 0u);
  // The EUC-JP target writes through the four-byte slot when it is set.
  h->sjis2unibe_table = sjis2unibe932_table;
  h->sjis2unibe_table_size = sjis2unibe932_table_size;
  h->unibe2euc_table4 = unibe2eucms_table;
  h->unibe2euc_table4_size = unibe2eucms_table_size;
  r = convert("sjis euc", bytes({0x87, 0x40, 0xFA, 0x40}), h);
  // Circled one in the NEC row, small roman one among the added IBM codes.
  EXPECT_EQ(r.out, bytes({0xAD, 0xA1, 0x8F, 0xF3, 0xF3}));
  release_kmv(h);
}

}  // namespace
