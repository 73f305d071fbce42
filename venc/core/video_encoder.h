#pragma once
// CVideoEncoder: the encoder driver behind IMPEGVideoEncoder. It keeps its own copy of the
// settings with the derived sequence fields, owns the picture store, the preprocessor, the
// motion estimator, the codec's macroblock encoder and the rate controller, and turns each input
// picture into one or more CPictures that flow through preprocessing, picture-type planning,
// motion estimation and macroblock coding. It runs on one thread (the component's worker).
#include <cstdint>
#include <memory>
#include <vector>

#include "venc/common/encoder_settings.h"
#include "venc/common/frame_store.h"
#include "venc/core/mb_encoder_rate_output.h"
#include "venc/core/mpeg_video_encoder.h"
#include "venc/core/preprocessor.h"
#include "venc/core/rate_control.h"

namespace orx::venc {

class CMBEncoder;
class CMotionEstimator;

// Flag bits of the encoder's flags word (set by CMultiVideoEncoder; 0 for a lone encoder).
inline constexpr uint32_t ENCODER_PIPELINED = 0x4000;
inline constexpr uint32_t ENCODER_SKIP_CREATE = 1u << 22;  // Open leaves the components alone

class CVideoEncoder final : public IMPEGVideoEncoder {
 public:
  // The B pictures the encoder keeps while it reorders (M is at most 3, so 2 are used).
  static constexpr int kMaxQueuedB = 8;

  CVideoEncoder();
  CVideoEncoder(const CVideoEncoder&) = delete;
  CVideoEncoder& operator=(const CVideoEncoder&) = delete;

  void Release() override;
  bool Configure(const EncoderSettings* settings) override;
  bool Open() override;
  int EncodeFrame(const EncodeFrameRequest* request) override;
  bool Finish() override;
  bool Close() override;
  PictureLayout ComputePictureLayout(const PictureLayoutRequest& request, int* frameRateIndex) override;
  void GetCodedSize(int* width, int* height) override;
  void GetStatistics(int32_t out[5]) override;
  int SetAuxParams(const int32_t params[3]) override;
  void SetAspectRatio(int x, int y) override;
  void SetBitRate(int bitRate) override;
  int GetSequenceHeader(const EncoderSettings* settings, uint8_t* out) override;
  int SetGopLength(int gopLength) override;
  bool ForceKeyFrame() override;
  bool EnableGpu(int mode) override;
  int QueryGpu(int* deviceCount, int mode) override;
  int Drain() override;

  // For tests and the component.
  const EncoderSettings& Settings() const { return settings_; }
  int Instance() const { return instance_; }
  uint32_t Flags() const { return flags_; }
  void SetFlags(uint32_t flags) { flags_ = flags; }
  CPreprocessor* Preprocessor() const { return preprocessor_.get(); }
  CMotionEstimator* Estimator() const { return estimator_; }
  int FrameBufferCount() const { return frameBufferCount_; }

 private:
  ~CVideoEncoder();
  bool CreateME();
  void DestroyComponents();
  // Copies the request's input description into a picture taken from the store.
  void FillPicture(CPicture* picture, const EncodeFrameRequest& request, int64_t timeStamp) const;
  // Hands one planned picture on: preprocessing with the whole-picture driver, or the queue and
  // the row road when the encoder reorders. False when the B queue is full.
  bool PassPlannedPicture(CPicture* picture, bool* anchorPassed);
  // A queued B picture keeps its own copy of the input, since the caller's frame goes back to
  // the caller before the anchor that releases the B picture arrives.
  void KeepQueuedInput(CPicture* picture, int slot);

  uint32_t flags_ = 0;
  std::unique_ptr<CFrameStore> store_;
  CPicture* queuedB_[kMaxQueuedB] = {};
  int queuedCount_ = 0;
  std::vector<uint8_t> queuedInput_[kMaxQueuedB];
  std::unique_ptr<CPreprocessor> preprocessor_;
  CMotionEstimator* estimator_ = nullptr;  // owned; released through its Release slot
  std::unique_ptr<CMBEncoder> mbEncoder_;
  std::unique_ptr<CRateControl> rateControl_;
  std::unique_ptr<MBEncoderRateOutput> rateOutput_;
  EncoderSettings settings_{};
  RateControlStatistics statistics_{};
  int displayCounter_ = 0;
  int repeatCounter_ = 0;
  int frameBufferCount_ = 0;
  int estimatorOption_ = 0;
  int gpuModeMinusOne_ = 0;
  int instance_ = 0;
  int gpuDeviceCount_ = 0;
};

}  // namespace orx::venc
