#pragma once
// CMBCore: the macroblock core. Every pixel and coefficient kernel of the macroblock encoders
// is a virtual operation here, in fixed slot order; the variant classes (mb_core_variants.h)
// override the slots they accelerate, and CreateMBCore (core_factories.h) picks the variant.
//
// Layouts: 8x8 coefficient blocks are 64 int16 at index 8 x horizontal frequency + vertical
// frequency; pixel and residual blocks are raster (8 x row + column). A block pair is two
// blocks one after the other (left then right luma block, or Cb then Cr); coded flags of a
// pair are bit 1 for the first block and bit 0 for the second. Interleaved chroma rows hold
// Cb at even and Cr at odd bytes. The SIMD variants need 16-byte aligned blocks, tables and
// macroblock buffers (each slot's own needs are asserted in builds with assertions).
#include <cstdint>

#include "venc/dsp/quant_tables.h"

namespace orx::dsp {

// Motion-compensation kernels: one 16-byte-wide block at one half-sample position.
using McKernel = void (*)(const uint8_t* source, uint8_t* destination, int sourceStride,
                          int destinationStride, int rows);
using McBidirKernel = void (*)(const uint8_t* first, const uint8_t* second, uint8_t* destination,
                               int sourceStride, int destinationStride, int rows, int step);

class CMBCore {
 public:
  CMBCore() = default;
  virtual ~CMBCore() = default;
  CMBCore(const CMBCore&) = delete;
  CMBCore& operator=(const CMBCore&) = delete;

