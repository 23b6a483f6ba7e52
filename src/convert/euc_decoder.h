// Decoder of EUC-JP sources, for every table variant: a variant is nothing
// but the tables in the handle's EUC-JP slots. Single bytes 00-A0 (but 8E
// and 8F), katakana 8E k (k A1-DF), three-byte codes 8F h l and pairs A1-FE
// x (h, l and x A1-FE). A byte that cannot follow ends a malformed code,
// which is replaced as a whole and recorded at its first byte; that byte
// begins the next character. Otherwise the tables decide.
#ifndef KMV_CONVERT_EUC_DECODER_H
#define KMV_CONVERT_EUC_DECODER_H

#include <cstddef>
#include <cstdint>

#include "convert/ascii.h"
#include "convert/frame.h"
#include "convert/jis_as_sjis.h"
#include "convert/legacy_policy.h"
#include "convert/pair_blocks.h"
#include "convert/writers.h"

namespace kmv::conv {

// Two-stage targets record the EUC-JP code when the source table has no
// value for it (replace), and the UTF-16 value when only the target table
// lacks it (the code passed with unit).
template <LegacyPolicy P>
class EucDecoder {
 public:
  static constexpr size_t kMarkLen = 0;
  static constexpr Byte kMark[1] = {0};
  static constexpr size_t kMaxCharLen = 3;
  static constexpr EventSizes kMinIn{1, 2, P.singles_looked_up ? 1u : 2u, 1, 0};

  explicit EucDecoder(const kmv_handle &h)
      : handle_(h),
        table00_(h.euc2unibe_table00),
        size00_(slot_size(h.euc2unibe_table00, h.euc2unibe_table00_size)),
        table8f_(h.euc2unibe_table8f),
        size8f_(slot_size(h.euc2unibe_table8f, h.euc2unibe_table8f_size)),
        ascii_runs_(!P.singles_looked_up || ascii_identity(table00_, size00_)) {
  }

  template <class W>
  KMV_ALWAYS_INLINE Step run(const Byte *p, const Byte *stop, const Byte *end,
                             W &w) {
    if constexpr (kWritesJisCodes<W>) {
      if (!arithmetic_known_) {
        arithmetic_ = euc_codes_as_sjis(handle_);
        arithmetic_known_ = true;
      }
    }
    while (p < stop) {
      const unsigned b = *p;
      if (is_first_byte(b)) [[likely]] {
        if (end - p < 2) return cut(p);
        p = pairs(p, stop, end, w);
      } else if (ascii_runs_ && ascii_run_ahead(p, stop)) {
        p += w.copy_ascii(p, stop);
      } else if (b == 0x8E) {
        if (end - p < 2) return cut(p);
        p += katakana(p, w);
      } else if (b == 0x8F) {
        const Byte *const broken = first_not_trailing(p, end);
        if (broken != nullptr) {
          w.replace(p, 0x8F);
          p = broken;
          continue;
        }
        if (end - p < 3) return cut(p);
        const uint32_t index = uint32_t{p[1]} << 8 | p[2];
        mapped(lookup(table8f_, size8f_, index), p, 0x8F0000 | index, w);
        p += 3;
      } else if (b == 0xFF) {  // no character starts with it
        w.replace_silently();
        ++p;
      } else {
        single(b, p, w);
        ++p;
      }
    }
    return done(p);
  }

 private:
  static KMV_ALWAYS_INLINE bool is_first_byte(unsigned b) {
    return b - 0xA1 < 0x5E;  // A1 to FE, also every byte that may follow one
  }

  // The first of the two bytes behind 8F (those the text has) that is not
  // A1 to FE, or null.
  static KMV_ALWAYS_INLINE const Byte *first_not_trailing(const Byte *p,
                                                          const Byte *end) {
    for (const Byte *q = p + 1; q < end && q < p + 3; ++q) {
      if (!is_first_byte(*q)) return q;
    }
    return nullptr;
  }

  // At least two ASCII bytes: worth a block move. A lone one (the line end
  // between two lines of kanji) is cheaper taken as a single byte.
  static KMV_ALWAYS_INLINE bool ascii_run_ahead(const Byte *p,
                                                const Byte *stop) {
    return is_ascii_char(p[0]) && stop - p > 1 && is_ascii_char(p[1]);
  }

