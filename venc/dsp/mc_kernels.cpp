// Reference motion-compensation kernels and slot 35 of the plain class. Every variant's table
// computes exactly these values. Four-sample means are formed from the full sum, never as a
// chain of two rounded averages.
#include <cstddef>
#include <cstdint>

#include "venc/dsp/clipping.h"
#include "venc/dsp/mc_kernels.h"

namespace orx::dsp {
namespace {

// Mean of the sample, its vertical neighbour (kDown) and its horizontal neighbour kRight bytes
// on (0: none, 1: luma, 2: interleaved chroma), with kBias added before the shift.
template <int kDown, int kRight, int kBias>
void Mean(const uint8_t* source, uint8_t* destination, int sourceStride, int destinationStride,
          int rows) {
  constexpr int kTaps = (kDown ? 2 : 1) * (kRight ? 2 : 1);
  constexpr int kShift = kTaps == 4 ? 2 : kTaps == 2 ? 1 : 0;
  const int below = kDown ? sourceStride : 0;
  for (int r = 0; r < rows; ++r, source += sourceStride, destination += destinationStride) {
    for (int i = 0; i < 16; ++i) {
      int sum = source[i];
      if (kRight) sum += source[i + kRight];
      if (kDown) sum += source[i + below];
      if (kDown && kRight) sum += source[i + below + kRight];
      destination[i] = static_cast<uint8_t>((sum + kBias) >> kShift);
    }
  }
}

// The (-1, 9, 9, -1) half-sample filter across four samples `step` bytes apart, centred between
// p[0] and p[step].
inline int FourTap(const uint8_t* p, std::ptrdiff_t step) {
  return 9 * (p[0] + p[step]) - p[-step] - p[2 * step];
}

template <int kRounding>
void Vc1Vertical(const uint8_t* source, uint8_t* destination, int sourceStride,
                 int destinationStride, int rows) {
  for (int r = 0; r < rows; ++r, source += sourceStride, destination += destinationStride) {
    for (int i = 0; i < 16; ++i) {
      destination[i] =
          static_cast<uint8_t>(ClipToByte((FourTap(source + i, sourceStride) + 7 + kRounding) >> 4));
    }
  }
}

template <int kRounding>
void Vc1Horizontal(const uint8_t* source, uint8_t* destination, int sourceStride,
                   int destinationStride, int rows) {
  for (int r = 0; r < rows; ++r, source += sourceStride, destination += destinationStride) {
    for (int i = 0; i < 16; ++i) {
      destination[i] =
          static_cast<uint8_t>(ClipToByte((FourTap(source + i, 1) + 8 - kRounding) >> 4));
    }
  }
}

// Vertical pass over the 19 columns -1..17, then the horizontal pass on those intermediates.
template <int kRounding>
void Vc1TwoDimensional(const uint8_t* source, uint8_t* destination, int sourceStride,
                       int destinationStride, int rows) {
  for (int r = 0; r < rows; ++r, source += sourceStride, destination += destinationStride) {
    int t[19];
    for (int c = 0; c < 19; ++c) t[c] = (FourTap(source + c - 1, sourceStride) + kRounding) >> 1;
    for (int i = 0; i < 16; ++i) {
      int sum = 9 * (t[i + 1] + t[i + 2]) - t[i] - t[i + 3];
      destination[i] = static_cast<uint8_t>(ClipToByte((sum + 64 - kRounding) >> 7));
    }
  }
}

// One prediction of a bidirectional kernel, rounding up: copy, vertical, horizontal or both.
inline int HalfSample(const uint8_t* p, int xHalf, int yHalf, int step, int stride) {
  if (xHalf && yHalf) return (p[0] + p[step] + p[stride] + p[stride + step] + 2) >> 2;
  if (xHalf) return (p[0] + p[step] + 1) >> 1;
  if (yHalf) return (p[0] + p[stride] + 1) >> 1;
  return p[0];
}

template <int kIndex>
void Bidir(const uint8_t* first, const uint8_t* second, uint8_t* destination, int sourceStride,
           int destinationStride, int rows, int step) {
  constexpr int x1 = (kIndex >> 3) & 1, y1 = (kIndex >> 2) & 1;
  constexpr int x2 = (kIndex >> 1) & 1, y2 = kIndex & 1;
  for (int r = 0; r < rows; ++r) {
    for (int i = 0; i < 16; ++i) {
      int a = HalfSample(first + i, x1, y1, step, sourceStride);
      int b = HalfSample(second + i, x2, y2, step, sourceStride);
      destination[i] = static_cast<uint8_t>((a + b + 1) >> 1);
    }
    first += sourceStride;
    second += sourceStride;
    destination += destinationStride;
  }
}

}  // namespace

const McKernelTable kReferenceMcKernels = {
    {Mean<0, 0, 0>, Mean<1, 0, 1>, Mean<0, 1, 1>, Mean<1, 1, 2>,  //
     Mean<0, 0, 0>, Mean<1, 0, 0>, Mean<0, 1, 0>, Mean<1, 1, 1>},
    {Mean<0, 0, 0>, Mean<1, 0, 1>, Mean<0, 2, 1>, Mean<1, 2, 2>,  //
     Mean<0, 0, 0>, Mean<1, 0, 0>, Mean<0, 2, 0>, Mean<1, 2, 1>},
    {Mean<0, 0, 0>, Vc1Vertical<0>, Vc1Horizontal<0>, Vc1TwoDimensional<0>,  //
     Mean<0, 0, 0>, Vc1Vertical<1>, Vc1Horizontal<1>, Vc1TwoDimensional<1>},
    {Bidir<0>, Bidir<1>, Bidir<2>, Bidir<3>, Bidir<4>, Bidir<5>, Bidir<6>, Bidir<7>,  //
     Bidir<8>, Bidir<9>, Bidir<10>, Bidir<11>, Bidir<12>, Bidir<13>, Bidir<14>, Bidir<15>},
};

void CMBCore::InitMcTables() {
  lumaKernels = kReferenceMcKernels.luma;
  chromaKernels = kReferenceMcKernels.chroma;
  vc1FourTapKernels = kReferenceMcKernels.vc1FourTap;
  bidirKernels = kReferenceMcKernels.bidir;
}

}  // namespace orx::dsp
