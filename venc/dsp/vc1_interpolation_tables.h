#pragma once
// Constant tables of the VC-1 sub-sample interpolation.
#include <cstdint>

namespace orx::dsp {

// The bilinear chroma weights of slot 59 (InterpolateBilinearVc1), indexed 4 * fy + fx by the
// quarter-sample chroma fractions: byte 0 weighs the top-left sample, byte 1 the top-right,
// byte 2 the bottom-left and byte 3 the bottom-right, (4 - fx)(4 - fy), fx(4 - fy), (4 - fx)fy
// and fx * fy, summing to 16. The motion-compensation driver takes even positions through the
// half-sample kernels, so entries 0, 2, 8 and 10 are never handed on.
extern const uint32_t Vc1BilinearWeights[16];

// The bicubic luma taps of slots 60-62, by quarter-sample fraction, applied to the samples at
// offsets -1, 0, +1 and +2 along the filter direction: the quarter positions sum to 64, the
// half position to 16. Fraction 0 holds the identity, which only the two-dimensional SSE2
// kernel's table form reads.
extern const int8_t Vc1BicubicTaps[4][4];

}  // namespace orx::dsp
