// Plain block statistics of the preprocessor: the deviation of a macroblock's 8x8 blocks
// around their means (or around 4x4 means), the field/frame difference and the noise value of
// a band of 8x8 blocks.
#include <algorithm>
#include <cstdlib>

#include "venc/dsp/preproc_core.h"

namespace orx::dsp {
namespace {

// Sum over an 8x8 block of max(|sample - mean| - deadBand, 0), the mean rounded half up: the
// deviation with dead band 0, the noise value (differences of 1 count nothing) with 1.
int Deviation8x8(const uint8_t* block, int stride, int deadBand = 0) {
  int sum = 0;
  for (int r = 0; r < 8; ++r)
    for (int c = 0; c < 8; ++c) sum += block[r * stride + c];
  const int mean = (sum + 32) >> 6;
  int deviation = 0;
  for (int r = 0; r < 8; ++r)
    for (int c = 0; c < 8; ++c)
      deviation += std::max(std::abs(block[r * stride + c] - mean) - deadBand, 0);
  return deviation;
}

}  // namespace

int CPreprocCore::BlockDeviation(const uint8_t* upper, const uint8_t* lower, int stride,
                                 int* smallest, const void*) {
  const int deviations[4] = {Deviation8x8(upper, stride), Deviation8x8(upper + 8, stride),
                             Deviation8x8(lower, stride), Deviation8x8(lower + 8, stride)};
  *smallest = *std::min_element(deviations, deviations + 4);
  return deviations[0] + deviations[1] + deviations[2] + deviations[3];
}

int CPreprocCore::SubBlockMeans4x4(const uint8_t* macroblock, int stride, int* smallest,
                                   const void*) {
  int quadrants[4] = {};
  for (int sub = 0; sub < 16; ++sub) {
    const uint8_t* block = macroblock + 4 * (sub >> 2) * stride + 4 * (sub & 3);
    int sum = 0;
    for (int r = 0; r < 4; ++r)
      for (int c = 0; c < 4; ++c) sum += block[r * stride + c];
    const int mean = (sum + 8) >> 4;
    const int quadrant = 2 * (sub >> 3) + ((sub & 3) >> 1);
    for (int r = 0; r < 4; ++r)
      for (int c = 0; c < 4; ++c) quadrants[quadrant] += std::abs(block[r * stride + c] - mean);
  }
  *smallest = *std::min_element(quadrants, quadrants + 4);
  return quadrants[0] + quadrants[1] + quadrants[2] + quadrants[3];
}

int CPreprocCore::FieldFrameDifference(const uint8_t* macroblock, int stride) {
  int frame = 0, field = 0;
  for (int r = 0; r < 15; ++r) {
    const uint8_t* row = macroblock + r * stride;
    for (int c = 0; c < 16; ++c) {
      if (r != 7) frame += std::abs(row[c] - row[stride + c]);
      if (r < 14) field += std::abs(row[c] - row[2 * stride + c]);
    }
  }
  return frame - field;
}

int CPreprocCore::NeighbourhoodStats(const uint8_t* band, int macroblocks, int stride) {
  if (macroblocks <= 0) return 255;
  int lowest = 32767, second = 32767;
  for (int block = 0; block < 2 * macroblocks; ++block) {
    const int value = Deviation8x8(band + 8 * block, stride, 1);
    if (value < lowest) {
      second = lowest;
      lowest = value;
    } else if (value < second) {
      second = value;
    }
  }
  return std::min(second, 255);
}

}  // namespace orx::dsp
