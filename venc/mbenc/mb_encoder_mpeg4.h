#pragma once
// The Kalder stream (CodecCode 2) and MPEG-4 Part 2 (CodecCode 3) macroblock encoders.
//
// CMBEncoder_Kalder keeps the MPEG-2 headers and picture loop and replaces the macroblock layer
// with MPEG-4 style codes (not-coded bits, MCBPC, CBPY, median vector prediction, the MPEG-4 DC
// size and TCOEF codes). CMBEncoder_MPEG4 writes an MPEG-4 Part 2 visual stream with MPEG
// quantisation: its own headers, picture loop, intra DC/AC prediction and macroblock layer.
// CMBEncoder_MPEG4_H263 is the same stream with H.263 quantisation. Classes further down the
// chain append their own context after the MPEG-4 context.
#include <cstdint>

#include "venc/mbenc/mb_encoder_mpeg12.h"
#include "venc/mbenc/mpeg4_tables.h"

namespace orx::venc {

class CMBEncoder_Kalder : public CMBEncoder_MPEG2 {
 public:
  CMBEncoder_Kalder() = default;

  void InitTables() override;
  int CodeIntraMB(MBInfo* mb) override;
  int CodeReconstructIntraMB(MBInfo* mb, const uint8_t* srcLuma, const uint8_t* srcChroma) override;
  void WriteMacroblock(MBInfo* mb, int cbp, int mbX) override;

  // Intra block: the DC differential (component 0 luminance, 1 Cb, 2 Cr), then the AC levels
  // from scan position 1 to `last`. scan maps scan positions to coefficient indices.
  void WriteIntraBlockMpeg4(const int16_t* block, const uint8_t* scan, int last, int dcDifferential,
                            int component) override;
  // Non-intra block from scan position 0 to `last`.
  void WriteInterBlockMpeg4(const int16_t* block, const uint8_t* scan, int last) override;
  // n - 1 bits 1 (each a skipped macroblock), then a 0.
  void WriteNotCodedRun(int n);
  // MCBPC (with ac_pred_flag for MPEG-4 intra macroblocks) and CBPY in I and P pictures;
  // modb, mb_type and cbpb in B pictures.
  void WriteMbTypeAndPattern(int pictureType, uint32_t flags, int cbp);

 protected:
  // The intra coding of both classes: flat test, transform and quantiser (rounding or
  // truncating); answers the pattern of blocks with AC levels.
  int CodeIntra(MBInfo* mb, bool truncating);
  // The vector candidates of the median prediction for direction index (0 forward, 1 back).
  void MedianCandidates(const MBInfo* mb, int mbX, uint32_t flag, PackedMV* left, PackedMV* top,
                        PackedMV* topRight) const;
  // Packs codes into the word buffer from locals (the block coders' inner loop).
  template <bool kIntra>
  void WriteLevels(const int16_t* block, const uint8_t* scan, int first, int last);
};

class CMBEncoder_MPEG4 : public CMBEncoder_Kalder {
 public:
  CMBEncoder_MPEG4() = default;

  void InitTables() override;
  void EncodePictureBody(CPicture* picture) override;
  void WriteSequenceHeader(CPicture* picture) override;
  void WriteGopHeader(CPicture* picture) override;
  void WritePictureHeader(CPicture* picture, int vbvDelay) override;
  void WriteSequenceEnd() override;
  uint32_t GetContextSize() override;
  void SetContext(uint8_t* context) override;
  void WriteMacroblock(MBInfo* mb, int cbp, int mbX) override;

  // The VOP header, at row 0 only; the VOP quantiser becomes the previous quantiser.
  void WriteVopHeader(int quantiser);
  void PredictMpeg4MB(int mbX, const MBInfo* mb);
  // DC predictors, the AC prediction decision, the scans and last positions of the six
  // blocks; answers the (possibly changed) pattern and may set MBINFO_AC_PRED.
  int PredictIntraDcAc(int mbX, MBInfo* mb, int cbp);

  // The VOP's time as written: whole seconds since the decoder's time base, and the ticks.
  struct VopTime {
    int moduloTimeBase;
    int increment;
  };
  VopTime NextVopTime(const CPicture& picture);

 protected:
  void DefaultQuantMatrices(uint8_t* intra, uint8_t* nonIntra) override;
  void SetupScanTables(CPicture* picture) override;

  // Time base of the stream: resolution, ticks per frame and bits of vop_time_increment.
  int TimeResolution() const;
  int TicksPerFrame() const;
  int TimeIncrementBits() const;
  int VopFCode(int fCodeX, int fCodeY) const;

  // Intra prediction context (in the context block).
  int16_t* leftAc_ = nullptr;   // 4 slots of 8
  int16_t* topAc_ = nullptr;    // per macroblock column, 4 slots of 8
  int16_t* dcLuma_ = nullptr;   // 2 x mbw per block row
  int16_t* dcChroma_ = nullptr; // 2 per macroblock
  uint8_t* contextEnd_ = nullptr;

  // Per block of the current intra macroblock: levels to write, scan, last position, DC
  // predictor (quantised units).
  alignas(16) int16_t acPredicted_[6 * 64] = {};
  const int16_t* blockLevels_[6] = {};
  const uint8_t* blockScan_[6] = {};
  int blockLast_[6] = {};
  int dcPredictor_[6] = {};

  // Scans by scan position (coefficient index, transposed layout) and their inverses.
  alignas(16) uint8_t scans_[3][64] = {};
  alignas(16) uint8_t scanPositions_[3][64] = {};
  Mpeg4Scan pictureScan_ = kScanZigzag;

  int notCoded_ = 1;
  PackedMV directDelta_{};  // of the current direct macroblock
  const MBInfo* colocated_ = nullptr;
  int vopFCodeForward_ = 1;
  int vopFCodeBackward_ = 1;

  // The decoder's time bases in seconds (the current one and the one before the latest I/P).
  int64_t timeBase_ = 0;
  int64_t lastTimeBase_ = 0;
  int64_t timeOrigin_ = 0;  // ticks of display number 0
  bool timeOriginSet_ = false;

 private:
  void PadRow(CPicture* picture, int row);
  bool IntraNeighbour(int mbX, int row, int dx, int dy) const;
};

class CMBEncoder_MPEG4_H263 : public CMBEncoder_MPEG4 {
 public:
  CMBEncoder_MPEG4_H263() = default;

  int CodeIntraMB(MBInfo* mb) override;
  void ReconstructIntraMB(uint8_t* dstLuma, uint8_t* dstChroma, MBInfo* mb) override;
  void ReconstructInterMB(uint8_t* dstLuma, uint8_t* dstChroma, MBInfo* mb, int cbp) override;
};

}  // namespace orx::venc
