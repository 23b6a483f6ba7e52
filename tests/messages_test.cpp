// Status messages and system error texts in the caller's encoding. The
// expected bytes of every message come from Python's codecs
// (tests/data/messages/make_messages.py).
#include "core/messages.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "kmv.h"
#include "test_data.h"

namespace {

constexpr char kGuard = '#';

class Messages : public ::testing::Test {
 protected:
  testdata::Handle handle_;
};

TEST_F(Messages, EveryStatusInEveryDeliveryEncoding) {
  // Rows: status code, requested encoding type, the expected bytes.
  const auto rows = testdata::rows("messages/messages.txt");
  ASSERT_EQ(rows.size(), 17u * 4u);
  for (const testdata::Row &row : rows) {
    const int32_t status = std::stoi(row[0]), type = std::stoi(row[1]);
    const std::string want = testdata::str(row[2]);
    // The documented room for any message is 60 bytes.
    char text[60 + 8];
    std::memset(text, kGuard, sizeof text);
    const int32_t n = kmv_statusto_message(handle_, text, status, type);
    SCOPED_TRACE(testing::Message() << "status " << status << " type " << type);
    ASSERT_EQ(n, static_cast<int32_t>(want.size()));
    EXPECT_EQ(std::string(text, want.size()), want);
    EXPECT_EQ(text[n], '\0');
    // The stored UTF-8 form passes through the buffer first, so all of the
    // documented 60 bytes may be used, but nothing beyond them.
    for (size_t i = 60; i < sizeof text; ++i) ASSERT_EQ(text[i], kGuard);
    // The stream form uses a handle of its own.
    ASSERT_EQ(kmv_io_statusto_message(text, status, type),
              static_cast<int32_t>(want.size()));
    ASSERT_EQ(std::string(text, want.size()), want);
  }
}

TEST_F(Messages, UnknownStatusesAndOtherTypes) {
  char text[64];
  for (int32_t status : {-9, -14, -19, 1, 5, -24}) {
    for (int32_t type : {0, 1, 2, 4, 5, 15, 16, 99}) {
      EXPECT_EQ(kmv_statusto_message(handle_, text, status, type), 7);
      EXPECT_STREQ(text, "Unknown");
    }
  }
  // Only 2, 4 and 5 re-encode, and only with a handle; every other request,
  // EUC variants and the Unicode forms included, gets the stored UTF-8 text.
  for (int32_t type : {0, 1, 6, 7, 8, 11, 13, 16, -1}) {
    EXPECT_EQ(kmv_statusto_message(handle_, text, -7, type), 21);
    EXPECT_STREQ(text, "EREAD:入力エラー");
  }
  EXPECT_EQ(kmv_statusto_message(nullptr, text, -7, 4), 21);
  EXPECT_STREQ(text, "EREAD:入力エラー");
}

TEST_F(Messages, ConvertBufReencodesInPlaceOrLeavesTheText) {
  char text[32] = "エラー";
  EXPECT_EQ(_convert_buf(handle_, text, std::strlen(text), 15), 9);
  EXPECT_STREQ(text, "エラー");
  // cp932: エ 83 47, ラ 83 89, ー 81 5B.
  EXPECT_EQ(_convert_buf(handle_, text, std::strlen(text), 4), 6);
  EXPECT_STREQ(text, "\x83\x47\x83\x89\x81\x5b");
}

TEST_F(Messages, MessageConversionRewritesThePerCallState) {
  char text[64];
  handle_->err_count = 99;
  kmv_statusto_message(handle_, text, 0, 4);
  EXPECT_EQ(handle_->err_count, 0u);
  EXPECT_EQ(handle_->err_first_code, -1);
}

// ---- system error descriptions ----------------------------------------

// The runtime describes numbers it does not know itself; the text is still
// cut to the room.
TEST_F(Messages, StrerrorIsCutToTheRoomWithGuardsIntact) {
  EXPECT_EQ(kmv_get_strerror(handle_, ENOENT, nullptr, 0, 15), 0);
  for (int32_t number : {ENOENT, 123456}) {
    const std::string full = std::strerror(number);
    ASSERT_GT(full.size(), 8u);
    for (int32_t type : {15, 2, 4, 5}) {
      for (uint64_t room = 0; room <= full.size() + 2; ++room) {
        char text[128];
        std::memset(text, kGuard, sizeof text);
        const int32_t n = kmv_get_strerror(handle_, number, text, room, type);
        const size_t want = room ? std::min<size_t>(room - 1, full.size()) : 0;
        // The C locale's descriptions are ASCII: the same bytes in every
        // delivery encoding.
        ASSERT_EQ(n, static_cast<int32_t>(want)) << "room " << room;
        EXPECT_EQ(std::string(text, want), full.substr(0, want));
        EXPECT_EQ(text[want], room ? '\0' : kGuard);
        for (size_t i = room; i < sizeof text; ++i) ASSERT_EQ(text[i], kGuard);
      }
    }
  }
}

// Descriptions in the C locale are ASCII; a Japanese one shows how a text
// that grows when re-encoded is still kept within the room.
TEST_F(Messages, ReencodedTextsAreShortenedByWholeCharacters) {
  for (const testdata::Row &c :
       testdata::rows("messages/cut_texts.txt", "cut")) {
    const uint64_t room = std::stoul(c[1]);
    char text[32];
    std::memset(text, kGuard, sizeof text);
    const int32_t n =
        kmv::put_text_cut(handle_, text, room, "あいう", std::stoi(c[2]));
    EXPECT_EQ(std::string(text, static_cast<size_t>(n)), testdata::str(c[3]))
        << "line " << c.line;
    EXPECT_EQ(text[n], '\0');
    for (size_t i = room; i < sizeof text; ++i) ASSERT_EQ(text[i], kGuard);
  }
}

}  // namespace