  // Slots 0-4: 8x8 transforms, in place.
  virtual void ForwardDct(int16_t* block);
  virtual void ForwardTransformVc1(int16_t* block);
  virtual void ApplyDeadZone(int16_t* block);
  virtual void InverseDct(int16_t* block);
  virtual void InverseTransformVc1(int16_t* block);
  // Slots 5-19: quantisers and dequantisers on the current quantiser.
  virtual int QuantizeClip255(const int16_t* source, int16_t* destination);
  virtual void QuantizeClip2047(int16_t* block);
  virtual int QuantizeInterClip255(const int16_t* source, int16_t* destination, int* overflow);
  virtual int QuantizeInterClip2047(int16_t* block);
  virtual int QuantizeIntra(int16_t* block, int blockIndex);
  virtual int QuantizeIntraTrunc(int16_t* block, int blockIndex);
  virtual void CodeIntraDcOnlyPair(int16_t* destination, const uint8_t* source, int stride);
  virtual void DequantizeIntraMpeg1(int16_t* block);
  virtual void DequantizeIntraMpeg2(int16_t* block, int blockIndex);
  virtual void DequantizeIntraH263(int16_t* block, int blockIndex, int qp);
  virtual void ReconstructIntraDcOnly(int16_t* block, int blockIndex);
  virtual void DequantizeInterMpeg1(int16_t* block);
  virtual void DequantizeInterMpeg2(int16_t* block);
  virtual void DequantizeInterH263(int16_t* block, int qp);
  virtual void ReconstructInterDcOnly(int16_t* block);
  // Slots 20-27: block load, residual and reconstruction.
  virtual void LoadBlock(int16_t* block, const uint8_t* source, int stride);
  virtual int SubtractBlock(int16_t* block, const uint8_t* current, const uint8_t* prediction,
                            int currentStride, int predictionStride, int threshold);
  virtual void LoadChromaPair(int16_t* blocks, const uint8_t* source, int stride);
  virtual int SubtractChromaPair(int16_t* blocks, const uint8_t* current, const uint8_t* prediction,
                                 int currentStride, int predictionStride, int threshold);
  virtual void StoreBlockPair(uint8_t* destination, const int16_t* blocks, int stride);
  virtual void AddBlockPair(uint8_t* destination, const uint8_t* prediction, const int16_t* blocks,
                            int destinationStride, int predictionStride, int codedFlags);
  virtual void StoreChromaPair(uint8_t* destination, const int16_t* blocks, int stride);
  virtual void AddChromaPair(uint8_t* destination, const uint8_t* prediction, const int16_t* blocks,
                             int destinationStride, int predictionStride, int codedFlags);
  // Slots 28-34: border padding, macroblock buffers, last coefficient.
  virtual void PadBordersHorizontal(uint8_t* row, int width, int stride, int rows);
  virtual void PadChromaBordersHorizontal(uint8_t* row, int width, int stride, int rows);
  virtual void PadBordersVertical(uint8_t* destination, const uint8_t* source, int length,
                                  int count, int extraStep);
  virtual void Copy16x16(uint8_t* destination, const uint8_t* source, int destinationStride,
                         int sourceStride);
  virtual void CopyMBBuffer(uint8_t* destination, const uint8_t* luma, const uint8_t* chroma);
  virtual void AverageMBBuffers(uint8_t* destination, const uint8_t* firstLuma,
                                const uint8_t* firstChroma, const uint8_t* secondLuma,
                                const uint8_t* secondChroma);
  virtual int FindLastCoefficient(const int16_t* block, const uint8_t* positionToScan);
  // Slot 35: installs the variant's motion-compensation kernel groups.
  virtual void InitMcTables();
  // Slots 36-40: AC prediction and 16x8 difference sums.
  virtual void StoreAcPredRow(const int16_t* block, int16_t* store, int quantizer);
  virtual void StoreAcPredColumn(const int16_t* block, int16_t* store, int quantizer);
  virtual int PredictAcRow(const int16_t* block, int16_t* output, int16_t* store, int available,
                           int quantizer);
  virtual int PredictAcColumn(const int16_t* block, int16_t* output, int16_t* store, int available,
                              int quantizer);
  virtual void SumSseSad16x8(const uint8_t* areaA, const uint8_t* areaB, int strideA, int strideB,
                             uint32_t* sadSum, uint32_t* sseSum);
  // Slots 41-44: block transfer with a level offset.
  virtual void LoadBlockOffset(int16_t* block, const uint8_t* source, int stride, int offset);
  virtual void StoreBlockPairOffset(uint8_t* destination, const int16_t* left, const int16_t* right,
                                    int stride, int offset, int rows);
  virtual void LoadChromaPairOffset(int16_t* blocks, const uint8_t* source, int stride, int offset);
  virtual void StoreChromaPairOffset(uint8_t* destination, const int16_t* cb, const int16_t* cr,
                                     int stride, int offset, int rows);
  // Slots 45-50: VC-1 AC prediction, dequantisation and DC-only blocks.
  virtual int PredictAcRowVc1(const int16_t* block, int16_t* output, int16_t* store, int available,
                              int quantizer);
  virtual int PredictAcColumnVc1(const int16_t* block, int16_t* output, int16_t* store,
                                 int available, int quantizer);
  virtual void DequantizeIntraVc1(int16_t* block, int dcStep, int acStep);
  virtual void DequantizeInterVc1(int16_t* block, int acStep);
  virtual void ReconstructDcOnlyVc1(int16_t* block, int dcStep);
  virtual void CodeIntraDcOnlyPairVc1(int16_t* destination, const uint8_t* source, int stride,
                                      int offset);
  // Slots 51-58: VC-1 overlap smoothing and in-loop deblocking.
  virtual void OverlapSmoothVertEdge(int16_t* left, int16_t* right);
  virtual void OverlapSmoothVertEdgeRows(int16_t* left, int16_t* right, int leftStride,
                                         int rightStride, int rows, int rounding);
  virtual void OverlapSmoothHorzEdge(int16_t* upperRows, int16_t* lower);
  virtual void SaveOverlapContext(int16_t* context, const int16_t* source);
  virtual void DeblockHorzEdgeVc1(uint8_t* pixels, int stride, int pquant, int segments);
  virtual void DeblockHorzEdgeMaskedVc1(uint8_t* pixels, int stride, int pquant, int componentMask,
                                        int segments);
  virtual void DeblockVertEdgeVc1(uint8_t* pixels, int stride, int pquant, int segments);
  virtual void DeblockVertEdgeMaskedVc1(uint8_t* pixels, int stride, int pquant, int componentMask,
                                        int segments);
  // Slots 59-62: VC-1 sub-sample interpolation.
  virtual void InterpolateBilinearVc1(uint32_t weights, const uint8_t* source, uint8_t* destination,
                                      int sourceStride, int destinationStride, int rows,
                                      int rounding);
  virtual void InterpolateBicubicVertVc1(const uint8_t* source, uint8_t* destination,
                                         int sourceStride, int destinationStride, int rows,
                                         int fraction, int rounding);
  virtual void InterpolateBicubicHorzVc1(const uint8_t* source, uint8_t* destination,
                                         int sourceStride, int destinationStride, int rows,
                                         int fraction, int rounding);
  virtual void InterpolateBicubic2DVc1(const uint8_t* source, uint8_t* destination,
                                       int sourceStride, int destinationStride, int rows,
                                       int fractionX, int fractionY, int rounding);
  // Slots 63-82: H.264 residual path, prediction, interpolation and deblocking.
  virtual int TransformQuant4x4(int16_t* block, int start);
  virtual void TransformQuant4x4Pair(int16_t* levels, const uint8_t* prediction,
                                     const uint8_t* current, int stride, uint32_t* counts);
  virtual void TransformQuantChromaAc(int16_t* levels, const uint8_t* prediction,
                                      const uint8_t* current, int stride, uint32_t* counts);
  virtual void TransformQuantChromaDc(int16_t* dcRecord, const int16_t* coefficients,
                                      uint32_t* counts);
  virtual int TransformQuantLumaDc(int16_t* dcRecord, int16_t* coefficients);
  virtual void Reconstruct4x4(uint8_t* destination, const uint8_t* prediction, const int16_t* block,
                              int stride, int start, int coded);
  virtual void Reconstruct4x4Pair(uint8_t* destination, const uint8_t* prediction,
                                  const int16_t* levels, int stride, int coded);
  virtual void ReconstructChroma(uint8_t* destination, const uint8_t* prediction,
                                 const int16_t* levels, const int16_t* dcPair, int stride,
                                 int coded);
  virtual void Subtract4x4(int16_t* residual, const uint8_t* prediction, const uint8_t* current,
                           int stride);
  virtual int PredictIntraChroma(const uint8_t* neighbours, const uint8_t* current, int stride,
                                 uint32_t flags, uint8_t* output);
  virtual void McChromaEighthPel(uint8_t* destination, const uint8_t* source, int sourceStride,
                                 uint32_t fractions);
  virtual void DeblockLumaHorzEdge(uint8_t* p0, uint8_t* q0, int stride, uint32_t strengths,
                                   const uint8_t* thresholds);
  virtual int PredictIntra16x16(const uint8_t* neighbours, const uint8_t* current, int stride,
                                uint32_t flags, uint8_t* output);
  virtual void DeblockChromaHorzEdge(uint8_t* p0, uint8_t* q0, int stride, uint32_t strengths,
                                     const uint8_t* thresholds);
  virtual void InterpolateLumaQpel8x8(uint8_t* destination, const uint8_t* source, int sourceStride,
                                      int mode);
  virtual void DeblockLumaVertEdge(uint8_t* p0, uint8_t* q0, int stride, uint32_t strengths,
                                   const uint8_t* thresholds, int rows);
  virtual int PredictIntra4x4Best(int16_t* residual, uint8_t* prediction, const uint8_t* neighbours,
                                  const uint8_t* current, int stride, uint32_t flags);
  virtual void AverageInPlace32(uint8_t* destination, const uint8_t* source);
  virtual void DeblockChromaVertEdge(uint8_t* p0, uint8_t* q0, int stride, uint32_t strengths,
                                     const uint8_t* thresholds, int rows);
  virtual void AverageInPlace64(uint8_t* destination, const uint8_t* source);

