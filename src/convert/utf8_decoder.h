// Decoder of UTF-8 sources: sequences of one to four bytes, a four-byte one
// decoded to its surrogate pair. Two- and three-byte forms are read
// leniently (no test for overlong forms or surrogate values); a malformed
// sequence is its maximal subpart, replaced, and the byte that broke it
// begins the next sequence.
#ifndef KMV_CONVERT_UTF8_DECODER_H
#define KMV_CONVERT_UTF8_DECODER_H

#include <algorithm>
#include <cstddef>
#include <cstdint>

#include "convert/ascii.h"
#include "convert/bypass.h"
#include "convert/frame.h"
#include "convert/writers.h"

namespace kmv::conv {

KMV_ALWAYS_INLINE bool is_continuation(unsigned b) {
  return (b & 0xC0) == 0x80;
}

// One sequence at the front of a text: how many bytes it takes, and
// whether they make a character, a malformed sequence, or the beginning of
// a character that the end of the text cuts.
struct Utf8Sequence {
  enum Kind { kWellFormed, kMalformed, kCut };
  unsigned length;
  Kind kind;
};

// Reads the sequence at p (p < end). Only the four-byte forms are checked
// for range (F0 90-BF, F1-F3 80-BF, F4 80-8F), so that nothing beyond
// U+10FFFF is read; the shorter forms stay as lenient as they always were.
inline Utf8Sequence read_utf8(const Byte *p, const Byte *end) {
  const unsigned b = *p;
  if (b < 0x80) return {1, Utf8Sequence::kWellFormed};
  unsigned need = 0;
  unsigned low = 0x80;
  unsigned high = 0xBF;
  if (b < 0xC0 || b > 0xF4) return {1, Utf8Sequence::kMalformed};
  if (b < 0xE0) {
    need = 2;
  } else if (b < 0xF0) {
    need = 3;
  } else {
    need = 4;
    if (b == 0xF0) low = 0x90;
    if (b == 0xF4) high = 0x8F;
  }
  const auto avail = static_cast<size_t>(end - p);
  for (unsigned i = 1; i < need; ++i) {
    if (i == avail) return {i, Utf8Sequence::kCut};
    const unsigned c = p[i];
    const bool fits = i == 1 ? c >= low && c <= high : is_continuation(c);
    if (!fits) return {i, Utf8Sequence::kMalformed};
  }
  return {need, Utf8Sequence::kWellFormed};
}

// The value of a well-formed sequence of two to four bytes (beyond U+FFFF
// for four).
KMV_ALWAYS_INLINE uint32_t utf8_value(const Byte *p, unsigned length) {
  if (length == 2) return (p[0] & 0x1Fu) << 6 | (p[1] & 0x3Fu);
  if (length == 3) {
    return (p[0] & 0x0Fu) << 12 | (p[1] & 0x3Fu) << 6 | (p[2] & 0x3Fu);
  }
  return (p[0] & 0x07u) << 18 | (p[1] & 0x3Fu) << 12 | (p[2] & 0x3Fu) << 6 |
         (p[3] & 0x3Fu);
}

// One-byte sequences are byte events for every target. B.kana: whether
// half-width katakana are computed rather than looked up.
template <Bypass B>
class Utf8Decoder {
 public:
  static constexpr size_t kMarkLen = 3;
  static constexpr Byte kMark[3] = {0xEF, 0xBB, 0xBF};
  static constexpr size_t kMaxCharLen = 4;
  static constexpr EventSizes kMinIn{1, 3, 2, 1, 4};

  explicit Utf8Decoder(const kmv_handle &) {}

  template <class W>
  KMV_ALWAYS_INLINE Step run(const Byte *p, const Byte *stop, const Byte *end,
                             W &w) {
    // Where a whole word may be read: four bytes, or eight for two
    // sequences at once (the second of them starting before stop).
    const Byte *const word_limit = limit(p, end, 4, stop);
    const Byte *const pair_limit =
        std::min(limit(p, end, 8, stop), limit(p, stop, 4, stop));
    // Where the writer's block conversion, when it stopped short, may try
    // again: after the character that stopped it and a few more.
    const Byte *retry = p;
    while (p < stop) {
      if constexpr (requires { w.copy_utf8(p, stop); }) {
        if (p >= retry) {
          const size_t n = w.copy_utf8(p, stop);
          retry = p + n + 16;
          p += n;
          if (p >= stop) break;
        }
      }
      // The common case in Japanese text, whole three-byte sequences,
      // tested with one comparison for two of them.
      if (p < pair_limit) {
        const uint64_t x = load_le64(p);
        if ((x & 0xC0C0F0C0C0F0u) == 0x8080E08080E0u) {
          pair(three_byte_value(static_cast<uint32_t>(x)), p,
               three_byte_value(static_cast<uint32_t>(x >> 24)), p + 3, w);
          p += 6;
          continue;
        }
      }
      const unsigned b = *p;
      if (b < 0x80) {
        if (b != 0) {
          p += w.copy_ascii(p, stop);
        } else {
          w.byte(0);
          ++p;
        }
        continue;
      }
      if (p < word_limit) {
        const uint32_t x = load_le32(p);
        if ((x & 0xC0C0F0u) == 0x8080E0u) [[likely]] {
          value(three_byte_value(x), p, w);
          p += 3;
          continue;
        }
      }
      const Utf8Sequence seq = read_utf8(p, end);
      if (seq.kind == Utf8Sequence::kCut) return cut(p);
      if (seq.kind == Utf8Sequence::kMalformed) {
        w.replace(p, 0);
      } else if (seq.length == 4) {
        const uint32_t c = utf8_value(p, 4) - 0x10000;
        write_supplementary(w, 0xD800 | c >> 10, p, 0xDC00 | (c & 0x3FF), p);
      } else {
        value(utf8_value(p, seq.length), p, w);
      }
      p += seq.length;
    }
    return done(p);
  }

 private:
  // The value of a well-formed three-byte sequence held in the low three
  // bytes of x, first byte lowest.
  static KMV_ALWAYS_INLINE uint32_t three_byte_value(uint32_t x) {
    return (x & 0x0Fu) << 12 | (x & 0x3F00u) >> 2 | (x & 0x3F0000u) >> 16;
  }

  // The first position from which `width` bytes no longer fit before
  // `end` (clamped to [p, stop]).
  static KMV_ALWAYS_INLINE const Byte *limit(const Byte *p, const Byte *end,
                                             size_t width, const Byte *stop) {
    const size_t room = static_cast<size_t>(end - p);
    if (room < width) return p;
    return std::min(stop, p + (room - width + 1));
  }

  template <class W>
  static KMV_ALWAYS_INLINE void pair(uint32_t u0, const Byte *p0, uint32_t u1,
                                     const Byte *p1, W &w) {
    if constexpr (B.kana) {
      // Half-width katakana lie at FF61 and above: one test for both.
      if (((u0 + 0x9F) | (u1 + 0x9F)) >> 16) [[unlikely]] {
        value(u0, p0, w);
        value(u1, p1, w);
        return;
      }
    }
    w.unit2(u0, p0, static_cast<int32_t>(u0), u1, p1, static_cast<int32_t>(u1));
  }

  template <class W>
  static KMV_ALWAYS_INLINE void value(uint32_t u, const Byte *p, W &w) {
    if constexpr (B.kana) {
      if (u - 0xFF61 < 0x3F) {
        w.kana(static_cast<Byte>(u - 0xFF40));
        return;
      }
    }
    w.unit(u, p, static_cast<int32_t>(u));
  }
};

}  // namespace kmv::conv

#endif
