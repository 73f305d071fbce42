#pragma once
// The MPEG-1 (CodecCode 0) and MPEG-2 (CodecCode 1) macroblock encoders. CMBEncoder_MPEG1
// holds the headers, the code tables and macroblock layer, the picture loops and the MPEG-1
// coding slots; CMBEncoder_MPEG2 replaces the coding and reconstruction slots. The syntax
// written follows the settings' codec code; the Kalder and MPEG-4 classes derive from
// CMBEncoder_MPEG2.
#include <cstdint>

#include "venc/mbenc/mb_encoder.h"
#include "venc/mbenc/mpeg12_tables.h"

namespace orx::venc {

class CMBEncoder_MPEG1 : public CMBEncoder {
 public:
  CMBEncoder_MPEG1() = default;

  void EncodePictureBody(CPicture* picture) override;
  void EncodeRow() override;
  void WriteSequenceHeader(CPicture* picture) override;
  void WriteGopHeader(CPicture* picture) override;
  void WritePictureHeader(CPicture* picture, int vbvDelay) override;
  void WriteSequenceEnd() override;
  void InitTables() override;

  // ---- coding slots, in slot order (answers are coded block patterns, bit 5 = Y0) ----
  virtual int CodeIntraMB(MBInfo* mb);
  virtual int CodeInterMB(MBInfo* mb);
  virtual void ReconstructIntraMB(uint8_t* dstLuma, uint8_t* dstChroma, MBInfo* mb);
  virtual void ReconstructInterMB(uint8_t* dstLuma, uint8_t* dstChroma, MBInfo* mb, int cbp);
  virtual void WriteMacroblock(MBInfo* mb, int cbp, int mbX);
  // Row-pipelined coding of one macroblock from the block-ordered source.
  virtual int CodeReconstructIntraMB(MBInfo* mb, const uint8_t* srcLuma, const uint8_t* srcChroma);
  virtual int CodeReconstructInterMB(MBInfo* mb, const uint8_t* srcLuma, const uint8_t* srcChroma);

  // ---- headers ----
  void WriteSequenceExtension();
  void WriteSequenceDisplayExtension();
  void WritePictureCodingExtension(CPicture* picture);
  void WritePictureUserData(CPicture* picture);
  void WriteSliceHeader(int row, int quantiserScaleCode);

  // ---- macroblock layer ----
  // The block coders of the codecs above MPEG-2 (Kalder, MPEG-4), supplied by their class:
  // levels from scan position 0 (inter) or 1 (intra, after the DC differential) to `last`.
  virtual void WriteIntraBlockMpeg4(const int16_t* block, const uint8_t* scan, int last,
                                    int dcDifferential, int component);
  virtual void WriteInterBlockMpeg4(const int16_t* block, const uint8_t* scan, int last);
  // Intra block: DC differential against the component's predictor (0 Y, 1 Cb, 2 Cr), then
  // the AC coefficients; answers the last coded scan position.
  int WriteIntraBlock(const int16_t* block, int component, int intraVlcFormat);
  int WriteInterBlock(const int16_t* block);
  void WriteAddressIncrement(int increment);
  void WriteMotionCode(int delta, int fCode);
  void WriteCodedBlockPattern(int cbp);
  // vectors[index] minus the component-wise median of the three neighbours (Kalder, MPEG-4).
  void WriteMotionVectorMedian(const PackedMV* vectors, const PackedMV* left, const PackedMV* top,
                               const PackedMV* topRight, int index, int fCodeX, int fCodeY);

  // ---- picture loop ----
  bool CanSkipMB(const MBInfo* mb, int mbX) const;
  bool StartMcpJobs(CPicture* picture);
  void PredictMB(int mbX, const MBInfo* mb);
  void StoreReconIntra(uint8_t* dstLuma, uint8_t* dstChroma, const int16_t* coefficients,
                       uint32_t flags);
  void StoreReconInter(uint8_t* dstLuma, uint8_t* dstChroma, const int16_t* coefficients,
                       uint32_t flags, int cbp);

 protected:
  // Where the luma blocks of a macroblock sit in a plane with row step `stride`, for frame or
  // field DCT: block b at base + offset[b], rows `step` apart.
  struct LumaBlockLayout {
    int offset[4];
    int step;
  };
  static LumaBlockLayout LumaLayout(int stride, bool fieldDct);
  // Field DCT is used where the macroblock asks for it in an MPEG-2 picture that codes
  // dct_type (frame_pred_frame_dct 0); elsewhere a decoder assumes frame DCT.
  bool UsesFieldDct(uint32_t mbFlags) const {
    return isMpeg2Slots_ && !state_.picture->framePredFrameDct && (mbFlags & MBINFO_FIELD) != 0;
  }

