// Plain quantisers: the dead zone and the rounded and truncating quantisers of slots 5-10.
// Reciprocals are read as unsigned 16-bit values, so entries of 32768 and more keep their sign;
// every level that can reach a 2047 limit is held there.
#include <algorithm>
#include <cstdlib>

#include "venc/dsp/mb_core.h"

namespace orx::dsp {
namespace {

int Rounded(int product) { return (product + 32768) >> 16; }
int Limit(int level, int limit) { return std::clamp(level, -limit, limit); }
// The product of a coefficient and a reciprocal, 32 bits.
int Product(int coefficient, uint16_t reciprocal) { return coefficient * int{reciprocal}; }

}  // namespace

void CMBCore::ApplyDeadZone(int16_t* block) {
  if (currentDeadZone == nullptr) return;
  for (int k = 1; k < 64; ++k) {
    if (std::abs(block[k]) <= currentDeadZone[k]) block[k] = 0;
  }
}

int CMBCore::QuantizeClip255(const int16_t* source, int16_t* destination) {
  int largest = 0;
  for (int k = 0; k < 64; ++k) {
    int level = Rounded(Product(source[k], currentReciprocals[k]));
    largest = std::max(largest, std::abs(level));
    destination[k] = static_cast<int16_t>(Limit(level, 255));
  }
  return largest > 255 ? largest : 0;
}

void CMBCore::QuantizeClip2047(int16_t* block) {
  for (int k = 0; k < 64; ++k) {
    block[k] = static_cast<int16_t>(Limit(Rounded(Product(block[k], currentReciprocals[k])), 2047));
  }
}

int CMBCore::QuantizeInterClip255(const int16_t* source, int16_t* destination, int* overflow) {
  int largest = 0, coded = 0;
  for (int k = 0; k < 64; ++k) {
    int x = Product(source[k], currentReciprocals[k]);
    int level = x >> 16;     // floor
    if (level < 0) ++level;  // toward zero; an exact negative multiple goes one step further
    largest = std::max(largest, std::abs(level));
    level = Limit(level, 255);
    coded |= level;
    destination[k] = static_cast<int16_t>(level);
  }
  *overflow = largest > 255 ? largest : 0;
  return coded != 0;
}

int CMBCore::QuantizeInterClip2047(int16_t* block) {
  int coded = 0;
  for (int k = 0; k < 64; ++k) {
    int x = Product(block[k], currentReciprocals[k]);
    int magnitude = std::abs(x) >> 16;
    int level = Limit(x < 0 ? -magnitude : magnitude, 2047);
    coded |= level;
    block[k] = static_cast<int16_t>(level);
  }
  return coded != 0;
}

int CMBCore::QuantizeIntra(int16_t* block, int blockIndex) {
  const int dcQuant = (blockIndex & 4) ? currentDcQuant->chroma : currentDcQuant->luma;
  block[0] = static_cast<int16_t>(Limit(Rounded(block[0] * dcQuant), 2047));
  int coded = 0;
  for (int k = 1; k < 64; ++k) {
    int level = Limit(Rounded(Product(block[k], currentReciprocals[k])), 2047);
    coded |= level;
    block[k] = static_cast<int16_t>(level);
  }
  return coded != 0;
}

int CMBCore::QuantizeIntraTrunc(int16_t* block, int blockIndex) {
  const int dcQuant = (blockIndex & 4) ? currentDcQuant->chroma : currentDcQuant->luma;
  block[0] = static_cast<int16_t>(Limit(Rounded(block[0] * dcQuant), 2047));
  int coded = 0;
  for (int k = 1; k < 64; ++k) {
    int c = block[k];
    int level = Limit((Product(c, currentReciprocals[k]) + (c < 0 ? 65535 : 0)) >> 16, 2047);
    coded |= level;
    block[k] = static_cast<int16_t>(level);
  }
  return coded != 0;
}

}  // namespace orx::dsp
