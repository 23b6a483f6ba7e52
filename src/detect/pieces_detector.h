// The buffer detector over a text that comes in pieces, of any length,
// held in a buffer of a fixed size.
#ifndef KMV_DETECT_PIECES_DETECTOR_H
#define KMV_DETECT_PIECES_DETECTOR_H

#include <cstddef>
#include <cstdint>

#include "kmv.h"
#include "kmv_ext.h"

namespace kmv::detect {

// Large enough that a read costs little beside the readings, small enough
// that the bytes stay in the cache from the read through all readings.
inline constexpr size_t kPiecesBuffer = size_t{1} << 18;
// The smallest buffer that works: the bytes kept for the readings to go on
// with take a quarter of it at most.
inline constexpr size_t kLeastPiecesBuffer = 4 * 160;

// kmv_buf's answer for the whole text that `read` supplies, the handle
// left as kmv_buf leaves it; KMV_EREAD when read fails, KMV_EALLOC when
// the buffer cannot be had. `buffer_size` is at least kLeastPiecesBuffer.
int32_t detect_pieces(kmv_handle *h, kmvx_read_fn read, void *source,
                      int32_t expected_type, bool ignore_hints,
                      size_t buffer_size);

}  // namespace kmv::detect

#endif
