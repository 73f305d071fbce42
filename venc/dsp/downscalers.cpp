// Plain 2:1 downscalers of the preprocessor. The source is a band of packed rows (twice the
// output width for the horizontal and 2x2 forms, the output width for the vertical form);
// averages round up.
#include <cstdint>

#include "venc/dsp/preproc_core.h"

namespace orx::dsp {
namespace {

inline uint8_t Average(int a, int b) { return static_cast<uint8_t>((a + b + 1) >> 1); }
inline uint8_t Average4(int a, int b, int c, int d) {
  return static_cast<uint8_t>((a + b + c + d + 2) >> 2);
}

}  // namespace

void CPreprocCore::DownscaleHorz(uint8_t* destination, const uint8_t* source, int width, int rows,
                                 int destinationSkip) {
  for (int r = 0; r < rows; ++r, source += 2 * width, destination += width + destinationSkip) {
    for (int i = 0; i < width; ++i) destination[i] = Average(source[2 * i], source[2 * i + 1]);
  }
}

// Cb at even, Cr at odd bytes: each output pair averages two neighbouring source pairs.
void CPreprocCore::DownscaleHorzChroma(uint8_t* destination, const uint8_t* source, int width,
                                       int rows, int destinationSkip) {
  for (int r = 0; r < rows; ++r, source += 2 * width, destination += width + destinationSkip) {
    for (int i = 0; i < width; ++i) {
      const int pair = i >> 1, component = i & 1;
      destination[i] = Average(source[4 * pair + component], source[4 * pair + 2 + component]);
    }
  }
}

void CPreprocCore::Downscale2x2(uint8_t* destination, const uint8_t* source, int width, int rows,
                                int destinationSkip) {
  for (int r = 0; r < rows; ++r, source += 4 * width, destination += width + destinationSkip) {
    const uint8_t* next = source + 2 * width;
    for (int i = 0; i < width; ++i) {
      destination[i] = Average4(source[2 * i], source[2 * i + 1], next[2 * i], next[2 * i + 1]);
    }
  }
}

void CPreprocCore::Downscale2x2Chroma(uint8_t* destination, const uint8_t* source, int width,
                                      int rows, int destinationSkip) {
  for (int r = 0; r < rows; ++r, source += 4 * width, destination += width + destinationSkip) {
    const uint8_t* next = source + 2 * width;
    for (int i = 0; i < width; ++i) {
      const int first = 4 * (i >> 1) + (i & 1), second = first + 2;
      destination[i] = Average4(source[first], source[second], next[first], next[second]);
    }
  }
}

void CPreprocCore::DownscaleVert(uint8_t* destination, const uint8_t* source, int width, int rows,
                                 int destinationSkip) {
  for (int r = 0; r < rows; ++r, source += 2 * width, destination += width + destinationSkip) {
    for (int i = 0; i < width; ++i) destination[i] = Average(source[i], source[width + i]);
  }
}

}  // namespace orx::dsp
