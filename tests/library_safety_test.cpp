// Calls that once wrote past a caller's buffer or followed a null pointer.
#include <gtest/gtest.h>
#include <sys/mman.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <string>

#include "test_data.h"

namespace {

std::string converted(kmv_handle *h, const std::string &text, int32_t type) {
  unsigned char *out = nullptr;
  uint64_t len = 0;
  _convert(h, &out, &len, type,
           reinterpret_cast<const unsigned char *>(text.data()), text.size(),
           KMV_TYPE_UTF8);
  std::string s(reinterpret_cast<char *>(out), len);
  std::free(out);
  return s;
}

TEST(LibrarySafety, ConvertBufStaysWithinTheTextAndCutsWholeCharacters) {
  const size_t page = static_cast<size_t>(sysconf(_SC_PAGESIZE));
  auto *guarded =
      static_cast<char *>(mmap(nullptr, 2 * page, PROT_READ | PROT_WRITE,
                               MAP_PRIVATE | MAP_ANONYMOUS, -1, 0));
  ASSERT_NE(guarded, MAP_FAILED);
  ASSERT_EQ(mprotect(guarded + page, page, PROT_NONE), 0);  // faults on touch
  testdata::Handle h;
  // ISO-2022-JP grows every text here by its escape sequences.
  for (const std::string text : {"あaあa", "漢字かなカナ", "ｶﾅaｶﾅa", "a"}) {
    for (int32_t type : {KMV_TYPE_JIS, KMV_TYPE_SJIS, KMV_TYPE_EUC}) {
      SCOPED_TRACE(text + " to " + std::to_string(type));
      char *buf = guarded + page - (text.size() + 1);
      std::memcpy(buf, text.c_str(), text.size() + 1);
      const int32_t n = _convert_buf(h, buf, text.size(), type);
      ASSERT_TRUE(n >= 0 && static_cast<size_t>(n) <= text.size());
      EXPECT_EQ(buf[n], '\0');
      // The longest whole-character prefix whose conversion fits.
      std::string want;
      for (size_t k = 0; k <= text.size(); ++k) {
        if (k < text.size() && (text[k] & 0xC0) == 0x80) continue;
        const std::string c = converted(h, text.substr(0, k), type);
        if (c.size() > text.size()) break;
        want = c;
      }
      EXPECT_EQ(std::string(buf, static_cast<size_t>(n)), want);
    }
  }
  munmap(guarded, 2 * page);
}

TEST(LibrarySafety, NullArgumentsGiveTheFailureValue) {
  testdata::Handle h;
  unsigned char *buf = nullptr;
  uint64_t len = 0;
  const testdata::TempDir tmp;
  const std::string path = tmp.file("kept.txt", std::string("kept"));
  EXPECT_EQ(kmv_typeto_name(nullptr, KMV_TYPE_SJIS), 0);
  EXPECT_EQ(kmv_nameto_type(nullptr), KMV_ECTYPE);
  EXPECT_EQ(kmv_multi_type_names(nullptr, 64, 0x300), 0);
  EXPECT_EQ(kmv_all_type_names(nullptr, 64), 0);
  EXPECT_EQ(kmv_statusto_message(h, nullptr, 0, KMV_TYPE_SJIS), 0);
  EXPECT_EQ(_convert_buf(h, nullptr, 4, KMV_TYPE_SJIS), 0);
  EXPECT_EQ(kmv_read_file(h, nullptr, &len, path.c_str()), KMV_EALLOC);
  EXPECT_EQ(kmv_read_file(h, &buf, nullptr, path.c_str()), KMV_EALLOC);
  EXPECT_EQ(_copy(&buf, &len, KMV_TYPE_SJIS, nullptr, 4, KMV_TYPE_SJIS),
            KMV_EALLOC);
  EXPECT_EQ(kmv_write_file(h, nullptr, 4, path.c_str()), KMV_EWRITE);
  ASSERT_EQ(kmv_read_file(h, &buf, &len, path.c_str()), KMV_SUCCESS);
  EXPECT_EQ(std::string(reinterpret_cast<char *>(buf), len),
            "kept");  // untouched
  std::free(buf);
}

}  // namespace
