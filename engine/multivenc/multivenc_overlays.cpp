// What MULTIVENC can draw into a converted frame's luma plane: the built-in mark and the box that
// shows which instance encodes a frame. Both are clipped to the plane.
#include <algorithm>
#include <array>

#include "engine/multivenc/multivenc.h"

namespace {

constexpr uint8_t kMarkLight = 235;
constexpr uint8_t kMarkDark = 16;
constexpr uint8_t kMarkerBorder = 0xC8;
constexpr uint8_t kMarkerInside = 0x8C;
constexpr int64_t kMarkerSize = 16;

// The mark: a light frame one sample wide around a dark field crossed by light diagonal bands
// three samples wide, every eight samples.
std::array<uint8_t, kMarkWidth * kMarkHeight> MakeMark() {
  std::array<uint8_t, kMarkWidth * kMarkHeight> image{};
  for (uint32_t y = 0; y < kMarkHeight; ++y) {
    for (uint32_t x = 0; x < kMarkWidth; ++x) {
      const bool border = x == 0 || y == 0 || x == kMarkWidth - 1 || y == kMarkHeight - 1;
      const bool band = (x + y) % 8 < 3;
      image[y * kMarkWidth + x] = border || band ? kMarkLight : kMarkDark;
    }
  }
  return image;
}

}  // namespace

const uint8_t* MarkImage() {
  static const std::array<uint8_t, kMarkWidth * kMarkHeight> image = MakeMark();
  return image.data();
}

void DrawMark(uint8_t* luma, uint32_t pitch, uint32_t width, uint32_t height, int32_t x, int32_t y, uint32_t fade) {
  const uint8_t* mark = MarkImage();
  const uint32_t show = 255 - std::min<uint32_t>(fade, 255);
  for (int32_t my = 0; my < static_cast<int32_t>(kMarkHeight); ++my) {
    const int64_t row = int64_t{y} + my;
    if (row < 0 || row >= static_cast<int64_t>(height)) continue;
    for (int32_t mx = 0; mx < static_cast<int32_t>(kMarkWidth); ++mx) {
      const int64_t column = int64_t{x} + mx;
      if (column < 0 || column >= static_cast<int64_t>(width)) continue;
      uint8_t& sample = luma[row * pitch + column];
      const uint32_t blended = (mark[my * kMarkWidth + mx] * show + sample * (255 - show) + 127) / 255;
      sample = static_cast<uint8_t>(blended);
    }
  }
}

void DrawSlotMarker(uint8_t* luma, uint32_t pitch, uint32_t width, uint32_t height, int64_t x, int64_t y) {
  const int64_t top = std::max<int64_t>(y, 0);
  const int64_t bottom = std::min<int64_t>(y + kMarkerSize, height);
  const int64_t left = std::max<int64_t>(x, 0);
  const int64_t right = std::min<int64_t>(x + kMarkerSize, width);
  for (int64_t row = top; row < bottom; ++row) {
    for (int64_t column = left; column < right; ++column) {
      const bool border = row == y || row == y + kMarkerSize - 1 || column == x || column == x + kMarkerSize - 1;
      luma[row * pitch + column] = border ? kMarkerBorder : kMarkerInside;
    }
  }
}
