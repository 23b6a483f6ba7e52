// The best guess: texts the detector leaves undecided (data/guess/cases.txt,
// grouped by the confusion each resolves) must be named as the encoding
// they were written in; decided texts keep the detector's answer.
#include <gtest/gtest.h>

#include <array>
#include <cstddef>
#include <string>

#include "detect/kanji_levels.h"
#include "kmv.hpp"
#include "kmv_ext.h"
#include "test_data.h"

namespace {

using testdata::Bytes;
using testdata::hex;

class Guess : public ::testing::Test {
 protected:
  kmvx_guess_result guess(const Bytes &b, int32_t expected = 0) {
    kmvx_guess_result g{-9, -9, -9.0f, -9};
    EXPECT_EQ(kmvx_guess(h_, b.data(), b.size(), expected, &g), KMV_SUCCESS);
    return g;
  }
  // A decided, empty or impossible text: no runner-up.
  void expect_certain(const kmvx_guess_result &g, int32_t type,
                      int32_t detected, float confidence) {
    EXPECT_TRUE(g.type == type && g.detected == detected && g.runner_up == -1 &&
                g.confidence == confidence)
        << g.type << " " << g.detected << " " << g.runner_up;
  }
  testdata::Handle h_;
};

TEST_F(Guess, UndecidedTextsAreNamedAsWritten) {
  const auto rows = testdata::rows("guess/cases.txt");
  ASSERT_GE(rows.size(), 15u);
  for (const testdata::Row &c : rows) {
    const kmvx_guess_result g = guess(hex(c[1]));
    EXPECT_GE(g.detected, KMV_MASK_MIN) << c[0];
    EXPECT_EQ(g.type, std::stoi(c[2])) << c[0];
    EXPECT_EQ(g.runner_up, std::stoi(c[3])) << c[0];
    EXPECT_GT(g.confidence, 0.5f) << c[0];
    EXPECT_LE(g.confidence, 1.0f) << c[0];
  }
  // Empty: what kmv_buf answers, with certainty. Nothing fits: -1.
  expect_certain(guess({}), 0, 0, 1.0f);
  expect_certain(guess(hex("ffffff")), -1, -1, 0.0f);
}

TEST_F(Guess, DecidedAnswersStandAndExpectedTypesReachTheDetector) {
  int decided = 0;
  for (const int32_t expected : {0, int32_t{KMV_TYPE_UTF16BE}}) {
    for (const char *text : {"a4a2", "e38182", "fffe4100", "6162"}) {
      const Bytes t = hex(text);
      const int32_t detected = kmv_buf(h_, t.data(), t.size(), expected, 0);
      if (detected <= 0 || detected >= KMV_MASK_MIN) continue;
      ++decided;
      expect_certain(guess(t, expected), detected, detected, 1.0f);
    }
  }
  EXPECT_EQ(decided, 6);
  // Where the expected type narrows to a mask, all candidates are weighed.
  const kmvx_guess_result narrowed = guess(hex("6162"), KMV_TYPE_UTF16BE);
  EXPECT_EQ(narrowed.detected, static_cast<int32_t>(KMV_MASK_UTF16BE));
  EXPECT_EQ(narrowed.type, KMV_TYPE_ASCII);
}

TEST_F(Guess, BadArgumentsFailCleanly) {
  kmvx_guess_result g{};
  const unsigned char byte = 'a';
  EXPECT_EQ(kmvx_guess(nullptr, &byte, 1, 0, &g), KMV_EALLOC);
  EXPECT_EQ(kmvx_guess(h_, &byte, 1, 0, nullptr), KMV_EREAD);
  EXPECT_EQ(kmvx_guess(h_, nullptr, 1, 0, &g), KMV_EREAD);
  EXPECT_EQ(kmvx_guess(h_, nullptr, 0, 0, &g), KMV_SUCCESS);
}

TEST(GuessCpp, HandleGuessAgreesWithTheCFunction) {
  kmv::handle h;
  const auto g = h.guess("\xe3\x81\x93\xe3\x82\x93");  // こん
  ASSERT_TRUE(g);
  EXPECT_EQ(g->type, kmv::encoding::utf8);
  EXPECT_EQ(g->runner_up, kmv::encoding::sjis);
  EXPECT_FALSE(g->detected.decided());
  const auto none = h.guess("\xff\xff\xff");
  ASSERT_TRUE(none);
  EXPECT_FALSE(none->type.has_value());
  kmv::handle moved_from;
  kmv::handle taker(std::move(moved_from));
  EXPECT_FALSE(moved_from.guess("a"));  // no handle: an error, not a crash
}

}  // namespace

// The kanji-level bit tables hold exactly the ideographs that the EUC-JP
// table places in JIS X 0208 rows 16 to 47 (level 1) and 48 to 84 (level 2).
TEST(KanjiLevels, TablesHoldTheJisRowsExactly) {
  namespace d = kmv::detect;
  std::array<std::array<uint32_t, d::kKanjiWords>, 2> level{};
  kmv::handle h;
  for (unsigned row = 16; row <= 84; ++row) {
    for (unsigned cell = 1; cell <= 94; ++cell) {
      const std::string euc{static_cast<char>(0xA0 + row),
                            static_cast<char>(0xA0 + cell)};
      auto r = h.convert(kmv::as_bytes(euc), kmv::encoding::euc,
                         kmv::encoding::utf16be);
      ASSERT_TRUE(r.has_value());
      const auto units = r->bytes.bytes();
      if (r->unconvertible != 0 || units.size() != 2) continue;
      const uint32_t u = std::to_integer<uint32_t>(units[0]) << 8 |
                         std::to_integer<uint32_t>(units[1]);
      if (u < d::kFirstKanji || u > d::kLastKanji) continue;
      level[row > 47][(u - d::kFirstKanji) / 32] |=
          1u << (u - d::kFirstKanji) % 32;
    }
  }
  for (uint32_t w = 0; w < d::kKanjiWords; ++w) {
    EXPECT_EQ(level[0][w], d::kLevel1Kanji[w]) << w;
    EXPECT_EQ(level[1][w], d::kLevel2Kanji[w]) << w;
  }
}
