// The tables of each wider level, defined in the file of that level.
#ifndef KMV_SIMD_KERNELS_H
#define KMV_SIMD_KERNELS_H

#include "simd/level.h"

namespace kmv::simd {

// The file of each level names its kernels alike and returns this.
#define KMV_SIMD_LEVEL_TABLE                                          \
  Kernels {                                                           \
    copy_ascii, {widen_ascii<true>, widen_ascii<false>},              \
        {narrow_ascii<true>, narrow_ascii<false>}, swap_units,        \
        {utf8_from_units<true>, utf8_from_units<false>},              \
        {units_from_utf8<true>, units_from_utf8<false>}, skip_ascii,  \
        block_masks, euc_block_masks, known_codes, summarize_rows,    \
        known_codes_in_rows, sjis_from_utf8,                          \
        {sjis_from_units<true>, sjis_from_units<false>},              \
        {euc_from_units<true>, euc_from_units<false>},                \
        {units_from_euc<true>, units_from_euc<false>}, utf8_from_jis, \
        summarize_units, {plain_units<true>, plain_units<false>},     \
  }

Kernels avx2_kernels();
Kernels avx512_kernels();

}  // namespace kmv::simd

#endif
