// The target graph of the transcode engine: which components a target stream type needs, their
// aliases, links, the sink on the last component, and the result rules.
#include <algorithm>
#include <cstring>

#include "engine/catalogue/component_calls.h"
#include "engine/graph/component_graph.h"
#include "engine/catalogue/component_loader.h"
#include "engine/multivenc/multivenc.h"
#include "engine/transcode/tengine_record.h"
#include "media/media_codes.h"
#include "media/media_params.h"

namespace {

constexpr uint32_t kTrace = ENGINEDEBUG_FLAG_TRACE;
constexpr uint32_t kDefaultSinkSize = 16384;
constexpr uint32_t kRawOutputDefaultSize = 0x20000;
constexpr uint32_t kWriterBufferFlags = 0x300;

// What step 2 of the target set-up created.
struct TargetComponents {
  ComponentInstance* mux = nullptr;
  ComponentInstance* audio = nullptr;   // audio encoder or audio renderer
  ComponentInstance* video = nullptr;   // video encoder or video renderer
  ComponentInstance* scaler = nullptr;
  ComponentInstance* writer = nullptr;
  bool rawOutput = false;
  bool videoRenderer = false;
  const char* muxVideoAlias = nullptr;  // "vtarget[0]" when the multiplexer takes encoded video
  const char* muxAudioAlias = nullptr;  // "atarget[1]" when PCM goes straight into it
};

bool IsAudioEncoderSubtype(uint32_t subtype) {
  return (subtype >= QVA_MSUBTYPE_MPA && subtype <= QVA_MSUBTYPE_MPA3) || subtype == QVA_MSUBTYPE_WMA ||
         subtype == QVA_MSUBTYPE_AAC;
}

bool IsVideoEncoderSubtype(uint32_t subtype) {
  switch (subtype) {
    case QVA_MSUBTYPE_MPV:
    case QVA_MSUBTYPE_MPV2:
    case QVA_MSUBTYPE_MPV4:
    case QVA_MSUBTYPE_H264:
    case QVA_MSUBTYPE_WMV:
    case QVA_MSUBTYPE_WMV9:
    case QVA_MSUBTYPE_VC1:
      return true;
    default:
      return false;
  }
}

bool IsRawVideoSubtype(uint32_t subtype) {
  return subtype == QVA_MSUBTYPE_YUV || subtype == QVA_MSUBTYPE_YUV420 || subtype == QVA_MSUBTYPE_YUV422I ||
         subtype == QVA_MSUBTYPE_NV12;
}

ComponentInstance* Create(const char* name) { return CompCreateByName(name, 0, 0); }

ComponentInstance* CreateVideoEncoder(const QVATengineConfig& config) {
  const bool multi = (config.encoderParams.engineFlags & VEP_ENGINE_MULTI_INSTANCE) != 0 ||
                     (config.encoderParams.optionFlags & VEP_OPT_MULTIVENC) != 0;
  if (!multi) return Create("qvavenc");
  // The built-in entry goes with its last instance, so it is registered again before each use.
  MultiVEnc_Register();
  return Create("MULTIVENC");
}

void CreateMuxTargets(const QVATengineConfig& config, uint32_t majorType, TargetComponents& t) {
  t.mux = Create("qvacmux");
  if (config.videoEnabled) {
    if (config.transcodeFlags & QVA_TFLAG_ENCODED_VIDEO) t.muxVideoAlias = "vtarget[0]";
    else if (config.targetVideo.subtype != 0) t.video = CreateVideoEncoder(config);
  }
  const uint32_t audioSubtype = config.targetAudio.subtype;
  if (config.audioEnabled && audioSubtype != 0) {
    const bool pcmIntoMux = audioSubtype == QVA_MSUBTYPE_PCM &&
                            (majorType == QVA_MTYPE_MPEG2_PS || majorType == QVA_MTYPE_MPEG2_TS);
    if (pcmIntoMux) t.muxAudioAlias = "atarget[1]";
    else t.audio = Create("qvaaenc");
  }
}

// Step 2 of QVATengine_OpenTargetFile, the target set-up: the components of the target stream
// type.
TargetComponents CreateTargetComponents(const QVATengineConfig& config, const StreamMediaType& target) {
  TargetComponents t;
  const uint32_t subtype = target.subtype;
  const bool rawVideoTarget = (config.targetVideo.subtype & QVA_MSUBTYPE_YUV_FAMILY) != 0;
  switch (target.MType) {
    case QVA_MTYPE_AUDIO:
      if (IsAudioEncoderSubtype(subtype)) t.audio = Create("qvaaenc");
      else if (subtype == QVA_MSUBTYPE_PCM || subtype == QVA_MTYPE_FILEOUTPUT) t.writer = Create("filewriter");
      else if (subtype == QVA_MTYPE_PREVIEW) t.audio = Create("audrend");
      break;
    case QVA_MTYPE_WAV:
      t.writer = Create("wavwriter");
      break;
    case QVA_MTYPE_VIDEO:
      if (IsRawVideoSubtype(subtype) || rawVideoTarget) {
        t.writer = Create("filewriter");
        t.rawOutput = true;
      } else if (IsVideoEncoderSubtype(subtype)) {
        t.video = CreateVideoEncoder(config);
      } else if (subtype == QVA_MTYPE_FILEOUTPUT) {
        t.writer = Create("filewriter");
      } else if (subtype == QVA_MTYPE_PREVIEW) {
        t.video = Create("vidrend");
        t.videoRenderer = true;
      }
      break;
    case QVA_MTYPE_PREVIEW:
      t.audio = Create("audrend");
      t.video = Create("vidrend");
      t.videoRenderer = true;
      break;
    case QVA_MTYPE_MPEG2_PS:
    case QVA_MTYPE_MPEG2_TS:
    case QVA_MTYPE_ASF:
    case QVA_MTYPE_MP4:
      CreateMuxTargets(config, target.MType, t);
      break;
    default:
      break;
  }
  return t;
}

uint32_t Align16(uint32_t value) { return (value + 15) & ~15u; }

// Step 3 of the target set-up: the writer's input buffers for raw output; answers the wanted
// output buffer size.
uint32_t ConfigureRawOutput(QVATengine* engine, ComponentInstance* writer) {
  QVATengineConfig& config = engine->config;
  uint32_t size = kRawOutputDefaultSize;
  if (config.targetVideo.subtype & QVA_MSUBTYPE_YUV_FAMILY) {
    VideoMediaType& source = config.sourceVideo;
    source.secondWidth = std::max({source.secondWidth, engine->sourceVideo.width, engine->sourceVideo.secondWidth});
    source.secondHeight =
        std::max({source.secondHeight, engine->sourceVideo.height, engine->sourceVideo.secondHeight});
    uint32_t width = source.secondWidth;
    uint32_t height = source.secondHeight;
    if (width == 0 || height == 0) {
      width = 1920;
      height = 1088;
    }
    size = Align16(width) * Align16(height) * 3 / 2;
  }
  PinBufferConfig buffers{};
  buffers.flags = kWriterBufferFlags;
  buffers.pinIndex = 0;
  buffers.bufferCount = 1;
  buffers.bufferSize = size;
  comp::SetParam(writer, QVA_PARAM_BUFFERS, &buffers, sizeof buffers);
  return size;
}

// The scaler goes in front of the encoder when the sizes the host renders and the export asks
// for differ in either direction (a width-only test would encode a 720x480 sequence exported at
// 720x576 at 720x480).
bool NeedsScaler(const QVATengine* engine, const TargetComponents& t) {
  const VideoMediaType& source = engine->config.sourceVideo;
  const VideoMediaType& target = engine->config.targetVideo;
  if (engine->sourceGraph != nullptr || t.video == nullptr) return false;
  if (target.secondWidth == 0 || source.secondWidth == 0) return false;
  return target.secondWidth != source.secondWidth || target.secondHeight != source.secondHeight;
}

// A failed link takes its upstream component out of the graph and unloads it, so neither the
// instance nor its library stays behind.
void DropComponent(QVAHandle graph, ComponentInstance*& component) {
  QVAgraph_RemoveComp(graph, component);
  CompUnload(component);
  component = nullptr;
}

bool Link(QVAHandle graph, ComponentInstance*& up, ComponentInstance* down, uint32_t inPin, uint32_t* count) {
  if (up == nullptr || down == nullptr) return false;
  if (QVAgraph_ConnectPins(graph, up, 0, down, inPin, nullptr) == QVA_SUCCESS) {
    ++*count;
    return true;
  }
  DropComponent(graph, up);
  return false;
}

// Step 7 of the target set-up, without a writer: the engine's sink on the last component's
// output pin, and the lent buffer's data area.
bool ConnectSink(QVATengine* engine, ComponentInstance* last) {
  if (comp::ConnectOutput(last, 0, tengine_GetOutputBuffer, tengine_DeliverOutput, nullptr) != QVA_SUCCESS) {
    return false;
  }
  const uint32_t wanted = engine->outputBufferSizeWanted != 0 ? engine->outputBufferSizeWanted : kDefaultSinkSize;
  if (engine->lentData != nullptr && engine->lentCapacity < wanted) {
    QVAFree(engine->lentData);
    engine->lentData = nullptr;
    engine->lentCapacity = 0;
  }
  if (engine->lentData == nullptr) {
    engine->lentData = static_cast<uint8_t*>(QVAMalloc(wanted));
    engine->lentCapacity = engine->lentData != nullptr ? wanted : 0;
  }
  return engine->lentData != nullptr;
}

}  // namespace

