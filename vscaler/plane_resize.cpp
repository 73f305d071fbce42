#include "vscaler/plane_resize.h"

#include <cstdlib>
#include <cstring>

namespace orx::vscaler {
namespace {

template <int kBytes>
void ResizeRows(const uint8_t* src, int srcW, int srcH, intptr_t srcPitchBytes, uint8_t* dst, int dstW,
                int dstH, intptr_t dstPitchBytes) {
  int vacc = 0;
  for (int r = 0; r < srcH; ++r) {
    while (vacc < dstH) {
      int hacc = 0;
      int k = 0;
      for (int i = 0; i < srcW; ++i) {
        while (hacc < dstW) {
          std::memcpy(dst + static_cast<intptr_t>(k) * kBytes, src + static_cast<intptr_t>(i) * kBytes, kBytes);
          ++k;
          hacc += srcW;
        }
        hacc -= dstW;
      }
      vacc += srcH;
      dst += dstPitchBytes;
    }
    vacc -= dstH;
    src += srcPitchBytes;
  }
}

}  // namespace

void ResizePlaneNearest(int elementSize, const uint8_t* src, int srcW, int srcH, int srcPitch, uint8_t* dst,
                        int dstW, int dstH, int dstPitch) {
  srcH = std::abs(srcH);
  dstH = std::abs(dstH);
  if (srcW <= 0 || srcH <= 0 || dstW <= 0 || dstH <= 0) return;
  intptr_t dstStep = dstPitch;
  if (dstPitch < 0) dst += static_cast<intptr_t>(dstH - 1) * -dstStep;
  switch (elementSize) {
    case 2:
      ResizeRows<2>(src, srcW, srcH, static_cast<intptr_t>(srcPitch) * 2, dst, dstW, dstH, dstStep);
      break;
    case 3:
      ResizeRows<3>(src, srcW, srcH, srcPitch, dst, dstW, dstH, dstStep);
      break;
    case 4:
      ResizeRows<4>(src, srcW, srcH, static_cast<intptr_t>(srcPitch) * 4, dst, dstW, dstH, dstStep);
      break;
    default:
      ResizeRows<1>(src, srcW, srcH, srcPitch, dst, dstW, dstH, dstStep);
      break;
  }
}

}  // namespace orx::vscaler
