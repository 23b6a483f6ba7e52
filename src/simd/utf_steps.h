// One character or unit at a time, for the wider kernels where a block
// does not fit their vector forms: the same plain characters they take.
#ifndef KMV_SIMD_UTF_STEPS_H
#define KMV_SIMD_UTF_STEPS_H

#include <cstddef>
#include <cstdint>

#include "simd/level.h"

namespace kmv::simd {

inline bool is_trail(unsigned b) {
  return (b & 0xC0) == 0x80;
}

// Length of the plain UTF-8 character at s (one to three bytes, no
// overlong form, no surrogate, wholly before stop), its value in *u; 0 if
// the character at s is anything else.
inline unsigned plain_utf8(const Byte *s, const Byte *stop, uint32_t *u) {
  const unsigned b = s[0];
  if (b < 0x80) {
    *u = b;
    return 1;
  }
  if (b - 0xC2 < 0x1E) {
    if (stop - s < 2 || !is_trail(s[1])) return 0;
    *u = (b & 0x1Fu) << 6 | (s[1] & 0x3Fu);
    return 2;
  }
  if (b - 0xE0 < 0x10) {
    if (stop - s < 3 || !is_trail(s[1]) || !is_trail(s[2])) return 0;
    const uint32_t v = (b & 0x0Fu) << 12 | (s[1] & 0x3Fu) << 6 | (s[2] & 0x3Fu);
    if (v < 0x800 || (v & 0xF800) == 0xD800) return 0;
    *u = v;
    return 3;
  }
  return 0;
}

// A UTF-16 unit of order `big` (true: big-endian).
inline uint32_t unit_at(const Byte *s, bool big) {
  return big ? static_cast<uint32_t>(s[0] << 8 | s[1])
             : static_cast<uint32_t>(s[1] << 8 | s[0]);
}

inline void put_unit(uint32_t u, Byte *d, bool big) {
  d[big ? 0 : 1] = static_cast<Byte>(u >> 8);
  d[big ? 1 : 0] = static_cast<Byte>(u);
}

}  // namespace kmv::simd

#endif
