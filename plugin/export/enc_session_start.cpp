// The start of an export pass: the pass record, the mapping of the exporter's choices to the
// engine's media types, and the engine's set-up.
#include <cstdio>
#include <cstdlib>

#include "engine/transcode/tengine.h"
#include "media/media_codes.h"
#include "platform/debug_output.h"
#include "plugin/export/enc_session.h"
#include "plugin/export/enc_session_targets.h"
#include "plugin/params/export_session_config.h"
#include "plugin/params/export_state.h"
#include "plugin/params/exporter_instance.h"
#include "plugin/properties/plugin_log_file.h"
#include "plugin/export/tengine_calls.h"

namespace orx::plugin {
namespace {

EncSessionState g_session;


void ResetSession(EncSessionState& s) {
  s.engine = nullptr;
  s.framesRequested = s.framesCompleted = s.framesDelivered = 0;
  s.framesInFlight = 0;
  s.lastPixelFormat = 0;
  s.instance = nullptr;
  s.fileObject = 0;
  s.ticksPerSecond = 0;
  s.videoState = kVideoOff;
  s.audioState = kAudioStopped;
  s.audioPosition = 0;
  s.channelBuffers[0] = s.channelBuffers[1] = nullptr;
  s.interleaveBuffer = nullptr;
  s.sinkEnded = false;
  s.abortDelivery = false;
  s.writeFailed = false;
  s.unmappedFrames = 0;
  s.abandonedFrames = 0;
  s.startFailure = QVA_SUCCESS;
  s.endMarkersSent = 0;
  s.endWaitStatus = QVA_SUCCESS;
  s.videoEndGiven = false;
  s.outputEndedEarly = false;
  s.lastOutputMs = 0;
  s.outputNeverEnded = false;
  s.basicSuite = nullptr;
}

uint32_t KeptAudioBitRate(uint32_t rate) {
  return (rate == 96000 || rate == 128000 || rate == 192000) ? rate : 128000;
}

void* AllocateAudioBuffer(const host_sdk::BasicSuite* basic) {
  void* block = nullptr;
  if (basic == nullptr || basic->AllocateBlock(kAudioBufferBytes, &block) != 0) return nullptr;
  return block;
}

}  // namespace

EncSessionState& Session() { return g_session; }

uint32_t GetFrameBytesForSubtype(uint32_t w, uint32_t subtype, uint32_t h) {
  uint64_t pixels = static_cast<uint64_t>(w) * h;
  switch (subtype) {
    case QVA_MSUBTYPE_YUV420:
      return static_cast<uint32_t>(pixels * 3 / 2);
    case QVA_MSUBTYPE_YUV422I:
      return static_cast<uint32_t>(pixels * 2);
    case QVA_MSUBTYPE_BGRA:
    case QVA_MSUBTYPE_YUV444I:
      return static_cast<uint32_t>(pixels * 4);
    case QVA_MSUBTYPE_VUYA_FLOAT:
      return static_cast<uint32_t>(pixels * 32);
    default:
      return 0;
  }
}

int32_t EncSession_Start(host_sdk::ExportRecord* record, host_sdk::StandardParameters* standard,
                         const host_sdk::SequenceRenderSuite* render) {
  ExportState& state = GlobalExportState();
  QVATengineConfig& config = state.config;
  EncSessionState& s = Session();
  ExporterInstance* instance = InstanceOf(record->privateData);

  LogFile_Open(&config);
  ResetSession(s);
  s.basicSuite = BasicSuiteOf(standard);
  if (instance->timeSuite != nullptr) instance->timeSuite->GetTicksPerSecond(&s.ticksPerSecond);

  uint32_t frameRate = 30000;
  if (instance->frameRateDen != 0) {
    int64_t scale = instance->frameRateDen == 1 ? 1000 : 1000000;
    frameRate = static_cast<uint32_t>(scale * static_cast<int64_t>(instance->frameRateNum) /
                                      static_cast<int64_t>(instance->frameRateDen));
  }
  s.instance = instance;
  s.fileObject = record->fileObject;
  s.frameSlots.Reset(kFrameSlotCount);

  const TengineCalls& engine = Tengine();
  if (engine.Create(&s.engine) != 0) {
    s.engine = nullptr;
    return host_sdk::kResultEngineNotCreated;
  }
  EncSession_SetFrameSize(&config, instance->width, instance->height);

  VideoMediaType& target = config.targetVideo;
  if (config.videoEnabled) {
    target.MType = QVA_MTYPE_VIDEO;
    target.subtype = VideoSubtypeForChoice(state.videoCodecChoice);
  } else {
    target.MType = QVA_MTYPE_NONE;
  }
  config.sourceVideo.FrameRate = target.FrameRate = frameRate;
  if (instance->averageKbps != 0.0) {
    target.BitrateAverage = target.BitrateMax =
        static_cast<uint32_t>(instance->averageKbps * 1000.0);
  }

  VideoEncoderParams& vep = config.encoderParams;
  vep.displayAspectX = instance->displayAspectNum;
  vep.displayAspectY = instance->displayAspectDen;
  if (vep.anchorDistance > vep.gopLength) vep.anchorDistance = vep.gopLength;
  if ((target.subtype & QVA_MSUBTYPE_WM_FAMILY) && vep.anchorDistance >= 2) vep.anchorDistance = 1;

  VideoMediaType& source = config.sourceVideo;
  if (source.subtype == 0) {
    source.MType = QVA_MTYPE_VIDEO;
    source.subtype = QVA_MSUBTYPE_YUV444I;
  }
  if (state.scalingChoice != 0 && state.sequence.width != 0 && state.sequence.height != 0) {
    source.width = source.secondWidth = state.sequence.width;
    source.height = source.secondHeight = state.sequence.height;
  }

  if (record->exportAudio) {
    AudioMediaType& in = config.sourceAudio;
    AudioMediaType& out = config.targetAudio;
    in.BitsPerSample = 16;
    in.SamplRate = static_cast<uint32_t>(instance->audioSampleRate);
    in.Channels = static_cast<uint16_t>(instance->audioChannelType);
    out.MType = QVA_MTYPE_AUDIO;
    out.subtype = AudioSubtypeForChoice(state.audioCodecChoice);
    out.Bitrate = KeptAudioBitRate(out.Bitrate);
    out.BitsPerSample = 16;
    out.SamplRate = in.SamplRate;
    out.Channels = in.Channels;
  }

  int32_t result = 0;
  if (record->exportVideo) {
    result = render->SetAsyncRenderCompletionProc(instance->videoRendererId,
                                                  &EncSession_OnFrameReady, record);
    s.videoState = kVideoRunning;
  }
  if (record->exportAudio) {
    s.channelBuffers[0] = static_cast<float*>(AllocateAudioBuffer(s.basicSuite));
    s.channelBuffers[1] = static_cast<float*>(AllocateAudioBuffer(s.basicSuite));
    s.interleaveBuffer = static_cast<int16_t*>(AllocateAudioBuffer(s.basicSuite));
    config.audioEnabled = 1;
    s.audioState = kAudioRunning;
    if (!s.channelBuffers[0] || !s.channelBuffers[1] || !s.interleaveBuffer) {
      s.startFailure = QVA_ERR_NOMEMORY;
    }
  } else {
    config.audioEnabled = 0;
  }

  // Every set-up call must succeed: a pass whose graph was not built would otherwise run, write
  // nothing and be taken for a finished export.
  auto check = [&s](QVAStatus status) {
    if (status != QVA_SUCCESS && s.startFailure == QVA_SUCCESS) {
      s.startFailure = status;
      char line[96];
      std::snprintf(line, sizeof line, "ORX Encoder: the engine's set-up failed (status %u)\n",
                    static_cast<unsigned>(status));
      platform::DebugOutput(line);
    }
  };
  check(engine.SetConfig(s.engine, &config));
  if (config.videoEnabled) {
    check(engine.OpenVideoSource(s.engine, &config.sourceVideo, &EncSession_OnBufferRelease,
                                 nullptr));
  }
  if (config.audioEnabled)
    check(engine.OpenAudioSource(s.engine, &config.sourceAudio, nullptr, nullptr));
  StreamMediaType stream =
      TargetStreamType(state.containerChoice, config.videoEnabled != 0, config.audioEnabled != 0,
                       config.targetVideo.subtype, config.targetAudio.subtype);
  check(engine.OpenTarget(s.engine, &stream, 0, &EncSession_OnOutput, nullptr, nullptr, 0));

  uint32_t level = config.statsLevel;
  if (level >= 2) {
    CompStatistics block{};
    block.size = sizeof block;
    block.statisticsLevel = level;
    block.historyLength = config.statsHistory;
    engine.Control(s.engine, QVA_TCONTROL_WATCHDOG | QVA_TCONTROL_TRACE | QVA_TCONTROL_STATS_SET, &block);
  } else if (level == 1) {
    engine.Control(s.engine, QVA_TCONTROL_WATCHDOG | QVA_TCONTROL_STATS_SET, nullptr);
  }
  if (s.startFailure == QVA_SUCCESS) check(engine.Run(s.engine, 0));
  platform::DebugOutput("Don't copy back");
  if (s.startFailure != QVA_SUCCESS) {
    // Nothing is requested or pumped into a graph that is not running.
    s.videoState = kVideoOff;
    s.audioState = kAudioStopped;
    return kResultExportFailed;
  }
  return result;
}

}  // namespace orx::plugin
