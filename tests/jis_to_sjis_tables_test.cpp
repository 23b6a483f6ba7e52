// ISO-2022-JP and EUC-JP to Shift_JIS take kanji by arithmetic only while the
// handle holds the built-in tables: a caller's own table, or a shorter
// count beside a built-in one, is read as it stands.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <utility>
#include <vector>

#include "kmv.h"

namespace {

struct Case {
  const char *what;
  void (*set)(kmv_handle *h, std::vector<uint16_t> &copy);
  std::string want;  // for each of the 20 characters
  uint32_t recorded;
};

TEST(JisToSjisTables, SlotsOtherThanTheBuiltInOnesAreRead) {
  const Case cases[] = {
      {"built-in", [](kmv_handle *, std::vector<uint16_t> &) {}, "\x88\x9F", 0},
      {"own Shift_JIS table",
       [](kmv_handle *h, std::vector<uint16_t> &copy) {
         copy.assign(unibe2sjis932_table,
                     unibe2sjis932_table + unibe2sjis932_table_size);
         copy[0x4E9C] = 0x8140;
         h->unibe2sjis_table = copy.data();
       },
       "\x81\x40", 0},
      {"own ISO-2022-JP table",
       [](kmv_handle *h, std::vector<uint16_t> &copy) {
         copy.assign(jis2unibe50221_table,
                     jis2unibe50221_table + jis2unibe50221_table_size);
         copy[0x3021] = 0x3042;
         h->jis2unibe_table = copy.data();
       },
       "\x82\xA0", 0},
      {"built-in table, shorter count",
       [](kmv_handle *h, std::vector<uint16_t> &) {
         h->jis2unibe_table_size = 0x3000;
       },
       "?", 20},
  };
  // 0x3021 is U+4E9C, Shift_JIS 889F; twenty of them reach the blocks.
  for (const Case &c : cases) {
    SCOPED_TRACE(c.what);
    kmv_handle *h = create_kmv();
    std::vector<uint16_t> copy;
    c.set(h, copy);
    std::string text = "\x1B$B", expected;
    for (int i = 0; i < 20; ++i) text += "0!", expected += c.want;
    text += "\x1B(B";
    unsigned char *out = nullptr;
    uint64_t len = 0;
    const unsigned char *err = nullptr;
    ASSERT_EQ(
        kmv_jisto_sjis(h, &out, &len, &err,
                       reinterpret_cast<const unsigned char *>(text.data()),
                       text.size()),
        KMV_SUCCESS);
    EXPECT_EQ(std::string(reinterpret_cast<char *>(out), len), expected);
    EXPECT_EQ(h->err_count, c.recorded);
    std::free(out);
    release_kmv(h);
  }
}

}  // namespace

// EUC-JP to Shift_JIS takes the same arithmetic with each built-in EUC-JP
// table: every two-byte code comes out as through a copy of that table.
TEST(EucToSjisTables, EveryCodeAsThroughACopyOfEachVariant) {
  const std::pair<const uint16_t *, uint64_t> variants[] = {
      {euc2unibecommon_table00, euc2unibecommon_table00_size},
      {euc2unibe20932_table00, euc2unibe20932_table00_size},
      {euc2unibe51932_table00, euc2unibe51932_table00_size},
      {euc2unibems_table00, euc2unibems_table00_size}};
  std::string text;
  for (int lead = 0xA1; lead <= 0xFE; ++lead) {
    for (int trail = 0xA1; trail <= 0xFE; ++trail) {
      text += static_cast<char>(lead);
      text += static_cast<char>(trail);
    }
  }
  const auto convert = [&](kmv_handle *h) {
    unsigned char *out = nullptr;
    uint64_t len = 0;
    const unsigned char *err = nullptr;
    kmv_eucto_sjis(h, &out, &len, &err,
                   reinterpret_cast<const unsigned char *>(text.data()),
                   text.size());
    std::string got(reinterpret_cast<char *>(out), len);
    std::free(out);
    return got + " " + std::to_string(h->err_count);
  };
  for (const auto &[table, size] : variants) {
    kmv_handle *built_in = create_kmv(), *copied = create_kmv();
    const std::vector<uint16_t> copy(table, table + size);
    built_in->euc2unibe_table00 = table;
    built_in->euc2unibe_table00_size = size;
    copied->euc2unibe_table00 = copy.data();
    copied->euc2unibe_table00_size = size;
    EXPECT_EQ(convert(built_in), convert(copied)) << size;
    release_kmv(built_in);
    release_kmv(copied);
  }
}
