// SSE2 refinements of CMotionEstimationCoreXMM2 (slots 12-14): both neighbours in one pass over
// the rows. Slots 12 and 14 equal the plain class; slot 13 with the horizontal flag set rounds
// the diagonal positions in two steps (horizontal means first).
#include <emmintrin.h>

#include <cstdint>

#include "venc/dsp/me_cost_kernels_simd.h"
#include "venc/dsp/motion_estimation_core_variants.h"
#include "venc/dsp/simd_loads.h"

namespace orx::dsp {
namespace {

using Load = UnalignedRowLoad;

}  // namespace

int CMotionEstimationCoreXMM2::RefineHalfPelHorz(const uint8_t* reference, int* direction,
                                                 int predictedDirection, int bias) {
  return RefineHalfPelHorzRows<Load>(block, stride, rows, reference, direction,
                                     predictedDirection, bias);
}

int CMotionEstimationCoreXMM2::RefineHalfPelVert(const uint8_t* reference, int halfX,
                                                 int* direction, int predictedDirection,
                                                 int bias) {
  return RefineHalfPelVertRows<Load>(block, stride, rows, reference, halfX, direction,
                                     predictedDirection, bias);
}

int CMotionEstimationCoreXMM2::RefineFullPelVert(const uint8_t* reference, int* direction) {
  return RefineFullPelVertRows<Load>(block, stride, rows, reference, direction);
}

}  // namespace orx::dsp
