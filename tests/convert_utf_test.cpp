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
#include <random>
#include <string>
#include <vector>

#include "kmv.h"
#include "test_data.h"

namespace {

using testdata::Bytes;
using testdata::hex;
using testdata::operator+;
using testdata::pattern;

// What one call hands back.
struct Result {
  int32_t status = 1;
  Bytes out;
  bool dst_null = true;
  const unsigned char *err_pos = nullptr;
};

// One call of a converter (by name, testdata::converters). Output
// arguments start as junk, which the call must clear.
Result call(const std::string &name, kmv_handle *h, const Bytes &src,
            int bom = 0, bool want_err_pos = true) {
  Result r;
  unsigned char *dst = reinterpret_cast<unsigned char *>(&r);
  uint64_t len = 12345;
  const unsigned char *err = src.data();
  r.status = testdata::converters().at(name)(h, &dst, &len,
                                             want_err_pos ? &err : nullptr,
                                             src.data(), src.size(), bom);
  r.dst_null = dst == nullptr;
  if (dst != nullptr) r.out.assign(dst, dst + len);
  if (dst == nullptr && len != 0) r.out.assign(len, 0xEE);  // shows up
  std::free(dst);
  r.err_pos = want_err_pos ? err : nullptr;
  return r;
}

// The converters from UTF-16 and UTF-8, and the mark of a Unicode form.
bool from_unicode(const std::string &name) {
  return name[0] == 'u';
}
const char *mark_of(const std::string &family) {
  return family == "unibe"   ? "FE FF"
         : family == "unile" ? "FF FE"
         : family == "utf8"  ? "EF BB BF"
                             : "";
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
  std::string conv, src, out, rec = "";
  size_t cut = kWhole;
  int bom = 0;
};

class Utf : public ::testing::Test {
 protected:
  // Leaves junk in the per-call state, as a previous call might.
  void dirty_state() {
    static const unsigned char junk[4] = {};
    h->src_top = h->err_first = junk;
    h->err_last = junk + 1;
    h->err_count = 99;
    h->err_first_code = 7;
    h->err_last_code = 8;
  }

