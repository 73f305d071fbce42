// The reference VC-1 sub-sample interpolation of CMBCore (slots 59-62): bilinear weights for
// the interleaved chroma plane, bicubic taps for luma in one or two dimensions. These define
// the results the SIMD variants must reproduce byte for byte. One output row of 16 bytes per
// step; the destination stride is honoured by every slot.
#include <cassert>
#include <cstddef>
#include <cstdint>

#include "venc/dsp/clipping.h"
#include "venc/dsp/mb_core.h"
#include "venc/dsp/vc1_interpolation_tables.h"

namespace orx::dsp {
namespace {

constexpr int kBlockWidth = 16;

// The four taps of a fraction applied to the samples at offsets -1, 0, +1 and +2, `step` bytes
// (or entries) apart.
template <typename Sample>
int ApplyTaps(const int8_t* taps, const Sample* p, std::ptrdiff_t step) {
  return taps[0] * p[-step] + taps[1] * p[0] + taps[2] * p[step] + taps[3] * p[2 * step];
}

}  // namespace

// Interleaved chroma: the next sample of one component is two bytes on.
void CMBCore::InterpolateBilinearVc1(uint32_t weights, const uint8_t* source, uint8_t* destination,
                                     int sourceStride, int destinationStride, int rows,
                                     int rounding) {
  const int w0 = weights & 0xFF, w1 = (weights >> 8) & 0xFF, w2 = (weights >> 16) & 0xFF,
            w3 = weights >> 24;
  for (int r = 0; r < rows; ++r) {
    const uint8_t* top = source + static_cast<std::ptrdiff_t>(r) * sourceStride;
    const uint8_t* bottom = top + sourceStride;
    uint8_t* out = destination + static_cast<std::ptrdiff_t>(r) * destinationStride;
    for (int c = 0; c < kBlockWidth; ++c) {
      out[c] = static_cast<uint8_t>(
          (w0 * top[c] + w1 * top[c + 2] + w2 * bottom[c] + w3 * bottom[c + 2] + 8 - rounding) >>
          4);
    }
  }
}

namespace {

// One-dimensional bicubic filtering of `rows` rows with the taps of a quarter fraction along
// `tapStep` bytes (the source stride for vertical filtering, 1 for horizontal).
void FilterOneDimension(const uint8_t* source, uint8_t* destination, int sourceStride,
                        int destinationStride, int rows, int fraction, std::ptrdiff_t tapStep,
                        int roundingTerm) {
  assert((fraction == 1 || fraction == 3) && "the driver passes quarter fractions only");
  const int8_t* taps = Vc1BicubicTaps[fraction & 3];
  for (int r = 0; r < rows; ++r) {
    const uint8_t* row = source + static_cast<std::ptrdiff_t>(r) * sourceStride;
    uint8_t* out = destination + static_cast<std::ptrdiff_t>(r) * destinationStride;
    for (int c = 0; c < kBlockWidth; ++c) {
      out[c] =
          static_cast<uint8_t>(ClipToByte((ApplyTaps(taps, row + c, tapStep) + roundingTerm) >> 6));
    }
  }
}

}  // namespace

// Vertical only: the rounding term is 32 - (1 - rounding).
void CMBCore::InterpolateBicubicVertVc1(const uint8_t* source, uint8_t* destination,
                                        int sourceStride, int destinationStride, int rows,
                                        int fraction, int rounding) {
  FilterOneDimension(source, destination, sourceStride, destinationStride, rows, fraction,
                     sourceStride, 31 + rounding);
}

// Horizontal only: the rounding term is 32 - rounding.
void CMBCore::InterpolateBicubicHorzVc1(const uint8_t* source, uint8_t* destination,
                                        int sourceStride, int destinationStride, int rows,
                                        int fraction, int rounding) {
  FilterOneDimension(source, destination, sourceStride, destinationStride, rows, fraction, 1,
                     32 - rounding);
}

// Two dimensions, vertical pass first over the 19 columns -1..17, then horizontal. The first
// pass keeps the gains of the two filters within 7 bits of shift: 6 per quarter filter, 4 per
// half filter, and the second pass shifts by the remaining 7.
void CMBCore::InterpolateBicubic2DVc1(const uint8_t* source, uint8_t* destination, int sourceStride,
                                      int destinationStride, int rows, int fractionX, int fractionY,
                                      int rounding) {
  assert(fractionX >= 1 && fractionX <= 3 && fractionY >= 1 && fractionY <= 3);
  const int8_t* tapsX = Vc1BicubicTaps[fractionX & 3];
  const int8_t* tapsY = Vc1BicubicTaps[fractionY & 3];
  const int shift = (fractionX == 2 ? 4 : 6) + (fractionY == 2 ? 4 : 6) - 7;
  const int firstRounding = (1 << (shift - 1)) + rounding - 1;
  int vertical[kBlockWidth + 3];
  for (int r = 0; r < rows; ++r) {
    const uint8_t* row = source + static_cast<std::ptrdiff_t>(r) * sourceStride;
    for (int c = -1; c <= kBlockWidth + 1; ++c) {
      vertical[c + 1] = (ApplyTaps(tapsY, row + c, sourceStride) + firstRounding) >> shift;
    }
    uint8_t* out = destination + static_cast<std::ptrdiff_t>(r) * destinationStride;
    for (int c = 0; c < kBlockWidth; ++c) {
      out[c] = static_cast<uint8_t>(
          ClipToByte((ApplyTaps(tapsX, vertical + c + 1, 1) + 64 - rounding) >> 7));
    }
  }
}

}  // namespace orx::dsp
