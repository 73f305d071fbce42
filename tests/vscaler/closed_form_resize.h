#pragma once
// The closed form of the nearest-neighbour resize, against which the scaler is checked:
// destination element (j, i) takes source element (floor(j * srcH / dstH), floor(i * srcW / dstW)).
#include <cstdint>
#include <cstring>
#include <vector>

namespace orx::vscaler::test {

// Writes into dst (pitches in bytes, element size e); flip writes the rows bottom-up.
inline void ClosedFormResize(const uint8_t* src, int e, int srcW, int srcH, int srcPitchBytes, uint8_t* dst, int dstW,
                             int dstH, int dstPitchBytes, bool flip = false) {
  for (int j = 0; j < dstH; ++j) {
    int sy = static_cast<int>(static_cast<int64_t>(j) * srcH / dstH);
    int row = flip ? dstH - 1 - j : j;
    for (int i = 0; i < dstW; ++i) {
      int sx = static_cast<int>(static_cast<int64_t>(i) * srcW / dstW);
      std::memcpy(dst + static_cast<size_t>(row) * dstPitchBytes + static_cast<size_t>(i) * e,
                  src + static_cast<size_t>(sy) * srcPitchBytes + static_cast<size_t>(sx) * e, e);
    }
  }
}

// Planar 4:2:0 frame (planes back to back, pitches W and W/2) resized plane by plane from the
// picture area of a frame of pitch srcW to a dstW x dstH frame.
inline std::vector<uint8_t> ClosedFormPlanar(const uint8_t* src, int srcW, int srcH, int picW, int picH, int dstW,
                                             int dstH) {
  const size_t srcArea = static_cast<size_t>(srcW) * srcH, dstArea = static_cast<size_t>(dstW) * dstH;
  std::vector<uint8_t> out(dstArea + 2 * (dstArea / 4));
  ClosedFormResize(src, 1, picW, picH, srcW, out.data(), dstW, dstH, dstW);
  for (int p = 0; p < 2; ++p) {
    const size_t srcOffset = srcArea + p * (srcArea / 4), dstOffset = dstArea + p * (dstArea / 4);
    ClosedFormResize(src + srcOffset, 1, picW / 2, picH / 2, srcW / 2, out.data() + dstOffset, dstW / 2, dstH / 2,
                     dstW / 2);
  }
  return out;
}

}  // namespace orx::vscaler::test
