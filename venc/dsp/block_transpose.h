#pragma once
// Transposition of an 8x8 block of 16-bit values: the plain transforms move between the raster
// sample layout and the transposed coefficient layout with it.
#include <cstdint>

namespace orx::dsp {

void TransposeBlock(int16_t* block);

}  // namespace orx::dsp
