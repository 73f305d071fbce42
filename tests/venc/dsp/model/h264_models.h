#pragma once
// Scalar model of the running (SSE2) 4x4 intra mode decision, where it differs from the plain
// class: the predicted mode from bits 0-3 of the flags, the penalty from bits 16-27 as an
// unsigned 12-bit value, and no starting key (the smallest 16 x cost + mode always wins). The
// candidates come from the standard's equations (h264_standard.h); unavailable left samples read
// as 0, missing top-right samples as p[3, -1].
// Writes the winner's prediction and residual and answers its mode.
#include <cstdint>

namespace orx::dsp::model {

int PredictIntra4x4Best(int16_t* residual, uint8_t* prediction, const uint8_t* neighbours,
                        const uint8_t* current, int stride, uint32_t flags);

}  // namespace orx::dsp::model
