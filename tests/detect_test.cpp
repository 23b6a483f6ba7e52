// Encoding detection: lead-byte probes, the EUC-JP variant check, the
// decision step, the buffer detector and detection of files.
//
// Expected answers are worked out from the detection rules by hand (the
// reasoning is given beside them) or, for the sentence texts in
// data/detect/cases.tsv, by a separate plain reading of the rules
// (data/detect/model.py).
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "core/settings.h"
#include "kmv.h"
#include "test_data.h"

namespace {

using testdata::Bytes;

using testdata::operator+;
using testdata::repeat;
const auto hex_bytes = testdata::hex;

// The rows of data/detect/rules.txt of one kind, numbers read in any base.
std::vector<std::vector<int64_t>> rules(const std::string &kind,
                                        std::vector<Bytes> *texts = nullptr) {
  std::vector<std::vector<int64_t>> out;
  for (const testdata::Row &r : testdata::rows("detect/rules.txt")) {
    if (r[0] != kind) continue;
    out.emplace_back();
    for (size_t i = texts ? 2 : 1; i < r.fields.size(); ++i)
      out.back().push_back(std::stoll(r[i], nullptr, 0));
    if (texts) texts->push_back(hex_bytes(r[1]));
  }
  EXPECT_FALSE(out.empty()) << kind;
  return out;
}

class Detect : public ::testing::Test {
 protected:
  void SetUp() override { h_ = create_kmv(); }
  void TearDown() override { release_kmv(h_); }

