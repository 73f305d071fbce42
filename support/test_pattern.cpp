#include "support/test_pattern.h"

#include <algorithm>
#include <cmath>
#include <vector>

namespace orx::support {
namespace {

constexpr double kPi = 3.14159265358979323846;

// Rounds half away from zero as lround does for the values that matter (low >= 0: a negative
// value ends at low either way), without its cost per sample.
uint8_t Clamp(double v, int low, int high) {
  long r = static_cast<long>(v);
  if (v - static_cast<double>(r) >= 0.5) ++r;
  if (r < low) r = low;
  if (r > high) r = high;
  return static_cast<uint8_t>(r);
}

// A moving scene: a drifting smooth background, a square that slides across the frame, a disc
// that circles, and a patch of fine stripes, so that an encoder has motion and detail to code.
struct Scene {
  Scene(int w, int h, double frame)
      : width(w),
        height(h),
        t(frame),
        squareSide(h / 5.0),
        squareLeft(std::fmod(frame * 4.0, w + squareSide) - squareSide),
        squareTop(h * 0.15),
        discX(w * (0.5 + 0.25 * std::cos(2.0 * kPi * frame / 120.0))),
        discY(h * (0.6 + 0.2 * std::sin(2.0 * kPi * frame / 120.0))),
        discRadius(h / 8.0) {}

  int width;
  int height;
  double t;  // frame index
  // Where the square and the disc are in this frame (computed once, not per pixel).
  double squareSide, squareLeft, squareTop;
  double discX, discY, discRadius;

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
    return x >= squareLeft && x < squareLeft + squareSide && y >= squareTop &&
           y < squareTop + squareSide;
  }
  bool InDisc(double x, double y) const {
    return (x - discX) * (x - discX) + (y - discY) * (y - discY) < discRadius * discRadius;
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
  // Chroma waves: blue along the rows, red along the columns (chroma block coordinates).
  double BlueWave(int cy) const {
    double v = (cy * 2.0 + 0.5) / height;
    return 128.0 + 20.0 * std::sin(2.0 * kPi * (v + t / 200.0));
  }
  double RedWave(int cx) const {
    double u = (cx * 2.0 + 0.5) / width;
    return 128.0 + 20.0 * std::cos(2.0 * kPi * (u - t / 240.0));
  }
  // Chroma at the centre of a 2x2 block.
  void Chroma(int cx, int cy, double blue, double red, uint8_t& cb, uint8_t& cr) const {
    double x = cx * 2.0 + 0.5, y = cy * 2.0 + 0.5;
    double b = blue, r = red;
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
  Scene scene(width, height, static_cast<double>(index));
  // The background is a sum of products of one column term and one row term: computed once
  // per column and row, not per pixel.
  std::vector<double> column(static_cast<size_t>(width));
  for (int x = 0; x < width; ++x) column[x] = scene.ColumnWave(x);
  // Where the stripes and the square lie, by column; the disc's columns by its bounding box.
  // Pixels outside them take the background alone.
  std::vector<uint8_t> stripeColumn(static_cast<size_t>(width)), squareColumn(stripeColumn);
  for (int x = 0; x < width; ++x) {
    stripeColumn[x] = scene.InStripes(x, height * 0.8);
    squareColumn[x] = scene.InSquare(x, scene.squareTop);
  }
  int discLeft = std::max(0, static_cast<int>(scene.discX - scene.discRadius) - 1);
  int discRight = std::min(width, static_cast<int>(scene.discX + scene.discRadius) + 2);
  uint8_t* y = planes;
  for (int row = 0; row < height; ++row) {
    double across = scene.RowScale(row), drift = scene.RowWave(row);
    bool stripes = scene.InStripes(width * 0.1, row), square = scene.InSquare(scene.squareLeft, row);
    bool disc = std::fabs(row - scene.discY) <= scene.discRadius + 1.0;
    uint8_t* out = y + static_cast<size_t>(row) * width;
    for (int col = 0; col < width; ++col) {
      bool special = (stripes && stripeColumn[col]) || (square && squareColumn[col]) ||
                     (disc && col >= discLeft && col < discRight);
      double background = column[col] * across + drift;
      out[col] = special ? scene.Luma(col, row, background) : Clamp(background, 60, 190);
    }
  }
  int cw = (width + 1) / 2, ch = (height + 1) / 2;
  uint8_t* cb = planes + static_cast<size_t>(width) * height;
  uint8_t* cr = cb + static_cast<size_t>(cw) * ch;
  std::vector<double> red(static_cast<size_t>(cw));
  for (int col = 0; col < cw; ++col) red[col] = scene.RedWave(col);
  for (int row = 0; row < ch; ++row) {
    double blue = scene.BlueWave(row);
    for (int col = 0; col < cw; ++col) {
      size_t at = static_cast<size_t>(row) * cw + col;
      scene.Chroma(col, row, blue, red[col], cb[at], cr[at]);
    }
  }
}

}  // namespace orx::support
