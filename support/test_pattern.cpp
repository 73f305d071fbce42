#include "support/test_pattern.h"

#include <cmath>
#include <vector>

namespace orx::support {
namespace {

constexpr double kPi = 3.14159265358979323846;

uint8_t Clamp(double v, int low, int high) {
  long r = std::lround(v);
  if (r < low) r = low;
  if (r > high) r = high;
  return static_cast<uint8_t>(r);
}

// A moving scene: a drifting smooth background, a square that slides across the frame, a disc
// that circles, and a patch of fine stripes, so that an encoder has motion and detail to code.
struct Scene {
  int width;
  int height;
  double t;  // frame index

  // Background = 125 + ColumnWave(x) * RowScale(y) + RowWave(y).
  double ColumnWave(int x) const {
    return 40.0 * std::sin(2.0 * kPi * (static_cast<double>(x) / width + t / 150.0));
  }
  double RowScale(int y) const {
    return std::cos(2.0 * kPi * static_cast<double>(y) / height * 0.75);
  }
  double RowWave(int y) const {
    return 125.0 + 15.0 * std::sin(2.0 * kPi * (static_cast<double>(y) / height * 2.0 - t / 90.0));
  }
  bool InSquare(double x, double y) const {
    double side = height / 5.0;
    double left = std::fmod(t * 4.0, width + side) - side;
    double top = height * 0.15;
    return x >= left && x < left + side && y >= top && y < top + side;
  }
  bool InDisc(double x, double y) const {
    double cx = width * (0.5 + 0.25 * std::cos(2.0 * kPi * t / 120.0));
    double cy = height * (0.6 + 0.2 * std::sin(2.0 * kPi * t / 120.0));
    double r = height / 8.0;
    return (x - cx) * (x - cx) + (y - cy) * (y - cy) < r * r;
  }
  bool InStripes(double x, double y) const {
    return x >= width * 0.05 && x < width * 0.3 && y >= height * 0.7 && y < height * 0.95;
  }

  uint8_t Luma(int x, int y, double background) const {
    double v = background;
    if (InStripes(x, y)) v += ((x / 3 + static_cast<int>(t)) % 2) ? 25.0 : -25.0;
    if (InSquare(x, y)) v = 185.0;
    if (InDisc(x, y)) v = 70.0;
    return Clamp(v, 60, 190);
  }
  // Chroma at the centre of a 2x2 block.
  void Chroma(int cx, int cy, uint8_t& cb, uint8_t& cr) const {
    double x = cx * 2.0 + 0.5, y = cy * 2.0 + 0.5;
    double u = x / width, v = y / height;
    double b = 128.0 + 20.0 * std::sin(2.0 * kPi * (v + t / 200.0));
    double r = 128.0 + 20.0 * std::cos(2.0 * kPi * (u - t / 240.0));
    if (InSquare(x, y)) {
      b = 150.0;
      r = 106.0;
    }
    if (InDisc(x, y)) {
      b = 108.0;
      r = 150.0;
    }
    cb = Clamp(b, 103, 153);
    cr = Clamp(r, 103, 153);
  }
};

}  // namespace

size_t TestPatternFrameBytes(int width, int height) {
  if (width <= 0 || height <= 0) return 0;
  size_t cw = static_cast<size_t>(width + 1) / 2, ch = static_cast<size_t>(height + 1) / 2;
  return static_cast<size_t>(width) * height + 2 * cw * ch;
}

void RenderTestPattern(int width, int height, int64_t index, uint8_t* planes) {
  if (width <= 0 || height <= 0) return;
  Scene scene{width, height, static_cast<double>(index)};
  // The background is a sum of products of one column term and one row term: computed once
  // per column and row, not per pixel.
  std::vector<double> column(static_cast<size_t>(width));
  for (int x = 0; x < width; ++x) column[x] = scene.ColumnWave(x);
  uint8_t* y = planes;
  for (int row = 0; row < height; ++row) {
    double across = scene.RowScale(row), drift = scene.RowWave(row);
    uint8_t* out = y + static_cast<size_t>(row) * width;
    for (int col = 0; col < width; ++col) {
      out[col] = scene.Luma(col, row, column[col] * across + drift);
    }
  }
  int cw = (width + 1) / 2, ch = (height + 1) / 2;
  uint8_t* cb = planes + static_cast<size_t>(width) * height;
  uint8_t* cr = cb + static_cast<size_t>(cw) * ch;
  for (int row = 0; row < ch; ++row) {
    for (int col = 0; col < cw; ++col) {
      size_t at = static_cast<size_t>(row) * cw + col;
      scene.Chroma(col, row, cb[at], cr[at]);
    }
  }
}

}  // namespace orx::support