  void expect_records(const Bytes &src, const std::string &rec) {
    unsigned n = 0, first = 0, first_code = ~0u, last = 0, last_code = ~0u;
    std::sscanf(rec.c_str(), "%u %u:%x %u:%x", &n, &first, &first_code, &last,
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
    const Bytes src = units ? in_order(name, pattern(c.src)) : pattern(c.src);
    dirty_state();
    const Result r = call(name, h, src, c.bom);
    EXPECT_EQ(r.status, c.cut == kWhole ? KMV_SUCCESS : KMV_EUEXPEOD);
    EXPECT_FALSE(r.dst_null);
    EXPECT_EQ(r.out, pattern(c.out));
    EXPECT_EQ(r.err_pos, c.cut == kWhole ? nullptr : src.data() + c.cut);
    expect_records(src, c.rec);
    if (c.cut != kWhole) {  // without err_pos the same result
      const Result q = call(name, h, src, c.bom, false);
      EXPECT_EQ(q.status, r.status);
      EXPECT_EQ(q.out, r.out);
    }
  }

  void check(const std::vector<Case> &cases) {
    for (const Case &c : cases) {
      if (!c.conv.starts_with("u16")) {
        check_one(c.conv, c);
        continue;
      }
      for (const char *order : {"unibe", "unile"})
        check_one(order + c.conv.substr(3), c, true);
    }
  }

  testdata::Handle h;
};

// ---------------------------------------------------------------------------
// The frame.

// Rows of data/convert/cases.txt: converter ("u16to_x" for both UTF-16
// byte orders, its source then given big-endian) | source | output |
// record "count first:code last:code" | offset of a cut | bom flag.
TEST_F(Utf, CaseTable) {
  std::vector<Case> cases;
  for (const char *file :
       {"convert/cases.txt", "convert2/utf_long_cases.txt"}) {
    for (const testdata::Row &r : testdata::rows(file))
      cases.push_back({r[0], r[1], r[2], r[3],
                       r[4].empty() ? kWhole : std::stoul(r[4]),
                       r[5].empty() ? 0 : std::stoi(r[5])});
  }
  ASSERT_GE(cases.size(), 58u);
  check(cases);
}

TEST_F(Utf, EmptySourceOrMarkAloneGivesNothingOrTheTargetMark) {
  for (const auto &entry : testdata::converters()) {
    const std::string &name = entry.first,
                      to = name.substr(name.find("to_") + 3);
    if (!from_unicode(name)) continue;
    for (const char *src : {"", mark_of(name.substr(0, name.find("to_")))}) {
      for (int bom : {0, 1})
        check_one(name, {name, src, bom ? mark_of(to) : "", "", kWhole, bom});
    }
  }
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
    EXPECT_EQ(call("unibeto_utf8", h, be).out, u8);
    EXPECT_EQ(call("unileto_utf8", h, le).out, u8);
    EXPECT_EQ(call("unibeto_unile", h, be).out, le);
    EXPECT_EQ(call("unileto_unibe", h, le).out, be);
    EXPECT_EQ(call("utf8to_unibe", h, u8).out, be);
    EXPECT_EQ(call("utf8to_unile", h, u8, 1).out, hex("FF FE") + le);
  }
}

// ---------------------------------------------------------------------------
// Family rules and the ISO-2022-JP writer.

TEST_F(Utf, TableSlotsAreReadAsTheHandleHoldsThem) {
  // EUC-JP: the four-byte slot and its entry count.
  h->unibe2euc_table4 = unibe2euc20932_table;
  h->unibe2euc_table4_size = unibe2euc20932_table_size;
  EXPECT_EQ(call("unileto_euc", h, hex("02 4E A6 00")).out,
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
// Line scanners.

// Rows of data/convert/line_cases.txt: one call from `from` with `avail`
// bytes, without a handle.
using ScanFn = int32_t (*)(const kmv_handle *, unsigned char *, uint64_t *,
                           const unsigned char **, uint64_t);

TEST(UtfLines, CaseTable) {
  const auto rows = testdata::rows("convert/line_cases.txt");
  ASSERT_GE(rows.size(), 15u);
  for (const testdata::Row &c : rows) {
    const std::pair<const char *, ScanFn> scanners[] = {
        {"unibe", kmv_unibe_strln},
        {"unile", kmv_unile_strln},
        {"utf8", kmv_utf8_strln}};
    for (const auto &[order, fn] : scanners) {
      if ((c[0] == "utf8") != (std::string(order) == "utf8")) continue;
      SCOPED_TRACE(std::string(order) + " at line " + std::to_string(c.line));
      const Bytes text = in_order(order, hex(c[1]));
      const uint64_t avail = std::stoul(c[3]);
      Bytes buf(avail + 1, 0xEE);
      uint64_t len = 777;
      const unsigned char *pos = text.data() + std::stoul(c[2]);
      EXPECT_EQ(fn(nullptr, buf.data(), &len, &pos, avail),
                c[4] == "bad" ? KMV_ECHAR : std::stoi(c[4]));
      EXPECT_EQ(Bytes(buf.begin(), buf.begin() + static_cast<long>(len)),
                in_order(order, hex(c[5])));
      EXPECT_EQ(buf[avail], 0xEE) << "wrote past avail";
      EXPECT_EQ(pos, text.data() + std::stoul(c[6]));
    }
  }
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
      if (family == pair[0])
        return testdata::data_bytes("convert/" + text + "." + pair[1]);
    }
    return testdata::data_bytes("convert/" + text + "." + family);
  };
  for (const char *text : {"common", "ext"}) {
    for (const auto &entry : testdata::converters()) {
      const std::string &name = entry.first;
      if (!from_unicode(name)) continue;
      SCOPED_TRACE(name + " " + text);
      const size_t to = name.find("to_");
      const Bytes src = file(text, name.substr(0, to));
      const Bytes want = file(text, name.substr(to + 3));
      ASSERT_FALSE(src.empty());
      if (want.empty() && name.ends_with("euc")) continue;
      const Result r = call(name, h, src);
      EXPECT_EQ(r.status, KMV_SUCCESS);
      EXPECT_EQ(r.out, want);
      EXPECT_EQ(h->err_count, 0u);
    }
  }
}

}  // namespace
