#pragma once
#include "venc/common/encoder_settings.h"

namespace orx::venc {

// Reduces the display aspect ratio x:y into aspectX, aspectY and chooses the codec's aspect
// code: the MPEG-1 pel aspect code, the MPEG-4 / H.264 sample aspect code (or its extended
// form (h << 16) | (w << 8) | 15 or 255), or the display aspect code of MPEG-2 and the others.
// The MPEG-1 rule reads mbCols and mbRows; the others read width and height.
void SetAspectRatio(EncoderSettings& settings, int x, int y);

}  // namespace orx::venc
