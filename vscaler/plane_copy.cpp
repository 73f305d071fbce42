#include "vscaler/plane_copy.h"

#include <algorithm>
#include <cstring>

namespace orx::vscaler {

void CopyPlaneRows(const uint8_t* src, int srcRows, int srcPitch, uint8_t* dst, int dstRows, int dstPitch, int a,
                   int b) {
  const int n = std::min(a, b);
  if (n <= 0) return;
  for (int i = 0; i < dstRows; ++i) {
    uint8_t* row = dst + static_cast<intptr_t>(i) * dstPitch;
    if (i < srcRows) std::memcpy(row, src + static_cast<intptr_t>(i) * srcPitch, static_cast<size_t>(n));
    else std::memset(row, 128, static_cast<size_t>(n));
  }
}

}  // namespace orx::vscaler
