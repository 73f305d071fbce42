#include "venc/dsp/quant_tables.h"

#include <cmath>

namespace orx::dsp {

// ISO/IEC 13818-2 Table 7-6, q_scale_type 1.
const int kNonLinearQuantScale[32] = {0,  1,  2,  3,  4,  5,  6,  7,  8,   10, 12,
                                      14, 16, 18, 20, 22, 24, 28, 32, 36,  40, 44,
                                      48, 52, 56, 64, 72, 80, 88, 96, 104, 112};

// ISO/IEC 13818-2 default intra_quantiser_matrix (the same in ISO/IEC 11172-2), raster order.
const uint8_t kDefaultIntraQuantMatrix[64] = {8,  16, 19, 22, 26, 27, 29, 34,  //
                                              16, 16, 22, 24, 27, 29, 34, 37,  //
                                              19, 22, 26, 27, 29, 34, 34, 38,  //
                                              22, 22, 26, 27, 29, 34, 37, 40,  //
                                              22, 26, 27, 29, 32, 35, 40, 48,  //
                                              26, 27, 29, 32, 35, 40, 48, 58,  //
                                              26, 27, 29, 34, 38, 46, 56, 69,  //
                                              27, 29, 35, 38, 46, 56, 69, 83};

double AanScale(int k) {
  if (k == 0) return std::sqrt(1.0 / 8.0);
  const double pi = 4.0 * std::atan(1.0);
  return 1.0 / (4.0 * std::cos(k * pi / 16.0));
}

const int32_t kVc1QuantScale[16] = {116508, 77400, 76608, 77400,  //
                                    77400,  51424, 50896, 51424,  //
                                    76608,  50880, 50368, 50880,  //
                                    77400,  51424, 50896, 51424};

// ISO/IEC 14496-2 dc_scaler: luma 8 (q 1-4), 2q (5-8), q + 8 (9-24), 2q - 16 (25-31).
const int kMpeg4LumaDcScaler[32] = {0,  8,  8,  8,  8,  10, 12, 14, 16, 17, 18, 19, 20, 21, 22, 23,
                                    24, 25, 26, 27, 28, 29, 30, 31, 32, 34, 36, 38, 40, 42, 44, 46};

// Chroma 8 (q 1-4), (q + 13) / 2 (5-24), q - 6 (25-31).
const int kMpeg4ChromaDcScaler[32] = {0,  8,  8,  8,  8,  9,  9,  10, 10, 11, 11,
                                      12, 12, 13, 13, 14, 14, 15, 15, 16, 16, 17,
                                      17, 18, 18, 19, 20, 21, 22, 23, 24, 25};

// SMPTE 421M DC step size: 2q (q 1-2), 8 (3-4), q / 2 + 6 (5-31).
const int kVc1DcStep[32] = {0,  2,  4,  8,  8,  8,  9,  9,  10, 10, 11, 11, 12, 12, 13, 13,
                            14, 14, 15, 15, 16, 16, 17, 17, 18, 18, 19, 19, 20, 20, 21, 21};

const int32_t kH264ForwardMultiplier[6][3] = {{13107, 5243, 8066}, {11916, 4660, 7490},
                                              {10082, 4194, 6554}, {9362, 3647, 5825},
                                              {8192, 3355, 5243},  {7282, 2893, 4559}};

const int32_t kH264LevelScale[6][3] = {{10, 16, 13}, {11, 18, 14}, {13, 20, 16},
                                       {14, 23, 18}, {16, 25, 20}, {18, 29, 23}};

int H264PositionClass(int row, int column) {
  bool rowOdd = row & 1, columnOdd = column & 1;
  if (!rowOdd && !columnOdd) return 0;
  if (rowOdd && columnOdd) return 1;
  return 2;
}

int16_t RoundToShort(double value) {
  return static_cast<int16_t>(static_cast<uint16_t>(static_cast<int64_t>(std::nearbyint(value))));
}

}  // namespace orx::dsp
