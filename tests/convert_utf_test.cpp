// Converters from UTF-16 (either byte order) and UTF-8: the common frame
// (marks, output, per-call state, growth), the ISO-2022-JP writer, the two
// families' member rules, their line scanners, and round trips of Japanese
// text against Python's codecs (tests/data/convert/make_vectors.py).
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <random>
#include <string>

#include "convert_support.h"
#include "kmv.h"

namespace {

using kmv_test::Bytes;
using kmv_test::Converter;
using kmv_test::hex;
using kmv_test::Result;
using kmv_test::show;
using kmv_test::operator+;

// clang-format off
const Converter kConverters[] = {
    {"unibeto_euc", kmv_unibeto_euc, nullptr, "unibe", "euc"},
    {"unibeto_sjis", kmv_unibeto_sjis, nullptr, "unibe", "sjis"},
    {"unibeto_jis", kmv_unibeto_jis, nullptr, "unibe", "jis"},
    {"unibeto_unile", nullptr, kmv_unibeto_unile, "unibe", "unile"},
    {"unibeto_utf8", nullptr, kmv_unibeto_utf8, "unibe", "utf8"},
    {"unileto_euc", kmv_unileto_euc, nullptr, "unile", "euc"},
    {"unileto_sjis", kmv_unileto_sjis, nullptr, "unile", "sjis"},
    {"unileto_jis", kmv_unileto_jis, nullptr, "unile", "jis"},
    {"unileto_unibe", nullptr, kmv_unileto_unibe, "unile", "unibe"},
    {"unileto_utf8", nullptr, kmv_unileto_utf8, "unile", "utf8"},
    {"utf8to_euc", kmv_utf8to_euc, nullptr, "utf8", "euc"},
    {"utf8to_sjis", kmv_utf8to_sjis, nullptr, "utf8", "sjis"},
    {"utf8to_jis", kmv_utf8to_jis, nullptr, "utf8", "jis"},
    {"utf8to_unibe", nullptr, kmv_utf8to_unibe, "utf8", "unibe"},
    {"utf8to_unile", nullptr, kmv_utf8to_unile, "utf8", "unile"},
};
// clang-format on

const Converter &conv(const std::string &name) {
  for (const Converter &c : kConverters) {
    if (name == c.name) return c;
  }
  std::abort();
}

// Text of code units given big-endian, in the byte order of `family`.
Bytes in_order(const std::string &family, Bytes units) {
  if (family == "unile") {
    for (size_t i = 0; i + 1 < units.size(); i += 2)
      std::swap(units[i], units[i + 1]);
  }
  return units;
}

class ConvertTest : public ::testing::Test {
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

  void expect_clean_state(const Bytes &src) {
    EXPECT_EQ(h->src_top, src.data());
    EXPECT_EQ(h->err_first, nullptr);
    EXPECT_EQ(h->err_last, nullptr);
    EXPECT_EQ(h->err_count, 0u);
    EXPECT_EQ(h->err_first_code, -1);
    EXPECT_EQ(h->err_last_code, -1);
  }

  void expect_records(const Bytes &src, uint32_t count, size_t first,
                      int32_t first_code, size_t last, int32_t last_code) {
    EXPECT_EQ(h->src_top, src.data());
    EXPECT_EQ(h->err_count, count);
    EXPECT_EQ(h->err_first, src.data() + first);
    EXPECT_EQ(h->err_first_code, first_code);
    EXPECT_EQ(h->err_last, src.data() + last);
    EXPECT_EQ(h->err_last_code, last_code);
  }

  Result run(const std::string &name, const Bytes &src, int bom = 0) {
    return conv(name)(h, src, bom);
  }

