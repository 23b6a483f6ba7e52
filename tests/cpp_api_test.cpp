// The C++ interface (kmv.hpp), used as a program would use it. Expected
// bytes come from the published code page 932, JIS X 0208 and JIS X 0212
// mappings.
#include <gtest/gtest.h>

#include <string>
#include <string_view>
#include <vector>

#include "kmv.hpp"
#include "test_data.h"

namespace {

using kmv::encoding;
using namespace std::string_literals;
using namespace std::string_view_literals;

const char kCases[] = "cpp/conversions.txt";

TEST(CppNames, LibraryNamesInAnyCaseAndCommonAliases) {
  for (const testdata::Row &c : testdata::rows(kCases, "parse")) {
    const auto e = kmv::parse_encoding(c[1]);
    EXPECT_EQ(e ? std::string(kmv::name(*e)) : "", c[2]) << "line " << c.line;
  }
  for (encoding e : kmv::all_encodings) {
    EXPECT_EQ(kmv::parse_encoding(kmv::name(e)), e) << kmv::name(e);
  }
}

TEST(CppDetect, DecidedUndecidedAndNone) {
  kmv::handle h;
  auto bom = h.detect("\xEF\xBB\xBFx"sv);
  ASSERT_TRUE(bom && bom->decided());
  EXPECT_EQ(bom->type(), encoding::utf8_bom);

  // Four ASCII letters fit ASCII and both UTF-16 byte orders.
  auto letters = h.detect("abcd"sv);
  ASSERT_TRUE(letters);
  EXPECT_FALSE(letters->decided());
  EXPECT_EQ(letters->raw, 0xA040);
  EXPECT_EQ(letters->candidates().names(), "ASCII;UTF16BE;UTF16LE");
  auto preferred = h.detect("abcd"sv, encoding::utf16be);
  EXPECT_EQ(preferred->candidates().list(), std::vector{encoding::utf16be});
  EXPECT_EQ(h.detect("abcd"sv, encoding::utf16be, true)->raw, 0xA040);

  // A Shift_JIS hiragana: narrowed to Shift_JIS, still a candidate set.
  const std::byte kana[] = {std::byte{0x82}, std::byte{0xA0}};
  auto narrowed = h.detect(std::span<const std::byte>(kana));
  EXPECT_FALSE(narrowed->decided());
  EXPECT_EQ(narrowed->candidates().list(), std::vector{encoding::sjis});

  EXPECT_TRUE(h.detect(""sv)->none());
  EXPECT_TRUE(h.detect("\xFF\xFF\xFF"sv)->candidates().empty());
}

encoding named(const std::string &name) {
  return name == "Unknown" ? encoding::unknown : *kmv::parse_encoding(name);
}

TEST(CppConvert, EveryFamilyVariantAndByteOrderMark) {
  kmv::handle h;
  for (const testdata::Row &c : testdata::rows(kCases, "convert")) {
    auto out = h.convert(testdata::str(c[3]), named(c[1]), named(c[2]));
    ASSERT_TRUE(out) << "line " << c.line << ": " << out.error().name();
    EXPECT_EQ(out->bytes.str(), testdata::str(c[4])) << "line " << c.line;
    EXPECT_EQ(out->unconvertible, std::stoul(c[5])) << "line " << c.line;
  }
  // Detection resets the handle's EUC slots; conversion selects them again.
  (void)h.detect("\xA4\xA2"sv);
  auto again =
      h.convert("\x8F\xA2\xC3"sv, encoding::euc_cp20932, encoding::utf8);
  ASSERT_TRUE(again);
  EXPECT_EQ(again->bytes.view(), "\xC2\xA6");
}

TEST(CppConvert, UnconvertibleCharactersAreCountedWithPlaceAndCode) {
  kmv::handle h;
  auto out = h.convert("a\xC2\xA9z\xC2\xA9"sv, encoding::utf8, encoding::sjis);
  ASSERT_TRUE(out);
  EXPECT_EQ(out->bytes.view(), "a?z?");
  EXPECT_EQ(out->unconvertible, 2u);
  ASSERT_TRUE(out->first && out->last);
  EXPECT_EQ(out->first->offset, 1u);
  EXPECT_EQ(out->first->code, 0xA9);
  EXPECT_EQ(out->last->offset, 4u);
  auto clean = h.convert("abc"sv, encoding::utf8, encoding::sjis);
  EXPECT_EQ(clean->unconvertible, 0u);
  EXPECT_FALSE(clean->first);
}

TEST(CppConvert, FailuresAreValues) {
  kmv::handle h;
  auto cut = h.convert("abc\x88"sv, encoding::sjis, encoding::utf8);
  ASSERT_FALSE(cut);
  EXPECT_EQ(cut.error().status, KMV_EUEXPEOD);
  EXPECT_EQ(cut.error().offset, 3u);
  EXPECT_EQ(cut.error().message(), "予期せぬデータの終わり");
  EXPECT_EQ(cut.error().what(), "the text ends inside a character");

  auto ascii = h.convert("abc"sv, encoding::utf8, encoding::ascii);
  ASSERT_FALSE(ascii);
  EXPECT_EQ(ascii.error().status, KMV_ECTYPE);
  EXPECT_FALSE(h.convert("abc"sv, encoding::unknown, encoding::utf8));

  kmv::handle moved_from;
  kmv::handle taker = std::move(moved_from);
  EXPECT_FALSE(moved_from);
  EXPECT_EQ(
      moved_from.convert("a"sv, encoding::sjis, encoding::utf8).error().status,
      KMV_EALLOC);
}

std::vector<std::string> lines_of(kmv::line_reader reader,
                                  std::vector<kmv::error> *errors = nullptr) {
  std::vector<std::string> lines;
  while (auto next = reader.next()) {
    if (!*next) {
      if (errors != nullptr) errors->push_back(next->error());
      continue;
    }
    lines.emplace_back((*next)->view());
  }
  return lines;
}

TEST(CppLines, LineEndsOfEachFamily) {
  kmv::handle h;
  for (const testdata::Row &c : testdata::rows(kCases, "lines")) {
    const std::string text = testdata::str(c[2]);
    const auto lines = testdata::split(c[3], ',');
    const auto chars = testdata::split(c[4], ' ');
    const auto offsets = testdata::split(c[5], ' ');
    kmv::line_reader reader(h, text, named(c[1]));
    for (size_t i = 0; i < lines.size(); ++i) {
      auto line = reader.next();
      ASSERT_TRUE(line && *line) << "line " << c.line << " item " << i;
      EXPECT_EQ((*line)->view(), testdata::str(lines[i])) << c.line;
      EXPECT_EQ((*line)->chars, std::stoi(chars.at(i))) << c.line;
      EXPECT_EQ((*line)->offset, std::stoul(offsets.at(i))) << c.line;
    }
    EXPECT_FALSE(reader.next()) << "line " << c.line;
  }
  const std::string long_line(200000, 'a');
  const std::string long_text = long_line + "\nend";
  EXPECT_EQ(lines_of(kmv::line_reader(h, long_text, encoding::utf8)),
            (std::vector<std::string>{long_line, "end"}));
  // CR as the last byte of the first 64 KiB, LF as the first behind them.
  const std::string before(65535, 'b');
  const std::string crlf_text = before + "\r\nc";
  EXPECT_EQ(lines_of(kmv::line_reader(h, crlf_text, encoding::sjis)),
            (std::vector<std::string>{before, "c"}));
}

TEST(CppLines, MalformedAndCutCharactersAreReported) {
  kmv::handle h;
  std::vector<kmv::error> errors;
  // ED 40 has no code page 932 mapping here: reported, then reading goes on.
  auto lines =
      lines_of(kmv::line_reader(h, "\xED\x40x\nok"sv, encoding::sjis), &errors);
  ASSERT_EQ(errors.size(), 1u);
  EXPECT_EQ(errors[0].status, KMV_ECHAR);
  EXPECT_EQ(lines.back(), "ok");

  errors.clear();
  // A lone byte behind the last UTF-16 unit.
  lines = lines_of(kmv::line_reader(h, "a\0b"sv, encoding::utf16le), &errors);
  EXPECT_EQ(lines, std::vector<std::string>{std::string("a\0", 2)});
  ASSERT_EQ(errors.size(), 1u);
  EXPECT_EQ(errors[0].status, KMV_EUEXPEOD);
  EXPECT_EQ(errors[0].offset, 2u);
}

TEST(CppFiles, ReadFileWholeOrNotAtAll) {
  const testdata::TempDir tmp;
  const std::string content(10000, 'k');
  const std::string path = tmp.file("read.txt", content);
  auto whole = kmv::read_file(path.c_str());
  ASSERT_TRUE(whole);
  EXPECT_EQ(whole->view(), content);
  kmv_set_max_buf_size(8192);
  auto shortened = kmv::read_file(path.c_str());
  kmv_set_max_buf_size(0);
  ASSERT_FALSE(shortened);
  EXPECT_EQ(shortened.error().status, KMV_EREAD);
  EXPECT_EQ(kmv::read_file(tmp.path("missing").c_str()).error().status,
            KMV_ENOTEXISTS);
}

}  // namespace
