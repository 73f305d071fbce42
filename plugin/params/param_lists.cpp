#include "plugin/params/param_lists.h"

#include <cstdio>
#include <string>
#include <vector>

#include "platform/host_sdk/identifiers.h"
#include "plugin/params/export_choices.h"
#include "plugin/params/exporter_file_type.h"
#include "plugin/params/exporter_instance.h"
#include "plugin/params/param_access.h"
#include "plugin/params/param_ids.h"
#include "plugin/settings/plugin_settings.h"

namespace orx::plugin {
namespace {

using namespace host_sdk;

struct IntEntry {
  int32_t value;
  const char* name;
};

void AddInts(const ParamAccess& params, const char* id, std::initializer_list<IntEntry> entries) {
  for (const IntEntry& e : entries) params.AddIntEntry(id, e.value, e.name);
}

struct ContainerEntry {
  ContainerChoice choice;
  const char* name;
};

void AddContainers(const ParamAccess& params, std::initializer_list<ContainerEntry> entries) {
  for (const ContainerEntry& e : entries) {
    params.AddIntEntry(ORXMultiplexerContainer, ChoiceValue(e.choice), e.name);
  }
}

void AddAudioCodec(const ParamAccess& params, AudioCodecChoice choice, const char* name) {
  params.AddIntEntry(ADBEAudioCodec, ChoiceValue(choice), name);
}

void AddCountingList(const ParamAccess& params, const char* id, int32_t first, int32_t last) {
  params.ClearList(id);
  for (int32_t v = first; v <= last; ++v) params.AddIntEntry(id, v, std::to_string(v).c_str());
}

struct Dimension {
  int32_t packed;
  const char* name;
};
constexpr Dimension kNtscDimensions[4] = {{PackDimension(720, 480), "720x480"},
                                          {PackDimension(1280, 720), "1280x720"},
                                          {PackDimension(1440, 1080), "1440x1080"},
                                          {PackDimension(1920, 1080), "1920x1080"}};
constexpr Dimension kPalDimensions[4] = {{PackDimension(720, 576), "720x576"},
                                         {PackDimension(1280, 720), "1280x720"},
                                         {PackDimension(1440, 1080), "1440x1080"},
                                         {PackDimension(1920, 1080), "1920x1080"}};

struct FrameRateRow {
  int64_t numerator;
  int64_t denominator;
  const char* name;
};
constexpr FrameRateRow kFrameRates[12] = {
    {10, 1, "10"},         {12, 1, "12"},         {25, 2, "12.5"},     {15, 1, "15"},
    {24000, 1001, "23.976"}, {24, 1, "24"},       {25, 1, "25"},       {30000, 1001, "29.97"},
    {30, 1, "30"},         {50, 1, "50"},         {60000, 1001, "59.94"}, {60, 1, "60"}};

struct AudioRate {
  double hz;
  const char* name;
};
constexpr AudioRate kRate11025{11025, "11.025 kHz"};
constexpr AudioRate kRate22050{22050, "22.05 kHz"};
constexpr AudioRate kRate32000{32000, "32 kHz"};
constexpr AudioRate kRate44100{44100, "44.1 kHz"};
constexpr AudioRate kRate48000{48000, "48 kHz"};

std::vector<int> FrameRateRows(const ParamAccess& params, uint32_t fileType) {
  switch (fileType) {
    case kFileTypeF4v: return {0, 1, 2, 3, 5, 6, 7, 8};
    case kFileTypeMpg2: return {4, 5, 6, 7, 8, 9, 10, 11};
    case kFileTypeH264: return {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11};
    default: break;
  }
  if (!IsBluRayFileType(fileType)) return {};
  if (params.GetInt(ORXTVStandard) == 0) {
    int32_t width = params.GetInt(ADBEVideoWidth);
    if (width == 720) return {7};
    if (width == 1280) return {4, 5, 10};
    return {4, 5, 7};
  }
  return params.GetInt(ADBEVideoHeight) == 720 ? std::vector<int>{9} : std::vector<int>{6};
}

void AddAspect(const ParamAccess& params, int32_t num, int32_t den, const char* base,
               float pixelAspect) {
  char name[96];
  std::snprintf(name, sizeof(name), "%s (%.3f)", base, static_cast<double>(pixelAspect));
  params.AddRatioEntry(ORXVideoAspect, num, den, name);
}

}  // namespace

void SetParamVisibility(const ParamAccess& params, const char* id, bool hidden, bool disabled) {
  ParamRecord record = params.Get(id);
  record.hidden = hidden ? 1 : 0;
  record.disabled = disabled ? 1 : 0;
  params.Change(id, record);
}

void BuildContainerList(const ParamAccess& params, uint32_t fileType) {
  using enum ContainerChoice;
  params.ClearList(ORXMultiplexerContainer);
  switch (fileType) {
    case kFileTypeMpg2:
      AddContainers(params, {{kElementary, "None (Elementary)"}, {kMpeg2Program, "Mpeg2 (Program)"}});
      break;
    case kFileTypeMp2b:
      AddContainers(params, {{kEncoreCompatible, "None (Encore Compatible)"},
                             {kElementary, "None (Elementary)"},
                             {kMpeg2Program, "Mpeg2 (Program)"}});
      break;
    case kFileTypeH264:
      AddContainers(params, {{kElementary, "None (Elementary)"},
                             {kMp4, "MPEG-4 (.mp4)"},
                             {kQuickTime, "Quicktime (.mov)"}});
      break;
    case kFileType264b:
      AddContainers(params, {{kEncoreCompatible, "None (Encore Compatible)"}, {kElementary, "None (Elementary)"}});
      break;
    case kFileTypeF4v:
      AddContainers(params, {{kElementary, "None (Elementary)"}, {kF4v, "F4V"}});
      break;
    default:
      break;
  }
}

void BuildVideoCodecList(const ParamAccess& params, uint32_t fileType) {
  params.ClearList(ORXVideoCodec);
  if (IsMpeg2FileType(fileType)) {
    params.AddIntEntry(ORXVideoCodec, ChoiceValue(VideoCodecChoice::kMpeg2), "ORX Accelerated MPEG-2");
  } else if (IsH264FileType(fileType) || fileType == kFileTypeF4v) {
    params.AddIntEntry(ORXVideoCodec, ChoiceValue(VideoCodecChoice::kH264), "ORX Accelerated H.264");
  }
}

void BuildTvStandardList(const ParamAccess& params, uint32_t fileType) {
  params.ClearList(ORXTVStandard);
  bool f4v = fileType == kFileTypeF4v;
  if (!f4v) AddInts(params, ORXTVStandard, {{0, "NTSC"}, {1, "PAL"}});
  ParamRecord record = params.Get(ORXTVStandard);
  record.hidden = f4v ? 1 : 0;
  params.Change(ORXTVStandard, record);
}

void BuildAudioCodecList(const ParamAccess& params, uint32_t fileType, ContainerChoice container,
                         uint32_t showOnGui) {
  using enum AudioCodecChoice;
  params.ClearList(ADBEAudioCodec);
  if (IsMpeg2FileType(fileType)) {
    if ((showOnGui & kOfferPcmAudio) && container == ContainerChoice::kMpeg2Program) {
      AddAudioCodec(params, kPcm, "PCM");
    }
    AddAudioCodec(params, kMpegLayer2, "MPEG-1 Layer 2 (mpa)");
    if (container == ContainerChoice::kElementary) AddAudioCodec(params, kMpegLayer3, "MPEG-1 Layer 3 (mp3)");
  } else if (fileType == kFileType264b) {
    AddAudioCodec(params, kMpegLayer2, "MPEG-1 Layer 2 (mpa)");
  } else if (fileType == kFileTypeH264 || fileType == kFileTypeF4v) {
    AddAudioCodec(params, kAac, "AAC");
  }
}

void BuildChannelList(const ParamAccess& params, uint32_t fileType) {
  params.ClearList(ADBEAudioNumChannels);
  if (IsBluRayFileType(fileType)) {
    params.AddIntEntry(ADBEAudioNumChannels, 2, "Stereo");
  } else {
    AddInts(params, ADBEAudioNumChannels, {{1, "Mono"}, {2, "Stereo"}});
  }
}

void BuildAudioBitRateList(const ParamAccess& params) {
  params.ClearList(ORXAudioBitRate);
  for (double rate : {96000.0, 128000.0, 192000.0}) {
    params.AddFloatEntry(ORXAudioBitRate, rate,
                         std::to_string(static_cast<int>(rate / 1000)).c_str());
  }
}

void BuildKeyframeList(const ParamAccess& params) { AddCountingList(params, ORXKeyframeSpacing, 1, 15); }

int32_t BuildSubkeyList(const ParamAccess& params, int32_t n) {
  params.ClearList(ORXSubKeySpacing);
  int32_t last = 1;
  params.AddIntEntry(ORXSubKeySpacing, 1, "None");
  if (n % 2 == 0 && n > 2) {
    params.AddIntEntry(ORXSubKeySpacing, 2, "2");
    last = 2;
  }
  if (n % 3 == 0 && n > 3) {
    params.AddIntEntry(ORXSubKeySpacing, 3, "3");
    last = 3;
  }
  return last;
}

void BuildScalerList(const ParamAccess& params) {
  params.ClearList(ORXScaler);
  AddInts(params, ORXScaler, {{0, "Adobe Default"}, {1, "ORX's Near-Neighbor"}});
}

void BuildSampleSizeList(const ParamAccess& params) {
  params.ClearList(ORXAudioSampleSize);
  params.AddIntEntry(ORXAudioSampleSize, 16, "16 bit");
}

void BuildEncoderCountList(const ParamAccess& params) { AddCountingList(params, ORXNumEncoders, 1, 7); }

void BuildGpuCountList(const ParamAccess& params, uint32_t processorCount) {
  AddCountingList(params, ORXNumGPUs, 0, static_cast<int32_t>(processorCount > 4 ? 4 : processorCount));
}

int BuildDimensionList(const ParamAccess& params) {
  int32_t tvStandard = params.GetInt(ORXTVStandard);
  int32_t current = params.GetInt(ORXVideoDimension);
  int32_t count = params.ListCount(ORXVideoDimension);
  int index = 0;
  if (count > 0) {
    for (int32_t i = 0; i < count; ++i) {
      if (params.ListEntry(ORXVideoDimension, i).intValue == current) {
        index = i;
        break;
      }
    }
  } else {
    int32_t width = params.GetInt(ADBEVideoWidth);
    index = width == 1280 ? 1 : width == 1440 ? 2 : width == 1920 ? 3 : 0;
  }
  const Dimension* column = tvStandard == 0 ? kNtscDimensions : kPalDimensions;
  params.ClearList(ORXVideoDimension);
  for (int i = 0; i < 4; ++i) params.AddIntEntry(ORXVideoDimension, column[i].packed, column[i].name);
  ParamRecord record = params.Get(ORXVideoDimension);
  record.value.intValue = column[index].packed;
  params.Change(ORXVideoDimension, record);
  return 0;
}

int BuildFrameRateList(const ParamAccess& params, const ExporterInstance& instance,
                       uint32_t fileType) {
  params.ClearList(ADBEVideoFPS);
  int64_t ticksPerSecond = 0;
  if (instance.timeSuite) instance.timeSuite->GetTicksPerSecond(&ticksPerSecond);
  for (int row : FrameRateRows(params, fileType)) {
    const FrameRateRow& r = kFrameRates[row];
    params.AddTimeEntry(ADBEVideoFPS, ticksPerSecond / r.numerator * r.denominator, r.name);
  }
  return 0;
}

int BuildAudioRateList(const ParamAccess& params, uint32_t fileType) {
  const auto codec = ChoiceOf<AudioCodecChoice>(params.GetInt(ADBEAudioCodec));
  params.ClearList(ADBEAudioRatePerSecond);
  std::vector<AudioRate> rates;
  if (fileType == kFileTypeF4v) {
    rates = {kRate11025, kRate22050, kRate44100};
  } else if (IsBluRayFileType(fileType)) {
    rates = {kRate48000};
  } else if (fileType == kFileTypeMpg2 || fileType == kFileTypeH264) {
    if (codec == AudioCodecChoice::kPcm) rates = {kRate44100, kRate48000};
    else rates = {kRate32000, kRate44100, kRate48000};
  }
  for (const AudioRate& r : rates) params.AddFloatEntry(ADBEAudioRatePerSecond, r.hz, r.name);
  return 0;
}

int BuildAspectList(const ParamAccess& params, uint32_t fileType) {
  if (fileType == kFileTypeF4v) return 0;
  int32_t width = params.GetInt(ADBEVideoWidth);
  int32_t height = params.GetInt(ADBEVideoHeight);
  params.ClearList(ORXVideoAspect);
  // Pixel aspects in single precision; a 720-pixel frame has 704 pixels of picture.
  float h = static_cast<float>(height);
  float w = static_cast<float>(width);
  float pictureWidth = width == 720 ? 704.0f : w;
  if (!IsBluRayFileType(fileType)) {
    AddAspect(params, 1, 1, "Square Pixels", 1.0f);
    AddAspect(params, 4, 3, "Standard 4:3", (h / pictureWidth) * (4.0f / 3.0f));
    AddAspect(params, 16, 9, "Widescreen 16:9", (h / pictureWidth) * (16.0f / 9.0f));
    AddAspect(params, 221, 100, "Widescreen 2.21:1", (h / w) * (221.0f / 100.0f));
  } else {
    if (width == 720) AddAspect(params, 4, 3, "Standard 4:3", (h / 704.0f) * (4.0f / 3.0f));
    AddAspect(params, 16, 9, "Widescreen 16:9", (h / w) * (16.0f / 9.0f));
  }
  return 0;
}

void StoreHelpTopic(const ParamAccess& params, const char* button, int32_t topic) {
  int32_t size = params.ArbDataSize(button);
  if (size <= 0) size = 4;
  if (size > 4096) size = 4096;  // a private data room no topic needs
  std::vector<uint8_t> data(static_cast<size_t>(size < 4 ? 4 : size), 0);
  for (int i = 0; i < 4; ++i) data[i] = static_cast<uint8_t>(static_cast<uint32_t>(topic) >> (8 * i));
  params.SetArbData(button, data.data(), size);
}

}  // namespace orx::plugin
