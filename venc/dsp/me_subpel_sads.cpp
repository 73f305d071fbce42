// Sub-pel neighbour cost sets of the plain motion-estimation core (slots 23-30, 39, 40 and the
// two ...WithCosts members): along one axis, the SADs of the positions -2, -1, +1, +2 quarter
// samples around the current component, per 8x8 part of the block (four unsigned 16-bit sums
// per part, parts row by row), then the choice of me_choices.h. The X sets interpolate
// between a sample and its left or right neighbour, the Y sets between rows already
// interpolated horizontally at the chosen fraction (offset set B); slots 39 and 40 use the
// VC-1 (-1, 9, 9, -1) half-sample filter.
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "venc/dsp/clipping.h"
#include "venc/dsp/me_interpolation.h"
#include "venc/dsp/me_choices.h"
#include "venc/dsp/motion_estimation_core.h"

namespace orx::dsp {
namespace {

using me::Avg;

// Fills the sums of a width x height block: value(y, x, k) is the prediction of position k at
// pixel (y, x). Answers the number of 8x8 parts.
template <typename Value>
int AccumulateSums(const uint8_t* current, int stride, int width, int height, uint16_t* sums,
                   Value value) {
  const int partsPerRow = width / 8;
  const int parts = partsPerRow * (height / 8);
  uint32_t totals[16] = {};
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      const int part = (y / 8) * partsPerRow + x / 8;
      const int c = current[y * stride + x];
      for (int k = 0; k < 4; ++k) totals[4 * part + k] += std::abs(value(y, x, k) - c);
    }
  }
  for (int i = 0; i < 4 * parts; ++i) sums[i] = static_cast<uint16_t>(totals[i]);
  return parts;
}

// X, bilinear: between the sample m and its neighbours a (left) and b (right).
auto XValue(const uint8_t* reference, int stride) {
  return [=](int y, int x, int k) {
    const uint8_t* p = reference + y * stride + x;
    const int a = p[-1], m = p[0], b = p[1];
    switch (k) {
      case 0: return Avg(a, m);
      case 1: return Avg(Avg(a, m), m);
      case 2: return Avg(Avg(m, b), m);
      default: return Avg(m, b);
    }
  };
}

// Y, bilinear: offset set B of the rows interpolated at the horizontal fraction.
auto YValue(const uint8_t* reference, int stride, int fraction) {
  return [=](int y, int x, int k) {
    return me::OffsetSetB(me::HorizontalFraction(reference + (y - 1) * stride, x, fraction),
                          me::HorizontalFraction(reference + y * stride, x, fraction),
                          me::HorizontalFraction(reference + (y + 1) * stride, x, fraction), k);
  };
}

// The VC-1 half-sample filter between p[0] and p[step], clipped, with the rounding term.
inline int Vc1Half(const uint8_t* p, std::ptrdiff_t step, int rounding) {
  return ClipToByte((9 * (p[0] + p[step]) - p[-step] - p[2 * step] + rounding) >> 4);
}

int SumsX(CMotionEstimationCore& core, const uint8_t* reference, int width, int height,
          uint16_t* sums) {
  return AccumulateSums(core.block, core.stride, width, height, sums,
                        XValue(reference, core.stride));
}

int SumsY(CMotionEstimationCore& core, const uint8_t* reference, int fraction, int width,
          int height, uint16_t* sums) {
  return AccumulateSums(core.block, core.stride, width, height, sums,
                        YValue(reference, core.stride, fraction));
}

}  // namespace

int CMotionEstimationCore::SubPelSadsX16x16(const uint8_t* reference, uint16_t* sums,
                                            int* component, int predicted, int bias) {
  int parts = SumsX(*this, reference, 16, 16, sums);
  return me::ChooseWithBias(sums, parts, component, predicted, bias);
}

int CMotionEstimationCore::SubPelSadsY16x16(const uint8_t* reference, int fraction,
                                            uint16_t* sums, int* component, int predicted,
                                            int bias) {
  int parts = SumsY(*this, reference, fraction, 16, 16, sums);
  return me::ChooseWithBias(sums, parts, component, predicted, bias);
}

// The 8x8 X set clears the first eight entries, four more than it fills.
int CMotionEstimationCore::SubPelSadsX8x8(const uint8_t* reference, uint16_t* sums,
                                          int* component, int predicted, int bias) {
  for (int i = 4; i < 8; ++i) sums[i] = 0;
  int parts = SumsX(*this, reference, 8, 8, sums);
  return me::ChooseWithBias(sums, parts, component, predicted, bias);
}

int CMotionEstimationCore::SubPelSadsY8x8(const uint8_t* reference, int fraction, uint16_t* sums,
                                          int* component, int predicted, int bias) {
  int parts = SumsY(*this, reference, fraction, 8, 8, sums);
  return me::ChooseWithBias(sums, parts, component, predicted, bias);
}

