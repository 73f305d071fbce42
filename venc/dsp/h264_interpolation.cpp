// H.264 inter prediction of the plain macroblock core: the eighth-sample chroma predictor of an
// interleaved 4x4 pair (slot 73) and the quarter-sample luma interpolation of an 8x8 block
// (slot 77), the latter built as four 4x4 quarters, each the rounded average of two 4x4
// half-sample or full-sample blocks made in the scratch area.
#include <cstdint>

#include "venc/dsp/clipping.h"
#include "venc/dsp/mb_core.h"

namespace orx::dsp {
namespace {

constexpr int kHalfHorizontal = 2;  // filter flags of InterpolateLuma4x4
constexpr int kHalfVertical = 8;

// Six-tap sum of p[-2 step] .. p[3 step].
inline int SixTap(const uint8_t* p, int step) {
  return p[-2 * step] - 5 * p[-step] + 20 * p[0] + 20 * p[step] - 5 * p[2 * step] + p[3 * step];
}

// A 4x4 block (stride 4) at the half-sample position the flags name: horizontal (2), vertical
// (8), both (the centre, from the unrounded horizontal sums), or neither (a copy).
void InterpolateLuma4x4(const uint8_t* source, uint8_t* destination, int stride, int flags) {
  bool horizontal = flags & kHalfHorizontal, vertical = flags & kHalfVertical;
  for (int y = 0; y < 4; ++y) {
    for (int x = 0; x < 4; ++x) {
      const uint8_t* g = source + y * stride + x;
      int v;
      if (horizontal && vertical) {
        int j1 = 0;
        const int taps[6] = {1, -5, 20, 20, -5, 1};
        for (int k = 0; k < 6; ++k) j1 += taps[k] * SixTap(g + (k - 2) * stride, 1);
        v = ClipToByte((j1 + 512) >> 10);
      } else if (horizontal) {
        v = ClipToByte((SixTap(g, 1) + 16) >> 5);
      } else if (vertical) {
        v = ClipToByte((SixTap(g, stride) + 16) >> 5);
      } else {
        v = *g;
      }
      destination[4 * y + x] = static_cast<uint8_t>(v);
    }
  }
}

}  // namespace

void CMBCore::McChromaEighthPel(uint8_t* destination, const uint8_t* source, int sourceStride,
                                uint32_t fractions) {
  int dx = static_cast<int>(fractions & 0xFFFF), dy = static_cast<int>(fractions >> 16);
  int a = (8 - dx) * (8 - dy), b = dx * (8 - dy), c = (8 - dx) * dy, d = dx * dy;
  for (int y = 0; y < 4; ++y) {
    const uint8_t* s = source + y * sourceStride;
    for (int x = 0; x < 8; ++x) {
      // The horizontal neighbour of the same component is two bytes on.
      destination[8 * y + x] = static_cast<uint8_t>(
          (a * s[x] + b * s[x + 2] + c * s[x + sourceStride] + d * s[x + sourceStride + 2] + 32) >> 6);
    }
  }
}

void CMBCore::InterpolateLumaQpel8x8(uint8_t* destination, const uint8_t* source,
                                     int sourceStride, int mode) {
  uint8_t* first = scratch;
  uint8_t* second = scratch + 16;
  bool xOdd = mode & 1, yOdd = mode & 4;
  int down = mode & 8 ? sourceStride : 0, right = mode & 2 ? 1 : 0;
  for (int quarter = 0; quarter < 4; ++quarter) {
    const uint8_t* s = source + (quarter / 2) * 4 * sourceStride + (quarter % 2) * 4;
    uint8_t* d = destination + (quarter / 2) * 32 + (quarter % 2) * 4;
    const uint8_t* b = first;
    if (!xOdd) {
      InterpolateLuma4x4(s, first, sourceStride, mode);
      if (yOdd) InterpolateLuma4x4(s + down, second, sourceStride, mode ^ 8);
      if (yOdd) b = second;
    } else if (yOdd) {
      InterpolateLuma4x4(s + down, first, sourceStride, kHalfHorizontal);
      InterpolateLuma4x4(s + right, second, sourceStride, kHalfVertical);
      b = second;
    } else {
      InterpolateLuma4x4(s, first, sourceStride, mode);
      InterpolateLuma4x4(s + right, second, sourceStride, mode ^ 2);
      b = second;
    }
    for (int y = 0; y < 4; ++y) {
      for (int x = 0; x < 4; ++x) d[8 * y + x] = static_cast<uint8_t>((first[4 * y + x] + b[4 * y + x] + 1) >> 1);
    }
  }
}

}  // namespace orx::dsp
