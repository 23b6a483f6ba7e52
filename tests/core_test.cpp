// Handle defaults, the read-size setting, type names and the status table.
#include <gtest/gtest.h>

#include <cstddef>
#include <cstring>
#include <set>
#include <string>

#include "kmv.h"

namespace {

TEST(Handle, NewHandleHoldsTheDefaultTables) {
  kmv_handle *h = create_kmv();
  ASSERT_NE(h, nullptr);
  EXPECT_EQ(h->jis2unibe_table, jis2unibe50221_table);
  EXPECT_EQ(h->sjis2unibe_table, sjis2unibe932_table);
  EXPECT_EQ(h->euc2unibe_table00, euc2unibecommon_table00);
  EXPECT_EQ(h->euc2unibe_table8f, nullptr);
  EXPECT_EQ(h->unibe2jis_table, unibe2jis50221_table);
  EXPECT_EQ(h->unibe2sjis_table, unibe2sjis932_table);
  EXPECT_EQ(h->unibe2euc_table, unibe2euccommon_table);
  EXPECT_EQ(h->unibe2euc_table4, nullptr);
  EXPECT_EQ(h->unibe_def_table, unibe_def_table);
  EXPECT_EQ(h->jis2unibe_table_size, 31871u);
  EXPECT_EQ(h->sjis2unibe_table_size, 64588u);
  EXPECT_EQ(h->euc2unibe_table00_size, 62631u);
  EXPECT_EQ(h->euc2unibe_table8f_size, 0u);
  EXPECT_EQ(h->unibe2jis_table_size, 65510u);
  EXPECT_EQ(h->unibe2sjis_table_size, 65510u);
  EXPECT_EQ(h->unibe2euc_table_size, 65510u);
  EXPECT_EQ(h->unibe2euc_table4_size, 0u);
  EXPECT_EQ(h->unibe_def_table_size, 65536u);
  EXPECT_EQ(h->last_errno, 0);
  EXPECT_EQ(h->src_top, nullptr);
  EXPECT_EQ(h->err_first, nullptr);
  EXPECT_EQ(h->err_count, 0u);
  EXPECT_EQ(h->err_first_code, 0);
  EXPECT_FLOAT_EQ(h->version, 1.01f);
  release_kmv(h);
  release_kmv(nullptr);  // harmless
}

TEST(Handle, FieldLayoutIsThePublishedOne) {
  // Callers store variant tables by offset; the layout must not drift.
  EXPECT_EQ(offsetof(kmv_handle, unibe_def_table), 8 * sizeof(void *));
  EXPECT_EQ(offsetof(kmv_handle, jis2unibe_table_size), 9 * sizeof(void *));
  EXPECT_EQ(offsetof(kmv_handle, last_errno), 9 * sizeof(void *) + 9 * 8);
  EXPECT_LT(offsetof(kmv_handle, err_count),
            offsetof(kmv_handle, err_first_code));
  EXPECT_LT(offsetof(kmv_handle, err_last_code), offsetof(kmv_handle, version));
}

TEST(Handle, VersionNeedsNoHandle) {
  EXPECT_FLOAT_EQ(kmv_get_version(), 1.01f);
}

TEST(Settings, MaxBufSizeIsClampedAndRestored) {
  EXPECT_EQ(kmv_set_max_buf_size(0), 10485760);
  EXPECT_EQ(kmv_get_max_buf_size(), 10485760);
  EXPECT_EQ(kmv_set_max_buf_size(1), 8192);
  EXPECT_EQ(kmv_set_max_buf_size(8191), 8192);
  EXPECT_EQ(kmv_set_max_buf_size(8192), 8192);
  EXPECT_EQ(kmv_set_max_buf_size(100000), 100000);
  EXPECT_EQ(kmv_get_max_buf_size(), 100000);
  // Values are kept as signed 32-bit numbers: the low 32 bits stand.
  EXPECT_EQ(kmv_set_max_buf_size(0x1000000000ull + 50000), 50000);
  EXPECT_EQ(kmv_set_max_buf_size(0), 10485760);
}

TEST(TypeNames, TableRowsAreThePublishedOnes) {
  ASSERT_EQ(typeNamesSize, 15u);
  EXPECT_EQ(&_typeNames[0], &typeNames[0]);  // an alias, not a copy
  EXPECT_EQ(&_typeNamesSize, &typeNamesSize);
  uint32_t expected_mask = 0x40;
  for (size_t row = 1; row < typeNamesSize; ++row) {
    if (row == 3) {
      EXPECT_EQ(typeNames[row].mask, 0u);
      continue;
    }
    EXPECT_EQ(typeNames[row].mask, expected_mask) << "row " << row;
    expected_mask <<= 1;
  }
  EXPECT_STREQ(typeNames[6].name, "EUC1(PC20932)");
  EXPECT_EQ(typeNames[9].type, 11);
  EXPECT_EQ(typeNames[14].type, 16);
}

TEST(TypeNames, TypeToName) {
  char text[14];
  for (int32_t unknown : {3, 9, 10, 17, -1, 0}) {
    EXPECT_EQ(kmv_typeto_name(text, unknown), 7) << unknown;
    EXPECT_STREQ(text, "Unknown");
  }
  EXPECT_EQ(kmv_typeto_name(text, 11), 7);
  EXPECT_STREQ(text, "UTF16BE");
  EXPECT_EQ(kmv_typeto_name(text, 8), 12);
  EXPECT_STREQ(text, "EUC3(EUC-MS)");
}

TEST(TypeNames, NameToTypeIgnoresCase) {
  EXPECT_EQ(kmv_nameto_type("utf16be"), 11);
  EXPECT_EQ(kmv_nameto_type("UTF8_BOM"), 16);
  EXPECT_EQ(kmv_nameto_type("ascii"), 1);
  EXPECT_EQ(kmv_nameto_type("sJiS"), 4);
  EXPECT_EQ(kmv_nameto_type("euc3(euc-ms)"), 8);
  EXPECT_EQ(kmv_nameto_type("Unknown"), KMV_ECTYPE);
  EXPECT_EQ(kmv_nameto_type("UNKNOWN"), KMV_ECTYPE);
  EXPECT_EQ(kmv_nameto_type(""), KMV_ECTYPE);
  EXPECT_EQ(kmv_nameto_type("SJIS "), KMV_ECTYPE);
  // Only the first 255 bytes are compared.
  std::string long_name(300, 'A');
  EXPECT_EQ(kmv_nameto_type(long_name.c_str()), KMV_ECTYPE);
}

// Fills a guarded buffer, runs f on its first `size` bytes, and checks that
// nothing beyond them was touched.
template <typename F>
std::string guarded(size_t size, F f, int32_t *result) {
  char buf[160];
  std::memset(buf, '#', sizeof buf);
  *result = f(buf, size);
  for (size_t i = size; i < sizeof buf; ++i) {
    EXPECT_EQ(buf[i], '#') << "byte " << i << " written past size " << size;
  }
  return size == 0 ? std::string() : std::string(buf);
}

TEST(TypeNames, MultiTypeNamesHonoursTheSize) {
  int32_t r = 0;
  auto multi = [&](size_t size, int32_t value) {
    return guarded(
        size,
        [value](char *t, size_t n) {
          return kmv_multi_type_names(t, n, value);
        },
        &r);
  };
  EXPECT_EQ(multi(9, 0x300), "SJIS;EUC");
  EXPECT_EQ(r, 8);
  EXPECT_EQ(multi(8, 0x300), "SJIS");
  EXPECT_EQ(r, 4);
  EXPECT_EQ(multi(40, 0x20040), "ASCII;UTF8");
  EXPECT_EQ(r, 10);
  EXPECT_EQ(multi(40, 4), "SJIS");
  EXPECT_EQ(r, 4);
  EXPECT_EQ(multi(0, 4), "");
  EXPECT_EQ(r, 0);
  // A single type code is cut to the room given, never written past it.
  EXPECT_EQ(multi(4, 8), "EUC");
  EXPECT_EQ(r, 3);
  EXPECT_EQ(multi(1, 8), "");
  EXPECT_EQ(r, 0);
}

TEST(TypeNames, AllTypeNames) {
  const int32_t need = kmv_all_type_names_length();
  EXPECT_EQ(need, 114);
  int32_t r = 0;
  auto all = [&](size_t size) {
    return guarded(
        size, [](char *t, size_t n) { return kmv_all_type_names(t, n); }, &r);
  };
  EXPECT_EQ(all(114),
            "ASCII;JIS;SJIS;EUC;EUC1(PC20932);EUC2(PC51932);EUC3(EUC-MS);"
            "UTF16BE;UTF16BE_BOM;UTF16LE;UTF16LE_BOM;UTF8;UTF8_BOM");
  EXPECT_EQ(r, 113);
  EXPECT_EQ(all(113).substr(0, 5), "ASCII");
  EXPECT_EQ(r, 104);
  all(0);
  EXPECT_EQ(r, 0);
  EXPECT_EQ(all(5), "");  // "ASCII" and its terminator need 6
  EXPECT_EQ(r, 0);
}

TEST(Status, EveryCodeOnceInOrder) {
  ASSERT_EQ(satusMessageSize, 17u);
  EXPECT_EQ(&_satusMessage[0], &satusMessage[0]);
  EXPECT_EQ(satusMessage[0].code, 0);
  EXPECT_EQ(satusMessage[16].code, -23);
  std::set<int32_t> codes;
  for (size_t i = 0; i < satusMessageSize; ++i) {
    EXPECT_TRUE(codes.insert(satusMessage[i].code).second);
    EXPECT_NE(std::strchr(satusMessage[i].message, ':'), nullptr);
  }
  for (int32_t unused : {-9, -14, -19, 1}) EXPECT_EQ(codes.count(unused), 0u);
  EXPECT_STREQ(satusMessage[14].message, "EBOM:BOM 不正（未使用）");
  EXPECT_EQ(std::strlen(satusMessage[11].message), 59u);  // the longest
}

}  // namespace
