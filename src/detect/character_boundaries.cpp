// Character boundaries at the end of a text, read from its start where the
// encoding's characters cannot be told apart from the end alone.
#include "detect/character_boundaries.h"

#include <cstdint>

#include "kmv.h"

namespace kmv::detect {

namespace {

bool is_continuation(uint32_t byte) {
  return byte - 0x80u < 0x40u;
}

// The length of the UTF-8 sequence that `lead` begins, or 0 for a byte that
// begins none.
size_t utf8_length(uint32_t lead) {
  if (lead < 0x80) return 1;
  if (lead >= 0xC0 && lead <= 0xDF) return 2;
  if (lead >= 0xE0 && lead <= 0xEF) return 3;
  if (lead >= 0xF0 && lead <= 0xF4) return 4;
  return 0;
}

size_t utf8_past(const unsigned char *buf, size_t len) {
  for (size_t back = 1; back <= 3 && back <= len; ++back) {
    const uint32_t c = buf[len - back];
    if (is_continuation(c)) continue;
    return utf8_length(c) > back ? back : 0;
  }
  return 0;
}

size_t sjis_past(const unsigned char *buf, size_t len) {
  size_t i = 0;
  while (i < len) {
    const uint32_t c = buf[i];
    i += (c < 0x80 || c - 0xA1u <= 0xDFu - 0xA1u) ? 1 : 2;
  }
  return i - len == 1 ? 1 : 0;
}

size_t euc_width(uint32_t c) {
  if (c == 0x8F) return 3;
  return (c == 0x8E || c >= 0xA1) && c != 0xFF ? 2 : 1;
}

size_t euc_past(const unsigned char *buf, size_t len) {
  size_t i = 0, start = 0;
  while (i < len) {
    start = i;
    i += euc_width(buf[i]);
  }
  return i > len ? len - start : 0;
}

size_t utf16_past(const unsigned char *buf, size_t len, bool big_endian) {
  const size_t odd = len % 2;
  if (len - odd < 2) return odd;
  const unsigned char *unit = buf + len - odd - 2;
  const uint32_t u = big_endian ? static_cast<uint32_t>(unit[0]) << 8 | unit[1]
                                : static_cast<uint32_t>(unit[1]) << 8 | unit[0];
  return odd + (u - 0xD800u < 0x400u ? 2 : 0);
}

}  // namespace

size_t bytes_past_boundary(Family family, const unsigned char *buf,
                           size_t len) {
  switch (family) {
    case Family::kSjis:
      return sjis_past(buf, len);
    case Family::kEuc:
      return euc_past(buf, len);
    case Family::kUtf16be:
      return utf16_past(buf, len, true);
    case Family::kUtf16le:
      return utf16_past(buf, len, false);
    case Family::kUtf8:
      return utf8_past(buf, len);
  }
  return 0;
}

bool result_names(int32_t result, Family family) {
  struct Names {
    int32_t first_type, last_type;
    uint32_t masks;
  };
  static constexpr Names kNames[] = {
      {KMV_TYPE_SJIS, KMV_TYPE_SJIS, KMV_MASK_SJIS},
      {KMV_TYPE_EUC, KMV_TYPE_EUC3,
       KMV_MASK_EUC | KMV_MASK_EUC1 | KMV_MASK_EUC2 | KMV_MASK_EUC3},
      {KMV_TYPE_UTF16BE, KMV_TYPE_UTF16BE_BOM,
       KMV_MASK_UTF16BE | KMV_MASK_UTF16BE_BOM},
      {KMV_TYPE_UTF16LE, KMV_TYPE_UTF16LE_BOM,
       KMV_MASK_UTF16LE | KMV_MASK_UTF16LE_BOM},
      {KMV_TYPE_UTF8, KMV_TYPE_UTF8_BOM, KMV_MASK_UTF8 | KMV_MASK_UTF8_BOM},
  };
  const Names &n = kNames[static_cast<int>(family)];
  if (result < 0) return false;
  if (result < KMV_MASK_MIN) {
    return result >= n.first_type && result <= n.last_type;
  }
  return (static_cast<uint32_t>(result) & n.masks) != 0;
}

}  // namespace kmv::detect