  kmv_handle *h = nullptr;
};

// ---------------------------------------------------------------------------
// The frame, over every converter of both families.

TEST_F(ConvertTest, EmptySourceGivesEmptyOutputOrTheMarkAlone) {
  for (const Converter &c : kConverters) {
    SCOPED_TRACE(c.name);
    for (int bom : {0, 1}) {
      dirty_state();
      const Bytes empty;
      Result r = c(h, empty, bom);
      EXPECT_EQ(r.status, KMV_SUCCESS);
      EXPECT_FALSE(r.dst_null);
      EXPECT_EQ(r.out,
                bom && c.has_bom() ? kmv_test::target_mark(c.target) : Bytes{});
      EXPECT_EQ(r.err_pos, nullptr);
      expect_clean_state(empty);
    }
  }
}

TEST_F(ConvertTest, SourceMarkAloneIsSkipped) {
  for (const Converter &c : kConverters) {
    SCOPED_TRACE(c.name);
    const Bytes mark = kmv_test::source_mark(c.source);
    for (int bom : {0, 1}) {
      Result r = c(h, mark, bom);
      EXPECT_EQ(r.status, KMV_SUCCESS);
      EXPECT_EQ(r.out,
                bom && c.has_bom() ? kmv_test::target_mark(c.target) : Bytes{});
      expect_clean_state(mark);  // src_top is the mark, not behind it
    }
  }
}

TEST_F(ConvertTest, MarkCountsOnlyAtTheStart) {
  // A second mark is the character U+FEFF.
  EXPECT_EQ(run("utf8to_unibe", hex("EF BB BF 41 EF BB BF")).out,
            hex("00 41 FE FF"));
  EXPECT_EQ(run("unibeto_utf8", hex("FE FF 00 41 FE FF")).out,
            hex("41 EF BB BF"));
  // The other byte order's mark is the unit FFFE.
  EXPECT_EQ(run("unibeto_utf8", hex("FF FE")).out, hex("EF BF BE"));
  EXPECT_EQ(run("unileto_utf8", hex("FE FF")).out, hex("EF BF BE"));
  // Too short to be a mark: the cut sequence of a UTF-8 text.
  Result r = run("utf8to_unibe", hex("EF BB"));
  EXPECT_EQ(r.status, KMV_EUEXPEOD);
  EXPECT_TRUE(r.out.empty());
}

TEST_F(ConvertTest, TargetMarkFollowsTheBomFlagNotTheSource) {
  EXPECT_EQ(run("unibeto_unile", hex("FE FF 30 42"), 1).out,
            hex("FF FE 42 30"));
  EXPECT_EQ(run("unibeto_unile", hex("FE FF 30 42"), 0).out, hex("42 30"));
  EXPECT_EQ(run("unileto_unibe", hex("42 30"), 7).out, hex("FE FF 30 42"));
  EXPECT_EQ(run("utf8to_unile", hex("41"), 1).out, hex("FF FE 41 00"));
}

TEST_F(ConvertTest, CutLastCharacterDeliversThePrefix) {
  struct Case {
    const char *conv;
    const char *src;
    const char *out;
    size_t cut_at;
  };
  const Case cases[] = {
      {"unibeto_utf8", "00 41 00", "41", 2},
      {"unileto_euc", "41 00 42 30 00", "41 A4 A2", 4},
      {"unibeto_jis", "4E 9C 00", "1B 24 42 30 21", 2},  // no closing ESC ( B
      {"utf8to_euc", "41 E3 81", "41", 1},
      {"utf8to_jis", "E3 81 82 C3", "1B 24 42 24 22", 3},
      {"utf8to_unile", "41 80 42", "41 00", 1},  // a stray byte takes three
      {"utf8to_sjis", "41 F0 9F", "41", 1},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.conv);
    const Bytes src = hex(c.src);
    Result r = run(c.conv, src);
    EXPECT_EQ(r.status, KMV_EUEXPEOD);
    EXPECT_FALSE(r.dst_null);
    EXPECT_EQ(show(r.out), show(hex(c.out)));
    EXPECT_EQ(r.err_pos, src.data() + c.cut_at);
    // Without err_pos the same result.
    Result q = conv(c.conv)(h, src, 0, false);
    EXPECT_EQ(q.status, KMV_EUEXPEOD);
    EXPECT_EQ(q.out, r.out);
  }
}

TEST_F(ConvertTest, MissingOutputArgumentsOrHugeSourceFailWithoutBuffer) {
  const Bytes src = hex("00 41");
  unsigned char *dst = nullptr;
  uint64_t len = 5;
  EXPECT_EQ(kmv_unibeto_sjis(h, nullptr, &len, nullptr, src.data(), 2),
            KMV_EALLOC);
  EXPECT_EQ(len, 0u);
  EXPECT_EQ(kmv_unibeto_sjis(h, &dst, nullptr, nullptr, src.data(), 2),
            KMV_EALLOC);
  EXPECT_EQ(dst, nullptr);
  EXPECT_EQ(kmv_unibeto_sjis(nullptr, &dst, &len, nullptr, src.data(), 2),
            KMV_EALLOC);
  EXPECT_EQ(kmv_utf8to_unibe(h, &dst, &len, nullptr, nullptr, 3, 0),
            KMV_EALLOC);
  // No memory for a source this long: nothing is read or handed out, and
  // the per-call state is reset all the same.
  dirty_state();
  const unsigned char *err = src.data();
  EXPECT_EQ(kmv_utf8to_jis(h, &dst, &len, &err, src.data(), UINT64_MAX / 2),
            KMV_EALLOC);
  EXPECT_EQ(dst, nullptr);
  EXPECT_EQ(len, 0u);
  EXPECT_EQ(err, nullptr);
  expect_clean_state(src);
}

TEST_F(ConvertTest, ShortSourceWithLongerOutputGrowsTheBuffer) {
  // 2 bytes in, 8 out.
  EXPECT_EQ(run("unibeto_jis", hex("4E 9C")).out,
            hex("1B 24 42 30 21 1B 28 42"));
  // Katakana and ASCII in turn: every character changes the mode, four
  // output bytes per source byte at the UTF-8 katakana's three.
  Bytes src, want;
  for (int i = 0; i < 3000; ++i) {
    src = src + hex("61 EF BD B1");
    want =
        want + (i == 0 ? hex("61") : hex("1B 28 42 61")) + hex("1B 28 49 31");
  }
  want = want + hex("1B 28 42");
  Result r = run("utf8to_jis", src);
  EXPECT_EQ(r.status, KMV_SUCCESS);
  EXPECT_EQ(r.out, want);
  // Unit by unit the same from UTF-16: 2 bytes in, up to 5 out.
  Bytes units, want16;
  for (int i = 0; i < 3000; ++i) {
    units = units + hex("4E 9C FF 71");
    want16 = want16 + hex("1B 24 42 30 21 1B 28 49 31");
  }
  EXPECT_EQ(run("unibeto_jis", units).out, want16 + hex("1B 28 42"));
}

// UTF-8 of one code unit by the encoding rule, independent of the library.
Bytes utf8_of(uint32_t u) {
  if (u < 0x80) return {static_cast<unsigned char>(u)};
  if (u < 0x800) {
    return {static_cast<unsigned char>(0xC0 | u >> 6),
            static_cast<unsigned char>(0x80 | (u & 0x3F))};
  }
  return {static_cast<unsigned char>(0xE0 | u >> 12),
          static_cast<unsigned char>(0x80 | ((u >> 6) & 0x3F)),
          static_cast<unsigned char>(0x80 | (u & 0x3F))};
}

