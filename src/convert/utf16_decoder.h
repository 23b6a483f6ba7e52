// Decoder of UTF-16 sources, either byte order. Every code unit is one
// character, except that a high surrogate followed by a low one is one
// character for a target that writes it whole (UTF-8); a lone surrogate is
// a unit like any other.
#ifndef KMV_CONVERT_UTF16_DECODER_H
#define KMV_CONVERT_UTF16_DECODER_H

#include <algorithm>
#include <cstddef>
#include <cstdint>

#include "convert/ascii.h"
#include "convert/bypass.h"
#include "convert/frame.h"
#include "convert/writers.h"

namespace kmv::conv {

template <Order O, Bypass B>
class Utf16Decoder {
 public:
  static constexpr size_t kMarkLen = 2;
  static constexpr Byte kMark[2] = {O == Order::kBig ? Byte{0xFE} : Byte{0xFF},
                                    O == Order::kBig ? Byte{0xFF} : Byte{0xFE}};
  static constexpr size_t kMaxCharLen = 4;  // a surrogate pair
  static constexpr EventSizes kMinIn{2, 2, 2, 0, 4};

  explicit Utf16Decoder(const kmv_handle &) {}

  template <class W>
  KMV_ALWAYS_INLINE Step run(const Byte *p, const Byte *stop, const Byte *end,
                             W &w) {
    if constexpr (kIsUtf16Writer<W>) {
      // Between the byte orders every unit is the same: move whole blocks.
      const size_t span = std::min(static_cast<size_t>(stop - p) + 1,
                                   static_cast<size_t>(end - p));
      w.template copy_units<O>(p, span / 2);
      p += span / 2 * 2;
      return p < stop ? cut(p) : done(p);
    } else {
      const bool ascii_runs = B.ascii || w.ascii_as_is();
      // Whole units that start before stop; a lone last byte is cut.
      const size_t units = std::min(static_cast<size_t>(stop - p) + 1,
                                    static_cast<size_t>(end - p)) /
                           2;
      const Byte *const last = p + 2 * units;
      while (p < last) {
        const uint32_t u = load_unit<O>(p);
        if (u >= 0x80 || !ascii_runs) [[likely]] {
          if constexpr (requires { w.template copy_wide_units<O>(p, p); }) {
            if (u >= 0x800) {
              const size_t n = w.template copy_wide_units<O>(p, last);
              if (n != 0) {
                p += 2 * n;
                continue;
              }
            }
          }
          if (last - p >= 16 && all_plain<W>(p, ascii_runs)) {
            // Eight units for the table in a row: no class test each.
            for (int i = 0; i < 16; i += 2) {
              const uint32_t v = load_unit<O>(p + i);
              w.unit(v, p + i, static_cast<int32_t>(v));
            }
            p += 16;
            continue;
          }
          if (last - p >= 4) {
            const uint32_t u1 = load_unit<O>(p + 2);
            if ((u1 >= 0x80 || !ascii_runs) && plain<W>(u) && plain<W>(u1)) {
              w.unit2(u, p, static_cast<int32_t>(u), u1, p + 2,
                      static_cast<int32_t>(u1));
              p += 4;
              continue;
            }
          }
          p += character(u, p, end, w);
          continue;
        }
        const size_t n = w.template copy_ascii_units<O>(p, last);
        if (n != 0) {
          p += 2 * n;
        } else {
          p += character(u, p, end, w);
        }
      }
      return p < stop ? cut(p) : done(p);
    }
  }

 private:
  // A unit that goes to the target's table (not a bypassed class, nor half
  // of a pair the writer joins).
  template <class W>
  static KMV_ALWAYS_INLINE bool plain(uint32_t u) {
    if (kJoinsPairs<W> && u - 0xD800 < 0x800) return false;
    return !(B.ascii && u < 0x80) && !(B.kana && u - 0xFF61 < 0x3F);
  }

  // Whether the eight units at p are all plain(), and none is ASCII when
  // ASCII takes the block path.
  template <class W>
  static KMV_ALWAYS_INLINE bool all_plain(const Byte *p, bool ascii_runs) {
#if defined(__SSE2__)
    __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i *>(p));
    if constexpr (O == Order::kBig) {
      v = _mm_or_si128(_mm_slli_epi16(v, 8), _mm_srli_epi16(v, 8));
    }
    const __m128i zero = _mm_setzero_si128();
    __m128i bad = zero;
    if (B.ascii || ascii_runs) {
      bad = _mm_cmpeq_epi16(_mm_srli_epi16(v, 7), zero);
    }
    if constexpr (B.kana) {
      // FF61 to FF9F, as signed 16-bit numbers -159 to -97.
      bad = _mm_or_si128(
          bad, _mm_and_si128(_mm_cmpgt_epi16(v, _mm_set1_epi16(-160)),
                             _mm_cmplt_epi16(v, _mm_set1_epi16(-96))));
    }
    if constexpr (kJoinsPairs<W>) {
      // D800 to DFFF, as signed 16-bit numbers -10240 to -8193.
      bad = _mm_or_si128(
          bad, _mm_and_si128(_mm_cmpgt_epi16(v, _mm_set1_epi16(-10241)),
                             _mm_cmplt_epi16(v, _mm_set1_epi16(-8192))));
    }
    return _mm_movemask_epi8(bad) == 0;
#else
    for (int i = 0; i < 16; i += 2) {
      const uint32_t u = load_unit<O>(p + i);
      if (!plain<W>(u) || ((B.ascii || ascii_runs) && u < 0x80)) return false;
    }
    return true;
#endif
  }

  // One character at p: returns the bytes it took (2, or 4 for a pair).
  template <class W>
  static KMV_ALWAYS_INLINE size_t character(uint32_t u, const Byte *p,
                                            const Byte *end, W &w) {
    if constexpr (B.ascii) {
      if (u < 0x80) {
        w.byte(static_cast<Byte>(u));
        return 2;
      }
    }
    if constexpr (B.kana) {
      if (u - 0xFF61 < 0x3F) {
        w.kana(static_cast<Byte>(u - 0xFF40));
        return 2;
      }
    }
    if constexpr (kJoinsPairs<W>) {
      if (is_high_surrogate(u) && end - p >= 4) {
        const uint32_t low = load_unit<O>(p + 2);
        if (is_low_surrogate(low)) {
          write_supplementary(w, u, p, low, p + 2);
          return 4;
        }
      }
    }
    w.unit(u, p, static_cast<int32_t>(u));
    return 2;
  }
};

}  // namespace kmv::conv

#endif