  int32_t buf(const Bytes &b, int32_t expected = 0, bool ignore = false) {
    return kmv_buf(h_, b.data(), b.size(), expected, ignore ? 1 : 0);
  }
  void store_euc(const uint16_t *t00, uint64_t n00,
                 const uint16_t *t8f = nullptr, uint64_t n8f = 0) {
    h_->euc2unibe_table00 = t00;
    h_->euc2unibe_table00_size = n00;
    h_->euc2unibe_table8f = t8f;
    h_->euc2unibe_table8f_size = n8f;
  }
  void store_euc1() {
    store_euc(euc2unibe20932_table00, euc2unibe20932_table00_size,
              euc2unibe20932_table8f, euc2unibe20932_table8f_size);
  }
  bool slots_hold(const uint16_t *t00, const uint16_t *t8f = nullptr) const {
    return h_->euc2unibe_table00 == t00 && h_->euc2unibe_table8f == t8f &&
           h_->euc2unibe_table8f_size == (t8f ? 60900u : 0u);
  }
  kmv_handle *h_ = nullptr;
};

// Lead-byte probes.

TEST_F(Detect, ProbesAnswerFromTheHandlesTablesWithinTheirCounts) {
  EXPECT_EQ(is_sjis_possible(h_, 0x82), 1);  // 829F... hiragana
  EXPECT_EQ(is_sjis_possible(h_, 0xA0), 0);
  EXPECT_EQ(is_sjis_possible(h_, 0xFC), 1);  // FC40 to FC4B
  EXPECT_EQ(is_sjis_possible(h_, 0xFD), 0);
  EXPECT_EQ(is_euc_possible(h_, 0xA4), 1);
  EXPECT_EQ(is_euc_possible(h_, 0x82), 0);
  EXPECT_EQ(is_euc_possible(h_, 0xAD), 0);    // row 13: not in the common table
  EXPECT_EQ(is_euc_possible8f(h_, 0xB0), 0);  // no three-byte table stored
  EXPECT_EQ(is_unibe_possible(h_, 0x00), 1);
  EXPECT_EQ(is_unile_possible(nullptr, 0xFFFFFFFF), 1);
  store_euc1();
  EXPECT_EQ(is_euc_possible8f(h_, 0xB0), 1);  // JIS X 0212 row 16
  EXPECT_EQ(is_euc_possible8f(h_, 0xA1), 0);  // row 1 is empty
  store_euc(euc2unibe51932_table00, euc2unibe51932_table00_size);
  EXPECT_EQ(is_euc_possible(h_, 0xAD), 1);
  h_->sjis2unibe_table_size = 0xFC41;  // only FC40 left of lead FC
  EXPECT_EQ(is_sjis_possible(h_, 0xFC), 1);
  h_->sjis2unibe_table_size = 0xFC40;
  EXPECT_EQ(is_sjis_possible(h_, 0xFC), 0);
  h_->sjis2unibe_table = nullptr;
  h_->sjis2unibe_table_size = 64588;
  EXPECT_EQ(is_sjis_possible(h_, 0x82), 0);
}

// EUC-JP variant check. Out-values start at sentinels (-7, clean 9) so that
// "reports nothing" shows; `cut` is end flag 2.

struct EucCase {
  int32_t expected, bits, valid, invalid;
  bool cut;
  int clean;
};

class EucCheck : public Detect {
 protected:
  void expect_check(const Bytes &text, const EucCase &c) {
    int32_t valid = -7, invalid = -7;
    uint32_t flags = 0x100, pref = 0xABCD;
    unsigned char clean = 9;
    EXPECT_EQ(check_euc(h_, &valid, &invalid, &flags, &pref, &clean, c.expected,
                        text.data(), text.size()),
              c.bits);
    EXPECT_EQ(valid, c.valid);
    EXPECT_EQ(invalid, c.invalid);
    EXPECT_EQ(flags, c.cut ? 0x102u : 0x100u);
    EXPECT_EQ(clean, c.clean);
    EXPECT_EQ(pref, 0xABCDu);  // neither read nor written
  }
};

TEST_F(EucCheck, CountsScoresAndCuts) {
  std::vector<Bytes> texts;
  const auto cases = rules("euc", &texts);
  for (size_t i = 0; i < cases.size(); ++i) {
    const auto &c = cases[i];
    SCOPED_TRACE("euc row " + std::to_string(i));
    expect_check(texts[i], {int32_t(c[0]), int32_t(c[1]), int32_t(c[2]),
                            int32_t(c[3]), c[4] != 0, int(c[5])});
  }
}

TEST_F(EucCheck, InvalidCodesOneByteCharactersAndSlotsOfTheHandle) {
  // Row 9 is empty in every table. After 20 invalid codes the 30 valid
  // ones still count; the 21st invalid code ends the walk before them.
  expect_check(repeat("a9a1", 20) + repeat("a4a2", 30),
               {0, 0x8, 30, 20, false, 0});
  expect_check(repeat("a9a1", 21) + repeat("a4a2", 30),
               {0, 0, -7, -7, false, 9});
  // With the EUC3 table in the handle, 0x85 (a C1 control) is a one-byte
  // character, also as the last byte.
  store_euc(euc2unibems_table00, euc2unibems_table00_size);
  expect_check(hex_bytes("85a4a285"), {0, 0x8, 1, 0, false, 1});
  store_euc1();
  // Every code in the handle's (EUC1) table: the slots are not touched.
  expect_check(hex_bytes("a4a2a1c2"), {0, 0x8, 2, 0, false, 1});
  EXPECT_TRUE(slots_hold(euc2unibe20932_table00, euc2unibe20932_table8f));
  // A code outside it goes through the EUC3 reading, which borrows the
  // slots and leaves the defaults behind; 85 is then no character.
  expect_check(hex_bytes("ada1a4a2"), {0, 0x60, 1, 0, false, 1});
  EXPECT_TRUE(slots_hold(euc2unibecommon_table00));
  expect_check(hex_bytes("a4a285"), {0, 0, -7, -7, false, 9});
}

// Decision step.

TEST(Decision, FollowsItsStepsInOrder) {
  for (const auto &c : rules("decide")) {
    EXPECT_EQ(
        _detect(int32_t(c[0]), uint32_t(c[1]), uint32_t(c[2]), uint32_t(c[3])),
        c[4])
        << "expected " << c[0] << " candidates 0x" << std::hex << c[1]
        << " flags 0x" << c[2] << " preference 0x" << c[3];
  }
}

// Buffer detector, rule by rule.

TEST_F(Detect, FollowsEachRule) {
  std::vector<Bytes> texts;
  const auto cases = rules("buf", &texts);
  for (size_t i = 0; i < cases.size(); ++i) {
    const auto &c = cases[i];
    EXPECT_EQ(buf(texts[i], int32_t(c[0]), c[1] != 0), c[2]) << "buf row " << i;
  }
  for (const char *esc :
       {"1b2440", "1b2442", "1b244a", "1b2842", "1b2848", "1b2849", "1b284a"}) {
    EXPECT_EQ(buf(hex_bytes(std::string("41") + esc + "41")), 2) << esc;
  }
  EXPECT_EQ(kmv_buf(h_, nullptr, 0, 0, 0), 0);
}

TEST_F(EucCheck, ScanLimitsAndBlockBoundaries) {
  // The 21st unknown code (8540) ends the Shift_JIS scan: an escape behind
  // it is not seen. One unknown code in 30 known is tolerated (1 > 30 / 30
  // is false): the kana preference narrows SJIS|UTF16BE to SJIS. In 29 it
  // is not, and UTF-16BE (every unit CJK) is all that fits.
  EXPECT_EQ(buf(repeat("8540", 20) + hex_bytes("1b2442")), 2);
  EXPECT_NE(buf(repeat("8540", 21) + hex_bytes("1b2442")), 2);
  EXPECT_EQ(buf(repeat("82a0", 30) + hex_bytes("8540")), 0x100);
  EXPECT_EQ(buf(repeat("82a0", 29) + hex_bytes("8540")), 11);
  // Long texts are read in 64-byte blocks; one leading ASCII byte puts a
  // code across every block boundary. Shift_JIS hiragana, all known; the
  // odd length rules UTF-16 out, so SJIS alone is left.
  EXPECT_EQ(buf(hex_bytes("41") + repeat("82a0", 63)), 4);
  EXPECT_EQ(buf(hex_bytes("41") + repeat("82a0", 1000)), 4);
  EXPECT_EQ(buf(repeat("82a0", 1000) + hex_bytes("41")), 4);
  for (const size_t codes : {63, 1000}) {  // EUC-JP: each code counted
    const Bytes text = hex_bytes("41") + repeat("a4a2", codes);
    expect_check(text, {0, 0x8, static_cast<int32_t>(codes), 0, false, 1});
    EXPECT_EQ(buf(text), 5);
  }
  // An ESC taken as a second byte across a boundary is not seen; the same
  // ESC at a character start is.
  EXPECT_NE(buf(repeat("41", 63) + hex_bytes("821b2442") + repeat("41", 70)),
            2);
  EXPECT_EQ(buf(repeat("41", 64) + hex_bytes("1b2442") + repeat("41", 70)), 2);
}

TEST_F(Detect, EucSlotsAreRestoredWhereTheEucReadingRuns) {
  store_euc1();
  EXPECT_EQ(buf(hex_bytes("616263")), 1);      // ASCII: no EUC reading
  EXPECT_EQ(buf(hex_bytes("1b2442a4a2")), 2);  // the escape decides first
  EXPECT_EQ(buf(hex_bytes("fffe4100")), 14);
  EXPECT_TRUE(slots_hold(euc2unibe20932_table00, euc2unibe20932_table8f));
  // Every code is in the stored table, so the check itself never swaps.
  EXPECT_EQ(buf(hex_bytes("a4a2")), 5);
  EXPECT_TRUE(slots_hold(euc2unibecommon_table00));
  store_euc1();
  buf(repeat("a9a1", 25));  // ends on the 21st invalid code
  EXPECT_TRUE(slots_hold(euc2unibecommon_table00));
}

// 100 * 2^18 + 1 zero bytes on even offsets against 2^18 on odd ones: in
// single precision the share rounds to 2^18, which does not exceed the odd
// count, so the zero-byte rule leaves the mask alone.
TEST_F(Detect, ZeroByteShareIsTakenInSinglePrecision) {
  const size_t odd = size_t{1} << 18, even = 100 * odd + 1;
  Bytes text(2 * (even + odd), 'A');
  for (size_t i = 0; i < text.size(); i += 2)
    text[i < 2 * even ? i : i + 1] = 0;
  EXPECT_EQ(buf(text), 0xA040);
}

// Sentences from Python's codecs: cut at every length, and whole under
// every expected type with and without hints.

struct SentenceCase {
  std::string name;
  Bytes text;
  std::vector<int32_t> cuts;
  std::vector<std::array<int32_t, 3>> hints;  // expected, with, ignored
};

std::vector<SentenceCase> load_sentences() {
  std::ifstream in(std::string(KMV_TEST_DATA_DIR) + "/detect/cases.tsv");
  std::vector<SentenceCase> cases;
  std::string name, hexed, cuts, hints, item;
  while (std::getline(in, name, '\t') && std::getline(in, hexed, '\t') &&
         std::getline(in, cuts, '\t') && std::getline(in, hints)) {
    SentenceCase c{name, hex_bytes(hexed), {}, {}};
    for (std::stringstream s(cuts); std::getline(s, item, ',');) {
      c.cuts.push_back(std::stoi(item));
    }
    for (std::stringstream s(hints); std::getline(s, item, ',');) {
      const size_t colon = item.find(':'), under = item.find('_');
      c.hints.push_back({std::stoi(item.substr(0, colon)),
                         std::stoi(item.substr(colon + 1, under - colon - 1)),
                         std::stoi(item.substr(under + 1))});
    }
    cases.push_back(std::move(c));
  }
  return cases;
}

TEST_F(Detect, SentencesCutAtEveryLengthAndUnderEveryHint) {
  const std::vector<SentenceCase> cases = load_sentences();
  ASSERT_GE(cases.size(), 60u);
  for (const SentenceCase &c : cases) {
    ASSERT_EQ(c.cuts.size(), c.text.size() + 1) << c.name;
    for (size_t n = 0; n <= c.text.size(); ++n) {
      // An exactly sized copy, so that a read past the end shows.
      const Bytes prefix(c.text.begin(), c.text.begin() + static_cast<long>(n));
      EXPECT_EQ(buf(prefix), c.cuts[n]) << c.name << " cut at " << n;
    }
    for (const auto &[expected, with, ignored] : c.hints) {
      EXPECT_EQ(buf(c.text, expected), with) << c.name << " " << expected;
      EXPECT_EQ(buf(c.text, expected, true), ignored)
          << c.name << " " << expected;
    }
  }
  // Independent of the model: what a reader expects of whole sentences.
  // clang-format off
  const std::pair<const char *, int32_t> plain[] = {
      {"weather.euc", 5}, {"weather.jis", 2}, {"weather.utf8", 15},
      {"weather.utf8bom", 16}, {"weather.utf16be", 11}, {"weather.utf16le", 13},
      {"weather.utf16bom", 14}, {"kanji.euc", 5}, {"jisx0212.euc", 6},
      {"numero.euc", 6}, {"disputed.euc", 5}, {"halfwidth.sjis", 4},
      {"lines.sjis", 4}, {"lines.utf16be", 11}};
  // clang-format on
  for (const auto &[name, type] : plain) {
    const auto c =
        std::find_if(cases.begin(), cases.end(),
                     [&](const SentenceCase &s) { return s.name == name; });
    ASSERT_NE(c, cases.end()) << name;
    EXPECT_EQ(buf(c->text), type) << name;
  }
}

// Files.

class Files : public Detect {
 protected:
  void SetUp() override {
    Detect::SetUp();
    char pattern[] = "/tmp/kmv_detect_XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    dir_ = pattern;
  }
  void TearDown() override {
    kmv::max_buf_size = kmv::kDefaultMaxBufSize;
    std::filesystem::remove_all(dir_);
    Detect::TearDown();
  }
  std::string write(const std::string &name, const Bytes &b) {
    const std::string path = dir_ + "/" + name;
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char *>(b.data()),
               static_cast<std::streamsize>(b.size()));
    return path;
  }
  // Reads a file, expecting `status`; returns its bytes.
  Bytes read(const std::string &path, int32_t status) {
    unsigned char *data = nullptr;
    uint64_t len = 99;
    EXPECT_EQ(kmv_read_file(h_, &data, &len, path.c_str()), status) << path;
    EXPECT_EQ(data == nullptr && len == 99, status != 0);  // untouched
    Bytes out(data, data + (data ? len : 0));
    std::free(data);
    return out;
  }
  // Detects a file and hands back the bytes kept, which fill `kept`.
  int32_t keep(const std::string &path, Bytes &kept) {
    unsigned char byte = 0, *data = &byte;
    uint64_t len = 99;
    const int32_t result = kmv_path_keep(h_, &data, &len, path.c_str(), 0, 0);
    EXPECT_NE(data, &byte) << "not cleared";
    if (data == &byte) return result;
    EXPECT_EQ(data == nullptr, result < 0);
    EXPECT_TRUE(data != nullptr || len == 0) << "length not cleared";
    kept.assign(data, data + (data ? len : 0));
    std::free(data);
    return result;
  }
  std::string dir_;
  Bytes kept_;
};

