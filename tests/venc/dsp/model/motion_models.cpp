#include "tests/venc/dsp/model/motion_models.h"

#include <cstdlib>

namespace orx::dsp::model {

int HalfSample(const uint8_t* reference, int stride, int y, int x, int h, int v) {
  const uint8_t* p = reference + y * stride + x;
  if (h && v) return DiagonalTwoStep(p[0], p[1], p[stride], p[stride + 1]);
  if (h) return Avg(p[0], p[1]);
  if (v) return Avg(p[0], p[stride]);
  return p[0];
}

uint32_t SadHalfPel16(const uint8_t* block, int stride, int rows, const uint8_t* reference,
                      int halfX, int halfY) {
  uint32_t sum = 0;
  for (int y = 0; y < rows; ++y) {
    for (int x = 0; x < 16; ++x) {
      sum += std::abs(HalfSample(reference, stride, y, x, halfX != 0, halfY != 0) -
                      block[y * stride + x]);
    }
  }
  return sum;
}

uint32_t SadBidirHalfPel16(const uint8_t* block, int stride, int rows, const uint8_t* a,
                           const uint8_t* b, int halfXA, int halfYA, int halfXB, int halfYB) {
  uint32_t sum = 0;
  for (int y = 0; y < rows; ++y) {
    for (int x = 0; x < 16; ++x) {
      int pa = HalfSample(a, stride, y, x, halfXA != 0, halfYA != 0);
      int pb = HalfSample(b, stride, y, x, halfXB != 0, halfYB != 0);
      sum += std::abs(Avg(pa, pb) - block[y * stride + x]);
    }
  }
  return sum;
}

int RefineHalfPelVert(const uint8_t* block, int stride, int rows, const uint8_t* reference,
                      int halfX, int* direction, int predictedDirection, int bias) {
  int up = static_cast<int>(SadHalfPel16(block, stride, rows, reference - stride, halfX, 1));
  int down = static_cast<int>(SadHalfPel16(block, stride, rows, reference, halfX, 1));
  if (predictedDirection == -1) up -= bias;
  if (predictedDirection == 1) down -= bias;
  *direction = down < up ? 1 : -1;
  return down < up ? down : up;
}

void DecimatePlane(uint8_t* destination, const uint8_t* source, int width, int height,
                   int sourceStride, int sourceSkip) {
  for (int j = 0; j < height; ++j) {
    const uint8_t* s0 = source;
    const uint8_t* s1 = source + sourceStride;
    for (int i = 0; i < width; ++i) {
      *destination++ = static_cast<uint8_t>(
          DecimateTwoStep(s0[2 * i], s0[2 * i + 1], s1[2 * i], s1[2 * i + 1]));
    }
    source += 2 * width + sourceSkip;
  }
}

void DecimateBlock(uint8_t* destination, const uint8_t* source, int stride) {
  DecimatePlane(destination, source, 8, 8, stride, 2 * stride - 16);
}

int DecimateQuadrants(uint8_t* destination, const uint8_t* source, int stride) {
  uint8_t whole[64];
  DecimateBlock(whole, source, stride);
  for (int j = 0; j < 8; ++j) {
    for (int i = 0; i < 8; ++i) {
      int quadrant = 2 * (j / 4) + i / 4;
      destination[16 * quadrant + 4 * (j % 4) + i % 4] = whole[8 * j + i];
    }
  }
  return 4;
}

namespace {

// SAD of 4 rows of `width` samples: block rows blockStep bytes apart, candidate rows
// rowStep strides apart.
uint32_t Sad4Rows(const uint8_t* p, int stride, int rowStep, const uint8_t* block, int blockStep,
                  int width) {
  uint32_t sum = 0;
  for (int r = 0; r < 4; ++r) {
    for (int c = 0; c < width; ++c) {
      sum += std::abs(p[r * rowStep * stride + c] - block[r * blockStep + c]);
    }
  }
  return sum;
}

// A row-by-row scan: each row's running best starts at the overall best and replaces it after
// the row only when strictly lower.
template <typename Cost>
uint32_t RowScan(int nx, int ny, int* x, int* y, uint32_t best, Cost cost) {
  for (int cy = 0; cy < ny; ++cy) {
    uint32_t rowBest = best;
    int rowX = -1;
    for (int cx = 0; cx < nx; ++cx) {
      uint32_t c = cost(cx, cy);
      if (c < rowBest) rowBest = c, rowX = cx;
    }
    if (rowX >= 0 && rowBest < best) best = rowBest, *x = rowX, *y = cy;
  }
  return best;
}

// Pairs of rows; the lower candidate may also win on equal cost.
template <typename Cost>
uint32_t PairScan(int nx, int ny, int* x, int* y, uint32_t best, bool lowerOnEqual, Cost cost) {
  for (int cy = 0; cy < ny; cy += 2) {
    uint32_t pairBest = best;
    int pairX = -1, pairY = -1;
    for (int cx = 0; cx < nx; ++cx) {
      uint32_t upper = cost(cx, cy);
      if (upper < pairBest) pairBest = upper, pairX = cx, pairY = cy;
      uint32_t lower = cost(cx, cy + 1);
      if (lower < pairBest || (lowerOnEqual && lower == pairBest)) {
        pairBest = lower, pairX = cx, pairY = cy + 1;
      }
    }
    if (pairX >= 0 && pairBest < best) best = pairBest, *x = pairX, *y = pairY;
  }
  return best;
}

}  // namespace

int SearchWindow8x4Stride2(const uint8_t* window, const uint8_t* block, int stride, int nx,
                           int ny, int* x, int* y) {
  auto cost = [&](int cx, int cy) {
    return Sad4Rows(window + cy * stride + cx, stride, 2, block, 16, 8);
  };
  int predictor = static_cast<int>(cost(*x, *y));
  if (predictor <= 16) return 0;
  return static_cast<int>(RowScan(nx, ny, x, y, predictor - 4, cost));
}

int SearchWindow8x4Stride4(const uint8_t* window, const uint8_t* block, int stride, int nx,
                           int ny, int* x, int* y) {
  auto cost = [&](int cx, int cy) {
    return Sad4Rows(window + cy * stride + cx, stride, 4, block, 16, 8);
  };
  uint32_t best = cost(*x, *y);
  if (best <= 16) return static_cast<int>(best);
  best -= 4;
  for (int cy = 0; cy < ny; ++cy) {
    int cx = 0;
    while (cx < nx) {
      uint32_t c = cost(cx, cy);
      if (c < best) {
        best = c, *x = cx, *y = cy;
        ++cx;
      } else {
        cx += 2;  // a candidate that does not improve skips its right neighbour
      }
    }
  }
  return static_cast<int>(best);
}

int SearchWindow4x4Threshold(const uint8_t* window, const uint8_t* block, int stride, int nx,
                             int ny, int* x, int* y, int threshold) {
  uint8_t q[16];
  for (int j = 0; j < 4; ++j) {
    for (int i = 0; i < 4; ++i) {
      const uint8_t* s = block + 16 * j + 2 * i;
      q[4 * j + i] = static_cast<uint8_t>(DecimateTwoStep(s[0], s[1], s[8], s[9]));
    }
  }
  auto cost = [&](int cx, int cy) { return Sad4Rows(window + cy * stride + cx, stride, 1, q, 4, 4); };
  const uint32_t limit = static_cast<uint32_t>(threshold);
  uint32_t predictor = cost(*x, *y);
  if (predictor <= limit) return static_cast<int>(predictor);
  return static_cast<int>(PairScan(nx, ny, x, y, predictor - (limit >> 1), true, cost));
}

int SearchWindowRowPairs(const uint8_t* window, const uint8_t* block, int stride, int nx, int ny,
                         int* x, int* y, int threshold) {
  uint8_t q[32];
  for (int j = 0; j < 4; ++j) {
    for (int i = 0; i < 8; ++i) q[8 * j + i] = static_cast<uint8_t>(Avg(block[16 * j + i], block[16 * j + 8 + i]));
  }
  auto cost = [&](int cx, int cy) { return Sad4Rows(window + cy * stride + cx, stride, 1, q, 8, 8); };
  const uint32_t limit = static_cast<uint32_t>(threshold);
  uint32_t predictor = cost(*x, *y);
  if (predictor <= limit) return static_cast<int>(predictor);
  return static_cast<int>(RowScan(nx, ny, x, y, predictor - (limit >> 1), cost));
}

int SearchWindowThreshold2(const uint8_t* window, const uint8_t* block, int stride, int nx,
                           int ny, int* x, int* y, int threshold) {
  auto cost = [&](int cx, int cy) {
    return Sad4Rows(window + cy * stride + cx, stride, 1, block, 4, 4);
  };
  const uint32_t limit = static_cast<uint32_t>(threshold);
  uint32_t predictor = cost(*x, *y);
  if (predictor <= limit) return static_cast<int>(predictor);
  return static_cast<int>(PairScan(nx, ny, x, y, predictor - (limit >> 1), false, cost));
}

}  // namespace orx::dsp::model
