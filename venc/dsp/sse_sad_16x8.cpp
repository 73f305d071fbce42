// Plain squared and absolute differences of a 16x8 area, added to two counters.
#include <cstdlib>

#include "venc/dsp/mb_core.h"

namespace orx::dsp {

void CMBCore::SumSseSad16x8(const uint8_t* areaA, const uint8_t* areaB, int strideA, int strideB,
                            uint32_t* sadSum, uint32_t* sseSum) {
  uint32_t sad = 0, sse = 0;
  for (int r = 0; r < 8; ++r, areaA += strideA, areaB += strideB) {
    for (int c = 0; c < 16; ++c) {
      const int d = areaA[c] - areaB[c];
      sad += static_cast<uint32_t>(std::abs(d));
      sse += static_cast<uint32_t>(d * d);
    }
  }
  *sadSum += sad;
  *sseSum += sse;
}

}  // namespace orx::dsp
