// The transcode engine's creation, configuration and sources, the process global and the
// configuration loader's refusal of anything but a playback engine.
#include <atomic>
#include <cstring>
#include <new>
#include <string>

#include "engine/graph/component_graph.h"
#include "engine/text/engine_strings.h"
#include "engine/multivenc/multivenc.h"
#include "engine/transcode/tengine_record.h"
#include "media/media_codes.h"
#include "media/media_type_names.h"

namespace {

constexpr uint32_t kTrace = ENGINEDEBUG_FLAG_TRACE;
std::atomic<QVAHandle> g_engineHandle{nullptr};

constexpr char kDefaultLogName[] = "\\adobepelkor.log";
constexpr char kDefaultConfigFile[] = "\\qvatengine.cfg";

void SetConfigDefaults(QVATengineConfig& config) {
  config.videoEnabled = 1;
  config.audioEnabled = 1;
  config.estimateBitrate = 0;
  config.scalingMode = 1;
  StrCopyN(config.logFilePath, kDefaultLogName, sizeof config.logFilePath - 1);
  config.encoderParams.engineFlags = VEP_ENGINE_MULTI_INSTANCE;
  config.encoderParams.encoderCount = 1;
}

}  // namespace

QVATengine* TengineFromHandle(QVAHandle handle) {
  return static_cast<QVATengine*>(QVAGetTypedHandle(handle, QVA_HANDLE_TENGINE));
}

QVAHandle TengineGlobalHandle() { return g_engineHandle.load(); }
void TengineSetGlobalHandle(QVAHandle handle) { g_engineHandle.store(handle); }

void TengineStampActivity(QVATengine* engine) { engine->lastActivity.store(QVAGetTime()); }

QVAStatus QVAengine_LoadConfig(QVAHandle engine, const char* path) {
  if (QVAGetTypedHandle(engine, QVA_HANDLE_PLAYBACK_ENGINE) == nullptr) return QVA_ERR_BADHANDLE;
  if (path == nullptr) return QVA_ERR_BADARG;
  // Reading configuration files belongs to the playback engine, which no caller creates yet.
  return QVA_ERR_UNSUPPORTED;
}

QVAStatus QVATengine_Create(QVAHandle* outHandle) {
  QVAengine_Trace(nullptr, kTrace, "QVATengine_Create() enter\n");
  if (outHandle == nullptr) return QVA_ERR_BADARG;
  QVAHandle handle = QVAAllocHandle(QVA_HANDLE_TENGINE, nullptr, sizeof(QVATengine));
  if (handle == nullptr) return QVA_ERR_NOMEMORY;
  auto* engine = new (QVAHandleData(handle, nullptr)) QVATengine{};
  engine->handle = handle;
  engine->videoTag = {handle, 0};
  engine->audioTag = {handle, 1};
  engine->trace.creationTime = QVAGetTime();
  engine->lastActivity = engine->trace.creationTime;
  engine->videoEnded = 1;
  engine->audioEnded = 1;
  SetConfigDefaults(engine->config);
  engine->sourceStream.size = sizeof(StreamMediaType);
  engine->sourceAudio.size = sizeof(AudioMediaType);
  engine->sourceVideo.size = sizeof(VideoMediaType);

  TENGINE_TRACE(engine, kTrace, "QVATengine_Create() load default config file\n");
  QVAengine_LoadConfig(handle, kDefaultConfigFile);  // refused: only playback engines read files
  MultiVEnc_Register();

  engine->initialised = 1;
  TENGINE_TRACE(engine, kTrace, "QVATengine_Create() handle initialized\n");
  *outHandle = handle;
  TengineSetGlobalHandle(handle);
  TENGINE_TRACE(engine, kTrace, "QVATengine_Create() done: eResult=0x%08X\n", QVA_SUCCESS);
  return QVA_SUCCESS;
}

QVAStatus QVATengine_SetConfig(QVAHandle handle, const QVATengineConfig* config) {
  QVATengine* engine = TengineFromHandle(handle);
  if (engine == nullptr) return QVA_ERR_BADHANDLE;
  if (config == nullptr) return QVA_ERR_BADARG;
  TENGINE_TRACE(engine, kTrace, "QVATengine_SetConfig() enter\n");
  std::memcpy(&engine->config, config, sizeof engine->config);
  engine->configSet = 1;
  TengineStampActivity(engine);
  TENGINE_TRACE(engine, kTrace, "QVATengine_SetConfig() done: 0x%08X\n", QVA_SUCCESS);
  return QVA_SUCCESS;
}

QVAStatus QVATengine_GetConfig(QVAHandle handle, QVATengineConfig* config) {
  QVATengine* engine = TengineFromHandle(handle);
  if (engine == nullptr) return QVA_ERR_BADHANDLE;
  if (config == nullptr) return QVA_ERR_BADARG;
  std::memcpy(config, &engine->config, sizeof engine->config);
  return QVA_SUCCESS;
}

