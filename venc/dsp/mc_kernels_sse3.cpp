// The SSE3 table of CMBCoreXMM3 and its slot 35. The copy and the rounding-up vertical and
// horizontal averages load source rows with LDDQU, which SSE3 processors serve without the
// cost of a split cache-line load; the other entries are the SSE2 kernels. Results are those of
// the SSE2 table.
#include <pmmintrin.h>

#include <cstdint>

#include "venc/dsp/mb_core_variants.h"
#include "venc/dsp/mc_average_kernels_simd.h"
#include "venc/dsp/mc_kernels.h"
#include "venc/dsp/simd_loads.h"

namespace orx::dsp {
namespace {

using Load = Sse3RowLoad;

}  // namespace

// The SSE2 entries are read from kSse2McKernels, which holds only function addresses and so is
// initialised before any dynamic initialisation runs.
const McKernelTableSse3 kSse3McKernels = {
    {CopyRows<Load>, AverageVertical<Load>, AverageHorizontal<Load, 1>, kSse2McKernels.luma[3],
     CopyRows<Load>, kSse2McKernels.luma[5], kSse2McKernels.luma[6], kSse2McKernels.luma[7]},
    {CopyRows<Load>, AverageVertical<Load>, AverageHorizontal<Load, 2>, kSse2McKernels.chroma[3],
     CopyRows<Load>, kSse2McKernels.chroma[5], kSse2McKernels.chroma[6],
     kSse2McKernels.chroma[7]},
};

void CMBCoreXMM3::InitMcTables() {
  CMBCoreXMM2::InitMcTables();
  lumaKernels = kSse3McKernels.luma;
  chromaKernels = kSse3McKernels.chroma;
}

}  // namespace orx::dsp
