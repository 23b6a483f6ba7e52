// Block moves of ASCII runs (bytes, or UTF-16 code units, 01 to 7F) and of
// whole UTF-16 units. Every function may store a little past the run it
// reports, but never more than the room the chunk bound of the frame
// guarantees (see the comment of each).
#ifndef KMV_CONVERT_ASCII_H
#define KMV_CONVERT_ASCII_H

#include <cstddef>
#include <cstdint>
#include <cstring>

#include "convert/frame.h"
#include "simd/level.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace kmv::conv {

enum class Order { kBig, kLittle };

template <Order O>
KMV_ALWAYS_INLINE uint32_t load_unit(const Byte *p) {
  uint16_t v;
  std::memcpy(&v, p, 2);
  if constexpr ((O == Order::kBig) ==
                (__BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__)) {
    v = __builtin_bswap16(v);
  }
  return v;
}

template <Order O>
KMV_ALWAYS_INLINE void store_unit(Byte *d, uint32_t u) {
  uint16_t v = static_cast<uint16_t>(u);
  if constexpr ((O == Order::kBig) ==
                (__BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__)) {
    v = __builtin_bswap16(v);
  }
  std::memcpy(d, &v, 2);
}

KMV_ALWAYS_INLINE uint32_t le32(uint32_t x) {
#if __BYTE_ORDER__ == __ORDER_BIG_ENDIAN__
  return __builtin_bswap32(x);
#else
  return x;
#endif
}

KMV_ALWAYS_INLINE uint32_t load_le32(const Byte *p) {
  uint32_t x;
  std::memcpy(&x, p, 4);
  return le32(x);
}

KMV_ALWAYS_INLINE uint64_t load_le64(const Byte *p) {
  uint64_t x;
  std::memcpy(&x, p, 8);
#if __BYTE_ORDER__ == __ORDER_BIG_ENDIAN__
  x = __builtin_bswap64(x);
#endif
  return x;
}

KMV_ALWAYS_INLINE void store_le32(Byte *p, uint32_t x) {
  x = le32(x);
  std::memcpy(p, &x, 4);
}

KMV_ALWAYS_INLINE void store_le64(Byte *p, uint64_t x) {
#if __BYTE_ORDER__ == __ORDER_BIG_ENDIAN__
  x = __builtin_bswap64(x);
#endif
  std::memcpy(p, &x, 8);
}

KMV_ALWAYS_INLINE bool is_ascii_char(uint32_t c) {
  return c - 1 < 0x7F;
}

// Copies the longest prefix of [p, stop) made of bytes 01 to 7F to dst and
// returns its length. Stores at most stop - p bytes.
KMV_ALWAYS_INLINE size_t copy_ascii(const Byte *p, const Byte *stop,
                                    Byte *dst) {
  const Byte *s = p;
#if defined(__SSE2__)
  const __m128i zero = _mm_setzero_si128();
  while (stop - s >= 32) {
    if (s - p == simd::kLongRun && simd::active.copy_ascii != nullptr) {
      return static_cast<size_t>(s - p) +
             simd::active.copy_ascii(s, stop, dst + (s - p));
    }
    const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i *>(s));
    const __m128i b =
        _mm_loadu_si128(reinterpret_cast<const __m128i *>(s + 16));
    _mm_storeu_si128(reinterpret_cast<__m128i *>(dst + (s - p)), a);
    _mm_storeu_si128(reinterpret_cast<__m128i *>(dst + (s - p) + 16), b);
    // Signed bytes above zero are exactly 01 to 7F.
    const unsigned ma =
        static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpgt_epi8(a, zero)));
    const unsigned mb =
        static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpgt_epi8(b, zero)));
    const unsigned m = ma | mb << 16;
    if (m != 0xFFFFFFFFu) {
      return static_cast<size_t>(s - p) +
             static_cast<size_t>(__builtin_ctz(~m));
    }
    s += 32;
  }
#endif
  Byte *d = dst + (s - p);
  while (s < stop && is_ascii_char(*s)) *d++ = *s++;
  return static_cast<size_t>(s - p);
}

