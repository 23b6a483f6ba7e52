// Line scanners of the Shift_JIS, EUC-JP and ISO-2022-JP families: whole
// texts line by line, line ends, lines cut by the available bytes,
// malformed characters and the ISO-2022-JP shift state between lines.
#include <gtest/gtest.h>

#include <algorithm>
#include <regex>
#include <string>
#include <vector>

#include "kmv.h"
#include "legacy_vectors.h"

namespace {

using legacy::Bytes;
using legacy::hex;

// One scanner call over [text + at, text + at + avail).
struct Scanned {
  int32_t result;
  Bytes line;
  size_t next;  // offset of *pos afterwards
  uint32_t state;
};

Scanned scan(const std::string &family, const Bytes &text, size_t at,
             size_t avail, uint32_t state = 0,
             const kmv_handle *handle = nullptr) {
  // The line buffer is exactly avail long (plus a guard) so that ASan sees
  // any write past it.
  std::vector<unsigned char> buf(avail + 1, 0xEE);
  const unsigned char *pos = text.data() + at;
  uint64_t len = 12345;
  unsigned char *line = buf.data();
  const int32_t r =
      family == "sjis" ? kmv_sjis_strln(handle, line, &len, &pos, avail)
      : family == "euc"
          ? kmv_euc_strln(handle, line, &len, &pos, avail)
          : kmv_jis_strln(handle, line, &len, &pos, avail, &state);
  EXPECT_LE(len, avail);
  EXPECT_EQ(buf[avail], 0xEE) << "wrote past the line buffer";
  return {r, Bytes(buf.begin(), buf.begin() + static_cast<long>(len)),
          static_cast<size_t>(pos - text.data()), state};
}

// The lines of a text as its bytes stand, split at CR LF, CR and LF (no
// trail byte of these families can be 0A or 0D).
std::vector<Bytes> split_lines(const Bytes &text) {
  static const std::regex line_end("\r\n|\r|\n");
  const std::string s(text.begin(), text.end());
  std::vector<Bytes> lines;
  for (std::sregex_token_iterator it(s.begin(), s.end(), line_end, -1), end;
       it != end; ++it)
    lines.emplace_back(it->first, it->second);
  return lines;
}

// Whole texts line by line in every family, and (but for ISO-2022-JP) in
// pieces cut by the available bytes: pieces stop before a cut character,
// never inside it, and join up to the same lines.
TEST(LegacyLineScan, WholeTextsAndPiecesJoinUpToTheSameLines) {
  int texts = 0;
  for (const auto &[name, source] : legacy::vectors().sources) {
    if (source.line_counts.empty()) continue;
    ++texts;
    const Bytes &text = source.bytes;
    std::vector<size_t> chunks = {text.size()};
    for (size_t c = 3; c <= 11 && source.family != "jis"; ++c)
      chunks.push_back(c);
    for (size_t chunk : chunks) {
      SCOPED_TRACE(name + " chunk " + std::to_string(chunk));
      std::vector<Bytes> lines(1);
      std::vector<int32_t> counts(1, 0);
      bool after_cr = false;  // the last piece ended with a CR
      uint32_t state = 0;
      for (size_t at = 0; at < text.size();) {
        const Scanned s = scan(source.family, text, at,
                               std::min(chunk, text.size() - at), state);
        ASSERT_GE(s.result, 0);
        ASSERT_GT(s.next, at) << "no progress";
        EXPECT_EQ(s.state, 0u) << "every line of the text ends in ASCII mode";
        const bool line_end = s.next - at > s.line.size();
        const bool lone_lf =
            line_end && s.line.empty() && s.next - at == 1 && text[at] == 0x0A;
        if (!(after_cr && lone_lf)) {  // CR | LF split by the cut: one end
          lines.back().insert(lines.back().end(), s.line.begin(), s.line.end());
          counts.back() += s.result;
          if (line_end) {
            lines.emplace_back();
            counts.push_back(0);
          }
        }
        after_cr = line_end && text[s.next - 1] == 0x0D;
        at = s.next;
        state = s.state;
      }
      if (lines.back().empty()) {
        lines.pop_back();
        counts.pop_back();
      }
      EXPECT_EQ(lines, split_lines(text));
      EXPECT_EQ(counts, source.line_counts);
    }
  }
  EXPECT_GE(texts, 8) << "vectors.txt not found or incomplete";
}

TEST(LegacyLineScan, CaseTable) {
  const auto rows = testdata::rows("convert2/line_cases.txt");
  ASSERT_FALSE(rows.empty());
  for (const testdata::Row &c : rows) {
    const Bytes text = hex(c[2]);
    const int avail = std::stoi(c[3]);
    const int32_t result = c[4] == "bad"   ? KMV_ECHAR
                           : c[4] == "cut" ? KMV_EUEXPEOD
                                           : std::stoi(c[4]);
    for (const char *family : {"sjis", "euc", "jis"}) {
      if (c[0] != "all" && c[0] != family) continue;
      SCOPED_TRACE(std::string(family) + " at line " + std::to_string(c.line));
      const Scanned s =
          scan(family, text, 0, avail < 0 ? text.size() : size_t(avail),
               uint32_t(std::stoul(c[1])));
      EXPECT_EQ(s.result, result);
      EXPECT_EQ(s.line, Bytes(text.begin(), text.begin() + std::stol(c[5])));
      EXPECT_EQ(s.next, std::stoul(c[6]));
      EXPECT_EQ(s.state, std::stoul(c[7]));  // only ISO-2022-JP changes it
    }
  }
  // The handle's table decides which pairs are characters.
  testdata::Handle h;
  const uint16_t nothing[3] = {0, 0, 0};
  h->sjis2unibe_table = nothing;
  h->sjis2unibe_table_size = 3;
  const Scanned s = scan("sjis", hex("82A0"), 0, 2, 0, h);
  EXPECT_EQ(s.result, KMV_ECHAR);
  EXPECT_EQ(s.next, 1u);
}

TEST(LegacyLineScan, MissingArgumentsReadNothing) {
  const unsigned char text[] = {0x41, 0x0A};
  unsigned char line[2];
  uint64_t len = 7;
  const unsigned char *pos = text;
  EXPECT_EQ(kmv_sjis_strln(nullptr, line, nullptr, &pos, 2), KMV_ECHAR);
  EXPECT_EQ(kmv_euc_strln(nullptr, line, &len, nullptr, 2), KMV_ECHAR);
  EXPECT_EQ(len, 0u);
  EXPECT_EQ(kmv_jis_strln(nullptr, nullptr, &len, &pos, 2, nullptr), KMV_ECHAR);
  const unsigned char *none = nullptr;
  EXPECT_EQ(kmv_euc_strln(nullptr, line, &len, &none, 2), KMV_ECHAR);
  EXPECT_EQ(pos, text);
  // Without a handle the default table checks pairs; without a state the
  // scan starts in ASCII mode.
  EXPECT_EQ(kmv_sjis_strln(nullptr, line, &len, &pos, 2), 1);
  pos = text;
  EXPECT_EQ(kmv_jis_strln(nullptr, line, &len, &pos, 2, nullptr), 1);
  EXPECT_EQ(pos, text + 2);
}

}  // namespace
