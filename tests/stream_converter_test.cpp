// The piecewise converter against the whole-text conversion: every pair of
// encodings, real and hostile texts, cut everywhere.
#include <gtest/gtest.h>

#include <functional>
#include <random>
#include <string>
#include <vector>

#include "kmv.hpp"
#include "test_data.h"

namespace {

struct Outcome {
  std::string bytes;
  std::int32_t status = KMV_SUCCESS;
  std::optional<std::size_t> error_offset;
  std::uint64_t unconvertible = 0;
  std::optional<std::pair<std::uint64_t, std::int32_t>> first, last;
  bool operator==(const Outcome &) const = default;
};

Outcome whole(const std::string &text, kmv::encoding from, kmv::encoding to) {
  kmv::handle h;
  auto c = h.convert(text, from, to);
  if (!c) return {"", c.error().status, c.error().offset, 0, {}, {}};
  Outcome o{c->bytes.str(), KMV_SUCCESS, {}, c->unconvertible, {}, {}};
  if (c->first) o.first = {{c->first->offset, c->first->code}};
  if (c->last) o.last = {{c->last->offset, c->last->code}};
  return o;
}

// Pieces of the given sizes, taken in turn; the last size repeats.
Outcome piecewise(const std::string &text, kmv::encoding from, kmv::encoding to,
                  const std::vector<std::size_t> &sizes) {
  kmv::stream_converter conv(from, to);
  Outcome o;
  auto take = [&](const kmv::result<std::span<const std::byte>> &r) {
    if (!r) {
      o = {"", r.error().status, r.error().offset, 0, {}, {}};
      return false;
    }
    o.bytes.append(reinterpret_cast<const char *>(r->data()), r->size());
    return true;
  };
  std::size_t at = 0;
  for (std::size_t i = 0; at < text.size(); ++i) {
    const std::size_t n =
        std::min(sizes[std::min(i, sizes.size() - 1)], text.size() - at);
    if (!take(conv.feed(std::string_view(text).substr(at, n)))) return o;
    at += n;
  }
  if (!take(conv.finish())) return o;
  o.unconvertible = conv.unconvertible();
  if (conv.first()) o.first = {{conv.first()->offset, conv.first()->code}};
  if (conv.last()) o.last = {{conv.last()->offset, conv.last()->code}};
  return o;
}

std::string random_bytes(std::size_t n, unsigned seed, unsigned char low) {
  std::mt19937 gen(seed);
  std::string s(n, '\0');
  for (auto &c : s) c = static_cast<char>(low + gen() % (256u - low));
  return s;
}

// Texts in every source encoding: the sample in it, and hostile bytes.
std::vector<std::string> texts_for(kmv::encoding from) {
  const std::string utf8 =
      testdata::read_file(KMV_SAMPLES_DIR "/japanese.utf-8.txt");
  kmv::handle h;
  std::vector<std::string> texts;
  if (auto real = h.convert(utf8, kmv::encoding::utf8, from)) {
    texts.push_back(real->bytes.str());
    // A character cut at the end, and a mark in the middle.
    texts.push_back(real->bytes.str().substr(0, real->bytes.size() - 1));
    const std::string mark = std::string(kmv::bom_bytes(from));
    texts.push_back(real->bytes.str() + mark + real->bytes.str());
  }
  texts.push_back("a\r\nb\rc\n\r\n\xEF\xBB\xBF\xFE\xFF\x81\r\n");
  texts.push_back(
      "\x1B$Bxy\x1B(I12\x1B(B\x0E"
      "ab\x0Fz\x1B$"
      "Bq\x1B(J\x1B$@\x1B\x1B$\x1B(Q\x1B(B\x1B");
  texts.push_back("a\x1B\xE3\x1B\x60z");
  texts.push_back("\xFE\xFF\xD8\x00\xDC\x00\x00\x41\xD8\x00\x00\x0A\xFE\xFF");
  texts.push_back(random_bytes(3000, 1, 0));
  texts.push_back(random_bytes(3001, 2, 0x80));
  return texts;
}

// Every pair of encodings on the texts, whole against the piecewise
// converter with each list of piece sizes.
void expect_every_pair(
    const std::function<std::vector<std::string>(kmv::encoding)> &texts_of,
    const std::vector<std::vector<std::size_t>> &splits) {
  for (kmv::encoding from : kmv::all_encodings) {
    const auto texts = texts_of(from);
    for (kmv::encoding to : kmv::all_encodings) {
      for (std::size_t t = 0; t < texts.size(); ++t) {
        const Outcome expected = whole(texts[t], from, to);
        for (const auto &sizes : splits) {
          ASSERT_EQ(piecewise(texts[t], from, to, sizes), expected)
              << kmv::name(from) << " to " << kmv::name(to) << ", text " << t
              << ", first piece " << sizes.front();
        }
      }
    }
  }
}

TEST(StreamConverter, EveryPairEveryCutMatchesTheWholeText) {
  std::mt19937 gen(7);
  std::vector<std::vector<std::size_t>> splits = {
      {1}, {2}, {3}, {7}, {4096}, {5, 1, 9, 2, 64, 3, 1, 1, 700}};
  for (std::size_t n = 40; n <= 41; ++n)  // two random ones
    for (auto &s = splits.emplace_back(); s.size() < n;)
      s.push_back(1 + gen() % 50);
  expect_every_pair(texts_for, splits);
}

// Text without a safe place to cut is held up to a limit, then cut where
// the converters' own reading puts a character boundary.
TEST(StreamConverter, LongTextWithoutSafeCutsMatchesTheWholeText) {
  const std::size_t n = kmv::stream_converter::kHoldLimit * 2 + 11;
  const std::vector<std::string> texts = {random_bytes(n, 3, 0x80),
                                          std::string(n / 3, '\x88') +
                                              "\xE3\x81\x82" +
                                              random_bytes(n / 2, 4, 0x40),
                                          "\x1B$B" + random_bytes(n, 5, 0x21)};
  expect_every_pair([&](kmv::encoding) { return texts; },
                    {{4096}, {1000, 1, 33}});
}

}  // namespace

// The unconvertible record counts in offsets of the whole text, past 4 GiB
// too: one 1 MiB piece of ASCII is fed again and again between two
// characters that Shift_JIS lacks.
TEST(StreamConverter, RecordsOffsetsPastFourGiB) {
  const std::string ascii(std::size_t{1} << 20, 'a');
  const std::string lacking = "\xC3\xA9";  // U+00E9
  kmv::stream_converter conv(kmv::encoding::utf8, kmv::encoding::sjis);
  std::uint64_t fed = 0;
  const auto feed = [&](const std::string &piece) {
    ASSERT_TRUE(conv.feed(piece));
    fed += piece.size();
  };
  feed("x" + lacking);
  while (fed <= std::uint64_t{1} << 32) feed(ascii);
  const std::uint64_t late = fed;
  feed(lacking + "y");
  ASSERT_TRUE(conv.finish());
  EXPECT_EQ(conv.unconvertible(), 2u);
  ASSERT_TRUE(conv.first() && conv.last());
  EXPECT_EQ(conv.first()->offset, 1u);
  EXPECT_EQ(conv.last()->offset, late);
  EXPECT_EQ(conv.first()->code, 0xE9);
  EXPECT_EQ(conv.last()->code, 0xE9);
}
