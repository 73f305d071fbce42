#pragma once
// The motion-compensation kernel tables. Each CPU variant of CMBCore has one read-only table of
// 40 kernels in four groups; slot 35 (InitMcTables) points the core's four group fields at it,
// and the drivers (mc_drivers.cpp) pick a kernel by the fractional bits of the vectors.
//
// Every kernel writes a block 16 bytes wide (16 luma samples or 8 interleaved Cb/Cr pairs).
// Within an 8-entry group, entry 0 and 4 copy; 1, 2, 3 interpolate vertically, horizontally and
// in both directions rounding halves up; 5, 6, 7 the same rounding down. The VC-1 group holds
// the (-1, 9, 9, -1) half-sample filters, 0-3 with rounding control 0 and 4-7 with 1. The
// bidirectional group is indexed 8 * x1 + 4 * y1 + 2 * x2 + y2 by the half bits of both
// predictions; each prediction rounds up on its own before the two are averaged up.
//
// SSE2 and SSE3 kernels store with aligned 16-byte writes (destination 16-byte aligned, its
// stride a multiple of 16) and need a row count that is a multiple of 4 (copy and rounding-up
// one-direction averages), 2 (the others) or any (VC-1 filters, bidirectional entry 15); sources
// may have any alignment. The reference kernels take any alignment and any row count.
#include "venc/dsp/mb_core.h"

namespace orx::dsp {

struct McKernelTable {
  McKernel luma[8];         // entries 0-7: 4 * noRound + 2 * xHalf + yHalf
  McKernel chroma[8];       // entries 8-15: the same on interleaved chroma (neighbour 2 bytes on)
  McKernel vc1FourTap[8];   // entries 16-23: 4 * rc + 2 * xHalf + yHalf
  McBidirKernel bidir[16];  // entries 24-39: 8 * x1Half + 4 * y1Half + 2 * x2Half + y2Half
};
static_assert(sizeof(McKernelTable) == 40 * sizeof(void*));

// CMBCoreXMM3's table, which replaces the luma and chroma groups of the SSE2 table.
struct McKernelTableSse3 {
  McKernel luma[8];
  McKernel chroma[8];
};

extern const McKernelTable kReferenceMcKernels;  // CMBCore, also installed by CMBCoreMMX
extern const McKernelTable kSse2McKernels;       // CMBCoreXMM2
extern const McKernelTableSse3 kSse3McKernels;   // CMBCoreXMM3 (defined only in the SSE3 file)

// The bidirectional kernels of CMBCoreXMM that CMBCoreXMM2's table shares: the nine group
// entries kIndex in which neither prediction is two-dimensional (0, 1, 2, 4, 5, 6, 8, 9, 10),
// instantiated in mc_bidir_kernels_xmm.cpp. They work in 8-byte halves of a row; entries 0, 1
// and 4 take two rows per step (even row count), the others any row count.
template <int kIndex>
void McBidirKernelXmm(const uint8_t* first, const uint8_t* second, uint8_t* destination,
                      int sourceStride, int destinationStride, int rows, int step);

}  // namespace orx::dsp
