#include "plugin/params/output_settings.h"

#include <cmath>

#include "platform/host_sdk/identifiers.h"
#include "plugin/params/export_state.h"
#include "plugin/params/exporter_file_type.h"
#include "plugin/params/exporter_instance.h"
#include "plugin/params/param_access.h"
#include "plugin/params/param_ids.h"

namespace orx::plugin {

using namespace host_sdk;

PixelAspect DisplayRatioFromSize(int32_t w, int32_t h) {
  if ((w == 640 && h == 480) || (w == 320 && h == 240) || (w == 1440 && h == 1080)) return {4, 3};
  if ((w == 1920 && h == 1080) || (w == 1280 && h == 720)) return {16, 9};
  return {w, h == 0 ? 1 : h};
}

PixelAspect PixelAspectClass(int32_t width, int32_t height, int32_t num, int32_t den) {
  float p = (static_cast<float>(height) / static_cast<float>(width)) *
            (static_cast<float>(num) / static_cast<float>(den));
  double pd = static_cast<double>(p);
  // A frame without width has no pixel shape; call it square.
  if (!std::isfinite(pd) || std::fabs(pd) > 1.0e6) return {1, 1};
  if (pd >= static_cast<double>(1.32f) && pd <= static_cast<double>(1.35f)) return {4, 3};
  if (pd >= static_cast<double>(0.99f) && pd <= static_cast<double>(1.01f)) return {1, 1};
  return {static_cast<int32_t>(p * 300.0f), 300};
}

int32_t Exporter_QueryOutputSettings(OutputSettingsRecord* record) {
  ExporterInstance* instance = InstanceOf(record->privateData);
  if (instance == nullptr) return 0;
  ParamAccess params(instance->paramSuite, record->exporterId, 0);
  ExportState& state = GlobalExportState();

  int64_t ticksPerSecond = 0;
  if (instance->timeSuite) instance->timeSuite->GetTicksPerSecond(&ticksPerSecond);
  int32_t container = params.GetInt(ORXMultiplexerContainer);
  state.containerChoice = ChoiceOf<ContainerChoice>(container);
  state.config.containerChoice = static_cast<uint32_t>(container);

  int32_t width = params.GetInt(ADBEVideoWidth);
  int32_t height = params.GetInt(ADBEVideoHeight);
  ParamRatio aspect = params.GetRatio(ORXVideoAspect);
  PixelAspect display{aspect.numerator, aspect.denominator};
  if (display.num == 0 || display.den == 0 || (display.num == 1 && display.den == 1)) {
    display = DisplayRatioFromSize(width, height);
  }
  record->width = width;
  record->height = height;
  PixelAspect pixel = PixelAspectClass(width, height, display.num, display.den);
  record->pixelAspectNum = pixel.num;
  record->pixelAspectDen = pixel.den;

  int64_t duration = params.GetTime(ADBEVideoFPS);
  record->ticksPerFrame = duration;
  int64_t rate = duration != 0 ? ticksPerSecond * 1000 / duration : 0;
  record->fieldOrder = (rate == 29970 || rate == 25000) ? 1 : 0;

  double bitrate = params.GetFloat(ORXAverageBitrate);
  double bytes = IsBluRayFileType(record->fileType) ? bitrate * 1000000.0 * 0.125
                                                    : bitrate * 1000.0 * 0.125;
  record->videoBytesPerSecond =
      std::isfinite(bytes) && std::fabs(bytes) < 2147483647.0 ? static_cast<int32_t>(bytes) : 0;

  record->audioSampleRate = params.GetFloat(ADBEAudioRatePerSecond);
  record->audioSampleType = 12;
  record->audioChannelType = params.GetInt(ADBEAudioNumChannels);

  const SequenceInfo& sequence = state.sequence;
  if (state.scalingChoice != 0 && sequence.captured) {
    record->width = static_cast<int32_t>(sequence.width);
    record->height = static_cast<int32_t>(sequence.height);
    record->pixelAspectNum = static_cast<int32_t>(sequence.pixelAspectNum);
    record->pixelAspectDen = static_cast<int32_t>(sequence.pixelAspectDen);
  }
  return 0;
}

}  // namespace orx::plugin
