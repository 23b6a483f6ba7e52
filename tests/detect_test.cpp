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

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "core/settings.h"
#include "kmv.h"
#include "legacy_vectors.h"

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
  for (const testdata::Row &r : testdata::rows("detect/rules.txt", kind)) {
    out.emplace_back();
    for (size_t i = texts ? 2 : 1; i < r.fields.size(); ++i)
      out.back().push_back(std::stoll(r[i], nullptr, 0));
    if (texts) texts->push_back(pattern(r[1]));
  }
  return out;
}

class Detect : public ::testing::Test {
 protected:
  void TearDown() override { kmv::max_buf_size = kmv::kDefaultMaxBufSize; }

  int32_t buf(const Bytes &b, int32_t expected = 0, bool ignore = false) {
    return kmv_buf(h_, b.data(), b.size(), expected, ignore ? 1 : 0);
  }
  bool slots_hold(const uint16_t *t00, const uint16_t *t8f = nullptr) const {
    return h_->euc2unibe_table00 == t00 && h_->euc2unibe_table8f == t8f &&
           h_->euc2unibe_table8f_size == (t8f ? 60900u : 0u);
  }
  testdata::Handle h_;
};

TEST(Probes, AnswerFromTheHandlesTablesWithinTheirCounts) {
  const std::map<std::string, decltype(&is_sjis_possible)> probes = {
      {"sjis", is_sjis_possible},
      {"euc", is_euc_possible},
      {"euc8f", is_euc_possible8f},
      {"unibe", is_unibe_possible},
      {"unile", is_unile_possible}};
  for (const testdata::Row &r : testdata::rows("detect/rules.txt", "probe")) {
    testdata::Handle h;
    if (r[2] == "no sjis")
      h->sjis2unibe_table = nullptr;
    else if (r[2].starts_with("sjis<"))
      h->sjis2unibe_table_size = std::stoul(r[2].substr(5), nullptr, 0);
    else if (r[2].starts_with("euc "))
      legacy::select_euc_decoding(h, r[2].substr(4));
    EXPECT_EQ(probes.at(r[1])(r[2] == "no handle" ? nullptr : h.h,
                              uint32_t(std::stoul(r[3], nullptr, 0))),
              std::stoi(r[4]))
        << "line " << r.line;
  }
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
  legacy::select_euc_decoding(h_, "ms");
  expect_check(hex("85a4a285"), {0, 0x8, 1, 0, 0, 1});
  legacy::select_euc_decoding(h_, "20932");
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
  legacy::select_euc_decoding(h_, "20932");
  EXPECT_EQ(buf(hex("616263")), 1);      // ASCII: no EUC reading
  EXPECT_EQ(buf(hex("1b2442a4a2")), 2);  // the escape decides first
  EXPECT_EQ(buf(hex("fffe4100")), 14);
  EXPECT_TRUE(slots_hold(euc2unibe20932_table00, euc2unibe20932_table8f));
  // Every code is in the stored table, so the check itself never swaps.
  EXPECT_EQ(buf(hex("a4a2")), 5);
  EXPECT_TRUE(slots_hold(euc2unibecommon_table00));
  legacy::select_euc_decoding(h_, "20932");
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
  std::map<std::string, Bytes> texts;
  for (const testdata::Row &r : testdata::rows("detect/cases.tsv", '\t')) {
    const Bytes text = texts[r[0]] = hex(r[1]);
    const auto cuts = testdata::split(r[2], ',');
    ASSERT_EQ(cuts.size(), text.size() + 1) << r[0];
    for (size_t n = 0; n < cuts.size(); ++n) {
      // An exactly sized copy, so that a read past the end shows.
      const Bytes prefix(text.begin(), text.begin() + long(n));
      EXPECT_EQ(buf(prefix), std::stoi(cuts[n])) << r[0] << " cut at " << n;
    }
    int expected = 0, with = 0, ignored = 0;
    for (const std::string &item : testdata::split(r[3], ',')) {
      std::sscanf(item.c_str(), "%d:%d_%d", &expected, &with, &ignored);
      EXPECT_EQ(buf(text, expected), with) << r[0] << " " << expected;
      EXPECT_EQ(buf(text, expected, true), ignored) << r[0] << " " << expected;
    }
  }
  ASSERT_GE(texts.size(), 60u);
  // Independent of the model: what a reader expects of whole sentences.
  for (const testdata::Row &r : testdata::rows("detect/rules.txt", "sentence"))
    EXPECT_EQ(buf(texts.at(r[1])), std::stoi(r[2])) << r[1];
}

