#pragma once
// The orthonormal 8x8 DCT in double precision, raster order on both sides (row = vertical
// frequency u / sample row y, column = horizontal frequency v / sample column x).

namespace orx::dsp::model {

void ExactForwardDct(const double in[64], double out[64]);
void ExactInverseDct(const double in[64], double out[64]);

}  // namespace orx::dsp::model
