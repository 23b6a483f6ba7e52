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

using legacy::convert;
using legacy::hex;
using legacy::Result;

TEST(EucConvert, CaseTable) {
  legacy::check_rows("convert2/euc_cases.txt");
}

TEST(EucConvert, OnlyTheUnicodeTargetsLookKatakanaUp) {
  kmv_handle *h = create_kmv();
  h->euc2unibe_table00_size = 0x8E00;  // ends before the katakana
  EXPECT_EQ(convert("euc sjis", hex("8EB1"), h).out, hex("B1"));
  EXPECT_EQ(convert("euc jis", hex("8EB1"), h).out, hex("1B2849 31 1B2842"));
  EXPECT_EQ(convert("euc unibe", hex("8EB1"), h).out, hex("003F"));
  release_kmv(h);
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
}

}  // namespace
