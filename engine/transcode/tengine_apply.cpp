// Formats and parameters the transcode engine pushes into the components of its graphs.
#include <cstdio>

#include "engine/catalogue/component_calls.h"
#include "engine/transcode/tengine_record.h"
#include "media/media_codes.h"
#include "media/media_params.h"
#include "platform/debug_output.h"

namespace {

constexpr uint32_t kTrace = ENGINEDEBUG_FLAG_TRACE;
// A format change of a running graph waits this long for room in a full input queue: dropped, it
// would leave the frames behind it read in the old layout.
constexpr uint32_t kRunningFormatPushWaitMs = 10000;

QVAStatus CheckConfigured(QVATengine* engine) {
  if (engine == nullptr) return QVA_ERR_BADHANDLE;
  return engine->configSet ? QVA_SUCCESS : QVA_ERR_CONFIG;
}

}  // namespace

QVAStatus tengine_ApplyVideoConfig(QVAHandle handle, ComponentInstance* scaler, uint32_t pin,
                                   ComponentInstance* encoder) {
  QVATengine* engine = TengineFromHandle(handle);
  if (const QVAStatus status = CheckConfigured(engine); status != QVA_SUCCESS) return status;
  TENGINE_TRACE(engine, kTrace, "tengine_ApplyVideoConfig() enter\n");
  QVATengineConfig& config = engine->config;
  const bool fileSource = engine->sourceGraph != nullptr;
  const VideoMediaType* encoderInput = &config.sourceVideo;
  if (!fileSource || scaler != nullptr) {
    if (scaler != nullptr) {
      VideoMediaType& working = engine->workingVideo;
      working = config.sourceVideo;
      if (working.subtype != QVA_MSUBTYPE_NV12) working.subtype = QVA_MSUBTYPE_YUV420;
      working.width = working.secondWidth = config.targetVideo.secondWidth;
      working.height = working.secondHeight = config.targetVideo.secondHeight;
      config.targetVideo.width = config.targetVideo.secondWidth;
      config.targetVideo.height = config.targetVideo.secondHeight;
      comp::SetFormat(scaler, 1, 0, &working);
      encoderInput = &working;
    }
    comp::SetFormat(encoder, 0, scaler != nullptr ? 0 : pin, encoderInput);
  }
  comp::SetFormat(encoder, 1, 0, &config.targetVideo);
  comp::SetParam(encoder, QVA_PARAM_VIDEOENCODER, &config.encoderParams, sizeof config.encoderParams);
  QVAStatus pushed = QVA_SUCCESS;
  if (!fileSource) {
    const uint32_t wait = engine->running ? kRunningFormatPushWaitMs : 0;
    if (scaler != nullptr) pushed = comp::PushRecord(scaler, pin, QVA_FORMATRECORD_VIDEO, config.sourceVideo, wait);
    const QVAStatus encoderPush =
        comp::PushRecord(encoder, scaler != nullptr ? 0 : pin, QVA_FORMATRECORD_VIDEO, *encoderInput, wait);
    // Behind a scaler the encoder's input format stays the working one: only the scaler's
    // record must arrive.
    if (scaler == nullptr) pushed = encoderPush;
  }
  comp::SetFormat(encoder, 1, 0, &config.targetVideo);
  // While the graph runs the frames behind the record depend on it: a record not taken is an
  // error the caller must see. At the run the answer stays 0, as the push may find no queue yet.
  return engine->running ? pushed : QVA_SUCCESS;
}

QVAStatus tengine_ApplyAudioConfig(QVAHandle handle, uint32_t pin, ComponentInstance* component) {
  QVATengine* engine = TengineFromHandle(handle);
  if (const QVAStatus status = CheckConfigured(engine); status != QVA_SUCCESS) return status;
  TENGINE_TRACE(engine, kTrace, "tengine_ApplyAudioConfig() enter\n");
  const QVATengineConfig& config = engine->config;
  const bool fileSource = engine->sourceGraph != nullptr;
  if (!fileSource) comp::SetFormat(component, 0, pin, &config.sourceAudio);
  // An output format the audio component refuses would leave it coding its default: the
  // refusal is the answer, and the run does not start.
  const QVAStatus output = comp::SetFormat(component, 1, 0, &config.targetAudio);
  if (output != QVA_SUCCESS) {
    TENGINE_TRACE(engine, kTrace, "tengine_ApplyAudioConfig() the audio encoder refused subtype 0x%X: 0x%X\n",
                  config.targetAudio.subtype, output);
    char line[128];
    std::snprintf(line, sizeof line,
                  "Engine: the audio encoder refused the output format (subtype 0x%X, status %u)\n",
                  static_cast<unsigned>(config.targetAudio.subtype), static_cast<unsigned>(output));
    orx::platform::DebugOutput(line);
    return output;
  }
  if (!fileSource) comp::PushRecord(component, pin, QVA_FORMATRECORD_AUDIO, config.sourceAudio, 0);
  return QVA_SUCCESS;
}

QVAStatus tengine_ApplyMuxConfig(QVAHandle handle, ComponentInstance* mux) {
  QVATengine* engine = TengineFromHandle(handle);
  if (const QVAStatus status = CheckConfigured(engine); status != QVA_SUCCESS) return status;
  TENGINE_TRACE(engine, kTrace, "tengine_ApplyMuxConfig() enter\n");
  const QVATengineConfig& config = engine->config;
  if (engine->targetStream.MType != 0) comp::SetFormat(mux, 1, 0, &engine->targetStream);
  if (config.videoEnabled && config.targetVideo.MType != 0) comp::SetFormat(mux, 0, 0, &config.targetVideo);
  comp::SetParam(mux, QVA_PARAM_VIDEOENCODER, &config.encoderParams, sizeof config.encoderParams);
  return QVA_SUCCESS;
}

QVAStatus tengine_ApplyDemuxConfig(QVAHandle handle, ComponentInstance* demux) {
  QVATengine* engine = TengineFromHandle(handle);
  if (const QVAStatus status = CheckConfigured(engine); status != QVA_SUCCESS) return status;
  TENGINE_TRACE(engine, kTrace, "tengine_ApplyMuxConfig() enter\n");
  if (engine->config.transcodeFlags & (QVA_TFLAG_ENCODED_VIDEO | QVA_TFLAG_ACCEPT_EMPTY_TARGET)) {
    DemuxSettings settings{};
    settings.passThrough = 1;
    comp::SetParam(demux, QVA_PARAM_DEMUX_SETTINGS, &settings, sizeof settings);
  }
  return QVA_SUCCESS;
}
