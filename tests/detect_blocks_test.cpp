// The detector's block readings of UTF-8 and UTF-16 against their
// character-by-character readings, with a breaker at every position.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>
#include <vector>

#include "convert/utf8_decoder.h"
#include "detect/passes.h"
#include "detect/table_lookups.h"
#include "detect/utf8_blocks.h"
#include "test_data.h"

namespace {

using namespace std::string_literals;

std::string text_with(const std::vector<std::string> &pieces,
                      const std::string &bad, size_t at, std::mt19937 &rng,
                      size_t size = 100) {
  std::string text;
  while (text.size() < size) text += pieces[rng() % pieces.size()];
  return text.insert(at, bad);
}

TEST(DetectBlocks, Utf8BlockMatchesTheSequenceReading) {
  const std::vector<std::string> pieces = {"a", "\xC3\xA9", "\xE3\x81\x82",
                                           "\xEF\xBD\xB1"};
  std::mt19937 rng(5);
  for (const std::string bad : {"\x80", "\xC2", "\xE3\x81", "\xF0\x9F\x98\x80",
                                "\xF8", "\xE3\x81\x82"}) {
    for (size_t at = 0; at < 66; ++at) {
      const std::string text = text_with(pieces, bad, at, rng);
      const auto *p = reinterpret_cast<const unsigned char *>(text.data());
      size_t i = 0;
      int64_t sequences = 0;
      while (i < 64) {
        const auto seq = kmv::conv::read_utf8(p + i, p + text.size());
        if (seq.kind != seq.kWellFormed || seq.length == 4) break;
        i += seq.length;
        sequences += seq.length > 1;
      }
      const kmv::detect::Utf8Block want{i < 64 ? 0 : i, i < 64 ? 0 : sequences};
      const auto got = kmv::detect::utf8_block(p);
      ASSERT_EQ(got.length, want.length) << at;
      ASSERT_EQ(got.sequences, want.sequences) << at;
    }
  }
}

// With the table's last entry (an implausible noncharacter) cut off, the
// UTF-16 reading takes units one at a time. A long text has its blocks
// read with the table's rows summarized, where the level can.
TEST(DetectBlocks, Utf16UnitBlocksMatchTheUnitwiseReading) {
  const testdata::Handle whole, cut;
  ASSERT_EQ(whole->unibe_def_table[0xFFFF] & 3, 0);
  cut->unibe_def_table_size = 0xFFFF;
  // The first unit rules one order out; the rest are plain either way.
  const std::vector<std::string> pieces = {"\x42\x30", "\x71\xFF", "\x61\x4E"};
  std::mt19937 rng(9);
  for (const std::string &bad :
       {"\n\0"s, "\0\0"s, "\xFE\xFF"s, "\xFF\xFE"s, "\x00\xD8"s,
        "\x3D\xD8\x00\xDE"s, "\x30"s, "\xF0\xFF"s, "\x20\x1E"s, "\xE5\x2F"s}) {
    for (size_t at = 0; at <= 140; ++at) {
      const size_t size = at % 3 == 0 ? kmv::detect::kSummaryFrom : 160;
      std::string text = text_with(pieces, bad, at, rng, size);
      if (at % 2 != 0) std::reverse(text.begin(), text.end());
      text.insert(0, at % 2 != 0 ? "\x30\xA2" : "\xA2\x30");
      const auto *p = reinterpret_cast<const unsigned char *>(text.data());
      kmv::detect::Evidence fast, slow;
      kmv::detect::utf16_pass(whole, p, text.size(), fast);
      kmv::detect::utf16_pass(cut, p, text.size(), slow);
      const auto fields = [](const kmv::detect::Evidence &e) {
        return std::vector<int64_t>{e.candidates, e.end_flags, e.preference,
                                    e.be_good, e.le_good};
      };
      ASSERT_EQ(fields(fast), fields(slow)) << at;
    }
  }
}

}  // namespace
