// Target writers for Shift_JIS, EUC-JP, UTF-8 and UTF-16 (the ISO-2022-JP
// writer is in jis_writer.h). Every writer takes the same events (see
// README.md): byte(c), kana(k), unit(u, pos, code), unit2(...) for two
// units at once, replace(pos, code), replace_silently(), the ASCII block
// moves, and finish().
#ifndef KMV_CONVERT_WRITERS_H
#define KMV_CONVERT_WRITERS_H

#include <cstddef>
#include <cstdint>
#include <cstring>

#include "convert/ascii.h"
#include "convert/frame.h"
#include "convert/jis_as_sjis.h"

namespace kmv::conv {

inline constexpr Byte kQuestion = 0x3F;

// Shared by the writers of byte encodings: ASCII runs, and the values that
// are one byte or may read as the replacement.
class ByteTargetBase {
 public:
  ByteTargetBase(Output &out, Record &rec, bool ascii_as_is)
      : out_(out), rec_(rec), ascii_as_is_(ascii_as_is) {}

  KMV_ALWAYS_INLINE void byte(Byte c) { out_.put(c); }
  // Whether unit(c) writes the byte c for every c in 01 to 7F.
  bool ascii_as_is() const { return ascii_as_is_; }

  KMV_ALWAYS_INLINE size_t copy_ascii(const Byte *p, const Byte *stop) {
    const size_t n = kmv::conv::copy_ascii(p, stop, out_.cur);
    out_.cur += n;
    return n;
  }
  template <Order O>
  KMV_ALWAYS_INLINE size_t copy_ascii_units(const Byte *p, const Byte *stop) {
    const size_t n = narrow_ascii<O>(p, stop, out_.cur);
    out_.cur += n;
    return n;
  }
  KMV_ALWAYS_INLINE void replace(const Byte *pos, int32_t code) {
    out_.put(kQuestion);
    rec_.add(pos, code);
  }
  KMV_ALWAYS_INLINE void replace_silently() { out_.put(kQuestion); }
  bool finish() { return true; }

 protected:
  // Values below 4000: one byte, no mapping, or a two-byte code that may
  // start with "?". A value that is itself the replacement ("?" or a code
  // whose first byte is "?") counts as not converted, unless the source
  // was "?".
  KMV_ALWAYS_INLINE void write_small(uint32_t e, const Byte *pos,
                                     int32_t code) {
    const bool questionable = e == 0 || e == kQuestion || (e >> 8) == kQuestion;
    if (e == 0) e = kQuestion;
    if (e > 0xFF) {
      out_.put(static_cast<Byte>(e >> 8), static_cast<Byte>(e));
    } else {
      out_.put(static_cast<Byte>(e));
    }
    if (questionable && code != kQuestion) [[unlikely]] {
      rec_.add(pos, code);
    }
  }

  // unit() for a long run of UTF-16 units that map to two-byte codes, with
  // ASCII among them, through a kernel of simd::Kernels and its table;
  // returns the units taken.
  KMV_ALWAYS_INLINE size_t copy_units_through(simd::TableCodesFn wider,
                                              const Byte *p, const Byte *stop,
                                              const uint16_t *table,
                                              uint64_t size) {
    if (stop - p < 2 * simd::kLongRun || !ascii_as_is_ || wider == nullptr) {
      return 0;
    }
    size_t written = 0;
    const size_t n = wider(p, stop, out_.cur, table, size, &written);
    out_.cur += written;
    return n;
  }

  Output &out_;
  Record &rec_;
  bool ascii_as_is_;
};

class SjisWriter : public ByteTargetBase {
 public:
  static constexpr EventSizes kMaxOut{1, 1, 2, 1, 4};
  static constexpr size_t kMarkLen = 0;
  static constexpr Byte kMark[1] = {0};

  SjisWriter(const kmv_handle &h, Output &out, Record &rec)
      : ByteTargetBase(
            out, rec,
            ascii_identity(h.unibe2sjis_table, h.unibe2sjis_table_size)),
        table_(h.unibe2sjis_table),
        size_(slot_size(h.unibe2sjis_table, h.unibe2sjis_table_size)) {}

  KMV_ALWAYS_INLINE void kana(Byte k) { out_.put(static_cast<Byte>(k | 0x80)); }

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

  // An ISO-2022-JP two-byte code that jis_codes_as_sjis takes.
  KMV_ALWAYS_INLINE void jis_code(uint32_t j1, uint32_t j2) {
    const uint32_t code = sjis_of_jis(j1, j2);
    out_.put(static_cast<Byte>(code >> 8), static_cast<Byte>(code));
  }
  // Up to eight of them in a row at p (EUC-JP codes with kEuc); returns
  // how many. Stores 16 bytes: call it only with 16 source bytes left in
  // the chunk.
  template <bool kEuc = false>
  KMV_ALWAYS_INLINE int jis_codes(const Byte *p, const ArithmeticCodes &codes) {
    const int n = sjis_of_jis_block<kEuc>(p, codes, out_.cur);
    out_.cur += 2 * n;
    return n;
  }

