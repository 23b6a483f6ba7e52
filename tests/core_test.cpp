// Handle defaults, the read-size setting, type names and the status table.
#include <gtest/gtest.h>

#include <cstddef>
#include <cstring>
#include <string>
#include <tuple>
#include <vector>

#include "kmv.h"
#include "test_data.h"

namespace {

TEST(Handle, NewHandleHoldsTheDefaultTables) {
  kmv_handle *h = create_kmv();
  ASSERT_NE(h, nullptr);
  EXPECT_EQ(std::make_tuple(
                h->jis2unibe_table, h->sjis2unibe_table, h->euc2unibe_table00,
                h->euc2unibe_table8f, h->unibe2jis_table, h->unibe2sjis_table,
                h->unibe2euc_table, h->unibe2euc_table4, h->unibe_def_table),
            std::make_tuple(jis2unibe50221_table, sjis2unibe932_table,
                            euc2unibecommon_table00, nullptr,
                            unibe2jis50221_table, unibe2sjis932_table,
                            unibe2euccommon_table, nullptr, unibe_def_table));
  EXPECT_EQ((std::vector<uint64_t>{
                h->jis2unibe_table_size, h->sjis2unibe_table_size,
                h->euc2unibe_table00_size, h->euc2unibe_table8f_size,
                h->unibe2jis_table_size, h->unibe2sjis_table_size,
                h->unibe2euc_table_size, h->unibe2euc_table4_size,
                h->unibe_def_table_size}),
            (std::vector<uint64_t>{31871, 64588, 62631, 0, 65510, 65510, 65510,
                                   0, 65536}));
  EXPECT_EQ(std::make_tuple(h->last_errno, h->src_top, h->err_first,
                            h->err_count, h->err_first_code),
            std::make_tuple(0, nullptr, nullptr, 0u, 0));
  EXPECT_FLOAT_EQ(h->version, 1.01f);
  EXPECT_FLOAT_EQ(kmv_get_version(), 1.01f);  // needs no handle
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

using testdata::rows;
const char kNames[] = "core/type_names.txt";

TEST(Settings, MaxBufSizeIsClampedAndRestored) {
  for (const testdata::Row &c : rows(kNames, "max_buf")) {
    EXPECT_EQ(kmv_set_max_buf_size(std::stoull(c[1])), std::stoi(c[2]))
        << "line " << c.line;
    EXPECT_EQ(kmv_get_max_buf_size(), std::stoi(c[2]));
  }
}

TEST(TypeNames, TableRowsAreThePublishedOnes) {
  ASSERT_EQ(typeNamesSize, 15u);
  EXPECT_EQ(&_typeNames[0], &typeNames[0]);  // an alias, not a copy
  EXPECT_EQ(&_typeNamesSize, &typeNamesSize);
  // One bit each from 0x40 up, in row order; row 3 has none.
  for (size_t row = 1; row < typeNamesSize; ++row)
    EXPECT_EQ(typeNames[row].mask,
              row == 3 ? 0u : 0x40u << (row - 1 - (row > 3)))
        << "row " << row;
  EXPECT_STREQ(typeNames[6].name, "EUC1(PC20932)");
  EXPECT_EQ(typeNames[9].type, 11);
  EXPECT_EQ(typeNames[14].type, 16);
}

TEST(TypeNames, TypeToNameAndBack) {
  char text[14];
  for (const testdata::Row &c : rows(kNames, "to_name")) {
    EXPECT_EQ(kmv_typeto_name(text, std::stoi(c[1])),
              static_cast<int32_t>(c[2].size()))
        << "line " << c.line;
    EXPECT_EQ(std::string(text), c[2]);
  }
  for (const testdata::Row &c : rows(kNames, "to_type"))
    EXPECT_EQ(kmv_nameto_type(c[1].c_str()), std::stoi(c[2])) << c.line;
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

TEST(TypeNames, MultiAndAllTypeNamesHonourTheSize) {
  int32_t r = 0;
  for (const testdata::Row &c : rows(kNames, "multi")) {
    const int32_t value = std::stoi(c[2], nullptr, 16);
    const auto multi = [value](char *t, size_t n) {
      return kmv_multi_type_names(t, n, value);
    };
    EXPECT_EQ(guarded(std::stoul(c[1]), multi, &r), c[3]) << "line " << c.line;
    EXPECT_EQ(r, std::stoi(c[4]));
  }
  EXPECT_EQ(kmv_all_type_names_length(), 114);
  for (const testdata::Row &c : rows(kNames, "all")) {
    EXPECT_EQ(guarded(std::stoul(c[1]), kmv_all_type_names, &r), c[2])
        << "line " << c.line;
    EXPECT_EQ(r, std::stoi(c[3]));
  }
}

// The text of every code is checked in every delivery encoding by
// messages_test; here the table itself: its size, order and exported alias.
TEST(Status, EveryCodeOnceInOrder) {
  ASSERT_EQ(satusMessageSize, 17u);
  EXPECT_EQ(&_satusMessage[0], &satusMessage[0]);
  EXPECT_EQ(satusMessage[0].code, 0);
  EXPECT_EQ(satusMessage[16].code, -23);
}

}  // namespace
