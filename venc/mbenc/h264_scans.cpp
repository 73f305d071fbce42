// The scans the CAVLC coder is handed. Luma and chroma 4x4 blocks are stored column by column
// (coefficient of horizontal frequency u and vertical frequency v at 4u + v); the luma DC block
// is row-major; chroma levels interleave U and V, so their scans step by two.
#include "venc/mbenc/h264_cavlc.h"

namespace orx::venc {

const uint32_t kH264FrameScan[16] = {0, 4, 1, 2, 5, 8, 12, 9, 6, 3, 7, 10, 13, 14, 11, 15};
const uint32_t kH264FieldScan[16] = {0, 1, 4, 2, 3, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15};
const uint32_t kH264ChromaFrameScan[16] = {0,  8,  2,  4,  10, 16, 24, 18,
                                           12, 6,  14, 20, 26, 28, 22, 30};
const uint32_t kH264ChromaFieldScan[16] = {0,  2,  8,  4,  6,  10, 12, 14,
                                           16, 18, 20, 22, 24, 26, 28, 30};
const uint32_t kH264LumaDcFrameScan[16] = {0, 1, 4, 8, 5, 2, 3, 6, 9, 12, 13, 10, 7, 11, 14, 15};
const uint32_t kH264LumaDcFieldScan[16] = {0, 4, 1, 8, 12, 5, 9, 13, 2, 6, 10, 14, 3, 7, 11, 15};
const uint32_t kH264ChromaDcScan[4] = {0, 2, 4, 6};

}  // namespace orx::venc
