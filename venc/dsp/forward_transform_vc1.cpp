// Plain VC-1 forward transform: the integer 1-D pass on the rows, then on the columns (32-bit
// sums, 16-bit storage after each pass), then the transposition to the coefficient layout.
#include "venc/dsp/block_transpose.h"
#include "venc/dsp/mb_core.h"

namespace orx::dsp {
namespace {

void Vc1ForwardPass(int16_t* x, int step) {
  const int x0 = x[0], x1 = x[step], x2 = x[2 * step], x3 = x[3 * step];
  const int x4 = x[4 * step], x5 = x[5 * step], x6 = x[6 * step], x7 = x[7 * step];
  const int s07 = x0 + x7, d07 = x0 - x7, s16 = x1 + x6, d16 = x1 - x6;
  const int s25 = x2 + x5, d25 = x2 - x5, s34 = x3 + x4, d34 = x3 - x4;
  // Even half.
  const int a0 = s07 + s34, a3 = s07 - s34, a1 = s16 + s25, a2 = s16 - s25;
  x[0] = static_cast<int16_t>(a0 + a1);
  x[4 * step] = static_cast<int16_t>(a0 - a1);
  x[2 * step] = static_cast<int16_t>(2 * a3 + a2 - ((a2 + 1) >> 2));
  x[6 * step] = static_cast<int16_t>(a3 - 2 * a2 - ((a3 + 1) >> 2));
  // Odd half.
  const int p = d07, q = d16, r = d25, t = d34, w = r + q, z = r - q;
  const int a = t + (t >> 1) + z;
  const int b = z + (z >> 1) - 2 * t;
  const int c = p + (p >> 1) - w;
  const int d = w + (w >> 1) + 2 * p;
  x[1 * step] = static_cast<int16_t>(d - ((b + 1) >> 2));
  x[7 * step] = static_cast<int16_t>(b + ((d + 1) >> 2));
  x[3 * step] = static_cast<int16_t>(c - a + ((c + a + 1) >> 2));
  x[5 * step] = static_cast<int16_t>(c + a - ((c - a + 1) >> 2));
}

}  // namespace

void CMBCore::ForwardTransformVc1(int16_t* block) {
  for (int row = 0; row < 8; ++row) Vc1ForwardPass(block + 8 * row, 1);
  for (int column = 0; column < 8; ++column) Vc1ForwardPass(block + column, 8);
  TransposeBlock(block);
}

}  // namespace orx::dsp
