// The type code of an encoding type mask that names one encoding without a
// byte-order mark.
#ifndef KMV_CORE_TYPE_MASKS_H
#define KMV_CORE_TYPE_MASKS_H

#include <cstdint>

#include "kmv.h"

namespace kmv {

// Returns `otherwise` for any other value: several masks, a mask of a
// byte-order-mark form, or no mask at all.
constexpr int32_t type_of_plain_mask(uint32_t mask, int32_t otherwise) {
  switch (mask) {
    case KMV_MASK_ASCII:
      return KMV_TYPE_ASCII;
    case KMV_MASK_JIS:
      return KMV_TYPE_JIS;
    case KMV_MASK_SJIS:
      return KMV_TYPE_SJIS;
    case KMV_MASK_EUC:
      return KMV_TYPE_EUC;
    case KMV_MASK_EUC1:
      return KMV_TYPE_EUC1;
    case KMV_MASK_EUC2:
      return KMV_TYPE_EUC2;
    case KMV_MASK_EUC3:
      return KMV_TYPE_EUC3;
    case KMV_MASK_UTF16BE:
      return KMV_TYPE_UTF16BE;
    case KMV_MASK_UTF16LE:
      return KMV_TYPE_UTF16LE;
    case KMV_MASK_UTF8:
      return KMV_TYPE_UTF8;
    default:
      return otherwise;
  }
}

}  // namespace kmv

#endif
