#pragma once
// The macroblock core variant classes; each overrides exactly the slots it supplies.
#include "venc/dsp/mb_core.h"

namespace orx::dsp {

class CMBCoreMMX : public CMBCore {
 public:
  void ForwardDct(int16_t* block) override;
  void ForwardTransformVc1(int16_t* block) override;
  void ApplyDeadZone(int16_t* block) override;
  void InverseDct(int16_t* block) override;
  void InverseTransformVc1(int16_t* block) override;
  int QuantizeClip255(const int16_t* source, int16_t* destination) override;
  void QuantizeClip2047(int16_t* block) override;
  int QuantizeInterClip255(const int16_t* source, int16_t* destination, int* overflow) override;
  int QuantizeInterClip2047(int16_t* block) override;
  int QuantizeIntra(int16_t* block, int blockIndex) override;
  int QuantizeIntraTrunc(int16_t* block, int blockIndex) override;
  void DequantizeIntraMpeg1(int16_t* block) override;
  void DequantizeIntraMpeg2(int16_t* block, int blockIndex) override;
  void DequantizeIntraH263(int16_t* block, int blockIndex, int qp) override;
  void ReconstructIntraDcOnly(int16_t* block, int blockIndex) override;
  void DequantizeInterMpeg1(int16_t* block) override;
  void DequantizeInterMpeg2(int16_t* block) override;
  void DequantizeInterH263(int16_t* block, int qp) override;
  void ReconstructInterDcOnly(int16_t* block) override;
  void LoadBlock(int16_t* block, const uint8_t* source, int stride) override;
  int SubtractBlock(int16_t* block, const uint8_t* current, const uint8_t* prediction,
                    int currentStride, int predictionStride, int threshold) override;
  void LoadChromaPair(int16_t* blocks, const uint8_t* source, int stride) override;
  int SubtractChromaPair(int16_t* blocks, const uint8_t* current, const uint8_t* prediction,
                         int currentStride, int predictionStride, int threshold) override;
  void StoreBlockPair(uint8_t* destination, const int16_t* blocks, int stride) override;
  void AddBlockPair(uint8_t* destination, const uint8_t* prediction, const int16_t* blocks,
                    int destinationStride, int predictionStride, int codedFlags) override;
  void StoreChromaPair(uint8_t* destination, const int16_t* blocks, int stride) override;
  void AddChromaPair(uint8_t* destination, const uint8_t* prediction, const int16_t* blocks,
                     int destinationStride, int predictionStride, int codedFlags) override;
  void PadBordersHorizontal(uint8_t* row, int width, int stride, int rows) override;
  void PadChromaBordersHorizontal(uint8_t* row, int width, int stride, int rows) override;
  void PadBordersVertical(uint8_t* destination, const uint8_t* source, int length, int count,
                          int extraStep) override;
  void Copy16x16(uint8_t* destination, const uint8_t* source, int destinationStride,
                 int sourceStride) override;
  void CopyMBBuffer(uint8_t* destination, const uint8_t* luma, const uint8_t* chroma) override;
  void AverageMBBuffers(uint8_t* destination, const uint8_t* firstLuma, const uint8_t* firstChroma,
                        const uint8_t* secondLuma, const uint8_t* secondChroma) override;
  int FindLastCoefficient(const int16_t* block, const uint8_t* positionToScan) override;
  void LoadBlockOffset(int16_t* block, const uint8_t* source, int stride, int offset) override;
  void StoreBlockPairOffset(uint8_t* destination, const int16_t* left, const int16_t* right,
                            int stride, int offset, int rows) override;
  void LoadChromaPairOffset(int16_t* blocks, const uint8_t* source, int stride,
                            int offset) override;
  void StoreChromaPairOffset(uint8_t* destination, const int16_t* cb, const int16_t* cr, int stride,
                             int offset, int rows) override;
  void DequantizeIntraVc1(int16_t* block, int dcStep, int acStep) override;
  void DequantizeInterVc1(int16_t* block, int acStep) override;
  void ReconstructDcOnlyVc1(int16_t* block, int dcStep) override;
};

class CMBCoreXMM : public CMBCoreMMX {
 public:
  void CodeIntraDcOnlyPair(int16_t* destination, const uint8_t* source, int stride) override;
  void LoadBlock(int16_t* block, const uint8_t* source, int stride) override;
  int SubtractBlock(int16_t* block, const uint8_t* current, const uint8_t* prediction,
                    int currentStride, int predictionStride, int threshold) override;
  void LoadChromaPair(int16_t* blocks, const uint8_t* source, int stride) override;
  int SubtractChromaPair(int16_t* blocks, const uint8_t* current, const uint8_t* prediction,
                         int currentStride, int predictionStride, int threshold) override;
  void CopyMBBuffer(uint8_t* destination, const uint8_t* luma, const uint8_t* chroma) override;
  void AverageMBBuffers(uint8_t* destination, const uint8_t* firstLuma, const uint8_t* firstChroma,
                        const uint8_t* secondLuma, const uint8_t* secondChroma) override;
  int FindLastCoefficient(const int16_t* block, const uint8_t* positionToScan) override;
  void InitMcTables() override;
  void StoreAcPredRow(const int16_t* block, int16_t* store, int quantizer) override;
  void StoreAcPredColumn(const int16_t* block, int16_t* store, int quantizer) override;
  int PredictAcRow(const int16_t* block, int16_t* output, int16_t* store, int available,
                   int quantizer) override;
  int PredictAcColumn(const int16_t* block, int16_t* output, int16_t* store, int available,
                      int quantizer) override;
  void SumSseSad16x8(const uint8_t* areaA, const uint8_t* areaB, int strideA, int strideB,
                     uint32_t* sadSum, uint32_t* sseSum) override;
  void LoadBlockOffset(int16_t* block, const uint8_t* source, int stride, int offset) override;
  void LoadChromaPairOffset(int16_t* blocks, const uint8_t* source, int stride,
                            int offset) override;
  int PredictAcRowVc1(const int16_t* block, int16_t* output, int16_t* store, int available,
                      int quantizer) override;
  int PredictAcColumnVc1(const int16_t* block, int16_t* output, int16_t* store, int available,
                         int quantizer) override;
  void CodeIntraDcOnlyPairVc1(int16_t* destination, const uint8_t* source, int stride,
                              int offset) override;
  void OverlapSmoothVertEdge(int16_t* left, int16_t* right) override;
  void OverlapSmoothVertEdgeRows(int16_t* left, int16_t* right, int leftStride, int rightStride,
                                 int rows, int rounding) override;
  void OverlapSmoothHorzEdge(int16_t* upperRows, int16_t* lower) override;
  void SaveOverlapContext(int16_t* context, const int16_t* source) override;
  void DeblockHorzEdgeVc1(uint8_t* pixels, int stride, int pquant, int segments) override;
  void DeblockHorzEdgeMaskedVc1(uint8_t* pixels, int stride, int pquant, int componentMask,
                                int segments) override;
  void DeblockVertEdgeVc1(uint8_t* pixels, int stride, int pquant, int segments) override;
  void DeblockVertEdgeMaskedVc1(uint8_t* pixels, int stride, int pquant, int componentMask,
                                int segments) override;
  void InterpolateBilinearVc1(uint32_t weights, const uint8_t* source, uint8_t* destination,
                              int sourceStride, int destinationStride, int rows,
                              int rounding) override;
  void InterpolateBicubicVertVc1(const uint8_t* source, uint8_t* destination, int sourceStride,
                                 int destinationStride, int rows, int fraction,
                                 int rounding) override;
  void InterpolateBicubicHorzVc1(const uint8_t* source, uint8_t* destination, int sourceStride,
                                 int destinationStride, int rows, int fraction,
                                 int rounding) override;
  void InterpolateBicubic2DVc1(const uint8_t* source, uint8_t* destination, int sourceStride,
                               int destinationStride, int rows, int fractionX, int fractionY,
                               int rounding) override;
  int TransformQuant4x4(int16_t* block, int start) override;
  void TransformQuant4x4Pair(int16_t* levels, const uint8_t* prediction, const uint8_t* current,
                             int stride, uint32_t* counts) override;
  void TransformQuantChromaAc(int16_t* levels, const uint8_t* prediction, const uint8_t* current,
                              int stride, uint32_t* counts) override;
  void TransformQuantChromaDc(int16_t* dcRecord, const int16_t* coefficients,
                              uint32_t* counts) override;
  int TransformQuantLumaDc(int16_t* dcRecord, int16_t* coefficients) override;
  void Reconstruct4x4(uint8_t* destination, const uint8_t* prediction, const int16_t* block,
                      int stride, int start, int coded) override;
  void Reconstruct4x4Pair(uint8_t* destination, const uint8_t* prediction, const int16_t* levels,
                          int stride, int coded) override;
  void ReconstructChroma(uint8_t* destination, const uint8_t* prediction, const int16_t* levels,
                         const int16_t* dcPair, int stride, int coded) override;
  void Subtract4x4(int16_t* residual, const uint8_t* prediction, const uint8_t* current,
                   int stride) override;
  int PredictIntraChroma(const uint8_t* neighbours, const uint8_t* current, int stride,
                         uint32_t flags, uint8_t* output) override;
  void McChromaEighthPel(uint8_t* destination, const uint8_t* source, int sourceStride,
                         uint32_t fractions) override;
  void DeblockLumaHorzEdge(uint8_t* p0, uint8_t* q0, int stride, uint32_t strengths,
                           const uint8_t* thresholds) override;
  int PredictIntra16x16(const uint8_t* neighbours, const uint8_t* current, int stride,
                        uint32_t flags, uint8_t* output) override;
  void DeblockChromaHorzEdge(uint8_t* p0, uint8_t* q0, int stride, uint32_t strengths,
                             const uint8_t* thresholds) override;
  void InterpolateLumaQpel8x8(uint8_t* destination, const uint8_t* source, int sourceStride,
                              int mode) override;
  void DeblockLumaVertEdge(uint8_t* p0, uint8_t* q0, int stride, uint32_t strengths,
                           const uint8_t* thresholds, int rows) override;
  int PredictIntra4x4Best(int16_t* residual, uint8_t* prediction, const uint8_t* neighbours,
                          const uint8_t* current, int stride, uint32_t flags) override;
  void AverageInPlace32(uint8_t* destination, const uint8_t* source) override;
  void DeblockChromaVertEdge(uint8_t* p0, uint8_t* q0, int stride, uint32_t strengths,
                             const uint8_t* thresholds, int rows) override;
  void AverageInPlace64(uint8_t* destination, const uint8_t* source) override;
};

class CMBCoreXMM2 : public CMBCoreXMM {
 public:
  void ForwardDct(int16_t* block) override;
  void ForwardTransformVc1(int16_t* block) override;
  void ApplyDeadZone(int16_t* block) override;
  void InverseDct(int16_t* block) override;
  void InverseTransformVc1(int16_t* block) override;
  int QuantizeClip255(const int16_t* source, int16_t* destination) override;
  void QuantizeClip2047(int16_t* block) override;
  int QuantizeInterClip255(const int16_t* source, int16_t* destination, int* overflow) override;
  int QuantizeInterClip2047(int16_t* block) override;
  int QuantizeIntra(int16_t* block, int blockIndex) override;
  int QuantizeIntraTrunc(int16_t* block, int blockIndex) override;
  void CodeIntraDcOnlyPair(int16_t* destination, const uint8_t* source, int stride) override;
  void DequantizeIntraMpeg1(int16_t* block) override;
  void DequantizeIntraMpeg2(int16_t* block, int blockIndex) override;
  void DequantizeIntraH263(int16_t* block, int blockIndex, int qp) override;
  void ReconstructIntraDcOnly(int16_t* block, int blockIndex) override;
  void DequantizeInterMpeg1(int16_t* block) override;
  void DequantizeInterMpeg2(int16_t* block) override;
  void DequantizeInterH263(int16_t* block, int qp) override;
  void ReconstructInterDcOnly(int16_t* block) override;
  void LoadBlock(int16_t* block, const uint8_t* source, int stride) override;
  int SubtractBlock(int16_t* block, const uint8_t* current, const uint8_t* prediction,
                    int currentStride, int predictionStride, int threshold) override;
  void LoadChromaPair(int16_t* blocks, const uint8_t* source, int stride) override;
  int SubtractChromaPair(int16_t* blocks, const uint8_t* current, const uint8_t* prediction,
                         int currentStride, int predictionStride, int threshold) override;
  void StoreBlockPair(uint8_t* destination, const int16_t* blocks, int stride) override;
  void AddBlockPair(uint8_t* destination, const uint8_t* prediction, const int16_t* blocks,
                    int destinationStride, int predictionStride, int codedFlags) override;
  void StoreChromaPair(uint8_t* destination, const int16_t* blocks, int stride) override;
  void AddChromaPair(uint8_t* destination, const uint8_t* prediction, const int16_t* blocks,
                     int destinationStride, int predictionStride, int codedFlags) override;
  void PadBordersHorizontal(uint8_t* row, int width, int stride, int rows) override;
  void PadChromaBordersHorizontal(uint8_t* row, int width, int stride, int rows) override;
  void PadBordersVertical(uint8_t* destination, const uint8_t* source, int length, int count,
                          int extraStep) override;
  void Copy16x16(uint8_t* destination, const uint8_t* source, int destinationStride,
                 int sourceStride) override;
  void CopyMBBuffer(uint8_t* destination, const uint8_t* luma, const uint8_t* chroma) override;
  void AverageMBBuffers(uint8_t* destination, const uint8_t* firstLuma, const uint8_t* firstChroma,
                        const uint8_t* secondLuma, const uint8_t* secondChroma) override;
  int FindLastCoefficient(const int16_t* block, const uint8_t* positionToScan) override;
  void InitMcTables() override;
  void LoadBlockOffset(int16_t* block, const uint8_t* source, int stride, int offset) override;
  void StoreBlockPairOffset(uint8_t* destination, const int16_t* left, const int16_t* right,
                            int stride, int offset, int rows) override;
  void LoadChromaPairOffset(int16_t* blocks, const uint8_t* source, int stride,
                            int offset) override;
  void StoreChromaPairOffset(uint8_t* destination, const int16_t* cb, const int16_t* cr, int stride,
                             int offset, int rows) override;
  void DequantizeIntraVc1(int16_t* block, int dcStep, int acStep) override;
  void DequantizeInterVc1(int16_t* block, int acStep) override;
  void ReconstructDcOnlyVc1(int16_t* block, int dcStep) override;
  void CodeIntraDcOnlyPairVc1(int16_t* destination, const uint8_t* source, int stride,
                              int offset) override;
  void OverlapSmoothVertEdge(int16_t* left, int16_t* right) override;
  void OverlapSmoothVertEdgeRows(int16_t* left, int16_t* right, int leftStride, int rightStride,
                                 int rows, int rounding) override;
  void OverlapSmoothHorzEdge(int16_t* upperRows, int16_t* lower) override;
  void SaveOverlapContext(int16_t* context, const int16_t* source) override;
  void DeblockHorzEdgeVc1(uint8_t* pixels, int stride, int pquant, int segments) override;
  void DeblockHorzEdgeMaskedVc1(uint8_t* pixels, int stride, int pquant, int componentMask,
                                int segments) override;
  void InterpolateBilinearVc1(uint32_t weights, const uint8_t* source, uint8_t* destination,
                              int sourceStride, int destinationStride, int rows,
                              int rounding) override;
  void InterpolateBicubicVertVc1(const uint8_t* source, uint8_t* destination, int sourceStride,
                                 int destinationStride, int rows, int fraction,
                                 int rounding) override;
  void InterpolateBicubicHorzVc1(const uint8_t* source, uint8_t* destination, int sourceStride,
                                 int destinationStride, int rows, int fraction,
                                 int rounding) override;
  void InterpolateBicubic2DVc1(const uint8_t* source, uint8_t* destination, int sourceStride,
                               int destinationStride, int rows, int fractionX, int fractionY,
                               int rounding) override;
  int TransformQuant4x4(int16_t* block, int start) override;
  void TransformQuant4x4Pair(int16_t* levels, const uint8_t* prediction, const uint8_t* current,
                             int stride, uint32_t* counts) override;
  void TransformQuantChromaAc(int16_t* levels, const uint8_t* prediction, const uint8_t* current,
                              int stride, uint32_t* counts) override;
  void TransformQuantChromaDc(int16_t* dcRecord, const int16_t* coefficients,
                              uint32_t* counts) override;
  void Reconstruct4x4Pair(uint8_t* destination, const uint8_t* prediction, const int16_t* levels,
                          int stride, int coded) override;
  void ReconstructChroma(uint8_t* destination, const uint8_t* prediction, const int16_t* levels,
                         const int16_t* dcPair, int stride, int coded) override;
  void Subtract4x4(int16_t* residual, const uint8_t* prediction, const uint8_t* current,
                   int stride) override;
  int PredictIntraChroma(const uint8_t* neighbours, const uint8_t* current, int stride,
                         uint32_t flags, uint8_t* output) override;
  void McChromaEighthPel(uint8_t* destination, const uint8_t* source, int sourceStride,
                         uint32_t fractions) override;
  void DeblockLumaHorzEdge(uint8_t* p0, uint8_t* q0, int stride, uint32_t strengths,
                           const uint8_t* thresholds) override;
  int PredictIntra16x16(const uint8_t* neighbours, const uint8_t* current, int stride,
                        uint32_t flags, uint8_t* output) override;
  void DeblockChromaHorzEdge(uint8_t* p0, uint8_t* q0, int stride, uint32_t strengths,
                             const uint8_t* thresholds) override;
  void InterpolateLumaQpel8x8(uint8_t* destination, const uint8_t* source, int sourceStride,
                              int mode) override;
  void DeblockLumaVertEdge(uint8_t* p0, uint8_t* q0, int stride, uint32_t strengths,
                           const uint8_t* thresholds, int rows) override;
  int PredictIntra4x4Best(int16_t* residual, uint8_t* prediction, const uint8_t* neighbours,
                          const uint8_t* current, int stride, uint32_t flags) override;
  void DeblockChromaVertEdge(uint8_t* p0, uint8_t* q0, int stride, uint32_t strengths,
                             const uint8_t* thresholds, int rows) override;
};

class CMBCoreXMM3 : public CMBCoreXMM2 {
 public:
  void InitMcTables() override;
};

}  // namespace orx::dsp
