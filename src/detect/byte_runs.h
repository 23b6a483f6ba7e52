// Word-at-a-time tests that let the detector's passes step over runs of
// bytes that cannot change their verdict, eight bytes per test.
#ifndef KMV_DETECT_BYTE_RUNS_H
#define KMV_DETECT_BYTE_RUNS_H

#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>

namespace kmv::detect {

inline constexpr uint64_t kEveryByte = 0x0101010101010101ull;
inline constexpr uint64_t kHighBits = 0x8080808080808080ull;
inline constexpr uint64_t kLowSeven = 0x7F7F7F7F7F7F7F7Full;

inline uint64_t load_word(const unsigned char *p) {
  uint64_t word;
  std::memcpy(&word, p, sizeof word);
  return word;
}

// The high bit of each byte of the result is set exactly where the byte of
// `word` is zero (no borrow crosses bytes, unlike the shorter test).
inline uint64_t zero_bytes(uint64_t word) {
  return ~(((word & kLowSeven) + kLowSeven) | word | kLowSeven);
}

inline bool has_byte(uint64_t word, unsigned char value) {
  return zero_bytes(word ^ (kEveryByte * value)) != 0;
}

// Index of the first byte of 0x80 or above at or after `from`, or `len`.
inline size_t skip_ascii(const unsigned char *buf, size_t from, size_t len) {
  size_t i = from;
  while (len - i >= 32) {
    const uint64_t any = load_word(buf + i) | load_word(buf + i + 8) |
                         load_word(buf + i + 16) | load_word(buf + i + 24);
    if ((any & kHighBits) != 0) break;
    i += 32;
  }
  while (len - i >= 8 && (load_word(buf + i) & kHighBits) == 0) i += 8;
  while (i < len && buf[i] < 0x80) ++i;
  return i;
}

// Zero bytes of a word loaded at an even offset: those at even offsets sit
// in the high bits selected here.
inline constexpr uint64_t kEvenLanes =
    std::endian::native == std::endian::little ? 0x0080008000800080ull
                                               : 0x8000800080008000ull;

inline int popcount(uint64_t bits) {
  return std::popcount(bits);
}

}  // namespace kmv::detect

#endif
