#pragma once
// CMPEG2MotionEstimator: the block-matching estimator and the base of every concrete
// estimator. It owns the block-matching core and the block of decimated planes that the
// macroblock encoder fills row by row (DecimateRow) while it reconstructs each anchor, sets up
// every picture's search limits and cost constants, and estimates whole pictures with spatial
// and temporal vector prediction (half-pel vectors), or rows of the row pipeline with zero
// vectors only.
#include <cstdint>
#include <memory>

#include "venc/common/encode_accelerator.h"
#include "venc/dsp/motion_estimation_core.h"
#include "venc/me/acc_records.h"
#include "venc/me/motion_estimator.h"
#include "venc/me/motion_search.h"

namespace orx::venc {

class CMPEG2MotionEstimator : public CMotionEstimator, public CMotionSearch {
 public:
  // The core the CPU feature word allows.
  CMPEG2MotionEstimator();
  // A given core (taken over; null is a failed allocation that Init reports).
  explicit CMPEG2MotionEstimator(dsp::CMotionEstimationCore* core);
  ~CMPEG2MotionEstimator() override;

  bool Init(const EncoderSettings* settings, CMBEncoder* encoder) override;
  void Close() override;
  void DecimateRow(CPicture* picture, int row) override;
  void SetupPicture() override;
  void FinishPicture() override;
  void EstimatePicture(MBInfo* mbInfo) override;
  void EstimateRow(MBInfo* rowFirst, int row) override;

  // A sub-encoder that shares the decimated planes (mode flags 0x8000 with a sub-encoder
  // index) receives its owner's block here before Init; it never frees it.
  void SetSharedDecimatedBlock(uint8_t* block) { sharedBlock_ = block; }
  uint8_t* DecimatedBlock() const { return blockAligned_; }
  int DecimationMode() const { return decimationMode_; }
  dsp::CMotionEstimationCore* Core() const { return core; }
  // The H.264 QP cost word of the last SetupPicture.
  int QpCostWord() const { return qpCostWord_; }

 protected:
  // Reads the temporal prediction from the two MBInfo arrays of the set-up.
  class ArrayTemporalSource : public ITemporalSource {
   public:
    explicit ArrayTemporalSource(const TemporalPredictor& t) : t_(t) {}
    void Predict(int mbIndex, int* x, int* y) const override;

   private:
    const TemporalPredictor& t_;
  };

  // ---- what the threaded forms share ----
  // The picture's search state for the accelerator's workers.
  AccConfig AccConfigOfPicture() const;
  // The exchange records of macroblock row `row`: index, directions, intra activity and the
  // temporal predictor of the direction the workers read (none without `temporal`).
  void FillExchangeRow(MbExchangeEntry* exchange, const MBInfo* mbInfo, int row,
                       const ITemporalSource* temporal);
  EncAccJob MakeAccJob(uint16_t kind, int firstRow, int rows, MbExchangeEntry* exchange,
                       MBInfo* mbInfo, AccBandStats* statistics) const;
  // A finished job's statistics into the picture and the vector ranges.
  void AddAccStatistics(const AccBandStats& statistics);

  bool AllocateDecimatedBlock();
  void FreeDecimatedBlock();
  void SetCostConstants();
  void SetSearchLimits();
  bool TemporalActive() const;

  std::unique_ptr<dsp::CMotionEstimationCore> coreOwner_;
  int gpuMode_ = 0;
  int decimationMode_ = 0;
  std::unique_ptr<uint8_t[]> blockRaw_;
  uint8_t* blockAligned_ = nullptr;
  uint8_t* sharedBlock_ = nullptr;
  // H.264 planes: the 4:1-horizontal and 4:1-vertical extra planes.
  int offsetExtraHorz_ = 0;
  int offsetExtraVert_ = 0;
  int stride4_ = 0;
  int rows4_ = 0;
  int extraVertStride_ = 0;
  int extraVertRows_ = 0;
  bool fieldMacroblock_ = false;
  uint32_t estimatorFlags_ = 0;
  int lambda_ = 0;  // 16.16
  int lambdaShifted_ = 0;
  int qpCostWord_ = 0;
};

}  // namespace orx::venc
