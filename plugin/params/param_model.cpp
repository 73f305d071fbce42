#include "plugin/params/param_model.h"

#include <cstring>

#include "platform/host_sdk/identifiers.h"
#include "platform/host_sdk/suites.h"
#include "platform/host_sdk/utf16_text.h"
#include "plugin/params/export_session_config.h"
#include "plugin/params/export_state.h"
#include "plugin/params/exporter_file_type.h"
#include "plugin/params/exporter_instance.h"
#include "plugin/params/param_access.h"
#include "plugin/params/param_ids.h"
#include "plugin/settings/plugin_settings.h"

namespace orx::plugin {
namespace {

using namespace host_sdk;

constexpr char kDefaultLogFile[] = "\\orxencoder.log";

// What the handler learned about the sequence being exported.
struct SequenceCapture {
  uint32_t width = 0;
  uint32_t height = 0;
  double frameRate = 0.0;
  double audioSampleRate = 48000.0;
};

SequenceCapture CaptureSequence(const ExportInfoSuite* info, uint32_t exporterId) {
  SequenceCapture seq;
  if (info == nullptr) return seq;
  auto read = [&](int32_t key) {
    SourceInfoValue v{};
    if (info->GetSourceInfo(exporterId, key, &v) != 0) v = {};
    return v;
  };
  seq.width = static_cast<uint32_t>(read(kSourceVideoWidth).intValue);
  seq.height = static_cast<uint32_t>(read(kSourceVideoHeight).intValue);
  seq.frameRate = read(kSourceVideoFrameRate).floatValue;
  uint32_t parNum = static_cast<uint32_t>(read(kSourcePixelAspectNum).intValue);
  uint32_t parDen = static_cast<uint32_t>(read(kSourcePixelAspectDen).intValue);
  if (seq.width != 0 && seq.height != 0) {
    SequenceInfo& s = GlobalExportState().sequence;
    s.width = seq.width;
    s.height = seq.height;
    s.pixelAspectNum = parNum;
    s.pixelAspectDen = parDen;
    s.captured = 1;
  }
  seq.audioSampleRate = read(kSourceAudioSampleRate).floatValue;
  return seq;
}

// Builds one parameter description.
struct Param {
  ParamDescription d{};

  Param(const char* id, ParamType type) {
    std::strncpy(d.identifier, id, sizeof(d.identifier) - 1);
    d.type = type;
  }
  Param& Flags(int32_t flags) {
    d.flags = flags;
    return *this;
  }
  Param& Range(const ParamValue& min, const ParamValue& max) {
    d.hasRange = 1;
    d.minimum = min;
    d.maximum = max;
    return *this;
  }
  Param& Default(const ParamValue& v) {
    d.defaultValue = v;
    return *this;
  }
  Param& Hidden(bool hidden) {
    d.hidden = hidden ? 1 : 0;
    return *this;
  }
  Param& Disabled(bool disabled) {
    d.disabled = disabled ? 1 : 0;
    return *this;
  }
  Param& ArbData(int32_t size) {
    d.arbDataSize = size;
    return *this;
  }
};

class ParamBuilder {
 public:
  ParamBuilder(const ExportParamSuite* suite, uint32_t exporterId, int32_t multiGroup)
      : suite_(suite), exporterId_(exporterId), multiGroup_(multiGroup) {}

  void Group(const char* parent, const char* id, const char* name) {
    char16_t wide[kTextChars];
    CopyToUtf16(wide, kTextChars, name);
    suite_->AddParamGroup(exporterId_, multiGroup_, parent, id, wide, 0, 0, 0);
  }
  void Add(const char* group, const Param& p) {
    suite_->AddParam(exporterId_, multiGroup_, group, &p.d);
  }

