#pragma once
// The row copier of the scaler's copy mode: the destination takes the source's top-left area,
// cropped to the destination, and rows below the source are mid-grey.
#include <cstdint>

namespace orx::vscaler {

// Copies min(a, b) bytes of each of dstRows rows: rows below srcRows are filled with 128.
// Source and destination advance by their pitches (bytes) after every row.
void CopyPlaneRows(const uint8_t* src, int srcRows, int srcPitch, uint8_t* dst, int dstRows, int dstPitch, int a,
                   int b);

}  // namespace orx::vscaler