TEST_F(ConvertTest, LongTextsOfEveryLengthConvertExactly) {
  // Random units (surrogates and U+0000 included) in runs of ASCII, Greek
  // and kanji, so that blocks, growth and chunk ends all fall at many
  // places.
  std::mt19937 rng(20240601);
  for (size_t n : {1u, 7u, 15u, 16u, 17u, 31u, 33u, 100u, 2047u, 2048u, 2049u,
                   4099u, 9000u, 20011u}) {
    SCOPED_TRACE(n);
    Bytes be, le, u8;
    for (size_t i = 0; i < n;) {
      const uint32_t kind = rng() % 4;
      const size_t run_len = 1 + rng() % 40;
      for (size_t k = 0; k < run_len && i < n; ++k, ++i) {
        uint32_t u = kind == 0   ? 0x20 + rng() % 0x5F
                     : kind == 1 ? 0x391 + rng() % 0x30
                     : kind == 2 ? 0x4E00 + rng() % 0x5000
                                 : rng() % 0x10000;
        be.push_back(static_cast<unsigned char>(u >> 8));
        be.push_back(static_cast<unsigned char>(u));
        le.push_back(static_cast<unsigned char>(u));
        le.push_back(static_cast<unsigned char>(u >> 8));
        u8 = u8 + utf8_of(u);
      }
    }
    // A leading FE FF / FF FE / EF BB BF would be taken for a mark.
    if (be.size() >= 2 && be[0] == 0xFE && be[1] == 0xFF) continue;
    if (le.size() >= 2 && le[0] == 0xFF && le[1] == 0xFE) continue;
    EXPECT_EQ(run("unibeto_utf8", be).out, u8);
    EXPECT_EQ(run("unileto_utf8", le).out, u8);
    EXPECT_EQ(run("unibeto_unile", be).out, le);
    EXPECT_EQ(run("unileto_unibe", le).out, be);
    EXPECT_EQ(run("utf8to_unibe", u8).out, be);
    EXPECT_EQ(run("utf8to_unile", u8, 1).out, hex("FF FE") + le);
  }
}

TEST_F(ConvertTest, CutAfterALongTextIsFoundWherePrefixEnds) {
  Bytes text;
  for (int i = 0; i < 3000; ++i) text = text + hex("E6 97 A5 61");  // "日a"
  const Bytes whole = run("utf8to_sjis", text).out;
  for (const char *tail : {"E6", "E6 97", "C3", "80 80", "F0"}) {
    SCOPED_TRACE(tail);
    const Bytes src = text + hex(tail);
    Result r = run("utf8to_sjis", src);
    EXPECT_EQ(r.status, KMV_EUEXPEOD);
    EXPECT_EQ(r.out, whole);
    EXPECT_EQ(r.err_pos, src.data() + text.size());
  }
  Bytes units;
  for (int i = 0; i < 5000; ++i) units = units + hex("65 E5 00 61");
  Result r = run("unibeto_utf8", units + hex("30"));
  EXPECT_EQ(r.status, KMV_EUEXPEOD);
  EXPECT_EQ(r.out, run("unibeto_utf8", units).out);
}

// ---------------------------------------------------------------------------
// Per-call state after every kind of failure.

TEST_F(ConvertTest, UnmappableCharactersAreReplacedAndRecorded) {
  // U+00A5 and U+2014 have no EUC-JP, Shift_JIS or JIS code.
  const Bytes units = hex("00 41 00 A5 30 42 20 14 00 42");
  struct Case {
    const char *conv;
    const char *out;
  };
  for (const char *family : {"unibe", "unile"}) {
    const Bytes src = in_order(family, units);
    const std::string f = family;
    const Case cases[] = {
        {"to_euc", "41 3F A4 A2 3F 42"},
        {"to_sjis", "41 3F 82 A0 3F 42"},
        {"to_jis", "41 1B 24 42 21 29 24 22 21 29 1B 28 42 42"},
    };
    for (const Case &c : cases) {
      SCOPED_TRACE(f + c.conv);
      dirty_state();
      Result r = run(f + c.conv, src);
      EXPECT_EQ(r.status, KMV_SUCCESS);
      EXPECT_EQ(show(r.out), show(hex(c.out)));
      expect_records(src, 2, 2, 0xA5, 6, 0x2014);
    }
  }
  const Bytes u8 = hex("41 C2 A5 E3 81 82 E2 80 94 42");
  for (const char *c : {"utf8to_euc", "utf8to_sjis", "utf8to_jis"}) {
    SCOPED_TRACE(c);
    run(c, u8);
    expect_records(u8, 2, 1, 0xA5, 6, 0x2014);
  }
}

TEST_F(ConvertTest, UnicodeTargetsNeverRecord) {
  for (const char *c :
       {"unibeto_utf8", "unibeto_unile", "unileto_utf8", "unileto_unibe"}) {
    dirty_state();
    const Bytes src = hex("00 00 D8 00 FF FF 00 3F");
    EXPECT_EQ(run(c, src).status, KMV_SUCCESS);
    expect_clean_state(src);
  }
  dirty_state();
  // C3 28 | 80 80 80 | F4 8F BF | BF 41 42: malformed throughout.
  const Bytes bad = hex("C3 28 80 80 80 F4 8F BF BF 41 42");
  EXPECT_EQ(run("utf8to_unibe", bad).out, hex("00 00 00 00 00 00 00 00"));
  expect_clean_state(bad);
}

