// Encoding detection: lead-byte probes, the EUC-JP variant check, the
// decision step, the buffer detector and detection of files.
//
// Expected answers are worked out from the detection rules by hand (the
// reasoning is given beside each) or, for the sentence texts in
// data/detect/cases.tsv, by a separate plain reading of the rules
// (data/detect/model.py).
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "core/settings.h"
#include "kmv.h"

namespace {

using Bytes = std::vector<unsigned char>;

Bytes hex_bytes(const std::string &hex) {
  Bytes out;
  for (size_t i = 0; i + 1 < hex.size(); i += 2) {
    out.push_back(
        static_cast<unsigned char>(std::stoul(hex.substr(i, 2), nullptr, 16)));
  }
  return out;
}

Bytes repeat(const Bytes &unit, size_t times) {
  Bytes out;
  for (size_t i = 0; i < times; ++i)
    out.insert(out.end(), unit.begin(), unit.end());
  return out;
}

Bytes operator+(Bytes a, const Bytes &b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

class Detect : public ::testing::Test {
 protected:
  void SetUp() override { h_ = create_kmv(); }
  void TearDown() override { release_kmv(h_); }

  int32_t buf(const Bytes &b, int32_t expected = 0, bool ignore = false) {
    return kmv_buf(h_, b.data(), b.size(), expected, ignore ? 1 : 0);
  }
  int32_t hex(const std::string &s, int32_t expected = 0, bool ignore = false) {
    return buf(hex_bytes(s), expected, ignore);
  }
  void store_euc1() {
    h_->euc2unibe_table00 = euc2unibe20932_table00;
    h_->euc2unibe_table00_size = euc2unibe20932_table00_size;
    h_->euc2unibe_table8f = euc2unibe20932_table8f;
    h_->euc2unibe_table8f_size = euc2unibe20932_table8f_size;
  }
  bool euc_slots_are_defaults() const {
    return h_->euc2unibe_table00 == euc2unibecommon_table00 &&
           h_->euc2unibe_table00_size == 62631 &&
           h_->euc2unibe_table8f == nullptr && h_->euc2unibe_table8f_size == 0;
  }
  bool euc_slots_hold_euc1() const {
    return h_->euc2unibe_table00 == euc2unibe20932_table00 &&
           h_->euc2unibe_table8f == euc2unibe20932_table8f;
  }

  kmv_handle *h_ = nullptr;
};

// ---------------------------------------------------------------------------
// Lead-byte probes.

TEST_F(Detect, ProbesAnswerFromTheHandlesTables) {
  EXPECT_EQ(is_sjis_possible(h_, 0x82), 1);  // 829F... hiragana
  EXPECT_EQ(is_sjis_possible(h_, 0xA0), 0);  // no code begins with A0
  EXPECT_EQ(is_sjis_possible(h_, 0xFC), 1);  // FC40 to FC4B
  EXPECT_EQ(is_sjis_possible(h_, 0xFD), 0);
  EXPECT_EQ(is_euc_possible(h_, 0xA4), 1);
  EXPECT_EQ(is_euc_possible(h_, 0x82), 0);
  // Row 13 is not in the common table, but it is in the EUC2 table.
  EXPECT_EQ(is_euc_possible(h_, 0xAD), 0);
  h_->euc2unibe_table00 = euc2unibe51932_table00;
  h_->euc2unibe_table00_size = euc2unibe51932_table00_size;
  EXPECT_EQ(is_euc_possible(h_, 0xAD), 1);
  // No three-byte table in the slot: nothing is possible.
  EXPECT_EQ(is_euc_possible8f(h_, 0xB0), 0);
  store_euc1();
  EXPECT_EQ(is_euc_possible8f(h_, 0xB0), 1);  // JIS X 0212 row 16
  EXPECT_EQ(is_euc_possible8f(h_, 0xA1), 0);  // row 1 is empty
  EXPECT_EQ(is_unibe_possible(h_, 0x00), 1);
  EXPECT_EQ(is_unile_possible(nullptr, 0xFFFFFFFF), 1);
}

TEST_F(Detect, ProbesReadNothingBeyondTheCount) {
  // Lead 0xFC reaches FCFF; with the count cut to FC41 only FC40 is left.
  h_->sjis2unibe_table_size = 0xFC41;
  EXPECT_EQ(is_sjis_possible(h_, 0xFC), 1);
  h_->sjis2unibe_table_size = 0xFC40;
  EXPECT_EQ(is_sjis_possible(h_, 0xFC), 0);
  h_->sjis2unibe_table = nullptr;
  h_->sjis2unibe_table_size = 64588;
  EXPECT_EQ(is_sjis_possible(h_, 0x82), 0);
}

// ---------------------------------------------------------------------------
// EUC-JP variant check.

struct EucResult {
  int32_t bits, valid, invalid;
  uint32_t flags;
  unsigned char clean;
};

class EucCheck : public Detect {
 protected:
  // Out-values start at sentinels, so that "reports nothing" shows.
  EucResult check(const std::string &hexed, int32_t expected = 0) {
    const Bytes b = hex_bytes(hexed);
    EucResult r{0, -7, -7, 0x100, 9};
    uint32_t pref = 0xABCD;
    r.bits = check_euc(h_, &r.valid, &r.invalid, &r.flags, &pref, &r.clean,
                       expected, b.data(), b.size());
    EXPECT_EQ(pref, 0xABCDu);          // neither read nor written
    EXPECT_EQ(r.flags & ~2u, 0x100u);  // only flag 2 may be added
    return r;
  }
};

TEST_F(EucCheck, CommonTableTextIsPlainEuc) {
  const EucResult r = check("a4a2");  // hiragana A
  EXPECT_EQ(r.bits, 0x8);
  EXPECT_EQ(r.valid, 1);
  EXPECT_EQ(r.invalid, 0);
  EXPECT_EQ(r.clean, 1);
}

TEST_F(EucCheck, NothingCountedReportsNothing) {
  for (const char *text : {"", "41424320"}) {
    const EucResult r = check(text);
    EXPECT_EQ(r.bits, 0) << text;
    EXPECT_EQ(r.valid, -7) << text;
    EXPECT_EQ(r.invalid, -7) << text;
    EXPECT_EQ(r.clean, 9) << text;
    EXPECT_EQ(r.flags, 0x100u) << text;
  }
}

TEST_F(EucCheck, TextEndingOnAPossibleLeadIsCut) {
  const EucResult r = check("a4a2a4");
  EXPECT_EQ(r.flags, 0x102u);
  EXPECT_EQ(r.bits, 0x8);  // scoring goes on
  EXPECT_EQ(r.valid, 1);
}

TEST_F(EucCheck, TextEndingOnAnImpossibleLeadIsNotEuc) {
  const EucResult r = check("a4a2a4a482");
  EXPECT_EQ(r.bits, 0);
  EXPECT_EQ(r.valid, -7);  // returned at once, nothing reported
  EXPECT_EQ(r.flags, 0x100u);
}

TEST_F(EucCheck, SingleShiftAsTheLastByteIsCut) {
  EXPECT_EQ(check("a4a28e").flags, 0x102u);
  EXPECT_EQ(check("a4a28f").flags, 0x102u);
  EXPECT_EQ(check("a4a28e").bits, 0x8);
}

TEST_F(EucCheck, RowThirteenSinglesOutTheVariantsThatHoldIt) {
  // A4A2 common, ADA1 (circled one) only in the EUC2 and EUC3 tables.
  EXPECT_EQ(check("a4a2ada1", 7).bits, 0x20);
  EXPECT_EQ(check("a4a2ada1", 8).bits, 0x40);
  EXPECT_EQ(check("a4a2ada1", 0).bits, 0x60);
  EXPECT_EQ(check("a4a2ada1", 6).bits, 0x60);  // EUC1 does not hold it
  EXPECT_EQ(check("a4a2ada1").invalid, 0);
}

TEST_F(EucCheck, CodeOfNoCommonEntryAloneIsNotEuc) {
  // An EUC2 and EUC3 hit, but EUC-valid (0) does not exceed EUC-invalid (0).
  EXPECT_EQ(check("ada1").bits, 0);
  EXPECT_EQ(check("ada1").valid, -7);
}

TEST_F(EucCheck, DisputedCodesAreHeldByAllThreeVariants) {
  // A1C2, A1DD, A1F1, A1F2, A2CC have no common entry, but EUC1, EUC2 and
  // EUC3 all map them: 0x70, which the check answers as plain EUC.
  for (const char *code : {"a1c2", "a1dd", "a1f1", "a1f2", "a2cc"}) {
    const EucResult r = check(std::string("a4a2") + code);
    EXPECT_EQ(r.bits, 0x8) << code;
    EXPECT_EQ(r.invalid, 0) << code;
    EXPECT_EQ(r.clean, 1) << code;
    EXPECT_EQ(check(std::string("a4a2") + code, 6).bits, 0x10) << code;
    EXPECT_EQ(check(std::string("a4a2") + code, 7).bits, 0x20) << code;
  }
}

TEST_F(EucCheck, ThreeByteCodesSortOutEuc1AndEuc3) {
  // 8FB0A1 is in both three-byte tables (0x50), answered as EUC1.
  EXPECT_EQ(check("a4a28fb0a1").bits, 0x10);
  EXPECT_EQ(check("a4a28fb0a1", 8).bits, 0x40);
  // 8FA2F1 (numero sign) only EUC1 holds; 8FA2B7 (tilde) only EUC3.
  EXPECT_EQ(check("a4a28fa2f1").bits, 0x10);
  EXPECT_EQ(check("a4a28fa2b7").bits, 0x40);
  EXPECT_EQ(check("a4a28fa2b7", 6).bits, 0x40);
}

TEST_F(EucCheck, UserDefinedRowsAreEuc3Only) {
  EXPECT_EQ(check("a4a2f5a1").bits, 0x40);
  // NEC-selected IBM extensions: EUC2 holds them, EUC3 reads them as
  // user-defined; only an expected EUC2 singles EUC2 out.
  EXPECT_EQ(check("a4a2f9a1").bits, 0x60);
  EXPECT_EQ(check("a4a2f9a1", 7).bits, 0x20);
}

TEST_F(EucCheck, TwentyFirstInvalidCodeEndsTheWalk) {
  const std::string invalid = "a9a1";  // row 9 is empty everywhere
  std::string twenty, valid;
  for (int i = 0; i < 20; ++i) twenty += invalid;
  for (int i = 0; i < 30; ++i) valid += "a4a2";
  // 20 invalid, then 30 valid: valid wins, but not cleanly.
  EucResult r = check(twenty + valid);
  EXPECT_EQ(r.bits, 0x8);
  EXPECT_EQ(r.valid, 30);
  EXPECT_EQ(r.invalid, 20);
  EXPECT_EQ(r.clean, 0);
  // The 21st invalid code ends the walk before the valid ones are seen.
  r = check(twenty + invalid + valid);
  EXPECT_EQ(r.bits, 0);
  EXPECT_EQ(r.valid, -7);
}

TEST_F(EucCheck, SingleShiftBeforeAnythingElsePairsTheBytesBehindIt) {
  // 8E E4 A2: E4 is no katakana byte; E4A2 behind it (a kanji) is read as
  // a two-byte code.
  const EucResult r = check("8ee4a2");
  EXPECT_EQ(r.bits, 0x8);
  EXPECT_EQ(r.valid, 1);
  // 8E B6 is a half-width katakana and counts nowhere.
  EXPECT_EQ(check("8eb6").bits, 0);
  EXPECT_EQ(check("8eb6a4a2").valid, 1);
}

// The text ends one byte into a code that 0x8E or 0x8F leads: the byte that
// would complete it lies beyond the text and is not read. Such a text is
// judged like a lead byte at the very end: when a code could begin there it
// is cut (end flag 2, then scoring), otherwise it is not EUC-JP at all.
TEST_F(EucCheck, SingleShiftWithOneByteAtTheEndIsJudgedByTheProbe) {
  EXPECT_EQ(check("a4a28ea4").flags, 0x100u);  // a whole katakana
  EucResult r = check("a4a28ee4");             // E4.. could be a kanji
  EXPECT_EQ(r.flags, 0x102u);
  EXPECT_EQ(r.bits, 0x8);
  r = check("a4a28e41");  // no code begins with 0x41
  EXPECT_EQ(r.flags, 0x100u);
  EXPECT_EQ(r.bits, 0);
  EXPECT_EQ(r.valid, -7);
  r = check("a4a28fb0");  // JIS X 0212 row 16 (EUC1 and EUC3)
  EXPECT_EQ(r.flags, 0x102u);
  EXPECT_EQ(r.bits, 0x8);
  r = check("a4a28ff5");  // EUC3 user-defined row
  EXPECT_EQ(r.flags, 0x102u);
  r = check("a4a28fa1");  // no three-byte table holds row 1
  EXPECT_EQ(r.bits, 0);
  EXPECT_EQ(r.flags, 0x100u);
}

TEST_F(EucCheck, OneByteCharactersOfTheHandlesTable) {
  // With the EUC3 table in the handle, 0x85 is a one-byte character (a C1
  // control), also as the last byte; with the common table it is no
  // character and cannot begin one.
  h_->euc2unibe_table00 = euc2unibems_table00;
  h_->euc2unibe_table00_size = euc2unibems_table00_size;
  EucResult r = check("85a4a285");
  EXPECT_EQ(r.bits, 0x8);
  EXPECT_EQ(r.valid, 1);
  EXPECT_EQ(r.flags, 0x100u);
  store_euc1();
  h_->euc2unibe_table00 = euc2unibecommon_table00;
  h_->euc2unibe_table00_size = euc2unibecommon_table00_size;
  r = check("a4a285");
  EXPECT_EQ(r.bits, 0);
  EXPECT_EQ(r.valid, -7);
}

TEST_F(EucCheck, VariantReadingLeavesTheSlotsAtTheDefaults) {
  store_euc1();
  // Every code is in the handle's (EUC1) table: the slots are not touched.
  check("a4a2a1c2");
  EXPECT_TRUE(euc_slots_hold_euc1());
  // A code the handle's table lacks goes through the EUC3 reading, which
  // borrows the slots and leaves the defaults behind.
  check("a4a2ada1");
  EXPECT_TRUE(euc_slots_are_defaults());
}

// ---------------------------------------------------------------------------
// Decision step.

struct DecisionCase {
  int32_t expected;
  uint32_t candidates, end_flags, preference;
  int32_t result;
};

TEST(Decision, FollowsItsStepsInOrder) {
  const DecisionCase cases[] = {
      // ASCII, and the expected type 1 answering at once.
      {0, 0x1, 0, 0, 1},
      {1, 0x1, 0, 0, 1},
      {1, 0x5, 0, 0, 0x40},
      // SJIS, hidden by end flag 1; the expected type 4.
      {0, 0x4, 0, 0, 4},
      {0, 0x4, 1, 0, -1},
      {4, 0x4, 0, 0, 4},
      {4, 0x5, 0, 0, 0x100},
      // EUC variants; end flag 2 hides all four.
      {0, 0x8, 0, 0, 5},
      {0, 0x8, 2, 0, -1},
      {0, 0x48, 2, 0, -1},
      {6, 0x8, 0, 0, 5},
      {7, 0x18, 0, 0, 0x200},
      {0, 0x10, 0, 0, 6},
      {6, 0x30, 0, 0, 0x400},
      {0, 0x30, 0, 0, 0xC00},
      {8, 0x10, 0, 0, 8},  // an expected EUC3 takes EUC1 alone as EUC3
      {8, 0x30, 0, 0, 0x1000},
      {7, 0x20, 0, 0, 7},
      {5, 0x60, 0, 0, 0x800},
      {0, 0x40, 0, 0, 8},
      {8, 0x60, 0, 0, 0x800},  // EUC2 answers before EUC3 is looked at
      // UTF-16; end flag 4 hides both orders.
      {0, 0x200, 0, 0, 11},
      {0, 0x200, 4, 0, -1},
      {12, 0x600, 0, 0, 0x2000},
      {14, 0x600, 0, 0, 0x8000},
      {13, 0x400, 0, 0, 13},
      {0, 0x600, 0, 0, 0xA000},
      // UTF-8 answers alone, or joins the others.
      {0, 0x800, 0, 0, 15},
      {16, 0x800, 0, 0, 15},
      {15, 0x801, 0, 0, 0x20000},
      {0, 0x801, 0, 0, 0x20040},
      {0, 0x800, 8, 0, -1},
      // Preferences narrow a mask to one mask, still as a mask.
      {0, 0x204, 0, 4, 0x100},
      {0, 0x204, 0, 0x200, 0x2000},
      {0, 0x204, 0, 0x204, 0x2100},  // not exactly one preference
      {0, 0x408, 0, 8, 0x200},
      {0, 0x408, 0, 0x400, 0x8000},
      {0, 0x804, 0, 4, 0x100},
      {0, 0x1, 0, 4, 1},  // a single mask answers before preferences
      {0, 0x204, 0, 8, 0x2100},
      // Nothing left; everything left.
      {0, 0, 0, 0, -1},
      {0, 0xE7D, 0, 0, 0x2BF40},
      {3, 0xE7D, 0, 0, 0x2BF40},  // code 3 names nothing
  };
  for (const DecisionCase &c : cases) {
    EXPECT_EQ(_detect(c.expected, c.candidates, c.end_flags, c.preference),
              c.result)
        << "expected " << c.expected << " candidates 0x" << std::hex
        << c.candidates << " flags 0x" << c.end_flags << " preference 0x"
        << c.preference;
  }
}

// ---------------------------------------------------------------------------
// Byte-order marks and escapes.

TEST_F(Detect, ByteOrderMarksDecideBeforeAnythingElse) {
  EXPECT_EQ(buf({}), 0);
  EXPECT_EQ(kmv_buf(h_, nullptr, 0, 0, 0), 0);
  EXPECT_EQ(hex("feff"), 12);
  EXPECT_EQ(hex("fffe4100"), 14);
  EXPECT_EQ(hex("efbbbf"), 16);
  EXPECT_EQ(hex("feff1b2442"), 12);  // before the escape
  EXPECT_EQ(hex("efbbbf82"), 16);
}

TEST_F(Detect, TwoBytesOfAUtf8MarkAreNoMark) {
  // EF BB goes through the analysis: Shift_JIS has no EFBB, EUC-JP reads a
  // kanji of row 79, UTF-8 is cut after two bytes of three, and neither
  // UTF-16 order is text. EUC is left.
  EXPECT_EQ(hex("efbb"), 5);
}

TEST_F(Detect, JisEscapesSeenByTheFirstScanDecide) {
  for (const char *esc :
       {"1b2440", "1b2442", "1b244a", "1b2842", "1b2848", "1b2849", "1b284a"}) {
    EXPECT_EQ(hex(esc), 2) << esc;
    EXPECT_EQ(hex(std::string("41") + esc + "41"), 2) << esc;
  }
  EXPECT_EQ(hex("82a01b2442"), 2);  // after high bytes
  EXPECT_EQ(hex("41421b2442"), 2);  // as the last three bytes
}

TEST_F(Detect, EscapesTheScanDoesNotMeetDoNotDecide) {
  // ESC $ as the last two bytes: not enough of a sequence. The text is
  // ASCII or UTF-16LE (1B24 is no big-endian text).
  EXPECT_EQ(hex("41421b24"), 0x8040);
  // The ESC is the second byte of the Shift_JIS pair 82 1B (no such code).
  // Nothing but UTF-16BE reads 821B 2442 as text.
  EXPECT_EQ(hex("821b2442"), 11);
  // ESC $ ESC is no designation and takes its three bytes, so the ESC that
  // follows is never at a character start; ESC A takes only the ESC.
  EXPECT_EQ(hex("1b241b2442"), 1);
  EXPECT_EQ(hex("1b411b2442"), 2);
}

TEST_F(Detect, EscapeBehindTheEndOfTheShiftJisScanIsNotSeen) {
  const Bytes esc = hex_bytes("1b2442");
  const Bytes unknown = hex_bytes("8540");  // no Shift_JIS code
  EXPECT_EQ(buf(repeat(unknown, 20) + esc), 2);
  EXPECT_NE(buf(repeat(unknown, 21) + esc), 2);
}

// ---------------------------------------------------------------------------
// Shift_JIS reading and its verdict.

TEST_F(Detect, ShiftJisKanaNarrowsToTheShiftJisMask) {
  // 82A0 is Shift_JIS hiragana, and also big-endian CJK: SJIS and UTF16BE
  // remain, and the kana preference narrows them to the SJIS mask.
  EXPECT_EQ(hex("82a0"), 0x100);
  EXPECT_EQ(hex("82a0", 4), 0x100);  // not exactly SJIS: still a mask
  EXPECT_EQ(hex("82a0", 0, true), 0x2100);
}

TEST_F(Detect, ShiftJisCutAfterALeadByteFallsBackToTheShiftJisMask) {
  // The cut removes SJIS; nothing else fits; every code read was known.
  EXPECT_EQ(hex("82a082"), 0x100);
  // An unknown code before the cut leaves nothing at all.
  EXPECT_EQ(hex("854082a082"), -1);
}

TEST_F(Detect, OneUnknownCodeInThirtyIsTolerated) {
  // 30 kana and one unknown code: 1 > 30 / 30 is false, SJIS stays and
  // the kana preference narrows SJIS|UTF16BE to SJIS. With 29 kana it
  // leaves, and UTF-16BE (every unit is CJK) is all that fits.
  const Bytes kana = hex_bytes("82a0"), unknown = hex_bytes("8540");
  EXPECT_EQ(buf(repeat(kana, 30) + unknown), 0x100);
  EXPECT_EQ(buf(repeat(kana, 29) + unknown), 11);
}

TEST_F(Detect, LongTextsReadTheSameWhereverTheirCodesFall) {
  // Long texts are read in 64-byte blocks; one leading ASCII byte puts a
  // code across every block boundary. Shift_JIS: 63 or 1000 hiragana, all
  // known; the odd length rules UTF-16 out, so SJIS alone is left.
  const Bytes kana = hex_bytes("82a0"), a = hex_bytes("41");
  EXPECT_EQ(buf(a + repeat(kana, 63)), 4);
  EXPECT_EQ(buf(a + repeat(kana, 1000)), 4);
  EXPECT_EQ(buf(repeat(kana, 1000) + a), 4);
  // EUC-JP: every code is counted, none is cut.
  for (const Bytes &text : {a + repeat(hex_bytes("a4a2"), 63),
                            a + repeat(hex_bytes("a4a2"), 1000)}) {
    int32_t valid = 0, invalid = 0;
    uint32_t flags = 0, pref = 0;
    unsigned char clean = 0;
    EXPECT_EQ(check_euc(h_, &valid, &invalid, &flags, &pref, &clean, 0,
                        text.data(), text.size()),
              0x8);
    EXPECT_EQ(valid, static_cast<int32_t>(text.size() / 2));
    EXPECT_EQ(flags, 0u);
    EXPECT_EQ(buf(text), 5);
  }
  // An ESC as the second byte of a code across a block boundary is not
  // seen; the same ESC at a character start is.
  const Bytes esc = hex_bytes("1b2442");
  EXPECT_NE(buf(repeat(a, 63) + hex_bytes("82") + esc + repeat(a, 70)), 2);
  EXPECT_EQ(buf(repeat(a, 64) + esc + repeat(a, 70)), 2);
}

// ---------------------------------------------------------------------------
// ASCII and UTF-16.

TEST_F(Detect, AsciiAndUnitsPlausibleInBothOrders) {
  EXPECT_EQ(hex("616263"), 1);  // the odd byte removes both UTF-16 readings
  EXPECT_EQ(hex("61626364"), 0xA040);
  EXPECT_EQ(hex("61626364", 11), 0x2000);
  EXPECT_EQ(hex("61626364", 13), 0x8000);
  EXPECT_EQ(hex("61626364", 13, true), 0xA040);
  EXPECT_EQ(hex("61626364", 1), 0xA040);  // ASCII is taken as UTF-8
}

TEST_F(Detect, Utf16UnitsThatDecideTheByteOrder) {
  EXPECT_EQ(hex("0041000a"), 11);  // line feed in a big-endian unit
  EXPECT_EQ(hex("00410009"), 11);
  EXPECT_EQ(hex("0041000d"), 11);
  EXPECT_EQ(hex("4142fdff"), 13);  // FFFD read little-endian
  EXPECT_EQ(hex("4142feff"), 11);  // a big-endian mark inside the text
  EXPECT_EQ(hex("4142fffe"), 13);  // a little-endian mark inside the text
  // A decided walk has no byte left over: the odd byte does not matter.
  EXPECT_EQ(hex("000a41"), 11);
}

TEST_F(Detect, Utf16KanaPreferenceStillAnswersWithAMask) {
  // "テキスト" big-endian: the kana bytes C6 AD B9 C8 are Shift_JIS
  // half-width kana, so SJIS stays beside UTF16BE; the big-endian kana
  // preference narrows to the UTF16BE mask.
  const std::string be = "30c630ad30b930c8", le = "c630ad30b930c830";
  EXPECT_EQ(hex(be), 0x2000);
  EXPECT_EQ(hex(be, 4), 0x100);  // an expected SJIS answers first
  EXPECT_EQ(hex(be, 4, true), 0x2100);
  EXPECT_EQ(hex(le), 0x8000);
  EXPECT_EQ(hex(le, 0, true), 0x8100);
}

TEST_F(Detect, ZeroBytesLeaningToOneParityKeepOnlyUtf16) {
  // "ABC" little-endian: ASCII and both orders fit; all zeros are odd.
  EXPECT_EQ(hex("410042004300"), 0xA000);
  EXPECT_EQ(hex("410042004300", 0, true), 0xA040);
  // EUC2|EUC3 with one zero byte at an even offset: nothing is left.
  EXPECT_EQ(hex("a4a2ada1"), 0x1800);
  EXPECT_EQ(hex("00a4a2ada1"), 0);
  EXPECT_EQ(hex("00a4a2ada1", 0, true), 0x1800);
  // Zeros on both parities in the same measure leave the mask alone.
  EXPECT_EQ(hex("0041410000414100"), 0xA040);
}

// ---------------------------------------------------------------------------
// EUC-JP through the detector.

TEST_F(Detect, EucVariantsThroughTheDetector) {
  EXPECT_EQ(hex("a4a2ada1", 7), 7);
  EXPECT_EQ(hex("a4a2ada1", 8), 8);
  // EUC1 is not a candidate; EUC2 answers for the EUC family.
  EXPECT_EQ(hex("a4a2ada1", 6), 0x800);
  EXPECT_EQ(hex("a4a2ada1", 7, true), 7);  // the check still expects EUC2
}

TEST_F(Detect, EucCutInsideACharacterGetsASecondDecision) {
  // The cut keeps end flag 2 while EUC2 and EUC3 remain; the first decision
  // finds nothing, the second (without flags) finds them.
  EXPECT_EQ(hex("a4a2ada1a4"), 0x1800);
  // With only the common-table bit, the cut removes it; the fallback
  // answers EUC because the check met no invalid code.
  EXPECT_EQ(hex("a4a2a4"), 0x200);
}

TEST_F(Detect, DetectionRestoresTheEucSlotsOnlyWhereItReadsEuc) {
  store_euc1();
  EXPECT_EQ(hex("616263"), 1);  // ASCII: no EUC reading
  EXPECT_TRUE(euc_slots_hold_euc1());
  EXPECT_EQ(hex("1b2442a4a2"), 2);  // decided by the escape first
  EXPECT_TRUE(euc_slots_hold_euc1());
  EXPECT_EQ(hex("fffe4100"), 14);
  EXPECT_TRUE(euc_slots_hold_euc1());
  hex("82a0");  // a high byte: the EUC reading runs
  EXPECT_TRUE(euc_slots_are_defaults());
  store_euc1();
  buf(repeat(hex_bytes("a9a1"), 25));  // ends on the 21st invalid code
  EXPECT_TRUE(euc_slots_are_defaults());
}

// ---------------------------------------------------------------------------
// Sentences from Python's codecs, whole, cut at every length, and under
// every expected type with and without hints.

struct SentenceCase {
  std::string name;
  Bytes text;
  std::vector<int32_t> cuts;
  std::vector<std::vector<int32_t>> hints;  // expected, with, without
};

std::vector<int32_t> split_ints(const std::string &s, char sep) {
  std::vector<int32_t> out;
  std::stringstream in(s);
  std::string item;
  while (std::getline(in, item, sep)) out.push_back(std::stoi(item));
  return out;
}

std::vector<SentenceCase> load_sentences() {
  std::ifstream in(std::string(KMV_TEST_DATA_DIR) + "/detect/cases.tsv");
  std::vector<SentenceCase> cases;
  std::string line;
  while (std::getline(in, line)) {
    std::stringstream fields(line);
    std::string name, hexed, cuts, hints;
    std::getline(fields, name, '\t');
    std::getline(fields, hexed, '\t');
    std::getline(fields, cuts, '\t');
    std::getline(fields, hints, '\t');
    SentenceCase c{name, hex_bytes(hexed), split_ints(cuts, ','), {}};
    std::stringstream hint_list(hints);
    std::string hint;
    while (std::getline(hint_list, hint, ',')) {
      const size_t colon = hint.find(':'), under = hint.find('_');
      c.hints.push_back({std::stoi(hint.substr(0, colon)),
                         std::stoi(hint.substr(colon + 1, under - colon - 1)),
                         std::stoi(hint.substr(under + 1))});
    }
    cases.push_back(std::move(c));
  }
  return cases;
}

TEST_F(Detect, SentencesCutAtEveryLength) {
  const std::vector<SentenceCase> cases = load_sentences();
  ASSERT_GE(cases.size(), 60u);
  for (const SentenceCase &c : cases) {
    ASSERT_EQ(c.cuts.size(), c.text.size() + 1) << c.name;
    for (size_t n = 0; n <= c.text.size(); ++n) {
      // An exactly sized copy, so that a read past the end shows.
      const Bytes prefix(c.text.begin(), c.text.begin() + static_cast<long>(n));
      EXPECT_EQ(buf(prefix), c.cuts[n]) << c.name << " cut at " << n;
    }
  }
}

TEST_F(Detect, SentencesUnderExpectedTypesAndIgnoredHints) {
  for (const SentenceCase &c : load_sentences()) {
    for (const auto &hint : c.hints) {
      EXPECT_EQ(buf(c.text, hint[0]), hint[1])
          << c.name << " expecting " << hint[0];
      EXPECT_EQ(buf(c.text, hint[0], true), hint[2])
          << c.name << " expecting " << hint[0] << ", hints ignored";
    }
  }
}

TEST_F(Detect, WholeSentencesNameTheirEncodings) {
  // Independent of any model: what a reader expects of whole sentences.
  const std::pair<const char *, int32_t> plain[] = {
      {"weather.euc", 5},       {"weather.jis", 2},
      {"weather.utf8", 15},     {"weather.utf8bom", 16},
      {"weather.utf16be", 11},  {"weather.utf16le", 13},
      {"weather.utf16bom", 14}, {"kanji.euc", 5},
      {"jisx0212.euc", 6},      {"numero.euc", 6},
      {"disputed.euc", 5},      {"halfwidth.sjis", 4},
      {"lines.sjis", 4},        {"lines.utf16be", 11},
  };
  const std::vector<SentenceCase> cases = load_sentences();
  for (const auto &[name, type] : plain) {
    bool found = false;
    for (const SentenceCase &c : cases) {
      if (c.name != name) continue;
      found = true;
      EXPECT_EQ(buf(c.text), type) << name;
    }
    EXPECT_TRUE(found) << name;
  }
}

// ---------------------------------------------------------------------------
// Files.

class Files : public Detect {
 protected:
  void SetUp() override {
    Detect::SetUp();
    char pattern[] = "/tmp/kmv_detect_XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    dir_ = pattern;
    saved_max_ = kmv::max_buf_size;
  }
  void TearDown() override {
    kmv::max_buf_size = saved_max_;
    std::filesystem::remove_all(dir_);
    Detect::TearDown();
  }
  std::string write(const std::string &name, const Bytes &b) {
    const std::string path = dir_ + "/" + name;
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char *>(b.data()),
               static_cast<std::streamsize>(b.size()));
    return path;
  }
  std::string dir_;
  int32_t saved_max_ = 0;
};

TEST_F(Files, EmptyFileReadsAsAnEmptyBuffer) {
  const std::string path = write("empty", {});
  unsigned char *data = nullptr;
  uint64_t len = 99;
  ASSERT_EQ(kmv_read_file(h_, &data, &len, path.c_str()), 0);
  EXPECT_NE(data, nullptr);
  EXPECT_EQ(len, 0u);
  std::free(data);
  EXPECT_EQ(kmv_path(h_, path.c_str(), 0, 0), 0);
}

TEST_F(Files, MissingFileIsReportedEverywhere) {
  const std::string path = dir_ + "/missing";
  unsigned char *data = reinterpret_cast<unsigned char *>(&data);
  uint64_t len = 99;
  EXPECT_EQ(kmv_read_file(h_, &data, &len, path.c_str()), KMV_ENOTEXISTS);
  EXPECT_EQ(data, reinterpret_cast<unsigned char *>(&data));  // untouched
  EXPECT_EQ(len, 99u);
  EXPECT_EQ(kmv_path(h_, path.c_str(), 0, 0), KMV_ENOTEXISTS);
  EXPECT_EQ(kmv_path_keep(h_, &data, &len, path.c_str(), 0, 0), KMV_ENOTEXISTS);
  EXPECT_EQ(data, nullptr);
  EXPECT_EQ(len, 0u);
}

TEST_F(Files, DirectoryCannotBeRead) {
  unsigned char *data = nullptr;
  uint64_t len = 99;
  EXPECT_EQ(kmv_read_file(h_, &data, &len, dir_.c_str()), KMV_EREAD);
  EXPECT_EQ(data, nullptr);
  EXPECT_EQ(kmv_path(h_, dir_.c_str(), 0, 0), KMV_EREAD);
}

TEST_F(Files, KeptBufferHoldsTheFileAndTheAnswerIsTheBuffers) {
  const Bytes text = hex_bytes("baa3c6fca4cfcec9a4a4c5b7b5a4a4c7a4b9a4cda1a3");
  const std::string path = write("euc.txt", text);
  unsigned char *data = nullptr;
  uint64_t len = 0;
  EXPECT_EQ(kmv_path_keep(h_, &data, &len, path.c_str(), 0, 0), 5);
  ASSERT_EQ(len, text.size());
  EXPECT_EQ(Bytes(data, data + len), text);
  std::free(data);
  EXPECT_EQ(kmv_path(h_, path.c_str(), 0, 0), 5);
  EXPECT_EQ(kmv_path(h_, path.c_str(), 7, 1), 5);
}

TEST_F(Files, LongerFileIsReadUpToTheLimit) {
  kmv::max_buf_size = 8192;
  // 5000 hiragana in Shift_JIS, then a JIS escape past the limit.
  const Bytes text = repeat(hex_bytes("82a0"), 5000) + hex_bytes("1b2442");
  const std::string path = write("long.txt", text);
  unsigned char *data = nullptr;
  uint64_t len = 0;
  const int32_t result = kmv_path_keep(h_, &data, &len, path.c_str(), 0, 0);
  ASSERT_EQ(len, 8192u);
  EXPECT_EQ(Bytes(data, data + len), Bytes(text.begin(), text.begin() + 8192));
  EXPECT_EQ(result, buf(Bytes(text.begin(), text.begin() + 8192)));
  EXPECT_EQ(result, 0x100);  // the escape behind the limit is never read
  std::free(data);
}

TEST_F(Files, FilesOfFourGigabytesAndMoreAreReadUpToTheLimit) {
  // Sparse files take no disk. Read as a signed 32-bit size, 3 GiB would
  // be negative and 4 GiB + 5 would be 5 bytes.
  kmv::max_buf_size = kmv::kDefaultMaxBufSize;
  for (const uintmax_t size : {uintmax_t{3} << 30, (uintmax_t{4} << 30) + 5}) {
    const std::string path = dir_ + "/sparse";
    std::filesystem::resize_file(write("sparse", {}), size);
    unsigned char *data = nullptr;
    uint64_t len = 0;
    ASSERT_EQ(kmv_read_file(h_, &data, &len, path.c_str()), 0) << size;
    EXPECT_EQ(len, static_cast<uint64_t>(kmv::kDefaultMaxBufSize));
    std::free(data);
    // Zeros only: no unit is text in either order, ASCII is left.
    EXPECT_EQ(kmv_path(h_, path.c_str(), 0, 0), 1);
  }
}

TEST_F(Files, NegativeLimitFailsEveryRead) {
  const std::string path = write("small", hex_bytes("414243"));
  kmv::max_buf_size = -1;
  unsigned char *data = nullptr;
  uint64_t len = 0;
  EXPECT_EQ(kmv_read_file(h_, &data, &len, path.c_str()), KMV_EALLOC);
  EXPECT_EQ(data, nullptr);
  EXPECT_EQ(kmv_path(h_, path.c_str(), 0, 0), KMV_EALLOC);
  write("empty", {});
  EXPECT_EQ(kmv_path(h_, (dir_ + "/empty").c_str(), 0, 0), KMV_EALLOC);
}

TEST_F(Files, WrittenFileReadsBack) {
  const Bytes text = hex_bytes("82b182f182c982bf82cd");
  const std::string path = dir_ + "/out.txt";
  ASSERT_EQ(kmv_write_file(h_, text.data(), text.size(), path.c_str()), 0);
  unsigned char *data = nullptr;
  uint64_t len = 0;
  ASSERT_EQ(kmv_read_file(h_, &data, &len, path.c_str()), 0);
  EXPECT_EQ(Bytes(data, data + len), text);
  std::free(data);
  // Truncated by a shorter write.
  ASSERT_EQ(kmv_write_file(h_, text.data(), 2, path.c_str()), 0);
  EXPECT_EQ(std::filesystem::file_size(path), 2u);
  EXPECT_EQ(kmv_write_file(h_, nullptr, 0, path.c_str()), 0);
  EXPECT_EQ(std::filesystem::file_size(path), 0u);
}

TEST_F(Files, WriteFailuresAreReported) {
  const Bytes text = hex_bytes("414243");
  EXPECT_EQ(kmv_write_file(h_, text.data(), text.size(),
                           (dir_ + "/no/such/dir").c_str()),
            KMV_EWOPEN);
  // A full device takes the bytes into the stdio buffer and refuses them
  // when the file is closed: that is a failed write, not a success.
  if (access("/dev/full", W_OK) == 0) {
    EXPECT_EQ(kmv_write_file(h_, text.data(), text.size(), "/dev/full"),
              KMV_EWRITE);
  }
}

// ---------------------------------------------------------------------------
// Byte-order-mark relation and mask to type.

TEST(BomRelation, OnlyMarkFormsOfTheSameEncodingAreRelated) {
  EXPECT_EQ(kmv_cmp_bom(11, 12), 1);
  EXPECT_EQ(kmv_cmp_bom(12, 11), -1);
  EXPECT_EQ(kmv_cmp_bom(13, 14), 1);
  EXPECT_EQ(kmv_cmp_bom(14, 13), -1);
  EXPECT_EQ(kmv_cmp_bom(15, 16), 1);
  EXPECT_EQ(kmv_cmp_bom(16, 15), -1);
  EXPECT_EQ(kmv_cmp_bom(11, 13), 0);
  EXPECT_EQ(kmv_cmp_bom(12, 13), 0);  // neighbours, but not one encoding
  EXPECT_EQ(kmv_cmp_bom(14, 15), 0);
  EXPECT_EQ(kmv_cmp_bom(5, 6), 0);
  EXPECT_EQ(kmv_cmp_bom(10, 11), 0);
  EXPECT_EQ(kmv_cmp_bom(16, 17), 0);
  EXPECT_EQ(kmv_cmp_bom(11, 11), 0);
}

TEST(MaskToType, OneCandidateBecomesItsTypeCode) {
  EXPECT_EQ(kmv_detect_by(0x140), 4);
  EXPECT_EQ(kmv_detect_by(0x300), 0x300);
  EXPECT_EQ(kmv_detect_by(0x4000), 0x4000);  // mark forms stay masks
  EXPECT_EQ(kmv_detect_by(4), 4);
  EXPECT_EQ(kmv_detect_by(-1), -65);
  EXPECT_EQ(kmv_detect_by(0x80), 2);
  EXPECT_EQ(kmv_detect_by(0x20040), 15);
  EXPECT_EQ(kmv_detect_by(0x8000), 13);
  EXPECT_EQ(kmv_detect_by(0xA040), 0xA000);
  const std::pair<int32_t, int32_t> single[] = {
      {0x200, 5},   {0x400, 6},   {0x800, 7},    {0x1000, 8},
      {0x2000, 11}, {0x8000, 13}, {0x20000, 15}, {0x100, 4}};
  for (const auto &[mask, type] : single) {
    EXPECT_EQ(kmv_detect_by(mask), type) << mask;
    EXPECT_EQ(kmv_detect_by(mask | 0x40), type) << mask;
  }
  EXPECT_EQ(kmv_detect_by(0x10000), 0x10000);
  EXPECT_EQ(kmv_detect_by(0x40000), 0x40000);
  // ASCII alone fits only ASCII.
  EXPECT_EQ(kmv_detect_by(0x40), 1);
}

}  // namespace
