#include "plugin/params/export_session_config.h"

#include <cstring>

#include "media/media_codes.h"
#include "platform/processor_count.h"
#include "plugin/params/export_state.h"
#include "plugin/params/exporter_instance.h"
#include "plugin/settings/legacy_settings.h"
#include "plugin/settings/plugin_settings.h"

namespace orx::plugin {
namespace {

constexpr uint32_t kDefaultFrameRate = 29970;  // frames per 1000 s
constexpr uint32_t kDefaultVideoBitRate = 4000000;
constexpr char kDefaultLogPath[] = "\\orxencoder.log";

struct GpuDefault {
  uint32_t count;
  uint32_t mask;
};

// The GPU count and mask that the processor count suggests.
GpuDefault GpuDefaultFor(int processors) {
  if (processors <= 1) return {0, 0};
  if (processors == 2) return {1, 0x1};
  if (processors == 3) return {2, 0x3};
  return {4, 0xF};
}

void SetVideoSize(VideoMediaType& type, uint32_t width, uint32_t height) {
  type.width = type.secondWidth = width;
  type.height = type.secondHeight = height;
}

}  // namespace

int CountUsableProcessors() { return platform::UsableProcessorCount(); }

int GetUsableProcessorCount() {
  int count = CountUsableProcessors();
  GlobalExportState().processorCount = static_cast<uint32_t>(count);
  return count;
}

int GpuSupportAvailable() { return 1; }

int EncSession_InitConfig(QVATengineConfig* config, uint32_t width, uint32_t height) {
  ExportState& state = GlobalExportState();
  int processors = GetUsableProcessorCount();
  std::memset(config, 0, sizeof(*config));

  uint32_t statsLevel = 0;
  if (RegReadDword(RegRoot::kCurrentUser, kPluginKey, kValueStatsLevel, &statsLevel)) {
    config->statsLevel = statsLevel;
    RegReadDword(RegRoot::kCurrentUser, kPluginKey, kValueStatsHistory, &config->statsHistory);
  }

  config->videoEnabled = 1;
  config->audioEnabled = 1;
  config->estimateBitrate = 0;
  config->scalingMode = 1;
  uint32_t scaler = 0;
  RegReadDword(RegRoot::kCurrentUser, kPluginKey, kValueSourceScaler, &scaler);
  state.scalingChoice = scaler;
  config->transcodeFlags = 0;
  std::memset(config->optionWords, 0, sizeof(config->optionWords));
  std::strncpy(config->logFilePath, kDefaultLogPath, sizeof(config->logFilePath) - 1);

  VideoEncoderParams& vep = config->encoderParams;
  vep.size = sizeof(VideoEncoderParams);
  vep.rateControl = 1;
  vep.gopLength = 15;
  vep.anchorDistance = 3;
  vep.displayAspectX = 16;
  vep.displayAspectY = 9;
  vep.h264Slices = 0;
  vep.h264SliceSizeLimit = 0;
  vep.groupLength = 0;
  vep.gpuMask = 0;
  vep.reserved100 = 0;
  vep.encoderCount = processors <= 0 ? 1 : processors >= 7 ? 7 : static_cast<uint32_t>(processors);
  vep.engineFlags = VEP_ENGINE_MULTI_INSTANCE;

  if (GpuSupportAvailable()) {
    GpuDefault gpu = GpuDefaultFor(processors);
    uint32_t mask = gpu.mask;
    RegReadDword(RegRoot::kCurrentUser, kPluginKey, kValueGpuFlags, &mask);
    if (mask != 0) {
      state.gpuCount = gpu.count;
      vep.engineFlags |= VEP_ENGINE_GPU;
      vep.gpuMask = mask;
      vep.encoderCount += gpu.count;
      if (vep.encoderCount > 7) vep.encoderCount = 7;
    } else {
      state.gpuCount = 0;
    }
  }
  vep.optionFlags = VEP_OPT_CLOSED_GOPS | VEP_OPT_MULTIVENC;

  VideoMediaType& source = config->sourceVideo;
  source.size = sizeof(VideoMediaType);
  source.MType = QVA_MTYPE_VIDEO;
  source.subtype = QVA_MSUBTYPE_YUV444I;
  source.MFlags = 0x30000;
  SetVideoSize(source, width, height);
  source.FrameRate = kDefaultFrameRate;
  source.secondPARh = source.secondPARv = 1;

  VideoMediaType& target = config->targetVideo;
  target.size = sizeof(VideoMediaType);
  target.MType = QVA_MTYPE_VIDEO;
  target.subtype = QVA_MSUBTYPE_MPV2;
  target.MFlags = 0;
  SetVideoSize(target, width, height);
  target.FrameRate = kDefaultFrameRate;
  target.secondPARh = target.secondPARv = 1;
  target.BitrateAverage = kDefaultVideoBitRate;

  AudioMediaType& sourceAudio = config->sourceAudio;
  sourceAudio.size = sizeof(AudioMediaType);
  sourceAudio.MType = QVA_MTYPE_AUDIO;
  sourceAudio.subtype = QVA_MSUBTYPE_PCM;
  sourceAudio.Bitrate = 0;
  sourceAudio.BitsPerSample = 16;
  sourceAudio.SamplRate = 48000;
  sourceAudio.Channels = 2;

  AudioMediaType& targetAudio = config->targetAudio;
  targetAudio.size = sizeof(AudioMediaType);
  targetAudio.MType = QVA_MTYPE_AUDIO;
  targetAudio.subtype = QVA_MSUBTYPE_MPA2;
  targetAudio.Bitrate = 128000;
  targetAudio.BitsPerSample = sourceAudio.BitsPerSample;
  targetAudio.SamplRate = sourceAudio.SamplRate;
  targetAudio.Channels = sourceAudio.Channels;

  ReadLegacySettings(config);
  return 0;
}

int EncSession_SetFrameSize(QVATengineConfig* config, uint32_t width, uint32_t height) {
  SetVideoSize(config->sourceVideo, width, height);
  SetVideoSize(config->targetVideo, width, height);
  config->sourceVideo.FrameRate = kDefaultFrameRate;
  config->targetVideo.FrameRate = kDefaultFrameRate;
  config->targetVideo.secondPARh = config->targetVideo.secondPARv = 1;
  config->encoderParams.displayAspectX = 16;
  config->encoderParams.displayAspectY = 9;
  config->targetVideo.BitrateAverage = kDefaultVideoBitRate;
  return 0;
}

void FrameRateFromTicks(ExporterInstance* instance, int64_t ticksPerSecond) {
  float f = static_cast<float>(static_cast<double>(ticksPerSecond) /
                               static_cast<double>(instance->frameTicks));
  // A zero or negative duration has no frame rate; converting its quotient would be undefined.
  if (!(f > 0.0f && f < 2.0e9f)) return;
  instance->frameRateNum = static_cast<uint32_t>(static_cast<int32_t>(f + 0.5f));
  float g = static_cast<float>((1.0 / f) * instance->frameRateNum * 1000.0);
  instance->frameRateDen = static_cast<int32_t>(g) == 1001 ? 1001 : 1;
}

}  // namespace orx::plugin
