// The tables of each wider level, defined in the file of that level.
#ifndef KMV_SIMD_KERNELS_H
#define KMV_SIMD_KERNELS_H

#include "simd/level.h"

namespace kmv::simd {

Kernels avx2_kernels();
Kernels avx512_kernels();

}  // namespace kmv::simd

#endif
