// The one decoder of ISO-2022-JP sources, lenient as code page 50221 text
// needs: seven escape sequences (three names each for ASCII and the
// two-byte set, one for katakana), SO/SI katakana runs inside ASCII mode,
// and in two-byte mode pairs of any bytes from 21 up. A control byte there
// (line ends, ESC) is never half of a pair: it is read as in ASCII mode,
// and a first byte before it is replaced alone. Unrecognised escape bytes
// are passed on as text.
#ifndef KMV_CONVERT_JIS_DECODER_H
#define KMV_CONVERT_JIS_DECODER_H

#include <cstddef>
#include <cstdint>

#include "convert/ascii.h"
#include "convert/frame.h"
#include "convert/jis_as_sjis.h"
#include "convert/jis_escape.h"
#include "convert/legacy_policy.h"
#include "convert/pair_blocks.h"
#include "convert/writers.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace kmv::conv {

// Text bytes of ASCII mode that need no second look: 01 to 7E but SO and
// ESC.
KMV_ALWAYS_INLINE bool is_plain_jis_text(unsigned b) {
  return is_ascii_char(b) && b != 0x7F && b != jis::kShiftOut && b != jis::kEsc;
}

// Length of the run of plain text bytes at p, before stop.
KMV_ALWAYS_INLINE size_t plain_jis_run(const Byte *p, const Byte *stop) {
  const Byte *s = p;
#if defined(__SSE2__)
  const __m128i zero = _mm_setzero_si128();
  const __m128i del = _mm_set1_epi8(0x7F);
  const __m128i so = _mm_set1_epi8(jis::kShiftOut);
  const __m128i esc = _mm_set1_epi8(static_cast<char>(jis::kEsc));
  while (stop - s >= 16) {
    const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i *>(s));
    const __m128i special = _mm_or_si128(
        _mm_or_si128(_mm_cmpeq_epi8(a, del), _mm_cmpeq_epi8(a, so)),
        _mm_cmpeq_epi8(a, esc));
    const __m128i ok = _mm_andnot_si128(special, _mm_cmpgt_epi8(a, zero));
    const unsigned m = static_cast<unsigned>(_mm_movemask_epi8(ok));
    if (m != 0xFFFFu) {
      return static_cast<size_t>(s - p) +
             static_cast<size_t>(__builtin_ctz(~m));
    }
    s += 16;
  }
#endif
  while (s < stop && is_plain_jis_text(*s)) ++s;
  return static_cast<size_t>(s - p);
}

template <LegacyPolicy P>
class JisDecoder {
 public:
  static constexpr size_t kMarkLen = 0;
  static constexpr Byte kMark[1] = {0};
  static constexpr size_t kMaxCharLen = 3;  // an escape sequence
  static constexpr EventSizes kMinIn{1, 1, P.singles_looked_up ? 1u : 2u, 1, 0};

  explicit JisDecoder(const kmv_handle &h)
      : handle_(h),
        table_(h.jis2unibe_table),
        size_(slot_size(h.jis2unibe_table, h.jis2unibe_table_size)),
        ascii_runs_(!P.singles_looked_up || ascii_identity(table_, size_)) {}

  template <class W>
  KMV_ALWAYS_INLINE Step run(const Byte *p, const Byte *stop, const Byte *end,
                             W &w) {
    if constexpr (kWritesJisCodes<W>) {
      if (!arithmetic_known_) {
        arithmetic_ = jis_codes_as_sjis(handle_);
        arithmetic_known_ = true;
      }
    }
    while (p < stop) {
      if (in_run_) {
        katakana_run_byte(*p++, w);
        continue;
      }
      if (*p == jis::kEsc) {
        if (end - p < 3) {  // a cut sequence is text, and the end
          w.byte(jis::kEsc);
          if (end - p == 2) w.byte(p[1]);
          return done(end);
        }
        p = escape(p, w);
        continue;
      }
      if (mode_ == jis::kTwoByte) {
        if (*p < kFirstPairByte) {
          p = ascii(p, p + 1, w);
        } else {
          if (end - p < 2) return cut(p);
          p = pairs(p, stop, end, w);
        }
      } else if (mode_ == jis::kKatakana) {
        katakana(*p++, w);
      } else {
        p = ascii(p, stop, w);
      }
    }
    return done(p);
  }

 private:
  template <class W>
  KMV_ALWAYS_INLINE const Byte *escape(const Byte *p, W &w) {
    const jis::Escape e = jis::read_escape(p);
    if (e.recognised) {
      mode_ = e.mode;
    } else {
      w.byte(jis::kEsc);
      if (e.length == 2) w.byte(p[1]);
    }
    return p + e.length;
  }

