#pragma once
// CMotionEstimator: everything of motion estimation that does not depend on the search. It
// plans picture types in display order from the GOP length N and the anchor distance M
// (forced anchors, repeated frames, the 36-field limit of SD MPEG-2 GOPs, scene-change
// promotion), keeps the older anchor and the queue of up to 8 B pictures that wait for their
// backward anchor, fills the GOP fields of each picture, chooses search ranges and temporal
// predictors, derives the f_codes from the vector ranges found, and hands the pictures to the
// macroblock encoder: whole pictures in display order (ProcessPicture, FlushQueue) or row by
// row in coding order (BeginPicture, ProcessRow, EndPicture). The search itself belongs to the
// derived classes. All operations run on the thread of the encoder that owns the estimator.
#include <cstdint>

#include "venc/common/encoder_settings.h"
#include "venc/common/picture.h"
#include "venc/common/motion_estimator_interface.h"

namespace orx::venc {

class CMBEncoder;

// Mode flag bits (the encoder's flags word).
inline constexpr uint32_t ME_MODE_NO_SCENE_CHANGE = 0x1000;
inline constexpr uint32_t ME_MODE_SHARED_BLOCK = 0x8000;  // with a sub-encoder index in 0xF00
inline constexpr uint32_t ME_MODE_SUB_ENCODER_MASK = 0xF00;
inline constexpr uint32_t ME_MODE_SKIP_ENCODER = 0x30000;  // both bits: no macroblock encoding
inline constexpr uint32_t ME_MODE_BAND = 0x100000;

// Largest number of B pictures that wait for their backward anchor.
inline constexpr int kMaxQueuedB = 8;

// Cost sentinels of impossible choices.
inline constexpr int32_t COST_NO_BACKWARD = 66010;
inline constexpr int32_t COST_NO_INTERPOLATION = 66012;
inline constexpr int32_t COST_INTERPOLATION_SKIPPED = 66013;
inline constexpr int32_t COST_NO_FORWARD = 66014;
inline constexpr int32_t BIAS_MISSING_DIRECTION = 65535;

class CMotionEstimator : public IMotionEstimator {
 public:
  CMotionEstimator() = default;
  ~CMotionEstimator() override;
  CMotionEstimator(const CMotionEstimator&) = delete;
  CMotionEstimator& operator=(const CMotionEstimator&) = delete;

  void Release() override { delete this; }
  bool Init(const EncoderSettings* settings, CMBEncoder* encoder) override;
  void Close() override;

  void SetModeFlags(uint32_t flags) { modeFlags_ = flags; }
  uint32_t ModeFlags() const { return modeFlags_; }
  // The I-picture request (the encoder's ForceKeyFrame): the next anchor planned is an I
  // picture that starts a GOP.
  void ForceKeyFrame() { intraRequest_ = true; }

  // Plans the type, GOP fields and frame buffers of the next picture in display order.
  void DecidePictureType(CPicture* picture, bool forceAnchor);
  // Whole-picture driver: the pictures in display order.
  void ProcessPicture(CPicture* picture);
  // End of a sequence (end of input, batch marker): the B pictures still queued are coded,
  // the last one re-planned as the anchor they wait for. Nothing happens with an empty queue.
  void FlushQueue();
  // The end-of-sequence re-plan of the last waiting B picture as the anchor the others wait
  // for: P when the I picture of its GOP is coded, else the I picture that starts it (the queued
  // pictures of that GOP get their GOP fields again); it takes the anchor buffers. The encoder's
  // row road drains its own queue with it; FlushQueue drains the estimator's.
  void ReplanAsAnchor(CPicture* picture, CPicture* const* queued, int queuedCount);
  // The encoder instance whose profiling slot 1 times the motion search.
  void SetProfileInstance(int instance) { profileInstance_ = instance; }
  // Row driver (only with reorderPictures): the pictures in coding order.
  void BeginPicture(CPicture* picture);
  void ProcessRow(CPicture* picture, int row);
  void EndPicture(CPicture* picture);
  // Backward estimation of queued B picture i against the anchor just coded.
  void EstimateBPicture(int queueIndex, CPicture* newAnchor);