int CMotionEstimationCore::SubPelSadsX16x8(const uint8_t* reference, uint16_t* sums,
                                           int* component, int predicted, int bias) {
  int parts = SumsX(*this, reference, 16, 8, sums);
  return me::ChooseWithBias(sums, parts, component, predicted, bias);
}

int CMotionEstimationCore::SubPelSadsY16x8(const uint8_t* reference, int fraction,
                                           uint16_t* sums, int* component, int predicted,
                                           int bias) {
  int parts = SumsY(*this, reference, fraction, 16, 8, sums);
  return me::ChooseWithBias(sums, parts, component, predicted, bias);
}

int CMotionEstimationCore::SubPelSadsXHalves(const uint8_t* reference, uint16_t* sums,
                                             int* component, int predicted, int bias) {
  int parts = SumsX(*this, reference, 8, 16, sums);
  return me::ChooseWithBias(sums, parts, component, predicted, bias);
}

int CMotionEstimationCore::SubPelSadsYHalves(const uint8_t* reference, int fraction,
                                             uint16_t* sums, int* component, int predicted,
                                             int bias) {
  int parts = SumsY(*this, reference, fraction, 8, 16, sums);
  return me::ChooseWithBias(sums, parts, component, predicted, bias);
}

// hl and hr: the VC-1 half samples left and right of m (rounding term 7).
int CMotionEstimationCore::SubPelSadsXVc1(const uint8_t* reference, uint16_t* sums,
                                          int* component, int predicted, int bias) {
  const int s = stride;
  int parts = AccumulateSums(block, s, 16, 16, sums, [=](int y, int x, int k) {
    const uint8_t* p = reference + y * s + x;
    switch (k) {
      case 0: return Vc1Half(p - 1, 1, 7);
      case 1: return Avg(Vc1Half(p - 1, 1, 7), p[0]);
      case 2: return Avg(Vc1Half(p, 1, 7), p[0]);
      default: return Vc1Half(p, 1, 7);
    }
  });
  return me::ChooseWithBias(sums, parts, component, predicted, bias);
}

// Rows y - 2 .. y + 2 are first brought to the horizontal fraction (VC-1 half sample, or its
// average with the left or right sample), then filtered vertically (rounding term 8).
int CMotionEstimationCore::SubPelSadsYVc1(const uint8_t* reference, int fraction, uint16_t* sums,
                                          int* component, int predicted, int bias) {
  const int s = stride;
  auto q = [=](int y, int x) {
    const uint8_t* p = reference + y * s + x;
    switch (fraction) {
      case 0: return int{p[0]};
      case 1: return Avg(Vc1Half(p, 1, 8), p[0]);
      case 2: return Vc1Half(p, 1, 8);
      default: return Avg(Vc1Half(p, 1, 8), p[1]);
    }
  };
  auto vertical = [&](int y, int x) {  // between rows y and y + 1
    return ClipToByte((9 * (q(y, x) + q(y + 1, x)) - q(y - 1, x) - q(y + 2, x) + 8) >> 4);
  };
  int parts = AccumulateSums(block, s, 16, 16, sums, [&](int y, int x, int k) {
    switch (k) {
      case 0: return vertical(y - 1, x);
      case 1: return Avg(vertical(y - 1, x), q(y, x));
      case 2: return Avg(q(y, x), vertical(y, x));
      default: return vertical(y, x);
    }
  });
  return me::ChooseWithBias(sums, parts, component, predicted, bias);
}

int CMotionEstimationCore::SubPelSadsX16x16WithCosts(const uint8_t* reference, uint16_t* sums,
                                                     int* component, int,
                                                     const int32_t* positionCosts) {
  int parts = SumsX(*this, reference, 16, 16, sums);
  int32_t costs[4];
  me::SubPelTotals(sums, parts, costs);
  for (int k = 0; k < 4; ++k) costs[k] += positionCosts[k];
  return me::ChooseSubPelPosition(costs, component);
}

int CMotionEstimationCore::SubPelSadsY16x16WithCosts(const uint8_t* reference, int fraction,
                                                     uint16_t* sums, int* component,
                                                     int predicted,
                                                     const int32_t* positionCosts) {
  int parts = SumsY(*this, reference, fraction, 16, 16, sums);
  int32_t costs[4];
  me::SubPelTotals(sums, parts, costs);
  for (int k = 0; k < 4; ++k) {
    if (*component + me::kSubPelOffsets[k] == predicted) costs[k] += positionCosts[k];
  }
  return me::ChooseSubPelPosition(costs, component);
}

}  // namespace orx::dsp