// As copy_ascii, widening each byte to a UTF-16 unit of order O. Stores at
// most 2 * (stop - p) bytes.
template <Order O>
KMV_ALWAYS_INLINE size_t widen_ascii(const Byte *p, const Byte *stop,
                                     Byte *dst) {
  const Byte *s = p;
#if defined(__SSE2__)
  const __m128i zero = _mm_setzero_si128();
  while (stop - s >= 16) {
    if (s - p == simd::kLongRun) {
      if (const simd::RunFn wide = simd::active.widen_ascii[int(O)]) {
        return static_cast<size_t>(s - p) + wide(s, stop, dst + 2 * (s - p));
      }
    }
    const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i *>(s));
    Byte *d = dst + 2 * (s - p);
    if constexpr (O == Order::kBig) {
      _mm_storeu_si128(reinterpret_cast<__m128i *>(d),
                       _mm_unpacklo_epi8(zero, a));
      _mm_storeu_si128(reinterpret_cast<__m128i *>(d + 16),
                       _mm_unpackhi_epi8(zero, a));
    } else {
      _mm_storeu_si128(reinterpret_cast<__m128i *>(d),
                       _mm_unpacklo_epi8(a, zero));
      _mm_storeu_si128(reinterpret_cast<__m128i *>(d + 16),
                       _mm_unpackhi_epi8(a, zero));
    }
    const unsigned m =
        static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpgt_epi8(a, zero)));
    if (m != 0xFFFFu) {
      return static_cast<size_t>(s - p) +
             static_cast<size_t>(__builtin_ctz(~m));
    }
    s += 16;
  }
#endif
  while (s < stop && is_ascii_char(*s)) {
    store_unit<O>(dst + 2 * (s - p), *s);
    ++s;
  }
  return static_cast<size_t>(s - p);
}

// Copies the longest run of whole UTF-16 units of order O in [p, stop)
// whose values are 0001 to 007F as single bytes; returns the number of
// units. Stores at most (stop - p) / 2 bytes.
template <Order O>
KMV_ALWAYS_INLINE size_t narrow_ascii(const Byte *p, const Byte *stop,
                                      Byte *dst) {
  const Byte *s = p;
#if defined(__SSE2__)
  const __m128i zero = _mm_setzero_si128();
  const __m128i top = _mm_set1_epi16(0x80);
  auto units = [](__m128i v) {
    if constexpr (O == Order::kBig) {
      return _mm_or_si128(_mm_slli_epi16(v, 8), _mm_srli_epi16(v, 8));
    } else {
      return v;
    }
  };
  while (stop - s >= 32) {
    if (s - p == simd::kLongRun) {
      if (const simd::RunFn wide = simd::active.narrow_ascii[int(O)]) {
        return static_cast<size_t>(s - p) / 2 +
               wide(s, stop, dst + (s - p) / 2);
      }
    }
    const __m128i a =
        units(_mm_loadu_si128(reinterpret_cast<const __m128i *>(s)));
    const __m128i b =
        units(_mm_loadu_si128(reinterpret_cast<const __m128i *>(s + 16)));
    const __m128i ok_a =
        _mm_and_si128(_mm_cmpgt_epi16(a, zero), _mm_cmplt_epi16(a, top));
    const __m128i ok_b =
        _mm_and_si128(_mm_cmpgt_epi16(b, zero), _mm_cmplt_epi16(b, top));
    _mm_storeu_si128(reinterpret_cast<__m128i *>(dst + (s - p) / 2),
                     _mm_packus_epi16(a, b));
    const unsigned m =
        static_cast<unsigned>(_mm_movemask_epi8(_mm_packs_epi16(ok_a, ok_b)));
    if (m != 0xFFFFu) {
      return static_cast<size_t>(s - p) / 2 +
             static_cast<size_t>(__builtin_ctz(~m));
    }
    s += 32;
  }
#endif
  while (stop - s >= 2 && is_ascii_char(load_unit<O>(s))) {
    dst[(s - p) / 2] = static_cast<Byte>(load_unit<O>(s));
    s += 2;
  }
  return static_cast<size_t>(s - p) / 2;
}

