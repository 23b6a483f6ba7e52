#include "convert/jis_as_sjis.h"

namespace kmv::conv {
namespace {

// A code passes when the two table reads would write exactly its
// arithmetic code and record nothing (see JisDecoder::pair,
// EucDecoder::mapped and SjisWriter::write). `high` is what the source
// adds to both bytes of a JIS code.
void find_exact_codes(ArithmeticCodes &codes, uint32_t high,
                      const uint16_t *table, uint64_t size) {
  for (uint32_t j1 = 0x21; j1 <= 0x7E; ++j1) {
    for (uint32_t j2 = 0x21; j2 <= 0x7E; ++j2) {
      const uint32_t b1 = j1 | high, b2 = j2 | high;
      const uint32_t u = lookup(table, size, b1 << 8 | b2);
      if (u == 0 || u == 0x3F) continue;
      if (lookup(unibe2sjis932_table, unibe2sjis932_table_size, u) ==
          sjis_of_jis(j1, j2)) {
        codes.known[b2 << 8 | b1] = 1;
      }
    }
  }
}

// One set per built-in decoding table (kTable), made at its first use.
template <int kTable>
const ArithmeticCodes &exact_codes(uint32_t high, const uint16_t *table,
                                   uint64_t size) {
  static ArithmeticCodes codes;
  static const bool found = (find_exact_codes(codes, high, table, size), true);
  (void)found;
  return codes;
}

bool writes_sjis932(const kmv_handle &h) {
  return h.unibe2sjis_table == unibe2sjis932_table &&
         h.unibe2sjis_table_size == unibe2sjis932_table_size;
}

}  // namespace

const ArithmeticCodes *jis_codes_as_sjis(const kmv_handle &h) {
  if (h.jis2unibe_table != jis2unibe50221_table ||
      h.jis2unibe_table_size != jis2unibe50221_table_size ||
      !writes_sjis932(h)) {
    return nullptr;
  }
  return &exact_codes<0>(0, jis2unibe50221_table, jis2unibe50221_table_size);
}

const ArithmeticCodes *euc_codes_as_sjis(const kmv_handle &h) {
  const uint16_t *const t = h.euc2unibe_table00;
  const uint64_t n = h.euc2unibe_table00_size;
  if (!writes_sjis932(h)) return nullptr;
  if (t == euc2unibecommon_table00 && n == euc2unibecommon_table00_size) {
    return &exact_codes<1>(0x80, t, n);
  }
  if (t == euc2unibe20932_table00 && n == euc2unibe20932_table00_size) {
    return &exact_codes<2>(0x80, t, n);
  }
  if (t == euc2unibe51932_table00 && n == euc2unibe51932_table00_size) {
    return &exact_codes<3>(0x80, t, n);
  }
  if (t == euc2unibems_table00 && n == euc2unibems_table00_size) {
    return &exact_codes<4>(0x80, t, n);
  }
  return nullptr;
}

}  // namespace kmv::conv
