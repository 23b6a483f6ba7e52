// Every vector level the CPU has converts and detects exactly as the SSE2
// baseline does: same bytes, same status, same recorded characters. The
// baseline's own results are what the rest of the suite checks.
#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "detect/byte_runs.h"
#include "detect/passes.h"
#include "detect/table_lookups.h"
#include "kmv.h"
#include "simd/level.h"
#include "test_data.h"

namespace {

using kmv::simd::Level;

// The converters of one source family (by name, testdata::converters),
// and what they and kmv_buf report.
struct Family {
  const char *source;
  std::vector<std::string> converters;
};

const std::vector<Family> &families() {
  static const std::vector<Family> all = {
      {"utf8", {"utf8to_unile", "utf8to_unibe", "utf8to_sjis", "utf8to_jis"}},
      {"utf16le",
       {"unileto_utf8", "unileto_unibe", "unileto_euc", "unileto_sjis"}},
      {"utf16be",
       {"unibeto_utf8", "unibeto_unile", "unibeto_sjis", "unibeto_euc"}},
      {"sjis", {"sjisto_unile", "sjisto_euc"}},
      {"eucjp", {"eucto_utf8", "eucto_sjis", "eucto_unibe", "eucto_unile"}},
      {"jis", {"jisto_unibe", "jisto_unile", "jisto_utf8", "jisto_euc"}},
  };
  return all;
}

// Everything one call tells its caller, as text.
std::string outcome(const std::string &name, kmv_handle *h,
                    const unsigned char *s, size_t n) {
  unsigned char *out = nullptr;
  uint64_t len = 0;
  const unsigned char *err = nullptr;
  const int32_t rc =
      testdata::converters().at(name)(h, &out, &len, &err, s, n, 0);
  std::ostringstream o;
  o << rc << ' ' << (err == nullptr ? -1 : err - s) << ' ' << h->err_count
    << ' ' << (h->err_first == nullptr ? -1 : h->err_first - s) << ' '
    << (h->err_last == nullptr ? -1 : h->err_last - s) << ' '
    << h->err_first_code << ' ' << h->err_last_code << ' '
    << std::string(reinterpret_cast<char *>(out), len);
  std::free(out);
  return o.str();
}

std::vector<std::string> outcomes(const Family &f, const unsigned char *s,
                                  size_t n) {
  testdata::Handle h;
  std::vector<std::string> all;
  for (const std::string &c : f.converters) all.push_back(outcome(c, h, s, n));
  all.push_back(std::to_string(kmv_buf(h, s, n, 0, 0)));
  return all;
}

// Runs `each` at every level the CPU has, the SSE2 baseline first, and
// restores the level chosen at start-up.
template <class Each>
void at_every_level(Each each) {
  const Level chosen = kmv::simd::current_level();
  for (Level level : kmv::simd::kLevels)
    if (kmv::simd::use_level(level)) each(level);
  kmv::simd::use_level(chosen);
}

// Runs the family on src placed `align` bytes past a 64-byte boundary.
void expect_same_at_every_level(const Family &f, const std::string &src,
                                const std::string &what, size_t align = 0) {
  std::vector<unsigned char> room(src.size() + 128);
  const auto base = reinterpret_cast<uintptr_t>(room.data());
  unsigned char *s = room.data() + ((64 - base % 64) % 64 + align % 64);
  std::memcpy(s, src.data(), src.size());
  std::vector<std::string> baseline;
  at_every_level([&](Level level) {
    const std::vector<std::string> got = outcomes(f, s, src.size());
    if (baseline.empty()) baseline = got;
    for (size_t i = 0; i < got.size(); ++i) {
      ASSERT_EQ(got[i], baseline[i])
          << f.source << ' ' << what << " at " << kmv::simd::level_name(level)
          << ": " << (i < f.converters.size() ? f.converters[i] : "kmv_buf");
    }
  });
}

// Real text of the family, repeated so that runs cross many blocks.
std::string real_text(const Family &f) {
  const testdata::Bytes one =
      testdata::data_bytes("convert/common." + std::string(f.source));
  std::string text;
  for (int i = 0; i < 6; ++i) text.append(one.begin(), one.end());
  return text;
}

// Characters of the family, one word each, from data/convert2/simd_text.txt:
// "pieces" mix as Japanese text does, "breakers" may break a run.
std::vector<std::string> characters(const std::string &kind,
                                    const std::string &source) {
  std::vector<std::string> out;
  for (const testdata::Row &r : testdata::rows("convert2/simd_text.txt")) {
    if (r[0] != kind || r[1] != source) continue;
    std::istringstream words(r[2]);
    for (std::string word; words >> word;) {
      const testdata::Bytes b = testdata::hex(word);
      out.emplace_back(b.begin(), b.end());
    }
  }
  EXPECT_FALSE(out.empty()) << kind << " " << source;
  return out;
}

std::string random_text(const std::string &source, std::mt19937 &rng,
                        size_t min_len) {
  const auto from = characters("pieces", source);
  std::string text;
  while (text.size() < min_len) {
    // Long runs of one class, as real text has, and single characters.
    const std::string &piece = from[rng() % from.size()];
    for (unsigned n = 1 + (rng() % 4 == 0 ? rng() % 80 : 0); n > 0; --n) {
      text += piece;
    }
  }
  return text;
}

TEST(SimdLevels, RealTextsFromEveryOffset) {
  for (const Family &f : families()) {
    const std::string text = real_text(f);
    for (size_t from = 0; from < 64; ++from) {
      expect_same_at_every_level(f, text.substr(from),
                                 "offset " + std::to_string(from), from);
    }
  }
}

TEST(SimdLevels, EveryLengthAtEveryAlignment) {
  std::mt19937 rng(17);
  for (const Family &f : families()) {
    const std::string text = random_text(f.source, rng, 320);
    for (size_t len = 0; len <= 256; ++len) {
      for (size_t align = 0; align < 64; align += 1 + len % 8) {
        expect_same_at_every_level(f, text.substr(len % 61, len),
                                   "length " + std::to_string(len), align);
      }
    }
  }
}

TEST(SimdLevels, BreakerAtEveryPositionOfABlock) {
  std::mt19937 rng(7);
  for (const Family &f : families()) {
    const std::string text = random_text(f.source, rng, 200);
    for (const std::string &bad : characters("breakers", f.source)) {
      for (size_t at = 0; at < 192; ++at) {
        std::string broken = text;
        broken.insert(at, bad);
        expect_same_at_every_level(f, broken,
                                   "breaker at " + std::to_string(at));
      }
    }
  }
}

TEST(SimdLevels, RandomBytes) {
  std::mt19937 rng(3);
  for (int round = 0; round < 200; ++round) {
    std::string bytes(rng() % 600, '\0');
    for (char &c : bytes)
      c = static_cast<char>(rng() % 4 == 0 ? rng() : rng() % 0x80);
    for (const Family &f : families())
      expect_same_at_every_level(f, bytes, "random");
  }
}

TEST(SimdLevels, BlockMasksMatchTheByteByByteReading) {
  std::mt19937 rng(11);
  unsigned char block[64];
  const auto fields = [](const auto &m) {
    return std::vector<uint64_t>{m.high, m.kana, m.zero, m.esc, m.kana_row};
  };
  at_every_level([&](Level level) {
    for (int round = 0; round < 2000; ++round) {
      for (unsigned char &b : block) b = static_cast<unsigned char>(rng());
      const auto want = kmv::detect::block_masks_portable(block);
      ASSERT_EQ(fields(kmv::detect::block_masks(block)), fields(want));
      const auto euc = kmv::detect::euc_block_masks(block);
      uint64_t shifts = 0;
      for (unsigned j = 0; j < 64; ++j)
        if (block[j] == 0x8E || block[j] == 0x8F) shifts |= uint64_t{1} << j;
      ASSERT_EQ(euc.high, want.high);
      ASSERT_EQ(euc.shift, shifts) << kmv::simd::level_name(level);
    }
  });
}

// 65 random bytes, those at the random bits returned (lead bytes) with the
// top bit set.
uint64_t random_leads(std::mt19937_64 &rng, unsigned char *block) {
  const uint64_t leads = rng() & rng();
  for (unsigned j = 0; j < 65; ++j)
    block[j] = static_cast<unsigned char>(
        rng() | (j < 64 && (leads >> j & 1) != 0 ? 0x80 : 0));
  return leads;
}

// Lead bytes at random bits, against the Shift_JIS table, a table cut
// inside the lead bytes' codes, and none.
TEST(SimdLevels, KnownCodesMatchTheBaseline) {
  testdata::Handle h;
  std::mt19937_64 rng(13);
  unsigned char block[65];
  for (int round = 0; round < 3000; ++round) {
    const uint64_t leads = random_leads(rng, block);
    const uint64_t counts[] = {0, 0x8A40, h->sjis2unibe_table_size};
    const uint64_t count = counts[round % 3];
    const uint16_t *t = count != 0 ? h->sjis2unibe_table : nullptr;
    std::set<uint32_t> found;
    at_every_level([&](Level) {
      found.insert(kmv::detect::known_codes(block, leads, t, count));
    });
    ASSERT_EQ(found.size(), 1u) << round;
  }
}

}  // namespace