TEST_F(ConvertTest, SourceQuestionMarkIsNotCounted) {
  // 00 41 00 3F 30 42: "A?" and a hiragana.
  for (const char *family : {"unibe", "unile"}) {
    const Bytes src = in_order(family, hex("00 41 00 3F 30 42"));
    EXPECT_EQ(run(std::string(family) + "to_euc", src).out, hex("41 3F A4 A2"));
    expect_clean_state(src);
    EXPECT_EQ(run(std::string(family) + "to_sjis", src).out,
              hex("41 3F 82 A0"));
    expect_clean_state(src);
  }
  // An overlong "?" reaches the table as U+003F: written as ?, not counted;
  // an overlong U+0000 is counted.
  const Bytes q = hex("C0 BF");
  EXPECT_EQ(run("utf8to_euc", q).out, hex("3F"));
  expect_clean_state(q);
  const Bytes nul = hex("C0 80");
  EXPECT_EQ(run("utf8to_euc", nul).out, hex("3F"));
  expect_records(nul, 1, 0, 0, 0, 0);
}

TEST_F(ConvertTest, MalformedUtf8IsRecordedWithCodeZeroForTableTargets) {
  // F0 9F 98 is one malformed sequence; 80 41 42 another (A and B are
  // taken into it).
  const Bytes src = hex("F0 9F 98 80 41 42");
  for (const char *c : {"utf8to_euc", "utf8to_sjis"}) {
    SCOPED_TRACE(c);
    EXPECT_EQ(run(c, src).out, hex("3F 3F"));
    expect_records(src, 2, 0, 0, 3, 0);
  }
  EXPECT_EQ(run("utf8to_jis", src).out, hex("1B 24 42 21 29 21 29 1B 28 42"));
  expect_records(src, 2, 0, 0, 3, 0);
  // C3 28: a lead byte and "(" make one malformed sequence.
  const Bytes lead = hex("C3 28");
  EXPECT_EQ(run("utf8to_unibe", lead).out, hex("00 00"));
  expect_clean_state(lead);
  EXPECT_EQ(run("utf8to_euc", lead).out, hex("3F"));
  expect_records(lead, 1, 0, 0, 0, 0);
}

TEST_F(ConvertTest, RecordsBeforeACutStay) {
  const Bytes src = hex("C2 A5 41 E3 81");
  Result r = run("utf8to_sjis", src);
  EXPECT_EQ(r.status, KMV_EUEXPEOD);
  EXPECT_EQ(r.out, hex("3F 41"));
  expect_records(src, 1, 0, 0xA5, 0, 0xA5);
  const Bytes units = hex("00 A5 00");
  EXPECT_EQ(run("unibeto_euc", units).status, KMV_EUEXPEOD);
  expect_records(units, 1, 0, 0xA5, 0, 0xA5);
}

TEST_F(ConvertTest, CleanCallResetsThePreviousState) {
  run("unibeto_euc", hex("00 A5 00 A5"));
  ASSERT_EQ(h->err_count, 2u);
  const Bytes src = hex("FE FF 30 42");
  EXPECT_EQ(run("unibeto_euc", src).out, hex("A4 A2"));
  expect_clean_state(src);
}

TEST_F(ConvertTest, PositionsPointIntoTheCallersSourceBehindTheMark) {
  const Bytes src = hex("EF BB BF 41 C2 A5");
  run("utf8to_euc", src);
  expect_records(src, 1, 4, 0xA5, 4, 0xA5);
}

// ---------------------------------------------------------------------------
// UTF-16 sources, both byte orders.

class Utf16Family : public ConvertTest,
                    public ::testing::WithParamInterface<const char *> {
 protected:
  std::string f() const { return GetParam(); }
  Bytes src(const char *units) const { return in_order(f(), hex(units)); }
};

TEST_P(Utf16Family, ToUtf8) {
  const Bytes mark = in_order(f(), hex("FE FF"));
  EXPECT_EQ(run(f() + "to_utf8", mark + src("30 42"), 1).out,
            hex("EF BB BF E3 81 82"));
  EXPECT_EQ(run(f() + "to_utf8", mark + src("30 42"), 0).out, hex("E3 81 82"));
  // Each unit on its own: a surrogate pair becomes two three-byte forms.
  EXPECT_EQ(run(f() + "to_utf8", src("D8 3D DE 00")).out,
            hex("ED A0 BD ED B8 80"));
  EXPECT_EQ(
      run(f() + "to_utf8", src("00 00 00 7F 00 80 07 FF 08 00 FF FF")).out,
      hex("00 7F C2 80 DF BF E0 A0 80 EF BF BF"));
}

TEST_P(Utf16Family, ToTheOtherByteOrder) {
  const std::string other = f() == "unibe" ? "unile" : "unibe";
  const Bytes mark = in_order(f(), hex("FE FF"));
  EXPECT_EQ(run(f() + "to_" + other, mark, 1).out,
            in_order(other, hex("FE FF")));
  EXPECT_EQ(run(f() + "to_" + other, mark + src("00 41 D8 3D"), 0).out,
            in_order(other, hex("00 41 D8 3D")));
}

TEST_P(Utf16Family, ToEuc) {
  EXPECT_EQ(run(f() + "to_euc", src("30 42 FF 76")).out, hex("A4 A2 8E B6"));
  // U+0000 has no entry: the replacement, recorded.
  const Bytes nul = src("00 41 00 00");
  EXPECT_EQ(run(f() + "to_euc", nul).out, hex("41 3F"));
  expect_records(nul, 1, 2, 0, 2, 0);
  // The other order's mark is the unit FFFE, which EUC-JP lacks.
  const Bytes fffe = in_order(f(), hex("FF FE"));
  EXPECT_EQ(run(f() + "to_euc", fffe).out, hex("3F"));
  expect_records(fffe, 1, 0, 0xFFFE, 0, 0xFFFE);
}

