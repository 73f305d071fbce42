#pragma once
// The coefficient scans of MPEG-1/2 (ISO/IEC 13818-2 Figures 7-2 and 7-3): scan index to
// raster position 8 x row (vertical frequency) + column (horizontal frequency). The cores'
// coefficient layout is transposed (8 x horizontal + vertical); a coder converts with
// 8 x (raster % 8) + raster / 8.
#include <cstdint>

namespace orx::dsp {

extern const uint8_t kZigzagScan[64];
extern const uint8_t kAlternateScan[64];

}  // namespace orx::dsp