 private:
  const ExportParamSuite* suite_;
  uint32_t exporterId_;
  int32_t multiGroup_;
};

ContainerChoice DefaultContainer(uint32_t fileType) {
  switch (fileType) {
    case kFileTypeMpg2: return ContainerChoice::kMpeg2Program;
    case kFileTypeMp2b: return ContainerChoice::kEncoreCompatible;
    case kFileTypeH264: return ContainerChoice::kMp4;
    case kFileType264b: return ContainerChoice::kElementary;
    case kFileTypeF4v: return ContainerChoice::kF4v;
    default: return ContainerChoice::kElementary;
  }
}

bool IsStandardDefinitionSize(uint32_t w, uint32_t h) {
  return (w == 320 && h == 240) || (w == 640 && h == 480) || (w == 720 && h == 480) ||
         (w == 720 && h == 576);
}

}  // namespace

double ComputeDefaultBitrate(uint32_t width, uint32_t height, double framesPerSecond) {
  double pixels = static_cast<double>(static_cast<uint32_t>(width * height));  // wraps in 32 bits
  double kbps = pixels * framesPerSecond / 2700.0;
  return kbps < 1000.0 ? (kbps + 500.0) / 1000.0 : kbps / 1000.0;
}

void InitExportDefaults(uint32_t width, uint32_t height) {
  ExportState& state = GlobalExportState();
  EncSession_InitConfig(&state.config, width, height);
  state.containerChoice = ContainerChoice::kMpeg2Program;
  state.audioCodecChoice = AudioCodecChoice::kMpegLayer2;
}

int64_t DefaultFrameDuration(const TimeSuite* time, double fps) {
  if (time == nullptr) return 0;
  auto standard = [time](int32_t code) {
    int64_t ticks = 0;
    time->GetTicksPerVideoFrame(code, &ticks);
    return ticks;
  };
  // The thresholds are single-precision constants compared as doubles.
  auto f = [](float v) { return static_cast<double>(v); };
  if ((fps > f(29.97f) && fps < f(29.98f)) || fps < f(0.1f) || fps > f(60.0f)) {
    return standard(kRate2997);
  }
  if (fps > f(23.97f) && fps < f(23.98f)) return standard(kRate23976);
  if (fps > f(59.94f) && fps < f(59.95f)) return standard(kRate5994);
  int64_t whole = static_cast<int64_t>(fps);
  // A rate below one frame per second has no whole number to divide by.
  if (whole == 0) return standard(kRate2997);
  int64_t ticksPerSecond = 0;
  time->GetTicksPerSecond(&ticksPerSecond);
  return ticksPerSecond / whole;
}

int32_t Exporter_GenerateDefaultParams(StandardParameters* /*standard*/, ParamsRecord* record) {
  const uint32_t id = record->exporterId;
  const uint32_t fileType = record->fileType;
  ExporterInstance* instance = InstanceOf(record->privateData);
  if (instance == nullptr) return 0;
  ExportState& state = GlobalExportState();

  SequenceCapture seq = CaptureSequence(instance->infoSuite, id);
  uint32_t width = seq.width == 0 ? 1440 : seq.width;
  uint32_t height = seq.height == 0 ? 1080 : seq.height;
  uint32_t show = ReadShowOnGui(kShowOnGuiDefault);
  if (!state.defaultsInitialised) {
    InitExportDefaults(width, height);
    state.defaultsInitialised = true;
  }
  int64_t frameDuration = DefaultFrameDuration(instance->timeSuite, seq.frameRate);
  int64_t ticksPerSecond = 0;
  if (instance->timeSuite) instance->timeSuite->GetTicksPerSecond(&ticksPerSecond);

  const ExportParamSuite* suite = instance->paramSuite;
  if (suite == nullptr) return 0;
  int32_t multiGroup = 0;
  suite->AddMultiGroup(id, &multiGroup);
  ParamBuilder b(suite, id, multiGroup);
  const QVATengineConfig& config = state.config;
  const bool bluRay = IsBluRayFileType(fileType);
  const bool f4v = fileType == kFileTypeF4v;

  b.Group(ADBETopParamGroup, ADBEAudienceTabGroup, "Multiplexer");
  b.Group(ADBEAudienceTabGroup, ORXBasicMultiplexerGroup, "Basic Settings");
  b.Add(ORXBasicMultiplexerGroup, Param(ORXMultiplexerContainer, kParamInt)
                                      .Range(IntValue(0), IntValue(4))
                                      .Default(IntValue(ChoiceValue(DefaultContainer(fileType)))));
  b.Add(ORXBasicMultiplexerGroup, Param(ORXMuxHelpButton, kParamButton).ArbData(4));

  b.Group(ADBETopParamGroup, ADBEVideoTabGroup, "Top-level Video param group");
  b.Group(ADBEVideoTabGroup, ADBEBasicVideoGroup, "Basic Video Settings");
  b.Add(ADBEBasicVideoGroup, Param(ORXVideoCodec, kParamInt)
                                 .Range(IntValue(0), IntValue(0))
                                 .Default(IntValue(ChoiceValue(
                                     IsMpeg2FileType(fileType) ? VideoCodecChoice::kMpeg2 : VideoCodecChoice::kH264))));
  b.Add(ADBEBasicVideoGroup, Param(ORXQuality, kParamFloat)
                                 .Flags(1)
                                 .Range(FloatValue(1.0), FloatValue(5.0))
                                 .Default(FloatValue(4.0)));
  b.Add(ADBEBasicVideoGroup, Param(ORXTVStandard, kParamInt)
                                 .Range(IntValue(0), IntValue(0))
                                 .Default(IntValue(0))
                                 .Hidden(f4v));
  b.Add(ADBEBasicVideoGroup,
        Param(ORXVideoDimension, kParamInt).Range(IntValue(1), IntValue(4)).Default(IntValue(1)));
  b.Add(ADBEBasicVideoGroup, Param(ADBEVideoWidth, kParamInt)
                                 .Range(IntValue(320), IntValue(1920))
                                 .Default(IntValue(static_cast<int32_t>(width))));
  b.Add(ADBEBasicVideoGroup, Param(ADBEVideoHeight, kParamInt)
                                 .Range(IntValue(240), IntValue(1080))
                                 .Default(IntValue(static_cast<int32_t>(height))));
  b.Add(ADBEBasicVideoGroup, Param(ADBEVideoFPS, kParamTime)
                                 .Range(TimeValue(1), TimeValue(ticksPerSecond))
                                 .Default(TimeValue(frameDuration)));
  bool standardSize = IsStandardDefinitionSize(width, height);
  b.Add(ADBEBasicVideoGroup, Param(ORXVideoAspect, kParamRatio)
                                 .Range(RatioValue(2, 1), RatioValue(40, 33))
                                 .Default(standardSize ? RatioValue(4, 3) : RatioValue(16, 9))
                                 .Hidden(f4v));

  double defaultMbps = ComputeDefaultBitrate(width, height, seq.frameRate);
  b.Group(ADBEVideoTabGroup, ORXAdvancedVideoGroup, "Advanced Settings");
  b.Add(ORXAdvancedVideoGroup,
        Param(ORXAverageBitrate, kParamFloat)
            .Flags(1)
            .Range(FloatValue(bluRay ? 0.25 : 250.0), FloatValue(bluRay ? 50.0 : 50000.0))
            .Default(FloatValue(bluRay ? defaultMbps : defaultMbps * 1000.0)));
  b.Add(ORXAdvancedVideoGroup,
        Param(ORXKeyframeSpacing, kParamInt)
            .Range(IntValue(1), IntValue(15))
            .Default(IntValue(static_cast<int32_t>(config.encoderParams.gopLength))));
  b.Add(ORXAdvancedVideoGroup,
        Param(ORXSubKeySpacing, kParamInt)
            .Range(IntValue(0), IntValue(3))
            .Default(IntValue(static_cast<int32_t>(config.encoderParams.anchorDistance))));
  b.Add(ORXAdvancedVideoGroup, Param(ORXScaler, kParamInt)
                                   .Range(IntValue(0), IntValue(1))
                                   .Default(IntValue(static_cast<int32_t>(state.scalingChoice))));
  b.Add(ORXAdvancedVideoGroup, Param(ORXVideoHelpButton, kParamButton).ArbData(4));

  b.Group(ADBETopParamGroup, ADBEAudioTabGroup, "Top-level Audio param group");
  b.Group(ADBEAudioTabGroup, ADBEAudioCodecGroup, "Audio Codec group");
  bool aac = fileType == kFileTypeH264 || f4v;
  b.Add(ADBEAudioCodecGroup, Param(ADBEAudioCodec, kParamInt)
                                 .Range(IntValue(0), IntValue(4))
                                 .Default(IntValue(ChoiceValue(aac ? AudioCodecChoice::kAac : AudioCodecChoice::kMpegLayer2))));
  b.Group(ADBEAudioTabGroup, ADBEBasicAudioGroup, "Basic Audio Settings");
  b.Add(ADBEBasicAudioGroup,
        Param(ADBEAudioRatePerSecond, kParamFloat).Default(FloatValue(seq.audioSampleRate)));
  b.Add(ADBEBasicAudioGroup, Param(ADBEAudioNumChannels, kParamInt)
                                 .Default(IntValue(config.sourceAudio.Channels)));
  b.Add(ADBEBasicAudioGroup,
        Param(ORXAudioSampleSize, kParamInt).Default(IntValue(16)).Hidden(aac));
  b.Add(ADBEBasicAudioGroup, Param(ORXAudioBitRate, kParamFloat)
                                 .Default(FloatValue(config.targetAudio.Bitrate))
                                 .Hidden(bluRay));
  b.Add(ADBEBasicAudioGroup, Param(ORXAudioHelpButton, kParamButton).ArbData(4));

  if ((show & kShowOptionGroup) != 0) {
    b.Group(ADBETopParamGroup, ORXOptions, "Options");
    b.Group(ORXOptions, Settings, "ORX Settings");
    b.Add(Settings, Param(ORXLogFile, kParamString)
                        .Default(TextValue(kDefaultLogFile))
                        .Hidden(!(show & kShowLogFile))
                        .Disabled(!(show & kEnableLogFile)));
    b.Add(Settings, Param(ORXNumEncoders, kParamInt)
                        .Range(IntValue(1), IntValue(7))
                        .Default(IntValue(static_cast<int32_t>(config.encoderParams.encoderCount)))
                        .Hidden(!(show & kShowEncoderCount))
                        .Disabled(!(show & kEnableEncoderCount)));
    int32_t maxGpus = static_cast<int32_t>(state.processorCount > 4 ? 4 : state.processorCount);
    b.Add(Settings, Param(ORXNumGPUs, kParamInt)
                        .Range(IntValue(0), IntValue(maxGpus))
                        .Default(IntValue(static_cast<int32_t>(state.gpuCount)))
                        .Hidden(!(show & kShowGpuCount))
                        .Disabled(!(show & kEnableGpuCount)));
  }
  suite->SetParamsVersion(id, 1);
  return 0;
}

void PackRows(const uint8_t* source, uint8_t* destination, int32_t stride, int32_t width,
              int32_t bytesPerPixel, int32_t rows) {
  int64_t rowBytes = static_cast<int64_t>(width) * bytesPerPixel;
  if (rowBytes >= stride || rows <= 0 || rowBytes <= 0) return;
  for (int32_t r = 0; r < rows; ++r) {
    std::memcpy(destination + r * rowBytes, source + static_cast<int64_t>(r) * stride,
                static_cast<size_t>(rowBytes));
  }
}

namespace {

void Put32(uint8_t* out, int offset, uint32_t v) {
  for (int i = 0; i < 4; ++i) out[offset + i] = static_cast<uint8_t>(v >> (8 * i));
}

void Put64(uint8_t* out, int offset, uint64_t v) {
  for (int i = 0; i < 8; ++i) out[offset + i] = static_cast<uint8_t>(v >> (8 * i));
}

uint64_t DoubleBits(double d) {
  uint64_t bits;
  std::memcpy(&bits, &d, sizeof(bits));
  return bits;
}

}  // namespace

void SerializeInstanceSettings(const ExporterInstance& in, uint8_t* out) {
  // Offsets of the 32-bit layout: 8-byte fields on 8-byte boundaries, everything after the
  // last copy up to the suite pointers written as zeros.
  std::memset(out, 0, kInstanceSettingsBytes);
  std::memcpy(out, in.tag, sizeof(in.tag));
  Put32(out, 16, in.audioExported);
  Put32(out, 20, in.videoExported);
  Put32(out, 24, in.audioCodec);
  Put32(out, 28, in.videoCodec);
  Put32(out, 32, static_cast<uint32_t>(in.qualityIndex));
  Put32(out, 36, in.tvStandard);
  Put32(out, 40, in.width);
  Put32(out, 44, in.height);
  Put32(out, 48, in.frameRateNum);
  Put64(out, 56, static_cast<uint64_t>(in.frameTicks));
  Put64(out, 64, DoubleBits(in.averageKbps));
  Put32(out, 72, in.frameRateDen);
  Put32(out, 76, in.fieldType);
  Put32(out, 80, in.pixelAspectNum);
  Put32(out, 84, in.pixelAspectDen);
  Put32(out, 88, in.displayAspectNum);
  Put32(out, 92, in.displayAspectDen);
  Put32(out, 96, in.keyframeSpacing);
  Put32(out, 100, in.subkeySpacing);
  Put32(out, 104, in.scaler);
  Put32(out, 108, in.encoderCount);
  Put32(out, 112, in.gpuCount);
  for (int i = 0; i < 256; ++i) {
    out[116 + 2 * i] = static_cast<uint8_t>(in.logFileName[i]);
    out[117 + 2 * i] = static_cast<uint8_t>(in.logFileName[i] >> 8);
  }
  Put32(out, 628, in.audioChannelType);
  Put64(out, 632, DoubleBits(in.audioSampleRate));
  Put32(out, 640, in.audioBitRate);
}

int32_t WriteInstanceSettings(ExportRecord* record) {
  ExporterInstance* instance = InstanceOf(record->privateData);
  if (instance == nullptr || instance->width == 0 || instance->height == 0) return 6;
  uint8_t bytes[kInstanceSettingsBytes];
  SerializeInstanceSettings(*instance, bytes);
  if (instance->fileSuite) {
    instance->fileSuite->Write(record->fileObject, bytes, kInstanceSettingsBytes);
  }
  return 0;
}

}  // namespace orx::plugin