TEST_P(Utf16Family, ToEucThroughTheFourByteSlot) {
  // With the EUC1 encoding table, three-byte codes come out; with only the
  // two-byte common table, U+4E02 has no code.
  EXPECT_EQ(run(f() + "to_euc", src("4E 02")).out, hex("3F"));
  h->unibe2euc_table4 = unibe2euc20932_table;
  h->unibe2euc_table4_size = unibe2euc20932_table_size;
  EXPECT_EQ(run(f() + "to_euc", src("4E 02 00 A6 30 42")).out,
            hex("8F B0 A1 8F A2 C3 A4 A2"));
  EXPECT_EQ(h->err_count, 0u);
  // A slot count shorter than the table hides what lies beyond it.
  h->unibe2euc_table4_size = 0x4E02;
  const Bytes s = src("4E 02");
  EXPECT_EQ(run(f() + "to_euc", s).out, hex("3F"));
  expect_records(s, 1, 0, 0x4E02, 0, 0x4E02);
}

TEST_P(Utf16Family, ToSjis) {
  EXPECT_EQ(run(f() + "to_sjis", src("FF 76")).out, hex("B6"));
  EXPECT_EQ(run(f() + "to_sjis", src("30 42")).out, hex("82 A0"));
  // Both wave dashes give 81 60; U+FFE6 and up lie beyond the table.
  const Bytes s = src("30 1C FF 5E FF E6");
  EXPECT_EQ(run(f() + "to_sjis", s).out, hex("81 60 81 60 3F"));
  expect_records(s, 1, 4, 0xFFE6, 4, 0xFFE6);
}

TEST_P(Utf16Family, ToJis) {
  EXPECT_EQ(run(f() + "to_jis", src("00 41 FF 76 4E 9C 00 42")).out,
            hex("41 1B 28 49 36 1B 24 42 30 21 1B 28 42 42"));
  EXPECT_EQ(run(f() + "to_jis", src("4E 9C")).out,
            hex("1B 24 42 30 21 1B 28 42"));
  // ASCII and half-width katakana go by range, without the table: U+0000
  // is copied, although the table has no entry for it.
  const Bytes s = src("00 00 FF 61 FF 9F");
  EXPECT_EQ(run(f() + "to_jis", s).out, hex("00 1B 28 49 21 5F 1B 28 42"));
  expect_clean_state(s);
}

INSTANTIATE_TEST_SUITE_P(BothOrders, Utf16Family,
                         ::testing::Values("unibe", "unile"));

// ---------------------------------------------------------------------------
// UTF-8 sources.

TEST_F(ConvertTest, Utf8ToEachTarget) {
  const Bytes a = hex("E3 81 82");
  EXPECT_EQ(run("utf8to_euc", a).out, hex("A4 A2"));
  EXPECT_EQ(run("utf8to_sjis", a).out, hex("82 A0"));
  EXPECT_EQ(run("utf8to_unibe", a).out, hex("30 42"));
  EXPECT_EQ(run("utf8to_unile", a).out, hex("42 30"));
  EXPECT_EQ(run("utf8to_unibe", hex("EF BB BF 41"), 1).out, hex("FE FF 00 41"));
  EXPECT_EQ(run("utf8to_unibe", hex("EF BB BF 41"), 0).out, hex("00 41"));
  EXPECT_EQ(run("utf8to_sjis", hex("EF BD B6")).out, hex("B6"));
  EXPECT_EQ(run("utf8to_euc", hex("EF BD B6")).out, hex("8E B6"));
  EXPECT_EQ(run("utf8to_jis", hex("41 EF BD B6 E4 BA 9C 42")).out,
            hex("41 1B 28 49 36 1B 24 42 30 21 1B 28 42 42"));
}

TEST_F(ConvertTest, Utf8SingleBytesPassUnchanged) {
  Bytes all;
  for (int b = 0; b < 0x80; ++b) all.push_back(static_cast<unsigned char>(b));
  for (const char *c : {"utf8to_euc", "utf8to_sjis", "utf8to_jis"}) {
    SCOPED_TRACE(c);
    dirty_state();
    EXPECT_EQ(run(c, all).out, all);
    expect_clean_state(all);
  }
}

TEST_F(ConvertTest, Utf8DecodesWithoutOverlongOrSurrogateTests) {
  // C1 BF is 007F, E0 80 80 is 0000, ED A0 80 is D800.
  EXPECT_EQ(run("utf8to_unibe", hex("C1 BF E0 80 80 ED A0 80")).out,
            hex("00 7F 00 00 D8 00"));
  // An overlong ASCII letter goes through the table and comes out as the
  // letter itself.
  EXPECT_EQ(run("utf8to_sjis", hex("C1 81")).out, hex("41"));
  EXPECT_EQ(run("utf8to_euc", hex("C1 81")).out, hex("41"));
}

TEST_F(ConvertTest, Utf8StrayOrCutBytesEndTheText) {
  for (const Converter &c : kConverters) {
    if (std::string(c.source) != "utf8") continue;
    SCOPED_TRACE(c.name);
    const Bytes src = hex("41 80 42");
    Result r = c(h, src);
    EXPECT_EQ(r.status, KMV_EUEXPEOD);
    EXPECT_EQ(r.err_pos, src.data() + 1);
    EXPECT_EQ(r.out, std::string(c.target).substr(0, 3) == "uni"
                         ? in_order(c.target, hex("00 41"))
                         : hex("41"));
    const Bytes cut = hex("41 E3 81");
    EXPECT_EQ(c(h, cut).err_pos, cut.data() + 1);
  }
}

