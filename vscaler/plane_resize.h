#pragma once
// Nearest-neighbour resize of one plane by an integer DDA in both directions: destination
// element j of a row takes source element floor(j * srcW / dstW), destination row j takes
// source row floor(j * srcH / dstH), with no division or multiplication per sample.
#include <cstdint>

namespace orx::vscaler {

// elementSize 2 moves 16-bit words and 4 moves 32-bit words (srcPitch then counts elements);
// 3 moves 3-byte elements and any other value single bytes (srcPitch in bytes). dstPitch is in
// bytes; a negative dstPitch writes the rows bottom-up (a vertical flip). Negative heights are
// taken as their absolute values (they do not flip). srcW <= 0 or srcH <= 0 writes nothing.
void ResizePlaneNearest(int elementSize, const uint8_t* src, int srcW, int srcH, int srcPitch, uint8_t* dst,
                        int dstW, int dstH, int dstPitch);

}  // namespace orx::vscaler
