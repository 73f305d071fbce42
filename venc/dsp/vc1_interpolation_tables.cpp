#include "venc/dsp/vc1_interpolation_tables.h"

namespace orx::dsp {
namespace {

constexpr uint32_t Weights(uint32_t fx, uint32_t fy) {
  return (4 - fx) * (4 - fy) | (fx * (4 - fy)) << 8 | ((4 - fx) * fy) << 16 | (fx * fy) << 24;
}

}  // namespace

const uint32_t Vc1BilinearWeights[16] = {
    Weights(0, 0), Weights(1, 0), Weights(2, 0), Weights(3, 0),
    Weights(0, 1), Weights(1, 1), Weights(2, 1), Weights(3, 1),
    Weights(0, 2), Weights(1, 2), Weights(2, 2), Weights(3, 2),
    Weights(0, 3), Weights(1, 3), Weights(2, 3), Weights(3, 3),
};

const int8_t Vc1BicubicTaps[4][4] = {
    {0, 1, 0, 0},
    {-4, 53, 18, -3},
    {-1, 9, 9, -1},
    {-3, 18, 53, -4},
};

}  // namespace orx::dsp
