// Plain DC-only intra block pairs: two side-by-side 8x8 blocks are loaded, transformed, and
// reduced to their quantised DC (slot 11 with the DCT, slot 50 with the VC-1 transform and a
// level offset).
#include <algorithm>

#include "venc/dsp/mb_core.h"

namespace orx::dsp {

void CMBCore::CodeIntraDcOnlyPair(int16_t* destination, const uint8_t* source, int stride) {
  for (int half = 0; half < 2; ++half) {
    int16_t* block = destination + 64 * half;
    LoadBlock(block, source + 8 * half, stride);
    ForwardDct(block);
    const int dc = (block[0] * currentDcQuant->luma + 32768) >> 16;
    std::fill(block, block + 64, int16_t{0});
    block[0] = static_cast<int16_t>(dc);
  }
}

void CMBCore::CodeIntraDcOnlyPairVc1(int16_t* destination, const uint8_t* source, int stride,
                                     int offset) {
  for (int half = 0; half < 2; ++half) {
    int16_t* block = destination + 64 * half;
    LoadBlockOffset(block, source + 8 * half, stride, offset);
    ForwardTransformVc1(block);
    const int dc = (block[0] * currentDcQuant->luma + 32768) >> 16;
    std::fill(block, block + 64, int16_t{0});
    block[0] = static_cast<int16_t>(dc);
  }
}

}  // namespace orx::dsp
