// The lead-byte probes: whether a table holds any code that begins with a
// given byte.
#include "detect/table_lookups.h"
#include "kmv.h"

namespace kmv::detect {

bool sjis_lead_possible(const kmv_handle *h, uint64_t lead) {
  return any_code_with_lead(h->sjis2unibe_table, h->sjis2unibe_table_size, lead,
                            0x40);
}

bool euc_lead_possible(const kmv_handle *h, uint64_t lead) {
  return any_code_with_lead(h->euc2unibe_table00, h->euc2unibe_table00_size,
                            lead, 0xA0);
}

bool euc8f_lead_possible(const kmv_handle *h, uint64_t second) {
  return any_code_with_lead(h->euc2unibe_table8f, h->euc2unibe_table8f_size,
                            second, 0xA0);
}

}  // namespace kmv::detect

using kmv::detect::euc8f_lead_possible;
using kmv::detect::euc_lead_possible;
using kmv::detect::sjis_lead_possible;

extern "C" {

KMV_API unsigned char is_sjis_possible(const kmv_handle *handle,
                                       uint32_t lead) {
  return handle != nullptr && sjis_lead_possible(handle, lead) ? 1 : 0;
}

KMV_API unsigned char is_euc_possible(const kmv_handle *handle, uint32_t lead) {
  return handle != nullptr && euc_lead_possible(handle, lead) ? 1 : 0;
}

KMV_API unsigned char is_euc_possible8f(const kmv_handle *handle,
                                        uint32_t second) {
  return handle != nullptr && euc8f_lead_possible(handle, second) ? 1 : 0;
}

KMV_API unsigned char is_unibe_possible(const kmv_handle *, uint32_t) {
  return 1;
}

KMV_API unsigned char is_unile_possible(const kmv_handle *, uint32_t) {
  return 1;
}

}  // extern "C"
