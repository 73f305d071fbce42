#include "plugin/params/param_post_process.h"

#include "platform/host_sdk/identifiers.h"
#include "plugin/params/export_state.h"
#include "plugin/params/exporter_file_type.h"
#include "plugin/params/exporter_instance.h"
#include "plugin/params/param_access.h"
#include "plugin/params/param_ids.h"
#include "plugin/params/param_lists.h"
#include "plugin/settings/plugin_settings.h"

namespace orx::plugin {
namespace {

using namespace host_sdk;

struct DisplayName {
  const char* id;
  const char* name;
};

void SetNames(const ParamAccess& params, std::initializer_list<DisplayName> names) {
  for (const DisplayName& n : names) params.SetName(n.id, n.name);
}

void SetIntValue(const ParamAccess& params, const char* id, int32_t value) {
  ParamRecord record = params.Get(id);
  record.value.intValue = value;
  params.Change(id, record);
}

void SetRange(const ParamAccess& params, const char* id, double min, double max) {
  ParamRecord record = params.Get(id);
  record.hasRange = 1;
  record.minimum.floatValue = min;
  record.maximum.floatValue = max;
  params.Change(id, record);
}

}  // namespace

int32_t Exporter_PostProcessParams(StandardParameters* /*standard*/, ParamsRecord* record) {
  ExporterInstance* instance = InstanceOf(record->privateData);
  if (instance == nullptr) return 0;
  const uint32_t fileType = record->fileType;
  const bool bluRay = IsBluRayFileType(fileType);
  ParamAccess params(instance->paramSuite, record->exporterId, 0);
  if (!params.available()) return 0;
  ExportState& state = GlobalExportState();

  // Exporter_PostProcessParams, the parameter post-processing:
  // 1-3: names, and the registry's scaling choice.
  SetNames(params, {{ADBEAudienceTabGroup, "Multiplexer"},
                    {ORXBasicMultiplexerGroup, "Basic Settings"},
                    {ORXMultiplexerContainer, "Multiplexing"},
                    {ORXMuxHelpButton, "Help"},
                    {ADBEVideoCodecGroup, "Video Codec group"},
                    {ORXVideoCodec, "Codec"},
                    {ORXQuality, "Quality"},
                    {ORXTVStandard, "TV Standard"},
                    {ADBEBasicVideoGroup, "Basic Video Settings"},
                    {ORXVideoDimension, "Frame Dimensions"},
                    {ADBEVideoWidth, "Width"},
                    {ADBEVideoHeight, "Height"},
                    {ORXVideoAspect, "Pixel Aspect Ratio"},
                    {ADBEVideoFPS, "Frame Rate (fps)"},
                    {ORXAdvancedVideoGroup, "Advanced Settings"},
                    {ORXAverageBitrate,
                     bluRay ? "Average Bitrate [Mbps]" : "Average Bitrate [Kbps]"},
                    {ORXKeyframeSpacing, "Keyframe Spacing"},
                    {ORXSubKeySpacing, "Subkey Spacing"},
                    {ORXScaler, "Scaling Method"}});
  uint32_t scaler = 0;
  if (RegReadDword(RegRoot::kCurrentUser, kPluginKey, kValueSourceScaler, &scaler)) {
    SetIntValue(params, ORXScaler, static_cast<int32_t>(scaler));
  }
  SetNames(params, {{ORXVideoHelpButton, "Help"},
                    {ADBEAudioCodecGroup, "Audio Codec group"},
                    {ADBEAudioCodec, "Codec"},
                    {ADBEBasicAudioGroup, "Basic Audio Settings"},
                    {ADBEAudioRatePerSecond, "Sample Frequency"},
                    {ADBEAudioNumChannels, "Channels"},
                    {ORXAudioBitRate, "Bit Rate (kbps)"},
                    {ORXAudioSampleSize, "Sample Size"},
                    {ORXAudioHelpButton, "Help"}});

  // 4: the option parameters, shown and enabled by "ShowOnGUI".
  uint32_t show = ReadShowOnGui(0);
  params.SetName(ORXOptions, "Options");
  SetParamVisibility(params, ORXOptions, (show & kShowOptionGroup) == 0, params.Get(ORXOptions).disabled != 0);
  SetNames(params, {{Settings, "ORX Settings"}, {ORXLogFile, "Log filename"}});
  SetParamVisibility(params, ORXLogFile, !(show & kShowLogFile), !(show & kEnableLogFile));
  params.SetName(ORXNumEncoders, "Number of Encoders");
  {
    ParamRecord r = params.Get(ORXNumEncoders);
    r.value.intValue = static_cast<int32_t>(state.config.encoderParams.encoderCount);
    r.disabled = (show & kEnableEncoderCount) ? 0 : 1;
    r.hidden = (show & kShowEncoderCount) ? 0 : 1;
    params.Change(ORXNumEncoders, r);
  }
  params.SetName(ORXNumGPUs, "Number of GPUs");
  {
    ParamRecord r = params.Get(ORXNumGPUs);
    r.value.intValue = static_cast<int32_t>(state.gpuCount);
    r.disabled = (show & kEnableGpuCount) ? 0 : 1;
    r.hidden = (show & kShowGpuCount) ? 0 : 1;
    params.Change(ORXNumGPUs, r);
  }

  // 5-9: the multiplexer's and the basic video lists.
  BuildContainerList(params, fileType);
  StoreHelpTopic(params, ORXMuxHelpButton, kHelpTopicMultiplexer);
  BuildVideoCodecList(params, fileType);
  SetRange(params, ORXQuality, 1.0, 5.0);
  BuildTvStandardList(params, fileType);

  // 10: the frame dimension list exists for the Blu-ray file types, which fix the size by it.
  params.ClearList(ORXVideoDimension);
  if (bluRay) BuildDimensionList(params);
  ParamRecord dimension = params.Get(ORXVideoDimension);
  dimension.hidden = bluRay ? 0 : 1;
  params.Change(ORXVideoDimension, dimension);
  for (const char* id : {ADBEVideoWidth, ADBEVideoHeight}) {
    ParamRecord r = params.Get(id);
    r.disabled = bluRay ? 1 : 0;
    params.Change(id, r);
  }

  // 11-14: aspect, frame rate, bit rate range and the GOP lists.
  BuildAspectList(params, fileType);
  BuildFrameRateList(params, *instance, fileType);
  SetRange(params, ORXAverageBitrate, bluRay ? 0.25 : 250.0, bluRay ? 50.0 : 50000.0);
  BuildKeyframeList(params);
  BuildSubkeyList(params, params.GetInt(ORXKeyframeSpacing));
  BuildScalerList(params);
  StoreHelpTopic(params, ORXVideoHelpButton, kHelpTopicVideo);

  // 15-18: the audio lists.
  BuildAudioCodecList(params, fileType, ChoiceOf<ContainerChoice>(params.GetInt(ORXMultiplexerContainer)), show);
  const auto audioCodec = ChoiceOf<AudioCodecChoice>(params.GetInt(ADBEAudioCodec));
  BuildAudioRateList(params, fileType);
  BuildChannelList(params, fileType);
  BuildAudioBitRateList(params);
  ParamRecord bitRate = params.Get(ORXAudioBitRate);
  bitRate.hidden = audioCodec == AudioCodecChoice::kPcm ? 1 : 0;
  params.Change(ORXAudioBitRate, bitRate);
  BuildSampleSizeList(params);
  StoreHelpTopic(params, ORXAudioHelpButton, kHelpTopicAudio);
  params.ClearList(ORXLogFile);
  BuildEncoderCountList(params);
  BuildGpuCountList(params, state.processorCount);
  return 0;
}

}  // namespace orx::plugin
