// EUC-JP source converters, grouped by target, for the four table variants
// (a variant is only what the handle's EUC-JP slots hold).
#include <gtest/gtest.h>

#include <map>
#include <string>

#include "legacy_convert.h"
#include "legacy_vectors.h"

namespace {

using legacy::bytes;
using legacy::Bytes;
using legacy::convert;
using legacy::join;
using legacy::Result;

const Bytes kToTwoByte = bytes({0x1B, 0x24, 0x42});
const Bytes kToKatakana = bytes({0x1B, 0x28, 0x49});
const Bytes kToAscii = bytes({0x1B, 0x28, 0x42});
const Bytes kJisReplacement =
    join(join(kToTwoByte, bytes({0x21, 0x29})), kToAscii);

// A handle reading one variant and writing another.
struct Handle {
  Handle(const std::string &from, const std::string &to) : h(create_kmv()) {
    legacy::select_euc_decoding(h, from);
    legacy::select_euc_encoding(h, to);
  }
  ~Handle() { release_kmv(h); }
  Handle(const Handle &) = delete;
  Handle &operator=(const Handle &) = delete;
  kmv_handle *h;
};

TEST(EucConvert, HalfWidthKatakana) {
  const Bytes kana = bytes({0x8E, 0xB1});
  EXPECT_EQ(convert("euc euc", kana).out, kana);
  EXPECT_EQ(convert("euc sjis", kana).out, bytes({0xB1}));
  EXPECT_EQ(convert("euc jis", kana).out,
            join(join(kToKatakana, bytes({0x31})), kToAscii));
  EXPECT_EQ(convert("euc unibe", kana).out, bytes({0xFF, 0x71}));
  EXPECT_EQ(convert("euc utf8", kana).out, bytes({0xEF, 0xBD, 0xB1}));
}

TEST(EucConvert, ThreeByteCodesWithoutTheirSlot) {
  // The default handle has no three-byte table: every 8F code is unmapped.
  const Bytes tilde = bytes({0x8F, 0xA2, 0xB7});
  const struct {
    const char *to;
    Bytes out;
  } cases[] = {
      {"euc unibe", bytes({0x00, 0x3F})}, {"euc unile", bytes({0x3F, 0x00})},
      {"euc utf8", bytes({0x3F})},        {"euc euc", bytes({0x3F})},
      {"euc sjis", bytes({0x3F})},        {"euc jis", kJisReplacement}};
  for (const auto &c : cases) {
    const Result r = convert(c.to, tilde);
    EXPECT_EQ(r.out, c.out) << c.to;
    EXPECT_EQ(r.err_count, 1u) << c.to;
    EXPECT_EQ(r.err_first, 0);
    EXPECT_EQ(r.err_first_code, 0x8FA2B7) << c.to;
  }
}

TEST(EucConvert, ThreeByteCodesOfTheVariantsThatHaveThem) {
  {
    const Handle v("20932", "20932");  // U+00A6 and back
    const Result r = convert("euc euc", bytes({0x8F, 0xA2, 0xC3}), v.h);
    EXPECT_EQ(r.out, bytes({0x8F, 0xA2, 0xC3}));
    EXPECT_EQ(r.err_count, 0u);
  }
  {
    const Handle v("ms", "ms");  // U+FF5E encodes as A1 C1
    const Result r = convert("euc euc", bytes({0x8F, 0xA2, 0xB7}), v.h);
    EXPECT_EQ(r.out, bytes({0xA1, 0xC1}));
    EXPECT_EQ(r.err_count, 0u);
  }
  {
    // eucJP-ms: the IBM extension U+2170 at 8F F3 F3 has an ISO-2022-JP
    // code (79 21 region) and a Shift_JIS one; the user-defined areas map
    // to the private use area and back.
    const Handle v("ms", "ms");
    EXPECT_EQ(convert("euc sjis", bytes({0x8F, 0xF3, 0xF3}), v.h).out,
              bytes({0xFA, 0x40}));
    EXPECT_EQ(convert("euc unibe", bytes({0x8F, 0xF3, 0xF3}), v.h).out,
              bytes({0x21, 0x70}));
    EXPECT_EQ(
        convert("euc unibe", bytes({0xF5, 0xA1, 0x8F, 0xFE, 0xFE}), v.h).out,
        bytes({0xE0, 0x00, 0xE7, 0x57}));
    EXPECT_EQ(convert("euc euc", bytes({0x8F, 0xFE, 0xFE}), v.h).out,
              bytes({0x8F, 0xFE, 0xFE}));
  }
}

// Recording in the two-stage members: the EUC-JP code when the source table
// has no value, the UTF-16 value when only the target table lacks one.
TEST(EucConvert, TwoStageRecording) {
  {
    const Handle v("20932", "51932");
    const Result r = convert("euc euc", bytes({0xA1, 0xC2}), v.h);
    EXPECT_EQ(r.out, bytes({0x3F}));
    EXPECT_EQ(r.err_count, 1u);
    EXPECT_EQ(r.err_first_code, 0x2016);
  }
  for (const char *to : {"euc euc", "euc sjis", "euc jis"}) {
    const Result r = convert(to, bytes({0x41, 0xA1, 0xC2}));  // common: none
    EXPECT_EQ(r.err_count, 1u) << to;
    EXPECT_EQ(r.err_first, 1) << to;
    EXPECT_EQ(r.err_first_code, 0xA1C2) << to;
  }
  EXPECT_EQ(convert("euc jis", bytes({0xA1, 0xC2})).out, kJisReplacement);
  {
    // 20932 decodes A1 C2 to U+2016, which has no Shift_JIS or JIS code.
    const Handle v("20932", "20932");
    for (const char *to : {"euc sjis", "euc jis"}) {
      const Result r = convert(to, bytes({0xA1, 0xC2, 0xA1, 0xF1}), v.h);
      EXPECT_EQ(r.err_count, 2u) << to;
      EXPECT_EQ(r.err_first_code, 0x2016) << to;
      EXPECT_EQ(r.err_last, 2) << to;
      EXPECT_EQ(r.err_last_code, 0x00A2) << to;
    }
  }
  // The full-width question mark is a character of its own everywhere.
  for (const char *to : {"euc jis", "euc sjis", "euc euc"}) {
    EXPECT_EQ(convert(to, bytes({0xA1, 0xA9})).err_count, 0u) << to;
  }
}

// Every pair of variants through kmv_eucto_euc on the codes where they
// disagree. The expectation is composed from the two disagreement tables of
// the mapping: how each variant reads the code, how each writes the value.
TEST(EucConvert, EveryVariantPairOnTheDisagreeingCodes) {
  using Row = std::map<std::string, uint32_t>;  // variant to value, 0: none
  const std::map<uint32_t, Row> decode = {
      {0xA1BD,
       {{"common", 0x2015},
        {"20932", 0x2015},
        {"51932", 0x2015},
        {"ms", 0x2015}}},
      {0xA1C0,
       {{"common", 0xFF3C},
        {"20932", 0xFF3C},
        {"51932", 0xFF3C},
        {"ms", 0xFF3C}}},
      {0xA1C1,
       {{"common", 0x301C},
        {"20932", 0x301C},
        {"51932", 0x301C},
        {"ms", 0x301C}}},
      {0xA1C2,
       {{"common", 0}, {"20932", 0x2016}, {"51932", 0x2225}, {"ms", 0x2225}}},
      {0xA1DD,
       {{"common", 0}, {"20932", 0x2212}, {"51932", 0xFF0D}, {"ms", 0xFF0D}}},
      {0xA1F1,
       {{"common", 0}, {"20932", 0x00A2}, {"51932", 0xFFE0}, {"ms", 0xFFE0}}},
      {0xA1F2,
       {{"common", 0}, {"20932", 0x00A3}, {"51932", 0xFFE1}, {"ms", 0xFFE1}}},
      {0xA2CC,
       {{"common", 0}, {"20932", 0x00AC}, {"51932", 0xFFE2}, {"ms", 0xFFE2}}},
      {0x8FA2B7, {{"common", 0}, {"20932", 0}, {"51932", 0}, {"ms", 0xFF5E}}},
      {0x8FA2C3,
       {{"common", 0}, {"20932", 0x00A6}, {"51932", 0}, {"ms", 0xFFE4}}},
  };
  const std::map<uint32_t, Row> encode = {
      {0x2015,
       {{"common", 0xA1BD},
        {"20932", 0xA1BD},
        {"51932", 0xA1BD},
        {"ms", 0xA1BD}}},
      {0xFF3C,
       {{"common", 0xA1C0},
        {"20932", 0xA1C0},
        {"51932", 0xA1C0},
        {"ms", 0xA1C0}}},
      {0x301C,
       {{"common", 0xA1C1},
        {"20932", 0xA1C1},
        {"51932", 0xA1C1},
        {"ms", 0xA1C1}}},
      {0xFF5E,
       {{"common", 0}, {"20932", 0}, {"51932", 0xA1C1}, {"ms", 0xA1C1}}},
      {0x2016, {{"common", 0}, {"20932", 0xA1C2}, {"51932", 0}, {"ms", 0}}},
      {0x2225,
       {{"common", 0}, {"20932", 0}, {"51932", 0xA1C2}, {"ms", 0xA1C2}}},
      {0x2212, {{"common", 0}, {"20932", 0xA1DD}, {"51932", 0}, {"ms", 0}}},
      {0xFF0D,
       {{"common", 0xA1DD},
        {"20932", 0xA1DD},
        {"51932", 0xA1DD},
        {"ms", 0xA1DD}}},
      {0x00A2, {{"common", 0}, {"20932", 0xA1F1}, {"51932", 0}, {"ms", 0}}},
      {0xFFE0,
       {{"common", 0xA1F1},
        {"20932", 0xA1F1},
        {"51932", 0xA1F1},
        {"ms", 0xA1F1}}},
      {0x00A3, {{"common", 0}, {"20932", 0xA1F2}, {"51932", 0}, {"ms", 0}}},
      {0xFFE1,
       {{"common", 0xA1F2},
        {"20932", 0xA1F2},
        {"51932", 0xA1F2},
        {"ms", 0xA1F2}}},
      {0x00AC, {{"common", 0}, {"20932", 0xA2CC}, {"51932", 0}, {"ms", 0}}},
      {0xFFE2,
       {{"common", 0xA2CC},
        {"20932", 0xA2CC},
        {"51932", 0xA2CC},
        {"ms", 0xA2CC}}},
      {0x00A6, {{"common", 0}, {"20932", 0x8FA2C3}, {"51932", 0}, {"ms", 0}}},
      {0xFFE4,
       {{"common", 0},
        {"20932", 0x8FA2C3},
        {"51932", 0xFCFC},
        {"ms", 0x8FA2C3}}},
  };
  auto code_bytes = [](uint32_t code) {
    return code > 0xFFFF ? bytes({0x8F, static_cast<int>(code >> 8 & 0xFF),
                                  static_cast<int>(code & 0xFF)})
                         : bytes({static_cast<int>(code >> 8),
                                  static_cast<int>(code & 0xFF)});
  };
  int pairs = 0;
  for (const char *from : legacy::kEucVariants) {
    for (const char *to : legacy::kEucVariants) {
      ++pairs;
      const Handle v(from, to);
      for (const auto &[code, row] : decode) {
        SCOPED_TRACE(std::string(from) + " to " + to + " code " +
                     std::to_string(code));
        const Bytes src = code_bytes(code);
        const uint32_t u = row.at(from);
        const uint32_t e = u == 0 ? 0 : encode.at(u).at(to);
        const Result r = convert("euc euc", src, v.h);
        EXPECT_EQ(r.out, e == 0 ? bytes({0x3F}) : code_bytes(e));
        EXPECT_EQ(r.err_count, e == 0 ? 1u : 0u);
        if (e == 0) {
          EXPECT_EQ(r.err_first_code, static_cast<int32_t>(u == 0 ? code : u));
        }
      }
    }
  }
  EXPECT_EQ(pairs, 16);
}

TEST(EucConvert, MalformedBytesAreReplacedNotCounted) {
  const struct {
    const char *to;
    Bytes ff;
    Bytes bad_kana;
  } cases[] = {
      {"euc euc", bytes({0x3F}), bytes({0x3F})},
      {"euc sjis", bytes({0x3F}), bytes({0x3F})},
      {"euc unibe", bytes({0x00, 0x3F}), bytes({0x00, 0x3F})},
      {"euc unile", bytes({0x3F, 0x00}), bytes({0x3F, 0x00})},
      {"euc utf8", bytes({0x3F}), bytes({0x3F})},
      // ISO-2022-JP keeps the low seven bits of a bad katakana byte.
      {"euc jis", kJisReplacement,
       join(join(kToKatakana, bytes({0x41})), kToAscii)},
  };
  for (const auto &c : cases) {
    Result r = convert(c.to, bytes({0xFF}));
    EXPECT_EQ(r.out, c.ff) << c.to;
    EXPECT_EQ(r.err_count, 0u) << c.to;
    r = convert(c.to, bytes({0x8E, 0x41}));
    EXPECT_EQ(r.out, c.bad_kana) << c.to;
    EXPECT_EQ(r.err_count, 0u) << c.to;
  }
  // FF is one byte: what follows it is read as usual.
  EXPECT_EQ(convert("euc sjis", bytes({0xFF, 0xA4, 0xA2})).out,
            bytes({0x3F, 0x82, 0xA0}));
  // Second bytes are not checked: the table decides (A4 41 has no entry).
  const Result r = convert("euc utf8", bytes({0xA4, 0x41}));
  EXPECT_EQ(r.out, bytes({0x3F}));
  EXPECT_EQ(r.err_first_code, 0xA441);
}

TEST(EucConvert, SingleBytesByTarget) {
  // 00 is copied to the byte targets, replaced and counted in UTF-16.
  for (const char *to : {"euc euc", "euc sjis", "euc utf8"}) {
    const Result r = convert(to, bytes({0x00}));
    EXPECT_EQ(r.out, bytes({0x00})) << to;
    EXPECT_EQ(r.err_count, 0u) << to;
  }
  EXPECT_EQ(convert("euc jis", bytes({0x00})).out, bytes({0x00}));
  Result r = convert("euc unibe", bytes({0x41, 0x00}));
  EXPECT_EQ(r.out, bytes({0x00, 0x41, 0x00, 0x3F}));
  EXPECT_EQ(r.err_count, 1u);
  EXPECT_EQ(r.err_first, 1);
  EXPECT_EQ(r.err_first_code, 0);
  // 80 to A0: copied as they stand to the byte targets and to UTF-8 ...
  const Bytes c1 = bytes({0x85, 0xA0});
  EXPECT_EQ(convert("euc euc", c1).out, c1);
  EXPECT_EQ(convert("euc utf8", c1).out, c1);
  EXPECT_EQ(convert("euc jis", c1).out, c1);
  // ... but looked up for UTF-16: only eucJP-ms maps the C1 controls.
  r = convert("euc unile", c1);
  EXPECT_EQ(r.out, bytes({0x3F, 0x00, 0x3F, 0x00}));
  EXPECT_EQ(r.err_count, 2u);
  EXPECT_EQ(r.err_last_code, 0xA0);
  const Handle ms("ms", "ms");
  r = convert("euc unibe", c1, ms.h);
  EXPECT_EQ(r.out, bytes({0x00, 0x85, 0x00, 0x3F}));
  EXPECT_EQ(r.err_count, 1u);
}

TEST(EucConvert, CutLastCharacter) {
  const struct {
    Bytes src;
    int64_t at;
  } cases[] = {{bytes({0x41, 0xA4}), 1},
               {bytes({0x41, 0x8E}), 1},
               {bytes({0x41, 0x8F, 0xA2}), 1},
               {bytes({0x8F}), 0}};
  for (const auto &[name, fn] : legacy::converters()) {
    (void)fn;
    if (name.rfind("euc", 0) != 0) continue;
    for (const auto &c : cases) {
      const Result r = convert(name, c.src);
      EXPECT_EQ(r.status, KMV_EUEXPEOD) << name;
      EXPECT_EQ(r.err_pos, c.at) << name;
      EXPECT_FALSE(r.out_null) << name;
    }
  }
  // The ISO-2022-JP prefix ends in its last character's mode.
  const Result r = convert("euc jis", bytes({0xA4, 0xA2, 0xA4}));
  EXPECT_EQ(r.out, join(kToTwoByte, bytes({0x24, 0x22})));
  // A lone FF at the end is no cut character.
  EXPECT_EQ(convert("euc euc", bytes({0x41, 0xFF})).status, KMV_SUCCESS);
}

TEST(EucConvert, JisTargetModes) {
  // Single bytes in ASCII mode, katakana in katakana mode, everything else
  // (FF included) in two-byte mode; one return to ASCII at the end.
  const Bytes src = bytes({0x41, 0x8E, 0xB1, 0xA4, 0xA2, 0xFF, 0x0A});
  EXPECT_EQ(convert("euc jis", src).out,
            join(join(join(bytes({0x41}), kToKatakana), bytes({0x31})),
                 join(join(kToTwoByte, bytes({0x24, 0x22, 0x21, 0x29})),
                      join(kToAscii, bytes({0x0A})))));
  // A three-byte code with an ISO-2022-JP code (an eucJP-ms IBM extension)
  // is written with it.
  const Handle ms("ms", "ms");
  EXPECT_EQ(convert("euc jis", bytes({0x8F, 0xF3, 0xF3}), ms.h).out,
            join(join(kToTwoByte, bytes({0x7C, 0x71})), kToAscii));
}

TEST(EucConvert, PerCallStateAfterFailures) {
  kmv_handle *h = create_kmv();
  Result r = convert("euc unibe", bytes({0x00, 0xA1, 0xC2}), h);
  EXPECT_EQ(r.err_count, 2u);
  r = convert("euc unibe", bytes({0xA4, 0xA2}), h);
  EXPECT_EQ(r.err_count, 0u);
  EXPECT_EQ(r.err_first, -1);
  EXPECT_EQ(r.err_last_code, -1);
  r = convert("euc sjis", bytes({0xA1, 0xC2, 0xA4}), h);
  EXPECT_EQ(r.status, KMV_EUEXPEOD);
  EXPECT_EQ(r.err_count, 1u);  // recorded before the cut stays recorded
  EXPECT_EQ(r.err_first_code, 0xA1C2);
  EXPECT_TRUE(r.src_top_is_src);
  release_kmv(h);
}

}  // namespace