TEST_F(ConvertTest, Utf8HalfWidthKatakanaComputedOrLookedUp) {
  // Shift_JIS computes them: a handle whose table lacks them still gets
  // the single bytes. EUC-JP looks them up.
  std::vector<uint16_t> table(unibe2sjis932_table, unibe2sjis932_table + 65510);
  for (int u = 0xFF61; u <= 0xFF9F; ++u) table[static_cast<size_t>(u)] = 0;
  h->unibe2sjis_table = table.data();
  EXPECT_EQ(run("utf8to_sjis", hex("EF BD A1 EF BE 9F")).out, hex("A1 DF"));
  // The UTF-16 family looks them up in this table, and finds nothing.
  EXPECT_EQ(run("unibeto_sjis", hex("FF 61")).out, hex("3F"));
  EXPECT_EQ(h->err_count, 1u);
}

TEST_F(ConvertTest, AsciiGoesThroughTheTableFromUtf16ButNotFromUtf8) {
  // A Shift_JIS table that maps "A" to the full-width letter: UTF-16
  // looks every unit up, UTF-8 copies its one-byte sequences.
  std::vector<uint16_t> table(unibe2sjis932_table, unibe2sjis932_table + 65510);
  table[0x41] = 0x8260;
  h->unibe2sjis_table = table.data();
  const std::string text = "xAAyAAAAAAAAAAAAAAAAz";
  Bytes units, want;
  for (char c : text) {
    units = units + Bytes{0, static_cast<unsigned char>(c)};
    want =
        want + (c == 'A' ? hex("82 60") : Bytes{static_cast<unsigned char>(c)});
  }
  EXPECT_EQ(run("unibeto_sjis", units).out, want);
  EXPECT_EQ(run("unileto_sjis", in_order("unile", units)).out, want);
  EXPECT_EQ(run("utf8to_sjis", kmv_test::bytes(text)).out,
            kmv_test::bytes(text));
}

// ---------------------------------------------------------------------------
// The ISO-2022-JP writer.

TEST_F(ConvertTest, JisWriterDesignatesOnlyOnChange) {
  // ASCII alone: no escape at all.
  const Bytes ascii = kmv_test::bytes("plain text\r\n\x1b\x0e\x0f");
  EXPECT_EQ(run("utf8to_jis", ascii).out, ascii);
  // Kanji, kanji, LF: one designation, back to ASCII before the LF.
  EXPECT_EQ(run("unibeto_jis", hex("4E 9C 4E 9C 00 0A")).out,
            hex("1B 24 42 30 21 30 21 1B 28 42 0A"));
  // Katakana to kanji and back directly, without passing through ASCII.
  EXPECT_EQ(run("unibeto_jis", hex("FF 71 4E 9C FF 71")).out,
            hex("1B 28 49 31 1B 24 42 30 21 1B 28 49 31 1B 28 42"));
  // NEC row 13 and IBM extensions are two-byte codes like the rest.
  EXPECT_EQ(run("unibeto_jis", hex("24 60")).out,
            hex("1B 24 42 2D 21 1B 28 42"));
  EXPECT_EQ(run("unibeto_jis", hex("7E 8A")).out,
            hex("1B 24 42 79 21 1B 28 42"));
  // A control byte ESC in the source is copied, not interpreted.
  EXPECT_EQ(run("unibeto_jis", hex("30 42 00 1B")).out,
            hex("1B 24 42 24 22 1B 28 42 1B"));
}

TEST_F(ConvertTest, JisWriterReplacementAndFullWidthQuestionMark) {
  const Bytes yen = hex("00 A5");
  EXPECT_EQ(run("unibeto_jis", yen).out, hex("1B 24 42 21 29 1B 28 42"));
  expect_records(yen, 1, 0, 0xA5, 0, 0xA5);
  // U+FF1F's own code is 21 29: not recorded. U+2129 has no code: recorded.
  const Bytes q = hex("FF 1F 21 29");
  EXPECT_EQ(run("unibeto_jis", q).out, hex("1B 24 42 21 29 21 29 1B 28 42"));
  expect_records(q, 1, 2, 0x2129, 2, 0x2129);
}

TEST_F(ConvertTest, JisWriterWritesSingleByteTableValuesInAsciiMode) {
  // U+203E's table value is 7E, and an overlong UTF-8 "A" reaches the
  // two-byte step as 0041: both are written as ASCII bytes after returning
  // to the ASCII mode, so no 00 byte enters a two-byte run. They are
  // converted, not recorded.
  const Bytes overline = hex("30 42 20 3E 30 42");
  EXPECT_EQ(run("unibeto_jis", overline).out,
            hex("1B 24 42 24 22 1B 28 42 7E 1B 24 42 24 22 1B 28 42"));
  expect_clean_state(overline);
  const Bytes overlong = hex("E3 81 82 C1 81");
  EXPECT_EQ(run("utf8to_jis", overlong).out, hex("1B 24 42 24 22 1B 28 42 41"));
  expect_clean_state(overlong);
  // A table value from 80 to FF cannot be written at all: the replacement.
  std::vector<uint16_t> table(unibe2jis50221_table,
                              unibe2jis50221_table + 65510);
  table[0x3042] = 0xA4;
  h->unibe2jis_table = table.data();
  const Bytes odd = hex("30 42");
  EXPECT_EQ(run("unibeto_jis", odd).out, hex("1B 24 42 21 29 1B 28 42"));
  expect_records(odd, 1, 0, 0x3042, 0, 0x3042);
}

