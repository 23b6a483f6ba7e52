// Line scanners of the Shift_JIS, EUC-JP and ISO-2022-JP families: whole
// texts line by line, line ends, lines cut by the available bytes,
// malformed characters and the ISO-2022-JP shift state between lines.
#include <gtest/gtest.h>

#include <algorithm>
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
  int32_t r;
  if (family == "sjis") {
    r = kmv_sjis_strln(handle, buf.data(), &len, &pos, avail);
  } else if (family == "euc") {
    r = kmv_euc_strln(handle, buf.data(), &len, &pos, avail);
  } else {
    r = kmv_jis_strln(handle, buf.data(), &len, &pos, avail, &state);
  }
  EXPECT_LE(len, avail);
  EXPECT_EQ(buf[avail], 0xEE) << "wrote past the line buffer";
  return {r, Bytes(buf.begin(), buf.begin() + static_cast<long>(len)),
          static_cast<size_t>(pos - text.data()), state};
}

// The lines of a text as its bytes stand, split at CR LF, CR and LF (no
// trail byte of these families can be 0A or 0D).
std::vector<Bytes> split_lines(const Bytes &text) {
  std::vector<Bytes> lines(1);
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == 0x0D || text[i] == 0x0A) {
      if (text[i] == 0x0D && i + 1 < text.size() && text[i + 1] == 0x0A) ++i;
      lines.emplace_back();
    } else {
      lines.back().push_back(text[i]);
    }
  }
  if (lines.back().empty()) lines.pop_back();
  return lines;
}

TEST(LegacyLineScan, WholeTextsLineByLineInEveryFamily) {
  int texts = 0;
  for (const auto &[name, source] : legacy::vectors().sources) {
    if (source.line_counts.empty()) continue;
    ++texts;
    SCOPED_TRACE(name);
    const std::vector<Bytes> expected = split_lines(source.bytes);
    ASSERT_EQ(expected.size(), source.line_counts.size());
    size_t at = 0;
    uint32_t state = 0;
    for (size_t i = 0; i < expected.size(); ++i) {
      const Scanned s = scan(source.family, source.bytes, at,
                             source.bytes.size() - at, state);
      EXPECT_EQ(s.result, source.line_counts[i]) << "line " << i;
      EXPECT_EQ(s.line, expected[i]) << "line " << i;
      EXPECT_EQ(s.state, 0u) << "every line of the text ends in ASCII mode";
      ASSERT_GT(s.next, at);
      at = s.next;
      state = s.state;
    }
    EXPECT_EQ(at, source.bytes.size());
  }
  EXPECT_GE(texts, 8) << "vectors.txt not found or incomplete";
}

// A line handed out in pieces (the available bytes end inside it) reads as
// the same line: pieces stop before a cut character, never inside it.
TEST(LegacyLineScan, LinesCutByAvailJoinUpToTheSameLines) {
  for (const char *name : {"prose_sjis", "ext_sjis", "prose_euc51932",
                           "ext_euc51932", "x0212_euc20932"}) {
    const legacy::Source &source = legacy::vectors().sources.at(name);
    const Bytes &text = source.bytes;
    for (size_t chunk = 3; chunk <= 11; ++chunk) {
      SCOPED_TRACE(std::string(name) + " chunk " + std::to_string(chunk));
      std::vector<Bytes> lines(1);
      std::vector<int32_t> counts(1, 0);
      bool after_cr = false;  // the last piece ended with a CR
      for (size_t at = 0; at < text.size();) {
        const Scanned s =
            scan(source.family, text, at, std::min(chunk, text.size() - at));
        ASSERT_GE(s.result, 0);
        ASSERT_GT(s.next, at) << "no progress";
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
      }
      if (lines.back().empty()) {
        lines.pop_back();
        counts.pop_back();
      }
      EXPECT_EQ(lines, split_lines(text));
      EXPECT_EQ(counts, source.line_counts);
    }
  }
}

