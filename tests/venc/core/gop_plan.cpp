#include "tests/venc/core/gop_plan.h"

#include <cmath>

#include "venc/core/derive_settings.h"
#include "venc/common/frame_store.h"
#include "venc/core/mpeg_video_encoder.h"
#include "venc/core/video_encoder.h"
#include "venc/me/mpeg2_motion_estimator.h"

namespace orx::venc::test {

EncoderSettings ComponentSettings(const VideoEncoderParams& params, const VideoMediaType& input,
                                  const VideoMediaType& output) {
  EncoderSettings s{};
  RequestOptions options{};
  VideoMediaType out = output;
  DeriveEncoderSettings(params, input, out, s, options);
  // The component's geometry and frame-rate index from the formats.
  s.width = static_cast<int32_t>(out.secondWidth);
  s.height = static_cast<int32_t>(out.secondHeight);
  const uint32_t rate = out.FrameRate != 0 ? out.FrameRate : input.FrameRate;
  s.frameRateIndex = 11;
  for (int i = 0; i < 12; ++i) {
    if (std::llround(kFrameRateTable[i].rate * 1000.0) >= static_cast<long long>(rate)) {
      s.frameRateIndex = i;
      break;
    }
  }
  if (params.progressive == 0 && (s.streamType == 3 || s.streamType == 5) && (s.frameRateIndex == 6 || s.frameRateIndex == 7)) {
    s.progressiveSequence = 0;
  }
  IMPEGVideoEncoder* encoder = nullptr;
  if (!NewMPEGVideoEncoder(&encoder, 0)) return s;
  auto* video = static_cast<CVideoEncoder*>(encoder);
  video->Configure(&s);
  video->Open();
  EncoderSettings checked = video->Settings();
  video->Close();
  video->Release();
  checked.bitStream = nullptr;
  return checked;
}

std::vector<PlannedPicture> PlanCodingOrder(const EncoderSettings& settings, int frames) {
  std::vector<PlannedPicture> plan;
  CFrameStore store(0, 0);
  if (!store.Init(&settings, std::max(settings.anchorDistance + 3, 4), nullptr)) return plan;
  CMPEG2MotionEstimator estimator;
  if (!estimator.Init(&settings, nullptr)) return plan;
  std::vector<CPicture*> queued;
  auto emit = [&](CPicture* p) {
    plan.push_back({p->pictureType == PICTURE_I ? 'I' : p->pictureType == PICTURE_P ? 'P' : 'B', p->displayNumber});
  };
  for (int d = 0; d < frames; ++d) {
    CPicture* picture = nullptr;
    if (!store.GetPicture(&picture)) return plan;
    picture->displayNumber = d;
    picture->progressiveFrame = settings.progressiveSequence;
    estimator.DecidePictureType(picture, false);
    if (picture->pictureType == PICTURE_B) {
      queued.push_back(picture);
      continue;
    }
    emit(picture);
    picture->Release();
    for (CPicture* b : queued) {
      emit(b);
      b->Release();
    }
    queued.clear();
  }
  if (!queued.empty()) {
    CPicture* last = queued.back();
    queued.pop_back();
    estimator.ReplanAsAnchor(last, queued.data(), static_cast<int>(queued.size()));
    emit(last);
    last->Release();
    for (CPicture* b : queued) {
      emit(b);
      b->Release();
    }
  }
  estimator.Close();
  return plan;
}

std::string TypesOf(const std::vector<PlannedPicture>& plan) {
  std::string types;
  for (const PlannedPicture& p : plan) types += p.type;
  return types;
}

}  // namespace orx::venc::test
