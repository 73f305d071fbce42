// Own bodies of the MMX and integer-SSE motion-estimation cores, which the factories build
// only for processors without SSE2.
#include "venc/dsp/motion_estimation_core_variants.h"
#include "venc/dsp/not_built.h"

namespace orx::dsp {

uint32_t CMotionEstimationCoreMMX::Sad16Packed(const uint8_t*) {
  ReportNotBuilt("CMotionEstimationCoreMMX", "Sad16Packed");
}
uint32_t CMotionEstimationCoreMMX::Sad16(const uint8_t*) {
  ReportNotBuilt("CMotionEstimationCoreMMX", "Sad16");
}
uint32_t CMotionEstimationCoreMMX::Sad16Prefetch(const uint8_t*) {
  ReportNotBuilt("CMotionEstimationCoreMMX", "Sad16Prefetch");
}
uint32_t CMotionEstimationCoreMMX::SadHalfPel16(const uint8_t*, int, int) {
  ReportNotBuilt("CMotionEstimationCoreMMX", "SadHalfPel16");
}
uint32_t CMotionEstimationCoreXMM::Sad16Packed(const uint8_t*) {
  ReportNotBuilt("CMotionEstimationCoreXMM", "Sad16Packed");
}
uint32_t CMotionEstimationCoreXMM::Sad16(const uint8_t*) {
  ReportNotBuilt("CMotionEstimationCoreXMM", "Sad16");
}
uint32_t CMotionEstimationCoreXMM::Sad16Prefetch(const uint8_t*) {
  ReportNotBuilt("CMotionEstimationCoreXMM", "Sad16Prefetch");
}
uint32_t CMotionEstimationCoreXMM::SadHalfPel16(const uint8_t*, int, int) {
  ReportNotBuilt("CMotionEstimationCoreXMM", "SadHalfPel16");
}
uint32_t CMotionEstimationCoreXMM::SadBidirHalfPel16(const uint8_t*, const uint8_t*, int, int, int,
                                                     int) {
  ReportNotBuilt("CMotionEstimationCoreXMM", "SadBidirHalfPel16");
}
int CMotionEstimationCoreXMM::RefineHalfPelHorz(const uint8_t*, int*, int, int) {
  ReportNotBuilt("CMotionEstimationCoreXMM", "RefineHalfPelHorz");
}
int CMotionEstimationCoreXMM::SearchWindow8x4Stride2(const uint8_t*, const uint8_t*, int, int, int,
                                                     int*, int*) {
  ReportNotBuilt("CMotionEstimationCoreXMM", "SearchWindow8x4Stride2");
}
int CMotionEstimationCoreXMM::SearchWindow4x4Threshold(const uint8_t*, const uint8_t*, int, int,
                                                       int, int*, int*, int) {
  ReportNotBuilt("CMotionEstimationCoreXMM", "SearchWindow4x4Threshold");
}
int CMotionEstimationCoreXMM::SearchWindowRowPairs(const uint8_t*, const uint8_t*, int, int, int,
                                                   int*, int*, int) {
  ReportNotBuilt("CMotionEstimationCoreXMM", "SearchWindowRowPairs");
}
void CMotionEstimationCoreXMM::DecimateBlock(uint8_t*, const uint8_t*, int) {
  ReportNotBuilt("CMotionEstimationCoreXMM", "DecimateBlock");
}
void CMotionEstimationCoreXMM::DecimatePlane(uint8_t*, const uint8_t*, int, int, int, int) {
  ReportNotBuilt("CMotionEstimationCoreXMM", "DecimatePlane");
}
void CMotionEstimationCoreXMM::DecimatePlaneAlt(uint8_t*, const uint8_t*, int, int, int, int) {
  ReportNotBuilt("CMotionEstimationCoreXMM", "DecimatePlaneAlt");
}

}  // namespace orx::dsp
