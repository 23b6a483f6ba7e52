// The reading passes of the buffer detector, in the order it runs them, each
// over a whole text, and its final decision. Each pass narrows the
// evidence.
#ifndef KMV_DETECT_PASSES_H
#define KMV_DETECT_PASSES_H

#include <cstddef>
#include <cstdint>

#include "detect/candidates.h"
#include "kmv.h"

namespace kmv::detect {

// Escapes, zero bytes and the Shift_JIS reading; true when an escape
// sequence names ISO-2022-JP.
bool first_scan(const kmv_handle *h, const unsigned char *buf, size_t len,
                Evidence &e);
void sjis_verdict(Evidence &e);

// Leaves the handle's EUC-JP slots on the default tables.
void store_euc_defaults(kmv_handle *h);
void euc_pass(kmv_handle *h, const unsigned char *buf, size_t len,
              int32_t expected_type, Evidence &e);

void utf8_pass(const unsigned char *buf, size_t len, Evidence &e);
void utf16_pass(const kmv_handle *h, const unsigned char *buf, size_t len,
                Evidence &e);

// The type that a byte-order mark at the start names, or 0.
int32_t bom_type(const unsigned char *buf, uint64_t len);
int32_t final_decision(Evidence &e, int32_t expected_type, bool ignore_hints);

}  // namespace kmv::detect

#endif
