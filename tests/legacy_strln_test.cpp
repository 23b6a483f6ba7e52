// Line scanners of the Shift_JIS, EUC-JP and ISO-2022-JP families: whole
// texts line by line, line ends, lines cut by the available bytes,
// malformed characters and the ISO-2022-JP shift state between lines.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "kmv.h"
#include "legacy_vectors.h"

namespace {

using legacy::Bytes;

Bytes bytes(std::initializer_list<int> list) {
  Bytes out;
  for (int b : list) out.push_back(static_cast<unsigned char>(b));
  return out;
}

// One scanner call over [text + offset, text + offset + avail).
struct Scanned {
  int32_t result;
  Bytes line;
  size_t next;  // offset of *pos afterwards
  uint32_t state;
};

class Scanner {
 public:
  explicit Scanner(std::string family) : family_(std::move(family)) {
    handle_ = create_kmv();
  }
  ~Scanner() { release_kmv(handle_); }
  Scanner(const Scanner &) = delete;
  Scanner &operator=(const Scanner &) = delete;

  Scanned run(const Bytes &text, size_t offset, size_t avail,
              uint32_t state = 0) const {
    // The line buffer is exactly avail long (plus a guard) so that ASan
    // sees any write past it.
    std::vector<unsigned char> buf(avail + 1, 0xEE);
    const unsigned char *pos = text.data() + offset;
    uint64_t len = 12345;
    int32_t r;
    if (family_ == "sjis") {
      r = kmv_sjis_strln(handle_, buf.data(), &len, &pos, avail);
    } else if (family_ == "euc") {
      r = kmv_euc_strln(handle_, buf.data(), &len, &pos, avail);
    } else {
      r = kmv_jis_strln(handle_, buf.data(), &len, &pos, avail, &state);
    }
    EXPECT_LE(len, avail);
    EXPECT_EQ(buf[avail], 0xEE) << "wrote past the line buffer";
    return {r, Bytes(buf.begin(), buf.begin() + static_cast<long>(len)),
            static_cast<size_t>(pos - text.data()), state};
  }

