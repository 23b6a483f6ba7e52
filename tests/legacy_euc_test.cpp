// EUC-JP source converters for the four table variants (a variant is only
// what the handle's EUC-JP slots hold): characters by target, the
// two-stage recording rule, every variant pair on the disputed codes,
// malformed and cut characters.
#include <gtest/gtest.h>

#include <array>
#include <cstdio>
#include <map>
#include <string>

#include "legacy_convert.h"

namespace {

using legacy::check_rows;
using legacy::convert;
using legacy::hex;
using legacy::Result;

const int32_t kOk = KMV_SUCCESS;
const int32_t kCut = KMV_EUEXPEOD;

TEST(EucConvert, CharactersByTarget) {
  check_rows({
      // 00 is copied to the byte targets, replaced and counted in UTF-16;
      // 80 to A0 are copied as they stand to the byte targets and UTF-8.
      {"euc euc", "8EB1 00 85 A0 A1A9", "8EB1 00 85 A0 A1A9"},
      {"euc sjis", "8EB1 00 A1A9", "B1 00 8148"},
      {"euc utf8", "8EB1 00 85 A0", "EFBDB1 00 85 A0"},
      {"euc unibe", "8EB1 41 00", "FF71 0041 003F", 1, 3, 0},
      // Looked up for UTF-16, where only eucJP-ms maps the C1 controls.
      {"euc unile", "85 A0", "3F00 3F00", 2, 0, 0x85, kOk, -1, 1, 0xA0},
      {"euc unibe ms ms", "85 A0", "0085 003F", 1, 1, 0xA0},
      // ISO-2022-JP: single bytes in ASCII mode, katakana in katakana
      // mode, the rest (FF and the full-width "?" included) in two-byte.
      {"euc jis", "00 85 A0 8EB1 A4A2 FF A1A9 0A",
       "00 85 A0 1B2849 31 1B2442 2422 2129 2129 1B2842 0A"},
      {"euc jis ms ms", "8FF3F3", "1B2442 7C71 1B2842"},
  });
}

TEST(EucConvert, ThreeByteCodes) {
  check_rows({
      // The default handle has no three-byte table: every 8F code is
      // unmapped, recorded with 8F in front.
      {"euc unibe", "8FA2B7", "003F", 1, 0, 0x8FA2B7},
      {"euc unile", "8FA2B7", "3F00", 1, 0, 0x8FA2B7},
      {"euc utf8", "8FA2B7", "3F", 1, 0, 0x8FA2B7},
      {"euc euc", "8FA2B7", "3F", 1, 0, 0x8FA2B7},
      {"euc sjis", "8FA2B7", "3F", 1, 0, 0x8FA2B7},
      {"euc jis", "8FA2B7", "1B2442 2129 1B2842", 1, 0, 0x8FA2B7},
      // eucJP-ms: an IBM extension (U+2170) with a Shift_JIS code, and the
      // user-defined areas to the private use area and back.
      {"euc sjis ms ms", "8FF3F3", "FA40"},
      {"euc unibe ms ms", "8FF3F3", "2170"},
      {"euc unibe ms ms", "F5A1 8FFEFE", "E000 E757"},
      {"euc euc ms ms", "8FFEFE", "8FFEFE"},
  });
}

// The EUC-JP code is recorded when the source table has no value, the
// UTF-16 value when only the target table lacks one.
TEST(EucConvert, TwoStageRecording) {
  check_rows({
      {"euc euc 20932 51932", "A1C2", "3F", 1, 0, 0x2016},
      {"euc euc", "41 A1C2", "41 3F", 1, 1, 0xA1C2},
      {"euc sjis", "41 A1C2", "41 3F", 1, 1, 0xA1C2},
      {"euc jis", "41 A1C2", "41 1B2442 2129 1B2842", 1, 1, 0xA1C2},
      // 20932 reads A1 C2 as U+2016 and A1 F1 as U+00A2: neither has a
      // Shift_JIS or JIS code.
      {"euc sjis 20932 20932", "A1C2 A1F1", "3F 3F", 2, 0, 0x2016, kOk, -1, 2,
       0xA2},
      {"euc jis 20932 20932", "A1C2 A1F1", "1B2442 2129 2129 1B2842", 2, 0,
       0x2016, kOk, -1, 2, 0xA2},
      // A record made before a cut character stays.
      {"euc sjis", "A1C2 A4", "3F", 1, 0, 0xA1C2, kCut, 2},
  });
}

// kmv_eucto_euc for every pair of variants on the codes where they
// disagree. The expectation is composed from how each variant reads the
// code and how each writes the value (order: common, 20932, 51932, ms;
// 0 is no mapping).
TEST(EucConvert, EveryVariantPairOnTheDisputedCodes) {
  using PerVariant = std::array<uint32_t, 4>;
  const std::map<uint32_t, PerVariant> decode = {
      {0xA1BD, {0x2015, 0x2015, 0x2015, 0x2015}},
      {0xA1C0, {0xFF3C, 0xFF3C, 0xFF3C, 0xFF3C}},
      {0xA1C1, {0x301C, 0x301C, 0x301C, 0x301C}},
      {0xA1C2, {0, 0x2016, 0x2225, 0x2225}},
      {0xA1DD, {0, 0x2212, 0xFF0D, 0xFF0D}},
      {0xA1F1, {0, 0x00A2, 0xFFE0, 0xFFE0}},
      {0xA1F2, {0, 0x00A3, 0xFFE1, 0xFFE1}},
      {0xA2CC, {0, 0x00AC, 0xFFE2, 0xFFE2}},
      {0x8FA2B7, {0, 0, 0, 0xFF5E}},
      {0x8FA2C3, {0, 0x00A6, 0, 0xFFE4}}};
  const std::map<uint32_t, PerVariant> encode = {
      {0x2015, {0xA1BD, 0xA1BD, 0xA1BD, 0xA1BD}},
      {0xFF3C, {0xA1C0, 0xA1C0, 0xA1C0, 0xA1C0}},
      {0x301C, {0xA1C1, 0xA1C1, 0xA1C1, 0xA1C1}},
      {0xFF5E, {0, 0, 0xA1C1, 0xA1C1}},
      {0x2016, {0, 0xA1C2, 0, 0}},
      {0x2225, {0, 0, 0xA1C2, 0xA1C2}},
      {0x2212, {0, 0xA1DD, 0, 0}},
      {0xFF0D, {0xA1DD, 0xA1DD, 0xA1DD, 0xA1DD}},
      {0x00A2, {0, 0xA1F1, 0, 0}},
      {0xFFE0, {0xA1F1, 0xA1F1, 0xA1F1, 0xA1F1}},
      {0x00A3, {0, 0xA1F2, 0, 0}},
      {0xFFE1, {0xA1F2, 0xA1F2, 0xA1F2, 0xA1F2}},
      {0x00AC, {0, 0xA2CC, 0, 0}},
      {0xFFE2, {0xA2CC, 0xA2CC, 0xA2CC, 0xA2CC}},
      {0x00A6, {0, 0x8FA2C3, 0, 0}},
      {0xFFE4, {0, 0x8FA2C3, 0xFCFC, 0x8FA2C3}}};
  auto code_bytes = [](uint32_t code) {
    char text[8];
    std::snprintf(text, sizeof text, code > 0xFFFF ? "%06X" : "%04X", code);
    return hex(text);
  };
  for (size_t from = 0; from < 4; ++from) {
    for (size_t to = 0; to < 4; ++to) {
      kmv_handle *h = create_kmv();
      legacy::select_euc_decoding(h, legacy::kEucVariants[from]);
      legacy::select_euc_encoding(h, legacy::kEucVariants[to]);
      for (const auto &[code, read] : decode) {
        SCOPED_TRACE(std::string(legacy::kEucVariants[from]) + " to " +
                     legacy::kEucVariants[to] + " code " +
                     std::to_string(code));
        const uint32_t u = read[from];
        const uint32_t e = u == 0 ? 0 : encode.at(u)[to];
        const Result r = convert("euc euc", code_bytes(code), h);
        EXPECT_EQ(r.out, e == 0 ? hex("3F") : code_bytes(e));
        EXPECT_EQ(r.err_count, e == 0 ? 1u : 0u);
        if (e == 0) {
          EXPECT_EQ(r.err_first_code, static_cast<int32_t>(u == 0 ? code : u));
        }
      }
      release_kmv(h);
    }
  }
}

TEST(EucConvert, MalformedBytesAreReplaced) {
  check_rows({
      // FF silently; 8E before a byte that is no katakana byte, and A1-FE
      // before one outside A1-FE, alone and recorded: the next byte is read
      // as usual.
      {"euc euc", "FF 8E41 8EE0 41", "3F 3F 41 3F 3F 41", 3, 1, 0x8E, 0, -1, 4,
       0xE0},
      {"euc sjis", "FF 8E41 8EE0 41", "3F 3F 41 3F 3F 41", 3, 1, 0x8E, 0, -1, 4,
       0xE0},
      {"euc unibe", "FF 8E41 8EE0 41", "003F 003F 0041 003F 003F 0041", 3, 1,
       0x8E, 0, -1, 4, 0xE0},
      {"euc unile", "FF 8E41", "3F00 3F00 4100", 1, 1, 0x8E},
      {"euc utf8", "A4 0A 8F A1 0A 8F 0A", "3F 0A 3F 0A 3F 0A", 3, 0, 0xA4, 0,
       -1, 5, 0x8F},
      {"euc jis", "FF 8E41", "1B2442 2129 2129 1B2842 41", 1, 1, 0x8E},
      // FF is one byte: what follows it is read as usual.
      {"euc sjis", "FF A4A2", "3F 82A0"},
      {"euc euc", "41 FF", "41 3F"},
  });
}

TEST(EucConvert, CutLastCharacter) {
  const struct {
    const char *src;
    int64_t at;
  } cuts[] = {{"41 A4", 1}, {"41 8E", 1}, {"41 8FA2", 1}, {"8F", 0}};
  for (const auto &[name, fn] : legacy::converters()) {
    (void)fn;
    if (name.rfind("euc", 0) != 0) continue;
    for (const auto &c : cuts) {
      const Result r = convert(name, hex(c.src));
      EXPECT_EQ(r.status, KMV_EUEXPEOD) << name << " " << c.src;
      EXPECT_EQ(r.err_pos, c.at) << name << " " << c.src;
      EXPECT_FALSE(r.out_null) << name;
    }
  }
  // The ISO-2022-JP prefix ends in its last character's mode.
  check_rows({{"euc jis", "A4A2 A4", "1B2442 2422", 0, -1, -1, kCut, 2}});
}

}  // namespace
