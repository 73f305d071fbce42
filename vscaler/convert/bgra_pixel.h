#pragma once
// The per-pixel fixed-point steps of the BGRA converter, shared by the plain reference and
// the scalar tail of the SSE2 kernel, so both produce the same bytes by construction.
#include <cstdint>

#include "vscaler/convert/bgra_to_i420.h"

namespace orx::convert::detail {

// Coefficients in units of 1/32768, offsets and clamps in units of 1/64.
struct BgraCoefficients {
  int16_t r, g, b, offset, low, high;
};
inline constexpr BgraCoefficients kLuma{8414, 16519, 3208, 1036, 1028, 15098};
inline constexpr BgraCoefficients kCb{-4856, -9535, 14392, 8232, 1028, 15420};
inline constexpr BgraCoefficients kCr{14392, -12051, -2340, 8232, 1028, 15420};

// High half of the signed 16 x 16-bit product: floor(x * c / 65536).
inline int16_t MulHigh(int16_t x, int16_t c) {
  return static_cast<int16_t>((static_cast<int32_t>(x) * c) >> 16);
}

// One output sample from a pixel's bytes (blue, green, red), 16-bit sums as in the kernel.
inline uint8_t BgraSample(const uint8_t* pixel, const BgraCoefficients& k) {
  int16_t b = static_cast<int16_t>(pixel[0] * 128);
  int16_t g = static_cast<int16_t>(pixel[1] * 128);
  int16_t r = static_cast<int16_t>(pixel[2] * 128);
  int16_t s = static_cast<int16_t>(MulHigh(b, k.b) + MulHigh(g, k.g) + MulHigh(r, k.r) + k.offset);
  if (s > k.high) s = k.high;
  if (s < k.low) s = k.low;
  return static_cast<uint8_t>(s >> 6);
}

// Converts pixels [first, width) of one row: luma for each, chroma (when cb/cr are given) for
// each complete pair at chroma column first/2 onwards. first must be even.
inline void BgraRowTail(const uint8_t* row, int first, int width, uint8_t* y, uint8_t* cb,
                        uint8_t* cr) {
  for (int x = first; x < width; ++x) y[x] = BgraSample(row + 4 * x, kLuma);
  if (cb == nullptr) return;
  for (int x = first; x + 1 < width; x += 2) {
    const uint8_t* p = row + 4 * x;
    cb[x / 2] = static_cast<uint8_t>((BgraSample(p, kCb) + BgraSample(p + 4, kCb)) >> 1);
    cr[x / 2] = static_cast<uint8_t>((BgraSample(p, kCr) + BgraSample(p + 4, kCr)) >> 1);
  }
}

// The destination rows of processed row i: its luma row, and its chroma rows when it feeds
// chroma (chroma row k comes from processed row 2k alone; an odd last row gives luma only).
struct RowTargets {
  uint8_t* y;
  uint8_t* cb;  // null when the row gives luma only
  uint8_t* cr;
};
inline RowTargets RowTargetsOf(const I420Planes& d, int i, int height) {
  RowTargets t{d.y + static_cast<intptr_t>(i) * d.yStride, nullptr, nullptr};
  if (i % 2 == 0 && i / 2 < height / 2) {
    t.cb = d.cb + static_cast<intptr_t>(i / 2) * d.cbStride;
    t.cr = d.cr + static_cast<intptr_t>(i / 2) * d.crStride;
  }
  return t;
}

}  // namespace orx::convert::detail
