// ISO-2022-JP to Shift_JIS takes kanji by arithmetic only while the
// handle holds the built-in tables: a caller's own table, or a shorter
// count beside a built-in one, is read as it stands.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
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
