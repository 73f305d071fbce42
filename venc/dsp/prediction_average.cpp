// Prediction averaging of the plain macroblock core (slots 80 and 82): a second prediction is
// averaged into the first in place, each byte (a + b + 1) >> 1.
#include <cstdint>

#include "venc/dsp/mb_core.h"

namespace orx::dsp {
namespace {

void AverageInPlace(uint8_t* destination, const uint8_t* source, int bytes) {
  for (int i = 0; i < bytes; ++i) destination[i] = static_cast<uint8_t>((destination[i] + source[i] + 1) >> 1);
}

}  // namespace

void CMBCore::AverageInPlace32(uint8_t* destination, const uint8_t* source) {
  AverageInPlace(destination, source, 32);
}

void CMBCore::AverageInPlace64(uint8_t* destination, const uint8_t* source) {
  AverageInPlace(destination, source, 64);
}

}  // namespace orx::dsp