  // The 25-bit MPEG time code (without the drop flag) of a frame count; with dropFrame the
  // labels of drop-frame counting (frames 0 and 1 of every minute not divisible by 10 are
  // skipped).
  static int32_t PackTimeCode(int frames, int repeatFields, double frameRate, bool dropFrame);

  int QueuedCount() const { return queueCount_; }

 protected:
  // One of the two MBInfo arrays whose vectors predict the current picture's.
  struct TemporalPredictor {
    const MBInfo* arrayA = nullptr;
    const MBInfo* arrayB = nullptr;
    int storedVector = 0;  // which vector the row predictor keeps: 0 forward, 1 backward
    int vectorA = 0;       // which vector is read from A and from B
    int vectorB = 0;
    int32_t scaleA = 0;  // 16.16
    int32_t scaleB = 0;
  };

  void ReleasePictures();
  // Writes n records: flags (plus the 16x16 partition bit for H.264), zero intra activity,
  // inter cost and vector of the given direction (0 forward, 1 backward).
  void ClearMBInfo(MBInfo* first, int vectorIndex, int count, uint32_t flags);
  void EstimateWholePicture(CPicture* picture);
  void ScaleSearchRange(CPicture* picture);
  void EstimateAnchor(CPicture* picture);
  void EstimateQueuedB(CPicture* picture);
  void FillGopInfo(CPicture* picture);
  void SetCurrentPicture(CPicture* picture);
  void ClearTemporalPredictor() { temporal_ = {}; }
  void SetAnchorFCodes(CPicture* picture) const;
  void SetBFCodes(CPicture* picture) const;

  int MacroblockCount() const { return settings_->mbCols * settings_->mbRows; }

  uint32_t modeFlags_ = 0;
  CMBEncoder* encoder_ = nullptr;
  const EncoderSettings* settings_ = nullptr;

  // GOP plan.
  int gopStart_ = 0;
  int firstAnchor_ = 0;
  int h264RestartDisplay_ = 0;
  int gopFields_ = 0;
  int promotionDisplay_ = 0;
  int repeatFieldCount_ = 0;
  int plannedP_ = 0;
  int plannedB_ = 0;

  // Picture queue.
  int queueCount_ = 0;
  CPicture* olderAnchor_ = nullptr;
  CPicture* queue_[kMaxQueuedB] = {};
  int parity_ = 0;
  CPicture* newerAnchor_ = nullptr;
  bool intraRequest_ = false;

  // Current picture, set before every search.
  const uint8_t* forwardSearchPlane_ = nullptr;
  const uint8_t* backwardSearchPlane_ = nullptr;
  const uint8_t* forwardReconPlane_ = nullptr;
  const uint8_t* backwardReconPlane_ = nullptr;
  const uint8_t* currentSource_ = nullptr;
  int codedWidth_ = 0;
  int codedHeight_ = 0;
  int codedStride_ = 0;
  int pictureType_ = 0;
  bool progressivePicture_ = false;
  bool mpeg4BPicture_ = false;  // no intra macroblocks
  CPicture* currentPicture_ = nullptr;
  TemporalPredictor temporal_;
  const int16_t* mvCodeLength_ = nullptr;
  bool forwardSearch_ = false;
  bool backwardSearch_ = false;
  int rangeX_ = 0;  // full-pel half-widths
  int rangeY_ = 0;
  SearchParams searchParams_ = {};

 private:
  void ReplanAtGopStart(int display);
  void ApplyFieldLimit(int display);
  void ReplanAroundIntra(int display);
  void ProcessAnchor(CPicture* picture);
  void CutQueuedPictures(CPicture* picture);
  void PromoteToIntra(CPicture* picture);
  void TakeAnchorBuffers(CPicture* picture);
  bool replannedForRequest_ = false;
  int profileInstance_ = 0;  // the picture's I came from a request with M >= 2
};

}  // namespace orx::venc
