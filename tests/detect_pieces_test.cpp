// The detector over a text that comes in pieces against the buffer detector
// over the whole text: answers and handles alike, wherever the buffer and
// the reads cut the text.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "detect/pieces_detector.h"
#include "test_data.h"

namespace {

using namespace std::string_literals;

struct Source {
  const std::string &text;
  size_t step;  // bytes per read; 0: a random number
  std::mt19937 rng{7};
  size_t at = 0;
  size_t fail_at = SIZE_MAX;
  size_t give_more = 0;  // a read that claims more than it was given room for
};

int64_t read_source(void *p, unsigned char *into, uint64_t most) {
  auto &s = *static_cast<Source *>(p);
  if (s.at >= s.fail_at) return -1;
  const size_t step = s.step != 0 ? s.step : 1 + s.rng() % 3000;
  const size_t n =
      std::min({static_cast<size_t>(most), s.text.size() - s.at, step});
  std::memcpy(into, s.text.data() + s.at, n);
  s.at += n;
  return static_cast<int64_t>(n + (n == most ? s.give_more : 0));
}

// Texts of every family, several times the smallest buffer, each also with
// a byte that may break a reading in its middle, or cut at an odd length.
std::vector<std::string> texts() {
  std::vector<std::string> out;
  std::mt19937 rng(11);
  for (const char *name : {"common.sjis", "common.eucjp", "common.jis",
                           "common.utf8", "common.utf16be", "common.utf16le",
                           "ext.sjis", "ext.utf8", "ext.utf16le"}) {
    const testdata::Bytes one =
        testdata::data_bytes(std::string("convert/") + name);
    std::string text;
    while (text.size() < 5000) text.append(one.begin(), one.end());
    out.push_back(text);
    for (const std::string &breaker : {"\x80"s, "\xFF"s, "\x1B$B"s, "\0"s}) {
      out.push_back(std::string(text).insert(rng() % text.size(), breaker));
    }
    out.push_back(text.substr(0, text.size() - 1));
    out.push_back(std::string(3000, 'a') + text);
  }
  return out;
}

void use_variant(kmv_handle *h) {
  h->euc2unibe_table00 = euc2unibems_table00;
  h->euc2unibe_table00_size = euc2unibems_table00_size;
}

std::vector<const void *> slots(const kmv_handle *h) {
  return {h->euc2unibe_table00, h->euc2unibe_table8f,
          reinterpret_cast<const void *>(h->euc2unibe_table00_size)};
}

TEST(DetectPieces, AnswersAsTheWholeText) {
  kmv_handle *whole = create_kmv(), *pieces = create_kmv();
  for (const std::string &text : texts()) {
    const auto *bytes = reinterpret_cast<const unsigned char *>(text.data());
    for (const int32_t expected : {0, 1, 4, 6, 8, 13}) {
      for (const unsigned char ignore : {0, 1}) {
        use_variant(whole);
        const int32_t want =
            kmv_buf(whole, bytes, text.size(), expected, ignore);
        for (const size_t buffer :
             {kmv::detect::kLeastPiecesBuffer, size_t{777}, size_t{4096}}) {
          for (const size_t step : {size_t{1}, size_t{3}, size_t{0}}) {
            Source src{text, step};
            use_variant(pieces);
            ASSERT_EQ(kmv::detect::detect_pieces(pieces, read_source, &src,
                                                 expected, ignore != 0, buffer),
                      want)
                << text.size() << ' ' << expected << ' ' << buffer << ' '
                << step;
            ASSERT_EQ(slots(pieces), slots(whole));
          }
        }
      }
    }
  }
  release_kmv(whole);
  release_kmv(pieces);
}

TEST(DetectPieces, FailedReadsAndEarlyEnds) {
  kmv_handle *h = create_kmv();
  const std::string text = "\x1B$B" + std::string(1 << 20, '\x80');
  Source jis{text, 4096};
  EXPECT_EQ(kmvx_detect_read(h, read_source, &jis, 0, 0), KMV_TYPE_JIS);
  EXPECT_LT(jis.at, text.size());  // decided at the start, read no further
  const std::string plain(1 << 20, 'a');
  for (const size_t fail_at : {size_t{0}, size_t{1} << 19}) {
    Source broken{plain, 4096};
    broken.fail_at = fail_at;
    EXPECT_EQ(kmvx_detect_read(h, read_source, &broken, 0, 0), KMV_EREAD);
  }
  Source lying{text, 4096};
  lying.give_more = 1;
  EXPECT_EQ(kmvx_detect_read(h, read_source, &lying, 0, 0), KMV_EREAD);
  EXPECT_EQ(kmvx_detect_read(h, nullptr, nullptr, 0, 0), KMV_EREAD);
  EXPECT_EQ(kmvx_detect_read(nullptr, read_source, &jis, 0, 0), KMV_EALLOC);
  release_kmv(h);
}

}  // namespace
