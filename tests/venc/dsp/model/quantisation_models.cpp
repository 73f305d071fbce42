#include <algorithm>
#include <cstdlib>

#include "tests/venc/dsp/model/models.h"

namespace orx::dsp::model {

int QuantizeInterClip2047(const CMBCore& core, int16_t* block) {
  int coded = 0;
  for (int k = 0; k < 64; ++k) {
    const int x = block[k] * int{core.currentReciprocals[k]};
    int level = x >> 16;        // floor
    if (level < 0) level += 1;  // so an exact negative multiple of 65536 lands one nearer zero
    level = std::clamp(level, -2047, 2047);
    coded |= level;
    block[k] = static_cast<int16_t>(level);
  }
  return coded != 0;
}

void ReconstructIntraDcOnly(const CMBCore& core, int16_t* block, int blockIndex) {
  const int multiplier =
      (blockIndex & 4) ? core.currentDcMultiplier->chroma : core.currentDcMultiplier->luma;
  const int x = static_cast<int>(int64_t{block[0]} * multiplier / 16);
  std::fill(block, block + 64, static_cast<int16_t>((x + 4) >> 3));
}

int SubtractBlock(int16_t* block, const uint8_t* current, const uint8_t* prediction,
                  int currentStride, int predictionStride, int threshold) {
  int sad = 0;
  for (int r = 0; r < 8; ++r)
    for (int c = 0; c < 8; ++c) {
      const int d = current[r * currentStride + c] - prediction[r * predictionStride + c];
      block[8 * r + c] = static_cast<int16_t>(d);
      sad += std::abs(d);
    }
  return sad > threshold ? 1 : 0;
}

int SubtractChromaPair(int16_t* blocks, const uint8_t* current, const uint8_t* prediction,
                       int currentStride, int predictionStride, int threshold) {
  int sad[2] = {0, 0};
  for (int r = 0; r < 8; ++r)
    for (int c = 0; c < 16; ++c) {
      const int d = current[r * currentStride + c] - prediction[r * predictionStride + c];
      blocks[64 * (c & 1) + 8 * r + c / 2] = static_cast<int16_t>(d);
      sad[c & 1] += std::abs(d);
    }
  return (sad[0] > threshold ? 2 : 0) | (sad[1] > threshold ? 1 : 0);
}

}  // namespace orx::dsp::model