// One call from the start of text; the line handed out is always its first
// `copied` bytes. avail -1 is the whole text.
struct LineCase {
  const char *family;  // "all" for every family
  uint32_t state;
  const char *text;
  int avail;
  int32_t result;
  size_t copied, next;
  uint32_t state_after;
};

void check_lines(std::initializer_list<LineCase> cases) {
  for (const LineCase &c : cases) {
    const Bytes text = hex(c.text);
    const size_t avail = c.avail < 0 ? text.size() : size_t(c.avail);
    for (const char *family : {"sjis", "euc", "jis"}) {
      if (std::string(c.family) != "all" && c.family != std::string(family))
        continue;
      SCOPED_TRACE(std::string(family) + " : " + c.text + " avail " +
                   std::to_string(avail) + " state " + std::to_string(c.state));
      const Scanned s = scan(family, text, 0, avail, c.state);
      EXPECT_EQ(s.result, c.result);
      EXPECT_EQ(s.line, Bytes(text.begin(), text.begin() + long(c.copied)));
      EXPECT_EQ(s.next, c.next);
      EXPECT_EQ(s.state, c.state_after);  // only ISO-2022-JP changes it
    }
  }
}

const int32_t kBad = KMV_ECHAR;

TEST(LegacyLineScan, LineEnds) {
  check_lines({
      {"all", 0, "41 0D0A 42", -1, 1, 1, 3, 0},
      {"all", 0, "41 0D0A 42", 2, 1, 1, 2, 0},  // the LF is out of reach
      {"all", 0, "0A 0D 41", -1, 0, 0, 1, 0},   // LF CR is two line ends
      {"all", 0, "0D 41", -1, 0, 0, 1, 0},
      {"all", 0, "41 42", -1, 2, 2, 2, 0},  // no line end at all
      {"all", 0, "41 42", 0, 0, 0, 0, 0},
  });
}

TEST(SjisLineScan, CharactersCutPairsAndUnmappedPairs) {
  check_lines({
      {"sjis", 0, "41 B1 889F 0A", -1, 3, 4, 5, 0},
      // A first byte as the last available byte stays for the next call.
      {"sjis", 0, "41 82", -1, 1, 1, 1, 0},
      {"sjis", 0, "82", -1, 0, 0, 0, 0},
      // An unmapped pair (ED 40) stops at its second byte, also when the
      // second byte is a line end.
      {"sjis", 0, "41 42 ED40 43 0A", -1, kBad, 3, 3, 0},
      {"sjis", 0, "82 0A", -1, kBad, 1, 1, 0},
  });
  // The handle's table decides which pairs are characters.
  kmv_handle *h = create_kmv();
  const uint16_t nothing[3] = {0, 0, 0};
  h->sjis2unibe_table = nothing;
  h->sjis2unibe_table_size = 3;
  const Scanned s = scan("sjis", hex("82A0"), 0, 2, 0, h);
  EXPECT_EQ(s.result, kBad);
  EXPECT_EQ(s.next, 1u);
  release_kmv(h);
}

TEST(EucLineScan, CharactersCutAndMalformed) {
  check_lines({
      // ASCII, 80 to A0 as single bytes, katakana, two- and three-byte
      // codes; 8F before a byte outside A1-FE is malformed.
      {"euc", 0, "41 85 A0 8EB1 A4A2 8FA2B7 0D0A", -1, 6, 10, 12, 0},
      {"euc", 0, "8F 01 FF", -1, kBad, 1, 1, 0},
      {"euc", 0, "8FA2 0A", -1, kBad, 2, 2, 0},
      // Cut characters stay for the next call.
      {"euc", 0, "A4A2 A4", -1, 1, 2, 2, 0},
      {"euc", 0, "41 8E", -1, 1, 1, 1, 0},
      {"euc", 0, "41 8FA2B7", 3, 1, 1, 1, 0},
      {"euc", 0, "41 8FA2B7", -1, 2, 4, 4, 0},
      // Malformed: the copy stops at the bad byte.
      {"euc", 0, "41 FF 42", -1, kBad, 1, 1, 0},
      {"euc", 0, "41 8E41 0A", -1, kBad, 2, 2, 0},
      {"euc", 0, "8EE0", -1, kBad, 1, 1, 0},
      {"euc", 0, "41 A441", -1, kBad, 2, 2, 0},
      {"euc", 0, "A4A0", -1, kBad, 1, 1, 0},
      {"euc", 0, "A4FF", -1, kBad, 1, 1, 0},
      {"euc", 0, "A4 0A", -1, kBad, 1, 1, 0},
  });
}

