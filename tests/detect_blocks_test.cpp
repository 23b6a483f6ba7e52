// The detector's block readings of UTF-8 and UTF-16 against their
// character-by-character readings, with a malformed or implausible
// character at every position of a block.
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "detect/candidates.h"
#include "detect/passes.h"
#include "detect/utf8_blocks.h"
#include "kmv.h"

namespace {

using kmv::detect::Evidence;
using namespace std::string_literals;

std::vector<int64_t> fields(const Evidence &e) {
  return {e.candidates, e.end_flags, e.preference, e.be_good, e.le_good};
}

std::string random_text(const std::vector<std::string> &pieces,
                        std::mt19937 &rng, size_t min_len) {
  std::string text;
  while (text.size() < min_len) text += pieces[rng() % pieces.size()];
  return text;
}

// What the byte-wise reading makes of the 64 bytes at p: the bytes read
// and sequences counted when ASCII and lenient two- and three-byte forms
// take it past the block, else nothing.
kmv::detect::Utf8Block utf8_block_bytewise(const unsigned char *p) {
  size_t i = 0;
  int64_t sequences = 0;
  while (i < 64) {
    const unsigned c = p[i];
    // By the top four bits: ASCII, continuation, two- and three-byte leads.
    const size_t width = "1111111100002230"[c >> 4] - '0';
    if (width == 0) return {0, 0};
    for (size_t k = 1; k < width; ++k) {
      if ((p[i + k] & 0xC0) != 0x80) return {0, 0};
    }
    sequences += width > 1;
    i += width;
  }
  return {i, sequences};
}

TEST(DetectBlocks, Utf8BlockMatchesTheBytewiseReading) {
  const std::vector<std::string> pieces = {
      "a", "\n", "\xC3\xA9", "\xE3\x81\x82", "\xE6\xBC\xA2", "\xEF\xBD\xB1"};
  const std::vector<std::string> breakers = {
      "\x80", "\xBF", "\xC2", "\xE3\x81", "\xF0\x9F\x98\x80", "\xF8", "\xFF"};
  std::mt19937 rng(5);
  for (int round = 0; round < 300; ++round) {
    std::string text = random_text(pieces, rng, 72);
    if (round % 3 != 0)
      text.insert(rng() % 66, breakers[rng() % breakers.size()]);
    for (size_t from = 0; from < 3; ++from) {
      const auto *p =
          reinterpret_cast<const unsigned char *>(text.data() + from);
      const auto want = utf8_block_bytewise(p);
      const auto got = kmv::detect::utf8_block(p);
      ASSERT_EQ(got.length, want.length) << round;
      ASSERT_EQ(got.sequences, want.sequences) << round;
    }
  }
}

// The UTF-16 reading with the whole table (units taken eight at a time)
// and with its last entry cut off, an implausible noncharacter either way
// (units taken one at a time).
TEST(DetectBlocks, Utf16UnitBlocksMatchTheUnitwiseReading) {
  kmv_handle *whole = create_kmv();
  kmv_handle *cut = create_kmv();
  ASSERT_EQ(whole->unibe_def_table_size, 0x10000u);
  ASSERT_EQ(whole->unibe_def_table[0xFFFF] & 3, 0);
  cut->unibe_def_table_size = 0xFFFF;
  const std::vector<std::string> pieces = {"a\0"s, "\x42\x30", "\x22\x6F",
                                           "\xA2\x30", "\x71\xFF"};
  const std::vector<std::string> breakers = {
      "\n\0"s,     "\0\0"s,     "\xFE\xFF",
      "\xFF\xFE",  "\x00\xD8"s, "\x3D\xD8\x00\xDE"s,
      "\x30\x00"s, "\x30",      "\x0A\x00\x00\x0A"s};
  std::mt19937 rng(9);
  for (int round = 0; round < 100; ++round) {
    const std::string text = random_text(pieces, rng, 96);
    for (const std::string &bad : breakers) {
      for (size_t at = 0; at <= 40; at += 2) {
        for (const bool swap : {false, true}) {
          std::string broken = text;
          broken.insert(at, bad);
          if (swap) {
            for (size_t k = 0; k + 1 < broken.size(); k += 2)
              std::swap(broken[k], broken[k + 1]);
          }
          const auto *p =
              reinterpret_cast<const unsigned char *>(broken.data());
          Evidence fast, slow;
          kmv::detect::utf16_pass(whole, p, broken.size(), fast);
          kmv::detect::utf16_pass(cut, p, broken.size(), slow);
          ASSERT_EQ(fields(fast), fields(slow)) << round << ' ' << at;
        }
      }
    }
  }
  release_kmv(whole);
  release_kmv(cut);
}

}  // namespace