  template <class W>
  KMV_ALWAYS_INLINE const Byte *ascii(const Byte *p, const Byte *stop, W &w) {
    const unsigned b = *p;
    // A lone text byte (the line end after ESC ( B) is cheaper taken as a
    // single byte than as a block move.
    if (ascii_runs_ && is_plain_jis_text(b) && stop - p > 1 &&
        is_plain_jis_text(p[1])) {
      return p + w.copy_ascii(p, p + plain_jis_run(p, stop));
    }
    if (b == jis::kShiftOut) {
      in_run_ = true;
    } else if (b > 0x7E) {
      w.replace_silently();
    } else if constexpr (P.singles_looked_up) {
      const uint32_t u = lookup(table_, size_, b);
      if (u != 0) {
        w.unit(u, p, static_cast<int32_t>(b));
      } else {
        replace_single<P>(p, b, w);  // the byte 00
      }
    } else {
      w.byte(static_cast<Byte>(b));
    }
    return p + 1;
  }

  // Inside SO ... SI: katakana until SI; any other byte is replaced and
  // ends the run.
  template <class W>
  KMV_ALWAYS_INLINE void katakana_run_byte(unsigned b, W &w) {
    if (b == jis::kShiftIn) {
      in_run_ = false;
    } else if (jis::is_katakana_byte(b)) {
      w.kana(static_cast<Byte>(b));
    } else {
      w.replace_silently();
      in_run_ = false;
    }
  }

  template <class W>
  static KMV_ALWAYS_INLINE void katakana(unsigned b, W &w) {
    if (jis::is_katakana_byte(b)) {
      w.kana(static_cast<Byte>(b));
    } else {
      w.replace_silently();
    }
  }

  static constexpr unsigned kFirstPairByte = 0x21;

  // A run of pairs in two-byte mode, the first known to be whole; it ends
  // at a control byte in the place of a first byte.
  template <class W>
  KMV_ALWAYS_INLINE const Byte *pairs(const Byte *p, const Byte *stop,
                                      const Byte *end, W &w) {
    const Byte *const last = stop < end ? stop : end - 1;
    const uint16_t *const table = table_;
    const uint64_t size = size_;
    const ArithmeticCodes *const arithmetic = arithmetic_;
    if constexpr (kWritesJisCodes<W>) {
      if (arithmetic != nullptr) {
        // Runs end in a part of a block: that part is taken too.
        while (last - p >= kPairBlock) {
          const int n = w.jis_codes(p, *arithmetic);
          p += 2 * n;
          if (n < kPairBlock / 2) break;
        }
      }
    }
    if constexpr (kCopiesJisPairs<W>) {
      // A kernel's step takes sixteen pairs: shorter runs stay here.
      if (last - p >= 2 * kPairBlock && jis_pair_block(p) &&
          jis_pair_block(p + kPairBlock)) {
        p += w.copy_jis(p, last, table, size);
      }
    }
    while (kBlocksPay<W> && last - p >= kPairBlock && jis_pair_block(p)) {
#pragma GCC unroll 8
      for (int i = 0; i < kPairBlock; i += 2)
        pair(table, size, arithmetic, p + i, w);
      p += kPairBlock;
    }
    if (p >= last || *p < kFirstPairByte) return p;
    do {
      if (p[1] < kFirstPairByte) [[unlikely]] {  // a control byte follows
        w.replace(p, static_cast<int32_t>(p[0]));
        ++p;
        continue;
      }
      pair(table, size, arithmetic, p, w);
      p += 2;
    } while (p < last && *p >= kFirstPairByte);
    return p;
  }

  // A value that is itself "?" counts as unconverted: no pair (both bytes
  // 21 or above) is the "?" of the single-byte part.
  template <class W>
  static KMV_ALWAYS_INLINE void pair(const uint16_t *table, uint64_t size,
                                     const ArithmeticCodes *arithmetic,
                                     const Byte *p, W &w) {
    const uint32_t code = uint32_t{p[0]} << 8 | p[1];
    if constexpr (kWritesJisCodes<W>) {
      if (arithmetic != nullptr && arithmetic->has(p)) [[likely]] {
        w.jis_code(p[0], p[1]);
        return;
      }
    }
    const uint32_t u = lookup(table, size, code);
    if (u != 0 && u != 0x3F) [[likely]] {
      w.unit(u, p, static_cast<int32_t>(code));
    } else {
      w.replace(p, static_cast<int32_t>(code));
    }
  }

  const kmv_handle &handle_;
  const uint16_t *table_;
  uint64_t size_;
  bool ascii_runs_;
  // Resolved at the first run for a writer that takes JIS codes.
  const ArithmeticCodes *arithmetic_ = nullptr;
  bool arithmetic_known_ = false;
  jis::Mode mode_ = jis::kAscii;
  bool in_run_ = false;
};

}  // namespace kmv::conv

#endif
