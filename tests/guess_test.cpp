// The best guess, grouped by the confusion it resolves. Every text here is
// one that the detector leaves undecided (a mask), unless said otherwise;
// the guess must name the encoding the text was written in.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "kmv.hpp"
#include "kmv_ext.h"
#include "test_data.h"

namespace {

using testdata::Bytes;
using testdata::hex;

struct Case {
  const char *text;  // what the bytes say
  const char *hex;
  int32_t type, runner_up;
};

class Guess : public ::testing::Test {
 protected:
  void SetUp() override { h_ = create_kmv(); }
  void TearDown() override { release_kmv(h_); }

  kmvx_guess_result guess(const Bytes &b, int32_t expected = 0) {
    kmvx_guess_result g{-9, -9, -9.0f, -9};
    EXPECT_EQ(kmvx_guess(h_, b.data(), b.size(), expected, &g), KMV_SUCCESS);
    return g;
  }
  template <size_t N>
  void expect_guesses(const Case (&cases)[N]);
  kmv_handle *h_ = nullptr;
};

template <size_t N>
void Guess::expect_guesses(const Case (&cases)[N]) {
  for (const Case &c : cases) {
    const kmvx_guess_result g = guess(hex(c.hex));
    EXPECT_GE(g.detected, KMV_MASK_MIN) << c.text;
    EXPECT_EQ(g.type, c.type) << c.text;
    EXPECT_EQ(g.runner_up, c.runner_up) << c.text;
    EXPECT_GT(g.confidence, 0.5f) << c.text;
    EXPECT_LE(g.confidence, 1.0f) << c.text;
  }
}

TEST_F(Guess, ShiftJisAgainstEucJp) {
  const Case cases[] = {
      {"ョンに", "a5e7a5f3a4cb", KMV_TYPE_EUC, KMV_TYPE_SJIS},
      {"e を基に", "6520a4f2b4f0a4cb", KMV_TYPE_EUC, KMV_TYPE_SJIS},
      {"報をタ", "caf3a4f2a5bf", KMV_TYPE_EUC, KMV_TYPE_SJIS},
  };
  expect_guesses(cases);
}

TEST_F(Guess, Utf8AgainstShiftJis) {
  // Short UTF-8 that the kana preference narrows to the Shift_JIS mask,
  // and Shift_JIS with its kana that UTF-16 also reads.
  const Case cases[] = {
      {"グループアカウ", "e382b0e383abe383bce38397e382a2e382abe382a6",
       KMV_TYPE_UTF8, KMV_TYPE_SJIS},
      {"f  ネッ", "662020e3838de38383", KMV_TYPE_UTF8, KMV_TYPE_SJIS},
      {" と設定して", "20e381a8e8a8ade5ae9ae38197e381a6", KMV_TYPE_UTF8,
       KMV_TYPE_SJIS},
      {"うに、単にカ", "82a482c98141925082c9834a", KMV_TYPE_SJIS,
       KMV_TYPE_UTF16BE},
  };
  expect_guesses(cases);
}

TEST_F(Guess, Utf16ByteOrder) {
  const Case cases[] = {
      {"今日 (LE)", "ca4ee565", KMV_TYPE_UTF16LE, KMV_TYPE_SJIS},
      {"東京 (BE)", "67714eac", KMV_TYPE_UTF16BE, KMV_TYPE_SJIS},
      {"会社 (BE)", "4f1a793e", KMV_TYPE_UTF16BE, KMV_TYPE_ASCII},
      {"会社 (LE)", "1a4f3e79", KMV_TYPE_UTF16LE, KMV_TYPE_ASCII},
      {"ｶﾀｶﾅ (BE)", "ff76ff80ff76ff85", KMV_TYPE_UTF16BE, KMV_TYPE_UTF16LE},
      {"ｶﾀｶﾅ (LE)", "76ff80ff76ff85ff", KMV_TYPE_UTF16LE, KMV_TYPE_UTF16BE},
  };
  expect_guesses(cases);
}

TEST_F(Guess, TinyTexts) {
  const Case cases[] = {
      {"あ (Shift_JIS)", "82a0", KMV_TYPE_SJIS, KMV_TYPE_UTF16BE},
      {"ab", "6162", KMV_TYPE_ASCII, KMV_TYPE_UTF16BE},
  };
  expect_guesses(cases);
  // Empty: what kmv_buf answers, with certainty. Nothing fits: -1.
  const kmvx_guess_result empty = guess({});
  EXPECT_TRUE(empty.type == 0 && empty.detected == 0 && empty.runner_up == -1 &&
              empty.confidence == 1.0f);
  const kmvx_guess_result unfit = guess(hex("ffffff"));
  EXPECT_TRUE(unfit.type == -1 && unfit.detected == -1 &&
              unfit.runner_up == -1 && unfit.confidence == 0.0f);
}

TEST_F(Guess, DecidedAnswersStandAndExpectedTypesReachTheDetector) {
  int decided = 0;
  for (const int32_t expected : {0, int32_t{KMV_TYPE_UTF16BE}}) {
    const Bytes texts[] = {hex("a4a2"), hex("e38182"), hex("fffe4100"),
                           hex("6162")};
    for (const Bytes &t : texts) {
      const int32_t detected = kmv_buf(h_, t.data(), t.size(), expected, 0);
      if (detected <= 0 || detected >= KMV_MASK_MIN) continue;
      ++decided;
      const kmvx_guess_result g = guess(t, expected);
      EXPECT_TRUE(g.type == detected && g.detected == detected &&
                  g.runner_up == -1 && g.confidence == 1.0f);
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