  // The five block coders, over the scan positions of a block.
  void WriteIntraBlockMpeg1(const int16_t* block, int last, uint32_t dcEntry);
  void WriteIntraBlockMpeg2(const int16_t* block, int last, uint32_t dcEntry);
  void WriteIntraBlockMpeg2Alt(const int16_t* block, int last, uint32_t dcEntry);
  void WriteInterBlockMpeg1(const int16_t* block, int last);
  void WriteInterBlockMpeg2(const int16_t* block, int last);

  // MPEG-1 low-quantiser retry: quantises the six kept transforms at the macroblock
  // quantiser, raising it (at most to 5) until no level passes 255. rowMode selects the
  // row-pipelined raise rule. Answers the coded block pattern.
  int CodeIntraMpeg1(const uint8_t* srcLuma, const uint8_t* srcChroma, int stride, bool rowMode);
  int CodeInterMpeg1(const MBInfo* mb, const uint8_t* srcLuma, const uint8_t* srcChroma,
                     int stride, bool rowMode);
  int QuantizeIntraWithRetry(bool rowMode);
  int QuantizeInterWithRetry(bool rowMode, int formedBlocks);
  static int RaisedQuantiser(int q, int largestLevel, bool rowMode);

  // Dequantise and inverse-transform the coded blocks in place (MPEG-1 or MPEG-2 rules by
  // the class), with the DC-only shortcuts.
  void DequantizeIntraBlocks();
  void DequantizeInterBlocks(int cbp);
  // Store the intra blocks, or add the coded inter blocks to the prediction (copying the
  // prediction where a pair has nothing coded), into planes of row step `stride`.
  void StoreIntraBlocks(uint8_t* dstLuma, uint8_t* dstChroma, const int16_t* coefficients,
                        int stride, bool fieldDct);
  void AddInterBlocks(uint8_t* dstLuma, uint8_t* dstChroma, const int16_t* coefficients,
                      int stride, bool fieldDct, int cbp);
  int CurrentQuantIndex() const { return state_.mbQuant + core_->quantScaleTypeOffset; }

  // Prediction buffers the coding slots read: the context buffers, or the accelerator's row
  // buffers in the accelerated path.
  uint8_t* currentPredLuma_ = nullptr;
  uint8_t* currentPredChroma_ = nullptr;

  bool isMpeg2Slots_ = false;

 private:
  // Picture loop steps shared by the picture-at-a-time and the row-pipelined loop.
  bool ReconstructsPicture(const CPicture* picture) const;
  void StartRow(CPicture* picture);
  int FinishMacroblockCoding(MBInfo* mb, int cbp);
  void WriteOrSkip(MBInfo* mb, int cbp, int mbX);
  void ResetDcPredictors();
  void ResetVectorPredictors();
  EncAccJob PredictionJob(CPicture* picture, int row) const;
  bool PostPredictionJob(CPicture* picture, int row);
  void WaitPredictionJob(CPicture* picture, int row);

  template <int kEscapeForm>
  void WriteCoefficients(const int16_t* block, int first, int last, const uint32_t* acTable,
                         uint32_t endOfBlock, int endOfBlockLength);
  int dcResetValue_ = 128;
  bool firstRowPosted_ = false;
};

// The reconstruction slots follow the class through isMpeg2Slots_: MPEG-2 dequantisation with
// its DC-only inter shortcut, and field DCT.
class CMBEncoder_MPEG2 : public CMBEncoder_MPEG1 {
 public:
  CMBEncoder_MPEG2() { isMpeg2Slots_ = true; }

  int CodeIntraMB(MBInfo* mb) override;
  int CodeInterMB(MBInfo* mb) override;
  int CodeReconstructIntraMB(MBInfo* mb, const uint8_t* srcLuma, const uint8_t* srcChroma) override;
  int CodeReconstructInterMB(MBInfo* mb, const uint8_t* srcLuma, const uint8_t* srcChroma) override;

 protected:
  int CodeIntra(MBInfo* mb, const uint8_t* srcLuma, const uint8_t* srcChroma, int stride,
                bool deadZone);
  int CodeInter(MBInfo* mb, const uint8_t* srcLuma, const uint8_t* srcChroma, int stride,
                bool deadZone, bool skipAtThreshold);
};

}  // namespace orx::venc
