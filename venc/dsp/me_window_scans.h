#pragma once
// The scan orders of the window searches, shared by the plain and the variant bodies, each
// with the cost of candidate (cx, cy) as a function. Positions count from the window origin;
// a candidate replaces the best only when strictly cheaper unless said otherwise.
#include <cstdint>

namespace orx::dsp::me {

// Every candidate in row-major order against the predictor at (*x, *y), which starts as the
// best with the cost `biased` (its own cost less the head start).
template <typename Cost>
int PredictorScan(int nx, int ny, int* x, int* y, uint32_t biased, Cost cost) {
  uint32_t best = biased;
  int bestX = *x, bestY = *y;
  for (int cy = 0; cy < ny; ++cy) {
    for (int cx = 0; cx < nx; ++cx) {
      uint32_t c = cost(cx, cy);
      if (c < best) best = c, bestX = cx, bestY = cy;
    }
  }
  *x = bestX;
  *y = bestY;
  return static_cast<int>(best);
}

// Every candidate in row-major order from `start` at (0, 0); x and y are output only. With an
// empty window nothing is compared and (0, 0) and `start` are the answer.
template <typename Cost>
int FullScan(int nx, int ny, int* x, int* y, uint32_t start, Cost cost) {
  *x = *y = 0;
  return PredictorScan(nx, ny, x, y, start, cost);
}

// Rows in pairs (cy, cy + 1) for cy = 0, 2, ... below ny, so an odd ny also compares row ny.
// Within a pair, column by column, the upper candidate wins when strictly cheaper than the
// pair's running best and the lower one when strictly cheaper, or also when equal with
// `lowerWinsTies`; the pair's best replaces the overall best only when strictly cheaper. The
// winner is held as an offset from the pair's first row (the lower row at offset cx + stride),
// and an offset of stride or more is reported as x = offset - stride on the pair's second row.
template <typename Cost>
int PairScan(int nx, int ny, int stride, int* x, int* y, uint32_t biased, bool lowerWinsTies,
             Cost cost) {
  uint32_t best = biased;
  int bestX = *x, bestY = *y;
  for (int cy = 0; cy < ny; cy += 2) {
    uint32_t pairBest = best;
    long pairOffset = -1;
    for (int cx = 0; cx < nx; ++cx) {
      uint32_t upper = cost(cx, cy);
      if (upper < pairBest) pairBest = upper, pairOffset = cx;
      uint32_t lower = cost(cx, cy + 1);
      if (lower < pairBest || (lowerWinsTies && lower == pairBest)) {
        pairBest = lower, pairOffset = long{cx} + stride;
      }
    }
    if (pairOffset >= 0 && pairBest < best) {
      best = pairBest;
      bool second = pairOffset >= stride;
      bestX = static_cast<int>(second ? pairOffset - stride : pairOffset);
      bestY = second ? cy + 1 : cy;
    }
  }
  *x = bestX;
  *y = bestY;
  return static_cast<int>(best);
}

// Row-major from the predictor's biased cost, skipping the next column after every candidate
// that does not improve the best.
template <typename Cost>
int SparseScan(int nx, int ny, int* x, int* y, uint32_t biased, Cost cost) {
  uint32_t best = biased;
  int bestX = *x, bestY = *y;
  for (int cy = 0; cy < ny; ++cy) {
    for (int cx = 0; cx < nx;) {
      uint32_t c = cost(cx, cy);
      if (c < best) {
        best = c, bestX = cx, bestY = cy;
        cx += 1;
      } else {
        cx += 2;
      }
    }
  }
  *x = bestX;
  *y = bestY;
  return static_cast<int>(best);
}

enum class ScanOrder { kRowMajor, kPairsLowerWinsTies, kPairsStrict };

// The threshold rule: the predicted position (*x, *y) is accepted at once with its cost when
// that is at most the threshold (compared unsigned); otherwise it keeps a head start of half
// the threshold against the window scanned in the given order.
template <typename Cost>
int ThresholdSearch(int nx, int ny, int stride, int* x, int* y, int threshold, ScanOrder order,
                    Cost cost) {
  const uint32_t limit = static_cast<uint32_t>(threshold);
  const uint32_t predictor = cost(*x, *y);
  if (predictor <= limit) return static_cast<int>(predictor);
  const uint32_t biased = predictor - (limit >> 1);
  if (order == ScanOrder::kRowMajor) return PredictorScan(nx, ny, x, y, biased, cost);
  return PairScan(nx, ny, stride, x, y, biased, order == ScanOrder::kPairsLowerWinsTies, cost);
}

}  // namespace orx::dsp::me