TEST_F(Files, EmptyMissingDirectoryAndNegativeLimit) {
  const std::string empty = write("empty", {}), missing = dir_ + "/missing";
  const std::string small = write("small", hex_bytes("414243"));
  EXPECT_TRUE(read(empty, 0).empty());
  EXPECT_EQ(kmv_path(h_, empty.c_str(), 0, 0), 0);
  read(missing, KMV_ENOTEXISTS);
  EXPECT_EQ(kmv_path(h_, missing.c_str(), 0, 0), KMV_ENOTEXISTS);
  EXPECT_EQ(keep(missing, kept_), KMV_ENOTEXISTS);
  // A directory opens, but nothing can be read from it.
  read(dir_, KMV_EREAD);
  EXPECT_EQ(kmv_path(h_, dir_.c_str(), 0, 0), KMV_EREAD);
  // A negative limit is no buffer size at all, not even for an empty file.
  kmv::max_buf_size = -1;
  read(small, KMV_EALLOC);
  EXPECT_EQ(kmv_path(h_, small.c_str(), 0, 0), KMV_EALLOC);
  EXPECT_EQ(kmv_path(h_, empty.c_str(), 0, 0), KMV_EALLOC);
}

TEST_F(Files, KeptBuffersHoldTheFileUpToTheLimit) {
  const Bytes euc = hex_bytes("baa3c6fca4cfcec9a4a4c5b7b5a4a4c7a4b9a4cda1a3");
  const std::string path = write("euc.txt", euc);
  EXPECT_EQ(keep(path, kept_), 5);
  EXPECT_EQ(kept_, euc);
  EXPECT_EQ(kmv_path(h_, path.c_str(), 7, 1), 5);
  // 5000 hiragana in Shift_JIS, then a JIS escape behind the limit.
  kmv::max_buf_size = 8192;
  const Bytes text = repeat("82a0", 5000) + hex_bytes("1b2442");
  EXPECT_EQ(keep(write("long.txt", text), kept_), 0x100);
  EXPECT_EQ(kept_, Bytes(text.begin(), text.begin() + 8192));
  // Sparse files of 3 GiB and 4 GiB + 5, taking no disk. Read as a signed
  // 32-bit size, the first would be negative and the second 5 bytes.
  kmv::max_buf_size = kmv::kDefaultMaxBufSize;
  const std::string sparse = write("sparse", {});
  for (const uintmax_t size : {uintmax_t{3} << 30, (uintmax_t{4} << 30) + 5}) {
    std::filesystem::resize_file(sparse, size);
    EXPECT_EQ(read(sparse, 0).size(), 10485760u) << size;
    // Zeros only: no unit is text in either order, ASCII is left.
    EXPECT_EQ(kmv_path(h_, sparse.c_str(), 0, 0), 1);
  }
}

