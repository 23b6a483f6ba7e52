// Texts cut inside a character: by the caller (a UTF-8 text cut inside its
// last character still reads as UTF-8) and by the file reader's size limit
// (a character split by the limit is no evidence against the encoding).
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "core/settings.h"
#include "kmv.h"
#include "test_data.h"

namespace {

using testdata::Bytes;
using testdata::hex;
using testdata::operator+;

Bytes times(const Bytes &unit, size_t n) {
  Bytes out;
  for (size_t k = 0; k < n; ++k)
    out.insert(out.end(), unit.begin(), unit.end());
  return out;
}

// One line of real text whose first character is `width` bytes long.
struct Line {
  const char *name, *hex;
  int32_t type;
  size_t width;
};

// "今日は良い天気ですね。", "鄧さんの本。" (JIS X 0212 first) and
// "🍣寿司を食べた。", each with a line feed, from Python's codecs.
const Line kLines[] = {
    {"sjis", "8da193fa82cd97c782a293568b4382c582b782cb81420a", 4, 2},
    {"euc", "baa3c6fca4cfcec9a4a4c5b7b5a4a4c7a4b9a4cda1a30a", 5, 2},
    {"euc 3-byte", "8fe2c7a4b5a4f3a4cecbdca1a30a", 6, 3},
    {"utf8",
     "e4bb8ae697a5e381afe889afe38184e5a4a9e6b097e381a7e38199e381ade380820a", 15,
     3},
    {"utf8 emoji", "f09f8da3e5afbfe58fb8e38292e9a39fe381b9e3819fe380820a", 15,
     4},
    {"utf16be", "4eca65e5306f826f304459296c1730673059306d3002000a", 11, 2},
    {"utf16be pair", "d83cdf635bff53f8309298df3079305f3002000a", 11, 4},
    {"utf16le", "ca4ee5656f306f8244302959176c673059306d3002300a00", 13, 2},
    {"utf16le pair", "3cd863dfff5bf8539230df9879305f3002300a00", 13, 4},
};

class Cut : public ::testing::Test {
 protected:
  void SetUp() override { h_ = create_kmv(); }
  void TearDown() override {
    release_kmv(h_);
    kmv::max_buf_size = kmv::kDefaultMaxBufSize;
  }
  int32_t buf(const Bytes &b, int32_t expected = 0, unsigned char ignore = 0) {
    return kmv_buf(h_, b.data(), b.size(), expected, ignore);
  }
  kmv_handle *h_ = nullptr;
};

TEST_F(Cut, WholeLinesDecideTheirEncoding) {
  for (const Line &l : kLines)
    EXPECT_EQ(buf(times(hex(l.hex), 3)), l.type) << l.name;
}

TEST_F(Cut, UtfEightCutInsideItsLastCharacterAnswersTheUtfEightMask) {
  for (const Line &l : kLines) {
    if (l.type != KMV_TYPE_UTF8) continue;
    const Bytes line = hex(l.hex);
    for (size_t j = 1; j < l.width; ++j) {
      const Bytes text = times(line, 3) + Bytes(line.begin(), line.begin() + j);
      EXPECT_EQ(buf(text), static_cast<int32_t>(KMV_MASK_UTF8)) << l.name << j;
      EXPECT_EQ(buf(text, 15), static_cast<int32_t>(KMV_MASK_UTF8))
          << l.name << j;
      EXPECT_EQ(buf(text, 4, 1), static_cast<int32_t>(KMV_MASK_UTF8))
          << l.name << j;
    }
  }
}

TEST_F(Cut, OnlyAWellFormedStartIsACut) {
  const Bytes text = times(hex(kLines[3].hex), 3);
  // A stray continuation, bytes that begin nothing, or a second byte the
  // lead does not allow: not UTF-8.
  for (const char *end : {"80", "f5", "ff", "f08f", "f490", "e3e3", "f09f41"}) {
    EXPECT_EQ(buf(text + hex(end)), -1) << end;
  }
  // Zero bytes leaning to one side leave no UTF-16 mask: nothing is left,
  // unless hints are ignored.
  const Bytes zeros = times(hex("0041"), 150) + text + hex("e381");
  EXPECT_EQ(buf(zeros), 0);
  EXPECT_EQ(buf(zeros, 0, 1), static_cast<int32_t>(KMV_MASK_UTF8));
}

TEST_F(Cut, OnlyAHighSurrogateBeforeALowOneIsText) {
  struct Case {
    const char *units;  // big-endian
    bool text;
  };
  const Case cases[] = {
      {"30423044d83cdf63", true},  {"d83cdf63d83cdf63", true},
      {"30423044d83c3042", false}, {"30423044dc003042", false},
      {"3042dc00d83c3042", false}, {"30423044d83c", false},
      {"3042d83cd83cdf63", false}};
  for (const Case &c : cases) {
    const Bytes be = hex(c.units);
    Bytes le = be;
    for (size_t i = 0; i + 1 < le.size(); i += 2) std::swap(le[i], le[i + 1]);
    EXPECT_EQ((buf(be, 0, 1) & KMV_MASK_UTF16BE) != 0, c.text) << c.units;
    EXPECT_EQ((buf(le, 0, 1) & KMV_MASK_UTF16LE) != 0, c.text) << c.units;
  }
}

class CutFile : public Cut {
 protected:
  void SetUp() override {
    Cut::SetUp();
    char tmpl[] = "/tmp/kmv_cut_XXXXXX";
    ASSERT_NE(mkdtemp(tmpl), nullptr);
    dir_ = tmpl;
  }
  void TearDown() override {
    std::remove(path().c_str());
    rmdir(dir_.c_str());
    Cut::TearDown();
  }
  std::string path() const { return dir_ + "/text"; }
  void write(const Bytes &b) {
    std::ofstream(path(), std::ios::binary)
        .write(reinterpret_cast<const char *>(b.data()),
               static_cast<std::streamsize>(b.size()));
  }
  std::string dir_;
};

TEST_F(CutFile, LimitInsideACharacterIsNoEvidence) {
  for (const Line &l : kLines) {
    const Bytes line = hex(l.hex);
    const size_t whole = (8192 / line.size() + 1) * line.size();
    const Bytes text = times(line, whole / line.size() + 2);
    write(text);
    for (size_t j = 0; j < l.width; ++j) {
      kmv::max_buf_size = static_cast<int32_t>(whole + j);
      const int32_t on_boundary =
          buf(Bytes(text.begin(), text.begin() + whole));
      EXPECT_EQ(on_boundary, l.type) << l.name;
      EXPECT_EQ(kmv_path(h_, path().c_str(), 0, 0), on_boundary) << l.name << j;
      unsigned char *kept = nullptr;
      uint64_t kept_len = 0;
      EXPECT_EQ(kmv_path_keep(h_, &kept, &kept_len, path().c_str(), 0, 0),
                on_boundary);
      EXPECT_EQ(kept_len, whole + j);  // the buffer stays as read
      std::free(kept);
    }
  }
}

TEST_F(CutFile, TextThatEndsAtTheLimitIsReadAsItIs) {
  // The file ends exactly at the limit: nothing was cut, and the cut
  // Shift_JIS lead byte at its end rules Shift_JIS out as before.
  const Bytes line = hex(kLines[0].hex);
  const Bytes text = times(line, 400) + hex("82");
  write(text);
  kmv::max_buf_size = static_cast<int32_t>(text.size());
  EXPECT_EQ(kmv_path(h_, path().c_str(), 0, 0), buf(text));
  EXPECT_EQ(kmv_path(h_, path().c_str(), 0, 0), 0x100);
}

}  // namespace