  // The events of a long run of UTF-8 characters that map to two-byte
  // codes, with ASCII among them (see simd::Kernels), where a wider level
  // has a kernel for it; returns the source bytes taken.
  KMV_ALWAYS_INLINE size_t copy_utf8(const Byte *p, const Byte *stop) {
    // Runs begin with a three-byte character: ASCII goes by copy_ascii.
    if (stop - p < simd::kLongRun || (*p & 0xF0) != 0xE0) return 0;
    const auto wider = simd::active.sjis_from_utf8;
    if (wider == nullptr) return 0;
    size_t written = 0;
    const size_t n = wider(p, stop, out_.cur, table_, size_, &written);
    out_.cur += written;
    return n;
  }

  // unit() for a long run of UTF-16 units that map to two-byte codes, with
  // ASCII among them (see simd::Kernels), where a wider level has a kernel
  // for it; returns the units taken.
  template <Order O>
  KMV_ALWAYS_INLINE size_t copy_wide_units(const Byte *p, const Byte *stop) {
    return copy_units_through(simd::active.sjis_from_units[int(O)], p, stop,
                              table_, size_);
  }

 private:
  KMV_ALWAYS_INLINE void write(uint32_t e, const Byte *pos, int32_t code) {
    if (e >= 0x4000) [[likely]] {  // two bytes, the first not "?"
      out_.put(static_cast<Byte>(e >> 8), static_cast<Byte>(e));
    } else {
      write_small(e, pos, code);
    }
  }

  const uint16_t *table_;
  uint64_t size_;
};

// EUC-JP through the four-byte slot when it is set, else the two-byte one.
class EucWriter : public ByteTargetBase {
 public:
  static constexpr EventSizes kMaxOut{1, 2, 3, 1, 6};
  static constexpr size_t kMarkLen = 0;
  static constexpr Byte kMark[1] = {0};

  EucWriter(const kmv_handle &h, Output &out, Record &rec)
      : ByteTargetBase(
            out, rec,
            h.unibe2euc_table4 != nullptr
                ? ascii_identity(h.unibe2euc_table4, h.unibe2euc_table4_size)
                : ascii_identity(h.unibe2euc_table, h.unibe2euc_table_size)),
        wide_(h.unibe2euc_table4),
        wide_size_(slot_size(h.unibe2euc_table4, h.unibe2euc_table4_size)),
        narrow_(h.unibe2euc_table),
        narrow_size_(slot_size(h.unibe2euc_table, h.unibe2euc_table_size)) {}

  KMV_ALWAYS_INLINE void kana(Byte k) {
    out_.put(0x8E, static_cast<Byte>(k | 0x80));
  }

  KMV_ALWAYS_INLINE void unit(uint32_t u, const Byte *pos, int32_t code) {
    write(code_of(u), pos, code);
  }

  // Two characters. (Merging their stores was measured slower: the two
  // lookups then have to finish before either is written.)
  KMV_ALWAYS_INLINE void unit2(uint32_t u0, const Byte *pos0, int32_t code0,
                               uint32_t u1, const Byte *pos1, int32_t code1) {
    unit(u0, pos0, code0);
    unit(u1, pos1, code1);
  }

  // unit() for a long run of UTF-16 units that map to two-byte codes, with
  // ASCII among them (see simd::Kernels), where a wider level has a kernel
  // for it and the two-byte table is the one in use; returns the units
  // taken.
  template <Order O>
  KMV_ALWAYS_INLINE size_t copy_wide_units(const Byte *p, const Byte *stop) {
    if (wide_ != nullptr) return 0;
    return copy_units_through(simd::active.euc_from_units[int(O)], p, stop,
                              narrow_, narrow_size_);
  }

 private:
  KMV_ALWAYS_INLINE uint32_t code_of(uint32_t u) const {
    return wide_ != nullptr ? lookup(wide_, wide_size_, u)
                            : lookup(narrow_, narrow_size_, u);
  }

  KMV_ALWAYS_INLINE void write(uint32_t e, const Byte *pos, int32_t code) {
    if (e >= 0x4000) [[likely]] {  // two or three bytes, none of them "?"
      if (e > 0xFFFF) {
        out_.put(0x8F, static_cast<Byte>(e >> 8), static_cast<Byte>(e));
      } else {
        out_.put(static_cast<Byte>(e >> 8), static_cast<Byte>(e));
      }
    } else {
      write_small(e, pos, code);
    }
  }

