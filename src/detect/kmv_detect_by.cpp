// Turns a detector mask that names one candidate into its type code.
#include "kmv.h"

namespace {

// ASCII is readable as every other candidate, so its bit does not count
// against a single remaining encoding.
constexpr int32_t kAsciiBit = static_cast<int32_t>(KMV_MASK_ASCII);

int32_t type_of_mask(int32_t mask) {
  switch (mask) {
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
      return mask;
  }
}

}  // namespace

extern "C" {

KMV_API int32_t kmv_detect_by(int32_t value) {
  // A mask of ASCII alone says that only ASCII fits: that is type ASCII,
  // not the "unknown" that dropping its bit would leave.
  if (value == kAsciiBit) return KMV_TYPE_ASCII;
  return type_of_mask(value & ~kAsciiBit);
}

}  // extern "C"
