// Turns a detector mask that names one candidate into its type code.
#include "core/type_masks.h"
#include "kmv.h"

namespace {

// ASCII is readable as every other candidate, so its bit does not count
// against a single remaining encoding.
constexpr int32_t kAsciiBit = static_cast<int32_t>(KMV_MASK_ASCII);

}  // namespace

extern "C" {

KMV_API int32_t kmv_detect_by(int32_t value) {
  // A mask of ASCII alone says that only ASCII fits: that is type ASCII,
  // not the "unknown" that dropping its bit would leave.
  if (value == kAsciiBit) return KMV_TYPE_ASCII;
  const int32_t rest = value & ~kAsciiBit;
  return kmv::type_of_plain_mask(static_cast<uint32_t>(rest), rest);
}

}  // extern "C"