// Tables whose rows share at most 16 sets of trail bytes are summarized
// in long texts; with more sets the codes are read one by one.
TEST(SimdLevels, RowSummaryCountsAsTheTable) {
  testdata::Handle h;
  std::vector<uint16_t> sets16(0x10000), sets17(0x10000);
  for (size_t i = 0x8000; i < 0x10000; ++i) {
    sets16[i] = (i >> 8) % 16 == i % 16;
    sets17[i] = (i >> 8) % 17 == (i & 0xFF) % 17;
  }
  const std::pair<const uint16_t *, uint64_t> tables[] = {
      {h->sjis2unibe_table, h->sjis2unibe_table_size},
      {h->sjis2unibe_table, 0xEAA2},  // cut inside a row
      {sets16.data(), 0x10000},
      {sets17.data(), 0x10000}};
  std::mt19937_64 rng(19);
  unsigned char block[65];
  for (const auto &[table, count] : tables) {
    kmv::detect::CodeTable codes(table, count, size_t{1} << 20);
    for (int round = 0; round < 500; ++round) {
      const uint64_t leads = random_leads(rng, block);
      ASSERT_EQ(codes.known(block, leads),
                kmv::detect::known_codes(block, leads, table, count))
          << count << ' ' << round;
    }
  }
}