  const uint32_t *wide_;
  uint64_t wide_size_;
  const uint16_t *narrow_;
  uint64_t narrow_size_;
};

// UTF-8 needs no table; a byte event is copied as it is (EUC-JP single
// bytes 80 to A0 included).
class Utf8Writer : public ByteTargetBase {
 public:
  static constexpr EventSizes kMaxOut{1, 3, 3, 1, 4};
  static constexpr size_t kMarkLen = 3;
  static constexpr Byte kMark[3] = {0xEF, 0xBB, 0xBF};

  Utf8Writer(const kmv_handle &, Output &out, Record &rec)
      : ByteTargetBase(out, rec, true) {}

  KMV_ALWAYS_INLINE void kana(Byte k) { unit(0xFF40u + k, nullptr, 0); }

  KMV_ALWAYS_INLINE void unit(uint32_t u, const Byte *, int32_t) {
    if (u >= 0x800) [[likely]] {
      // Three bytes in one store; the fourth is overwritten by the next
      // character or lies in the frame's slack.
      store_le32(out_.cur, three_bytes(u));
      out_.cur += 3;
    } else if (u < 0x80) {
      out_.put(static_cast<Byte>(u));
    } else {
      out_.put(static_cast<Byte>(0xC0 | u >> 6),
               static_cast<Byte>(0x80 | (u & 0x3F)));
    }
  }

  KMV_ALWAYS_INLINE void unit2(uint32_t u0, const Byte *, int32_t, uint32_t u1,
                               const Byte *, int32_t) {
    if ((u0 >= 0x800) & (u1 >= 0x800)) [[likely]] {
      // Six bytes in one store; the rest lies in the frame's slack.
      store_le64(out_.cur, three_bytes(u0) | uint64_t{three_bytes(u1)} << 24);
      out_.cur += 6;
    } else {
      unit(u0, nullptr, 0);
      unit(u1, nullptr, 0);
    }
  }

  // A character beyond U+FFFF, from its surrogate pair: one four-byte form.
  KMV_ALWAYS_INLINE void supplementary(uint32_t high, uint32_t low) {
    const uint32_t c = 0x10000 + ((high - 0xD800) << 10) + (low - 0xDC00);
    store_le32(out_.cur, 0x808080F0u | c >> 18 | (c >> 4 & 0x3F00u) |
                             (c << 10 & 0x3F0000u) | (c << 24 & 0x3F000000u));
    out_.cur += 4;
  }

  // unit() for a long run of ISO-2022-JP pairs looked up in the decoding
  // table whose characters are U+0800 and above (see simd::Kernels), where
  // a wider level has a kernel for it; returns the source bytes taken.
  KMV_ALWAYS_INLINE size_t copy_jis(const Byte *p, const Byte *stop,
                                    const uint16_t *table, uint64_t size) {
    const auto wider = simd::active.utf8_from_jis;
    if (stop - p < simd::kLongRun || wider == nullptr) return 0;
    size_t written = 0;
    const size_t n = wider(p, stop, out_.cur, table, size, &written);
    out_.cur += written;
    return n;
  }

  // unit() for a run of UTF-16 units of 0800 and above, in blocks.
  template <Order O>
  KMV_ALWAYS_INLINE size_t copy_wide_units(const Byte *p, const Byte *stop) {
    if (stop - p >= 2 * simd::kLongRun) {
      if (const auto wider = simd::active.utf8_from_units[int(O)]) {
        size_t written = 0;
        const size_t units = wider(p, stop, out_.cur, &written);
        out_.cur += written;
        if (units != 0) return units;
      }
    }
    const size_t n = utf8_from_wide_units<O>(p, stop, out_.cur);
    out_.cur += 3 * n;
    return n;
  }

 private:
  // The three-byte form of u (0800 and above), first byte lowest.
  static KMV_ALWAYS_INLINE uint32_t three_bytes(uint32_t u) {
    return 0x8080E0u | u >> 12 | (u << 2 & 0x3F00u) | (u << 16 & 0x3F0000u);
  }
};

template <Order O>
class Utf16Writer {
 public:
  static constexpr EventSizes kMaxOut{2, 2, 2, 2, 4};
  static constexpr size_t kMarkLen = 2;
  static constexpr Byte kMark[2] = {O == Order::kBig ? Byte{0xFE} : Byte{0xFF},
                                    O == Order::kBig ? Byte{0xFF} : Byte{0xFE}};
  static constexpr Order kOrder = O;

  Utf16Writer(const kmv_handle &, Output &out, Record &rec)
      : out_(out), rec_(rec) {}

