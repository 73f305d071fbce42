// Own bodies of the MMX and integer-SSE macroblock cores, which the factories build only for
// processors without SSE2. The integer-SSE H.264 slots 67, 68, 80 and 82 are built already
// (h264_transform_xmm.cpp, prediction_average_xmm.cpp): the SSE2 and SSE3 classes inherit them.
#include "venc/dsp/mb_core_variants.h"
#include "venc/dsp/not_built.h"

namespace orx::dsp {

void CMBCoreMMX::ForwardDct(int16_t*) { ReportNotBuilt("CMBCoreMMX", "ForwardDct"); }
void CMBCoreMMX::ForwardTransformVc1(int16_t*) {
  ReportNotBuilt("CMBCoreMMX", "ForwardTransformVc1");
}
void CMBCoreMMX::ApplyDeadZone(int16_t*) { ReportNotBuilt("CMBCoreMMX", "ApplyDeadZone"); }
void CMBCoreMMX::InverseDct(int16_t*) { ReportNotBuilt("CMBCoreMMX", "InverseDct"); }
void CMBCoreMMX::InverseTransformVc1(int16_t*) {
  ReportNotBuilt("CMBCoreMMX", "InverseTransformVc1");
}
int CMBCoreMMX::QuantizeClip255(const int16_t*, int16_t*) {
  ReportNotBuilt("CMBCoreMMX", "QuantizeClip255");
}
void CMBCoreMMX::QuantizeClip2047(int16_t*) { ReportNotBuilt("CMBCoreMMX", "QuantizeClip2047"); }
int CMBCoreMMX::QuantizeInterClip255(const int16_t*, int16_t*, int*) {
  ReportNotBuilt("CMBCoreMMX", "QuantizeInterClip255");
}
int CMBCoreMMX::QuantizeInterClip2047(int16_t*) {
  ReportNotBuilt("CMBCoreMMX", "QuantizeInterClip2047");
}
int CMBCoreMMX::QuantizeIntra(int16_t*, int) { ReportNotBuilt("CMBCoreMMX", "QuantizeIntra"); }
int CMBCoreMMX::QuantizeIntraTrunc(int16_t*, int) {
  ReportNotBuilt("CMBCoreMMX", "QuantizeIntraTrunc");
}
void CMBCoreMMX::DequantizeIntraMpeg1(int16_t*) {
  ReportNotBuilt("CMBCoreMMX", "DequantizeIntraMpeg1");
}
void CMBCoreMMX::DequantizeIntraMpeg2(int16_t*, int) {
  ReportNotBuilt("CMBCoreMMX", "DequantizeIntraMpeg2");
}
void CMBCoreMMX::DequantizeIntraH263(int16_t*, int, int) {
  ReportNotBuilt("CMBCoreMMX", "DequantizeIntraH263");
}
void CMBCoreMMX::ReconstructIntraDcOnly(int16_t*, int) {
  ReportNotBuilt("CMBCoreMMX", "ReconstructIntraDcOnly");
}
void CMBCoreMMX::DequantizeInterMpeg1(int16_t*) {
  ReportNotBuilt("CMBCoreMMX", "DequantizeInterMpeg1");
}
void CMBCoreMMX::DequantizeInterMpeg2(int16_t*) {
  ReportNotBuilt("CMBCoreMMX", "DequantizeInterMpeg2");
}
void CMBCoreMMX::DequantizeInterH263(int16_t*, int) {
  ReportNotBuilt("CMBCoreMMX", "DequantizeInterH263");
}
void CMBCoreMMX::ReconstructInterDcOnly(int16_t*) {
  ReportNotBuilt("CMBCoreMMX", "ReconstructInterDcOnly");
}
void CMBCoreMMX::LoadBlock(int16_t*, const uint8_t*, int) {
  ReportNotBuilt("CMBCoreMMX", "LoadBlock");
}
int CMBCoreMMX::SubtractBlock(int16_t*, const uint8_t*, const uint8_t*, int, int, int) {
  ReportNotBuilt("CMBCoreMMX", "SubtractBlock");
}
void CMBCoreMMX::LoadChromaPair(int16_t*, const uint8_t*, int) {
  ReportNotBuilt("CMBCoreMMX", "LoadChromaPair");
}
int CMBCoreMMX::SubtractChromaPair(int16_t*, const uint8_t*, const uint8_t*, int, int, int) {
  ReportNotBuilt("CMBCoreMMX", "SubtractChromaPair");
}
void CMBCoreMMX::StoreBlockPair(uint8_t*, const int16_t*, int) {
  ReportNotBuilt("CMBCoreMMX", "StoreBlockPair");
}
void CMBCoreMMX::AddBlockPair(uint8_t*, const uint8_t*, const int16_t*, int, int, int) {
  ReportNotBuilt("CMBCoreMMX", "AddBlockPair");
}
void CMBCoreMMX::StoreChromaPair(uint8_t*, const int16_t*, int) {
  ReportNotBuilt("CMBCoreMMX", "StoreChromaPair");
}
void CMBCoreMMX::AddChromaPair(uint8_t*, const uint8_t*, const int16_t*, int, int, int) {
  ReportNotBuilt("CMBCoreMMX", "AddChromaPair");
}
void CMBCoreMMX::PadBordersHorizontal(uint8_t*, int, int, int) {
  ReportNotBuilt("CMBCoreMMX", "PadBordersHorizontal");
}
void CMBCoreMMX::PadChromaBordersHorizontal(uint8_t*, int, int, int) {
  ReportNotBuilt("CMBCoreMMX", "PadChromaBordersHorizontal");
}
void CMBCoreMMX::PadBordersVertical(uint8_t*, const uint8_t*, int, int, int) {
  ReportNotBuilt("CMBCoreMMX", "PadBordersVertical");
}
void CMBCoreMMX::Copy16x16(uint8_t*, const uint8_t*, int, int) {
  ReportNotBuilt("CMBCoreMMX", "Copy16x16");
}
void CMBCoreMMX::CopyMBBuffer(uint8_t*, const uint8_t*, const uint8_t*) {
  ReportNotBuilt("CMBCoreMMX", "CopyMBBuffer");
}
void CMBCoreMMX::AverageMBBuffers(uint8_t*, const uint8_t*, const uint8_t*, const uint8_t*,
                                  const uint8_t*) {
  ReportNotBuilt("CMBCoreMMX", "AverageMBBuffers");
}
int CMBCoreMMX::FindLastCoefficient(const int16_t*, const uint8_t*) {
  ReportNotBuilt("CMBCoreMMX", "FindLastCoefficient");
}
void CMBCoreMMX::LoadBlockOffset(int16_t*, const uint8_t*, int, int) {
  ReportNotBuilt("CMBCoreMMX", "LoadBlockOffset");
}
void CMBCoreMMX::StoreBlockPairOffset(uint8_t*, const int16_t*, const int16_t*, int, int, int) {
  ReportNotBuilt("CMBCoreMMX", "StoreBlockPairOffset");
}
void CMBCoreMMX::LoadChromaPairOffset(int16_t*, const uint8_t*, int, int) {
  ReportNotBuilt("CMBCoreMMX", "LoadChromaPairOffset");
}
void CMBCoreMMX::StoreChromaPairOffset(uint8_t*, const int16_t*, const int16_t*, int, int, int) {
  ReportNotBuilt("CMBCoreMMX", "StoreChromaPairOffset");
}
void CMBCoreMMX::DequantizeIntraVc1(int16_t*, int, int) {
  ReportNotBuilt("CMBCoreMMX", "DequantizeIntraVc1");
}
void CMBCoreMMX::DequantizeInterVc1(int16_t*, int) {
  ReportNotBuilt("CMBCoreMMX", "DequantizeInterVc1");
}
void CMBCoreMMX::ReconstructDcOnlyVc1(int16_t*, int) {
  ReportNotBuilt("CMBCoreMMX", "ReconstructDcOnlyVc1");
}
void CMBCoreXMM::CodeIntraDcOnlyPair(int16_t*, const uint8_t*, int) {
  ReportNotBuilt("CMBCoreXMM", "CodeIntraDcOnlyPair");
}
void CMBCoreXMM::LoadBlock(int16_t*, const uint8_t*, int) {
  ReportNotBuilt("CMBCoreXMM", "LoadBlock");
}
int CMBCoreXMM::SubtractBlock(int16_t*, const uint8_t*, const uint8_t*, int, int, int) {
  ReportNotBuilt("CMBCoreXMM", "SubtractBlock");
}
void CMBCoreXMM::LoadChromaPair(int16_t*, const uint8_t*, int) {
  ReportNotBuilt("CMBCoreXMM", "LoadChromaPair");
}
int CMBCoreXMM::SubtractChromaPair(int16_t*, const uint8_t*, const uint8_t*, int, int, int) {
  ReportNotBuilt("CMBCoreXMM", "SubtractChromaPair");
}
void CMBCoreXMM::CopyMBBuffer(uint8_t*, const uint8_t*, const uint8_t*) {
  ReportNotBuilt("CMBCoreXMM", "CopyMBBuffer");
}
void CMBCoreXMM::AverageMBBuffers(uint8_t*, const uint8_t*, const uint8_t*, const uint8_t*,
                                  const uint8_t*) {
  ReportNotBuilt("CMBCoreXMM", "AverageMBBuffers");
}
int CMBCoreXMM::FindLastCoefficient(const int16_t*, const uint8_t*) {
  ReportNotBuilt("CMBCoreXMM", "FindLastCoefficient");
}
void CMBCoreXMM::InitMcTables() { ReportNotBuilt("CMBCoreXMM", "InitMcTables"); }
void CMBCoreXMM::LoadBlockOffset(int16_t*, const uint8_t*, int, int) {
  ReportNotBuilt("CMBCoreXMM", "LoadBlockOffset");
}
void CMBCoreXMM::LoadChromaPairOffset(int16_t*, const uint8_t*, int, int) {
  ReportNotBuilt("CMBCoreXMM", "LoadChromaPairOffset");
}
void CMBCoreXMM::CodeIntraDcOnlyPairVc1(int16_t*, const uint8_t*, int, int) {
  ReportNotBuilt("CMBCoreXMM", "CodeIntraDcOnlyPairVc1");
}
int CMBCoreXMM::TransformQuant4x4(int16_t*, int) {
  ReportNotBuilt("CMBCoreXMM", "TransformQuant4x4");
}
void CMBCoreXMM::TransformQuant4x4Pair(int16_t*, const uint8_t*, const uint8_t*, int, uint32_t*) {
  ReportNotBuilt("CMBCoreXMM", "TransformQuant4x4Pair");
}
void CMBCoreXMM::TransformQuantChromaAc(int16_t*, const uint8_t*, const uint8_t*, int, uint32_t*) {
  ReportNotBuilt("CMBCoreXMM", "TransformQuantChromaAc");
}
void CMBCoreXMM::TransformQuantChromaDc(int16_t*, const int16_t*, uint32_t*) {
  ReportNotBuilt("CMBCoreXMM", "TransformQuantChromaDc");
}
void CMBCoreXMM::Reconstruct4x4Pair(uint8_t*, const uint8_t*, const int16_t*, int, int) {
  ReportNotBuilt("CMBCoreXMM", "Reconstruct4x4Pair");
}
void CMBCoreXMM::ReconstructChroma(uint8_t*, const uint8_t*, const int16_t*, const int16_t*, int,
                                   int) {
  ReportNotBuilt("CMBCoreXMM", "ReconstructChroma");
}
void CMBCoreXMM::Subtract4x4(int16_t*, const uint8_t*, const uint8_t*, int) {
  ReportNotBuilt("CMBCoreXMM", "Subtract4x4");
}
int CMBCoreXMM::PredictIntraChroma(const uint8_t*, const uint8_t*, int, uint32_t, uint8_t*) {
  ReportNotBuilt("CMBCoreXMM", "PredictIntraChroma");
}
void CMBCoreXMM::McChromaEighthPel(uint8_t*, const uint8_t*, int, uint32_t) {
  ReportNotBuilt("CMBCoreXMM", "McChromaEighthPel");
}
void CMBCoreXMM::DeblockLumaHorzEdge(uint8_t*, uint8_t*, int, uint32_t, const uint8_t*) {
  ReportNotBuilt("CMBCoreXMM", "DeblockLumaHorzEdge");
}
int CMBCoreXMM::PredictIntra16x16(const uint8_t*, const uint8_t*, int, uint32_t, uint8_t*) {
  ReportNotBuilt("CMBCoreXMM", "PredictIntra16x16");
}
void CMBCoreXMM::DeblockChromaHorzEdge(uint8_t*, uint8_t*, int, uint32_t, const uint8_t*) {
  ReportNotBuilt("CMBCoreXMM", "DeblockChromaHorzEdge");
}
void CMBCoreXMM::InterpolateLumaQpel8x8(uint8_t*, const uint8_t*, int, int) {
  ReportNotBuilt("CMBCoreXMM", "InterpolateLumaQpel8x8");
}
void CMBCoreXMM::DeblockLumaVertEdge(uint8_t*, uint8_t*, int, uint32_t, const uint8_t*, int) {
  ReportNotBuilt("CMBCoreXMM", "DeblockLumaVertEdge");
}
int CMBCoreXMM::PredictIntra4x4Best(int16_t*, uint8_t*, const uint8_t*, const uint8_t*, int,
                                    uint32_t) {
  ReportNotBuilt("CMBCoreXMM", "PredictIntra4x4Best");
}
void CMBCoreXMM::DeblockChromaVertEdge(uint8_t*, uint8_t*, int, uint32_t, const uint8_t*, int) {
  ReportNotBuilt("CMBCoreXMM", "DeblockChromaVertEdge");
}

}  // namespace orx::dsp
