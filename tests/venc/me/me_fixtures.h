#pragma once
// What the motion-estimation tests share: sequence settings, a picture store, a recording
// stand-in for the macroblock encoder (it copies the source into the reconstruction and
// reports every row to the estimator, as the real picture loops do), the preprocessor's
// per-macroblock intra activity, and synthetic pictures with known displacements.
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "venc/common/encoder_settings.h"
#include "venc/common/frame_store.h"
#include "venc/common/picture.h"
#include "venc/mbenc/mb_encoder.h"
#include "venc/me/motion_estimator.h"

namespace orx::venc::test {

// MPEG-2 at width x height (multiples of 16), 25 frames/s, N and M as given, the default
// search records and ranges.
EncoderSettings MeSettings(int width, int height, int n, int m);

// What the stand-in encoder saw of one picture when it was coded.
struct CodedPicture {
  int display = 0;
  int type = 0;
  bool rowListener = false;
  int forwardDisplay = -1;
  int backwardDisplay = -1;
  int gopStart = 0;
  int closedGop = 0;
  int temporalReference = 0;
  int timeCode = 0;
  int gopP = 0;
  int gopB = 0;
  int copyMode = 0;
  int sourceBuffer = -1;
  int reconBuffer = -1;
  int fCodes[4] = {};
  int maxVector[4] = {};
  int interCostSum = 0;
  int intraActivitySum = 0;
  int intraMbCount = 0;
  int minRowCostTotal = 0;
  std::vector<MBInfo> mbs;
};

class RecordingEncoder : public CMBEncoder {
 public:
  RecordingEncoder() { SetModeFlags(MB_MODE_CALLER_BRACKETS); }
  void EncodePictureBody(CPicture* picture) override;
  void EncodeRow() override {}
  void WriteSequenceHeader(CPicture*) override {}
  void WriteGopHeader(CPicture*) override {}
  void WritePictureHeader(CPicture*, int) override {}
  void WriteSequenceEnd() override {}
  void InitTables() override {}

  std::vector<CodedPicture> coded;

 private:
  int mbRows_ = 0;
};

// One sequence: the settings, a picture store, an estimator and the stand-in encoder.
class MeSession {
 public:
  // Takes over the estimator and initialises it.
  MeSession(const EncoderSettings& settings, CMotionEstimator* estimator);
  ~MeSession();

  // A picture from the store with display number d (time stamp 40 ms a picture).
  CPicture* NewPicture(int display);
  // DecidePictureType, then the source written by `fill` (luma, stride) and the intra
  // activity measured, then ProcessPicture; the caller's reference is released.
  template <typename Fill>
  CPicture* Feed(CPicture* picture, bool forceAnchor, Fill fill) {
    estimator_->DecidePictureType(picture, forceAnchor);
    fill(picture->srcLuma, settings_.stride);
    MeasureActivity(picture);
    estimator_->ProcessPicture(picture);
    picture->Release();
    return picture;
  }
  // The preprocessor's measures: every macroblock's intra activity, the picture's intra cost
  // sum and its smallest row activity.
  void MeasureActivity(CPicture* picture) const;

  EncoderSettings& Settings() { return settings_; }
  CFrameStore& Store() { return *store_; }
  CMotionEstimator& Estimator() { return *estimator_; }
  RecordingEncoder& Encoder() { return encoder_; }

 private:
  EncoderSettings settings_;
  std::unique_ptr<CFrameStore> store_;
  CMotionEstimator* estimator_;  // owned; released at the end
  RecordingEncoder encoder_;
};

// Both codings saw the same pictures with the same types, f_codes, statistics and MBInfo
// decisions (flags, costs, vectors).
void ExpectSameCoding(const std::vector<CodedPicture>& a, const std::vector<CodedPicture>& b,
                      const std::string& what);

// A seeded random texture, low-pass filtered so that the decimated levels see structure.
std::vector<uint8_t> MakeTexture(int width, int height, uint32_t seed);

// Writes into `luma` (stride) the width x height picture seen through a window of the texture
// (textureWidth wide) at (left, top) + vector / 2 (vector in half-pel units), interpolated
// the MPEG-2 way, so that the true vector from the picture at (left, top) costs 0.
void SampleTexture(const std::vector<uint8_t>& texture, int textureWidth, int left, int top,
                   int vectorX, int vectorY, uint8_t* luma, int stride, int width, int height);

// Where the texture's window lies for picture d: (x, y) in half-pel units from the margin.
using TextureOffset = std::function<std::pair<int, int>(int display)>;
inline constexpr int kTextureMargin = 48;

// Pictures 0..length-1 cut from `texture` at offset(d) from (kTextureMargin, kTextureMargin)
// through the whole-picture driver and flushed; every coded picture in coding order. `before`
// sees the session before the first picture (to hand its picture store to a test pool).
std::vector<CodedPicture> CodeTextureSequence(
    const EncoderSettings& settings, int length, const std::vector<uint8_t>& texture,
    int textureWidth, const TextureOffset& offset, CMotionEstimator* estimator,
    const std::function<void(MeSession&)>& before = nullptr);

}  // namespace orx::venc::test
