// Plain border padding: edge pixels (or Cb/Cr pairs) replicated 32 bytes to the left and right
// of every row, and edge rows copied above or below the picture.
#include <cstring>

#include "venc/dsp/mb_core.h"

namespace orx::dsp {

void CMBCore::PadBordersHorizontal(uint8_t* row, int width, int stride, int rows) {
  for (int r = 0; r < rows; ++r, row += stride) {
    std::memset(row - 32, row[0], 32);
    std::memset(row + width, row[width - 1], 32);
  }
}

void CMBCore::PadChromaBordersHorizontal(uint8_t* row, int width, int stride, int rows) {
  for (int r = 0; r < rows; ++r, row += stride) {
    for (int i = 0; i < 32; i += 2) {
      row[i - 32] = row[0];
      row[i - 31] = row[1];
      row[width + i] = row[width - 2];
      row[width + i + 1] = row[width - 1];
    }
  }
}

void CMBCore::PadBordersVertical(uint8_t* destination, const uint8_t* source, int length, int count,
                                 int extraStep) {
  for (int i = 0; i < count; ++i, destination += length + extraStep) {
    std::memcpy(destination, source, static_cast<size_t>(length));
  }
}

}  // namespace orx::dsp
