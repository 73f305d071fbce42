// Decimation of the plain motion-estimation core (slots 21, 22, 31-37): blocks and plane rows
// reduced 2:1 (or 4:1 vertically) for the coarse levels of the hierarchical searches. Two-by-two
// means are the four-sample (a + b + c + d + 2) >> 2; outputs are packed (rows of exactly the
// output width, one after the other).
#include <cstddef>
#include <cstdint>

#include "venc/dsp/me_interpolation.h"
#include "venc/dsp/motion_estimation_core.h"

namespace orx::dsp {
namespace {

using me::Avg;

inline int FourSampleMean(const uint8_t* upper, const uint8_t* lower, int x) {
  return (upper[2 * x] + upper[2 * x + 1] + lower[2 * x] + lower[2 * x + 1] + 2) >> 2;
}

}  // namespace

void CMotionEstimationCore::DecimateBlock(uint8_t* destination, const uint8_t* source,
                                          int stride) {
  CMotionEstimationCore::DecimatePlane(destination, source, 8, 8, stride, 2 * stride - 16);
}

int CMotionEstimationCore::DecimateQuadrants(uint8_t* destination, const uint8_t* source,
                                             int stride) {
  const std::ptrdiff_t quadrant[4] = {0, 8, 8 * std::ptrdiff_t{stride}, 8 * std::ptrdiff_t{stride} + 8};
  for (int q = 0; q < 4; ++q) {
    CMotionEstimationCore::DecimatePlane(destination + 16 * q, source + quadrant[q], 4, 4, stride,
                                         2 * stride - 8);
  }
  return 4;
}

// After each output row the source moves 2 x width bytes along the row and then by the skip.
void CMotionEstimationCore::DecimatePlane(uint8_t* destination, const uint8_t* source, int width,
                                          int height, int sourceStride, int sourceSkip) {
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      *destination++ = static_cast<uint8_t>(FourSampleMean(source, source + sourceStride, x));
    }
    source += 2 * std::ptrdiff_t{width} + sourceSkip;
  }
}

// 2:1 horizontally and 4:1 vertically: eight samples of four rows per output.
void CMotionEstimationCore::DecimatePlane4x2(uint8_t* destination, const uint8_t* source,
                                             int width, int height, int sourceStride) {
  for (int y = 0; y < height; ++y, source += 4 * std::ptrdiff_t{sourceStride}) {
    for (int x = 0; x < width; ++x) {
      int sum = 4;
      for (int r = 0; r < 4; ++r) {
        sum += source[r * sourceStride + 2 * x] + source[r * sourceStride + 2 * x + 1];
      }
      *destination++ = static_cast<uint8_t>(sum >> 3);
    }
  }
}

void CMotionEstimationCore::DecimatePlaneAlt(uint8_t* destination, const uint8_t* source,
                                             int width, int height, int sourceStride,
                                             int sourceSkip) {
  CMotionEstimationCore::DecimatePlane(destination, source, width, height, sourceStride,
                                       sourceSkip);
}

// Source rows of 2 x width bytes follow each other; the fifth argument plays no part.
void CMotionEstimationCore::DecimateHorz(uint8_t* destination, const uint8_t* source, int width,
                                         int height, int) {
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x, source += 2) *destination++ = static_cast<uint8_t>(Avg(source[0], source[1]));
  }
}

// After each output row the source moves width bytes and then by the skip.
void CMotionEstimationCore::DecimateVert(uint8_t* destination, const uint8_t* source, int width,
                                         int height, int sourceStride, int sourceSkip) {
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      *destination++ = static_cast<uint8_t>(Avg(source[x], source[x + sourceStride]));
    }
    source += std::ptrdiff_t{width} + sourceSkip;
  }
}

// Packed 8x8 to 8 rows of 4.
void CMotionEstimationCore::DecimateBlockHorz(uint8_t* destination, const uint8_t* source) {
  for (int i = 0; i < 32; ++i) {
    destination[i] = static_cast<uint8_t>(Avg(source[2 * i], source[2 * i + 1]));
  }
}

// Packed 8x8 to two packed 4x4 blocks, the left columns at offset 0 and the right at 16.
void CMotionEstimationCore::DecimateBlockVert(uint8_t* destination, const uint8_t* source) {
  for (int r = 0; r < 4; ++r) {
    for (int x = 0; x < 8; ++x) {
      destination[16 * (x / 4) + 4 * r + x % 4] =
          static_cast<uint8_t>(Avg(source[16 * r + x], source[16 * r + 8 + x]));
    }
  }
}

}  // namespace orx::dsp