  // Quantiser tables (built once per sequence). Stores the block and the 128-aligned start of
  // the work area (kQuantWorkAreaSize bytes) as the scratch area, sets the intra DC precision
  // to 0 and builds the tables of the codec.
  void InitQuantTables(const QuantTableParams& params, QuantTableBlock* block, void* workArea);
  // Rewrites the DC entries for an MPEG-2 intra DC precision (0..3) when it changes.
  void SetIntraDcPrecision(int precision);
  // Points the current-quantiser fields at index k = quantScaleTypeOffset + quantiser:
  // reciprocals (intra or inter), DC quantisers, and dead-zone thresholds for quantisers of 20
  // and above (else null).
  void SelectQuantizer(int k, bool intra);
  void SelectIntraDequantizer(int k);
  void SelectInterDequantizer(int k);
  // H.264: makes record 3 x internalQp + kind current (internal QP = QP - 12).
  void SelectQuantRecord(int internalQp, int kind);

  // Motion-compensation drivers (non-virtual; planes and prediction are (luma, chroma) pairs).
  void MotionCompensateMB(uint8_t* const* reference, uint8_t* const* prediction, int stride, int x,
                          int y, int mvx, int mvy);
  void MotionCompensateMBBidir(uint8_t* const* first, uint8_t* const* second,
                               uint8_t* const* prediction, int stride, int x, int y, int mv1x,
                               int mv1y, int mv2x, int mv2y);
  void MotionCompensateMBRounded(uint8_t* const* reference, uint8_t* const* prediction, int stride,
                                 int x, int y, int mvx, int mvy);
  void MotionCompensateMBRoundedBidir(uint8_t* const* first, uint8_t* const* second,
                                      uint8_t* const* prediction, int stride, int x, int y,
                                      int mv1x, int mv1y, int mv2x, int mv2y);
  void MotionCompensateMBVc1HalfPel(uint8_t* const* reference, uint8_t* const* prediction,
                                    int stride, int x, int y, int mvx, int mvy, int cmvx, int cmvy);
  void MotionCompensateMBVc1HalfPelBidir(uint8_t* const* first, uint8_t* const* second,
                                         uint8_t* const* prediction, int stride, int x, int y,
                                         int mv1x, int mv1y, int mv2x, int mv2y);
  void MotionCompensateMBVc1(uint8_t* const* reference, uint8_t* const* prediction, int stride,
                             int x, int y, int mvx, int mvy, int cmvx, int cmvy, int fastChroma);
  void MotionCompensateMBVc1Bidir(uint8_t* const* first, uint8_t* const* second,
                                  uint8_t* const* prediction, int stride, int x, int y, int mv1x,
                                  int mv1y, int mv2x, int mv2y, int fastChroma);
  void MotionCompensateFieldMB(uint8_t* const* reference, uint8_t* const* prediction,
                               int bottomField, int destinationOffset, int fieldStride, int x,
                               int fieldRow, int mvx, int mvy);
  void MotionCompensateFieldMBBidir(uint8_t* const* first, uint8_t* const* second,
                                    uint8_t* const* prediction, int firstBottomField,
                                    int secondBottomField, int destinationOffset, int fieldStride,
                                    int x, int fieldRow, int mv1x, int mv1y, int mv2x, int mv2y);