// ---------------------------------------------------------------------------
// Line scanners.

struct Line {
  int32_t result;
  Bytes line;
  size_t next;  // offset of *pos after the call
};

template <class Scan>
Line scan(Scan fn, const Bytes &text, size_t from, uint64_t avail) {
  Bytes buf(avail + 1, 0xEE);
  uint64_t len = 777;
  const unsigned char *pos = text.data() + from;
  Line l;
  l.result = fn(nullptr, buf.data(), &len, &pos, avail);
  l.line.assign(buf.begin(), buf.begin() + static_cast<long>(len));
  EXPECT_EQ(buf[avail], 0xEE) << "wrote past avail";
  l.next = static_cast<size_t>(pos - text.data());
  return l;
}

class Utf16Lines : public ::testing::TestWithParam<const char *> {
 protected:
  Line line(const Bytes &text, size_t from, uint64_t avail) {
    return scan(
        std::string(GetParam()) == "unibe" ? kmv_unibe_strln : kmv_unile_strln,
        text, from, avail);
  }
  Bytes src(const char *units) const {
    return in_order(GetParam(), hex(units));
  }
};

TEST_P(Utf16Lines, LinesEndAtLfCrOrCrLf) {
  const Bytes t = src("00 41 00 0A 00 42");
  Line a = line(t, 0, 6);
  EXPECT_EQ(a.result, 1);
  EXPECT_EQ(a.line, src("00 41"));
  EXPECT_EQ(a.next, 4u);
  Line b = line(t, 4, 2);
  EXPECT_EQ(b.result, 1);
  EXPECT_EQ(b.line, src("00 42"));
  EXPECT_EQ(b.next, 6u);

  const Bytes crlf = src("00 41 00 0D 00 0A 00 42");
  EXPECT_EQ(line(crlf, 0, 8).next, 6u);
  EXPECT_EQ(line(crlf, 0, 4).next, 4u);  // the LF lies beyond avail
  EXPECT_EQ(line(src("00 0D 00 0D"), 0, 4).next, 2u);  // CR CR: two lines

  Line empty = line(src("00 0A 00 41"), 0, 4);
  EXPECT_EQ(empty.result, 0);
  EXPECT_TRUE(empty.line.empty());
  EXPECT_EQ(empty.next, 2u);
  // A unit 0A00 / 0D00 is no line end.
  EXPECT_EQ(line(src("0A 00 0D 00"), 0, 4).result, 2);
}

TEST_P(Utf16Lines, MarkIsCopiedButNotCounted) {
  const Bytes t = in_order(GetParam(), hex("FE FF")) + src("00 41 00 0A");
  Line a = line(t, 0, t.size());
  EXPECT_EQ(a.result, 1);
  EXPECT_EQ(a.line.size(), 4u);
  EXPECT_EQ(a.next, 6u);
  // The mark alone, or with a lone byte behind it.
  Line m = line(t, 0, 3);
  EXPECT_EQ(m.result, 0);
  EXPECT_EQ(m.line.size(), 2u);
  EXPECT_EQ(m.next, 2u);
}

TEST_P(Utf16Lines, SpanEndsCutLinesAndLeaveLoneBytes) {
  const Bytes t = src("30 42 30 44 30 46");
  Line a = line(t, 0, 5);
  EXPECT_EQ(a.result, 2);
  EXPECT_EQ(a.line, src("30 42 30 44"));
  EXPECT_EQ(a.next, 4u);
  Line lone = line(t, 4, 1);
  EXPECT_EQ(lone.result, 0);
  EXPECT_TRUE(lone.line.empty());
  EXPECT_EQ(lone.next, 4u);
  Line none = line(t, 0, 0);
  EXPECT_EQ(none.result, 0);
  EXPECT_EQ(none.next, 0u);
}

TEST_P(Utf16Lines, WholeTextLineByLine) {
  const Bytes t = src("30 42 00 0D 00 0A 00 0A 4E 9C 4E 9C 00 0D 00 41");
  std::vector<int32_t> counts;
  Bytes joined;
  for (size_t at = 0; at < t.size();) {
    Line l = line(t, at, t.size() - at);
    counts.push_back(l.result);
    joined = joined + l.line;
    ASSERT_GT(l.next, at);
    at = l.next;
  }
  EXPECT_EQ(counts, (std::vector<int32_t>{1, 0, 2, 1}));
  EXPECT_EQ(joined, src("30 42 4E 9C 4E 9C 00 41"));
}

INSTANTIATE_TEST_SUITE_P(BothOrders, Utf16Lines,
                         ::testing::Values("unibe", "unile"));

Line utf8_line(const Bytes &text, size_t from, uint64_t avail) {
  return scan(kmv_utf8_strln, text, from, avail);
}

TEST(Utf8Lines, LinesCountSequences) {
  const Bytes t = hex("41 E3 81 82 0A 42");
  Line a = utf8_line(t, 0, 6);
  EXPECT_EQ(a.result, 2);
  EXPECT_EQ(a.line, hex("41 E3 81 82"));
  EXPECT_EQ(a.next, 5u);

  const Bytes marked = hex("EF BB BF 41 0D 0A 42");
  Line m = utf8_line(marked, 0, 7);
  EXPECT_EQ(m.result, 1);
  EXPECT_EQ(m.line, hex("EF BB BF 41"));
  EXPECT_EQ(m.next, 6u);
  EXPECT_EQ(utf8_line(hex("41 0D"), 0, 2).next, 2u);
}

