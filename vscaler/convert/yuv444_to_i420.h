#pragma once
// Packed 4:4:4 (subtype 0x80012: 4 bytes a pixel, byte 0 Cr, byte 1 Cb, byte 2 Y, byte 3 not
// read; rows of 4W bytes) to planar 4:2:0 in the packed layout (Y pitch W at 0, Cb pitch W/2 at
// W*H, Cr pitch W/2 at W*H + (W*H)/4). Rows and columns go in pairs: each 2x2 block copies its
// four Y bytes and gives Cb and Cr as the truncated average of its four values. H < 2 converts
// nothing; an odd last row or column is left alone. With bottomUp the first destination row
// comes from the last source row.
#include <cstdint>

namespace orx::convert {

void ConvertYuv444PackedToI420(const uint8_t* source, int height, uint8_t* destination, int width,
                               int bottomUp);

// One pair of packed 4:4:4 rows as `pairs` 2x2 blocks: the two luma rows copied from byte 2, and
// one sample of each chroma row from the block's four byte-1 (Cb) and byte-0 (Cr) values:
// (sum + rounding) >> 2. The converter above truncates (rounding 0); MULTIVENC's preprocessing
// rounds (2).
void ConvertYuv444PackedRowPair(const uint8_t* top, const uint8_t* bottom, int pairs, uint8_t* yTop,
                                uint8_t* yBottom, uint8_t* cb, uint8_t* cr, int rounding);

}  // namespace orx::convert
