// The H.264 slots of the reference and SSE2 macroblock cores, built with the H.264 path.
#include "venc/dsp/mb_core_variants.h"
#include "venc/dsp/not_built.h"

namespace orx::dsp {

int CMBCore::TransformQuant4x4(int16_t*, int) { ReportNotBuilt("CMBCore", "TransformQuant4x4"); }
void CMBCore::TransformQuant4x4Pair(int16_t*, const uint8_t*, const uint8_t*, int, uint32_t*) {
  ReportNotBuilt("CMBCore", "TransformQuant4x4Pair");
}
void CMBCore::TransformQuantChromaAc(int16_t*, const uint8_t*, const uint8_t*, int, uint32_t*) {
  ReportNotBuilt("CMBCore", "TransformQuantChromaAc");
}
void CMBCore::TransformQuantChromaDc(int16_t*, const int16_t*, uint32_t*) {
  ReportNotBuilt("CMBCore", "TransformQuantChromaDc");
}
int CMBCore::TransformQuantLumaDc(int16_t*, int16_t*) {
  ReportNotBuilt("CMBCore", "TransformQuantLumaDc");
}
void CMBCore::Reconstruct4x4(uint8_t*, const uint8_t*, const int16_t*, int, int, int) {
  ReportNotBuilt("CMBCore", "Reconstruct4x4");
}
void CMBCore::Reconstruct4x4Pair(uint8_t*, const uint8_t*, const int16_t*, int, int) {
  ReportNotBuilt("CMBCore", "Reconstruct4x4Pair");
}
void CMBCore::ReconstructChroma(uint8_t*, const uint8_t*, const int16_t*, const int16_t*, int,
                                int) {
  ReportNotBuilt("CMBCore", "ReconstructChroma");
}
void CMBCore::Subtract4x4(int16_t*, const uint8_t*, const uint8_t*, int) {
  ReportNotBuilt("CMBCore", "Subtract4x4");
}
int CMBCore::PredictIntraChroma(const uint8_t*, const uint8_t*, int, uint32_t, uint8_t*) {
  ReportNotBuilt("CMBCore", "PredictIntraChroma");
}
void CMBCore::McChromaEighthPel(uint8_t*, const uint8_t*, int, uint32_t) {
  ReportNotBuilt("CMBCore", "McChromaEighthPel");
}
void CMBCore::DeblockLumaHorzEdge(uint8_t*, uint8_t*, int, uint32_t, const uint8_t*) {
  ReportNotBuilt("CMBCore", "DeblockLumaHorzEdge");
}
int CMBCore::PredictIntra16x16(const uint8_t*, const uint8_t*, int, uint32_t, uint8_t*) {
  ReportNotBuilt("CMBCore", "PredictIntra16x16");
}
void CMBCore::DeblockChromaHorzEdge(uint8_t*, uint8_t*, int, uint32_t, const uint8_t*) {
  ReportNotBuilt("CMBCore", "DeblockChromaHorzEdge");
}
void CMBCore::InterpolateLumaQpel8x8(uint8_t*, const uint8_t*, int, int) {
  ReportNotBuilt("CMBCore", "InterpolateLumaQpel8x8");
}
void CMBCore::DeblockLumaVertEdge(uint8_t*, uint8_t*, int, uint32_t, const uint8_t*, int) {
  ReportNotBuilt("CMBCore", "DeblockLumaVertEdge");
}
int CMBCore::PredictIntra4x4Best(int16_t*, uint8_t*, const uint8_t*, const uint8_t*, int,
                                 uint32_t) {
  ReportNotBuilt("CMBCore", "PredictIntra4x4Best");
}
void CMBCore::AverageInPlace32(uint8_t*, const uint8_t*) {
  ReportNotBuilt("CMBCore", "AverageInPlace32");
}
void CMBCore::DeblockChromaVertEdge(uint8_t*, uint8_t*, int, uint32_t, const uint8_t*, int) {
  ReportNotBuilt("CMBCore", "DeblockChromaVertEdge");
}
void CMBCore::AverageInPlace64(uint8_t*, const uint8_t*) {
  ReportNotBuilt("CMBCore", "AverageInPlace64");
}
int CMBCoreXMM2::TransformQuant4x4(int16_t*, int) {
  ReportNotBuilt("CMBCoreXMM2", "TransformQuant4x4");
}
void CMBCoreXMM2::TransformQuant4x4Pair(int16_t*, const uint8_t*, const uint8_t*, int, uint32_t*) {
  ReportNotBuilt("CMBCoreXMM2", "TransformQuant4x4Pair");
}
void CMBCoreXMM2::TransformQuantChromaAc(int16_t*, const uint8_t*, const uint8_t*, int, uint32_t*) {
  ReportNotBuilt("CMBCoreXMM2", "TransformQuantChromaAc");
}
void CMBCoreXMM2::TransformQuantChromaDc(int16_t*, const int16_t*, uint32_t*) {
  ReportNotBuilt("CMBCoreXMM2", "TransformQuantChromaDc");
}
void CMBCoreXMM2::Reconstruct4x4Pair(uint8_t*, const uint8_t*, const int16_t*, int, int) {
  ReportNotBuilt("CMBCoreXMM2", "Reconstruct4x4Pair");
}
void CMBCoreXMM2::ReconstructChroma(uint8_t*, const uint8_t*, const int16_t*, const int16_t*, int,
                                    int) {
  ReportNotBuilt("CMBCoreXMM2", "ReconstructChroma");
}
void CMBCoreXMM2::Subtract4x4(int16_t*, const uint8_t*, const uint8_t*, int) {
  ReportNotBuilt("CMBCoreXMM2", "Subtract4x4");
}
int CMBCoreXMM2::PredictIntraChroma(const uint8_t*, const uint8_t*, int, uint32_t, uint8_t*) {
  ReportNotBuilt("CMBCoreXMM2", "PredictIntraChroma");
}
void CMBCoreXMM2::McChromaEighthPel(uint8_t*, const uint8_t*, int, uint32_t) {
  ReportNotBuilt("CMBCoreXMM2", "McChromaEighthPel");
}
void CMBCoreXMM2::DeblockLumaHorzEdge(uint8_t*, uint8_t*, int, uint32_t, const uint8_t*) {
  ReportNotBuilt("CMBCoreXMM2", "DeblockLumaHorzEdge");
}
int CMBCoreXMM2::PredictIntra16x16(const uint8_t*, const uint8_t*, int, uint32_t, uint8_t*) {
  ReportNotBuilt("CMBCoreXMM2", "PredictIntra16x16");
}
void CMBCoreXMM2::DeblockChromaHorzEdge(uint8_t*, uint8_t*, int, uint32_t, const uint8_t*) {
  ReportNotBuilt("CMBCoreXMM2", "DeblockChromaHorzEdge");
}
void CMBCoreXMM2::InterpolateLumaQpel8x8(uint8_t*, const uint8_t*, int, int) {
  ReportNotBuilt("CMBCoreXMM2", "InterpolateLumaQpel8x8");
}
void CMBCoreXMM2::DeblockLumaVertEdge(uint8_t*, uint8_t*, int, uint32_t, const uint8_t*, int) {
  ReportNotBuilt("CMBCoreXMM2", "DeblockLumaVertEdge");
}
int CMBCoreXMM2::PredictIntra4x4Best(int16_t*, uint8_t*, const uint8_t*, const uint8_t*, int,
                                     uint32_t) {
  ReportNotBuilt("CMBCoreXMM2", "PredictIntra4x4Best");
}
void CMBCoreXMM2::DeblockChromaVertEdge(uint8_t*, uint8_t*, int, uint32_t, const uint8_t*, int) {
  ReportNotBuilt("CMBCoreXMM2", "DeblockChromaVertEdge");
}

}  // namespace orx::dsp
