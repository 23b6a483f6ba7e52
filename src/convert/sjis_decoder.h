// Decoder of Shift_JIS sources (ASCII is read as Shift_JIS too): single
// bytes 00-7F and A1-DF, every other byte the first of a pair whose second
// byte is taken as it comes. Only the table says whether a pair is a
// character.
#ifndef KMV_CONVERT_SJIS_DECODER_H
#define KMV_CONVERT_SJIS_DECODER_H

#include <cstddef>
#include <cstdint>

#include "convert/ascii.h"
#include "convert/frame.h"
#include "convert/legacy_policy.h"

namespace kmv::conv {

KMV_ALWAYS_INLINE bool is_sjis_katakana(unsigned b) {
  return b - 0xA1 < 0x3F;
}

template <LegacyPolicy P>
class SjisDecoder {
 public:
  static constexpr size_t kMarkLen = 0;
  static constexpr Byte kMark[1] = {0};
  static constexpr size_t kMaxCharLen = 2;
  static constexpr EventSizes kMinIn{1, 1, P.singles_looked_up ? 1u : 2u, 1};

  explicit SjisDecoder(const kmv_handle &h)
      : table_(h.sjis2unibe_table),
        size_(h.sjis2unibe_table == nullptr ? 0 : h.sjis2unibe_table_size),
        ascii_runs_(!P.singles_looked_up || ascii_identity(table_, size_)) {}

  template <class W>
  KMV_ALWAYS_INLINE Step run(const Byte *p, const Byte *stop, const Byte *end,
                             W &w) {
    while (p < stop) {
      const unsigned b = *p;
      if (ascii_runs_ && is_ascii_char(b)) {
        p += w.copy_ascii(p, stop);
        continue;
      }
      if (b < 0x80 || is_sjis_katakana(b)) {
        single(b, w);
        ++p;
        continue;
      }
      if (end - p < 2) return cut(p);
      const uint32_t code = b << 8 | p[1];
      const uint32_t u = lookup(table_, size_, code);
      if (u != 0) [[likely]] {
        w.unit(u, p, static_cast<int32_t>(code));
      } else {
        w.replace(p, static_cast<int32_t>(code));
      }
      p += 2;
    }
    return done(p);
  }

 private:
  template <class W>
  KMV_ALWAYS_INLINE void single(unsigned b, W &w) {
    if constexpr (P.singles_looked_up) {
      // One-byte characters are never recorded by this family.
      const uint32_t u = lookup(table_, size_, b);
      if (u != 0) {
        w.unit(u, nullptr, 0);
      } else {
        w.replace_silently();
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
