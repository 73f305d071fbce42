#include "plugin/params/param_validate.h"

#include <cmath>
#include <cstring>
#include <string>
#include <string_view>

#include "platform/debug_output.h"

#include "platform/host_sdk/identifiers.h"
#include "platform/host_sdk/utf16_text.h"
#include "plugin/params/export_session_config.h"
#include "plugin/params/export_state.h"
#include "plugin/params/exporter_file_type.h"
#include "plugin/params/exporter_instance.h"
#include "plugin/params/param_access.h"
#include "plugin/params/param_ids.h"
#include "plugin/params/param_lists.h"
#include "plugin/params/param_model.h"
#include "plugin/settings/plugin_settings.h"

namespace orx::plugin {
namespace {

using namespace host_sdk;

struct Context {
  const ParamAccess& params;
  ExporterInstance& instance;
  uint32_t fileType;
};

int64_t TicksPerSecond(const ExporterInstance& instance) {
  int64_t ticks = 0;
  if (instance.timeSuite) instance.timeSuite->GetTicksPerSecond(&ticks);
  return ticks;
}

// Writes a clamped integer back only when the clamp changed it.
int32_t ClampInt(const ParamAccess& params, const char* id, int32_t min, int32_t max) {
  ParamRecord record = params.Get(id);
  int32_t v = record.value.intValue;
  int32_t clamped = v < min ? min : v > max ? max : v;
  if (clamped != v) {
    record.value.intValue = clamped;
    params.Change(id, record);
  }
  return clamped;
}

// The average bit rate goes back to the default for the current size and rate.
void ResetBitrate(const Context& c) {
  int64_t ticksPerSecond = TicksPerSecond(c.instance);
  int32_t width = c.params.GetInt(ADBEVideoWidth);
  int32_t height = c.params.GetInt(ADBEVideoHeight);
  int64_t duration = c.params.GetTime(ADBEVideoFPS);
  double fps = duration != 0 ? static_cast<double>(ticksPerSecond) / static_cast<double>(duration)
                             : 0.0;
  double mbps = ComputeDefaultBitrate(static_cast<uint32_t>(width), static_cast<uint32_t>(height), fps);
  ParamRecord record = c.params.Get(ORXAverageBitrate);
  record.value.floatValue = IsBluRayFileType(c.fileType) ? mbps : mbps * 1000.0;
  c.params.Change(ORXAverageBitrate, record);
}

// After a TV standard or frame dimension change: the size follows the dimension.
void CoupleFrameSize(const Context& c) {
  BuildDimensionList(c.params);
  int32_t packed = c.params.GetInt(ORXVideoDimension);
  uint32_t width = static_cast<uint32_t>(packed) >> 16;
  uint32_t height = static_cast<uint32_t>(packed) & 0xFFFF;
  for (auto [id, value] : {std::pair{ADBEVideoWidth, width}, std::pair{ADBEVideoHeight, height}}) {
    ParamRecord record = c.params.Get(id);
    record.value.intValue = static_cast<int32_t>(value);
    c.params.Change(id, record);
  }
  c.instance.width = width;
  c.instance.height = height;
  BuildAspectList(c.params, c.fileType);
}

// Puts an edit that no export could be made from back to the value the instance holds, and
// says why in the log: the host reports the refusal with that line.
int32_t Refuse(const ParamAccess& params, const char* id, const ParamRecord& previous,
               const std::string& why) {
  params.Change(id, previous);
  platform::DebugOutput(("ORX Encoder: " + std::string(id) + " refused: " + why + "\n").c_str());
  return kResultValueRefused;
}

void ShowAudioBitRate(const Context& c, AudioCodecChoice audioCodec) {
  ParamRecord record = c.params.Get(ORXAudioBitRate);
  record.hidden = audioCodec == AudioCodecChoice::kPcm ? 1 : 0;
  c.params.Change(ORXAudioBitRate, record);
}

}  // namespace

int32_t Exporter_ValidateParamChanged(StandardParameters* /*standard*/,
                                      ValidateParamRecord* record) {
  ExporterInstance* instance = InstanceOf(record->privateData);
  if (instance == nullptr || instance->paramSuite == nullptr) return 7;
  ParamAccess params(instance->paramSuite, record->exporterId, record->multiGroupIndex);
  Context c{params, *instance, record->fileType};
  ExporterInstance& copy = *instance;
  ExportState& state = GlobalExportState();
  char idBuffer[kIdentifierChars + 1] = {};
  std::memcpy(idBuffer, record->changedIdentifier, kIdentifierChars);
  const std::string_view id(idBuffer);

  if (id == ORXMultiplexerContainer) {
    if (IsMpeg2FileType(c.fileType)) {
      uint32_t show = ReadShowOnGui(0);
      const auto container = ChoiceOf<ContainerChoice>(params.GetInt(ORXMultiplexerContainer));
      BuildAudioCodecList(params, c.fileType, container, show);
      ParamRecord codec = params.Get(ADBEAudioCodec);
      // Layer 3 is offered only for elementary streams.
      if (container != ContainerChoice::kElementary &&
          ChoiceOf<AudioCodecChoice>(codec.value.intValue) == AudioCodecChoice::kMpegLayer3) {
        codec.value.intValue = ChoiceValue(AudioCodecChoice::kMpegLayer2);
        params.Change(ADBEAudioCodec, codec);
      }
    }
  } else if (id == ORXVideoCodec) {
    copy.videoCodec = static_cast<uint32_t>(params.GetInt(ORXVideoCodec));
  } else if (id == ORXQuality) {
    copy.qualityIndex = static_cast<int32_t>(params.GetFloat(ORXQuality) + 0.5 - 1.0);
  } else if (id == ORXVideoAspect) {
    ParamRatio aspect = params.GetRatio(ORXVideoAspect);
    copy.displayAspectNum = static_cast<uint32_t>(aspect.numerator);
    copy.displayAspectDen = static_cast<uint32_t>(aspect.denominator);
  } else if (id == ORXSubKeySpacing) {
    copy.subkeySpacing = static_cast<uint32_t>(params.GetInt(ORXSubKeySpacing));
  } else if (id == ORXScaler) {
    copy.scaler = static_cast<uint32_t>(params.GetInt(ORXScaler));
  } else if (id == ADBEAudioRatePerSecond) {
    // The audio encoder codes 32, 44.1 and 48 kHz only; any other rate left the export without
    // its audio while it answered success.
    double rate = params.GetFloat(ADBEAudioRatePerSecond);
    if (rate != 32000.0 && rate != 44100.0 && rate != 48000.0) {
      ParamRecord previous = params.Get(ADBEAudioRatePerSecond);
      previous.value.floatValue = copy.audioSampleRate;
      return Refuse(params, ADBEAudioRatePerSecond, previous,
                    "the audio encoder codes 32000, 44100 or 48000 Hz");
    }
    copy.audioSampleRate = rate;
  } else if (id == ADBEAudioNumChannels) {
    copy.audioChannelType = static_cast<uint32_t>(params.GetInt(ADBEAudioNumChannels));
  } else if (id == ORXAudioBitRate) {
    copy.audioBitRate = static_cast<uint32_t>(params.GetFloat(ORXAudioBitRate));
  } else if (id == ORXLogFile) {
    ParamRecord text = params.Get(ORXLogFile);
    std::memcpy(copy.logFileName, text.value.text, sizeof(copy.logFileName));
    copy.logFileName[255] = 0;
  } else if (id == ORXTVStandard || id == ORXVideoDimension) {
    if (id == ORXTVStandard) copy.tvStandard = static_cast<uint32_t>(params.GetInt(ORXTVStandard));
    CoupleFrameSize(c);
    ResetBitrate(c);
    BuildFrameRateList(params, *instance, c.fileType);
  } else if ((id == ADBEVideoWidth || id == ADBEVideoHeight) &&
             (params.GetInt(id == ADBEVideoWidth ? ADBEVideoWidth : ADBEVideoHeight) & 1) != 0) {
    // The video encoder takes even sizes only: an odd one gave an empty file.
    const char* which = id == ADBEVideoWidth ? ADBEVideoWidth : ADBEVideoHeight;
    ParamRecord previous = params.Get(which);
    previous.value.intValue = static_cast<int32_t>(which == ADBEVideoWidth ? copy.width : copy.height);
    return Refuse(params, which, previous, "the frame's width and height must be even");
  } else if (id == ADBEVideoWidth) {
    copy.width = static_cast<uint32_t>(ClampInt(params, ADBEVideoWidth, 320, 1920));
    BuildAspectList(params, c.fileType);
    ResetBitrate(c);
  } else if (id == ADBEVideoHeight) {
    copy.height = static_cast<uint32_t>(ClampInt(params, ADBEVideoHeight, 240, 1080));
    BuildAspectList(params, c.fileType);
    ResetBitrate(c);
  } else if (id == ADBEVideoFPS) {
    // A frame of no length or shorter than a 60 fps frame is no rate the encoder codes; one
    // tick per frame made billions of frames out of a few seconds.
    int64_t ticks = params.GetTime(ADBEVideoFPS);
    int64_t ticksPerSecond = TicksPerSecond(copy);
    if (ticks <= 0 || (ticksPerSecond > 0 && ticks * kMaxFramesPerSecond < ticksPerSecond)) {
      ParamRecord previous = params.Get(ADBEVideoFPS);
      previous.value.timeValue = copy.frameTicks;
      return Refuse(params, ADBEVideoFPS, previous,
                    "the frame rate must lie above 0 and at most 60 frames per second");
    }
    copy.frameTicks = ticks;
    FrameRateFromTicks(&copy, TicksPerSecond(copy));
    ResetBitrate(c);
  } else if (id == ORXAverageBitrate) {
    bool bluRay = IsBluRayFileType(c.fileType);
    double max = bluRay ? 50.0 : 50000.0;
    double min = bluRay ? 0.25 : 250.0;
    ParamRecord rate = params.Get(ORXAverageBitrate);
    double v = rate.value.floatValue;
    if (v > max) {
      v = max;
      rate.value.floatValue = v;
      params.Change(ORXAverageBitrate, rate);
    }
    if (v < min) {
      v = min;
      rate.value.floatValue = v;
      params.Change(ORXAverageBitrate, rate);
    }
    if (bluRay) copy.averageKbps = v * 1000.0;
  } else if (id == ORXKeyframeSpacing) {
    int32_t n = params.GetInt(ORXKeyframeSpacing);
    copy.keyframeSpacing = static_cast<uint32_t>(n);
    int32_t subkey = BuildSubkeyList(params, n);
    ParamRecord sub = params.Get(ORXSubKeySpacing);
    sub.value.intValue = subkey;
    params.Change(ORXSubKeySpacing, sub);
  } else if (id == ADBEAudioCodec) {
    int32_t codec = params.GetInt(ADBEAudioCodec);
    copy.audioCodec = static_cast<uint32_t>(codec);
    BuildAudioRateList(params, c.fileType);
    ShowAudioBitRate(c, ChoiceOf<AudioCodecChoice>(codec));
  } else if (id == ORXNumEncoders) {
    int32_t n = params.GetInt(ORXNumEncoders);
    copy.encoderCount = static_cast<uint32_t>(n);
    state.config.encoderParams.encoderCount = static_cast<uint32_t>(n);
  } else if (id == ORXNumGPUs) {
    int32_t n = params.GetInt(ORXNumGPUs);
    copy.gpuCount = static_cast<uint32_t>(n);
    state.gpuCount = static_cast<uint32_t>(n);
  }
  return 0;
}

}  // namespace orx::plugin
