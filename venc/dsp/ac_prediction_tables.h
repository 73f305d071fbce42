#pragma once
// Rescaling tables of intra AC prediction: the neighbour's coefficient times its quantiser,
// divided by the current quantiser as a multiplication and a shift.
#include <cstdint>

namespace orx::dsp {

struct AcPredScale {
  int32_t multiplier;
  int32_t shift;
};

// MPEG-4, by current quantiser 1..47 (entry 0 is (0, 12)): multiplier = round(2^shift / q).
extern const AcPredScale kAcPredReciprocal[48];
// VC-1, by current quantiser 1..63 (entry 0 is (0, 18)); from 9 on round(2^18 / q) with shift 18.
extern const AcPredScale kVc1AcPredScale[64];

}  // namespace orx::dsp
