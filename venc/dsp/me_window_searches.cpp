// Window searches of the plain motion-estimation core (slots 15-20, 38): the reference
// definitions. The full searches (15, 17, 18) scan every candidate from a fixed start cost; the
// threshold searches (16, 20, 38) accept the caller's predicted position at once when its cost
// is at most the threshold, and otherwise give it a head start of half the threshold. Slot 19
// has no plain search.
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "venc/dsp/me_window_scans.h"
#include "venc/dsp/motion_estimation_core.h"

namespace orx::dsp {
namespace {

// SAD of a width x height block (rows blockStep bytes apart) against the candidate at `p`
// (rows rowStep bytes apart).
uint32_t BlockSad(const uint8_t* p, std::ptrdiff_t rowStep, const uint8_t* block, int blockStep,
                  int width, int height) {
  uint32_t sum = 0;
  for (int r = 0; r < height; ++r) {
    for (int c = 0; c < width; ++c) {
      sum += static_cast<uint32_t>(std::abs(p[r * rowStep + c] - block[r * blockStep + c]));
    }
  }
  return sum;
}

}  // namespace

int CMotionEstimationCore::SearchWindow8x4Stride2(const uint8_t* window, const uint8_t* block,
                                                  int stride, int nx, int ny, int* x, int* y) {
  return me::FullScan(nx, ny, x, y, 16384, [&](int cx, int cy) {
    return BlockSad(window + cy * stride + cx, 2 * std::ptrdiff_t{stride}, block, 16, 8, 4);
  });
}

int CMotionEstimationCore::SearchWindow8x4Stride4(const uint8_t* window, const uint8_t* block,
                                                  int stride, int nx, int ny, int* x, int* y) {
  return me::FullScan(nx, ny, x, y, 16384, [&](int cx, int cy) {
    return BlockSad(window + cy * stride + cx, 4 * std::ptrdiff_t{stride}, block, 16, 8, 4);
  });
}

int CMotionEstimationCore::SearchWindow4x4(const uint8_t* window, const uint8_t* block, int stride,
                                           int nx, int ny, int* x, int* y) {
  return me::FullScan(nx, ny, x, y, 4096, [&](int cx, int cy) {
    return BlockSad(window + cy * stride + cx, stride, block, 8, 4, 4);
  });
}

// The block is the 4x4 of four-sample means of the packed 8x8 source.
int CMotionEstimationCore::SearchWindow4x4Threshold(const uint8_t* window, const uint8_t* block,
                                                    int stride, int nx, int ny, int* x, int* y,
                                                    int threshold) {
  uint8_t reduced[16];
  for (int r = 0; r < 4; ++r) {
    for (int c = 0; c < 4; ++c) {
      const uint8_t* s = block + 16 * r + 2 * c;
      reduced[4 * r + c] = static_cast<uint8_t>((s[0] + s[1] + s[8] + s[9] + 2) >> 2);
    }
  }
  auto cost = [&](int cx, int cy) {
    return BlockSad(window + cy * stride + cx, stride, reduced, 4, 4, 4);
  };
  return me::ThresholdSearch(nx, ny, stride, x, y, threshold, me::ScanOrder::kRowMajor, cost);
}

int CMotionEstimationCore::SearchWindowRowPairs(const uint8_t*, const uint8_t*, int, int, int,
                                                int*, int*, int) {
  return 65535;
}

// The 2x2 block is the pixels at offsets 0, 1, 4 and 5 of the block.
int CMotionEstimationCore::SearchWindowThreshold(const uint8_t* window, const uint8_t* block,
                                                 int stride, int nx, int ny, int* x, int* y,
                                                 int threshold) {
  auto cost = [&](int cx, int cy) {
    return BlockSad(window + cy * stride + cx, stride, block, 4, 2, 2);
  };
  return me::ThresholdSearch(nx, ny, stride, x, y, threshold, me::ScanOrder::kRowMajor, cost);
}

int CMotionEstimationCore::SearchWindowThreshold2(const uint8_t* window, const uint8_t* block,
                                                  int stride, int nx, int ny, int* x, int* y,
                                                  int threshold) {
  auto cost = [&](int cx, int cy) {
    return BlockSad(window + cy * stride + cx, stride, block, 4, 4, 4);
  };
  return me::ThresholdSearch(nx, ny, stride, x, y, threshold, me::ScanOrder::kRowMajor, cost);
}

}  // namespace orx::dsp
