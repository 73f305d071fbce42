// The six slots of CMotionEstimationCoreXMM3 (Sad16, Sad16Prefetch, SadHalfPel16 and the three
// refinements): the SSE2 bodies with the reference rows loaded by LDDQU, which SSE3 processors
// serve faster when a load crosses a cache line. Results equal CMotionEstimationCoreXMM2's.
#include <pmmintrin.h>

#include <cstdint>

#include "venc/dsp/me_cost_kernels_simd.h"
#include "venc/dsp/motion_estimation_core_variants.h"
#include "venc/dsp/simd_loads.h"

namespace orx::dsp {
namespace {

using Load = Sse3RowLoad;

}  // namespace

uint32_t CMotionEstimationCoreXMM3::Sad16(const uint8_t* reference) {
  return Sad16Rows<Load>(block, stride, rows, reference);
}

uint32_t CMotionEstimationCoreXMM3::Sad16Prefetch(const uint8_t* reference) {
  return Sad16PrefetchRows<Load>(block, stride, rows, reference);
}

uint32_t CMotionEstimationCoreXMM3::SadHalfPel16(const uint8_t* reference, int halfX, int halfY) {
  return SadHalfPel16Rows<Load>(block, stride, rows, reference, halfX, halfY);
}

int CMotionEstimationCoreXMM3::RefineHalfPelHorz(const uint8_t* reference, int* direction,
                                                 int predictedDirection, int bias) {
  return RefineHalfPelHorzRows<Load>(block, stride, rows, reference, direction,
                                     predictedDirection, bias);
}

int CMotionEstimationCoreXMM3::RefineHalfPelVert(const uint8_t* reference, int halfX,
                                                 int* direction, int predictedDirection,
                                                 int bias) {
  return RefineHalfPelVertRows<Load>(block, stride, rows, reference, halfX, direction,
                                     predictedDirection, bias);
}

int CMotionEstimationCoreXMM3::RefineFullPelVert(const uint8_t* reference, int* direction) {
  return RefineFullPelVertRows<Load>(block, stride, rows, reference, direction);
}

}  // namespace orx::dsp
