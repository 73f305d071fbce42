#include "aenc/psy/masking_threshold.h"

namespace orx::aenc {

void CPsychoacousticModel::MaskingThreshold(float* smrOut, const float* lsb, int32_t tonalHead,
                                            int32_t noiseHead, int bitrateKbps, int sblimitIn) {
  MaskingThresholdIn<double>(*this, smrOut, lsb, tonalHead, noiseHead, bitrateKbps, sblimitIn);
}

}  // namespace orx::aenc
