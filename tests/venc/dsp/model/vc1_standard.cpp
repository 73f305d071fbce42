#include "tests/venc/dsp/model/vc1_standard.h"

#include <algorithm>
#include <cstdlib>

namespace orx::dsp::model {
namespace {

// The bicubic filters by quarter position, with the shift that normalises each.
struct BicubicFilter {
  int tap[4];
  int shift;
};
constexpr BicubicFilter kFilters[4] = {
    {{0, 1, 0, 0}, 0}, {{-4, 53, 18, -3}, 6}, {{-1, 9, 9, -1}, 4}, {{-3, 18, 53, -4}, 6}};

int Clip255(int v) { return std::clamp(v, 0, 255); }

int Vertical(const uint8_t* p, std::ptrdiff_t stride, const BicubicFilter& f) {
  int sum = 0;
  for (int k = 0; k < 4; ++k) sum += f.tap[k] * p[(k - 1) * stride];
  return sum;
}

int Sign(int v) { return (v > 0) - (v < 0); }

// One pixel pair P1..P8; answers whether the other three pairs of the segment are filtered.
bool FilterPair(uint8_t* line, std::ptrdiff_t step, int pquant) {
  int P[9];
  for (int k = 1; k <= 8; ++k) P[k] = line[(k - 1) * step];
  bool filterOther3 = false;
  const int a0 = (2 * (P[3] - P[6]) - 5 * (P[4] - P[5]) + 4) >> 3;
  if (std::abs(a0) < pquant) {
    const int a1 = (2 * (P[1] - P[4]) - 5 * (P[2] - P[3]) + 4) >> 3;
    const int a2 = (2 * (P[5] - P[8]) - 5 * (P[6] - P[7]) + 4) >> 3;
    const int a3 = std::min(std::abs(a1), std::abs(a2));
    if (a3 < std::abs(a0)) {
      int d = 5 * ((Sign(a0) * a3) - a0) / 8;
      const int clip = (P[4] - P[5]) / 2;
      if (clip != 0) {
        filterOther3 = true;
        if (clip > 0) {
          if (d < 0) d = 0;
          if (d > clip) d = clip;
        } else {
          if (d > 0) d = 0;
          if (d < clip) d = clip;
        }
        line[3 * step] = static_cast<uint8_t>(P[4] - d);
        line[4 * step] = static_cast<uint8_t>(P[5] + d);
      }
    }
  }
  return filterOther3;
}

}  // namespace

uint8_t Vc1BicubicSample(const uint8_t* p, std::ptrdiff_t stride, int dx, int dy, int rnd) {
  const BicubicFilter& h = kFilters[dx];
  const BicubicFilter& v = kFilters[dy];
  if (dx == 0 && dy == 0) return p[0];
  if (dx == 0) {
    return static_cast<uint8_t>(
        Clip255((Vertical(p, stride, v) + (1 << (v.shift - 1)) - 1 + rnd) >> v.shift));
  }
  if (dy == 0) {
    return static_cast<uint8_t>(
        Clip255((Vertical(p, 1, h) + (1 << (h.shift - 1)) - rnd) >> h.shift));
  }
  // Vertical first, keeping 7 bits of the two gains for the horizontal stage.
  const int shift = v.shift + h.shift - 7;
  int column[4];
  for (int k = 0; k < 4; ++k) {
    column[k] = (Vertical(p + k - 1, stride, v) + (1 << (shift - 1)) - 1 + rnd) >> shift;
  }
  int sum = 0;
  for (int k = 0; k < 4; ++k) sum += h.tap[k] * column[k];
  return static_cast<uint8_t>(Clip255((sum + 64 - rnd) >> 7));
}

uint8_t Vc1BilinearSample(const uint8_t* p, std::ptrdiff_t stride, std::ptrdiff_t next, int dx,
                          int dy, int rnd) {
  const int sum = (4 - dx) * (4 - dy) * p[0] + dx * (4 - dy) * p[next] + (4 - dx) * dy * p[stride] +
                  dx * dy * p[stride + next];
  return static_cast<uint8_t>((sum + 8 - rnd) >> 4);
}

int Vc1ChromaVector(int lumaVector, bool fastChroma) {
  static const int kRound[4] = {0, 0, 0, 1};
  int c = (lumaVector + kRound[lumaVector & 3]) >> 1;
  if (fastChroma && (c & 1)) c += c < 0 ? 1 : -1;
  return c;
}

void Vc1OverlapFilter(int x[4], int rnd) {
  static const int kMatrix[4][4] = {{7, 0, 0, 1}, {-1, 7, 1, 1}, {1, 1, 7, -1}, {1, 0, 0, 7}};
  const int r[4] = {3 + rnd, 4 - rnd, 3 + rnd, 4 - rnd};
  int y[4];
  for (int i = 0; i < 4; ++i) {
    int sum = r[i];
    for (int j = 0; j < 4; ++j) sum += kMatrix[i][j] * x[j];
    y[i] = sum >> 3;
  }
  for (int i = 0; i < 4; ++i) x[i] = y[i];
}

void Vc1LoopFilterSegment(uint8_t* lines, std::ptrdiff_t lineStep, std::ptrdiff_t sampleStep,
                          int pquant) {
  if (FilterPair(lines + 2 * lineStep, sampleStep, pquant)) {
    FilterPair(lines, sampleStep, pquant);
    FilterPair(lines + lineStep, sampleStep, pquant);
    FilterPair(lines + 3 * lineStep, sampleStep, pquant);
  }
}

}  // namespace orx::dsp::model
