// Nothing around a broken or supplementary character is lost: for every
// source family and target, the output for A + X + B begins with the output
// for A and ends with the output for B (which begins with a line feed), for
// X drawn from characters beyond U+FFFF, malformed sequences and stray
// first bytes. Also the faults once seen through the tool, as rows.
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <random>
#include <string>

#include "legacy_vectors.h"

namespace {

using legacy::Bytes;
using legacy::hex;

struct Converted {
  Bytes out;
  uint32_t errs;
};

Converted convert(int32_t from, int32_t to, const Bytes &src) {
  kmv_handle *h = create_kmv();
  unsigned char *dst = nullptr;
  uint64_t len = 0;
  EXPECT_EQ(_convert(h, &dst, &len, to, src.data(), src.size(), from),
            KMV_SUCCESS);
  Converted c{Bytes(dst, dst + len), h->err_count};
  std::free(dst);
  release_kmv(h);
  return c;
}

Bytes operator+(Bytes a, const Bytes &b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

// Each family with pieces that once lost or corrupted what followed them.
// UTF-16 pieces are big-endian; little-endian takes them swapped.
struct Family {
  int32_t type;
  std::vector<const char *> pieces;
};
const Family kFamilies[] = {
    {KMV_TYPE_UTF8,
     {"F09F8DA3", "F48FBFBF", "80", "C3", "E381", "F09F8D", "F5", "FF", "C328",
      "EDA080"}},
    {KMV_TYPE_UTF16BE, {"D83CDF63", "D83C", "DF63", "DF63D83C"}},
    {KMV_TYPE_UTF16LE, {"D83CDF63", "D83C", "DF63", "DF63D83C"}},
    {KMV_TYPE_SJIS, {"82", "EEE0", "FF", "80", "827F", "82A0 82"}},
    {KMV_TYPE_EUC, {"A4", "8E", "8F", "8FA1", "8EE0", "FF", "A441"}},
    {KMV_TYPE_JIS,
     {"1B2442 30 1B2842", "1B2442 3000 3021 1B2842", "1B2442 30 0D 1B2842"}},
};

Bytes piece(const Family &f, const char *text) {
  Bytes b = hex(text);
  if (f.type == KMV_TYPE_UTF16LE) {
    for (size_t i = 0; i + 1 < b.size(); i += 2) std::swap(b[i], b[i + 1]);
  }
  return b;
}

// A is a8 and a full stop, so that ISO-2022-JP output for it ends in the
// ASCII mode and stands as a prefix; B is a line feed, b8 and a full stop.
void check_between(std::string a8, std::string b8) {
  a8 += '.';
  b8.insert(0, 1, '\n');
  b8 += '.';
  for (const Family &from : kFamilies) {
    const Bytes a =
        convert(KMV_TYPE_UTF8, from.type, Bytes(a8.begin(), a8.end())).out;
    const Bytes b =
        convert(KMV_TYPE_UTF8, from.type, Bytes(b8.begin(), b8.end())).out;
    for (const Family &to : kFamilies) {
      if (to.type == from.type) continue;
      const Bytes out_a = convert(from.type, to.type, a).out;
      const Bytes out_b = convert(from.type, to.type, b).out;
      for (const char *x : from.pieces) {
        SCOPED_TRACE(std::to_string(from.type) + " to " +
                     std::to_string(to.type) + ": " + x + " in " + a8);
        const Bytes out =
            convert(from.type, to.type, a + piece(from, x) + b).out;
        ASSERT_GE(out.size(), out_a.size() + out_b.size());
        EXPECT_TRUE(std::equal(out_a.begin(), out_a.end(), out.begin()));
        EXPECT_TRUE(std::equal(out_b.rbegin(), out_b.rend(), out.rbegin()));
      }
    }
  }
}

TEST(Lossless, RealSentencesAroundBrokenCharactersSurvive) {
  const char *lines[] = {
      "吾輩は猫である。名前はまだ無い。",
      "どこで生れたかとんと見当がつかぬ。ｶﾀｶﾅも少し。",
      "メール：今日の寿司🍣は最高でした👍 また行こうね",
  };
  for (const char *a : lines) {
    for (const char *b : lines) check_between(a, b);
  }
}

TEST(Lossless, RandomTextAroundBrokenCharactersSurvives) {
  // Ranges of ASCII, kana, kanji, half-width katakana and emoji.
  const char32_t ranges[][2] = {{0x20, 0x7E},     {0x3041, 0x3093},
                                {0x30A1, 0x30F6}, {0x4E00, 0x9FA0},
                                {0xFF61, 0xFF9F}, {0x1F300, 0x1F64F}};
  std::mt19937 rng(20261206);
  for (int round = 0; round < 8; ++round) {
    std::u32string text[2];
    for (auto &t : text) {
      for (int n = 1 + static_cast<int>(rng() % 30); n > 0; --n) {
        const auto &r = ranges[rng() % 6];
        t += static_cast<char32_t>(r[0] + rng() % (r[1] - r[0] + 1));
      }
    }
    std::string u8[2];
    for (int i = 0; i < 2; ++i) {
      const Bytes be = [&] {
        Bytes units;
        for (char32_t c : text[i]) {
          const bool pair = c > 0xFFFF;
          const uint32_t hi = pair ? 0xD7C0 + (c >> 10) : c;
          units.push_back(static_cast<unsigned char>(hi >> 8));
          units.push_back(static_cast<unsigned char>(hi));
          if (!pair) continue;
          units.push_back(static_cast<unsigned char>(0xDC | (c >> 8 & 3)));
          units.push_back(static_cast<unsigned char>(c));
        }
        return units;
      }();
      const Bytes b = convert(KMV_TYPE_UTF16BE, KMV_TYPE_UTF8, be).out;
      u8[i].assign(b.begin(), b.end());
    }
    check_between(u8[0], u8[1]);
  }
}

TEST(Lossless, FaultsSeenThroughTheToolStayMended) {
  const struct {
    int32_t from, to;
    const char *src, *out;
    uint32_t errs;
  } rows[] = {
      {KMV_TYPE_UTF8, KMV_TYPE_UTF16LE, "6465 F09F8DA3 0A 6C 0A",
       "6400 6500 3CD8 63DF 0A00 6C00 0A00", 0},
      {KMV_TYPE_UTF8, KMV_TYPE_SJIS, "61 F09F8DA3 62 0A 63 0A",
       "61 3F 3F 62 0A 63 0A", 2},
      {KMV_TYPE_SJIS, KMV_TYPE_UTF8, "82 0A 61 62 63 0A", "3F 0A 61 62 63 0A",
       1},
      {KMV_TYPE_UTF16BE, KMV_TYPE_UTF8, "D83C DF63", "F09F8DA3", 0},
      {KMV_TYPE_UTF8, KMV_TYPE_UTF16BE, "F0808080 F4908080",
       "003F 003F 003F 003F 003F 003F 003F 003F", 8},
  };
  for (const auto &r : rows) {
    SCOPED_TRACE(r.src);
    const Converted c = convert(r.from, r.to, hex(r.src));
    EXPECT_EQ(c.out, hex(r.out));
    EXPECT_EQ(c.errs, r.errs);
  }
}

TEST(Lossless, UnicodeFormsMatchPythonCodecsBothWays) {
  // tests/data/emoji/make_vectors.py: one text, each form with and without
  // its mark. A source mark is skipped; a target mark follows the type.
  const struct {
    const char *name;
    int32_t type;
  } forms[] = {
      {"utf8", KMV_TYPE_UTF8},       {"utf8_bom", KMV_TYPE_UTF8_BOM},
      {"utf16be", KMV_TYPE_UTF16BE}, {"utf16be_bom", KMV_TYPE_UTF16BE_BOM},
      {"utf16le", KMV_TYPE_UTF16LE}, {"utf16le_bom", KMV_TYPE_UTF16LE_BOM}};
  const auto read = [](const std::string &name) {
    std::ifstream f(std::string(KMV_TEST_DATA_DIR) + "/emoji/text." + name,
                    std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(f), {});
  };
  for (const auto &from : forms) {
    for (const auto &to : forms) {
      if ((from.type - 11) / 2 == (to.type - 11) / 2) continue;  // one family
      SCOPED_TRACE(std::string(from.name) + " to " + to.name);
      const Bytes src = read(from.name);
      ASSERT_FALSE(src.empty());
      const Converted c = convert(from.type, to.type, src);
      EXPECT_EQ(c.out, read(to.name));
      EXPECT_EQ(c.errs, 0u);
    }
  }
}

}  // namespace
