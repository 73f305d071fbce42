// The video flow of an export pass: frame requests on the export thread, finished frames on
// the host's render threads, frames given back on the engine's threads, and the video end.
#include "media/media_codes.h"
#include "platform/debug_output.h"
#include "platform/entry_guard.h"
#include "plugin/export/enc_session.h"
#include "plugin/export/host_pixel_formats.h"
#include "plugin/export/tengine_calls.h"
#include "plugin/params/export_state.h"
#include "plugin/params/exporter_instance.h"

namespace orx::plugin {
namespace {

using namespace host_sdk;

constexpr uint32_t kVideoFrameFlags =
    QVA_BUFFLAG_VIDEO | QVA_BUFFLAG_TIMESTAMP | QVA_BUFFLAG_EXTERNAL | QVA_BUFFLAG_INPLACE;  // 0x110000C
constexpr uint32_t kVideoEndFlags = QVA_BUFFLAG_VIDEO | QVA_BUFFLAG_EOS | QVA_BUFFLAG_EOI;  // 0x114000
constexpr uint32_t kEndMarkerWaitMs = 10000;

void SetPreferenceList(RenderParams& p, uint32_t sourceSubtype) {
  const std::span<const uint32_t> list = PixelFormatPreferences(sourceSubtype);
  p.pixelFormats = list.data();
  p.pixelFormatCount = static_cast<int32_t>(list.size());
}

// Sends the video end marker once every request is done and every accepted request has come
// back, whichever side changes last: the request loop, a completion or the finish. Called with
// the session lock held.
void EvaluateVideoEnd(EncSessionState& s) {
  uint32_t seen = s.videoState;
  uint32_t state = seen;
  if (state == kVideoLastRequested && s.framesCompleted == s.framesRequested + 1)
    state = kVideoAllReturned;
  if (state == kVideoRequestsDone && s.framesCompleted == s.framesRequested)
    state = kVideoAllReturned;
  if (state == kVideoAllReturned && s.endMarkersSent == 0) {
    ComponentBuffer marker{};
    marker.flags = kVideoEndFlags;
    s.videoEndGiven = true;
    Tengine().DeliverVideo(s.engine, &marker, 0, nullptr, kEndMarkerWaitMs);
    ++s.endMarkersSent;
    state = kVideoEndSent;
  }
  if (state == kVideoEndSent &&
      (s.framesInFlight.load() == 0 || GlobalExportState().config.transcodeFlags != 0)) {
    state = kVideoDone;
  }
  // The release callback may have moved EndSent to Done meanwhile (it takes no lock).
  if (state != seen) s.videoState.compare_exchange_strong(seen, state);
}

// On the first frame, or when the host's pixel format changed, the source is opened again with
// the new subtype. False when the engine refused the new format (the old one is kept, so the
// next frame tries again).
bool ReopenForPixelFormat(EncSessionState& s, QVATengineConfig& config, uint32_t pixelFormat) {
  if (s.framesDelivered != 0 && pixelFormat == s.lastPixelFormat) return true;
  const uint32_t subtype = SubtypeForPixelFormat(pixelFormat);
  if (subtype != config.sourceVideo.subtype) {
    const uint32_t previous = config.sourceVideo.subtype;
    config.sourceVideo.subtype = subtype;
    if (Tengine().OpenVideoSource(s.engine, &config.sourceVideo, &EncSession_OnBufferRelease, nullptr) !=
        QVA_SUCCESS) {
      config.sourceVideo.subtype = previous;
      return false;
    }
  }
  s.lastPixelFormat = pixelFormat;
  return true;
}

// Hands one frame to the engine. A stalled engine is waited for in short steps, so that the
// end of the pass (which sets abortDelivery) is never locked out; a frame not taken then is
// refused like any other.
QVAStatus DeliverFrame(EncSessionState& s, ComponentBuffer& buffer, FrameHandle frame) {
  for (;;) {
    QVAStatus r = Tengine().DeliverVideo(s.engine, &buffer, 0, frame, kFrameDeliveryWaitMs);
    if (r != QVA_ERR_TIMEOUT && r != QVA_ERR_NOBUFFERS) return r;
    if (s.abortDelivery.load()) return r;
  }
}

}  // namespace

int32_t EncSession_RequestFrame(StandardParameters* /*standard*/, const SequenceRenderSuite* render,
                                int64_t time, ExportRecord* /*record*/, bool final) {
  EncSessionState& s = Session();
  ExporterInstance* instance = s.instance;
  const MemoryManagerSuite* memory = instance != nullptr ? instance->memorySuite : nullptr;
  void* block = memory != nullptr ? memory->NewPtr(4) : nullptr;
  struct BlockReturn {
    const MemoryManagerSuite* memory;
    void* block;
    ~BlockReturn() {
      if (memory != nullptr && block != nullptr) memory->DisposePtr(block);
    }
  } giveBack{memory, block};

  if (s.videoState == kVideoOff || instance == nullptr) return 0;
  auto markFinalDone = [&s, final] {
    std::lock_guard<std::mutex> lock(s.lock);
    uint32_t state = s.videoState;
    if (final && (state == kVideoRunning || state == kVideoLastRequested))
      s.videoState = kVideoRequestsDone;
    EvaluateVideoEnd(s);
  };

  int32_t info =
      render->GetFrameInfo(instance->videoRendererId, time, static_cast<FrameInfo*>(block));
  if (info != 0) {
    platform::DebugOutput("ORXEncoder: Failed to GetFrameInfo\n");
    markFinalDone();
    return info;
  }
  s.frameSlots.Acquire();

  const ExportState& state = GlobalExportState();
  RenderParams params{};
  SetPreferenceList(params, state.config.sourceVideo.subtype);
  if (state.scalingChoice != 0) {
    params.width = static_cast<int32_t>(state.config.sourceVideo.width);
    params.height = static_cast<int32_t>(state.config.sourceVideo.height);
    params.pixelAspectNum = static_cast<int32_t>(state.sequence.pixelAspectNum);
    params.pixelAspectDen = static_cast<int32_t>(state.sequence.pixelAspectDen);
  } else {
    params.width = static_cast<int32_t>(instance->width);
    params.height = static_cast<int32_t>(instance->height);
    params.pixelAspectNum = static_cast<int32_t>(instance->pixelAspectNum);
    params.pixelAspectDen = static_cast<int32_t>(instance->pixelAspectDen);
  }
  params.renderQuality = instance->qualityIndex;
  params.fieldType = static_cast<int32_t>(instance->fieldType);
  params.deinterlace = 0;
  params.deinterlaceQuality = 3;
  params.compositeOnBlack = 1;

  if (final) {
    std::lock_guard<std::mutex> lock(s.lock);
    if (s.videoState == kVideoRunning) s.videoState = kVideoLastRequested;
  }
  uint32_t requestId = 0;
  int32_t answer = render->QueueAsyncVideoFrameRender(instance->videoRendererId, time, &requestId,
                                                      &params, 0, nullptr);
  {
    std::lock_guard<std::mutex> lock(s.lock);
    if (answer == 0) {
      ++s.framesRequested;
    } else {
      // No completion comes for a refused request.
      s.frameSlots.Release();
    }
  }
  markFinalDone();
  return answer;
}

void EncSession_RequestsEnded() {
  EncSessionState& s = Session();
  std::lock_guard<std::mutex> lock(s.lock);
  uint32_t running = kVideoRunning;
  s.videoState.compare_exchange_strong(running, kVideoRequestsDone);
  // With nothing outstanding (requests that stopped early) the end marker goes now; otherwise
  // the last completion sends it.
  EvaluateVideoEnd(s);
}

namespace {

void DeliverRenderedFrame(void* reference, int64_t time, FrameHandle frame,
                          FrameCompletionReturn* frameReturn) {
  EncSessionState& s = Session();
  auto* record = static_cast<ExportRecord*>(reference);
  ExporterInstance* instance = record != nullptr ? InstanceOf(record->privateData) : nullptr;
  const PPixSuite* ppix = instance != nullptr ? instance->ppixSuite : nullptr;
  uint32_t pixelFormat = 0;
  int32_t formatAnswer = (ppix != nullptr && frame != nullptr)
                             ? ppix->GetPixelFormat(frame, &pixelFormat)
                             : (ppix == nullptr ? 2 : 0);

  std::lock_guard<std::mutex> lock(s.lock);
  QVATengineConfig& config = GlobalExportState().config;
  QVAStatus r;
  if (formatAnswer != 0) {
    r = static_cast<QVAStatus>(formatAnswer);
  } else if (s.videoState == kVideoOff) {
    r = QVA_ERR_UNSUPPORTED;
  } else if (config.transcodeFlags != 0) {
    if (s.videoState != kVideoDone) s.videoState = kVideoAllReturned;
    s.framesDelivered = 1;
    r = QVA_ERR_IGNORED;
  } else if (frame == nullptr) {
    r = QVA_ERR_NOMEMORY;
  } else if (SubtypeForPixelFormat(pixelFormat) == 0) {
    // Read with the layout of another format the frame would become garbage: it is not
    // delivered, and the export will not answer success.
    ++s.unmappedFrames;
    r = QVA_ERR_FORMAT;
  } else if (!ReopenForPixelFormat(s, config, pixelFormat)) {
    // The engine did not take the new format: the frame would be read in the old layout. It is
    // not delivered, and the export will not answer success.
    ++s.unmappedFrames;
    r = QVA_ERR_FORMAT;
  } else {
    char* pixels = nullptr;
    ppix->GetPixels(frame, &pixels);
    uint32_t bytes =
        GetFrameBytesForSubtype(config.sourceVideo.secondWidth, config.sourceVideo.subtype,
                                config.sourceVideo.secondHeight);
    ComponentBuffer buffer{};
    buffer.flags = kVideoFrameFlags;
    buffer.timestamp =
        s.ticksPerSecond > 0 ? static_cast<uint64_t>(time * 1000 / s.ticksPerSecond) : 0;
    buffer.data = reinterpret_cast<uint8_t*>(pixels);
    buffer.capacity = buffer.length = bytes;
    r = DeliverFrame(s, buffer, frame);
    if (r == QVA_ERR_TIMEOUT || r == QVA_ERR_NOBUFFERS) ++s.abandonedFrames;
    if (r == QVA_ERR_UNSUPPORTED) s.videoState = kVideoOff;
  }
  ++s.framesCompleted;
  if (r == QVA_SUCCESS) {
    ++s.framesInFlight;
    ++s.framesDelivered;
  } else if (frame != nullptr && ppix != nullptr) {
    // Disposed of before its slot is freed, so the host never has more than 30 frames out.
    ppix->Dispose(frame);
    s.frameSlots.Release();
  } else {
    s.frameSlots.Release();
  }
  EvaluateVideoEnd(s);
  if (frameReturn != nullptr) frameReturn->hostDisposesFrame = 0;
}

}  // namespace

// The host calls this on its render threads. A frame whose delivery threw never reaches the
// file: it counts as abandoned, so the export does not answer success.
void EncSession_OnFrameReady(uint32_t /*requestId*/, void* reference, int64_t time,
                             FrameHandle frame, FrameCompletionReturn* frameReturn) {
  const bool handled = platform::GuardEntry("EncSession_OnFrameReady", false, [&] {
    DeliverRenderedFrame(reference, time, frame, frameReturn);
    return true;
  });
  if (!handled) {
    EncSessionState& s = Session();
    std::lock_guard<std::mutex> lock(s.lock);
    ++s.abandonedFrames;
  }
}

QVAStatus EncSession_OnBufferRelease(QVAHandle /*engine*/, ComponentBuffer* /*buffer*/,
                                     void* /*context*/, void* senderHandle) {
  // A release without a frame handle (a notice that a queue is full) gives back no frame.
  if (senderHandle == nullptr) return QVA_SUCCESS;
  EncSessionState& s = Session();
  --s.framesInFlight;
  if (s.instance != nullptr && s.instance->ppixSuite != nullptr) {
    s.instance->ppixSuite->Dispose(static_cast<FrameHandle>(senderHandle));
  }
  s.frameSlots.Release();
  // A frame given back after the output's end never reaches the file.
  if (s.sinkEnded.load()) EncSession_NoteEarlyOutputEnd(s);
  // No session lock here: a render thread may hold it while it waits for the engine's queue,
  // which the thread calling this frees.
  uint32_t endSent = kVideoEndSent;
  if (s.framesInFlight.load() == 0) s.videoState.compare_exchange_strong(endSent, kVideoDone);
  return QVA_SUCCESS;
}

}  // namespace orx::plugin