// Converts the longest run of whole blocks of eight UTF-16 units of order
// O, each 0800 or above and none a surrogate (a pair takes four bytes), to
// their three-byte UTF-8 forms; returns the
// number of units (a multiple of eight). Stores at most 3 * (stop - p) / 2
// bytes and 2 more.
template <Order O>
KMV_ALWAYS_INLINE size_t utf8_from_wide_units(const Byte *p, const Byte *stop,
                                              Byte *dst) {
  size_t n = 0;
#if defined(__SSE2__)
  const __m128i zero = _mm_setzero_si128();
  const __m128i low6 = _mm_set1_epi16(0x3F);
  const __m128i lead = _mm_set1_epi16(0xE0);
  const __m128i trail = _mm_set1_epi16(0x80);
  const __m128i low24 = _mm_set1_epi64x(0xFFFFFF);
  const __m128i high24 = _mm_set1_epi64x(0xFFFFFF000000);
  while (stop - p >= 16) {
    __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i *>(p));
    if constexpr (O == Order::kBig) {
      v = _mm_or_si128(_mm_slli_epi16(v, 8), _mm_srli_epi16(v, 8));
    }
    // Every unit must take three bytes on its own: not below 0800, and not
    // a surrogate (D800 to DFFF, 1B in the top five bits).
    const __m128i top5 = _mm_srli_epi16(v, 11);
    if (_mm_movemask_epi8(
            _mm_or_si128(_mm_cmpeq_epi16(top5, zero),
                         _mm_cmpeq_epi16(top5, _mm_set1_epi16(0x1B)))) != 0) {
      break;
    }
    const __m128i b0 = _mm_or_si128(_mm_srli_epi16(v, 12), lead);
    const __m128i b1 =
        _mm_or_si128(_mm_and_si128(_mm_srli_epi16(v, 6), low6), trail);
    const __m128i b2 = _mm_or_si128(_mm_and_si128(v, low6), trail);
    const __m128i b01 = _mm_or_si128(b0, _mm_slli_epi16(b1, 8));
    // Four bytes per unit (b0 b1 b2 00), then two units per 64 bits packed
    // to six bytes.
    const __m128i lo = _mm_unpacklo_epi16(b01, b2);
    const __m128i hi = _mm_unpackhi_epi16(b01, b2);
    const __m128i plo = _mm_or_si128(
        _mm_and_si128(lo, low24), _mm_and_si128(_mm_srli_epi64(lo, 8), high24));
    const __m128i phi = _mm_or_si128(
        _mm_and_si128(hi, low24), _mm_and_si128(_mm_srli_epi64(hi, 8), high24));
    _mm_storel_epi64(reinterpret_cast<__m128i *>(dst), plo);
    _mm_storel_epi64(reinterpret_cast<__m128i *>(dst + 6),
                     _mm_unpackhi_epi64(plo, plo));
    _mm_storel_epi64(reinterpret_cast<__m128i *>(dst + 12), phi);
    _mm_storel_epi64(reinterpret_cast<__m128i *>(dst + 18),
                     _mm_unpackhi_epi64(phi, phi));
    p += 16;
    dst += 24;
    n += 8;
  }
#else
  (void)p;
  (void)stop;
  (void)dst;
#endif
  return n;
}

// Writes n UTF-16 units with their two bytes exchanged.
KMV_ALWAYS_INLINE void swap_units(const Byte *p, size_t n, Byte *dst) {
  if (n >= size_t{simd::kLongRun} && simd::active.swap_units != nullptr) {
    simd::active.swap_units(p, p + 2 * n, dst);
    return;
  }
  size_t i = 0;
#if defined(__SSE2__)
  for (; i + 8 <= n; i += 8) {
    const __m128i v =
        _mm_loadu_si128(reinterpret_cast<const __m128i *>(p + 2 * i));
    _mm_storeu_si128(reinterpret_cast<__m128i *>(dst + 2 * i),
                     _mm_or_si128(_mm_slli_epi16(v, 8), _mm_srli_epi16(v, 8)));
  }
#endif
  for (; i < n; ++i) {
    dst[2 * i] = p[2 * i + 1];
    dst[2 * i + 1] = p[2 * i];
  }
}

}  // namespace kmv::conv

#endif
