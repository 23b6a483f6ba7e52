// Every UTF-16 and UTF-8 converter on arbitrary bytes. The first byte picks
// the converter, the second the bom flag and the EUC-JP encoding table, the
// rest is the source (in a buffer of its exact size, so that reading past
// it is caught). Checks what holds without an oracle: the result, the
// per-call state, the output bound, ISO-2022-JP well-formedness, and that
// UTF-16 survives the way through UTF-8 and back.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "kmv.h"

namespace {

using Plain = kmv_converter_fn;
using WithBom = kmv_converter_bom_fn;

struct Converter {
  Plain plain;
  WithBom with_bom;
  bool unicode_source;  // never records when the target is Unicode too
  bool unicode_target;
  bool jis_target;
  // Most output bytes per source byte, in quarters, and the mark's length.
  uint64_t quarters;
  uint64_t mark;
};

// clang-format off
const Converter kConverters[] = {
    {kmv_unibeto_euc, nullptr, true, false, false, 6, 0},
    {kmv_unibeto_sjis, nullptr, true, false, false, 4, 0},
    {kmv_unibeto_jis, nullptr, true, false, true, 10, 0},
    {nullptr, kmv_unibeto_unile, true, true, false, 4, 2},
    {nullptr, kmv_unibeto_utf8, true, true, false, 6, 3},
    {kmv_unileto_euc, nullptr, true, false, false, 6, 0},
    {kmv_unileto_sjis, nullptr, true, false, false, 4, 0},
    {kmv_unileto_jis, nullptr, true, false, true, 10, 0},
    {nullptr, kmv_unileto_unibe, true, true, false, 4, 2},
    {nullptr, kmv_unileto_utf8, true, true, false, 6, 3},
    {kmv_utf8to_euc, nullptr, true, false, false, 6, 0},
    {kmv_utf8to_sjis, nullptr, true, false, false, 4, 0},
    {kmv_utf8to_jis, nullptr, true, false, true, 20, 0},
    {nullptr, kmv_utf8to_unibe, true, true, false, 8, 2},
    {nullptr, kmv_utf8to_unile, true, true, false, 8, 2},
};
// clang-format on

void check(bool ok) {
  if (!ok) std::abort();
}

void select_euc_target(kmv_handle *h, unsigned variant) {
  switch (variant % 4) {
    case 1:  // code page 20932: three-byte codes
      h->unibe2euc_table = nullptr;
      h->unibe2euc_table_size = 0;
      h->unibe2euc_table4 = unibe2euc20932_table;
      h->unibe2euc_table4_size = unibe2euc20932_table_size;
      break;
    case 2:
      h->unibe2euc_table = unibe2euc51932_table;
      h->unibe2euc_table_size = unibe2euc51932_table_size;
      break;
    case 3:  // eucJP-ms
      h->unibe2euc_table = nullptr;
      h->unibe2euc_table_size = 0;
      h->unibe2euc_table4 = unibe2eucms_table;
      h->unibe2euc_table4_size = unibe2eucms_table_size;
      break;
    default:
      break;
  }
}

// Only ESC ( B, ESC $ B and ESC ( I; pairs of 21-7E in the two-byte mode,
// 21-5F in the katakana mode; the end in the ASCII mode.
void check_jis(const unsigned char *out, uint64_t len, bool complete) {
  int mode = 0;
  for (uint64_t i = 0; i < len;) {
    if (out[i] == 0x1B) {
      check(i + 3 <= len);
      const int next = out[i + 1] == 0x28 && out[i + 2] == 0x42   ? 0
                       : out[i + 1] == 0x24 && out[i + 2] == 0x42 ? 1
                       : out[i + 1] == 0x28 && out[i + 2] == 0x49 ? 2
                                                                  : -1;
      check(next >= 0 && next != mode);
      mode = next;
      i += 3;
    } else if (mode == 1) {
      check(i + 2 <= len);
      check(out[i] >= 0x21 && out[i] <= 0x7E);
      check(out[i + 1] >= 0x21 && out[i + 1] <= 0x7E);
      i += 2;
    } else {
      check(mode == 0 ? out[i] < 0x80 : out[i] >= 0x21 && out[i] <= 0x5F);
      ++i;
    }
  }
  if (complete) check(mode == 0);
}

// A character ESC (U+001B) is copied as it is, and may then look like an
// escape sequence; the well-formedness check is for texts without one.
// UTF-8 is read as the converters read it (an overlong ESC included).
bool has_esc_character(kmv_handle *h, size_t pick, const unsigned char *src,
                       uint64_t len) {
  std::vector<unsigned char> be;
  if (pick < 5) {
    be.assign(src, src + len);
  } else if (pick < 10) {
    for (uint64_t i = 0; i + 1 < len; i += 2) {
      be.push_back(src[i + 1]);
      be.push_back(src[i]);
    }
  } else {
    unsigned char *units = nullptr;
    uint64_t n = 0;
    kmv_utf8to_unibe(h, &units, &n, nullptr, src, len, 0);
    be.assign(units, units + n);
    std::free(units);
  }
  for (size_t i = 0; i + 1 < be.size(); i += 2) {
    if (be[i] == 0 && be[i + 1] == 0x1B) return true;
  }
  return false;
}

// UTF-16 through UTF-8 and back is the identity (surrogates included).
void check_utf16_round_trip(kmv_handle *h, bool big, const unsigned char *src,
                            uint64_t len) {
  const uint64_t skip =
      len >= 2 && src[0] == (big ? 0xFE : 0xFF) && src[1] == (big ? 0xFF : 0xFE)
          ? 2
          : 0;
  // A unit FEFF at the start would read as a mark on the way back.
  if (len >= skip + 2 && src[skip] == (big ? 0xFE : 0xFF) &&
      src[skip + 1] == (big ? 0xFF : 0xFE)) {
    return;
  }
  unsigned char *u8 = nullptr, *back = nullptr;
  uint64_t n8 = 0, nback = 0;
  const unsigned char *err = nullptr;
  check((big ? kmv_unibeto_utf8 : kmv_unileto_utf8)(h, &u8, &n8, &err, src, len,
                                                    0) == KMV_SUCCESS);
  check((big ? kmv_utf8to_unibe : kmv_utf8to_unile)(h, &back, &nback, &err, u8,
                                                    n8, 0) == KMV_SUCCESS);
  check(nback == len - skip);
  check(nback == 0 || std::memcmp(back, src + skip, nback) == 0);
  std::free(u8);
  std::free(back);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  if (size < 2) return 0;
  const size_t pick = data[0] % (sizeof kConverters / sizeof kConverters[0]);
  const Converter &c = kConverters[pick];
  const int bom = data[1] & 1;
  const uint64_t len = size - 2;
  std::vector<unsigned char> copy(data + 2, data + size);
  // An exactly sized heap block, so that any read past it is caught.
  unsigned char *src = static_cast<unsigned char *>(std::malloc(len + 1));
  if (len != 0) std::memcpy(src, copy.data(), len);

  kmv_handle *h = create_kmv();
  select_euc_target(h, data[1] >> 1);
  unsigned char *dst = reinterpret_cast<unsigned char *>(h);  // junk
  uint64_t dst_len = 99;
  const unsigned char *err_pos = src;  // junk
  const int32_t status =
      c.plain != nullptr
          ? c.plain(h, &dst, &dst_len, &err_pos, src, len)
          : c.with_bom(h, &dst, &dst_len, &err_pos, src, len, bom);

  check(status == KMV_SUCCESS || status == KMV_EUEXPEOD);
  check(dst != nullptr);
  check(status == KMV_EUEXPEOD ? err_pos >= src && err_pos < src + len
                               : err_pos == nullptr);
  check(h->src_top == src);
  if (h->err_count == 0) {
    check(h->err_first == nullptr && h->err_last == nullptr);
    check(h->err_first_code == -1 && h->err_last_code == -1);
  } else {
    check(h->err_first != nullptr && h->err_last != nullptr);
    check(src <= h->err_first && h->err_first <= h->err_last);
    check(h->err_last < (status == KMV_EUEXPEOD ? err_pos : src + len));
    check(h->err_count <= len);
    check(h->err_first_code >= 0 && h->err_first_code <= 0xFFFF);
    check(h->err_last_code >= 0 && h->err_last_code <= 0xFFFF);
    check(!(c.unicode_target && pick < 10));  // only UTF-8 is malformed
  }
  const uint64_t bound =
      (bom && c.with_bom ? c.mark : 0) + (len * c.quarters + 3) / 4 + 3;
  check(dst_len <= bound);
  // The output is the caller's to keep: every byte of it is readable.
  volatile unsigned char sink = 0;
  for (uint64_t i = 0; i < dst_len; ++i) sink = sink ^ dst[i];

  if (c.jis_target && !has_esc_character(h, pick, src, len)) {
    check_jis(dst, dst_len, status == KMV_SUCCESS);
  }
  std::free(dst);

  if (pick == 4 || pick == 9) {
    if (status == KMV_SUCCESS) check_utf16_round_trip(h, pick == 4, src, len);
  }
  release_kmv(h);
  std::free(src);
  return 0;
}
