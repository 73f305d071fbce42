// Motion-estimation core bodies not written yet: the reference class, the SSE2 and SSE3
// classes and the two integer-SSE bodies they inherit.
#include "venc/dsp/motion_estimation_core_variants.h"
#include "venc/dsp/not_built.h"

namespace orx::dsp {

uint32_t CMotionEstimationCore::Satd16(const uint8_t*) {
  ReportNotBuilt("CMotionEstimationCore", "Satd16");
}
uint32_t CMotionEstimationCore::Satd8x16(const uint8_t*) {
  ReportNotBuilt("CMotionEstimationCore", "Satd8x16");
}
uint32_t CMotionEstimationCore::SatdSubPel(const uint8_t*, int, int) {
  ReportNotBuilt("CMotionEstimationCore", "SatdSubPel");
}
uint32_t CMotionEstimationCore::QuarterPelSads16(const uint8_t*, int, int) {
  ReportNotBuilt("CMotionEstimationCore", "QuarterPelSads16");
}
uint32_t CMotionEstimationCore::QuarterPelSads8(const uint8_t*, int, int) {
  ReportNotBuilt("CMotionEstimationCore", "QuarterPelSads8");
}
uint32_t CMotionEstimationCore::Sad16Packed(const uint8_t*) {
  ReportNotBuilt("CMotionEstimationCore", "Sad16Packed");
}
uint32_t CMotionEstimationCore::Sad16(const uint8_t*) {
  ReportNotBuilt("CMotionEstimationCore", "Sad16");
}
uint32_t CMotionEstimationCore::Sad16Prefetch(const uint8_t*) {
  ReportNotBuilt("CMotionEstimationCore", "Sad16Prefetch");
}
uint32_t CMotionEstimationCore::SadHalfPel16(const uint8_t*, int, int) {
  ReportNotBuilt("CMotionEstimationCore", "SadHalfPel16");
}
uint32_t CMotionEstimationCore::Sad8(const uint8_t*) {
  ReportNotBuilt("CMotionEstimationCore", "Sad8");
}
uint32_t CMotionEstimationCore::SadHalfPel8(const uint8_t*, int, int) {
  ReportNotBuilt("CMotionEstimationCore", "SadHalfPel8");
}
uint32_t CMotionEstimationCore::SadBidirHalfPel16(const uint8_t*, const uint8_t*, int, int, int,
                                                  int) {
  ReportNotBuilt("CMotionEstimationCore", "SadBidirHalfPel16");
}
int CMotionEstimationCore::RefineHalfPelHorz(const uint8_t*, int*, int, int) {
  ReportNotBuilt("CMotionEstimationCore", "RefineHalfPelHorz");
}
int CMotionEstimationCore::RefineHalfPelVert(const uint8_t*, int, int*, int, int) {
  ReportNotBuilt("CMotionEstimationCore", "RefineHalfPelVert");
}
int CMotionEstimationCore::RefineFullPelVert(const uint8_t*, int*) {
  ReportNotBuilt("CMotionEstimationCore", "RefineFullPelVert");
}
int CMotionEstimationCore::SearchWindow8x4Stride2(const uint8_t*, const uint8_t*, int, int, int,
                                                  int*, int*) {
  ReportNotBuilt("CMotionEstimationCore", "SearchWindow8x4Stride2");
}
int CMotionEstimationCore::SearchWindow4x4Threshold(const uint8_t*, const uint8_t*, int, int, int,
                                                    int*, int*, int) {
  ReportNotBuilt("CMotionEstimationCore", "SearchWindow4x4Threshold");
}
int CMotionEstimationCore::SearchWindow8x4Stride4(const uint8_t*, const uint8_t*, int, int, int,
                                                  int*, int*) {
  ReportNotBuilt("CMotionEstimationCore", "SearchWindow8x4Stride4");
}
int CMotionEstimationCore::SearchWindow4x4(const uint8_t*, const uint8_t*, int, int, int, int*,
                                           int*) {
  ReportNotBuilt("CMotionEstimationCore", "SearchWindow4x4");
}
int CMotionEstimationCore::SearchWindowRowPairs(const uint8_t*, const uint8_t*, int, int, int, int*,
                                                int*, int) {
  ReportNotBuilt("CMotionEstimationCore", "SearchWindowRowPairs");
}
int CMotionEstimationCore::SearchWindowThreshold(const uint8_t*, const uint8_t*, int, int, int,
                                                 int*, int*, int) {
  ReportNotBuilt("CMotionEstimationCore", "SearchWindowThreshold");
}
void CMotionEstimationCore::DecimateBlock(uint8_t*, const uint8_t*, int) {
  ReportNotBuilt("CMotionEstimationCore", "DecimateBlock");
}
int CMotionEstimationCore::DecimateQuadrants(uint8_t*, const uint8_t*, int) {
  ReportNotBuilt("CMotionEstimationCore", "DecimateQuadrants");
}
int CMotionEstimationCore::SubPelSadsX16x16(const uint8_t*, uint16_t*, int*, int, int) {
  ReportNotBuilt("CMotionEstimationCore", "SubPelSadsX16x16");
}
int CMotionEstimationCore::SubPelSadsY16x16(const uint8_t*, int, uint16_t*, int*, int, int) {
  ReportNotBuilt("CMotionEstimationCore", "SubPelSadsY16x16");
}
int CMotionEstimationCore::SubPelSadsX8x8(const uint8_t*, uint16_t*, int*, int, int) {
  ReportNotBuilt("CMotionEstimationCore", "SubPelSadsX8x8");
}
int CMotionEstimationCore::SubPelSadsY8x8(const uint8_t*, int, uint16_t*, int*, int, int) {
  ReportNotBuilt("CMotionEstimationCore", "SubPelSadsY8x8");
}
int CMotionEstimationCore::SubPelSadsX16x8(const uint8_t*, uint16_t*, int*, int, int) {
  ReportNotBuilt("CMotionEstimationCore", "SubPelSadsX16x8");
}
int CMotionEstimationCore::SubPelSadsY16x8(const uint8_t*, int, uint16_t*, int*, int, int) {
  ReportNotBuilt("CMotionEstimationCore", "SubPelSadsY16x8");
}
int CMotionEstimationCore::SubPelSadsXHalves(const uint8_t*, uint16_t*, int*, int, int) {
  ReportNotBuilt("CMotionEstimationCore", "SubPelSadsXHalves");
}
int CMotionEstimationCore::SubPelSadsYHalves(const uint8_t*, int, uint16_t*, int*, int, int) {
  ReportNotBuilt("CMotionEstimationCore", "SubPelSadsYHalves");
}
void CMotionEstimationCore::DecimatePlane(uint8_t*, const uint8_t*, int, int, int, int) {
  ReportNotBuilt("CMotionEstimationCore", "DecimatePlane");
}
void CMotionEstimationCore::DecimatePlane4x2(uint8_t*, const uint8_t*, int, int, int) {
  ReportNotBuilt("CMotionEstimationCore", "DecimatePlane4x2");
}
void CMotionEstimationCore::DecimatePlaneAlt(uint8_t*, const uint8_t*, int, int, int, int) {
  ReportNotBuilt("CMotionEstimationCore", "DecimatePlaneAlt");
}
void CMotionEstimationCore::DecimateHorz(uint8_t*, const uint8_t*, int, int, int) {
  ReportNotBuilt("CMotionEstimationCore", "DecimateHorz");
}
void CMotionEstimationCore::DecimateVert(uint8_t*, const uint8_t*, int, int, int, int) {
  ReportNotBuilt("CMotionEstimationCore", "DecimateVert");
}
void CMotionEstimationCore::DecimateBlockHorz(uint8_t*, const uint8_t*) {
  ReportNotBuilt("CMotionEstimationCore", "DecimateBlockHorz");
}
void CMotionEstimationCore::DecimateBlockVert(uint8_t*, const uint8_t*) {
  ReportNotBuilt("CMotionEstimationCore", "DecimateBlockVert");
}
int CMotionEstimationCore::SearchWindowThreshold2(const uint8_t*, const uint8_t*, int, int, int,
                                                  int*, int*, int) {
  ReportNotBuilt("CMotionEstimationCore", "SearchWindowThreshold2");
}
int CMotionEstimationCore::SubPelSadsXVc1(const uint8_t*, uint16_t*, int*, int, int) {
  ReportNotBuilt("CMotionEstimationCore", "SubPelSadsXVc1");
}
int CMotionEstimationCore::SubPelSadsYVc1(const uint8_t*, int, uint16_t*, int*, int, int) {
  ReportNotBuilt("CMotionEstimationCore", "SubPelSadsYVc1");
}
int CMotionEstimationCoreXMM::SearchWindow8x4Stride4(const uint8_t*, const uint8_t*, int, int, int,
                                                     int*, int*) {
  ReportNotBuilt("CMotionEstimationCoreXMM", "SearchWindow8x4Stride4");
}
void CMotionEstimationCoreXMM::DecimatePlane4x2(uint8_t*, const uint8_t*, int, int, int) {
  ReportNotBuilt("CMotionEstimationCoreXMM", "DecimatePlane4x2");
}
uint32_t CMotionEstimationCoreXMM2::Sad16Packed(const uint8_t*) {
  ReportNotBuilt("CMotionEstimationCoreXMM2", "Sad16Packed");
}
uint32_t CMotionEstimationCoreXMM2::Sad16(const uint8_t*) {
  ReportNotBuilt("CMotionEstimationCoreXMM2", "Sad16");
}
uint32_t CMotionEstimationCoreXMM2::Sad16Prefetch(const uint8_t*) {
  ReportNotBuilt("CMotionEstimationCoreXMM2", "Sad16Prefetch");
}
uint32_t CMotionEstimationCoreXMM2::SadHalfPel16(const uint8_t*, int, int) {
  ReportNotBuilt("CMotionEstimationCoreXMM2", "SadHalfPel16");
}
uint32_t CMotionEstimationCoreXMM2::Sad8(const uint8_t*) {
  ReportNotBuilt("CMotionEstimationCoreXMM2", "Sad8");
}
uint32_t CMotionEstimationCoreXMM2::SadBidirHalfPel16(const uint8_t*, const uint8_t*, int, int, int,
                                                      int) {
  ReportNotBuilt("CMotionEstimationCoreXMM2", "SadBidirHalfPel16");
}
int CMotionEstimationCoreXMM2::RefineHalfPelHorz(const uint8_t*, int*, int, int) {
  ReportNotBuilt("CMotionEstimationCoreXMM2", "RefineHalfPelHorz");
}
int CMotionEstimationCoreXMM2::RefineHalfPelVert(const uint8_t*, int, int*, int, int) {
  ReportNotBuilt("CMotionEstimationCoreXMM2", "RefineHalfPelVert");
}
int CMotionEstimationCoreXMM2::RefineFullPelVert(const uint8_t*, int*) {
  ReportNotBuilt("CMotionEstimationCoreXMM2", "RefineFullPelVert");
}
int CMotionEstimationCoreXMM2::SearchWindow8x4Stride2(const uint8_t*, const uint8_t*, int, int, int,
                                                      int*, int*) {
  ReportNotBuilt("CMotionEstimationCoreXMM2", "SearchWindow8x4Stride2");
}
int CMotionEstimationCoreXMM2::SearchWindow4x4Threshold(const uint8_t*, const uint8_t*, int, int,
                                                        int, int*, int*, int) {
  ReportNotBuilt("CMotionEstimationCoreXMM2", "SearchWindow4x4Threshold");
}
int CMotionEstimationCoreXMM2::SearchWindowRowPairs(const uint8_t*, const uint8_t*, int, int, int,
                                                    int*, int*, int) {
  ReportNotBuilt("CMotionEstimationCoreXMM2", "SearchWindowRowPairs");
}
void CMotionEstimationCoreXMM2::DecimateBlock(uint8_t*, const uint8_t*, int) {
  ReportNotBuilt("CMotionEstimationCoreXMM2", "DecimateBlock");
}
int CMotionEstimationCoreXMM2::DecimateQuadrants(uint8_t*, const uint8_t*, int) {
  ReportNotBuilt("CMotionEstimationCoreXMM2", "DecimateQuadrants");
}
int CMotionEstimationCoreXMM2::SubPelSadsX16x16(const uint8_t*, uint16_t*, int*, int, int) {
  ReportNotBuilt("CMotionEstimationCoreXMM2", "SubPelSadsX16x16");
}
int CMotionEstimationCoreXMM2::SubPelSadsY16x16(const uint8_t*, int, uint16_t*, int*, int, int) {
  ReportNotBuilt("CMotionEstimationCoreXMM2", "SubPelSadsY16x16");
}
int CMotionEstimationCoreXMM2::SubPelSadsX16x8(const uint8_t*, uint16_t*, int*, int, int) {
  ReportNotBuilt("CMotionEstimationCoreXMM2", "SubPelSadsX16x8");
}
int CMotionEstimationCoreXMM2::SubPelSadsY16x8(const uint8_t*, int, uint16_t*, int*, int, int) {
  ReportNotBuilt("CMotionEstimationCoreXMM2", "SubPelSadsY16x8");
}
int CMotionEstimationCoreXMM2::SubPelSadsXHalves(const uint8_t*, uint16_t*, int*, int, int) {
  ReportNotBuilt("CMotionEstimationCoreXMM2", "SubPelSadsXHalves");
}
int CMotionEstimationCoreXMM2::SubPelSadsYHalves(const uint8_t*, int, uint16_t*, int*, int, int) {
  ReportNotBuilt("CMotionEstimationCoreXMM2", "SubPelSadsYHalves");
}
void CMotionEstimationCoreXMM2::DecimatePlane(uint8_t*, const uint8_t*, int, int, int, int) {
  ReportNotBuilt("CMotionEstimationCoreXMM2", "DecimatePlane");
}
void CMotionEstimationCoreXMM2::DecimatePlaneAlt(uint8_t*, const uint8_t*, int, int, int, int) {
  ReportNotBuilt("CMotionEstimationCoreXMM2", "DecimatePlaneAlt");
}
void CMotionEstimationCoreXMM2::DecimateHorz(uint8_t*, const uint8_t*, int, int, int) {
  ReportNotBuilt("CMotionEstimationCoreXMM2", "DecimateHorz");
}
void CMotionEstimationCoreXMM2::DecimateVert(uint8_t*, const uint8_t*, int, int, int, int) {
  ReportNotBuilt("CMotionEstimationCoreXMM2", "DecimateVert");
}
void CMotionEstimationCoreXMM2::DecimateBlockHorz(uint8_t*, const uint8_t*) {
  ReportNotBuilt("CMotionEstimationCoreXMM2", "DecimateBlockHorz");
}
void CMotionEstimationCoreXMM2::DecimateBlockVert(uint8_t*, const uint8_t*) {
  ReportNotBuilt("CMotionEstimationCoreXMM2", "DecimateBlockVert");
}
int CMotionEstimationCoreXMM2::SearchWindowThreshold2(const uint8_t*, const uint8_t*, int, int, int,
                                                      int*, int*, int) {
  ReportNotBuilt("CMotionEstimationCoreXMM2", "SearchWindowThreshold2");
}
uint32_t CMotionEstimationCoreXMM3::Sad16(const uint8_t*) {
  ReportNotBuilt("CMotionEstimationCoreXMM3", "Sad16");
}
uint32_t CMotionEstimationCoreXMM3::Sad16Prefetch(const uint8_t*) {
  ReportNotBuilt("CMotionEstimationCoreXMM3", "Sad16Prefetch");
}
uint32_t CMotionEstimationCoreXMM3::SadHalfPel16(const uint8_t*, int, int) {
  ReportNotBuilt("CMotionEstimationCoreXMM3", "SadHalfPel16");
}
int CMotionEstimationCoreXMM3::RefineHalfPelHorz(const uint8_t*, int*, int, int) {
  ReportNotBuilt("CMotionEstimationCoreXMM3", "RefineHalfPelHorz");
}
int CMotionEstimationCoreXMM3::RefineHalfPelVert(const uint8_t*, int, int*, int, int) {
  ReportNotBuilt("CMotionEstimationCoreXMM3", "RefineHalfPelVert");
}
int CMotionEstimationCoreXMM3::RefineFullPelVert(const uint8_t*, int*) {
  ReportNotBuilt("CMotionEstimationCoreXMM3", "RefineFullPelVert");
}

}  // namespace orx::dsp
