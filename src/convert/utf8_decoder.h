// Decoder of UTF-8 sources: sequences of one to three bytes. No test for
// overlong forms or surrogate values; a malformed sequence takes the bytes
// its first byte asks for and has the value 0.
#ifndef KMV_CONVERT_UTF8_DECODER_H
#define KMV_CONVERT_UTF8_DECODER_H

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
    while (p < stop) {
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
      if (end - p >= 4) {
        // The common case in Japanese text, a whole three-byte sequence,
        // tested with one comparison.
        const uint32_t x = load_le32(p);
        if ((x & 0xC0C0F0u) == 0x8080E0u) [[likely]] {
          value((x & 0x0Fu) << 12 | (x & 0x3F00u) >> 2 | (x & 0x3F0000u) >> 16,
                p, w);
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
