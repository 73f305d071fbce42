#include "plugin/params/param_summary.h"

#include <cmath>
#include <cstdio>

#include "platform/host_sdk/identifiers.h"
#include "platform/host_sdk/utf16_text.h"
#include "plugin/params/export_choices.h"
#include "plugin/params/exporter_instance.h"
#include "plugin/params/param_access.h"
#include "plugin/params/param_ids.h"

namespace orx::plugin {
namespace {

using namespace host_sdk;

const char* VideoCodecName(VideoCodecChoice codec) {
  switch (codec) {
    case VideoCodecChoice::kMpeg2: return "ORX Accelerated MPEG-2";
    case VideoCodecChoice::kMpeg4:
    case VideoCodecChoice::kH264: return "ORX Accelerated H.264";
    case VideoCodecChoice::kWmv9: return "WMV9";
    case VideoCodecChoice::kWmv9Advanced: return "WMV9-AP";
    case VideoCodecChoice::kVc1: return "VC1";
    case VideoCodecChoice::kDivx: return "DIVX";
    default: return "Unknown Video Codec";
  }
}

const char* AudioCodecName(AudioCodecChoice codec) {
  switch (codec) {
    case AudioCodecChoice::kMpegLayer2: return "MPA2";
    case AudioCodecChoice::kMpegLayer3: return "MP3";
    case AudioCodecChoice::kWma: return "WMA";
    case AudioCodecChoice::kAac: return "AAC";
    default: return "Unknown";
  }
}

const char* ChannelName(int32_t channels) {
  return channels == 1 ? "Mono" : channels == 2 ? "Stereo" : "Channels Unknown";
}

// trunc(v x 10), or a value no rule matches when v has no finite tenth.
int Tenths(float v) {
  float t = v * 10.0f;
  return std::isfinite(t) && std::fabs(t) < 1.0e9f ? static_cast<int>(t) : -1;
}

void Write(char16_t* field, const char* text) { CopyToUtf16(field, kTextChars, text); }

}  // namespace

const char* AspectName(int32_t width, int32_t height, int32_t num, int32_t den) {
  float ratio = static_cast<float>(num) / static_cast<float>(den);
  float pixel = (static_cast<float>(height) / static_cast<float>(width)) * ratio;
  if (Tenths(pixel) == 10) return "Square Pixels";
  int r = Tenths(ratio);
  if (r == 13) return "Standard 4:3";
  if (r == 17) return "Widescreen 16:9";
  if (r > 20) return "Widescreen 2.21:1";
  return "Unknown Aspect Ratio";
}

int32_t Exporter_GetParamSummary(StandardParameters* /*standard*/, ParamSummaryRecord* record) {
  ExporterInstance* instance = InstanceOf(record->privateData);
  if (instance == nullptr || instance->paramSuite == nullptr) return 0;
  ParamAccess params(instance->paramSuite, record->exporterId, 0);
  const auto videoCodec = ChoiceOf<VideoCodecChoice>(params.GetInt(ORXVideoCodec));
  double quality = params.GetFloat(ORXQuality);
  int32_t tvStandard = params.GetInt(ORXTVStandard);
  int32_t width = params.GetInt(ADBEVideoWidth);
  int32_t height = params.GetInt(ADBEVideoHeight);
  bool dimensionShown = params.Get(ORXVideoDimension).hidden == 0;
  int64_t duration = params.GetTime(ADBEVideoFPS);
  ParamRatio aspect = params.GetRatio(ORXVideoAspect);
  double sampleRate = params.GetFloat(ADBEAudioRatePerSecond);
  double averageBitrate = params.GetFloat(ORXAverageBitrate);
  double audioBitRate = params.GetFloat(ORXAudioBitRate);
  const auto audioCodec = ChoiceOf<AudioCodecChoice>(params.GetInt(ADBEAudioCodec));
  int32_t channels = params.GetInt(ADBEAudioNumChannels);
  const auto container = ChoiceOf<ContainerChoice>(params.GetInt(ORXMultiplexerContainer));
  int64_t ticksPerSecond = 0;
  if (instance->timeSuite) instance->timeSuite->GetTicksPerSecond(&ticksPerSecond);
  double frameRate =
      duration != 0 ? static_cast<double>(ticksPerSecond) / static_cast<double>(duration) : 0.0;
  const char* unit = dimensionShown ? "M" : "K";

  char line[512];
  if (record->exportVideo == 0) {
    Write(record->videoSummary, "No summary available");
  } else {
    if (container == ContainerChoice::kF4v) {
      std::snprintf(line, sizeof(line), "%ix%i, %.2f [fps]", width, height, frameRate);
    } else {
      std::snprintf(line, sizeof(line), "%s, %s, %ix%i, %.2f [fps], %0.1f [%sbps], %s, Quality %0.1f",
                    VideoCodecName(videoCodec), tvStandard == 0 ? "NTSC" : "PAL", width, height,
                    frameRate, averageBitrate, unit,
                    AspectName(width, height, aspect.numerator, aspect.denominator), quality);
    }
    Write(record->videoSummary, line);
  }
  if (record->exportAudio == 0) {
    Write(record->audioSummary, "No summary available");
  } else {
    if (audioCodec == AudioCodecChoice::kPcm) {
      std::snprintf(line, sizeof(line), "PCM, 16 bit, %.3f kHz, %s", sampleRate / 1000.0,
                    ChannelName(channels));
    } else {
      std::snprintf(line, sizeof(line), "%s, %d [kbps] %.3f kHz, %s", AudioCodecName(audioCodec),
                    static_cast<int>(audioBitRate / 1000.0), sampleRate / 1000.0,
                    ChannelName(channels));
    }
    Write(record->audioSummary, line);
  }
  std::snprintf(line, sizeof(line), "%.1f %s", averageBitrate, dimensionShown ? "Mbps" : "Kbps");
  Write(record->bitrateSummary, line);
  return 0;
}

}  // namespace orx::plugin