  // A run of two-byte codes, the first known to be whole. Kanji text is
  // mostly such runs: one test per code for its class and its end.
  template <class W>
  KMV_ALWAYS_INLINE const Byte *pairs(const Byte *p, const Byte *stop,
                                      const Byte *end, W &w) {
    const Byte *const last = stop < end ? stop : end - 1;
    const uint16_t *const table = table00_;
    const uint64_t size = size00_;
    if constexpr (P.singles_looked_up && kIsUtf16Writer<W>) {
      p += w.copy_euc(p, last, table, size);
    }
    const ArithmeticCodes *const arithmetic = arithmetic_;
    if constexpr (kWritesJisCodes<W>) {
      if (arithmetic != nullptr) {
        // Runs end in a part of a block: that part is taken too.
        while (last - p >= kPairBlock) {
          const int n = w.template jis_codes<true>(p, *arithmetic);
          p += 2 * n;
          if (n < kPairBlock / 2) break;
        }
      }
    }
    while (kBlocksPay<W> && last - p >= kPairBlock && euc_pair_block(p)) {
#pragma GCC unroll 8
      for (int i = 0; i < kPairBlock; i += 2) {
        const uint32_t code = uint32_t{p[i]} << 8 | p[i + 1];
        mapped(lookup(table, size, code), p + i, code, w);
      }
      p += kPairBlock;
    }
    if (p >= last || !is_first_byte(*p)) return p;
    do {
      if constexpr (kWritesJisCodes<W>) {
        if (arithmetic != nullptr && arithmetic->has(p)) {
          w.jis_code(p[0] & 0x7Fu, p[1] & 0x7Fu);
          p += 2;
          continue;
        }
      }
      const uint32_t code = uint32_t{p[0]} << 8 | p[1];
      const uint32_t u = lookup(table, size, code);
      // No table has a value for a pair whose second byte cannot follow:
      // the test stays off the common path.
      if (u == 0 && !is_first_byte(p[1])) [[unlikely]] {
        w.replace(p, static_cast<int32_t>(p[0]));
        ++p;
        continue;
      }
      mapped(u, p, code, w);
      p += 2;
    } while (p < last && is_first_byte(*p));
    return p;
  }

  template <class W>
  static KMV_ALWAYS_INLINE void mapped(uint32_t u, const Byte *p, uint32_t code,
                                       W &w) {
    if (u != 0) [[likely]] {
      w.unit(u, p, static_cast<int32_t>(u));
    } else {
      w.replace(p, static_cast<int32_t>(code));
    }
  }

  template <class W>
  KMV_ALWAYS_INLINE void single(unsigned b, const Byte *p, W &w) {
    if constexpr (P.singles_looked_up) {
      const uint32_t u = lookup(table00_, size00_, b);
      if (u != 0) {
        w.unit(u, p, static_cast<int32_t>(u));
      } else {
        replace_single<P>(p, b, w);
      }
    } else {
      w.byte(static_cast<Byte>(b));
    }
  }

  // 8E and what follows it: returns the bytes taken (1 when the next byte
  // is no katakana byte, and begins the next character).
  template <class W>
  KMV_ALWAYS_INLINE size_t katakana(const Byte *p, W &w) {
    const unsigned k = p[1];
    if (k - 0xA1 >= 0x3F) {
      w.replace(p, 0x8E);
      return 1;
    }
    if constexpr (P.kana_looked_up) {
      mapped(lookup(table00_, size00_, 0x8E00 | k), p, 0x8E00 | k, w);
    } else {
      w.kana(static_cast<Byte>(k - 0x80));
    }
    return 2;
  }

  const kmv_handle &handle_;
  const uint16_t *table00_;
  uint64_t size00_;
  const uint16_t *table8f_;
  uint64_t size8f_;
  bool ascii_runs_;
  // Resolved at the first run for a writer that takes JIS codes.
  const ArithmeticCodes *arithmetic_ = nullptr;
  bool arithmetic_known_ = false;
};

}  // namespace kmv::conv

#endif
