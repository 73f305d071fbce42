#include "plugin/settings/config_fixups.h"

#include <cstdlib>

#include "media/media_codes.h"

namespace orx::plugin {

uint32_t EstimateBitrate(const QVATengineConfig* config) {
  const VideoMediaType& target = config->targetVideo;
  int64_t width = static_cast<int32_t>(target.width);
  int64_t height = std::llabs(static_cast<int32_t>(target.height));
  int64_t rate = (target.FrameRate >= 100 && target.FrameRate <= 6000) ? target.FrameRate : 30000;
  int64_t k = height * (rate / 1000) * width / 1000;
  int64_t bits;
  switch (target.subtype) {
    case QVA_MSUBTYPE_MPV2: bits = k * 3000 / 4; break;
    case QVA_MSUBTYPE_MPV4:
    case QVA_MSUBTYPE_WMV9: bits = k * 1000 / 3; break;
    case QVA_MSUBTYPE_H264: bits = k * 1000 / 5; break;
    default: bits = k * 1000; break;
  }
  return static_cast<uint32_t>(bits);
}

void ApplyConfigFixups(QVATengineConfig* config) {
  if (config->scalingMode == 1) {
    config->targetVideo.width = config->targetVideo.secondWidth = config->sourceVideo.width;
    uint32_t height = static_cast<uint32_t>(std::abs(static_cast<int32_t>(config->sourceVideo.height)));
    config->targetVideo.height = config->targetVideo.secondHeight = height;
  }
  if (config->estimateBitrate != 0) config->videoBitrate = EstimateBitrate(config);
}

}  // namespace orx::plugin