  // Fields, in order. The owner writes quantScaleTypeOffset and roundingControl at every
  // picture start; the Select functions write the current-quantiser pointers.
  QuantTableBlock* quantTables = nullptr;
  int32_t quantScaleTypeOffset = 0;  // 32 x q_scale_type
  const McKernel* lumaKernels = nullptr;
  const McKernel* chromaKernels = nullptr;
  const McKernel* vc1FourTapKernels = nullptr;
  const McBidirKernel* bidirKernels = nullptr;
  int32_t roundingControl = 0;
  union {
    const uint16_t* currentReciprocals = nullptr;  // 8x8 paths: 64 entries, unsigned
    const H264QuantRecord* currentQuantRecord;     // H.264 path
  };
  const DcQuantPair* currentDcQuant = nullptr;
  const int16_t* currentDeadZone = nullptr;  // null below quantiser 20
  const int32_t* currentDequant = nullptr;
  const DcMultiplierPair* currentDcMultiplier = nullptr;
  uint8_t* scratch = nullptr;  // 128-byte aligned work area of several kernels
  int32_t intraDcPrecision = 0;

 protected:
  // The H.264 records held in the table block.
  const H264QuantRecord* H264Records() const;

 private:
  void BuildMpegTables(const QuantTableParams& params);
  void BuildH264Tables();
};

}  // namespace orx::dsp
