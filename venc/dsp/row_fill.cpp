// Plain row fill: every byte takes the fill value's low byte.
#include <cstring>

#include "venc/dsp/preproc_core.h"

namespace orx::dsp {

void CPreprocCore::FillRows(uint8_t* destination, int width, int rows, int pitch, uint32_t value) {
  if (width <= 0) return;
  for (int r = 0; r < rows; ++r, destination += pitch) {
    std::memset(destination, static_cast<int>(value & 0xFF), static_cast<size_t>(width));
  }
}

}  // namespace orx::dsp
