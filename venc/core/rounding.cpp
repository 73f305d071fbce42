#include "venc/core/rounding.h"

#include <cmath>

namespace orx::venc {

// The default floating-point environment rounds to nearest with ties to even.
int RoundToInt(double value) { return static_cast<int>(std::nearbyint(value)); }

int64_t RoundToInt64(double value) { return static_cast<int64_t>(std::nearbyint(value)); }

}  // namespace orx::venc
