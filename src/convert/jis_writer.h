// The ISO-2022-JP writer: a three-mode shift machine (ASCII, JIS X 0208 in
// the two-byte mode, JIS X 0201 katakana) that designates a mode only when
// it changes and returns to ASCII at the end. Every converter to
// ISO-2022-JP uses it.
#ifndef KMV_CONVERT_JIS_WRITER_H
#define KMV_CONVERT_JIS_WRITER_H

#include <cstddef>
#include <cstdint>

#include "convert/ascii.h"
#include "convert/frame.h"

namespace kmv::conv {

class JisWriter {
 public:
  // An escape sequence and the character's bytes.
  static constexpr EventSizes kMaxOut{4, 4, 5, 5, 10};
  static constexpr size_t kMarkLen = 0;
  static constexpr Byte kMark[1] = {0};
  static constexpr uint32_t kReplacement = 0x2129;  // full-width "?"

  JisWriter(const kmv_handle &h, Output &out, Record &rec)
      : out_(out),
        rec_(rec),
        table_(h.unibe2jis_table),
        size_(slot_size(h.unibe2jis_table, h.unibe2jis_table_size)),
        ascii_as_is_(
            ascii_identity(h.unibe2jis_table, h.unibe2jis_table_size)) {}

  // A single-byte character, control bytes and ESC included, is copied in
  // the ASCII mode without being inspected.
  KMV_ALWAYS_INLINE void byte(Byte c) {
    enter(Mode::kAscii);
    out_.put(c);
  }

  // A half-width katakana as its 7-bit JIS X 0201 value.
  KMV_ALWAYS_INLINE void kana(Byte k) {
    enter(Mode::kKatakana);
    out_.put(k);
  }

  // The two-byte step: the UTF-16 value's JIS code. A table value below 80
  // is an ASCII character (U+203E, or an overlong UTF-8 form of ASCII): it
  // is written as a single byte in the ASCII mode, so that no 00 byte ever
  // lands in a two-byte run. Values 80 to FF cannot be written in
  // ISO-2022-JP at all and are replaced.
  KMV_ALWAYS_INLINE void unit(uint32_t u, const Byte *pos, int32_t code) {
    write(lookup(table_, size_, u), pos, code);
  }

  // Two characters. (Merging their stores was measured slower: the two
  // lookups then have to finish before either is written.)
  KMV_ALWAYS_INLINE void unit2(uint32_t u0, const Byte *pos0, int32_t code0,
                               uint32_t u1, const Byte *pos1, int32_t code1) {
    unit(u0, pos0, code0);
    unit(u1, pos1, code1);
  }

  KMV_ALWAYS_INLINE void replace(const Byte *pos, int32_t code) {
    two_byte(kReplacement);
    rec_.add(pos, code);
  }
  KMV_ALWAYS_INLINE void replace_silently() { two_byte(kReplacement); }

  bool ascii_as_is() const { return ascii_as_is_; }

  KMV_ALWAYS_INLINE size_t copy_ascii(const Byte *p, const Byte *stop) {
    if (!enter_ascii_for(is_ascii_char(*p))) return 0;
    const size_t n = kmv::conv::copy_ascii(p, stop, out_.cur);
    out_.cur += n;
    return n;
  }
  template <Order O>
  KMV_ALWAYS_INLINE size_t copy_ascii_units(const Byte *p, const Byte *stop) {
    if (stop - p < 2 || !enter_ascii_for(is_ascii_char(load_unit<O>(p)))) {
      return 0;
    }
    const size_t n = narrow_ascii<O>(p, stop, out_.cur);
    out_.cur += n;
    return n;
  }

  // Every complete output ends in the ASCII mode.
  bool finish() {
    if (mode_ == Mode::kAscii) return true;
    if (!out_.ensure(3)) return false;
    enter(Mode::kAscii);
    return true;
  }

 private:
  KMV_ALWAYS_INLINE void write(uint32_t e, const Byte *pos, int32_t code) {
    if (e > 0xFF) [[likely]] {
      two_byte(e);
    } else if (e != 0 && e < 0x80) {
      byte(static_cast<Byte>(e));
    } else {
      replace(pos, code);
    }
  }

  enum class Mode {
    kAscii = KMV_JIS_ASCII,
    kTwoByte = KMV_JIS_TWO_BYTE,
    kKatakana = KMV_JIS_KATAKANA
  };

  KMV_ALWAYS_INLINE void two_byte(uint32_t code) {
    enter(Mode::kTwoByte);
    out_.put(static_cast<Byte>(code >> 8), static_cast<Byte>(code));
  }

  KMV_ALWAYS_INLINE bool enter_ascii_for(bool run_ahead) {
    if (mode_ == Mode::kAscii) return true;
    if (!run_ahead) return false;
    enter(Mode::kAscii);
    return true;
  }

  KMV_ALWAYS_INLINE void enter(Mode m) {
    if (mode_ == m) [[likely]]
      return;
    switch (m) {
      case Mode::kAscii:
        out_.put(0x1B, 0x28, 0x42);
        break;  // ESC ( B
      case Mode::kTwoByte:
        out_.put(0x1B, 0x24, 0x42);
        break;  // ESC $ B
      case Mode::kKatakana:
        out_.put(0x1B, 0x28, 0x49);
        break;  // ESC ( I
    }
    mode_ = m;
  }

  Output &out_;
  Record &rec_;
  const uint16_t *table_;
  uint64_t size_;
  bool ascii_as_is_;
  Mode mode_ = Mode::kAscii;
};

}  // namespace kmv::conv

#endif
