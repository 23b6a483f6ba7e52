// Converters from UTF-16 (either byte order) and UTF-8: the common frame,
// the per-call record, the ISO-2022-JP writer, the family rules, the line
// scanners, and round trips of Japanese text against Python's codecs
// (tests/data/convert/make_vectors.py). Cases are rows of tables; a
// converter named "u16to_x" runs once per UTF-16 byte order.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <initializer_list>
#include <iterator>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "kmv.h"

namespace {

using Bytes = std::vector<unsigned char>;

// "E3 81 82" -> {0xE3, 0x81, 0x82}.
Bytes hex(const std::string &text) {
  Bytes out;
  std::istringstream in(text);
  for (unsigned v = 0; in >> std::hex >> v;) {
    out.push_back(static_cast<unsigned char>(v));
  }
  return out;
}

Bytes operator+(Bytes a, const Bytes &b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

Bytes read_data(const std::string &name) {
  std::ifstream f(std::string(KMV_TEST_DATA_DIR) + "/convert/" + name,
                  std::ios::binary);
  return Bytes(std::istreambuf_iterator<char>(f), {});
}

// What one call hands back.
struct Result {
  int32_t status = 1;
  Bytes out;
  bool dst_null = true;
  const unsigned char *err_pos = nullptr;
};

// A converter with or without the bom argument, and its target's mark.
struct Converter {
  const char *name;
  decltype(&kmv_unibeto_euc) plain;
  decltype(&kmv_unibeto_utf8) with_bom;
  const char *mark;

  // Output arguments start as junk, which the call must clear.
  Result operator()(kmv_handle *h, const Bytes &src, int bom = 0,
                    bool want_err_pos = true) const {
    Result r;
    unsigned char *dst = reinterpret_cast<unsigned char *>(&r);
    uint64_t len = 12345;
    const unsigned char *err = src.data();
    const unsigned char **err_arg = want_err_pos ? &err : nullptr;
    r.status =
        plain ? plain(h, &dst, &len, err_arg, src.data(), src.size())
              : with_bom(h, &dst, &len, err_arg, src.data(), src.size(), bom);
    r.dst_null = dst == nullptr;
    if (dst != nullptr) r.out.assign(dst, dst + len);
    if (dst == nullptr && len != 0) r.out.assign(len, 0xEE);  // shows up
    std::free(dst);
    r.err_pos = want_err_pos ? err : nullptr;
    return r;
  }
};

// clang-format off
const Converter kConverters[] = {
    {"unibeto_euc", kmv_unibeto_euc, nullptr, ""},
    {"unibeto_sjis", kmv_unibeto_sjis, nullptr, ""},
    {"unibeto_jis", kmv_unibeto_jis, nullptr, ""},
    {"unibeto_unile", nullptr, kmv_unibeto_unile, "FF FE"},
    {"unibeto_utf8", nullptr, kmv_unibeto_utf8, "EF BB BF"},
    {"unileto_euc", kmv_unileto_euc, nullptr, ""},
    {"unileto_sjis", kmv_unileto_sjis, nullptr, ""},
    {"unileto_jis", kmv_unileto_jis, nullptr, ""},
    {"unileto_unibe", nullptr, kmv_unileto_unibe, "FE FF"},
    {"unileto_utf8", nullptr, kmv_unileto_utf8, "EF BB BF"},
    {"utf8to_euc", kmv_utf8to_euc, nullptr, ""},
    {"utf8to_sjis", kmv_utf8to_sjis, nullptr, ""},
    {"utf8to_jis", kmv_utf8to_jis, nullptr, ""},
    {"utf8to_unibe", nullptr, kmv_utf8to_unibe, "FE FF"},
    {"utf8to_unile", nullptr, kmv_utf8to_unile, "FF FE"},
};
// clang-format on

const Converter &conv(const std::string &name) {
  for (const Converter &c : kConverters) {
    if (name == c.name) return c;
  }
  std::abort();
}

// Code units given big-endian, in the byte order of a name starting "unile".
// Rows that name a converter give its source bytes as they are.
Bytes in_order(const std::string &name, Bytes units) {
  if (name.rfind("unile", 0) == 0) {
    for (size_t i = 0; i + 1 < units.size(); i += 2)
      std::swap(units[i], units[i + 1]);
  }
  return units;
}

constexpr size_t kWhole = SIZE_MAX;  // no cut: the call succeeds

// One call: source, output, what is recorded ("count first:code last:code",
// offsets in source bytes, codes in hex; empty: the clean state), and where
// the source is cut.
struct Case {
  const char *conv;
  const char *src;
  const char *out;
  const char *rec = "";
  size_t cut = kWhole;
  int bom = 0;
};

class Utf : public ::testing::Test {
 protected:
  void SetUp() override { h = create_kmv(); }
  void TearDown() override { release_kmv(h); }

  // Leaves junk in the per-call state, as a previous call might.
  void dirty_state() {
    static const unsigned char junk[4] = {};
    h->src_top = junk;
    h->err_first = junk;
    h->err_last = junk + 1;
    h->err_count = 99;
    h->err_first_code = 7;
    h->err_last_code = 8;
  }

  void expect_records(const Bytes &src, const char *rec) {
    unsigned n = 0, first = 0, first_code = ~0u, last = 0, last_code = ~0u;
    std::sscanf(rec, "%u %u:%x %u:%x", &n, &first, &first_code, &last,
                &last_code);
    const auto at = [&](size_t i) { return n ? src.data() + i : nullptr; };
    EXPECT_EQ(h->src_top, src.data());
    EXPECT_EQ(h->err_count, n);
    EXPECT_EQ(h->err_first, at(first));
    EXPECT_EQ(h->err_first_code, static_cast<int32_t>(first_code));
    EXPECT_EQ(h->err_last, at(last));
    EXPECT_EQ(h->err_last_code, static_cast<int32_t>(last_code));
  }

  void check_one(const std::string &name, const Case &c, bool units = false) {
    SCOPED_TRACE(name + " " + c.src);
    const Bytes src = units ? in_order(name, hex(c.src)) : hex(c.src);
    dirty_state();
    const Result r = conv(name)(h, src, c.bom);
    EXPECT_EQ(r.status, c.cut == kWhole ? KMV_SUCCESS : KMV_EUEXPEOD);
    EXPECT_FALSE(r.dst_null);
    EXPECT_EQ(r.out, hex(c.out));
    EXPECT_EQ(r.err_pos, c.cut == kWhole ? nullptr : src.data() + c.cut);
    expect_records(src, c.rec);
    if (c.cut != kWhole) {  // without err_pos the same result
      const Result q = conv(name)(h, src, c.bom, false);
      EXPECT_EQ(q.status, r.status);
      EXPECT_EQ(q.out, r.out);
    }
  }

  void check(std::initializer_list<Case> cases) {
    for (const Case &c : cases) {
      const std::string name = c.conv;
      if (name.rfind("u16", 0) != 0) {
        check_one(name, c);
        continue;
      }
      for (const char *order : {"unibe", "unile"}) {
        check_one(order + name.substr(3), c, true);
      }
    }
  }

  Result run(const std::string &name, const Bytes &src, int bom = 0) {
    return conv(name)(h, src, bom);
  }

  kmv_handle *h = nullptr;
};

// ---------------------------------------------------------------------------
// The frame.

TEST_F(Utf, EmptySourceOrMarkAloneGivesNothingOrTheTargetMark) {
  for (const Converter &c : kConverters) {
    const char *own = c.name[3] == 'b'   ? "FE FF"
                      : c.name[3] == 'l' ? "FF FE"
                                         : "EF BB BF";
    for (const char *src : {"", own}) {
      for (int bom : {0, 1}) {
        check_one(c.name, {c.name, src, bom ? c.mark : "", "", kWhole, bom});
      }
    }
  }
}

TEST_F(Utf, MarksCountOnlyAtTheStartAndFollowTheBomFlag) {
  check({
      {"utf8to_unibe", "EF BB BF 41 EF BB BF", "00 41 FE FF"},
      {"unibeto_utf8", "FE FF 00 41 FE FF", "41 EF BB BF"},
      {"unibeto_utf8", "FF FE", "EF BF BE"},  // the other order's mark
      {"unileto_utf8", "FE FF", "EF BF BE"},
      {"utf8to_unibe", "EF BB", "", "", 0},  // too short for a mark
      {"unibeto_unile", "FE FF 30 42", "FF FE 42 30", "", kWhole, 1},
      {"unibeto_unile", "FE FF 30 42", "42 30"},
      {"unileto_unibe", "FF FE 42 30", "FE FF 30 42", "", kWhole, 7},
      {"utf8to_unile", "EF BB BF 41", "FF FE 41 00", "", kWhole, 1},
      {"u16to_utf8", "FE FF 30 42", "EF BB BF E3 81 82", "", kWhole, 1},
      {"u16to_utf8", "FE FF 30 42", "E3 81 82"},
  });
}

TEST_F(Utf, CutLastCharacterDeliversThePrefix) {
  check({
      {"unibeto_utf8", "00 41 00", "41", "", 2},
      {"unileto_euc", "41 00 42 30 00", "41 A4 A2", "", 4},
      {"unibeto_jis", "4E 9C 00", "1B 24 42 30 21", "", 2},  // no ESC ( B
      {"utf8to_euc", "41 E3 81", "41", "", 1},
      {"utf8to_jis", "E3 81 82 C3", "1B 24 42 24 22", "", 3},
      {"utf8to_sjis", "41 F0 9F", "41", "", 1},
      // A stray byte is replaced alone: it runs past nothing.
      {"utf8to_euc", "41 80 42", "41 3F 42", "1 1:0 1:0"},
      {"utf8to_jis", "41 80 42", "41 1B 24 42 21 29 1B 28 42 42", "1 1:0 1:0"},
      {"utf8to_unile", "41 80 42", "41 00 3F 00 42 00", "1 1:0 1:0"},
      {"utf8to_unibe", "41 F0 9F 98", "00 41", "", 1},
      // Records made before the cut stay.
      {"utf8to_sjis", "C2 A5 41 E3 81", "3F 41", "1 0:A5 0:A5", 3},
      {"unibeto_euc", "00 A5 00", "3F", "1 0:A5 0:A5", 2},
  });
}

TEST_F(Utf, CutAfterALongTextIsFoundWherePrefixEnds) {
  Bytes text, units;
  for (int i = 0; i < 3000; ++i) text = text + hex("E6 97 A5 61");  // "日a"
  for (int i = 0; i < 5000; ++i) units = units + hex("65 E5 00 61");
  const Bytes whole = run("utf8to_sjis", text).out;
  for (const char *tail : {"E6", "E6 97", "C3", "F0 9F 98", "F4"}) {
    SCOPED_TRACE(tail);
    const Bytes src = text + hex(tail);
    const Result r = run("utf8to_sjis", src);
    EXPECT_EQ(r.status, KMV_EUEXPEOD);
    EXPECT_EQ(r.out, whole);
    EXPECT_EQ(r.err_pos, src.data() + text.size());
  }
  const Result r = run("unibeto_utf8", units + hex("30"));
  EXPECT_EQ(r.status, KMV_EUEXPEOD);
  EXPECT_EQ(r.out, run("unibeto_utf8", units).out);
}

TEST_F(Utf, NoMemoryForAHugeSourceStillResetsThePerCallState) {
  const Bytes src = hex("00 41");
  unsigned char *dst = nullptr;
  uint64_t len = 5;
  const unsigned char *err = src.data();
  dirty_state();
  EXPECT_EQ(kmv_utf8to_jis(h, &dst, &len, &err, src.data(), UINT64_MAX / 2),
            KMV_EALLOC);
  EXPECT_TRUE(dst == nullptr && len == 0 && err == nullptr);
  expect_records(src, "");
  EXPECT_EQ(kmv_unibeto_sjis(nullptr, &dst, &len, nullptr, src.data(), 2),
            KMV_EALLOC);  // no handle
}

TEST_F(Utf, OutputLongerThanTheSourceGrowsTheBuffer) {
  // Katakana and ASCII in turn change the mode at every character.
  Bytes src, want, units, want16;
  for (int i = 0; i < 3000; ++i) {
    src = src + hex("61 EF BD B1");
    want = want + hex(i ? "1B 28 42 61 1B 28 49 31" : "61 1B 28 49 31");
    units = units + hex("4E 9C FF 71");
    want16 = want16 + hex("1B 24 42 30 21 1B 28 49 31");
  }
  EXPECT_EQ(run("utf8to_jis", src).out, want + hex("1B 28 42"));
  EXPECT_EQ(run("unibeto_jis", units).out, want16 + hex("1B 28 42"));
}

TEST_F(Utf, LongTextsOfEveryLengthConvertBetweenUnicodeForms) {
  // Runs of ASCII, Greek, kanji and any unit, so that blocks, growth and
  // chunk ends fall at many places. UTF-8 by the encoding rule.
  const auto b = [](uint32_t v) { return static_cast<unsigned char>(v); };
  std::mt19937 rng(20240601);
  for (size_t n : {1u, 15u, 16u, 17u, 33u, 2047u, 2049u, 9000u, 20011u}) {
    Bytes be, u8;
    for (size_t i = 0; i < n;) {
      const uint32_t base[] = {0x20, 0x391, 0x4E00, 0},
                     span[] = {0x5F, 0x30, 0x5000, 0x10000};
      const uint32_t kind = rng() % 4;
      for (size_t k = 1 + rng() % 40; k > 0 && i < n; --k, ++i) {
        uint32_t u = base[kind] + rng() % span[kind];
        if (u - 0xDC00 < 0x400) u -= 0x400;  // lone high surrogates only
        be = be + Bytes{b(u >> 8), b(u)};
        u8 = u8 + (u < 0x80 ? Bytes{b(u)}
                   : u < 0x800
                       ? Bytes{b(0xC0 | u >> 6), b(0x80 | (u & 0x3F))}
                       : Bytes{b(0xE0 | u >> 12), b(0x80 | (u >> 6 & 0x3F)),
                               b(0x80 | (u & 0x3F))});
      }
    }
    const Bytes le = in_order("unile", be);
    if (be[0] + be[1] == 0xFE + 0xFF) continue;  // would be a mark
    SCOPED_TRACE(n);
    EXPECT_EQ(run("unibeto_utf8", be).out, u8);
    EXPECT_EQ(run("unileto_utf8", le).out, u8);
    EXPECT_EQ(run("unibeto_unile", be).out, le);
    EXPECT_EQ(run("unileto_unibe", le).out, be);
    EXPECT_EQ(run("utf8to_unibe", u8).out, be);
    EXPECT_EQ(run("utf8to_unile", u8, 1).out, hex("FF FE") + le);
  }
}

// ---------------------------------------------------------------------------
// What is replaced and recorded.

TEST_F(Utf, UnconvertibleCharactersAreReplacedAndRecorded) {
  // U+00A5 and U+2014 have no EUC-JP, Shift_JIS or JIS code; NEC row 13
  // and IBM extensions are missing from the common EUC-JP table.
  const char *units = "00 41 00 A5 30 42 20 14 00 42";
  check({
      {"u16to_euc", units, "41 3F A4 A2 3F 42", "2 2:A5 6:2014"},
      {"u16to_sjis", units, "41 3F 82 A0 3F 42", "2 2:A5 6:2014"},
      {"u16to_jis", units, "41 1B 24 42 21 29 24 22 21 29 1B 28 42 42",
       "2 2:A5 6:2014"},
      {"utf8to_euc", "41 C2 A5 E3 81 82 E2 80 94 42", "41 3F A4 A2 3F 42",
       "2 1:A5 6:2014"},
      {"utf8to_euc", "EF BB BF 41 C2 A5", "41 3F",
       "1 4:A5 4:A5"},  // positions in the caller's source, behind the mark
      {"unibeto_euc", "24 60 9A D9 30 42", "3F 3F A4 A2", "2 0:2460 2:9AD9"},
      // A source "?" is not recorded; U+0000 and FFFE (the other order's
      // mark) have no entry, FFE6 lies beyond the table.
      {"u16to_euc", "00 3F 00 00 FF FE", "3F 3F 3F", "2 2:0 4:FFFE"},
      {"u16to_sjis", "00 3F 30 1C FF 5E FF E6", "3F 81 60 81 60 3F",
       "1 6:FFE6 6:FFE6"},
      // An overlong "?" reaches the table as U+003F; an overlong U+0000
      // has no entry. A lone surrogate is no error for Unicode targets.
      {"utf8to_euc", "C0 BF C0 80", "3F 3F", "1 2:0 2:0"},
      {"unibeto_utf8", "00 00 D8 00 FF FF 00 3F", "00 ED A0 80 EF BF BF 3F"},
      // C3 | 28 | 80 | 80 | 80 | F4 8F BF BF (U+10FFFF) | 41 42: a malformed
      // sequence is replaced and recorded with code 0, and ends at the byte
      // that cannot continue it.
      {"utf8to_unibe", "C3 28 80 80 80 F4 8F BF BF 41 42",
       "00 3F 00 28 00 3F 00 3F 00 3F DB FF DF FF 00 41 00 42", "4 0:0 4:0"},
      {"utf8to_euc", "C3 28 41", "3F 28 41", "1 0:0 0:0"},
      {"utf8to_sjis", "E3 81 0A F0 9F 0A F4 90 80 80 0A",
       "3F 0A 3F 0A 3F 3F 3F 3F 0A", "6 0:0 9:0"},
      // Beyond U+FFFF: the two units of U+1F600, each recorded at its
      // sequence.
      {"utf8to_euc", "F0 9F 98 80 41 42", "3F 3F 41 42", "2 0:D83D 0:DE00"},
      {"utf8to_jis", "F0 9F 98 80 41 42", "1B 24 42 21 29 21 29 1B 28 42 41 42",
       "2 0:D83D 0:DE00"},
  });
}

// ---------------------------------------------------------------------------
// Family rules and the ISO-2022-JP writer.

TEST_F(Utf, FamilyRulesBeyondTheJapaneseText) {
  check({
      // A pair is one character; a lone surrogate a unit of its own.
      {"u16to_utf8", "D8 3D DE 00 DB FF DF FF", "F0 9F 98 80 F4 8F BF BF"},
      {"u16to_utf8", "DE 00 D8 3D 00 41 D8 3D",
       "ED B8 80 ED A0 BD 41 ED A0 BD"},
      {"u16to_utf8", "00 00 00 7F 00 80 07 FF 08 00 FF FF",
       "00 7F C2 80 DF BF E0 A0 80 EF BF BF"},
      {"unibeto_unile", "FE FF 00 41 D8 3D", "41 00 3D D8"},
      {"unileto_unibe", "FF FE 41 00 3D D8", "00 41 D8 3D"},
      // ASCII and half-width katakana go by range: U+0000 has no entry.
      {"u16to_jis", "00 00 FF 61 FF 9F", "00 1B 28 49 21 5F 1B 28 42"},
      // Control bytes, which the Japanese text lacks, pass unchanged.
      {"utf8to_euc", "00 1B 7F", "00 1B 7F"},
      {"utf8to_sjis", "00 1B 7F", "00 1B 7F"},
      // No overlong or surrogate test: C1 BF, E0 80 80, ED A0 80.
      {"utf8to_unibe", "C1 BF E0 80 80 ED A0 80", "00 7F 00 00 D8 00"},
      {"utf8to_sjis", "C1 81", "41"},
  });
}

TEST_F(Utf, JisWriterSwitchesModesOnlyOnChange) {
  check({
      {"utf8to_jis", "00 6C 0D 0A 1B 0E 0F 7F", "00 6C 0D 0A 1B 0E 0F 7F"},
      {"unibeto_jis", "4E 9C", "1B 24 42 30 21 1B 28 42"},  // 2 in, 8 out
      {"unibeto_jis", "4E 9C 4E 9C 00 0A", "1B 24 42 30 21 30 21 1B 28 42 0A"},
      {"unibeto_jis", "FF 71 4E 9C FF 71",
       "1B 28 49 31 1B 24 42 30 21 1B 28 49 31 1B 28 42"},
      {"unibeto_jis", "24 60 7E 8A", "1B 24 42 2D 21 79 21 1B 28 42"},
      {"unibeto_jis", "30 42 00 1B", "1B 24 42 24 22 1B 28 42 1B"},
      // Replacement 21 29; U+FF1F's own code 21 29 is not recorded.
      {"unibeto_jis", "FF 1F 21 29", "1B 24 42 21 29 21 29 1B 28 42",
       "1 2:2129 2:2129"},
      // Table values below 80 (U+203E, an overlong "A") are ASCII bytes.
      {"unibeto_jis", "30 42 20 3E 30 42",
       "1B 24 42 24 22 1B 28 42 7E 1B 24 42 24 22 1B 28 42"},
      {"utf8to_jis", "E3 81 82 C1 81", "1B 24 42 24 22 1B 28 42 41"},
  });
}

TEST_F(Utf, TableSlotsAreReadAsTheHandleHoldsThem) {
  // EUC-JP: the four-byte slot and its entry count.
  h->unibe2euc_table4 = unibe2euc20932_table;
  h->unibe2euc_table4_size = unibe2euc20932_table_size;
  EXPECT_EQ(run("unileto_euc", hex("02 4E A6 00")).out,
            hex("8F B0 A1 8F A2 C3"));
  h->unibe2euc_table4_size = 0x4E02;
  check_one("unibeto_euc", {"", "4E 02", "3F", "1 0:4E02 0:4E02"});
  // Shift_JIS: UTF-16 looks every unit up, UTF-8 copies ASCII and
  // computes half-width katakana.
  std::vector<uint16_t> sjis(unibe2sjis932_table, unibe2sjis932_table + 65510);
  sjis[0x41] = 0x8260;
  for (size_t u = 0xFF61; u <= 0xFF9F; ++u) sjis[u] = 0;
  h->unibe2sjis_table = sjis.data();
  std::string units, want;  // past one block of the ASCII fast path
  for (int i = 0; i < 20; ++i) units += "00 41 ", want += "82 60 ";
  check({
      {"u16to_sjis", units.c_str(), want.c_str()},
      {"utf8to_sjis", "78 41 41 79 EF BD A1 EF BE 9F", "78 41 41 79 A1 DF"},
      {"u16to_sjis", "FF 61", "3F", "1 0:FF61 0:FF61"},
  });
  // ISO-2022-JP: a table value from 80 to FF cannot be written.
  std::vector<uint16_t> jis(unibe2jis50221_table, unibe2jis50221_table + 65510);
  jis[0x3042] = 0xA4;
  h->unibe2jis_table = jis.data();
  check_one("unibeto_jis",
            {"", "30 42", "1B 24 42 21 29 1B 28 42", "1 0:3042 0:3042"});
}

TEST_F(Utf, NullSlotsAreEmptyWhateverCountStandsBesideThem) {
  // A caller that clears a slot but leaves its count: no entry is read.
  h->unibe2sjis_table = nullptr;
  h->unibe2jis_table = nullptr;
  h->unibe2euc_table = nullptr;
  check({
      {"utf8to_sjis", "41 E3 81 82", "41 3F", "1 1:3042 1:3042"},
      {"utf8to_jis", "41 E3 81 82", "41 1B 24 42 21 29 1B 28 42",
       "1 1:3042 1:3042"},
      {"u16to_euc", "30 42", "3F", "1 0:3042 0:3042"},
  });
}

// ---------------------------------------------------------------------------
// Line scanners: one call from `from` with `avail` bytes.

struct LineCase {
  const char *text;
  size_t from;
  uint64_t avail;
  int32_t result;
  const char *line;
  size_t next;  // offset of *pos after the call
};

using ScanFn = int32_t (*)(const kmv_handle *, unsigned char *, uint64_t *,
                           const unsigned char **, uint64_t);

void check_lines(ScanFn fn, const std::string &order, const LineCase &c) {
  SCOPED_TRACE(order + " " + c.text);
  const Bytes text = in_order(order, hex(c.text));
  Bytes buf(c.avail + 1, 0xEE);
  uint64_t len = 777;
  const unsigned char *pos = text.data() + c.from;
  EXPECT_EQ(fn(nullptr, buf.data(), &len, &pos, c.avail), c.result);
  EXPECT_EQ(Bytes(buf.begin(), buf.begin() + static_cast<long>(len)),
            in_order(order, hex(c.line)));
  EXPECT_EQ(buf[c.avail], 0xEE) << "wrote past avail";
  EXPECT_EQ(pos, text.data() + c.next);
}

TEST(UtfLines, Utf16LinesEndAtLfCrOrCrLfInBothOrders) {
  const LineCase cases[] = {
      {"00 41 00 0A 00 42", 0, 6, 1, "00 41", 4},
      {"00 41 00 0A 00 42", 4, 2, 1, "00 42", 6},
      {"00 41 00 0D 00 0A 00 42", 0, 8, 1, "00 41", 6},
      {"00 41 00 0D 00 0A 00 42", 0, 4, 1, "00 41", 4},  // LF beyond avail
      {"00 0D 00 0D", 0, 4, 0, "", 2},                   // CR CR: two lines
      {"0A 00 0D 00", 0, 4, 2, "0A 00 0D 00", 4},        // no line ends
      {"FE FF 00 41 00 0A", 0, 6, 1, "FE FF 00 41", 6},  // mark not counted
      {"FE FF 00 41", 0, 3, 0, "FE FF", 2},
      {"30 42 30 44 30 46", 0, 5, 2, "30 42 30 44", 4},  // lone byte left
      {"30 42 30 44 30 46", 4, 1, 0, "", 4},
      {"30 42", 0, 0, 0, "", 0},
  };
  for (const LineCase &c : cases) {
    check_lines(kmv_unibe_strln, "unibe", c);
    check_lines(kmv_unile_strln, "unile", c);
  }
}

TEST(UtfLines, Utf8LinesCountSequences) {
  const LineCase cases[] = {
      {"41 E3 81 82 0A 42", 0, 6, 2, "41 E3 81 82", 5},
      {"EF BB BF 41 0D 0A 42", 0, 7, 1, "EF BB BF 41", 6},
      {"41 0D", 0, 2, 1, "41", 2},
      {"41 F0 9F 8D A3 0A", 0, 6, 3, "41 F0 9F 8D A3", 6},  // a pair is two
      {"41 C3 28 42", 0, 4, KMV_ECHAR, "41 C3", 2},         // copied, reported
      {"80 0A 41 42", 0, 4, KMV_ECHAR, "80", 1},         // a stray byte alone
      {"C0 80 E0 80 80", 0, 5, 2, "C0 80 E0 80 80", 5},  // overlong is fine
      {"41 E3 81", 0, 3, 1, "41", 1},                    // a cut sequence waits
      {"41 E3 81", 1, 2, 0, "", 1},
      {"EF BB BF", 0, 2, 0, "", 0},  // the mark needs its three bytes
  };
  for (const LineCase &c : cases) check_lines(kmv_utf8_strln, "utf8", c);
}

// ---------------------------------------------------------------------------
// Round trips of Japanese text against Python's codecs.

TEST_F(Utf, JapaneseTextMatchesPythonCodecs) {
  // Differences by design are applied in make_vectors.py: U+301C gives
  // Shift_JIS 81 60 here, IBM extension characters get their IBM codes,
  // and the extensions' ISO-2022-JP is code page 50221's. The extension
  // text has no EUC-JP file: the common table lacks those characters.
  const auto file = [](const std::string &text, const std::string &family) {
    const char *const suffix[][2] = {
        {"unibe", "utf16be"}, {"unile", "utf16le"}, {"euc", "eucjp"}};
    for (const auto &pair : suffix) {
      if (family == pair[0]) return read_data(text + "." + pair[1]);
    }
    return read_data(text + "." + family);
  };
  for (const char *text : {"common", "ext"}) {
    for (const Converter &c : kConverters) {
      const std::string name = c.name;
      SCOPED_TRACE(name + " " + text);
      const size_t to = name.find("to_");
      const Bytes src = file(text, name.substr(0, to));
      const Bytes want = file(text, name.substr(to + 3));
      ASSERT_FALSE(src.empty());
      if (want.empty() && name.ends_with("euc")) continue;
      const Result r = run(name, src);
      EXPECT_EQ(r.status, KMV_SUCCESS);
      EXPECT_EQ(r.out, want);
      EXPECT_EQ(h->err_count, 0u);
    }
  }
}

}  // namespace
