#include <cstdlib>
#include <initializer_list>

#include "mux/parse/es_parsers.h"
#include "mux/parse/es_tables.h"

namespace orx::mux {

void ReduceFraction(int32_t& x, int32_t& y) {
  if (x == 0) return;
  int64_t a = std::llabs(static_cast<int64_t>(x));
  int64_t b = std::llabs(static_cast<int64_t>(y));
  while (b != 0) {
    const int64_t t = a % b;
    a = b;
    b = t;
  }
  if (a > 1) {
    x = static_cast<int32_t>(x / a);
    y = static_cast<int32_t>(y / a);
  }
}

bool ChooseFrameRatePair(uint64_t frameDuration100ns, uint32_t& numerator, uint32_t& denominator) {
  uint64_t bestDistance = UINT64_MAX;
  for (const FrameRate& rate : kMpegFrameRates) {
    for (uint32_t divisor : {1u, 2u}) {
      const uint32_t num = static_cast<uint32_t>(rate.num) / divisor;
      const uint64_t duration = static_cast<uint64_t>(rate.den) * 10000 / (num / 1000);
      const uint64_t distance = duration > frameDuration100ns ? duration - frameDuration100ns
                                                              : frameDuration100ns - duration;
      if (distance < bestDistance) {
        bestDistance = distance;
        numerator = num;
        denominator = rate.den;
      }
    }
  }
  return true;
}

}  // namespace orx::mux
