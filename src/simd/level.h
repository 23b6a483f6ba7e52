// Wider vector kernels of the hot loops, chosen once at run time. The
// inline SSE2 code of the helpers that call them is the baseline: a null
// slot in `Kernels` means "stay with it". The helpers call a slot only for
// a long run, so short runs never pay for the indirect call.
//
// KMV_SIMD=sse2|avx2|avx512 in the environment forces a level (one the CPU
// lacks falls back to the best it has).
#ifndef KMV_SIMD_LEVEL_H
#define KMV_SIMD_LEVEL_H

#include <cstddef>
#include <cstdint>

namespace kmv::simd {

using Byte = unsigned char;

enum class Level { kSse2, kAvx2, kAvx512 };
inline constexpr Level kLevels[] = {Level::kSse2, Level::kAvx2, Level::kAvx512};

// Bit j of each mask describes byte j of a 64-byte block.
struct BlockMasks {
  uint64_t high;      // 0x80 and above
  uint64_t kana;      // 0xA1 to 0xDF
  uint64_t zero;      // 0x00
  uint64_t esc;       // 0x1B
  uint64_t kana_row;  // 0x82 and 0x83: Shift_JIS hiragana and katakana
};

// Bytes of 0x80 and above, and the EUC-JP single shifts 0x8E and 0x8F.
struct EucBlockMasks {
  uint64_t high;
  uint64_t shift;
};

// For each lead byte 0x80 to 0xFF, which of the 256 codes it begins a table
// holds: the rows of a conversion table share few distinct sets of trail
// bytes, so each row names one of at most 16 sets of 256 bits (bit t of a
// set: trail byte t).
struct CodeRows {
  alignas(64) Byte row_set[128];
  alignas(64) Byte sets[16][32];
};

// For each high byte of a UTF-16 unit, the low bytes [low, high] of the
// units a plausibility table holds: a row whose units are not one interval
// keeps none (low 0xFF, high 0), so a block of its units is never taken
// whole.
struct UnitRows {
  alignas(64) Byte low[256];
  alignas(64) Byte high[256];
};

// Runs of [p, stop): each returns what the same-named helper of
// convert/ascii.h returns and writes what it writes.
using RunFn = size_t (*)(const Byte *p, const Byte *stop, Byte *dst);
// Whole units of one order converted: *written gets the bytes stored.
using UnitsToUtf8Fn = size_t (*)(const Byte *p, const Byte *stop, Byte *dst,
                                 size_t *written);
// Bytes of UTF-8 converted: *units gets the units stored.
using Utf8ToUnitsFn = size_t (*)(const Byte *p, const Byte *stop, Byte *dst,
                                 size_t *units);
// Two-byte codes converted through a table: *units gets what was stored.
using TableCodesFn = size_t (*)(const Byte *p, const Byte *stop, Byte *dst,
                                const uint16_t *table, uint64_t size,
                                size_t *units);

using PlainUnitsFn = size_t (*)(const Byte *p, const Byte *stop,
                                const UnitRows *rows, bool *kana);

struct Kernels {
  RunFn copy_ascii;
  RunFn widen_ascii[2];   // by Order: big, little
  RunFn narrow_ascii[2];  // by Order
  RunFn swap_units;       // stop - p bytes, an even number
  // Units that are not surrogates (any value, 0 included) to UTF-8; stops
  // before the first surrogate, possibly earlier.
  UnitsToUtf8Fn utf8_from_units[2];
  // Well-formed UTF-8 sequences of one to three bytes that do not encode a
  // surrogate or an overlong form, each wholly before stop; stops before
  // anything else, possibly earlier.
  Utf8ToUnitsFn units_from_utf8[2];
  size_t (*skip_ascii)(const Byte *p, const Byte *stop);
  BlockMasks (*block_masks)(const Byte *p);
  EucBlockMasks (*euc_block_masks)(const Byte *p);
  // How many of the codes at the set bits of `leads` the table holds: a
  // code is the two bytes at its bit, big-endian (the byte after bit 63
  // included), and its lead byte is 0x80 or above.
  uint32_t (*known_codes)(const Byte *p, uint64_t leads, const uint16_t *table,
                          uint64_t count);
  // Fills *rows from the table (count entries); false when its rows need
  // more than 16 sets.
  bool (*summarize_rows)(const uint16_t *table, uint64_t count, CodeRows *rows);
  // known_codes with the summary in place of the table.
  uint32_t (*known_codes_in_rows)(const Byte *p, uint64_t leads,
                                  const CodeRows *rows);
  // UTF-8 to Shift_JIS through the table (size entries) while the
  // characters are plain (as units_from_utf8 takes them), ASCII ones
  // written as they are and the others mapping to two-byte codes, never
  // half-width katakana, each wholly before stop; stops before anything
  // else, possibly earlier. *written gets the bytes stored.
  size_t (*sjis_from_utf8)(const Byte *p, const Byte *stop, Byte *dst,
                           const uint16_t *table, uint64_t size,
                           size_t *written);
  // UTF-16 units of one order (by Order) to Shift_JIS through the table,
  // for a writer that writes ASCII as it is: units 0001 to 007F as bytes,
  // the others mapping to two-byte codes; stops before anything else,
  // possibly earlier. Returns the units taken; *written gets the bytes
  // stored.
  TableCodesFn sjis_from_units[2];
  // The same to EUC-JP through a table of 16-bit entries, whose entries of
  // 4000 and above are two-byte codes (half-width katakana included).
  TableCodesFn euc_from_units[2];
  // EUC-JP to UTF-16 units of one order (by Order) through the decoding
  // table (size entries): two-byte codes (both bytes A1 to FE) and lone
  // single bytes 01 to 7F that the table has values for, each wholly
  // before stop; stops before anything else, possibly earlier. Returns the
  // bytes taken; *units gets the units stored.
  TableCodesFn units_from_euc[2];
  // ISO-2022-JP pairs of two-byte mode (both bytes 21 and above) through
  // the decoding table (size entries) to UTF-8, each wholly before stop:
  // stops before anything else and before a pair without a value, with
  // the value "?" or with a value below U+0800, possibly earlier. Returns
  // the bytes taken; *units gets the bytes stored.
  TableCodesFn utf8_from_jis;
  // Fills *rows from a plausibility table of 0x10000 entries or more (a
  // unit is plausible when bit 0 or 1 of its entry is set).
  void (*summarize_units)(const uint16_t *table, UnitRows *rows);
  // Whole 64-byte blocks of [p, stop) of UTF-16 units of one order (by
  // Order) that rows hold and that are plain: big-endian units of 0x100 and
  // above with a low byte below 0xFE, little-endian ones with a low byte of
  // 01 to FD. Returns the bytes taken; *kana is set when one of their units
  // is a hiragana (U+3041 to U+3093) or katakana (U+30A1 to U+30F3).
  PlainUnitsFn plain_units[2];
};

// The kernels in use; all slots null at the SSE2 level.
extern Kernels active;

bool cpu_has(Level level);
// Sets the kernels of `level`; false (nothing changed) if the CPU lacks it.
// Not for use while another thread converts: tests and benchmarks only.
bool use_level(Level level);
Level current_level();
const char *level_name(Level level);

// Runs shorter than this stay inline.
inline constexpr ptrdiff_t kLongRun = 64;

}  // namespace kmv::simd

#endif
