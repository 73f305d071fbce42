// Weighted blend of an overlay into the picture (every class runs this body): the alpha
// sample scaled by the strength gives the overlay's weight in 1/256 steps.
#include <cstdint>

#include "venc/dsp/clipping.h"
#include "venc/dsp/preproc_core.h"

namespace orx::dsp {

void CPreprocCore::BlendWeighted(uint8_t* picture, const uint8_t* overlay, const uint8_t* alpha,
                                 int strength, int width, int rows, int overlayPitch,
                                 int picturePitch) {
  if (width <= 0 || rows <= 0) return;
  for (int r = 0; r < rows; ++r) {
    for (int i = 0; i < width; ++i) {
      const int w = (alpha[i] * (strength + 1)) >> 8;
      picture[i] = static_cast<uint8_t>(ClipToByte(((256 - w) * picture[i] + w * overlay[i]) >> 8));
    }
    picture += picturePitch;
    overlay += overlayPitch;
    alpha += overlayPitch;
  }
}

}  // namespace orx::dsp