QVAStatus QVATengine_OpenTargetFile(QVAHandle handle, const char* fileName, uint32_t mode,
                                    const StreamMediaType* target) {
  QVATengine* engine = TengineFromHandle(handle);
  if (engine == nullptr) return QVA_ERR_BADHANDLE;
  if (target == nullptr) return QVA_ERR_BADARG;
  TENGINE_TRACE(engine, kTrace, "QVATengine_OpenTargetFile() enter\n");
  TengineStampActivity(engine);
  if (engine->targetGraph == nullptr) QVAgraph_Create(&engine->targetGraph);
  QVAHandle graph = engine->targetGraph;
  engine->targetStream = *target;
  QVATengineConfig& config = engine->config;

  TargetComponents t = CreateTargetComponents(config, *target);
  if (fileName != nullptr && t.writer == nullptr) t.writer = Create("filewriter");
  if (t.writer != nullptr) QVAgraph_AddComp(graph, t.writer, "output");
  if (t.rawOutput && t.writer != nullptr) engine->outputBufferSizeWanted = ConfigureRawOutput(engine, t.writer);

  if (t.mux != nullptr) {
    tengine_ApplyMuxConfig(handle, t.mux);
    QVAgraph_AddComp(graph, t.mux, "mux");
    if (t.muxVideoAlias != nullptr) QVAgraph_AddComp(graph, t.mux, t.muxVideoAlias);
    if (t.muxAudioAlias != nullptr) QVAgraph_AddComp(graph, t.mux, t.muxAudioAlias);
  }
  if (t.audio != nullptr) QVAgraph_AddComp(graph, t.audio, "atarget");
  if (t.audio != nullptr && t.mux == nullptr && target->MType == QVA_MTYPE_AUDIO &&
      IsAudioEncoderSubtype(target->subtype)) {
    // The audio encoder writes the target's file itself: an elementary file, whose AAC frames
    // need ADTS headers for players to open it. Into a multiplexer they stay raw.
    uint32_t adts = 1;
    comp::SetParam(t.audio, QVA_PARAM_AUDIOENCODER_ADTS, &adts, sizeof adts);
  }
  if (NeedsScaler(engine, t)) {
    t.scaler = Create("qvavscaler");
    if (t.scaler != nullptr) {
      QVAgraph_AddComp(graph, t.scaler, "vtarget");
      QVAgraph_AddComp(graph, t.scaler, "vpreproc");
    }
  }
  if (t.video != nullptr) QVAgraph_AddComp(graph, t.video, t.scaler != nullptr ? "vencoder" : "vtarget");

  QVAStatus openStatus = QVA_SUCCESS;
  const bool noOutputFile = (config.transcodeFlags & QVA_TFLAG_NO_OUTPUT_FILE) != 0;
  if (t.writer != nullptr) {
    if (noOutputFile) comp::SetParam(t.writer, QVA_PARAM_NO_OUTPUT_FILE, nullptr, 4);
    else openStatus = comp::OpenURL(t.writer, fileName, mode, &engine->targetStream);
  }
  if (t.videoRenderer && t.video != nullptr && noOutputFile) {
    comp::SetParam(t.video, QVA_PARAM_NO_OUTPUT_FILE, nullptr, 4);
  }

  uint32_t connected = 0;
  Link(graph, t.video, t.mux, 0, &connected);
  Link(graph, t.audio, t.mux, 1, &connected);
  Link(graph, t.scaler, t.video, 0, &connected);

  ComponentInstance* last = t.mux != nullptr ? t.mux : t.video != nullptr ? t.video : t.audio;
  bool sinkFailed = false;
  if (t.writer != nullptr) {
    if (last == nullptr || QVAgraph_ConnectPins(graph, last, 0, t.writer, 0, nullptr) != QVA_SUCCESS) connected = 0;
    else ++connected;
  } else if (engine->write != nullptr || engine->targetWord != 0) {
    if (last != nullptr && ConnectSink(engine, last)) ++connected;
    else sinkFailed = last != nullptr;
  }
  engine->outputComponent = t.writer != nullptr ? t.writer : last;

  QVAStatus result;
  const bool anyAudioOrVideo = t.audio != nullptr || t.video != nullptr;
  if (t.rawOutput) {
    result = QVA_SUCCESS;
  } else if (!anyAudioOrVideo && !(config.transcodeFlags & (QVA_TFLAG_ENCODED_VIDEO | QVA_TFLAG_ACCEPT_EMPTY_TARGET))) {
    result = QVA_ERR_FORMAT;
  } else if (sinkFailed) {
    // A sink was asked for but could not be connected: nothing would ever be written.
    result = QVA_ERR_CONNECT;
  } else if (fileName == nullptr && t.mux == nullptr && (t.audio != nullptr) != (t.video != nullptr)) {
    result = QVA_SUCCESS;
  } else if (openStatus != QVA_SUCCESS) {
    result = openStatus;
  } else {
    result = connected > 0 ? QVA_SUCCESS : QVA_ERR_CONNECT;
  }
  if (result == QVA_SUCCESS) {
    engine->videoEnded = 0;
    engine->audioEnded = 0;
  }
  TENGINE_TRACE(engine, kTrace, "QVATengine_OpenTargetFile() done: Connected=%d Result=0x%08X\n",
                static_cast<int>(connected), result);
  return result;
}
