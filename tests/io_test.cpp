// The stream layer on real temporary files: descriptors, the conversion
// step, line reading and file conversion. The sample texts under
// tests/data/io/ were written by Python's codecs (make_vectors.py); each is
// the expected result of converting any other into its encoding.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "io/tio.h"
#include "kmv.h"
#include "legacy_vectors.h"
#include "test_data.h"

namespace {

namespace fs = std::filesystem;

const auto read_bytes = testdata::read_file;
using testdata::str;

const unsigned char *bytes(const std::string &s) {
  return reinterpret_cast<const unsigned char *>(s.data());
}

std::string bytes_of(const unsigned char *data, int64_t len) {
  if (len < 0) return "<no length>";
  return std::string(reinterpret_cast<const char *>(data),
                     static_cast<size_t>(len));
}

struct Sample {
  const char *file;
  int32_t type;
};

const Sample kSamples[] = {{"sample.sjis", 4},         {"sample.euc", 5},
                           {"sample.jis", 2},          {"sample.utf16be", 11},
                           {"sample.utf16be_bom", 12}, {"sample.utf16le", 13},
                           {"sample.utf16le_bom", 14}, {"sample.utf8", 15},
                           {"sample.utf8_bom", 16}};

const int32_t kTargets[] = {1, 2, 4, 5, 6, 7, 8, 11, 12, 13, 14, 15, 16};

std::string sample_path(const char *file) {
  return std::string(KMV_TEST_DATA_DIR "/io/") + file;
}

int32_t open(const std::string &path, int32_t dst, int32_t mode = 0) {
  return kmv_io_open(path.c_str(), mode, 0, dst, nullptr);
}
int32_t open_sample(const char *file, int32_t dst) {
  return open(sample_path(file), dst);
}

// The sample in a target encoding: ASCII is written as Shift_JIS, and the
// sample's characters are the same in every EUC-JP variant.
std::string expected_text(int32_t type) {
  if (type == 1) type = 4;
  if (type >= 6 && type <= 8) type = 5;
  for (const Sample &s : kSamples) {
    if (s.type == type) return read_bytes(sample_path(s.file));
  }
  return "";
}

// A line's bytes and its number of characters.
using Line = std::pair<std::string, int32_t>;

// Splits a text of `type` at its LF units; the byte-order mark stays with
// the first line but is not counted. Characters are counted on the UTF-8
// form of the same text.
std::vector<Line> expected_lines(int32_t type) {
  const std::string text = expected_text(type);
  std::vector<int32_t> counts(1, 0);
  for (unsigned char c : read_bytes(sample_path("sample.utf8"))) {
    if (c == '\n')
      counts.push_back(0);
    else if ((c & 0xC0) != 0x80)
      ++counts.back();
  }
  const bool utf16 = type >= 11 && type <= 14;
  const size_t unit = utf16 ? 2 : 1;
  const std::string lf = !utf16       ? std::string("\n")
                         : type >= 13 ? std::string("\n\0", 2)
                                      : std::string("\0\n", 2);
  std::vector<Line> lines;
  size_t from = 0;
  for (size_t at = 0; at + unit <= text.size(); at += unit) {
    if (text.compare(at, unit, lf) != 0) continue;
    lines.push_back({text.substr(from, at - from), counts[lines.size()]});
    from = at + unit;
  }
  return lines;
}

class Io : public ::testing::Test, public testdata::TempDir {
 protected:
  void SetUp() override { close_all(); }
  void TearDown() override {
    close_all();
    kmv_set_max_buf_size(0);
  }
  static void close_all() {
    for (int32_t fd = 0; fd < KMV_IO_MAX_FILES; ++fd) kmv_io_close(fd);
  }
};

// ---- _copy and _convert -------------------------------------------------

TEST_F(Io, CopyAddsOrRemovesTheMarkOfTheSourceType) {
  for (const testdata::Row &c : testdata::rows("io/cases.txt", "copy")) {
    const std::string in = str(c[2]);
    unsigned char *out = nullptr;
    uint64_t len = 99;
    ASSERT_EQ(_copy(&out, &len, 0, bytes(in), in.size(), std::stoi(c[1])), 0);
    ASSERT_NE(out, nullptr);
    EXPECT_EQ(bytes_of(out, static_cast<int64_t>(len)), str(c[3])) << c.line;
    std::free(out);
  }
}

std::string convert(kmv_handle *h, int32_t src_type, int32_t dst_type,
                    const std::string &in, int32_t *status) {
  unsigned char *out = reinterpret_cast<unsigned char *>(1);
  uint64_t len = 99;
  *status = _convert(h, &out, &len, dst_type, bytes(in), in.size(), src_type);
  if (out == nullptr) return len == 0 ? "<null>" : "<null, length set>";
  std::string result = bytes_of(out, static_cast<int64_t>(len));
  std::free(out);
  return result;
}

TEST_F(Io, ConvertRefusesCopiesOrPicksTheConverter) {
  testdata::Handle h;
  // Sentinels show that no table slot is touched by a copy.
  h->euc2unibe_table8f = euc2unibems_table8f;
  h->unibe2euc_table4 = unibe2eucms_table;
  for (const testdata::Row &c : testdata::rows("io/cases.txt", "convert")) {
    const int32_t src = std::stoi(c[1]), dst = std::stoi(c[2]);
    int32_t status = -99;
    EXPECT_EQ(convert(h, src, dst, str(c[3]), &status),
              c[4] == "null" ? "<null>" : str(c[4]))
        << "line " << c.line;
    EXPECT_EQ(status, std::stoi(c[5])) << "line " << c.line;
    if (src == 16 && dst == 16) {
      EXPECT_EQ(h->euc2unibe_table00, euc2unibecommon_table00);
      EXPECT_EQ(h->euc2unibe_table8f, euc2unibems_table8f);
      EXPECT_EQ(h->unibe2euc_table4, unibe2eucms_table);
    }
  }
}

// Decoding tables follow the source variant, encoding tables the target's.
auto euc_slots(const kmv_handle *h) {
  return std::make_tuple(h->euc2unibe_table00, h->euc2unibe_table00_size,
                         h->euc2unibe_table8f, h->euc2unibe_table8f_size,
                         h->unibe2euc_table, h->unibe2euc_table_size,
                         h->unibe2euc_table4, h->unibe2euc_table4_size);
}
void expect_variants(const kmv_handle *h, int32_t from, int32_t to) {
  kmv_handle e{};
  legacy::select_euc_decoding(&e, legacy::kEucVariants[from - 5]);
  legacy::select_euc_encoding(&e, legacy::kEucVariants[to - 5]);
  EXPECT_EQ(euc_slots(h), euc_slots(&e)) << from << " to " << to;
}

TEST_F(Io, ConvertStoresTheEucVariantOfEachSide) {
  int32_t status = -99;
  for (int32_t from = 5; from <= 8; ++from) {
    for (int32_t to = 5; to <= 8; ++to) {
      if (from == to) continue;
      testdata::Handle h;
      convert(h, from, to, "\xA4\xA2", &status);
      EXPECT_EQ(status, 0);
      expect_variants(h, from, to);
    }
    testdata::Handle h;
    convert(h, from, 15, "\xA4\xA2", &status);
    expect_variants(h, from, 5);  // the encoding side keeps its default
    convert(h, 15, from, "\xE3\x81\x82", &status);
    expect_variants(h, from, from);  // and the decoding side what it had
  }
  // A1 C2 is U+2016 in the EUC1 tables; the EUC2 table has no code for it.
  testdata::Handle h;
  EXPECT_EQ(convert(h, 6, 7, "\xA1\xC2", &status), "?");
  EXPECT_EQ(h->err_count, 1u);
  EXPECT_EQ(h->err_first_code, 0x2016);
  // Opening a stream stores the target variant too.
  const int32_t fd = open_sample("sample.utf8", 8);
  ASSERT_GE(fd, 0);
  expect_variants(_get_kmv(fd), 5, 8);
}

// ---- descriptors --------------------------------------------------------

TEST_F(Io, TheHundredAndFirstOpenFailsAndTheLowestFreeIsReused) {
  const std::string p = file("a.txt", "plain text\n");
  for (int32_t i = 0; i < KMV_IO_MAX_FILES; ++i) {
    ASSERT_EQ(open(p, 15), i);
  }
  EXPECT_EQ(_getTIO(), -1);
  EXPECT_EQ(open(p, 15), KMV_EIOMAX);
  EXPECT_EQ(open(p, 15, 9), KMV_EIOMAX);
  EXPECT_EQ(kmv_io_close(5), 0);
  EXPECT_EQ(kmv_io_close(7), 0);
  EXPECT_EQ(_getTIO(), 5);
  EXPECT_EQ(open(p, 15), 5);
  EXPECT_EQ(open(p, 15), 7);
}

TEST_F(Io, BadModesDescriptorsAndFailedOpens) {
  const std::string p = file("a.txt", "plain text\n");
  int32_t detected = 77;
  EXPECT_EQ(kmv_io_open(p.c_str(), 4, 0, 15, &detected), KMV_EIOMODE);
  EXPECT_EQ(detected, 0);
  EXPECT_EQ(open(p, 15, -1), KMV_EIOMODE);
  EXPECT_EQ(open(path("missing"), 15), KMV_ENOTEXISTS);
  EXPECT_EQ(open(p, 3), KMV_ECTYPE);
  // Bytes no encoding fits are the end of input.
  EXPECT_EQ(open(file("junk", "\xFF\xFF\xFF"), 15), KMV_EOF);
  EXPECT_EQ(_getTIO(), 0);  // no failed open left a record in use
  EXPECT_EQ(_get_kmv(0), nullptr);

  const int32_t fd = open(p, 15, 1);
  ASSERT_EQ(fd, 0);
  EXPECT_NE(_get_kmv(fd), nullptr);
  unsigned char line[8];
  EXPECT_EQ(kmv_io_get_line(fd, line, 8, nullptr), KMV_EIOMODE);
  EXPECT_EQ(kmv_io_rewind(fd), KMV_EIOMODE);
  EXPECT_EQ(kmv_io_close(fd), 0);
  EXPECT_EQ(kmv_io_close(fd), KMV_EIONOTOPEN);
  for (int32_t bad : {-1, 100, INT32_MIN}) {
    EXPECT_EQ(kmv_io_close(bad), KMV_EIOFDRANGE);
    EXPECT_EQ(kmv_io_get_size(bad), KMV_EIOFDRANGE);
    EXPECT_EQ(kmv_io_rewind(bad), KMV_EIOFDRANGE);
    EXPECT_EQ(_get_kmv(bad), nullptr);
  }
  char text[8];
  for (int32_t r :
       {kmv_io_get_size(3), kmv_io_get_stype(3), kmv_io_get_dtype(3),
        kmv_io_get_errno(3), kmv_io_get_strerror(3, 2, text, 8, 15),
        kmv_io_get_line(3, line, 8, nullptr), kmv_io_rewind(3)}) {
    EXPECT_EQ(r, KMV_EIONOTOPEN);
  }
}

TEST_F(Io, ModesAndAccessors) {
  const int32_t can_read[] = {1, 0, 0, 1, 0}, can_write[] = {0, 1, 1, 1, 0};
  for (int32_t mode = 0; mode <= 4; ++mode) {
    EXPECT_EQ(kmv_io_is_can_read(mode), can_read[mode]) << mode;
    EXPECT_EQ(kmv_io_is_can_write(mode), can_write[mode]) << mode;
  }
  int32_t detected = 0;
  const int32_t fd =
      kmv_io_open(sample_path("sample.sjis").c_str(), 3, 4, 15, &detected);
  ASSERT_GE(fd, 0);
  EXPECT_EQ(detected, 4);
  EXPECT_EQ(kmv_io_get_stype(fd), 4);
  EXPECT_EQ(kmv_io_get_dtype(fd), 15);
  EXPECT_EQ(kmv_io_get_size(fd),
            static_cast<int32_t>(expected_text(15).size()));
  _get_kmv(fd)->last_errno = ENOENT;
  EXPECT_EQ(kmv_io_get_errno(fd), ENOENT);
  char text[6];
  EXPECT_EQ(kmv_io_get_strerror(fd, ENOENT, text, 6, 15), 5);
  EXPECT_EQ(std::string(text), std::string(std::strerror(ENOENT)).substr(0, 5));
  std::memset(text, '#', sizeof text);
  EXPECT_EQ(kmv_io_get_strerror(fd, ENOENT, text, -1, 15), 0);
  EXPECT_EQ(text[0], '#');
}

TEST_F(Io, OpenRecordsWhatItDidWithTheText) {
  for (const testdata::Row &c : testdata::rows("io/cases.txt", "open")) {
    const int32_t dst = std::stoi(c[2]);
    const int32_t fd = open_sample(c[1].c_str(), dst);
    ASSERT_GE(fd, 0) << c.line;
    EXPECT_EQ(kmv_io_get_ope_type(), std::stoi(c[3])) << c.line;
    EXPECT_EQ(kmv_io_is_decided(), 1);
    const kmv::TIO &record = kmv::tioInfo[fd];
    EXPECT_EQ(bytes_of(record.data, static_cast<int64_t>(record.size)),
              expected_text(dst));
    EXPECT_EQ(kmv_io_get_size(fd),
              static_cast<int32_t>(expected_text(dst).size()));
    kmv_io_close(fd);
  }
  EXPECT_EQ(kmv_io_get_ctype(), 4);
}

TEST_F(Io, UndecidedAndEmptyTextsAreRefusedButReported) {
  // Two bytes of Shift_JIS hiragana: the detector names SJIS only as a mask.
  const std::string p = file("kana.txt", "\x82\xA0");
  int32_t detected = 0;
  EXPECT_EQ(kmv_io_open(p.c_str(), 0, 0, 15, &detected), KMV_ECTYPE);
  EXPECT_EQ(detected, 0x100);
  EXPECT_EQ(kmv_io_is_decided(), 0);
  EXPECT_EQ(kmv_io_get_ctype(), 0x100);
  EXPECT_EQ(_getTIO(), 0);

  // Asking for the mask itself keeps the text, which no scanner can cut.
  const int32_t fd = open(p, 0x100);
  ASSERT_EQ(fd, 0);
  EXPECT_EQ(kmv_io_get_ope_type(), 1);
  unsigned char line[8];
  int32_t len = -5;
  EXPECT_EQ(kmv_io_get_line(fd, line, 8, &len), KMV_ECTYPE);
  EXPECT_EQ(len, -5);

  // An empty file opens only as unknown.
  const std::string e = file("empty.txt", "");
  EXPECT_EQ(open(e, 15), KMV_ECTYPE);
  const int32_t efd = open(e, 0);
  ASSERT_EQ(efd, 1);
  EXPECT_EQ(kmv_io_is_decided(), 1);
  EXPECT_EQ(kmv_io_get_size(efd), 0);
  EXPECT_EQ(kmv_io_get_line(efd, line, 8, nullptr), KMV_EOF);
}

// ---- reading lines ------------------------------------------------------

std::vector<Line> read_all(int32_t fd, int32_t line_size) {
  std::vector<Line> lines;
  std::vector<unsigned char> buf(static_cast<size_t>(line_size));
  for (int guard = 0; guard < 10000; ++guard) {
    int32_t len = -7;
    const int32_t r = kmv_io_get_line(fd, buf.data(), line_size, &len);
    if (r == KMV_EOF) {
      EXPECT_EQ(len, -7);  // untouched at the end
      return lines;
    }
    EXPECT_GE(r, 0);
    EXPECT_LE(len, line_size);
    if (r < 0 || len < 0 || len > line_size) return lines;
    lines.push_back({bytes_of(buf.data(), len), r});
  }
  ADD_FAILURE() << "reading did not end";
  return lines;
}

Line joined(const std::vector<Line> &lines) {
  Line all{"", 0};
  for (const Line &l : lines)
    all = {all.first + l.first, all.second + l.second};
  return all;
}

// A small buffer hands out every line in pieces that together make the
// line, with the same number of characters.
TEST_F(Io, EveryLineInEveryTargetAfterRewindAndInPieces) {
  for (int32_t dst : kTargets) {
    if (dst == 1) continue;  // Shift_JIS text under the ISO-2022-JP scanner
    SCOPED_TRACE(testing::Message() << "target " << dst);
    const int32_t fd = open_sample("sample.utf8", dst);
    ASSERT_GE(fd, 0);
    const std::vector<Line> want = expected_lines(dst);
    EXPECT_EQ(read_all(fd, 256), want);
    for (int32_t size : {5, 6, 7}) {
      EXPECT_EQ(kmv_io_rewind(fd), 0);
      EXPECT_EQ(joined(read_all(fd, size)), joined(want)) << "size " << size;
    }
    EXPECT_EQ(kmv_io_rewind(fd), 0);
    EXPECT_EQ(read_all(fd, 256), want);
    kmv_io_close(fd);
  }
}

TEST_F(Io, ABufferTooSmallForTheNextCharacterReadsNothing) {
  const int32_t fd = open_sample("sample.utf16be", 11);
  ASSERT_GE(fd, 0);
  unsigned char buf[7] = {'#', '#', '#', '#'};
  int32_t len = -7;
  for (int32_t size : {0, -5, INT32_MIN}) {
    EXPECT_EQ(kmv_io_get_line(fd, buf, size, &len), KMV_EUEXPEOD);
    EXPECT_EQ(len, 0);
    EXPECT_EQ(buf[0], '#');
  }
  EXPECT_EQ(kmv_io_get_line(fd, nullptr, 8, &len), KMV_EUEXPEOD);
  EXPECT_EQ(kmv_io_get_line(fd, buf, 1, &len), KMV_EUEXPEOD);
  // A larger buffer goes on from the same place.
  EXPECT_EQ(kmv_io_get_line(fd, buf, 2, &len), 1);
  EXPECT_EQ(bytes_of(buf, 2), "\x65\xE5");

  // An escape sequence is not split either, and pieces keep their mode.
  const int32_t jis = open_sample("sample.jis", 2);
  EXPECT_EQ(kmv_io_get_line(jis, buf, 2, &len), KMV_EUEXPEOD);
  EXPECT_EQ(kmv_io_get_line(jis, buf, 4, &len), 0);
  EXPECT_EQ(len, 3);
  kmv_io_rewind(jis);
  EXPECT_EQ(kmv_io_get_line(jis, buf, 7, &len), 2);  // ESC $ B and two kanji
  EXPECT_EQ(kmv::tioInfo[jis].jis_state, 1u);
  EXPECT_EQ(kmv_io_get_line(jis, buf, 7, &len), 3);  // a pair is not split
  EXPECT_EQ(len, 6);
}

TEST_F(Io, CutTextsBadBytesAndAnOpenShiftState) {
  for (const testdata::Row &c : testdata::rows("io/cases.txt", "lines")) {
    const int32_t fd = kmv_io_open(file("cut", str(c[2])).c_str(), 0, 0,
                                   std::stoi(c[1]), nullptr);
    ASSERT_GE(fd, 0);
    const auto results = testdata::split(c[3], ' ');
    const auto lines = testdata::split(c[4], ',');
    ASSERT_EQ(results.size(), lines.size()) << c.line;
    const int32_t size = c[5].empty() ? 32 : std::stoi(c[5]);
    for (int pass = 0; pass < 2; ++pass) {
      unsigned char buf[32];
      for (size_t i = 0; i < lines.size(); ++i) {
        int32_t len = -1;
        EXPECT_EQ(kmv_io_get_line(fd, buf, size, &len), std::stoi(results[i]))
            << "line " << c.line << " call " << i;
        EXPECT_EQ(bytes_of(buf, len), str(lines[i])) << c.line;
      }
      EXPECT_EQ(kmv_io_get_line(fd, buf, size, nullptr), KMV_EOF);
      EXPECT_EQ(kmv_io_rewind(fd), 0);
    }
    kmv_io_close(fd);
  }
}

// ---- whole files --------------------------------------------------------

TEST_F(Io, FileKindsAndDetectionByPath) {
  EXPECT_EQ(_check_stat(sample_path("sample.utf8").c_str()), 2);
  EXPECT_EQ(_check_stat(dir.c_str()), 1);
  EXPECT_EQ(_check_stat(path("missing").c_str()), 0);
  EXPECT_EQ(_check_stat("/dev/null"), 9);
  const std::string p = sample_path("sample.euc");
  testdata::Handle h;
  EXPECT_EQ(kmv_io_path(p.c_str(), 0), kmv_path(h, p.c_str(), 0, 0));
  EXPECT_EQ(kmv_io_path(p.c_str(), 7), kmv_path(h, p.c_str(), 7, 0));
  EXPECT_EQ(kmv_io_path(dir.c_str(), 0), KMV_ENOTFILE);
  EXPECT_EQ(kmv_io_path("/dev/null", 0), KMV_ENOTFILE);
  EXPECT_EQ(kmv_io_path(path("missing").c_str(), 0), KMV_ENOTEXISTS);
}

TEST_F(Io, WriteFileAdjustsTheMarkAndReportsFailures) {
  for (const testdata::Row &c : testdata::rows("io/cases.txt", "write")) {
    const std::string in = str(c[3]);
    ASSERT_EQ(_write_file(bytes(in), in.size(), path("out").c_str(),
                          std::stoi(c[1]), std::stoi(c[2])),
              0);
    EXPECT_EQ(read_bytes(path("out")), str(c[4])) << "line " << c.line;
  }
  const unsigned char byte = 'a';
  EXPECT_EQ(_write_file(&byte, 1, path("no/such/dir").c_str(), 15, 0),
            KMV_EWOPEN);
  // The device takes the buffered byte only at closing, and refuses it.
  if (access("/dev/full", W_OK) == 0) {
    EXPECT_EQ(_write_file(&byte, 1, "/dev/full", 15, 0), KMV_EWRITE);
    EXPECT_EQ(_write_file(&byte, 1, "/dev/full", 16, 1), KMV_EWRITE);
  }
}

TEST_F(Io, EverySourceIntoEveryTarget) {
  for (const Sample &s : kSamples) {
    for (int32_t dst : kTargets) {
      SCOPED_TRACE(testing::Message() << s.file << " to " << dst);
      const std::string out = path("out");
      ASSERT_EQ(kmv_io_convert_file(sample_path(s.file).c_str(), s.type,
                                    out.c_str(), dst),
                0);
      EXPECT_EQ(read_bytes(out), expected_text(dst));
      const int32_t bom = kmv_cmp_bom(s.type, dst);
      EXPECT_EQ(kmv_io_get_ope_type(), s.type == dst ? 1
                                       : bom > 0     ? 2
                                       : bom < 0     ? 3
                                                     : 4);
      EXPECT_EQ(kmv_io_is_decided(), 1);
      EXPECT_EQ(kmv_io_get_ctype(), s.type);
      fs::remove(out);
    }
  }
}

TEST_F(Io, FileConversionFailuresWriteNoTarget) {
  const std::string out = path("out");
  for (const testdata::Row &c : testdata::rows("io/cases.txt", "fail")) {
    const std::string src = c[1] == "dir"       ? dir
                            : c[1] == "missing" ? path("missing")
                                                : file("src", str(c[1]));
    const int32_t decided = std::stoi(c[4]), ctype = std::stoi(c[5]);
    EXPECT_EQ(kmv_io_convert_file(src.c_str(), 0, out.c_str(), std::stoi(c[2])),
              std::stoi(c[3]))
        << "line " << c.line;
    EXPECT_TRUE(decided < 0 || kmv_io_is_decided() == decided) << c.line;
    EXPECT_TRUE(ctype < 0 || kmv_io_get_ctype() == ctype) << c.line;
    EXPECT_FALSE(fs::exists(out));
  }
  EXPECT_EQ(kmv_io_convert_file(sample_path("sample.utf8").c_str(), 0,
                                path("no/such/dir").c_str(), 4),
            KMV_EWOPEN);
}

TEST_F(Io, ASourceLongerThanTheReadLimitIsRefused) {
  kmv_set_max_buf_size(8192);
  // The leading CR LF unit rules out UTF-16: the first bytes read as ASCII.
  const std::string text = "\r\n" + std::string(8998, 'a');
  const std::string src = file("long.txt", text);
  const std::string out = path("out");
  EXPECT_EQ(kmv_io_convert_file(src.c_str(), 0, out.c_str(), 15), KMV_EREAD);
  EXPECT_FALSE(fs::exists(out));
  EXPECT_EQ(kmv_io_get_ope_type(), 0);
  // Detection and opening still take the first bytes.
  EXPECT_EQ(kmv_io_path(src.c_str(), 0), 1);
  const int32_t fd = open(src, 1);
  ASSERT_GE(fd, 0);
  EXPECT_EQ(kmv_io_get_size(fd), 8192);
  // A source of exactly the limit converts.
  EXPECT_EQ(kmv_io_convert_file(file("fits.txt", text.substr(0, 8192)).c_str(),
                                0, out.c_str(), 15),
            0);
  EXPECT_TRUE(read_bytes(out) == text.substr(0, 8192));
}

TEST_F(Io, SignedSizesOfTheStreamForms) {
  // The read limit is widened with its sign and kept as -1 ...
  EXPECT_EQ(kmv_io_set_max_buf_size(-1), -1);
  EXPECT_EQ(kmv_io_get_max_buf_size(), -1);
  // which makes every whole-file read fail for want of memory.
  const std::string src = sample_path("sample.utf8");
  EXPECT_EQ(open(src, 15), KMV_EALLOC);
  EXPECT_EQ(kmv_io_convert_file(src.c_str(), 0, path("out").c_str(), 16),
            KMV_EALLOC);
  EXPECT_EQ(kmv_io_set_max_buf_size(0), 10485760);
  // ... while a negative buffer size leaves no room at all.
  char text[16];
  std::memset(text, '#', sizeof text);
  EXPECT_EQ(kmv_io_multi_type_names(text, -3, 0x300), 0);
  EXPECT_EQ(kmv_io_all_type_names(text, -3), 0);
  EXPECT_EQ(text[0], '#');
  EXPECT_EQ(kmv_io_multi_type_names(text, 9, 0x300), 8);
  EXPECT_STREQ(text, "SJIS;EUC");
}

}  // namespace
