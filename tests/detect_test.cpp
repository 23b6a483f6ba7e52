// Encoding detection: lead-byte probes, the EUC-JP variant check, the
// decision step, the buffer detector, texts cut inside a character and
// detection of files.
//
// Expected answers are worked out from the detection rules by hand (the
// reasoning is given beside the rows of data/detect/rules.txt) or, for the
// sentence texts in data/detect/cases.tsv, by a separate plain reading of
// the rules (data/detect/model.py).
#include <gtest/gtest.h>
#include <unistd.h>

#include <array>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "core/settings.h"
#include "kmv.h"
#include "test_data.h"

namespace {

using testdata::Bytes;
using testdata::hex;
using testdata::pattern;
using testdata::operator+;

// The rows of data/detect/rules.txt of one kind, numbers read in any base;
// with `texts`, the first field is a text (testdata::pattern).
std::vector<std::vector<int64_t>> rules(const std::string &kind,
                                        std::vector<Bytes> *texts = nullptr) {
  std::vector<std::vector<int64_t>> out;
  for (const testdata::Row &r : testdata::rows("detect/rules.txt")) {
    if (r[0] != kind) continue;
    out.emplace_back();
    for (size_t i = texts ? 2 : 1; i < r.fields.size(); ++i)
      out.back().push_back(std::stoll(r[i], nullptr, 0));
    if (texts) texts->push_back(pattern(r[1]));
  }
  EXPECT_FALSE(out.empty()) << kind;
  return out;
}

class Detect : public ::testing::Test {
 protected:
  void SetUp() override { h_ = create_kmv(); }
  void TearDown() override {
    release_kmv(h_);
    kmv::max_buf_size = kmv::kDefaultMaxBufSize;
  }

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
// "reports nothing" shows. A row: expected type, bits, valid, invalid, cut
// (end flag 2), clean, and optionally how many bytes of the text to pass.
class EucCheck : public Detect {
 protected:
  void expect_check(const Bytes &text, const std::vector<int64_t> &c) {
    int32_t valid = -7, invalid = -7;
    uint32_t flags = 0x100, pref = 0xABCD;
    unsigned char clean = 9;
    const size_t len = c.size() > 6 ? size_t(c[6]) : text.size();
    EXPECT_EQ(check_euc(h_, &valid, &invalid, &flags, &pref, &clean,
                        int32_t(c[0]), text.data(), len),
              c[1]);
    EXPECT_EQ(valid, c[2]);
    EXPECT_EQ(invalid, c[3]);
    EXPECT_EQ(flags, c[4] ? 0x102u : 0x100u);
    EXPECT_EQ(clean, c[5]);
    EXPECT_EQ(pref, 0xABCDu);  // neither read nor written
  }
};

TEST_F(EucCheck, CountsScoresAndCuts) {
  std::vector<Bytes> texts;
  const auto cases = rules("euc", &texts);
  for (size_t i = 0; i < cases.size(); ++i) {
    SCOPED_TRACE("euc row " + std::to_string(i));
    expect_check(texts[i], cases[i]);
  }
}

TEST_F(EucCheck, OneByteCharactersAndSlotsOfTheHandle) {
  // With the EUC3 table in the handle, 0x85 (a C1 control) is a one-byte
  // character, also as the last byte.
  store_euc(euc2unibems_table00, euc2unibems_table00_size);
  expect_check(hex("85a4a285"), {0, 0x8, 1, 0, 0, 1});
  store_euc1();
  // Every code in the handle's (EUC1) table: the slots are not touched.
  expect_check(hex("a4a2a1c2"), {0, 0x8, 2, 0, 0, 1});
  EXPECT_TRUE(slots_hold(euc2unibe20932_table00, euc2unibe20932_table8f));
  // A code outside it goes through the EUC3 reading, which borrows the
  // slots and leaves the defaults behind; 85 is then no character.
  expect_check(hex("ada1a4a2"), {0, 0x60, 1, 0, 0, 1});
  EXPECT_TRUE(slots_hold(euc2unibecommon_table00));
  expect_check(hex("a4a285"), {0, 0, -7, -7, 0, 9});
}

TEST(Decision, FollowsItsStepsInOrder) {
  for (const auto &c : rules("decide")) {
    EXPECT_EQ(
        _detect(int32_t(c[0]), uint32_t(c[1]), uint32_t(c[2]), uint32_t(c[3])),
        c[4])
        << "expected " << c[0] << " candidates 0x" << std::hex << c[1]
        << " flags 0x" << c[2] << " preference 0x" << c[3];
  }
}

TEST_F(Detect, FollowsEachRule) {
  std::vector<Bytes> texts;
  const auto cases = rules("buf", &texts);
  for (size_t i = 0; i < cases.size(); ++i) {
    const auto &c = cases[i];
    EXPECT_EQ(buf(texts[i], int32_t(c[0]), c[1] != 0), c[2]) << "buf row " << i;
  }
  EXPECT_EQ(kmv_buf(h_, nullptr, 0, 0, 0), 0);
}

TEST_F(Detect, EucSlotsAreRestoredWhereTheEucReadingRuns) {
  store_euc1();
  EXPECT_EQ(buf(hex("616263")), 1);      // ASCII: no EUC reading
  EXPECT_EQ(buf(hex("1b2442a4a2")), 2);  // the escape decides first
  EXPECT_EQ(buf(hex("fffe4100")), 14);
  EXPECT_TRUE(slots_hold(euc2unibe20932_table00, euc2unibe20932_table8f));
  // Every code is in the stored table, so the check itself never swaps.
  EXPECT_EQ(buf(hex("a4a2")), 5);
  EXPECT_TRUE(slots_hold(euc2unibecommon_table00));
  store_euc1();
  buf(pattern("a9a1*25"));  // ends on the 21st invalid code
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
// every expected type with and without hints (fields: name, text, answer
// at each length, expected:with_ignored).
TEST_F(Detect, SentencesCutAtEveryLengthAndUnderEveryHint) {
  std::ifstream in(std::string(KMV_TEST_DATA_DIR) + "/detect/cases.tsv");
  std::map<std::string, Bytes> texts;
  std::string name, hexed, cuts, hints, item;
  while (std::getline(in, name, '\t') && std::getline(in, hexed, '\t') &&
         std::getline(in, cuts, '\t') && std::getline(in, hints)) {
    const Bytes text = texts[name] = hex(hexed);
    size_t n = 0;
    for (std::stringstream s(cuts); std::getline(s, item, ','); ++n) {
      // An exactly sized copy, so that a read past the end shows.
      const Bytes prefix(text.begin(), text.begin() + long(n));
      EXPECT_EQ(buf(prefix), std::stoi(item)) << name << " cut at " << n;
    }
    EXPECT_EQ(n, text.size() + 1) << name;
    int expected = 0, with = 0, ignored = 0;
    for (std::stringstream s(hints); std::getline(s, item, ',');) {
      std::sscanf(item.c_str(), "%d:%d_%d", &expected, &with, &ignored);
      EXPECT_EQ(buf(text, expected), with) << name << " " << expected;
      EXPECT_EQ(buf(text, expected, true), ignored) << name << " " << expected;
    }
  }
  ASSERT_GE(texts.size(), 60u);
  // Independent of the model: what a reader expects of whole sentences.
  for (const testdata::Row &r : testdata::rows("detect/rules.txt")) {
    if (r[0] == "sentence") {
      EXPECT_EQ(buf(texts.at(r[1])), std::stoi(r[2])) << r[1];
    }
  }
}

// Lines of real text (data rows "line"): name, text, type, width of the
// first character in bytes.
TEST_F(Detect, UtfEightCutInsideItsLastCharacterAnswersTheUtfEightMask) {
  for (const testdata::Row &l : testdata::rows("detect/rules.txt")) {
    if (l[0] != "line" || l[3] != "15") continue;
    const Bytes line = hex(l[2]);
    for (long j = 1; j < std::stol(l[4]); ++j) {
      const Bytes text =
          pattern(l[2] + "*3") + Bytes(line.begin(), line.begin() + j);
      const std::pair<int32_t, bool> hints[] = {
          {0, false}, {15, false}, {4, true}};
      for (const auto &[expected, ignore] : hints)
        EXPECT_EQ(buf(text, expected, ignore), int32_t(KMV_MASK_UTF8))
            << l[1] << j;
    }
  }
}

TEST_F(Detect, OnlyAHighSurrogateBeforeALowOneIsText) {
  for (const auto &r : testdata::rows("detect/rules.txt")) {
    if (r[0] != "surrogates") continue;
    const Bytes be = hex(r[1]);
    Bytes le = be;
    for (size_t i = 0; i + 1 < le.size(); i += 2) std::swap(le[i], le[i + 1]);
    EXPECT_EQ((buf(be, 0, 1) & KMV_MASK_UTF16BE) != 0, r[2] == "1") << r[1];
    EXPECT_EQ((buf(le, 0, 1) & KMV_MASK_UTF16LE) != 0, r[2] == "1") << r[1];
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
  // Detects a file and hands back the bytes kept, which fill `kept_`; the
  // answer must be what kmv_path gives.
  int32_t keep(const std::string &path) {
    unsigned char byte = 0, *data = &byte;
    uint64_t len = 99;
    const int32_t result = kmv_path_keep(h_, &data, &len, path.c_str(), 0, 0);
    EXPECT_EQ(kmv_path(h_, path.c_str(), 0, 0), result);
    EXPECT_NE(data, &byte) << "not cleared";
    if (data == &byte) return result;
    EXPECT_EQ(data == nullptr, result < 0);
    EXPECT_TRUE(data != nullptr || len == 0) << "length not cleared";
    kept_.assign(data, data + (data ? len : 0));
    std::free(data);
    return result;
  }
  std::string dir_;
  Bytes kept_;
};

TEST_F(Files, EmptyMissingDirectoryAndNegativeLimit) {
  const std::string empty = write("empty", {}), missing = dir_ + "/missing";
  const std::string small = write("small", hex("414243"));
  EXPECT_TRUE(read(empty, 0).empty());
  EXPECT_EQ(kmv_path(h_, empty.c_str(), 0, 0), 0);
  read(missing, KMV_ENOTEXISTS);
  EXPECT_EQ(keep(missing), KMV_ENOTEXISTS);
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
  const Bytes euc = hex("baa3c6fca4cfcec9a4a4c5b7b5a4a4c7a4b9a4cda1a3");
  const std::string path = write("euc.txt", euc);
  EXPECT_EQ(keep(path), 5);
  EXPECT_EQ(kept_, euc);
  EXPECT_EQ(kmv_path(h_, path.c_str(), 7, 1), 5);
  // 5000 hiragana in Shift_JIS, then a JIS escape behind the limit.
  kmv::max_buf_size = 8192;
  const Bytes text = pattern("82a0*5000 1b2442");
  EXPECT_EQ(keep(write("long.txt", text)), 0x100);
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

// A character split by the read limit is no evidence against the
// encoding: the file answers as its text cut back to the boundary.
TEST_F(Files, LimitInsideACharacterIsNoEvidence) {
  for (const testdata::Row &l : testdata::rows("detect/rules.txt")) {
    if (l[0] != "line") continue;
    const Bytes line = hex(l[2]);
    const size_t whole = (8192 / line.size() + 1) * line.size();
    const Bytes text =
        pattern(l[2] + "*" + std::to_string(whole / line.size() + 2));
    const std::string path = write("text", text);
    EXPECT_EQ(buf(Bytes(text.begin(), text.begin() + long(whole))),
              std::stoi(l[3]));
    for (size_t j = 0; j < std::stoul(l[4]); ++j) {
      kmv::max_buf_size = static_cast<int32_t>(whole + j);
      EXPECT_EQ(keep(path), std::stoi(l[3])) << l[1] << j;
      EXPECT_EQ(kept_.size(), whole + j);  // the buffer stays as read
    }
  }
  // A file that ends exactly at the limit was not cut: its last Shift_JIS
  // lead byte rules Shift_JIS out as before.
  const Bytes text =
      pattern("8da193fa82cd97c782a293568b4382c582b782cb81420a*400 82");
  kmv::max_buf_size = static_cast<int32_t>(text.size());
  EXPECT_EQ(keep(write("exact", text)), 0x100);
  EXPECT_EQ(buf(text), 0x100);
}

TEST_F(Files, WrittenFilesReadBackAndFailuresShow) {
  const Bytes text = hex("82b182f182c982bf82cd");
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

TEST(BomRelationAndMaskToType, FollowTheirTables) {
  for (const auto &c : rules("bom"))
    EXPECT_EQ(kmv_cmp_bom(int32_t(c[0]), int32_t(c[1])), c[2])
        << c[0] << " " << c[1];
  for (const auto &c : rules("mask"))
    EXPECT_EQ(kmv_detect_by(int32_t(c[0])), c[1]) << std::hex << c[0];
}

}  // namespace
