#pragma once
// Rounding of the encoder's double arithmetic: to nearest, ties to even, everywhere the
// settings, checks, rate control and headers say "round".
#include <cstdint>

namespace orx::venc {

int RoundToInt(double value);
int64_t RoundToInt64(double value);

}  // namespace orx::venc
