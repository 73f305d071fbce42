// The reference VC-1 loop filters of CMBCore (slots 51-58): overlap smoothing of 16-bit
// reconstructed samples across 8x8 block edges, and the in-loop deblocking filter of the 8-bit
// picture in segments of four lines. These define the results of the SIMD variants.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "venc/dsp/mb_core.h"

namespace orx::dsp {
namespace {

constexpr int kBlockSide = 8;

// Overlap smoothing of the four samples across one edge: x0, x1 on one side (x1 next to the
// edge), x2, x3 on the other (x2 next to it). Rounding bit 1 gives the constants 4, 3, 4, 3,
// 0 gives 3, 4, 3, 4. Results wrap to 16 bits; reconstructed samples never come near that.
void SmoothLine(int16_t* x0, int16_t* x1, int16_t* x2, int16_t* x3, int rounding) {
  const int a = *x0, b = *x1, c = *x2, d = *x3;
  *x0 = static_cast<int16_t>((7 * a + d + 3 + rounding) >> 3);
  *x1 = static_cast<int16_t>((-a + 7 * b + c + d + 4 - rounding) >> 3);
  *x2 = static_cast<int16_t>((a + b + 7 * c - d + 3 + rounding) >> 3);
  *x3 = static_cast<int16_t>((a + 7 * d + 4 - rounding) >> 3);
}

int16_t* Advance(int16_t* samples, std::ptrdiff_t bytes) {
  return reinterpret_cast<int16_t*>(reinterpret_cast<uint8_t*>(samples) + bytes);
}

// Deblocking of one line P1..P8 (P1 at `line`, the next `step` bytes on); P4 and P5 may move
// towards each other. Answers whether the line lets the rest of its segment be filtered: its
// edge difference is at least 2 and it passes the threshold and activity tests, whether or not
// its own pixels changed.
bool DeblockLine(uint8_t* line, std::ptrdiff_t step, int pquant) {
  int p[9];
  for (int k = 1; k <= 8; ++k) p[k] = line[(k - 1) * step];
  const int a0 = (2 * (p[3] - p[6]) - 5 * (p[4] - p[5]) + 4) >> 3;
  if (std::abs(a0) >= pquant) return false;
  const int a1 = (2 * (p[1] - p[4]) - 5 * (p[2] - p[3]) + 4) >> 3;
  const int a2 = (2 * (p[5] - p[8]) - 5 * (p[6] - p[7]) + 4) >> 3;
  const int a3 = std::abs(a1) < std::abs(a2) ? std::abs(a1) : std::abs(a2);
  if (a3 >= std::abs(a0)) return false;
  const int clip = (p[4] - p[5]) / 2;  // truncated towards zero
  if (clip == 0) return false;
  int d = 0;
  if (clip > 0 && a0 < 0) {
    d = (5 * (-a0 - a3)) >> 3;
    if (d > clip) d = clip;
  } else if (clip < 0 && a0 > 0) {
    d = (5 * (a3 - a0) + 7) >> 3;  // 5 (a3 - a0) / 8 truncated towards zero
    if (d < clip) d = clip;
  }
  line[3 * step] = static_cast<uint8_t>(p[4] - d);
  line[4 * step] = static_cast<uint8_t>(p[5] + d);
  return true;
}

// One segment of four lines `lineStep` bytes apart: the third line decides whether lines 0, 1
// and 3 are filtered.
void DeblockSegment(uint8_t* firstLine, std::ptrdiff_t lineStep, std::ptrdiff_t sampleStep,
                    int pquant) {
  if (!DeblockLine(firstLine + 2 * lineStep, sampleStep, pquant)) return;
  DeblockLine(firstLine, sampleStep, pquant);
  DeblockLine(firstLine + lineStep, sampleStep, pquant);
  DeblockLine(firstLine + 3 * lineStep, sampleStep, pquant);
}

// `segments` segments along an edge, each four lines on from the last.
void DeblockEdge(uint8_t* firstLine, std::ptrdiff_t lineStep, std::ptrdiff_t sampleStep, int pquant,
                 int segments) {
  for (int s = 0; s < segments; ++s) {
    DeblockSegment(firstLine + 4 * s * lineStep, lineStep, sampleStep, pquant);
  }
}

// Interleaved chroma: mask bit 1 selects Cb (even bytes), bit 0 Cr (odd bytes).
constexpr int kCbBit = 2, kCrBit = 1;

}  // namespace

// Rows 0, 2, 4, 6 round with 1, rows 1, 3, 5, 7 with 0.
void CMBCore::OverlapSmoothVertEdge(int16_t* left, int16_t* right) {
  for (int r = 0; r < kBlockSide; ++r) {
    int16_t* l = left + kBlockSide * r;
    int16_t* q = right + kBlockSide * r;
    SmoothLine(&l[6], &l[7], &q[0], &q[1], 1 - (r & 1));
  }
}

// The caller's rounding bit holds for every row; strides are in bytes.
void CMBCore::OverlapSmoothVertEdgeRows(int16_t* left, int16_t* right, int leftStride,
                                        int rightStride, int rows, int rounding) {
  for (int r = 0; r < rows; ++r) {
    int16_t* l = Advance(left, static_cast<std::ptrdiff_t>(r) * leftStride);
    int16_t* q = Advance(right, static_cast<std::ptrdiff_t>(r) * rightStride);
    SmoothLine(&l[6], &l[7], &q[0], &q[1], rounding);
  }
}

// Columns 0, 2, 4, 6 round with 1, columns 1, 3, 5, 7 with 0.
void CMBCore::OverlapSmoothHorzEdge(int16_t* upperRows, int16_t* lower) {
  for (int c = 0; c < kBlockSide; ++c) {
    SmoothLine(&upperRows[c], &upperRows[kBlockSide + c], &lower[c], &lower[kBlockSide + c],
               1 - (c & 1));
  }
}

// 16 samples from each of the four blocks Y2, Y3, Cb and Cr (64 samples apart, from sample 128).
void CMBCore::SaveOverlapContext(int16_t* context, const int16_t* source) {
  constexpr int kRun = 2 * kBlockSide;
  for (int i = 0; i < 4; ++i) {
    std::memcpy(context + kRun * i, source + 128 + 64 * i, kRun * sizeof(int16_t));
  }
}

// A line is a column: P1 four rows above the given row, P5 in it.
void CMBCore::DeblockHorzEdgeVc1(uint8_t* pixels, int stride, int pquant, int segments) {
  DeblockEdge(pixels - 4 * static_cast<std::ptrdiff_t>(stride), 1, stride, pquant, segments);
}

void CMBCore::DeblockHorzEdgeMaskedVc1(uint8_t* pixels, int stride, int pquant, int componentMask,
                                       int segments) {
  uint8_t* first = pixels - 4 * static_cast<std::ptrdiff_t>(stride);
  if (componentMask & kCbBit) DeblockEdge(first, 2, stride, pquant, segments);
  if (componentMask & kCrBit) DeblockEdge(first + 1, 2, stride, pquant, segments);
}

// A line is a row: P1..P8 are the eight bytes from the given pointer.
void CMBCore::DeblockVertEdgeVc1(uint8_t* pixels, int stride, int pquant, int segments) {
  DeblockEdge(pixels, stride, 1, pquant, segments);
}

void CMBCore::DeblockVertEdgeMaskedVc1(uint8_t* pixels, int stride, int pquant, int componentMask,
                                       int segments) {
  if (componentMask & kCbBit) DeblockEdge(pixels, stride, 2, pquant, segments);
  if (componentMask & kCrBit) DeblockEdge(pixels + 1, stride, 2, pquant, segments);
}

}  // namespace orx::dsp
