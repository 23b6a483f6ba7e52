// Where the last character of a text ends in each encoding family: how many
// bytes at the end of a text begin a character that the text cuts off.
#ifndef KMV_DETECT_CHARACTER_BOUNDARIES_H
#define KMV_DETECT_CHARACTER_BOUNDARIES_H

#include <cstddef>
#include <cstdint>

namespace kmv::detect {

enum class Family { kSjis, kEuc, kUtf16be, kUtf16le, kUtf8 };

inline constexpr Family kFamilies[] = {Family::kUtf8, Family::kUtf16be,
                                       Family::kUtf16le, Family::kEuc,
                                       Family::kSjis};

// 0 when the text ends on a character boundary of `family`; otherwise the
// number of bytes (at most 3) that a cut back to the boundary drops.
size_t bytes_past_boundary(Family family, const unsigned char *buf, size_t len);

// Whether a detector result (a type code or a mask) names `family`.
bool result_names(int32_t result, Family family);

}  // namespace kmv::detect

#endif
