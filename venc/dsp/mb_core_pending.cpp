// Macroblock core bodies of this wave that are not written yet.
#include "venc/dsp/mb_core_variants.h"
#include "venc/dsp/not_built.h"

namespace orx::dsp {

void CMBCore::ForwardDct(int16_t*) { ReportNotBuilt("CMBCore", "ForwardDct"); }
void CMBCore::ForwardTransformVc1(int16_t*) { ReportNotBuilt("CMBCore", "ForwardTransformVc1"); }
void CMBCore::ApplyDeadZone(int16_t*) { ReportNotBuilt("CMBCore", "ApplyDeadZone"); }
void CMBCore::InverseDct(int16_t*) { ReportNotBuilt("CMBCore", "InverseDct"); }
void CMBCore::InverseTransformVc1(int16_t*) { ReportNotBuilt("CMBCore", "InverseTransformVc1"); }
int CMBCore::QuantizeClip255(const int16_t*, int16_t*) {
  ReportNotBuilt("CMBCore", "QuantizeClip255");
}
void CMBCore::QuantizeClip2047(int16_t*) { ReportNotBuilt("CMBCore", "QuantizeClip2047"); }
int CMBCore::QuantizeInterClip255(const int16_t*, int16_t*, int*) {
  ReportNotBuilt("CMBCore", "QuantizeInterClip255");
}
int CMBCore::QuantizeInterClip2047(int16_t*) { ReportNotBuilt("CMBCore", "QuantizeInterClip2047"); }
int CMBCore::QuantizeIntra(int16_t*, int) { ReportNotBuilt("CMBCore", "QuantizeIntra"); }
int CMBCore::QuantizeIntraTrunc(int16_t*, int) { ReportNotBuilt("CMBCore", "QuantizeIntraTrunc"); }
void CMBCore::CodeIntraDcOnlyPair(int16_t*, const uint8_t*, int) {
  ReportNotBuilt("CMBCore", "CodeIntraDcOnlyPair");
}
void CMBCore::DequantizeIntraMpeg1(int16_t*) { ReportNotBuilt("CMBCore", "DequantizeIntraMpeg1"); }
void CMBCore::DequantizeIntraMpeg2(int16_t*, int) {
  ReportNotBuilt("CMBCore", "DequantizeIntraMpeg2");
}
void CMBCore::DequantizeIntraH263(int16_t*, int, int) {
  ReportNotBuilt("CMBCore", "DequantizeIntraH263");
}
void CMBCore::ReconstructIntraDcOnly(int16_t*, int) {
  ReportNotBuilt("CMBCore", "ReconstructIntraDcOnly");
}
void CMBCore::DequantizeInterMpeg1(int16_t*) { ReportNotBuilt("CMBCore", "DequantizeInterMpeg1"); }
void CMBCore::DequantizeInterMpeg2(int16_t*) { ReportNotBuilt("CMBCore", "DequantizeInterMpeg2"); }
void CMBCore::DequantizeInterH263(int16_t*, int) {
  ReportNotBuilt("CMBCore", "DequantizeInterH263");
}
void CMBCore::ReconstructInterDcOnly(int16_t*) {
  ReportNotBuilt("CMBCore", "ReconstructInterDcOnly");
}
void CMBCore::LoadBlock(int16_t*, const uint8_t*, int) { ReportNotBuilt("CMBCore", "LoadBlock"); }
int CMBCore::SubtractBlock(int16_t*, const uint8_t*, const uint8_t*, int, int, int) {
  ReportNotBuilt("CMBCore", "SubtractBlock");
}
void CMBCore::LoadChromaPair(int16_t*, const uint8_t*, int) {
  ReportNotBuilt("CMBCore", "LoadChromaPair");
}
int CMBCore::SubtractChromaPair(int16_t*, const uint8_t*, const uint8_t*, int, int, int) {
  ReportNotBuilt("CMBCore", "SubtractChromaPair");
}
void CMBCore::StoreBlockPair(uint8_t*, const int16_t*, int) {
  ReportNotBuilt("CMBCore", "StoreBlockPair");
}
void CMBCore::AddBlockPair(uint8_t*, const uint8_t*, const int16_t*, int, int, int) {
  ReportNotBuilt("CMBCore", "AddBlockPair");
}
void CMBCore::StoreChromaPair(uint8_t*, const int16_t*, int) {
  ReportNotBuilt("CMBCore", "StoreChromaPair");
}
void CMBCore::AddChromaPair(uint8_t*, const uint8_t*, const int16_t*, int, int, int) {
  ReportNotBuilt("CMBCore", "AddChromaPair");
}
void CMBCore::PadBordersHorizontal(uint8_t*, int, int, int) {
  ReportNotBuilt("CMBCore", "PadBordersHorizontal");
}
void CMBCore::PadChromaBordersHorizontal(uint8_t*, int, int, int) {
  ReportNotBuilt("CMBCore", "PadChromaBordersHorizontal");
}
void CMBCore::PadBordersVertical(uint8_t*, const uint8_t*, int, int, int) {
  ReportNotBuilt("CMBCore", "PadBordersVertical");
}
void CMBCore::Copy16x16(uint8_t*, const uint8_t*, int, int) {
  ReportNotBuilt("CMBCore", "Copy16x16");
}
void CMBCore::CopyMBBuffer(uint8_t*, const uint8_t*, const uint8_t*) {
  ReportNotBuilt("CMBCore", "CopyMBBuffer");
}
void CMBCore::AverageMBBuffers(uint8_t*, const uint8_t*, const uint8_t*, const uint8_t*,
                               const uint8_t*) {
  ReportNotBuilt("CMBCore", "AverageMBBuffers");
}
int CMBCore::FindLastCoefficient(const int16_t*, const uint8_t*) {
  ReportNotBuilt("CMBCore", "FindLastCoefficient");
}
void CMBCore::StoreAcPredRow(const int16_t*, int16_t*, int) {
  ReportNotBuilt("CMBCore", "StoreAcPredRow");
}
void CMBCore::StoreAcPredColumn(const int16_t*, int16_t*, int) {
  ReportNotBuilt("CMBCore", "StoreAcPredColumn");
}
int CMBCore::PredictAcRow(const int16_t*, int16_t*, int16_t*, int, int) {
  ReportNotBuilt("CMBCore", "PredictAcRow");
}
int CMBCore::PredictAcColumn(const int16_t*, int16_t*, int16_t*, int, int) {
  ReportNotBuilt("CMBCore", "PredictAcColumn");
}
void CMBCore::SumSseSad16x8(const uint8_t*, const uint8_t*, int, int, uint32_t*, uint32_t*) {
  ReportNotBuilt("CMBCore", "SumSseSad16x8");
}
void CMBCore::LoadBlockOffset(int16_t*, const uint8_t*, int, int) {
  ReportNotBuilt("CMBCore", "LoadBlockOffset");
}
void CMBCore::StoreBlockPairOffset(uint8_t*, const int16_t*, const int16_t*, int, int, int) {
  ReportNotBuilt("CMBCore", "StoreBlockPairOffset");
}
void CMBCore::LoadChromaPairOffset(int16_t*, const uint8_t*, int, int) {
  ReportNotBuilt("CMBCore", "LoadChromaPairOffset");
}
void CMBCore::StoreChromaPairOffset(uint8_t*, const int16_t*, const int16_t*, int, int, int) {
  ReportNotBuilt("CMBCore", "StoreChromaPairOffset");
}
int CMBCore::PredictAcRowVc1(const int16_t*, int16_t*, int16_t*, int, int) {
  ReportNotBuilt("CMBCore", "PredictAcRowVc1");
}
int CMBCore::PredictAcColumnVc1(const int16_t*, int16_t*, int16_t*, int, int) {
  ReportNotBuilt("CMBCore", "PredictAcColumnVc1");
}
void CMBCore::DequantizeIntraVc1(int16_t*, int, int) {
  ReportNotBuilt("CMBCore", "DequantizeIntraVc1");
}
void CMBCore::DequantizeInterVc1(int16_t*, int) { ReportNotBuilt("CMBCore", "DequantizeInterVc1"); }
void CMBCore::ReconstructDcOnlyVc1(int16_t*, int) {
  ReportNotBuilt("CMBCore", "ReconstructDcOnlyVc1");
}
void CMBCore::CodeIntraDcOnlyPairVc1(int16_t*, const uint8_t*, int, int) {
  ReportNotBuilt("CMBCore", "CodeIntraDcOnlyPairVc1");
}
void CMBCoreXMM::StoreAcPredRow(const int16_t*, int16_t*, int) {
  ReportNotBuilt("CMBCoreXMM", "StoreAcPredRow");
}
void CMBCoreXMM::StoreAcPredColumn(const int16_t*, int16_t*, int) {
  ReportNotBuilt("CMBCoreXMM", "StoreAcPredColumn");
}
int CMBCoreXMM::PredictAcRow(const int16_t*, int16_t*, int16_t*, int, int) {
  ReportNotBuilt("CMBCoreXMM", "PredictAcRow");
}
int CMBCoreXMM::PredictAcColumn(const int16_t*, int16_t*, int16_t*, int, int) {
  ReportNotBuilt("CMBCoreXMM", "PredictAcColumn");
}
void CMBCoreXMM::SumSseSad16x8(const uint8_t*, const uint8_t*, int, int, uint32_t*, uint32_t*) {
  ReportNotBuilt("CMBCoreXMM", "SumSseSad16x8");
}
int CMBCoreXMM::PredictAcRowVc1(const int16_t*, int16_t*, int16_t*, int, int) {
  ReportNotBuilt("CMBCoreXMM", "PredictAcRowVc1");
}
int CMBCoreXMM::PredictAcColumnVc1(const int16_t*, int16_t*, int16_t*, int, int) {
  ReportNotBuilt("CMBCoreXMM", "PredictAcColumnVc1");
}
void CMBCoreXMM2::ForwardDct(int16_t*) { ReportNotBuilt("CMBCoreXMM2", "ForwardDct"); }
void CMBCoreXMM2::ForwardTransformVc1(int16_t*) {
  ReportNotBuilt("CMBCoreXMM2", "ForwardTransformVc1");
}
void CMBCoreXMM2::ApplyDeadZone(int16_t*) { ReportNotBuilt("CMBCoreXMM2", "ApplyDeadZone"); }
void CMBCoreXMM2::InverseDct(int16_t*) { ReportNotBuilt("CMBCoreXMM2", "InverseDct"); }
void CMBCoreXMM2::InverseTransformVc1(int16_t*) {
  ReportNotBuilt("CMBCoreXMM2", "InverseTransformVc1");
}
int CMBCoreXMM2::QuantizeClip255(const int16_t*, int16_t*) {
  ReportNotBuilt("CMBCoreXMM2", "QuantizeClip255");
}
void CMBCoreXMM2::QuantizeClip2047(int16_t*) { ReportNotBuilt("CMBCoreXMM2", "QuantizeClip2047"); }
int CMBCoreXMM2::QuantizeInterClip255(const int16_t*, int16_t*, int*) {
  ReportNotBuilt("CMBCoreXMM2", "QuantizeInterClip255");
}
int CMBCoreXMM2::QuantizeInterClip2047(int16_t*) {
  ReportNotBuilt("CMBCoreXMM2", "QuantizeInterClip2047");
}
int CMBCoreXMM2::QuantizeIntra(int16_t*, int) { ReportNotBuilt("CMBCoreXMM2", "QuantizeIntra"); }
int CMBCoreXMM2::QuantizeIntraTrunc(int16_t*, int) {
  ReportNotBuilt("CMBCoreXMM2", "QuantizeIntraTrunc");
}
void CMBCoreXMM2::CodeIntraDcOnlyPair(int16_t*, const uint8_t*, int) {
  ReportNotBuilt("CMBCoreXMM2", "CodeIntraDcOnlyPair");
}
void CMBCoreXMM2::DequantizeIntraMpeg1(int16_t*) {
  ReportNotBuilt("CMBCoreXMM2", "DequantizeIntraMpeg1");
}
void CMBCoreXMM2::DequantizeIntraMpeg2(int16_t*, int) {
  ReportNotBuilt("CMBCoreXMM2", "DequantizeIntraMpeg2");
}
void CMBCoreXMM2::DequantizeIntraH263(int16_t*, int, int) {
  ReportNotBuilt("CMBCoreXMM2", "DequantizeIntraH263");
}
void CMBCoreXMM2::ReconstructIntraDcOnly(int16_t*, int) {
  ReportNotBuilt("CMBCoreXMM2", "ReconstructIntraDcOnly");
}
void CMBCoreXMM2::DequantizeInterMpeg1(int16_t*) {
  ReportNotBuilt("CMBCoreXMM2", "DequantizeInterMpeg1");
}
void CMBCoreXMM2::DequantizeInterMpeg2(int16_t*) {
  ReportNotBuilt("CMBCoreXMM2", "DequantizeInterMpeg2");
}
void CMBCoreXMM2::DequantizeInterH263(int16_t*, int) {
  ReportNotBuilt("CMBCoreXMM2", "DequantizeInterH263");
}
void CMBCoreXMM2::ReconstructInterDcOnly(int16_t*) {
  ReportNotBuilt("CMBCoreXMM2", "ReconstructInterDcOnly");
}
void CMBCoreXMM2::LoadBlock(int16_t*, const uint8_t*, int) {
  ReportNotBuilt("CMBCoreXMM2", "LoadBlock");
}
int CMBCoreXMM2::SubtractBlock(int16_t*, const uint8_t*, const uint8_t*, int, int, int) {
  ReportNotBuilt("CMBCoreXMM2", "SubtractBlock");
}
void CMBCoreXMM2::LoadChromaPair(int16_t*, const uint8_t*, int) {
  ReportNotBuilt("CMBCoreXMM2", "LoadChromaPair");
}
int CMBCoreXMM2::SubtractChromaPair(int16_t*, const uint8_t*, const uint8_t*, int, int, int) {
  ReportNotBuilt("CMBCoreXMM2", "SubtractChromaPair");
}
void CMBCoreXMM2::StoreBlockPair(uint8_t*, const int16_t*, int) {
  ReportNotBuilt("CMBCoreXMM2", "StoreBlockPair");
}
void CMBCoreXMM2::AddBlockPair(uint8_t*, const uint8_t*, const int16_t*, int, int, int) {
  ReportNotBuilt("CMBCoreXMM2", "AddBlockPair");
}
void CMBCoreXMM2::StoreChromaPair(uint8_t*, const int16_t*, int) {
  ReportNotBuilt("CMBCoreXMM2", "StoreChromaPair");
}
void CMBCoreXMM2::AddChromaPair(uint8_t*, const uint8_t*, const int16_t*, int, int, int) {
  ReportNotBuilt("CMBCoreXMM2", "AddChromaPair");
}
void CMBCoreXMM2::PadBordersHorizontal(uint8_t*, int, int, int) {
  ReportNotBuilt("CMBCoreXMM2", "PadBordersHorizontal");
}
void CMBCoreXMM2::PadChromaBordersHorizontal(uint8_t*, int, int, int) {
  ReportNotBuilt("CMBCoreXMM2", "PadChromaBordersHorizontal");
}
void CMBCoreXMM2::PadBordersVertical(uint8_t*, const uint8_t*, int, int, int) {
  ReportNotBuilt("CMBCoreXMM2", "PadBordersVertical");
}
void CMBCoreXMM2::Copy16x16(uint8_t*, const uint8_t*, int, int) {
  ReportNotBuilt("CMBCoreXMM2", "Copy16x16");
}
void CMBCoreXMM2::CopyMBBuffer(uint8_t*, const uint8_t*, const uint8_t*) {
  ReportNotBuilt("CMBCoreXMM2", "CopyMBBuffer");
}
void CMBCoreXMM2::AverageMBBuffers(uint8_t*, const uint8_t*, const uint8_t*, const uint8_t*,
                                   const uint8_t*) {
  ReportNotBuilt("CMBCoreXMM2", "AverageMBBuffers");
}
int CMBCoreXMM2::FindLastCoefficient(const int16_t*, const uint8_t*) {
  ReportNotBuilt("CMBCoreXMM2", "FindLastCoefficient");
}
void CMBCoreXMM2::LoadBlockOffset(int16_t*, const uint8_t*, int, int) {
  ReportNotBuilt("CMBCoreXMM2", "LoadBlockOffset");
}
void CMBCoreXMM2::StoreBlockPairOffset(uint8_t*, const int16_t*, const int16_t*, int, int, int) {
  ReportNotBuilt("CMBCoreXMM2", "StoreBlockPairOffset");
}
void CMBCoreXMM2::LoadChromaPairOffset(int16_t*, const uint8_t*, int, int) {
  ReportNotBuilt("CMBCoreXMM2", "LoadChromaPairOffset");
}
void CMBCoreXMM2::StoreChromaPairOffset(uint8_t*, const int16_t*, const int16_t*, int, int, int) {
  ReportNotBuilt("CMBCoreXMM2", "StoreChromaPairOffset");
}
void CMBCoreXMM2::DequantizeIntraVc1(int16_t*, int, int) {
  ReportNotBuilt("CMBCoreXMM2", "DequantizeIntraVc1");
}
void CMBCoreXMM2::DequantizeInterVc1(int16_t*, int) {
  ReportNotBuilt("CMBCoreXMM2", "DequantizeInterVc1");
}
void CMBCoreXMM2::ReconstructDcOnlyVc1(int16_t*, int) {
  ReportNotBuilt("CMBCoreXMM2", "ReconstructDcOnlyVc1");
}
void CMBCoreXMM2::CodeIntraDcOnlyPairVc1(int16_t*, const uint8_t*, int, int) {
  ReportNotBuilt("CMBCoreXMM2", "CodeIntraDcOnlyPairVc1");
}

}  // namespace orx::dsp
