// Plain VC-1 inverse transform: the transposition to raster coefficient order, then the
// SMPTE 421M inverse 8x8 transform in 32-bit sums, the column stage in its halved form; the
// output is not clipped.
#include "venc/dsp/block_transpose.h"
#include "venc/dsp/mb_core.h"

namespace orx::dsp {

void CMBCore::InverseTransformVc1(int16_t* block) {
  TransposeBlock(block);
  for (int row = 0; row < 8; ++row) {
    int16_t* c = block + 8 * row;
    const int e0 = 12 * (c[0] + c[4]) + 4 + 16 * c[2] + 6 * c[6];
    const int e3 = 12 * (c[0] + c[4]) + 4 - 16 * c[2] - 6 * c[6];
    const int e1 = 12 * (c[0] - c[4]) + 4 + 6 * c[2] - 16 * c[6];
    const int e2 = 12 * (c[0] - c[4]) + 4 - 6 * c[2] + 16 * c[6];
    const int d0 = 16 * c[1] + 15 * c[3] + 9 * c[5] + 4 * c[7];
    const int d1 = 15 * c[1] - 4 * c[3] - 16 * c[5] - 9 * c[7];
    const int d2 = 9 * c[1] - 16 * c[3] + 4 * c[5] + 15 * c[7];
    const int d3 = 4 * c[1] - 9 * c[3] + 15 * c[5] - 16 * c[7];
    const int e[4] = {e0, e1, e2, e3}, d[4] = {d0, d1, d2, d3};
    for (int k = 0; k < 4; ++k) {
      c[k] = static_cast<int16_t>((e[k] + d[k]) >> 3);
      c[7 - k] = static_cast<int16_t>((e[k] - d[k]) >> 3);
    }
  }
  for (int column = 0; column < 8; ++column) {
    int16_t* c = block + column;
    const int c0 = c[0], c1 = c[8], c2 = c[16], c3 = c[24];
    const int c4 = c[32], c5 = c[40], c6 = c[48], c7 = c[56];
    const int e0 = 6 * (c0 + c4) + 32 + 8 * c2 + 3 * c6;
    const int e3 = 6 * (c0 + c4) + 32 - 8 * c2 - 3 * c6;
    const int e1 = 6 * (c0 - c4) + 32 + 3 * c2 - 8 * c6;
    const int e2 = 6 * (c0 - c4) + 32 - 3 * c2 + 8 * c6;
    const int d0 = 8 * c1 + 7 * c3 + 4 * c5 + 2 * c7 + ((c3 + c5) >> 1);
    const int d1 = 7 * c1 - 2 * c3 - 8 * c5 - 5 * c7 + ((c1 + c7) >> 1);
    const int d2 = 4 * c1 - 8 * c3 + 2 * c5 + 7 * c7 + ((c1 + c7) >> 1);
    const int d3 = 2 * c1 - 5 * c3 + 7 * c5 - 8 * c7 + ((c3 + c5) >> 1);
    const int e[4] = {e0, e1, e2, e3}, d[4] = {d0, d1, d2, d3};
    for (int k = 0; k < 4; ++k) {
      c[8 * k] = static_cast<int16_t>((e[k] + d[k]) >> 6);
      c[8 * (7 - k)] = static_cast<int16_t>((e[k] - d[k]) >> 6);
    }
  }
}

}  // namespace orx::dsp
