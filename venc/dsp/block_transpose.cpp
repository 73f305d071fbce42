#include "venc/dsp/block_transpose.h"

#include <utility>

namespace orx::dsp {

void TransposeBlock(int16_t* block) {
  for (int r = 0; r < 8; ++r) {
    for (int c = r + 1; c < 8; ++c) std::swap(block[8 * r + c], block[8 * c + r]);
  }
}

}  // namespace orx::dsp