TEST(Utf8Lines, MalformedSequenceIsCopiedAndReported) {
  const Bytes t = hex("41 C3 28 42");
  Line a = utf8_line(t, 0, 4);
  EXPECT_EQ(a.result, KMV_ECHAR);
  EXPECT_EQ(a.line, hex("41 C3 28"));
  EXPECT_EQ(a.next, 3u);
  // A stray continuation byte takes three bytes, a line end among them.
  Line b = utf8_line(hex("80 0A 41 42"), 0, 4);
  EXPECT_EQ(b.result, KMV_ECHAR);
  EXPECT_EQ(b.next, 3u);
  // Overlong forms are not malformed here either.
  EXPECT_EQ(utf8_line(hex("C0 80 E0 80 80"), 0, 5).result, 2);
}

TEST(Utf8Lines, CutSequenceWaitsForTheNextCall) {
  const Bytes t = hex("41 E3 81");
  Line a = utf8_line(t, 0, 3);
  EXPECT_EQ(a.result, 1);
  EXPECT_EQ(a.line, hex("41"));
  EXPECT_EQ(a.next, 1u);
  Line b = utf8_line(t, 1, 2);
  EXPECT_EQ(b.result, 0);
  EXPECT_EQ(b.next, 1u);
  // The mark needs its three bytes within avail.
  Line c = utf8_line(hex("EF BB BF"), 0, 2);
  EXPECT_EQ(c.result, 0);
  EXPECT_EQ(c.next, 0u);
}

TEST(Utf8Lines, WholeTextLineByLine) {
  // The test text holds CR LF and LF line ends; reading it line by line
  // gives back every character and the same lines as splitting it.
  const Bytes t = kmv_test::read_data("common.utf8");
  ASSERT_FALSE(t.empty());
  size_t lines = 0;
  Bytes joined, expected;
  for (unsigned char c : t) {
    if (c != 0x0D && c != 0x0A) expected.push_back(c);
  }
  for (size_t at = 0; at < t.size(); ++lines) {
    Line l = utf8_line(t, at, t.size() - at);
    ASSERT_GE(l.result, 0);
    joined = joined + l.line;
    ASSERT_GT(l.next, at);
    at = l.next;
  }
  EXPECT_EQ(lines, 8u);
  EXPECT_EQ(joined, expected);
}

// ---------------------------------------------------------------------------
// Round trips of Japanese text against Python's codecs.

struct Vector {
  const char *conv;
  const char *from;  // file
  const char *to;    // file with the expected bytes
};

TEST_F(ConvertTest, JapaneseTextMatchesPythonCodecs) {
  // Differences by design are applied in make_vectors.py: U+301C gives
  // Shift_JIS 81 60 here (cp932 knows only U+FF5E there), IBM extension
  // characters get their IBM codes (cp932 writes the NEC-selected copies),
  // and the extensions' ISO-2022-JP is code page 50221's, which Python
  // lacks.
  const Vector vectors[] = {
      {"unibeto_euc", "common.utf16be", "common.eucjp"},
      {"unibeto_sjis", "common.utf16be", "common.sjis"},
      {"unibeto_jis", "common.utf16be", "common.jis"},
      {"unibeto_unile", "common.utf16be", "common.utf16le"},
      {"unibeto_utf8", "common.utf16be", "common.utf8"},
      {"unileto_euc", "common.utf16le", "common.eucjp"},
      {"unileto_sjis", "common.utf16le", "common.sjis"},
      {"unileto_jis", "common.utf16le", "common.jis"},
      {"unileto_unibe", "common.utf16le", "common.utf16be"},
      {"unileto_utf8", "common.utf16le", "common.utf8"},
      {"utf8to_euc", "common.utf8", "common.eucjp"},
      {"utf8to_sjis", "common.utf8", "common.sjis"},
      {"utf8to_jis", "common.utf8", "common.jis"},
      {"utf8to_unibe", "common.utf8", "common.utf16be"},
      {"utf8to_unile", "common.utf8", "common.utf16le"},
      {"unibeto_sjis", "ext.utf16be", "ext.sjis"},
      {"unibeto_jis", "ext.utf16be", "ext.jis"},
      {"unileto_sjis", "ext.utf16le", "ext.sjis"},
      {"unileto_jis", "ext.utf16le", "ext.jis"},
      {"unileto_utf8", "ext.utf16le", "ext.utf8"},
      {"utf8to_sjis", "ext.utf8", "ext.sjis"},
      {"utf8to_jis", "ext.utf8", "ext.jis"},
      {"utf8to_unibe", "ext.utf8", "ext.utf16be"},
  };
  for (const Vector &v : vectors) {
    SCOPED_TRACE(std::string(v.conv) + " " + v.from);
    const Bytes src = kmv_test::read_data(v.from);
    const Bytes want = kmv_test::read_data(v.to);
    ASSERT_FALSE(src.empty());
    ASSERT_FALSE(want.empty());
    Result r = run(v.conv, src);
    EXPECT_EQ(r.status, KMV_SUCCESS);
    EXPECT_EQ(r.out, want);
    EXPECT_EQ(h->err_count, 0u);
  }
}

TEST_F(ConvertTest, ExtensionsHaveNoCodeInTheCommonEucTable) {
  // NEC row 13 and IBM extensions are not JIS X 0208: the common EUC-JP
  // table lacks them, each is replaced and recorded.
  const Bytes src = hex("24 60 9A D9 30 42");
  EXPECT_EQ(run("unibeto_euc", src).out, hex("3F 3F A4 A2"));
  expect_records(src, 2, 0, 0x2460, 2, 0x9AD9);
}

}  // namespace
