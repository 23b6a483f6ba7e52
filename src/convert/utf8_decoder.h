// Decoder of UTF-8 sources: sequences of one to three bytes. No test for
// overlong forms or surrogate values; a malformed sequence takes the bytes
// its first byte asks for and has the value 0.
#ifndef KMV_CONVERT_UTF8_DECODER_H
#define KMV_CONVERT_UTF8_DECODER_H

#include <algorithm>
#include <cstddef>
#include <cstdint>

#include "convert/ascii.h"
#include "convert/bypass.h"
#include "convert/frame.h"

namespace kmv::conv {

// Bytes a sequence takes by its first byte: 1 for 00-7F, 2 for C0-DF,
// 3 for everything else (E0-EF, and the malformed 80-BF and F0-FF).
KMV_ALWAYS_INLINE unsigned utf8_length(unsigned b) {
  return b < 0x80 ? 1 : (b - 0xC0 < 0x20 ? 2 : 3);
}

KMV_ALWAYS_INLINE bool is_continuation(unsigned b) {
  return (b & 0xC0) == 0x80;
}

// One-byte sequences are byte events for every target. B.kana: whether
// half-width katakana are computed rather than looked up.
template <Bypass B>
class Utf8Decoder {
 public:
  static constexpr size_t kMarkLen = 3;
  static constexpr Byte kMark[3] = {0xEF, 0xBB, 0xBF};
  static constexpr size_t kMaxCharLen = 3;
  static constexpr EventSizes kMinIn{1, 3, 2, 0};

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
      const unsigned len = utf8_length(b);
      if (static_cast<size_t>(end - p) < len) return cut(p);
      if (len == 3) {
        if (b >= 0xE0 && b < 0xF0 && is_continuation(p[1]) &&
            is_continuation(p[2])) [[likely]] {
          value((b & 0x0Fu) << 12 | (p[1] & 0x3Fu) << 6 | (p[2] & 0x3Fu), p, w);
        } else {
          w.unit(0, p, 0);
        }
      } else if (is_continuation(p[1])) {
        value((b & 0x1Fu) << 6 | (p[1] & 0x3Fu), p, w);
      } else {
        w.unit(0, p, 0);
      }
      p += len;
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
