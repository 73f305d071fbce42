#pragma once
// The code of one Layer II sample, shared by the plain and the SSE quantizer.
#include <algorithm>
#include <cstdint>

#include "aenc/core/round_half_even.h"
#include "aenc/layer2/layer2_tables.h"

namespace orx::aenc {

// v = x C' / scalefactor + D' lies in [-1, 1) up to rounding. The code is the top bits of v with
// the sign bit inverted: round(v M - 0.5) OR M for v >= 0, round((v + 1) M - 0.5) below, rounding
// to nearest even. A sample equal to its scalefactor sits on a tie that float rounding can tip
// onto the all-ones code, which the syntax forbids, so codes are kept within 0 .. steps - 1.
inline uint32_t Layer2Code(float v, float msb, const Layer2AllocEntry& entry) {
  int32_t code = v >= 0 ? static_cast<int32_t>(RoundHalfEven(v * msb - 0.5f)) | entry.msb
                        : static_cast<int32_t>(RoundHalfEven((v + 1.0f) * msb - 0.5f));
  return static_cast<uint32_t>(std::clamp<int32_t>(code, 0, entry.steps - 1));
}

}  // namespace orx::aenc
