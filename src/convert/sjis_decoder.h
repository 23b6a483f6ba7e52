// Decoder of Shift_JIS sources (ASCII is read as Shift_JIS too): single
// bytes 00-7F and A1-DF, every other byte the first of a pair. A first byte
// followed by a byte that is no second byte (40-7E, 80-FC) is replaced
// alone, and that byte begins the next character. Otherwise only the table
// says whether a pair is a character.
#ifndef KMV_CONVERT_SJIS_DECODER_H
#define KMV_CONVERT_SJIS_DECODER_H

#include <cstddef>
#include <cstdint>

#include "convert/ascii.h"
#include "convert/frame.h"
#include "convert/legacy_policy.h"
#include "convert/pair_blocks.h"
#include "convert/writers.h"

namespace kmv::conv {

KMV_ALWAYS_INLINE bool is_sjis_katakana(unsigned b) {
  return b - 0xA1 < 0x3F;
}

KMV_ALWAYS_INLINE bool is_sjis_second_byte(unsigned b) {
  return b - 0x40 < 0xBD && b != 0x7F;
}

template <LegacyPolicy P>
class SjisDecoder {
 public:
  static constexpr size_t kMarkLen = 0;
  static constexpr Byte kMark[1] = {0};
  static constexpr size_t kMaxCharLen = 2;
  static constexpr EventSizes kMinIn{1, 1, P.singles_looked_up ? 1u : 2u, 1, 0};

  explicit SjisDecoder(const kmv_handle &h)
      : table_(h.sjis2unibe_table),
        size_(slot_size(h.sjis2unibe_table, h.sjis2unibe_table_size)),
        ascii_runs_(!P.singles_looked_up || ascii_identity(table_, size_)) {}

  template <class W>
  KMV_ALWAYS_INLINE Step run(const Byte *p, const Byte *stop, const Byte *end,
                             W &w) {
    while (p < stop) {
      const unsigned b = *p;
      if (is_first_byte(b)) {
        if (end - p < 2) return cut(p);
        p = pairs(p, stop, end, w);
      } else if (ascii_runs_ && ascii_run_ahead(p, stop)) {
        p += w.copy_ascii(p, stop);
      } else {
        single(p, b, w);
        ++p;
      }
    }
    return done(p);
  }

 private:
  static KMV_ALWAYS_INLINE bool is_first_byte(unsigned b) {
    return b >= 0x80 && !is_sjis_katakana(b);
  }

  // At least two ASCII bytes: worth a block move. A lone one (the line end
  // between two lines of kanji) is cheaper taken as a single byte.
  static KMV_ALWAYS_INLINE bool ascii_run_ahead(const Byte *p,
                                                const Byte *stop) {
    return is_ascii_char(p[0]) && stop - p > 1 && is_ascii_char(p[1]);
  }

  template <class W>
  static KMV_ALWAYS_INLINE void pair(const uint16_t *table, uint64_t size,
                                     const Byte *p, W &w) {
    const uint32_t code = uint32_t{p[0]} << 8 | p[1];
    const uint32_t u = lookup(table, size, code);
    if (u != 0) [[likely]] {
      w.unit(u, p, static_cast<int32_t>(code));
    } else {
      w.replace(p, static_cast<int32_t>(code));
    }
  }

  // A run of two-byte codes, the first known to be whole; kanji text is
  // mostly such runs.
  template <class W>
  KMV_ALWAYS_INLINE const Byte *pairs(const Byte *p, const Byte *stop,
                                      const Byte *end, W &w) {
    const Byte *const last = stop < end ? stop : end - 1;
    const uint16_t *const table = table_;
    const uint64_t size = size_;
    while (kBlocksPay<W> && last - p >= kPairBlock && sjis_pair_block(p)) {
#pragma GCC unroll 8
      for (int i = 0; i < kPairBlock; i += 2) pair(table, size, p + i, w);
      p += kPairBlock;
    }
    if (p >= last || !is_first_byte(*p)) return p;
    do {
      // No table has a value for a pair whose second byte cannot follow
      // its first: the test stays off the common path.
      const uint32_t code = uint32_t{p[0]} << 8 | p[1];
      const uint32_t u = lookup(table, size, code);
      if (u == 0 && !is_sjis_second_byte(p[1])) [[unlikely]] {
        w.replace(p, static_cast<int32_t>(p[0]));
        ++p;
        continue;
      }
      if (u != 0) [[likely]] {
        w.unit(u, p, static_cast<int32_t>(code));
      } else {
        w.replace(p, static_cast<int32_t>(code));
      }
      p += 2;
    } while (p < last && is_first_byte(*p));
    return p;
  }

  template <class W>
  KMV_ALWAYS_INLINE void single(const Byte *p, unsigned b, W &w) {
    if constexpr (P.singles_looked_up) {
      const uint32_t u = lookup(table_, size_, b);
      if (u != 0) {
        w.unit(u, p, static_cast<int32_t>(b));
      } else {
        replace_single<P>(p, b, w);
      }
    } else if (b < 0x80) {
      w.byte(static_cast<Byte>(b));
    } else {
      w.kana(static_cast<Byte>(b - 0x80));
    }
  }

  const uint16_t *table_;
  uint64_t size_;
  bool ascii_runs_;
};

}  // namespace kmv::conv

#endif
