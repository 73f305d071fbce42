// Plain macroblock buffer operations: the uncoded 16x8 copy, the work-buffer copy and average,
// and the scan position of the last non-zero coefficient.
#include <algorithm>
#include <cstring>

#include "venc/dsp/mb_core.h"

namespace orx::dsp {

void CMBCore::Copy16x16(uint8_t* destination, const uint8_t* source, int destinationStride,
                        int sourceStride) {
  for (int r = 0; r < 8; ++r, destination += destinationStride, source += sourceStride) {
    std::memcpy(destination, source, 16);
  }
}

void CMBCore::CopyMBBuffer(uint8_t* destination, const uint8_t* luma, const uint8_t* chroma) {
  std::memcpy(destination, luma, 256);
  std::memcpy(destination + 256, chroma, 128);
}

void CMBCore::AverageMBBuffers(uint8_t* destination, const uint8_t* firstLuma,
                               const uint8_t* firstChroma, const uint8_t* secondLuma,
                               const uint8_t* secondChroma) {
  for (int i = 0; i < 256; ++i) {
    destination[i] = static_cast<uint8_t>((firstLuma[i] + secondLuma[i] + 1) >> 1);
  }
  for (int i = 0; i < 128; ++i) {
    destination[256 + i] = static_cast<uint8_t>((firstChroma[i] + secondChroma[i] + 1) >> 1);
  }
}

int CMBCore::FindLastCoefficient(const int16_t* block, const uint8_t* positionToScan) {
  int last = 0;
  for (int i = 1; i < 64; ++i) {
    if (block[i] != 0) last = std::max(last, int{positionToScan[i]});
  }
  return last;
}

}  // namespace orx::dsp
