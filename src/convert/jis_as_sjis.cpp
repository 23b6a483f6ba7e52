#include "convert/jis_as_sjis.h"

namespace kmv::conv {
namespace {

// A code passes when the two table reads would write exactly its
// arithmetic code and record nothing (see JisDecoder::pair and
// SjisWriter::write). Called once, by the initialization of the static
// below.
const ArithmeticCodes &exact_codes() {
  static ArithmeticCodes codes;
  for (uint32_t j1 = 0x21; j1 <= 0x7E; ++j1) {
    for (uint32_t j2 = 0x21; j2 <= 0x7E; ++j2) {
      const uint32_t code = j1 << 8 | j2;
      const uint32_t u =
          lookup(jis2unibe50221_table, jis2unibe50221_table_size, code);
      if (u == 0 || u == 0x3F) continue;
      if (lookup(unibe2sjis932_table, unibe2sjis932_table_size, u) ==
          sjis_of_jis(j1, j2)) {
        codes.known[j2 << 8 | j1] = 1;
      }
    }
  }
  return codes;
}

}  // namespace

const ArithmeticCodes *jis_codes_as_sjis(const kmv_handle &h) {
  if (h.jis2unibe_table != jis2unibe50221_table ||
      h.jis2unibe_table_size != jis2unibe50221_table_size ||
      h.unibe2sjis_table != unibe2sjis932_table ||
      h.unibe2sjis_table_size != unibe2sjis932_table_size) {
    return nullptr;
  }
  static const ArithmeticCodes &codes = exact_codes();
  return &codes;
}

}  // namespace kmv::conv