// Lines of real text (data rows "line"): name, text, type, width of the
// first character in bytes.
TEST_F(Detect, UtfEightCutInsideItsLastCharacterAnswersTheUtfEightMask) {
  for (const testdata::Row &l : testdata::rows("detect/rules.txt", "line")) {
    if (l[3] != "15") continue;
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
  for (const auto &r : testdata::rows("detect/rules.txt", "surrogates")) {
    const Bytes be = hex(r[1]);
    Bytes le = be;
    for (size_t i = 0; i + 1 < le.size(); i += 2) std::swap(le[i], le[i + 1]);
    EXPECT_EQ((buf(be, 0, 1) & KMV_MASK_UTF16BE) != 0, r[2] == "1") << r[1];
    EXPECT_EQ((buf(le, 0, 1) & KMV_MASK_UTF16LE) != 0, r[2] == "1") << r[1];
  }
}

// Files.

class Files : public Detect, public testdata::TempDir {
 protected:
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
  Bytes kept_;
};

TEST_F(Files, EmptyMissingDirectoryAndNegativeLimit) {
  const std::string empty = file("empty", Bytes{}), missing = path("missing");
  const std::string small = file("small", hex("414243"));
  EXPECT_TRUE(read(empty, 0).empty());
  EXPECT_EQ(kmv_path(h_, empty.c_str(), 0, 0), 0);
  read(missing, KMV_ENOTEXISTS);
  EXPECT_EQ(keep(missing), KMV_ENOTEXISTS);
  // A directory opens, but nothing can be read from it.
  read(dir, KMV_EREAD);
  EXPECT_EQ(kmv_path(h_, dir.c_str(), 0, 0), KMV_EREAD);
  // A negative limit is no buffer size at all, not even for an empty file.
  kmv::max_buf_size = -1;
  read(small, KMV_EALLOC);
  EXPECT_EQ(kmv_path(h_, small.c_str(), 0, 0), KMV_EALLOC);
  EXPECT_EQ(kmv_path(h_, empty.c_str(), 0, 0), KMV_EALLOC);
}

TEST_F(Files, KeptBuffersHoldTheFileUpToTheLimit) {
  const Bytes euc = hex("baa3c6fca4cfcec9a4a4c5b7b5a4a4c7a4b9a4cda1a3");
  const std::string path = file("euc.txt", euc);
  EXPECT_EQ(keep(path), 5);
  EXPECT_EQ(kept_, euc);
  EXPECT_EQ(kmv_path(h_, path.c_str(), 7, 1), 5);
  // 5000 hiragana in Shift_JIS, then a JIS escape behind the limit.
  kmv::max_buf_size = 8192;
  const Bytes text = pattern("82a0*5000 1b2442");
  EXPECT_EQ(keep(file("long.txt", text)), 0x100);
  EXPECT_EQ(kept_, Bytes(text.begin(), text.begin() + 8192));
  // Sparse files of 3 GiB and 4 GiB + 5, taking no disk. Read as a signed
  // 32-bit size, the first would be negative and the second 5 bytes.
  kmv::max_buf_size = kmv::kDefaultMaxBufSize;
  const std::string sparse = file("sparse", Bytes{});
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
  for (const testdata::Row &l : testdata::rows("detect/rules.txt", "line")) {
    const Bytes line = hex(l[2]);
    const size_t whole = (8192 / line.size() + 1) * line.size();
    const Bytes text =
        pattern(l[2] + "*" + std::to_string(whole / line.size() + 2));
    const std::string path = file("text", text);
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
  EXPECT_EQ(keep(file("exact", text)), 0x100);
  EXPECT_EQ(buf(text), 0x100);
}

TEST_F(Files, WrittenFilesReadBackAndFailuresShow) {
  const Bytes text = hex("82b182f182c982bf82cd");
  const std::string out = path("out.txt");
  ASSERT_EQ(kmv_write_file(h_, text.data(), text.size(), out.c_str()), 0);
  EXPECT_EQ(read(out, 0), text);
  ASSERT_EQ(kmv_write_file(h_, text.data(), 2, out.c_str()), 0);  // truncates
  EXPECT_EQ(read(out, 0), Bytes(text.begin(), text.begin() + 2));
  EXPECT_EQ(
      kmv_write_file(h_, text.data(), text.size(), path("no/such/dir").c_str()),
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