TEST(JisLineScan, EscapesModesAndBadBytes) {
  check_lines({
      // Escape sequences belong to the line but are not counted.
      {"jis", 0, "1B2442 3021 1B2842 0A 41", -1, 1, 8, 9, 0},
      // Every designation, then unknown ones: "( D" and "A B" are ASCII.
      {"jis", 0,
       "1B2440 3021 1B244A 3021 1B284A 41 1B2848 41 1B2849 31 1B2842 "
       "1B242844 1B4142",
       -1, 9, 32, 32, 0},
      // SO and SI are not characters; a run may be cut by avail.
      {"jis", 0, "41 0E 31 32 0F 42 0A", -1, 4, 6, 7, 0},
      {"jis", 0, "41 0E 31 32 0F 42 0A", 3, 2, 3, 3, 0},
      // An ESC with fewer than two bytes behind it ends the line after it.
      {"jis", 0, "41 1B24", -1, 1, 2, 2, 0},
      // A pair cut by avail: the caller must hand it in again.
      {"jis", 0, "1B2442 3021 30", -1, KMV_EUEXPEOD, 6, 6, 1},
      // A line end in two-byte mode ends the line, and the mode goes on;
      // katakana mode has none.
      {"jis", 0, "1B2442 3021 0A", -1, 1, 5, 6, 1},
      {"jis", 2, "31 0A", -1, kBad, 1, 1, 2},
      // Bad bytes by mode.
      {"jis", 0, "41 80", -1, kBad, 1, 1, 0},
      {"jis", 0, "41 7F", -1, kBad, 1, 1, 0},
      {"jis", 0, "0E 31 60 0F", -1, kBad, 2, 2, 0},
      {"jis", 0, "0E 31 1B2842", -1, kBad, 2, 2, 0},  // ESC inside a run
      {"jis", 2, "31 60", -1, kBad, 1, 1, 2},
      {"jis", 1, "3021 2120", -1, kBad, 3, 3, 1},
      {"jis", 1, "3021 301B", -1, kBad, 3, 3, 1},
  });
}

TEST(JisLineScan, ShiftStateIsCarriedAcrossCalls) {
  check_lines({
      // A line cut between pairs leaves two-byte mode open; the rest read
      // in it, then back to ASCII.
      {"jis", 0, "1B2442 3021 3022 1B2842 0A", 5, 1, 5, 5, 1},
      {"jis", 1, "3022 1B2842 0A", -1, 1, 5, 6, 0},
      // Katakana mode likewise.
      {"jis", 0, "1B2849 31 32 33 1B2842 0D0A", 5, 2, 5, 5, 2},
      {"jis", 2, "33 1B2842 0D0A", -1, 1, 4, 6, 0},
      // The same bytes read by the mode handed in; a state that names no
      // mode reads as ASCII mode.
      {"jis", 1, "3021 3021 0A", 4, 2, 4, 4, 1},
      {"jis", 0, "3021 3021 0A", -1, 4, 4, 5, 0},
      {"jis", 2, "3021 3021 0A", 4, 4, 4, 4, 2},
      {"jis", 7, "3021 3021 0A", -1, 4, 4, 5, 0},
  });
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
