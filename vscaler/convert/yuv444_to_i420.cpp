#include "vscaler/convert/yuv444_to_i420.h"

#include <cstddef>

namespace orx::convert {

void ConvertYuv444PackedToI420(const uint8_t* source, int height, uint8_t* destination, int width,
                               int bottomUp) {
  if (source == nullptr || destination == nullptr || width <= 0 || height < 2) return;
  const size_t area = static_cast<size_t>(width) * static_cast<size_t>(height);
  const intptr_t sourcePitch = 4 * static_cast<intptr_t>(width);
  const uint8_t* first = source;
  intptr_t step = sourcePitch;
  if (bottomUp) {
    first = source + static_cast<intptr_t>(height - 1) * sourcePitch;
    step = -sourcePitch;
  }
  uint8_t* yPlane = destination;
  uint8_t* cbPlane = destination + area;
  uint8_t* crPlane = destination + area + area / 4;
  const int chromaPitch = width / 2;

  for (int k = 0; k < height / 2; ++k) {
    const uint8_t* top = first + (2 * k) * step;
    uint8_t* yTop = yPlane + static_cast<size_t>(2 * k) * width;
    ConvertYuv444PackedRowPair(top, top + step, width / 2, yTop, yTop + width,
                               cbPlane + static_cast<size_t>(k) * chromaPitch,
                               crPlane + static_cast<size_t>(k) * chromaPitch, 0);
  }
}

void ConvertYuv444PackedRowPair(const uint8_t* top, const uint8_t* bottom, int pairs, uint8_t* yTop,
                                uint8_t* yBottom, uint8_t* cb, uint8_t* cr, int rounding) {
  for (int c = 0; c < pairs; ++c) {
    const uint8_t* a = top + 8 * c;
    const uint8_t* b = bottom + 8 * c;
    yTop[2 * c] = a[2];
    yTop[2 * c + 1] = a[6];
    yBottom[2 * c] = b[2];
    yBottom[2 * c + 1] = b[6];
    cb[c] = static_cast<uint8_t>((a[1] + a[5] + b[1] + b[5] + rounding) >> 2);
    cr[c] = static_cast<uint8_t>((a[0] + a[4] + b[0] + b[4] + rounding) >> 2);
  }
}

}  // namespace orx::convert
