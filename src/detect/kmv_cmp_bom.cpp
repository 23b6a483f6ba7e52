// Whether two encoding types differ only by a byte-order mark.
#include "kmv.h"

namespace {

bool has_bom_form(int32_t type) {
  return type == KMV_TYPE_UTF16BE || type == KMV_TYPE_UTF16LE ||
         type == KMV_TYPE_UTF8;
}

}  // namespace

extern "C" {

// 1: dst is src with a mark added; -1: with its mark removed; else 0. Each
// mark form is its plain type code plus one.
KMV_API int32_t kmv_cmp_bom(int32_t src_type, int32_t dst_type) {
  if (has_bom_form(src_type) && dst_type == src_type + 1) return 1;
  if (has_bom_form(dst_type) && src_type == dst_type + 1) return -1;
  return 0;
}

}  // extern "C"
