#include "venc/common/quantiser_qp.h"

#include <algorithm>

namespace orx::venc {

const uint8_t kQuantiserToQp[kQuantiserToQpSize] = {
    0,  0,  1,  4,  6,  8,  10, 11, 12, 13, 14, 15, 16, 17, 17, 18, 19, 19, 20, 20,
    21, 21, 22, 22, 22, 23, 23, 24, 24, 24, 25, 25, 25, 26, 26, 26, 26, 27, 27, 27,
    28, 28, 28, 28, 29, 29, 29, 29, 30, 30, 30, 30, 30, 31, 31, 31, 31, 32, 32, 32,
    32, 32, 33, 33, 33, 33, 33, 34, 34, 34, 34, 34, 34, 35, 35, 35, 35, 35, 36, 36,
    36, 36, 36, 37, 37, 37, 37, 37, 38, 38, 38, 38, 38, 39, 39, 39};

int QuantiserToQp(int quantiserScale) {
  return kQuantiserToQp[std::clamp(quantiserScale, 0, kQuantiserToQpSize - 1)];
}

}  // namespace orx::venc