// Long texts, where the detector summarizes the table's rows: the exact
// Shift_JIS and EUC-JP tallies, with broken characters about.
TEST(SimdLevels, LongTextTalliesMatchTheBaseline) {
  std::mt19937 rng(23);
  testdata::Handle h;
  kmv::detect::store_euc_defaults(h);
  for (const std::string source : {"sjis", "eucjp"}) {
    std::string text = random_text(source, rng, 48 * 1024);
    for (int k = 0; k < 15; ++k)
      text.insert(rng() % text.size(),
                  characters("breakers", source)[rng() % 5]);
    const auto *s = reinterpret_cast<const unsigned char *>(text.data());
    std::set<std::vector<int64_t>> found;
    at_every_level([&](Level) {
      kmv::detect::Evidence e;
      kmv::detect::first_scan(h, s, text.size(), e);
      int32_t ok = 0, bad = 0;
      check_euc(h, &ok, &bad, nullptr, nullptr, nullptr, 0, s, text.size());
      found.insert({e.sjis_good, e.sjis_bad, e.single_kana, ok, bad});
    });
    ASSERT_EQ(found.size(), 1u) << source;
  }
}

// UTF-8 to Shift_JIS reads kana from the handle's table as any other
// character: a table cut inside the kana row, and one whose kana and kanji
// entries are no code, "?", another code and a one-byte code.
TEST(SimdLevels, Utf8ToSjisFollowsTheHandlesTable) {
  testdata::Handle h;
  const uint16_t *builtin = h->unibe2sjis_table;
  std::vector<uint16_t> changed(builtin, builtin + h->unibe2sjis_table_size);
  changed[0x3042] = changed[0x6F22] = 0;  // あ 漢
  changed[0x3093] = 0x3F;                 // ん
  changed[0x30A2] = 0x889F;               // ア
  changed[0x30F3] = 0x41;                 // ン
  std::mt19937 rng(29);
  std::string text = random_text("utf8", rng, 3000);
  for (int k = 0; k < 8; ++k)  // ンんア
    text.insert(rng() % text.size(), "\xE3\x83\xB3\xE3\x82\x93\xE3\x82\xA2");
  const auto *s = reinterpret_cast<const unsigned char *>(text.data());
  for (const auto &[table, count] : {std::pair{builtin, uint64_t{0x3050}},
                                     std::pair<const uint16_t *, uint64_t>{
                                         changed.data(), changed.size()}}) {
    h->unibe2sjis_table = table;
    h->unibe2sjis_table_size = count;
    std::set<std::string> found;
    at_every_level([&](Level) {
      found.insert(outcome("utf8to_sjis", h, s, text.size()));
    });
    EXPECT_EQ(found.size(), 1u) << count;
  }
}
