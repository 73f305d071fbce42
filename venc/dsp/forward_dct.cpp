// Plain forward DCT: the Arai-Agui-Nakajima fast DCT with 8-bit constants, rows first, then
// columns, each pass in 32-bit integers with 16-bit storage; then the transposition to the
// coefficient layout and the doubling of the (7,7) coefficient, which its reciprocal halves.
#include "venc/dsp/block_transpose.h"
#include "venc/dsp/mb_core.h"

namespace orx::dsp {
namespace {

int ScaleBy(int a, int k) { return (a * k + 128) >> 8; }

// One 1-D pass over x[0], x[step], ..., x[7 * step], in place.
void AanPass(int16_t* x, int step) {
  const int x0 = x[0], x1 = x[step], x2 = x[2 * step], x3 = x[3 * step];
  const int x4 = x[4 * step], x5 = x[5 * step], x6 = x[6 * step], x7 = x[7 * step];
  const int s07 = x0 + x7, d07 = x0 - x7, s16 = x1 + x6, d16 = x1 - x6;
  const int s25 = x2 + x5, d25 = x2 - x5, s34 = x3 + x4, d34 = x3 - x4;
  // Even half.
  const int t10 = s07 + s34, t13 = s07 - s34, t11 = s16 + s25, t12 = s16 - s25;
  const int z1 = ScaleBy(t12 + t13, 181);
  x[0] = static_cast<int16_t>(t10 + t11);
  x[4 * step] = static_cast<int16_t>(t10 - t11);
  x[2 * step] = static_cast<int16_t>(t13 + z1);
  x[6 * step] = static_cast<int16_t>(t13 - z1);
  // Odd half.
  const int a = d34 + d25, b = d25 + d16, c = d16 + d07;
  const int z5 = ScaleBy(a - c, 98);
  const int z2 = ScaleBy(a, 139) + z5;
  const int z4 = ScaleBy(c, 334) + z5;
  const int z3 = ScaleBy(b, 181);
  const int z11 = d07 + z3, z13 = d07 - z3;
  x[5 * step] = static_cast<int16_t>(z13 + z2);
  x[3 * step] = static_cast<int16_t>(z13 - z2);
  x[1 * step] = static_cast<int16_t>(z11 + z4);
  x[7 * step] = static_cast<int16_t>(z11 - z4);
}

}  // namespace

void CMBCore::ForwardDct(int16_t* block) {
  for (int row = 0; row < 8; ++row) AanPass(block + 8 * row, 1);
  for (int column = 0; column < 8; ++column) AanPass(block + column, 8);
  TransposeBlock(block);
  block[63] = static_cast<int16_t>(block[63] * 2);
}

}  // namespace orx::dsp
