// The Shift_JIS, EUC-JP and ISO-2022-JP converters: case tables per source
// family, real Japanese texts against Python's codecs, the EUC-JP variant
// pairs, tables taken from the handle, long texts and cut characters.
// Results give positions as offsets into the source.
//
// Where the library maps differently from Python's codecs by design,
// convert2/make_vectors.py makes the difference (and says why):
//  - Shift_JIS 81 60 and EUC-JP A1 C1 read as U+301C WAVE DASH, where cp932
//    says U+FF5E; ISO-2022-JP 21 41 reads as U+FF5E, where iso2022_jp says
//    U+301C.
//  - Code page 932 duplicates (NEC row 13 copies, NEC-selected IBM
//    extensions ED40-EEFC) have no mapping; cp932 reads them.
//  - EUC-JP 8F A2 B7 (JIS X 0212 tilde) has no mapping in the code page
//    20932 variant; euc_jp reads it as U+007E. Code page 51932 and the
//    common variant have no JIS X 0212 at all; eucJP-ms moves 8F A2 B7 and
//    8F A2 C3 to U+FF5E and U+FFE4 and adds the IBM extensions at 8F F3F3.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <tuple>
#include <vector>

#include "kmv.h"
#include "legacy_vectors.h"

namespace {

using legacy::Bytes;
using legacy::hex;
using testdata::operator+;

struct Result {
  int32_t status;
  Bytes out;
  bool out_null;
  int64_t err_pos;  // offsets into the source, -1 for null
  uint32_t err_count;
  int64_t err_first, err_last;
  int32_t err_first_code, err_last_code;
  bool src_top_is_src;
  auto tied() const {
    return std::tie(status, out, out_null, err_pos, err_count, err_first,
                    err_last, err_first_code, err_last_code, src_top_is_src);
  }
};
int64_t offset(const unsigned char *p, const unsigned char *base) {
  return p == nullptr ? -1 : static_cast<int64_t>(p - base);
}

// Converts src with the converter of that name on handle h (a fresh default
// handle when null).
Result convert(const std::string &name, const Bytes &src,
               kmv_handle *h = nullptr, int bom = 0) {
  kmv_handle *own = h == nullptr ? create_kmv() : nullptr;
  if (h == nullptr) h = own;
  // The source lives in its own allocation of exactly its size, so that
  // ASan reports any read past it.
  auto *copy = static_cast<unsigned char *>(std::malloc(src.size() + 1));
  for (size_t i = 0; i < src.size(); ++i) copy[i] = src[i];
  unsigned char *dst = reinterpret_cast<unsigned char *>(1);
  uint64_t dst_len = 99;
  const unsigned char *err_pos = reinterpret_cast<const unsigned char *>(1);
  Result r{};
  r.status = testdata::converters().at(name)(h, &dst, &dst_len, &err_pos, copy,
                                             src.size(), bom);
  r.out_null = dst == nullptr;
  if (dst != nullptr) r.out.assign(dst, dst + dst_len);
  std::free(dst);
  r.err_pos = offset(err_pos, copy);
  r.err_count = h->err_count;
  r.err_first = offset(h->err_first, copy);
  r.err_last = offset(h->err_last, copy);
  r.err_first_code = h->err_first_code;
  r.err_last_code = h->err_last_code;
  r.src_top_is_src = h->src_top == copy;
  std::free(copy);
  release_kmv(own);
  return r;
}

// The rows of a case file under data/: "source target" (optionally followed
// by the EUC-JP variants read and written, "euc euc 20932 51932"), source,
// output, the record ("count first:code [last:code]", offsets into the
// source, codes in hex; last defaults to first) and the offset of a cut
// last character, if any. The rows share one handle, so that every row also
// proves the previous call's record was cleared.
TEST(LegacyConvert, CaseTables) {
  for (const char *family : {"sjis", "euc", "jis"}) {
    const std::string file = std::string("convert2/") + family + "_cases.txt";
    const auto rows = testdata::rows(file);
    ASSERT_FALSE(rows.empty()) << file;
    kmv_handle *shared = create_kmv();
    for (const testdata::Row &row : rows) {
      std::istringstream words(row[0]);
      std::string from, to, dec, enc;
      words >> from >> to >> dec >> enc;
      SCOPED_TRACE(file + ":" + std::to_string(row.line));
      kmv_handle *h = shared;
      if (!dec.empty()) {
        h = create_kmv();
        legacy::select_euc_decoding(h, dec);
        legacy::select_euc_encoding(h, enc);
      }
      const Result r = convert(from + "to_" + to, hex(row[1]), h);
      if (h != shared) release_kmv(h);
      unsigned n = 0, first = ~0u, code = ~0u, last = ~0u, last_code = ~0u;
      std::sscanf(row[3].c_str(), "%u %u:%x %u:%x", &n, &first, &code, &last,
                  &last_code);
      const auto at = [n](unsigned i) { return n ? int64_t{i} : -1; };
      const int64_t cut = row[4].empty() ? -1 : std::stoll(row[4]);
      if (last == ~0u) std::tie(last, last_code) = std::tie(first, code);
      EXPECT_EQ(r.tied(),
                std::make_tuple(cut < 0 ? KMV_SUCCESS : KMV_EUEXPEOD,
                                hex(row[2]), false, cut, n, at(first), at(last),
                                int32_t(code), int32_t(last_code), true));
    }
    release_kmv(shared);
  }
}

TEST(LegacyConvert, EveryConverterMatchesTheOracleOnRealText) {
  const legacy::Vectors &v = legacy::vectors();
  ASSERT_GE(v.cases.size(), 140u) << "vectors.txt not found or incomplete";
  std::set<std::string> seen;
  for (const legacy::Case &c : v.cases) {
    const legacy::Source &s = v.sources.at(c.source);
    const std::string from_to = s.family + "to_" + c.target;
    SCOPED_TRACE(c.source + " to " + c.target + " " + c.dst_variant);
    seen.insert(from_to + (s.family == "euc" ? " " + s.variant : "") +
                (c.target == "euc" ? " " + c.dst_variant : ""));
    kmv_handle *h = create_kmv();
    if (s.family == "euc") legacy::select_euc_decoding(h, s.variant);
    if (c.target == "euc") legacy::select_euc_encoding(h, c.dst_variant);
    const Result r = convert(from_to, s.bytes, h);
    release_kmv(h);
    EXPECT_EQ(
        std::tie(r.status, r.out, r.err_count, r.err_first, r.err_first_code,
                 r.err_last, r.err_last_code),
        std::make_tuple(KMV_SUCCESS, c.expected, c.err_count, c.first_offset,
                        c.first_code, c.last_offset, c.last_code));
  }
  // Every converter once per EUC-JP variant it reads or writes: eight
  // from Shift_JIS, eight from ISO-2022-JP, four times nine from EUC-JP.
  EXPECT_EQ(seen.size(), 8u + 8u + 36u);
}

// The byte-order marks of the Unicode targets, before real text and alone;
// an empty source gives an empty buffer, not none.
TEST(LegacyConvert, MarksAndEmptySources) {
  const legacy::Source &s = legacy::vectors().sources.at("prose_sjis");
  const struct {
    const char *target, *mark;
  } marks[] = {{"unibe", "FEFF"}, {"unile", "FFFE"}, {"utf8", "EFBBBF"}};
  for (const auto &m : marks) {
    for (const char *family : {"sjisto_", "jisto_"})
      EXPECT_EQ(convert(family + std::string(m.target), {}, nullptr, 1).out,
                hex(m.mark));
    const std::string name = std::string("sjisto_") + m.target;
    EXPECT_EQ(convert(name, s.bytes, nullptr, 1).out,
              hex(m.mark) + convert(name, s.bytes).out);
  }
  for (const auto &[name, fn] : testdata::converters()) {
    (void)fn;
    const Result r = convert(name, {});
    EXPECT_EQ(r.status, KMV_SUCCESS) << name;
    EXPECT_FALSE(r.out_null) << name;
    EXPECT_TRUE(r.out.empty()) << name;
  }
}

// Long enough for the frame to take them in several chunks: the writer's
// output grows far beyond the source, and the reader keeps its modes and an
// open katakana run across arbitrary chunk borders.
TEST(LegacyConvert, LongTextsAcrossChunks) {
  Result r = convert("sjisto_jis", testdata::repeat("B1 889F", 5000));
  EXPECT_EQ(r.status, KMV_SUCCESS);
  EXPECT_EQ(r.out,
            testdata::repeat("1B2849 31 1B2442 3021", 5000) + hex("1B2842"));
  r = convert("jisto_sjis",
              testdata::repeat("41 0E310F 1B2442 3021 1B2849 32 1B2842", 3000));
  EXPECT_EQ(r.status, KMV_SUCCESS);
  EXPECT_EQ(r.out, testdata::repeat("41 B1 889F B2", 3000));
}

TEST(LegacyConvert, TablesComeFromTheHandle) {
  kmv_handle *h = create_kmv();
  // A table that ends before the kanji of row 89: they become unmapped.
  h->sjis2unibe_table_size = 0x8900;
  Result r = convert("sjisto_unibe", hex("889F 899F"), h);
  EXPECT_EQ(r.out, hex("4E9C 003F"));
  EXPECT_EQ(r.err_first_code, 0x899F);
  // No table at all: even ASCII has no value for the Unicode targets.
  h->sjis2unibe_table = nullptr;
  h->sjis2unibe_table_size = 0;
  r = convert("sjisto_utf8", hex("41 B1"), h);
  EXPECT_EQ(r.out, hex("3F 3F"));
  EXPECT_EQ(r.err_count, 0u);
  // The EUC-JP target writes through the four-byte slot when it is set:
  // circled one of the NEC row, small roman one of the IBM codes.
  h->sjis2unibe_table = sjis2unibe932_table;
  h->sjis2unibe_table_size = sjis2unibe932_table_size;
  h->unibe2euc_table4 = unibe2eucms_table;
  h->unibe2euc_table4_size = unibe2eucms_table_size;
  r = convert("sjisto_euc", hex("8740 FA40"), h);
  EXPECT_EQ(r.out, hex("ADA1 8FF3F3"));
  // Only the Unicode targets look EUC-JP katakana up.
  h->euc2unibe_table00_size = 0x8E00;  // ends before the katakana
  EXPECT_EQ(convert("eucto_sjis", hex("8EB1"), h).out, hex("B1"));
  EXPECT_EQ(convert("eucto_jis", hex("8EB1"), h).out, hex("1B2849 31 1B2842"));
  EXPECT_EQ(convert("eucto_unibe", hex("8EB1"), h).out, hex("003F"));
  release_kmv(h);
}

// kmv_eucto_euc for every pair of variants on the codes where they
// disagree. The expectation is composed from how each variant reads the
// code and how each writes the value.
TEST(LegacyConvert, EveryEucVariantPairOnTheDisputedCodes) {
  const auto table = [](const char *kind) {
    std::map<uint32_t, std::vector<uint32_t>> m;
    for (const auto &r : testdata::rows("convert/euc_disputed.txt", kind)) {
      std::istringstream values(r[2]);
      auto &per_variant =
          m[static_cast<uint32_t>(std::stoul(r[1], nullptr, 16))];
      for (uint32_t v; values >> std::hex >> v;) per_variant.push_back(v);
    }
    return m;
  };
  const auto decode = table("decode"), encode = table("encode");
  auto code_bytes = [](uint32_t code) {
    char text[8];
    std::snprintf(text, sizeof text, code > 0xFFFF ? "%06X" : "%04X", code);
    return hex(text);
  };
  for (size_t from = 0; from < 4; ++from) {
    for (size_t to = 0; to < 4; ++to) {
      kmv_handle *h = create_kmv();
      legacy::select_euc_decoding(h, legacy::kEucVariants[from]);
      legacy::select_euc_encoding(h, legacy::kEucVariants[to]);
      for (const auto &[code, read] : decode) {
        SCOPED_TRACE(std::string(legacy::kEucVariants[from]) + " to " +
                     legacy::kEucVariants[to] + " code " +
                     std::to_string(code));
        const uint32_t u = read.at(from);
        const uint32_t e = u == 0 ? 0 : encode.at(u).at(to);
        const Result r = convert("eucto_euc", code_bytes(code), h);
        EXPECT_EQ(r.out, e == 0 ? hex("3F") : code_bytes(e));
        EXPECT_EQ(r.err_count, e == 0 ? 1u : 0u);
        EXPECT_TRUE(e != 0 || r.err_first_code ==
                                  static_cast<int32_t>(u == 0 ? code : u));
      }
      release_kmv(h);
    }
  }
}

TEST(LegacyConvert, EucCutLastCharacter) {
  const struct {
    const char *src;
    int64_t at;
  } cuts[] = {{"41 A4", 1}, {"41 8E", 1}, {"41 8FA2", 1}, {"8F", 0}};
  for (const auto &[name, fn] : testdata::converters()) {
    (void)fn;
    if (name.rfind("euc", 0) != 0) continue;
    for (const auto &c : cuts) {
      const Result r = convert(name, hex(c.src));
      EXPECT_EQ(r.status, KMV_EUEXPEOD) << name << " " << c.src;
      EXPECT_EQ(r.err_pos, c.at) << name << " " << c.src;
      EXPECT_FALSE(r.out_null) << name;
    }
  }
}

}  // namespace
