// Plain inverse quantisers: MPEG-1 (ISO/IEC 11172-2), MPEG-2 with mismatch control
// (ISO/IEC 13818-2), H.263-style (ISO/IEC 14496-2 second method) and VC-1, with the DC-only
// reconstructions of slots 15, 19 and 49.
#include <algorithm>
#include <cassert>
#include <cstdlib>

#include "venc/dsp/mb_core.h"

namespace orx::dsp {
namespace {

int Sign(int c) { return c > 0 ? 1 : c < 0 ? -1 : 0; }
int Limit2048(int v) { return std::clamp(v, -2048, 2047); }
// Truncating division by a power of two.
int DivideTowardZero(int64_t v, int divisor) { return static_cast<int>(v / divisor); }

// MPEG-1: an even value moves one step toward zero, then the limits of each sign.
int Mpeg1Odd(int c, int64_t magnitude) {
  if (magnitude > 0) magnitude = (magnitude - 1) | 1;
  return c > 0 ? static_cast<int>(std::min<int64_t>(magnitude, 2047))
               : static_cast<int>(std::max<int64_t>(-magnitude, -2048));
}

// MPEG-2 mismatch control: toggles bit 0 of the last coefficient when the sum is even.
void MismatchControl(int16_t* block) {
  int sum = 0;
  for (int k = 0; k < 64; ++k) sum += block[k];
  if ((sum & 1) == 0) block[63] = static_cast<int16_t>(block[63] ^ 1);
}

int H263Level(int c, int qp) {
  if (c == 0) return 0;
  int magnitude = (2 * std::abs(c) + 1) * qp - (qp % 2 == 0 ? 1 : 0);
  return Limit2048(Sign(c) * magnitude);
}

int DcMultiplier(const DcMultiplierPair* pair, int blockIndex) {
  return (blockIndex & 4) ? pair->chroma : pair->luma;
}

int Vc1Level(int c, int step) { return c == 0 ? 0 : c * step + Sign(c) * (step / 2); }

}  // namespace

void CMBCore::DequantizeIntraMpeg1(int16_t* block) {
  block[0] = static_cast<int16_t>(block[0] * 8);
  for (int k = 1; k < 64; ++k) {
    const int c = block[k];
    if (c != 0)
      block[k] = static_cast<int16_t>(Mpeg1Odd(c, int64_t{std::abs(c)} * currentDequant[k] / 16));
  }
}

void CMBCore::DequantizeInterMpeg1(int16_t* block) {
  for (int k = 0; k < 64; ++k) {
    const int c = block[k];
    if (c != 0) {
      block[k] = static_cast<int16_t>(
          Mpeg1Odd(c, (2 * int64_t{std::abs(c)} + 1) * currentDequant[k] / 32));
    }
  }
}

void CMBCore::DequantizeIntraMpeg2(int16_t* block, int blockIndex) {
  block[0] = static_cast<int16_t>(Limit2048(
      DivideTowardZero(int64_t{block[0]} * DcMultiplier(currentDcMultiplier, blockIndex), 16)));
  for (int k = 1; k < 64; ++k) {
    block[k] = static_cast<int16_t>(
        Limit2048(DivideTowardZero(int64_t{block[k]} * currentDequant[k], 16)));
  }
  MismatchControl(block);
}

void CMBCore::DequantizeInterMpeg2(int16_t* block) {
  for (int k = 0; k < 64; ++k) {
    const int c = block[k];
    block[k] = static_cast<int16_t>(
        Limit2048(DivideTowardZero((2 * int64_t{c} + Sign(c)) * currentDequant[k], 32)));
  }
  MismatchControl(block);
}

void CMBCore::DequantizeIntraH263(int16_t* block, int blockIndex, int qp) {
  block[0] = static_cast<int16_t>(Limit2048(
      DivideTowardZero(int64_t{block[0]} * DcMultiplier(currentDcMultiplier, blockIndex), 16)));
  for (int k = 1; k < 64; ++k) block[k] = static_cast<int16_t>(H263Level(block[k], qp));
}

void CMBCore::DequantizeInterH263(int16_t* block, int qp) {
  for (int k = 0; k < 64; ++k) block[k] = static_cast<int16_t>(H263Level(block[k], qp));
}

void CMBCore::ReconstructIntraDcOnly(int16_t* block, int blockIndex) {
  int x = DivideTowardZero(int64_t{block[0]} * DcMultiplier(currentDcMultiplier, blockIndex), 16);
  x = std::clamp(x, 0, 2047);
  std::fill(block, block + 64, static_cast<int16_t>((x + 4) >> 3));
}

void CMBCore::ReconstructInterDcOnly(int16_t* block) {
  const int c0 = block[0];
  assert(c0 != 0 && "an inter block reconstructed from its DC alone has a non-zero DC");
  const int x = Limit2048(DivideTowardZero((2 * int64_t{c0} + Sign(c0)) * currentDequant[0], 32));
  // A flat block with the mismatch toggle of the last coefficient: for odd x both rules agree,
  // for x mod 8 = 4 they form a checkerboard one apart.
  for (int k = 0; k < 64; ++k) {
    const bool evenPosition = ((k >> 3) + (k & 7)) % 2 == 0;
    block[k] = static_cast<int16_t>(evenPosition ? (x + 4) >> 3 : (x + 2 * (x & 1) + 2) >> 3);
  }
}

void CMBCore::DequantizeIntraVc1(int16_t* block, int dcStep, int acStep) {
  block[0] = static_cast<int16_t>(block[0] * dcStep);
  for (int k = 1; k < 64; ++k) block[k] = static_cast<int16_t>(Vc1Level(block[k], acStep));
}

void CMBCore::DequantizeInterVc1(int16_t* block, int acStep) {
  for (int k = 0; k < 64; ++k) block[k] = static_cast<int16_t>(Vc1Level(block[k], acStep));
}

void CMBCore::ReconstructDcOnlyVc1(int16_t* block, int dcStep) {
  const int x = block[0] * dcStep;
  std::fill(block, block + 64, static_cast<int16_t>((3 * ((3 * x + 1) >> 1) + 16) >> 5));
}

}  // namespace orx::dsp