  KMV_ALWAYS_INLINE void byte(Byte c) { unit(c, nullptr, 0); }
  KMV_ALWAYS_INLINE void kana(Byte k) { unit(0xFF40u + k, nullptr, 0); }
  KMV_ALWAYS_INLINE void unit(uint32_t u, const Byte *, int32_t) {
    store_unit<O>(out_.cur, u);
    out_.cur += 2;
  }
  KMV_ALWAYS_INLINE void unit2(uint32_t u0, const Byte *, int32_t, uint32_t u1,
                               const Byte *, int32_t) {
    store_unit<O>(out_.cur, u0);
    store_unit<O>(out_.cur + 2, u1);
    out_.cur += 4;
  }
  KMV_ALWAYS_INLINE void replace(const Byte *pos, int32_t code) {
    unit(kQuestion, nullptr, 0);
    rec_.add(pos, code);
  }
  KMV_ALWAYS_INLINE void replace_silently() { unit(kQuestion, nullptr, 0); }

  bool ascii_as_is() const { return true; }
  KMV_ALWAYS_INLINE size_t copy_ascii(const Byte *p, const Byte *stop) {
    const size_t n = widen_ascii<O>(p, stop, out_.cur);
    out_.cur += 2 * n;
    return n;
  }
  // unit() for a long run of plain UTF-8 (see simd::Kernels), where a
  // wider level has a kernel for it; returns the source bytes taken.
  KMV_ALWAYS_INLINE size_t copy_utf8(const Byte *p, const Byte *stop) {
    if (stop - p < simd::kLongRun) return 0;
    const auto wider = simd::active.units_from_utf8[int(O)];
    if (wider == nullptr) return 0;
    size_t units = 0;
    const size_t n = wider(p, stop, out_.cur, &units);
    out_.cur += 2 * units;
    return n;
  }
  // unit() for a long run of EUC-JP two-byte codes and lone single bytes
  // looked up in the decoding table (see simd::Kernels), where a wider
  // level has a kernel for it; returns the source bytes taken.
  KMV_ALWAYS_INLINE size_t copy_euc(const Byte *p, const Byte *stop,
                                    const uint16_t *table, uint64_t size) {
    if (stop - p < simd::kLongRun) return 0;
    const auto wider = simd::active.units_from_euc[int(O)];
    if (wider == nullptr) return 0;
    size_t units = 0;
    const size_t n = wider(p, stop, out_.cur, table, size, &units);
    out_.cur += 2 * units;
    return n;
  }
  // n whole units of order S, written in this writer's order.
  template <Order S>
  KMV_ALWAYS_INLINE void copy_units(const Byte *p, size_t n) {
    if constexpr (S == O) {
      std::memcpy(out_.cur, p, 2 * n);
    } else {
      swap_units(p, n, out_.cur);
    }
    out_.cur += 2 * n;
  }
  bool finish() { return true; }

 private:
  Output &out_;
  Record &rec_;
};

using UnibeWriter = Utf16Writer<Order::kBig>;
using UnileWriter = Utf16Writer<Order::kLittle>;

// Writers that take ISO-2022-JP two-byte codes by arithmetic (Shift_JIS).
template <class W>
inline constexpr bool kWritesJisCodes = requires(W &w, uint32_t j) {
  w.jis_code(j, j);
};

// Writers with a kernel for runs of ISO-2022-JP pairs.
template <class W>
inline constexpr bool kCopiesJisPairs = requires(W &w, const Byte *p) {
  w.copy_jis(p, p, nullptr, 0);
};

template <class W>
inline constexpr bool kIsUtf16Writer = false;
template <Order O>
inline constexpr bool kIsUtf16Writer<Utf16Writer<O>> = true;

// Writers that write a surrogate pair as one character (UTF-8); the
// others take it as the two units it is.
template <class W>
inline constexpr bool kJoinsPairs = requires(W &w, uint32_t u) {
  w.supplementary(u, u);
};

// A character beyond U+FFFF as its surrogate pair: one character where the
// target can write it whole, else two units, replaced and recorded by the
// table targets as a pair read from UTF-16 is.
template <class W>
KMV_ALWAYS_INLINE void write_supplementary(W &w, uint32_t high,
                                           const Byte *pos_high, uint32_t low,
                                           const Byte *pos_low) {
  if constexpr (kJoinsPairs<W>) {
    w.supplementary(high, low);
  } else {
    w.unit2(high, pos_high, static_cast<int32_t>(high), low, pos_low,
            static_cast<int32_t>(low));
  }
}

KMV_ALWAYS_INLINE bool is_high_surrogate(uint32_t u) {
  return u - 0xD800 < 0x400;
}
KMV_ALWAYS_INLINE bool is_low_surrogate(uint32_t u) {
  return u - 0xDC00 < 0x400;
}

}  // namespace kmv::conv

#endif
