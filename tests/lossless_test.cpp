// Nothing around a broken or supplementary character is lost: for every
// source family and target, the output for A + X + B begins with the output
// for A and ends with the output for B (which begins with a line feed), for
// X drawn from characters beyond U+FFFF, malformed sequences and stray
// first bytes. And text with emoji in every Unicode form, as Python's codecs
// write it (tests/data/emoji/make_vectors.py).
#include <gtest/gtest.h>

#include <cstdlib>
#include <random>
#include <sstream>
#include <string>

#include "legacy_vectors.h"

namespace {

using legacy::Bytes;
using legacy::hex;

Bytes convert(int32_t from, int32_t to, const Bytes &src,
              uint32_t *errs = nullptr) {
  testdata::Handle h;
  unsigned char *dst = nullptr;
  uint64_t len = 0;
  EXPECT_EQ(_convert(h, &dst, &len, to, src.data(), src.size(), from),
            KMV_SUCCESS);
  Bytes out(dst, dst + len);
  if (errs != nullptr) *errs = h->err_count;
  std::free(dst);
  return out;
}

// Pieces that once lost or corrupted what followed them. UTF-16 pieces are
// big-endian, swapped for little-endian.
const std::pair<int32_t, const char *> kPieces[] = {
    {KMV_TYPE_UTF8, "F09F8DA3 F48FBFBF 80 C3 E381 F09F8D F5 FF C328 EDA080"},
    {KMV_TYPE_UTF16BE, "D83CDF63 D83C DF63 DF63D83C"},
    {KMV_TYPE_UTF16LE, "3CD863DF 3CD8 63DF 63DF3CD8"},
    {KMV_TYPE_SJIS, "82 EEE0 FF 80 827F 82A082"},
    {KMV_TYPE_EUC, "A4 8E 8F 8FA1 8EE0 FF A441"},
    {KMV_TYPE_JIS, "1B2442301B2842 1B2442300030211B2842 1B2442300D1B2842"},
};

const char *const kLines[] = {
    "吾輩は猫である。名前はまだ無い。",
    "どこで生れたかとんと見当がつかぬ。ｶﾀｶﾅ, ASCII.",
    "メール：今日の寿司🍣は最高でした👍 また行こうね",
};

// A is a8 and a full stop (so that ISO-2022-JP output for it ends in the
// ASCII mode and stands as a prefix); B is a line feed, b8 and a full stop.
void check_between(std::string a8, std::string b8) {
  a8 += '.';
  b8.insert(0, 1, '\n');
  b8 += '.';
  for (const auto &[from, pieces] : kPieces) {
    const Bytes a = convert(KMV_TYPE_UTF8, from, Bytes(a8.begin(), a8.end()));
    const Bytes b = convert(KMV_TYPE_UTF8, from, Bytes(b8.begin(), b8.end()));
    for (const auto &[to, unused] : kPieces) {
      if (to == from) continue;
      const Bytes out_a = convert(from, to, a), out_b = convert(from, to, b);
      std::istringstream words(pieces);
      for (std::string x; words >> x;) {
        SCOPED_TRACE(std::to_string(from) + " to " + std::to_string(to) + ": " +
                     x);
        Bytes src = a;
        for (const Bytes &part : {hex(x), b})
          src.insert(src.end(), part.begin(), part.end());
        const Bytes out = convert(from, to, src);
        ASSERT_GE(out.size(), out_a.size() + out_b.size());
        EXPECT_TRUE(std::equal(out_a.begin(), out_a.end(), out.begin()));
        EXPECT_TRUE(std::equal(out_b.rbegin(), out_b.rend(), out.rbegin()));
      }
    }
  }
}

TEST(Lossless, RealSentencesAroundBrokenCharactersSurvive) {
  for (const char *a : kLines) {
    for (const char *b : kLines) check_between(a, b);
  }
}

TEST(Lossless, RandomTextAroundBrokenCharactersSurvives) {
  std::vector<std::string> pool;  // the characters of the sentences
  for (const char *p : kLines) {
    for (size_t n = 1; *p != '\0'; p += n, n = 1) {
      while ((p[n] & 0xC0) == 0x80) ++n;
      pool.emplace_back(p, n);
    }
  }
  std::mt19937 rng(20261206);
  for (int round = 0; round < 8; ++round) {
    std::string text[2];
    for (std::string &t : text) {
      for (auto n = 1 + rng() % 40; n > 0; --n) t += pool[rng() % pool.size()];
    }
    check_between(text[0], text[1]);
  }
}

TEST(Lossless, UnicodeFormsMatchPythonCodecsBothWays) {
  // Each form with and without its mark: a source mark is skipped, a target
  // mark follows the target type.
  const std::pair<const char *, int32_t> forms[] = {
      {"utf8", KMV_TYPE_UTF8},       {"utf8_bom", KMV_TYPE_UTF8_BOM},
      {"utf16be", KMV_TYPE_UTF16BE}, {"utf16be_bom", KMV_TYPE_UTF16BE_BOM},
      {"utf16le", KMV_TYPE_UTF16LE}, {"utf16le_bom", KMV_TYPE_UTF16LE_BOM}};
  for (const auto &[from_name, from] : forms) {
    for (const auto &[to_name, to] : forms) {
      if ((from - 11) / 2 == (to - 11) / 2) continue;  // one family
      SCOPED_TRACE(std::string(from_name) + " to " + to_name);
      const Bytes src =
          testdata::data_bytes("emoji/text." + std::string(from_name));
      ASSERT_FALSE(src.empty());
      uint32_t errs = 0;
      EXPECT_EQ(convert(from, to, src, &errs),
                testdata::data_bytes("emoji/text." + std::string(to_name)));
      EXPECT_EQ(errs, 0u);
    }
  }
}

}  // namespace
