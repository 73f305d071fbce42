#include "plugin/export/export_settings_load.h"

#include <cmath>
#include <cstring>

#include "media/video_encoder_params.h"
#include "platform/host_sdk/identifiers.h"
#include "platform/host_sdk/suites.h"
#include "platform/host_sdk/utf16_text.h"
#include "plugin/params/export_session_config.h"
#include "plugin/params/export_state.h"
#include "plugin/params/exporter_file_type.h"
#include "plugin/params/exporter_instance.h"
#include "plugin/params/output_settings.h"
#include "plugin/params/param_access.h"
#include "plugin/params/param_ids.h"

namespace orx::plugin {
namespace {

using namespace host_sdk;

// A double that does not fit a 32-bit word reads as 0 instead of an undefined conversion.
uint32_t TruncToWord(double v) {
  return std::isfinite(v) && v >= 0.0 && v < 4294967296.0 ? static_cast<uint32_t>(v) : 0;
}

void LoadVideoSettings(const ParamAccess& params, uint32_t fileType, ExporterInstance& instance,
                       ExportState& state) {
  QVATengineConfig& config = state.config;
  VideoEncoderParams& vep = config.encoderParams;
  instance.videoCodec = static_cast<uint32_t>(params.GetInt(ORXVideoCodec));
  state.videoCodecChoice = ChoiceOf<VideoCodecChoice>(instance.videoCodec);
  double quality = params.GetFloat(ORXQuality) + 0.5 - 1.0;
  instance.qualityIndex =
      std::isfinite(quality) && std::fabs(quality) < 2.0e9 ? static_cast<int32_t>(quality) : 0;
  instance.width = static_cast<uint32_t>(params.GetInt(ADBEVideoWidth));
  instance.height = static_cast<uint32_t>(params.GetInt(ADBEVideoHeight));
  config.sourceVideo.width = instance.width;
  config.sourceVideo.height = instance.height;
  instance.frameTicks = params.GetTime(ADBEVideoFPS);

  ParamRatio aspect = params.GetRatio(ORXVideoAspect);
  PixelAspect display{aspect.numerator, aspect.denominator};
  if (display.num == 0 || display.den == 0 || (display.num == 1 && display.den == 1)) {
    display = DisplayRatioFromSize(static_cast<int32_t>(instance.width),
                                   static_cast<int32_t>(instance.height));
  }
  instance.displayAspectNum = static_cast<uint32_t>(display.num);
  instance.displayAspectDen = static_cast<uint32_t>(display.den);
  PixelAspect pixel =
      PixelAspectClass(static_cast<int32_t>(instance.width), static_cast<int32_t>(instance.height),
                       display.num, display.den);
  instance.pixelAspectNum = static_cast<uint32_t>(pixel.num);
  instance.pixelAspectDen = static_cast<uint32_t>(pixel.den);

  // The Blu-ray types take the bit rate in Mbit/s, the others in kbit/s.
  double bitrate = params.GetFloat(ORXAverageBitrate);
  bool bluRay = IsBluRayFileType(fileType);
  instance.averageKbps = bluRay ? bitrate * 1000.0 : bitrate;
  config.targetVideo.BitrateAverage = TruncToWord(bluRay ? bitrate * 1000000.0 : bitrate * 1000.0);

  instance.keyframeSpacing = static_cast<uint32_t>(params.GetInt(ORXKeyframeSpacing));
  vep.gopLength = instance.keyframeSpacing;
  instance.subkeySpacing = static_cast<uint32_t>(params.GetInt(ORXSubKeySpacing));
  vep.anchorDistance = instance.subkeySpacing;
  instance.scaler = static_cast<uint32_t>(params.GetInt(ORXScaler));
  state.scalingChoice = instance.scaler;
  instance.encoderCount = static_cast<uint32_t>(params.GetInt(ORXNumEncoders));
  vep.encoderCount = instance.encoderCount;
  int32_t gpus = params.GetInt(ORXNumGPUs);
  instance.gpuCount = static_cast<uint32_t>(gpus);
  state.gpuCount = instance.gpuCount;
  if (GpuSupportAvailable()) {
    if (gpus > 0) {
      vep.engineFlags |= VEP_ENGINE_GPU;
      // One mask bit per encoder instance; a count beyond the word's bits sets all of them.
      vep.gpuMask = gpus >= 32 ? 0xFFFFFFFFu : (1u << gpus) - 1u;
    } else {
      vep.engineFlags &= ~VEP_ENGINE_GPU;
      vep.gpuMask = 0;
    }
    vep.reserved100 = 0;
  }
}

void LoadAudioSettings(const ParamAccess& params, ExporterInstance& instance, ExportState& state) {
  instance.audioCodec = static_cast<uint32_t>(params.GetInt(ADBEAudioCodec));
  state.audioCodecChoice = ChoiceOf<AudioCodecChoice>(instance.audioCodec);
  state.config.audioCodecChoice = instance.audioCodec;
  instance.audioSampleRate = params.GetFloat(ADBEAudioRatePerSecond);
  instance.audioChannelType = static_cast<uint32_t>(params.GetInt(ADBEAudioNumChannels));
  instance.audioBitRate = TruncToWord(params.GetFloat(ORXAudioBitRate));
  state.config.targetAudio.Bitrate = instance.audioBitRate;
}

}  // namespace

int32_t Exporter_LoadExportSettings(ExportRecord* record, StandardParameters* standard) {
  ExporterInstance* instance = InstanceOf(record->privateData);
  const BasicSuite* basic = BasicSuiteOf(standard);
  if (instance == nullptr || basic == nullptr) return 0;
  const void* suite = nullptr;
  if (basic->AcquireSuite(kExportParamSuite.name, kExportParamSuite.version, &suite) != 0)
    suite = nullptr;
  std::memcpy(instance->tag, kInstanceTag, sizeof(instance->tag));
  ParamAccess params(static_cast<const ExportParamSuite*>(suite), record->exporterId, 0);
  ExportState& state = GlobalExportState();
  QVATengineConfig& config = state.config;

  int32_t container = params.GetInt(ORXMultiplexerContainer);
  state.containerChoice = ChoiceOf<ContainerChoice>(container);
  config.containerChoice = static_cast<uint32_t>(container);
  std::u16string log = params.GetText(ORXLogFile);
  std::string narrow = Utf16ToUtf8Bounded(log.c_str(), log.size(), sizeof(config.logFilePath) - 1);
  std::memset(config.logFilePath, 0, sizeof(config.logFilePath));
  std::memcpy(config.logFilePath, narrow.data(), narrow.size());

  instance->videoExported = record->exportVideo ? 1 : 0;
  config.videoEnabled = instance->videoExported;
  if (record->exportVideo) LoadVideoSettings(params, record->fileType, *instance, state);
  instance->audioExported = record->exportAudio ? 1 : 0;
  config.audioEnabled = instance->audioExported;
  if (record->exportAudio) LoadAudioSettings(params, *instance, state);

  if (record->exportVideo && instance->timeSuite != nullptr) {
    int64_t ticksPerSecond = 0;
    instance->timeSuite->GetTicksPerSecond(&ticksPerSecond);
    FrameRateFromTicks(instance, ticksPerSecond);
  }
  if (suite != nullptr) basic->ReleaseSuite(kExportParamSuite.name, kExportParamSuite.version);
  return 0;
}

}  // namespace orx::plugin