QVAStatus QVATengine_OpenVideoSource(QVAHandle handle, const VideoMediaType* format, QVATengineReleaseFn callback,
                                     void* context) {
  QVATengine* engine = TengineFromHandle(handle);
  if (engine == nullptr) return QVA_ERR_BADHANDLE;
  TENGINE_TRACE(engine, kTrace, "QVATengine_OpenVideoSource() enter\n");
  VideoMediaType& source = engine->config.sourceVideo;
  if (engine->videoSourceOpened && format != nullptr &&
      (format->MType != source.MType || format->subtype != source.subtype)) {
    TENGINE_TRACE(engine, kTrace, "QVATengine_OpenVideoSource() new format: subtype=0x%X\n", format->subtype);
    const VideoMediaType previous = source;
    source = *format;
    ComponentInstance* vtarget = nullptr;
    ComponentInstance* vpreproc = nullptr;
    ComponentInstance* vencoder = nullptr;
    uint32_t pin = 0, unused = 0;
    if (engine->targetGraph != nullptr) {
      QVAgraph_FindComp(engine->targetGraph, &vtarget, "vtarget", &pin);
      QVAgraph_FindComp(engine->targetGraph, &vpreproc, "vpreproc", &unused);
      QVAgraph_FindComp(engine->targetGraph, &vencoder, "vencoder", &unused);
    }
    QVAStatus applied = QVA_SUCCESS;
    if (vtarget != nullptr && vtarget == vpreproc && vencoder != nullptr) {
      // The scaler takes the source: the configuration goes to it and its encoder, as at the
      // run (given to the scaler as if it were the encoder, the encoder's target format would
      // become the scaler's output and the scaler would refuse the next frame).
      applied = tengine_ApplyVideoConfig(handle, vtarget, pin, vencoder);
    } else if (vtarget != nullptr) {
      applied = tengine_ApplyVideoConfig(handle, nullptr, pin, vtarget);
    }
    if (applied != QVA_SUCCESS) {
      // The graph never got the new format: the source stays as it was, so the caller's next
      // open tries again, and the failure is answered.
      source = previous;
      TENGINE_TRACE(engine, kTrace, "QVATengine_OpenVideoSource() done: 0x%08X\n", applied);
      return applied;
    }
  }
  // Opened again while frames are released (a format switch mid-export): the release callback
  // and its context are read by the releasing threads, so they are written only when they change.
  engine->videoSourceOpened = 1;
  if (engine->videoRelease != callback) engine->videoRelease = callback;
  if (engine->sourceContext != context) engine->sourceContext = context;
  TengineStampActivity(engine);
  TENGINE_TRACE(engine, kTrace, "QVATengine_OpenVideoSource() done: 0x%08X\n", QVA_SUCCESS);
  return QVA_SUCCESS;
}

QVAStatus QVATengine_OpenAudioSource(QVAHandle handle, const AudioMediaType*, QVATengineReleaseFn callback,
                                     void* context) {
  QVATengine* engine = TengineFromHandle(handle);
  if (engine == nullptr) return QVA_ERR_BADHANDLE;
  TENGINE_TRACE(engine, kTrace, "QVATengine_OpenAudioSource() enter\n");
  // The configuration's source audio format is the one used; the record is not read.
  engine->audioSourceOpened = 1;
  engine->audioRelease = callback;
  engine->sourceContext = context;
  TengineStampActivity(engine);
  TENGINE_TRACE(engine, kTrace, "QVATengine_OpenAudioSource() done: 0x%08X\n", QVA_SUCCESS);
  return QVA_SUCCESS;
}

QVAStatus QVATengine_OpenTarget(QVAHandle handle, const StreamMediaType* target, uint32_t targetWord,
                                QVATengineWriteFn writeCallback, void* writeContext, void* writeExtra,
                                uint32_t /*reserved*/) {
  QVATengine* engine = TengineFromHandle(handle);
  if (engine == nullptr) return QVA_ERR_BADHANDLE;
  TENGINE_TRACE(engine, kTrace, "QVATengine_OpenTarget() enter\n");
  engine->targetWord = targetWord;
  engine->write = writeCallback;
  engine->writeContext = writeContext;
  engine->writeExtra = writeExtra;
  engine->targetOpened = 1;
  const QVAStatus status = QVATengine_OpenTargetFile(handle, nullptr, 0, target);
  if (engine->targetGraph == nullptr) QVAgraph_Create(&engine->targetGraph);
  TengineStampActivity(engine);
  TENGINE_TRACE(engine, kTrace, "QVATengine_OpenTarget() done: 0x%08X\n", status);
  return status;
}

QVAStatus QVATengine_GetFormats(QVAHandle handle, StreamMediaType* outStream, AudioMediaType* outAudio,
                                VideoMediaType* outVideo) {
  QVATengine* engine = TengineFromHandle(handle);
  if (engine == nullptr) return QVA_ERR_BADHANDLE;
  if (outStream != nullptr) *outStream = engine->sourceStream;
  if (outAudio != nullptr) *outAudio = engine->sourceAudio;
  if (outVideo != nullptr) *outVideo = engine->sourceVideo;
  return QVA_SUCCESS;
}

QVAStatus tengine_MediaTypeName(uint32_t majorType, uint32_t subtype, char* out, uint32_t outSize) {
  if (out == nullptr || outSize == 0) return QVA_ERR_BADARG;
  std::string text;
  if (majorType != 0) text = QVALookupText(StreamTypeNames, majorType);
  if (majorType != 0 && subtype != 0) text += "/";
  if (subtype != 0) text += QVALookupText(SubtypeShortNames, subtype);
  StrCopyN(out, text.c_str(), outSize - 1);
  return QVA_SUCCESS;
}
