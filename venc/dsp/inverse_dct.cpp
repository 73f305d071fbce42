// Plain inverse DCT: the transposition to raster coefficient order, then the Chen-Wang
// fixed-point inverse DCT (a row pass stored as 16-bit values and a column pass clipped to
// -256..255), with its shortcuts for rows and columns that hold only a DC term.
#include <algorithm>
#include <cstdint>

#include "venc/dsp/block_transpose.h"
#include "venc/dsp/clipping.h"
#include "venc/dsp/mb_core.h"

namespace orx::dsp {
namespace {

constexpr int W1 = 2841, W2 = 2676, W3 = 2408, W5 = 1609, W6 = 1108, W7 = 565;

void RowPass(int16_t* c) {
  if (!(c[1] | c[2] | c[3] | c[4] | c[5] | c[6] | c[7])) {
    const int16_t dc = static_cast<int16_t>(c[0] * 8);
    for (int i = 0; i < 8; ++i) c[i] = dc;
    return;
  }
  int x0 = 2048 * c[0] + 128, x1 = 2048 * c[4];
  int x2 = c[6], x3 = c[2], x4 = c[1], x5 = c[7], x6 = c[5], x7 = c[3];
  // First stage.
  int x8 = W7 * (x4 + x5);
  x4 = x8 + (W1 - W7) * x4;
  x5 = x8 - (W1 + W7) * x5;
  x8 = W3 * (x6 + x7);
  x6 = x8 - (W3 - W5) * x6;
  x7 = x8 - (W3 + W5) * x7;
  // Second stage.
  x8 = x0 + x1;
  x0 -= x1;
  x1 = W6 * (x3 + x2);
  x2 = x1 - (W2 + W6) * x2;
  x3 = x1 + (W2 - W6) * x3;
  x1 = x4 + x6;
  x4 -= x6;
  x6 = x5 + x7;
  x5 -= x7;
  // Third stage.
  x7 = x8 + x3;
  x8 -= x3;
  x3 = x0 + x2;
  x0 -= x2;
  x2 = (181 * (x4 + x5) + 128) >> 8;
  x4 = (181 * (x4 - x5) + 128) >> 8;
  // Fourth stage.
  c[0] = static_cast<int16_t>((x7 + x1) >> 8);
  c[1] = static_cast<int16_t>((x3 + x2) >> 8);
  c[2] = static_cast<int16_t>((x0 + x4) >> 8);
  c[3] = static_cast<int16_t>((x8 + x6) >> 8);
  c[4] = static_cast<int16_t>((x8 - x6) >> 8);
  c[5] = static_cast<int16_t>((x0 - x4) >> 8);
  c[6] = static_cast<int16_t>((x3 - x2) >> 8);
  c[7] = static_cast<int16_t>((x7 - x1) >> 8);
}

void ColumnPass(int16_t* c) {
  if (!(c[8] | c[16] | c[24] | c[32] | c[40] | c[48] | c[56])) {
    const int16_t dc = static_cast<int16_t>(ClampIdctSample((c[0] + 32) >> 6));
    for (int i = 0; i < 8; ++i) c[8 * i] = dc;
    return;
  }
  // 64-bit sums: rows that wrapped to extreme 16-bit values (outside the contract) would
  // overflow 32 bits.
  int64_t x0 = 256 * c[0] + 8192, x1 = 256 * c[32];
  int64_t x2 = c[48], x3 = c[16], x4 = c[8], x5 = c[56], x6 = c[40], x7 = c[24];
  // First stage, each product group biased by 4 and shifted by 3.
  int64_t x8 = W7 * (x4 + x5) + 4;
  x4 = (x8 + (W1 - W7) * x4) >> 3;
  x5 = (x8 - (W1 + W7) * x5) >> 3;
  x8 = W3 * (x6 + x7) + 4;
  x6 = (x8 - (W3 - W5) * x6) >> 3;
  x7 = (x8 - (W3 + W5) * x7) >> 3;
  // Second stage.
  x8 = x0 + x1;
  x0 -= x1;
  x1 = W6 * (x3 + x2) + 4;
  x2 = (x1 - (W2 + W6) * x2) >> 3;
  x3 = (x1 + (W2 - W6) * x3) >> 3;
  x1 = x4 + x6;
  x4 -= x6;
  x6 = x5 + x7;
  x5 -= x7;
  // Third stage.
  x7 = x8 + x3;
  x8 -= x3;
  x3 = x0 + x2;
  x0 -= x2;
  x2 = (181 * (x4 + x5) + 128) >> 8;
  x4 = (181 * (x4 - x5) + 128) >> 8;
  // Fourth stage.
  const int64_t out[8] = {x7 + x1, x3 + x2, x0 + x4, x8 + x6, x8 - x6, x0 - x4, x3 - x2, x7 - x1};
  for (int i = 0; i < 8; ++i) {
    c[8 * i] = static_cast<int16_t>(std::clamp<int64_t>(out[i] >> 14, -256, 255));
  }
}

}  // namespace

void CMBCore::InverseDct(int16_t* block) {
  TransposeBlock(block);
  for (int row = 0; row < 8; ++row) RowPass(block + 8 * row);
  for (int column = 0; column < 8; ++column) ColumnPass(block + column);
}

}  // namespace orx::dsp
