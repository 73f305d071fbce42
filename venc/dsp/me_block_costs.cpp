// Block costs of the plain motion-estimation core (slots 0-11): sums of absolute differences
// and of absolute 4x4 Hadamard-transformed differences between the current block and a
// reference position read with the same stride. This class is the reference definition; a
// diagonal half-sample here is the four-sample mean (a + b + c + d + 2) >> 2.
#include <cstdint>
#include <cstdlib>

#include "venc/dsp/me_interpolation.h"
#include "venc/dsp/motion_estimation_core.h"

namespace orx::dsp {
namespace {

using me::Avg;

// Sum over `width` columns and `rows` rows of |predict(y, x) - C[y][x]|.
template <typename Predict>
uint32_t SadOf(const uint8_t* current, int stride, int width, int rows, Predict predict) {
  uint32_t sum = 0;
  for (int y = 0; y < rows; ++y) {
    for (int x = 0; x < width; ++x) {
      sum += static_cast<uint32_t>(std::abs(predict(y, x) - current[y * stride + x]));
    }
  }
  return sum;
}

// The four-sample half-sample value with flags h, v (either may be 0).
inline int HalfSample(const uint8_t* r, int stride, int y, int x, int h, int v) {
  const uint8_t* p = r + y * stride + x;
  return (p[0] + p[h] + p[v * stride] + p[v * stride + h] + 2) >> 2;
}

// Unnormalised 4-point Hadamard transform of the columns, then of the rows; half the sum of
// the coefficient magnitudes, rounded.
uint32_t SatdHadamard4x4(const int32_t* d) {
  int32_t m[16];
  for (int c = 0; c < 4; ++c) {
    int a = d[c], b = d[4 + c], e = d[8 + c], f = d[12 + c];
    m[c] = a + b + e + f;
    m[4 + c] = a + b - e - f;
    m[8 + c] = a - b - e + f;
    m[12 + c] = a - b + e - f;
  }
  int32_t sum = 0;
  for (int r = 0; r < 4; ++r) {
    int a = m[4 * r], b = m[4 * r + 1], e = m[4 * r + 2], f = m[4 * r + 3];
    sum += std::abs(a + b + e + f) + std::abs(a + b - e - f) + std::abs(a - b - e + f) +
           std::abs(a - b + e - f);
  }
  return static_cast<uint32_t>((sum + 1) >> 1);
}

// SATD of the 4x4 block at (row, column) of the current block against predict(y, x).
template <typename Predict>
uint32_t Satd4x4At(const uint8_t* current, int stride, int row, int column, Predict predict) {
  int32_t d[16];
  for (int y = 0; y < 4; ++y) {
    for (int x = 0; x < 4; ++x) {
      d[4 * y + x] = predict(row + y, column + x) - current[(row + y) * stride + column + x];
    }
  }
  return SatdHadamard4x4(d);
}

}  // namespace

uint32_t CMotionEstimationCore::Satd16(const uint8_t* reference) {
  if (rows <= 0) return 0;
  const int groups = ((rows - 1) >> 2) + 1;
  auto full = [&](int y, int x) { return int{reference[y * stride + x]}; };
  uint32_t sum = 0;
  for (int g = 0; g < groups; ++g) {
    for (int column = 0; column < 16; column += 4) {
      sum += Satd4x4At(block, stride, 4 * g, column, full);
    }
  }
  return sum;
}

uint32_t CMotionEstimationCore::Satd8x16(const uint8_t* reference) {
  auto full = [&](int y, int x) { return int{reference[y * stride + x]}; };
  uint32_t sum = 0;
  for (int row = 0; row < 16; row += 4) {
    for (int column = 0; column < 8; column += 4) {
      sum += Satd4x4At(block, stride, row, column, full);
    }
  }
  return sum;
}

uint32_t CMotionEstimationCore::SatdSubPel(const uint8_t* reference, int fraction,
                                           int positionIndex) {
  if (positionIndex < 0 || positionIndex > 3) return 0;
  auto setB = [&](int y, int x) {
    return me::OffsetSetB(me::HorizontalFraction(reference + (y - 1) * stride, x, fraction),
                          me::HorizontalFraction(reference + y * stride, x, fraction),
                          me::HorizontalFraction(reference + (y + 1) * stride, x, fraction),
                          positionIndex);
  };
  uint32_t sum = 0;
  for (int row = 0; row < 16; row += 4) {
    for (int column = 0; column < 16; column += 4) {
      sum += Satd4x4At(block, stride, row, column, setB);
    }
  }
  return sum;
}

uint32_t CMotionEstimationCore::QuarterPelSads16(const uint8_t* reference, int fractionX,
                                                 int fractionY) {
  if (fractionY < 0 || fractionY > 3) return 0;
  return SadOf(block, stride, 16, rows, [&](int y, int x) {
    return me::OffsetSetA(me::HorizontalFraction(reference + y * stride, x, fractionX),
                          me::HorizontalFraction(reference + (y + 1) * stride, x, fractionX),
                          fractionY);
  });
}

uint32_t CMotionEstimationCore::QuarterPelSads8(const uint8_t* reference, int fraction,
                                                int positionIndex) {
  if (positionIndex < 0 || positionIndex > 3) return 0;
  return SadOf(block, stride, 8, rows, [&](int y, int x) {
    return me::OffsetSetB(me::HorizontalFraction(reference + (y - 1) * stride, x, fraction),
                          me::HorizontalFraction(reference + y * stride, x, fraction),
                          me::HorizontalFraction(reference + (y + 1) * stride, x, fraction),
                          positionIndex);
  });
}

// The packed block is read as a reference position, with the object's stride and rows (the
// owners set 16 and 16 first).
uint32_t CMotionEstimationCore::Sad16Packed(const uint8_t* packed) { return Sad16(packed); }

uint32_t CMotionEstimationCore::Sad16(const uint8_t* reference) {
  return SadHalfPel16(reference, 0, 0);
}

uint32_t CMotionEstimationCore::Sad16Prefetch(const uint8_t* reference) {
  return SadHalfPel16(reference, 0, 0);
}

uint32_t CMotionEstimationCore::SadHalfPel16(const uint8_t* reference, int halfX, int halfY) {
  const int h = halfX != 0, v = halfY != 0;
  return SadOf(block, stride, 16, rows,
               [&](int y, int x) { return HalfSample(reference, stride, y, x, h, v); });
}

uint32_t CMotionEstimationCore::Sad8(const uint8_t* reference) {
  return SadOf(block, stride, 8, rows, [&](int y, int x) { return int{reference[y * stride + x]}; });
}

uint32_t CMotionEstimationCore::SadHalfPel8(const uint8_t* reference, int halfX, int halfY) {
  const int h = halfX != 0, v = halfY != 0;
  return SadOf(block, stride, 8, rows,
               [&](int y, int x) { return HalfSample(reference, stride, y, x, h, v); });
}

uint32_t CMotionEstimationCore::SadBidirHalfPel16(const uint8_t* referenceA,
                                                  const uint8_t* referenceB, int halfXA,
                                                  int halfYA, int halfXB, int halfYB) {
  const int ha = halfXA != 0, va = halfYA != 0, hb = halfXB != 0, vb = halfYB != 0;
  return SadOf(block, stride, 16, rows, [&](int y, int x) {
    return Avg(HalfSample(referenceA, stride, y, x, ha, va),
               HalfSample(referenceB, stride, y, x, hb, vb));
  });
}

}  // namespace orx::dsp
