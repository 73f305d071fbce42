#include "vscaler/convert/bgra_to_i420.h"

#include <cstddef>

#include "vscaler/convert/bgra_pixel.h"

namespace orx::convert {

void BgraToI420Plain(const uint8_t* firstRow, intptr_t rowStep, int width, int height,
                     const I420Planes& destination) {
  for (int i = 0; i < height; ++i) {
    const detail::RowTargets t = detail::RowTargetsOf(destination, i, height);
    detail::BgraRowTail(firstRow + i * rowStep, 0, width, t.y, t.cb, t.cr);
  }
}

I420Planes PackedI420Planes(uint8_t* destination, int width, int height) {
  size_t area = static_cast<size_t>(width > 0 ? width : 0) * static_cast<size_t>(height > 0 ? height : 0);
  I420Planes planes;
  planes.y = destination;
  planes.cb = destination + area;
  planes.cr = destination + area + area / 4;
  planes.yStride = width;
  planes.cbStride = width / 2;
  planes.crStride = width / 2;
  return planes;
}

void PreprocBgraToI420With(BgraToI420Kernel kernel, const uint8_t* source, int sourceStride,
                           int width, int height, const I420Planes& destination, int bottomUp) {
  if (width <= 0 || height <= 0 || source == nullptr) return;
  const uint8_t* first = source;
  intptr_t step = sourceStride;
  if (bottomUp) {
    first = source + static_cast<intptr_t>(height - 1) * sourceStride;
    step = -step;
  }
  kernel(first, step, width, height, destination);
}

void PreprocBgraToI420(const uint8_t* source, int sourceStride, int width, int height,
                       const I420Planes& destination, int bottomUp) {
  PreprocBgraToI420With(BgraToI420Sse2, source, sourceStride, width, height, destination, bottomUp);
}

void PreprocBgraToI420(uint8_t* destination, const uint8_t* source, int width, int height,
                       int bottomUp) {
  if (width <= 0 || height <= 0 || destination == nullptr) return;
  PreprocBgraToI420(source, 4 * width, width, height, PackedI420Planes(destination, width, height),
                    bottomUp);
}

void ConvertBgraToI420(uint8_t* destination, const uint8_t* source, int width, int height,
                       int bottomUp) {
  PreprocBgraToI420(destination, source, width, height, bottomUp);
}

}  // namespace orx::convert