 private:
  std::string family_;
  kmv_handle *handle_;
};

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

// --- whole texts -----------------------------------------------------------

TEST(LegacyLineScan, WholeTextsLineByLineInEveryFamily) {
  int texts = 0;
  for (const auto &[name, source] : legacy::vectors().sources) {
    if (source.line_counts.empty()) continue;
    ++texts;
    SCOPED_TRACE(name);
    const Scanner scanner(source.family);
    const std::vector<Bytes> expected = split_lines(source.bytes);
    ASSERT_EQ(expected.size(), source.line_counts.size());
    size_t at = 0;
    uint32_t state = 0;
    for (size_t i = 0; i < expected.size(); ++i) {
      const Scanned s =
          scanner.run(source.bytes, at, source.bytes.size() - at, state);
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
    const Scanner scanner(source.family);
    const std::vector<Bytes> expected = split_lines(source.bytes);
    for (size_t chunk = 3; chunk <= 11; ++chunk) {
      SCOPED_TRACE(std::string(name) + " chunk " + std::to_string(chunk));
      std::vector<Bytes> lines(1);
      std::vector<int32_t> counts(1, 0);
      bool after_cr = false;  // the last piece ended with a CR
      size_t at = 0;
      while (at < source.bytes.size()) {
        const size_t avail = std::min(chunk, source.bytes.size() - at);
        const Scanned s = scanner.run(source.bytes, at, avail);
        ASSERT_GE(s.result, 0);
        ASSERT_GT(s.next, at) << "no progress";
        const bool line_end = s.next - at > s.line.size();
        const bool lone_lf = line_end && s.line.empty() && s.next - at == 1 &&
                             source.bytes[at] == 0x0A;
        if (!(after_cr && lone_lf)) {  // CR | LF split by the cut: one end
          lines.back().insert(lines.back().end(), s.line.begin(), s.line.end());
          counts.back() += s.result;
          if (line_end) {
            lines.emplace_back();
            counts.push_back(0);
          }
        }
        after_cr = line_end && source.bytes[s.next - 1] == 0x0D;
        at = s.next;
      }
      if (lines.back().empty()) {
        lines.pop_back();
        counts.pop_back();
      }
      EXPECT_EQ(lines, expected);
      EXPECT_EQ(counts, source.line_counts);
    }
  }
}

// --- line ends -------------------------------------------------------------

TEST(LegacyLineScan, LineEndsInEveryFamily) {
  for (const char *family : {"sjis", "euc", "jis"}) {
    SCOPED_TRACE(family);
    const Scanner scanner(family);
    const Bytes crlf = bytes({0x41, 0x0D, 0x0A, 0x42});
    Scanned s = scanner.run(crlf, 0, 4);
    EXPECT_EQ(s.result, 1);
    EXPECT_EQ(s.line, bytes({0x41}));
    EXPECT_EQ(s.next, 3u);

    s = scanner.run(crlf, 0, 2);  // the LF is out of reach: CR alone ends
    EXPECT_EQ(s.result, 1);
    EXPECT_EQ(s.next, 2u);

    const Bytes lf_cr = bytes({0x0A, 0x0D, 0x41});
    s = scanner.run(lf_cr, 0, 3);  // LF CR is two line ends
    EXPECT_EQ(s.result, 0);
    EXPECT_TRUE(s.line.empty());
    EXPECT_EQ(s.next, 1u);
    s = scanner.run(lf_cr, 1, 2);
    EXPECT_EQ(s.result, 0);
    EXPECT_EQ(s.next, 2u);

    const Bytes last = bytes({0x41, 0x42});  // no line end at all
    s = scanner.run(last, 0, 2);
    EXPECT_EQ(s.result, 2);
    EXPECT_EQ(s.line, last);
    EXPECT_EQ(s.next, 2u);

    s = scanner.run(last, 0, 0);
    EXPECT_EQ(s.result, 0);
    EXPECT_TRUE(s.line.empty());
    EXPECT_EQ(s.next, 0u);
  }
}

// --- Shift_JIS -------------------------------------------------------------

TEST(SjisLineScan, CharactersAndCutPairs) {
  const Scanner scanner("sjis");
  // ASCII, half-width katakana and a kanji count one character each.
  const Bytes text = bytes({0x41, 0xB1, 0x88, 0x9F, 0x0A});
  Scanned s = scanner.run(text, 0, text.size());
  EXPECT_EQ(s.result, 3);
  EXPECT_EQ(s.line, bytes({0x41, 0xB1, 0x88, 0x9F}));

  // A first byte as the last available byte stays for the next call.
  const Bytes cut = bytes({0x41, 0x82});
  s = scanner.run(cut, 0, 2);
  EXPECT_EQ(s.result, 1);
  EXPECT_EQ(s.line, bytes({0x41}));
  EXPECT_EQ(s.next, 1u);
  s = scanner.run(cut, 1, 1);
  EXPECT_EQ(s.result, 0);
  EXPECT_EQ(s.next, 1u);
}

TEST(SjisLineScan, UnmappedPairStopsAtItsSecondByte) {
  const Scanner scanner("sjis");
  // ED 40 is a duplicate that the default table leaves unmapped.
  const Bytes text = bytes({0x41, 0x42, 0xED, 0x40, 0x43, 0x0A});
  const Scanned s = scanner.run(text, 0, text.size());
  EXPECT_EQ(s.result, KMV_ECHAR);
  EXPECT_EQ(s.line, bytes({0x41, 0x42, 0xED}));
  EXPECT_EQ(s.next, 3u);
  // A second byte that is a line end does not hide the bad pair.
  const Bytes lf = bytes({0x82, 0x0A});
  EXPECT_EQ(scanner.run(lf, 0, 2).result, KMV_ECHAR);
}

TEST(SjisLineScan, PairsAreCheckedAgainstTheHandlesTable) {
  kmv_handle *h = create_kmv();
  const uint16_t tiny[3] = {0, 0, 0};  // nothing is mapped
  h->sjis2unibe_table = tiny;
  h->sjis2unibe_table_size = 3;
  const Bytes text = bytes({0x82, 0xA0});
  unsigned char line[2];
  uint64_t len = 9;
  const unsigned char *pos = text.data();
  EXPECT_EQ(kmv_sjis_strln(h, line, &len, &pos, 2), KMV_ECHAR);
  EXPECT_EQ(pos, text.data() + 1);
  release_kmv(h);
}

// --- EUC-JP ----------------------------------------------------------------

TEST(EucLineScan, CharacterLengths) {
  const Scanner scanner("euc");
  // ASCII, 80 to A0 as single bytes, katakana, two- and three-byte codes.
  const Bytes text = bytes(
      {0x41, 0x85, 0xA0, 0x8E, 0xB1, 0xA4, 0xA2, 0x8F, 0xA2, 0xB7, 0x0D, 0x0A});
  const Scanned s = scanner.run(text, 0, text.size());
  EXPECT_EQ(s.result, 6);
  EXPECT_EQ(s.line.size(), 10u);
  EXPECT_EQ(s.next, text.size());
}

TEST(EucLineScan, CutCharactersStayForTheNextCall) {
  const Scanner scanner("euc");
  const Bytes pair = bytes({0xA4, 0xA2, 0xA4});
  Scanned s = scanner.run(pair, 0, 3);
  EXPECT_EQ(s.result, 1);
  EXPECT_EQ(s.line, bytes({0xA4, 0xA2}));
  EXPECT_EQ(s.next, 2u);

  const Bytes kana = bytes({0x41, 0x8E});
  s = scanner.run(kana, 0, 2);
  EXPECT_EQ(s.result, 1);
  EXPECT_EQ(s.next, 1u);

  const Bytes three = bytes({0x41, 0x8F, 0xA2, 0xB7});
  s = scanner.run(three, 0, 3);  // 8F with one byte behind it
  EXPECT_EQ(s.result, 1);
  EXPECT_EQ(s.next, 1u);
  s = scanner.run(three, 0, 4);
  EXPECT_EQ(s.result, 2);
  EXPECT_EQ(s.next, 4u);
}

TEST(EucLineScan, MalformedCharactersMidLine) {
  const Scanner scanner("euc");
  struct Bad {
    Bytes text;
    size_t copied;  // bytes copied, and where *pos stays
  };
  const Bad cases[] = {
      {bytes({0x41, 0xFF, 0x42}), 1},        // invalid first byte
      {bytes({0x41, 0x8E, 0x41, 0x0A}), 2},  // katakana byte out of range
      {bytes({0x8E, 0xE0}), 1},
      {bytes({0x41, 0xA4, 0x41}), 2},  // second byte below A1
      {bytes({0xA4, 0xA0}), 1},
      {bytes({0xA4, 0xFF}), 1},  // second byte FF
      {bytes({0xA4, 0x0A}), 1},  // a line end cannot end a pair
  };
  for (const Bad &bad : cases) {
    const Scanned s = scanner.run(bad.text, 0, bad.text.size());
    EXPECT_EQ(s.result, KMV_ECHAR);
    EXPECT_EQ(s.line, Bytes(bad.text.begin(),
                            bad.text.begin() + static_cast<long>(bad.copied)));
    EXPECT_EQ(s.next, bad.copied);
  }
  // The bytes behind 8F are not checked.
  const Bytes any = bytes({0x8F, 0x01, 0xFF});
  EXPECT_EQ(scanner.run(any, 0, 3).result, 1);
}

// --- ISO-2022-JP -------------------------------------------------------------

TEST(JisLineScan, EscapesBelongToTheLineButAreNotCounted) {
  const Scanner scanner("jis");
  const Bytes text =
      bytes({0x1B, 0x24, 0x42, 0x30, 0x21, 0x1B, 0x28, 0x42, 0x0A, 0x41});
  const Scanned s = scanner.run(text, 0, text.size());
  EXPECT_EQ(s.result, 1);
  EXPECT_EQ(s.line, Bytes(text.begin(), text.begin() + 8));
  EXPECT_EQ(s.next, 9u);
  EXPECT_EQ(s.state, 0u);

  // Every designation of the table, and unknown ones skipped unread.
  const Bytes all =
      bytes({0x1B, 0x24, 0x40, 0x30, 0x21, 0x1B, 0x24, 0x4A, 0x30, 0x21, 0x1B,
             0x28, 0x4A, 0x41, 0x1B, 0x28, 0x48, 0x41, 0x1B, 0x28, 0x49, 0x31,
             0x1B, 0x28, 0x42, 0x1B, 0x24, 0x28, 0x44, 0x1B, 0x41, 0x42});
  const Scanned t = scanner.run(all, 0, all.size());
  // Two kanji, two A, one katakana; then ( D and A B are read as ASCII.
  EXPECT_EQ(t.result, 9);
  EXPECT_EQ(t.state, 0u);
}

TEST(JisLineScan, ShiftStateIsCarriedAcrossCalls) {
  const Scanner scanner("jis");
  // Two-byte mode left open by a line cut between pairs.
  const Bytes text =
      bytes({0x1B, 0x24, 0x42, 0x30, 0x21, 0x30, 0x22, 0x1B, 0x28, 0x42, 0x0A});
  Scanned s = scanner.run(text, 0, 5);
  EXPECT_EQ(s.result, 1);
  EXPECT_EQ(s.state, 1u);
  EXPECT_EQ(s.next, 5u);
  s = scanner.run(text, 5, text.size() - 5, s.state);
  EXPECT_EQ(s.result, 1);
  EXPECT_EQ(s.line, bytes({0x30, 0x22, 0x1B, 0x28, 0x42}));
  EXPECT_EQ(s.state, 0u);

  // Katakana mode carried likewise.
  const Bytes kana =
      bytes({0x1B, 0x28, 0x49, 0x31, 0x32, 0x33, 0x1B, 0x28, 0x42, 0x0D, 0x0A});
  s = scanner.run(kana, 0, 5);
  EXPECT_EQ(s.result, 2);
  EXPECT_EQ(s.state, 2u);
  s = scanner.run(kana, 5, kana.size() - 5, s.state);
  EXPECT_EQ(s.result, 1);
  EXPECT_EQ(s.state, 0u);
  EXPECT_EQ(s.next, kana.size());

  // Handed in by the caller: the same bytes read differently by mode.
  const Bytes pairs = bytes({0x30, 0x21, 0x30, 0x21, 0x0A});
  EXPECT_EQ(scanner.run(pairs, 0, 4, 1).result, 2);
  EXPECT_EQ(scanner.run(pairs, 0, 5, 0).result, 4);
  EXPECT_EQ(scanner.run(pairs, 0, 4, 2).result, 4);
  // A state that names no mode reads as ASCII mode.
  EXPECT_EQ(scanner.run(pairs, 0, 5, 7).result, 4);
}

TEST(JisLineScan, LineEndInsideTwoByteModeIsABadByte) {
  const Scanner scanner("jis");
  const Bytes text = bytes({0x1B, 0x24, 0x42, 0x30, 0x21, 0x0A});
  const Scanned s = scanner.run(text, 0, text.size());
  EXPECT_EQ(s.result, KMV_ECHAR);
  EXPECT_EQ(s.line, Bytes(text.begin(), text.begin() + 5));
  EXPECT_EQ(s.next, 5u);
  EXPECT_EQ(s.state, 1u);
}

TEST(JisLineScan, BadBytesByMode) {
  const Scanner scanner("jis");
  struct Bad {
    uint32_t state;
    Bytes text;
    size_t at;
  };
  const Bad cases[] = {
      {0, bytes({0x41, 0x80}), 1},  // above 7E in ASCII mode
      {0, bytes({0x41, 0x7F}), 1},
      {0, bytes({0x0E, 0x31, 0x60, 0x0F}), 2},        // not katakana in a run
      {0, bytes({0x0E, 0x31, 0x1B, 0x28, 0x42}), 2},  // ESC inside a run
      {2, bytes({0x31, 0x60}), 1},
      {2, bytes({0x31, 0x0A}), 1},              // no line ends in katakana mode
      {1, bytes({0x30, 0x21, 0x20, 0x21}), 2},  // bad first byte
      {1, bytes({0x30, 0x21, 0x30, 0x1B}), 3},  // bad second byte
  };
  for (const Bad &bad : cases) {
    const Scanned s = scanner.run(bad.text, 0, bad.text.size(), bad.state);
    EXPECT_EQ(s.result, KMV_ECHAR) << bad.at;
    EXPECT_EQ(s.line.size(), bad.at);
    EXPECT_EQ(s.next, bad.at);
    EXPECT_EQ(s.state, bad.state);
  }
}

TEST(JisLineScan, KatakanaRunsAndCutSequences) {
  const Scanner scanner("jis");
  const Bytes run = bytes({0x41, 0x0E, 0x31, 0x32, 0x0F, 0x42, 0x0A});
  Scanned s = scanner.run(run, 0, run.size());
  EXPECT_EQ(s.result, 4);  // SO and SI are not characters
  EXPECT_EQ(s.state, 0u);
  EXPECT_EQ(s.line.size(), 6u);

  s = scanner.run(run, 0, 3);  // cut inside the run
  EXPECT_EQ(s.result, 2);
  EXPECT_EQ(s.next, 3u);

  // An ESC with fewer than two bytes behind it ends the line after itself.
  const Bytes esc = bytes({0x41, 0x1B, 0x24});
  s = scanner.run(esc, 0, 3);
  EXPECT_EQ(s.result, 1);
  EXPECT_EQ(s.line, bytes({0x41, 0x1B}));
  EXPECT_EQ(s.next, 2u);
}

TEST(JisLineScan, PairCutByTheEndOfTheAvailableBytes) {
  const Scanner scanner("jis");
  const Bytes text = bytes({0x1B, 0x24, 0x42, 0x30, 0x21, 0x30});
  const Scanned s = scanner.run(text, 0, text.size());
  EXPECT_EQ(s.result, KMV_EUEXPEOD);
  EXPECT_EQ(s.line, text);
  EXPECT_EQ(s.next, text.size());
  EXPECT_EQ(s.state, 1u);
}

TEST(JisLineScan, LineWithCrLf) {
  const Scanner scanner("jis");
  const Bytes text = bytes({0x41, 0x42, 0x0D, 0x0A, 0x43});
  const Scanned s = scanner.run(text, 0, text.size());
  EXPECT_EQ(s.result, 2);
  EXPECT_EQ(s.line, bytes({0x41, 0x42}));
  EXPECT_EQ(s.next, 4u);
}

// --- arguments
// -----------------------------------------------------------------

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