TEST_F(Files, WrittenFilesReadBackAndFailuresShow) {
  const Bytes text = hex_bytes("82b182f182c982bf82cd");
  const std::string path = dir_ + "/out.txt";
  ASSERT_EQ(kmv_write_file(h_, text.data(), text.size(), path.c_str()), 0);
  EXPECT_EQ(read(path, 0), text);
  ASSERT_EQ(kmv_write_file(h_, text.data(), 2, path.c_str()), 0);  // truncates
  EXPECT_EQ(read(path, 0), Bytes(text.begin(), text.begin() + 2));
  EXPECT_EQ(kmv_write_file(h_, text.data(), text.size(),
                           (dir_ + "/no/such/dir").c_str()),
            KMV_EWOPEN);
  // A full device takes the bytes into the stdio buffer and refuses them
  // when the file is closed: that is a failed write, not a success.
  if (access("/dev/full", W_OK) == 0) {
    EXPECT_EQ(kmv_write_file(h_, text.data(), text.size(), "/dev/full"),
              KMV_EWRITE);
  }
}

// Byte-order-mark relation and mask to type.

TEST(BomRelationAndMaskToType, FollowTheirTables) {
  const std::array<int32_t, 3> bom[] = {
      {11, 12, 1},  {12, 11, -1}, {13, 14, 1}, {14, 13, -1}, {15, 16, 1},
      {16, 15, -1}, {11, 13, 0},  {12, 13, 0}, {14, 15, 0},  {5, 6, 0},
      {10, 11, 0},  {16, 17, 0},  {11, 11, 0}};
  for (const auto &[src, dst, result] : bom) {
    EXPECT_EQ(kmv_cmp_bom(src, dst), result) << src << " " << dst;
  }
  const std::pair<int32_t, int32_t> masks[] = {
      {0x140, 4},         {0x300, 0x300}, {0x4000, 0x4000}, {4, 4},
      {-1, -65},          {0x80, 2},      {0x100, 4},       {0x200, 5},
      {0x400, 6},         {0x800, 7},     {0x1000, 8},      {0x2000, 11},
      {0x8000, 13},       {0x20040, 15},  {0xA040, 0xA000}, {0x10000, 0x10000},
      {0x40000, 0x40000}, {0x40, 1},  // ASCII alone fits only ASCII
  };
  for (const auto &[mask, type] : masks) {
    EXPECT_EQ(kmv_detect_by(mask), type) << std::hex << mask;
  }
}

}  // namespace
