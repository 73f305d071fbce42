// The output and the end of an export pass: the engine's writes and seeks carried out through
// the host's file services, the ends of stream, the wait for the output's end and the teardown.
#include <algorithm>
#include <chrono>
#include <cstdio>

#include "engine/transcode/tengine.h"
#include "framework/qva_clock.h"
#include "platform/debug_output.h"
#include "plugin/export/enc_session.h"
#include "plugin/params/export_state.h"
#include "plugin/params/exporter_instance.h"
#include "plugin/properties/plugin_log_file.h"
#include "plugin/export/tengine_calls.h"

namespace orx::plugin {
namespace {

constexpr uint32_t kFinishAudioEndFlags = QVA_BUFFLAG_AUDIO | QVA_BUFFLAG_EOS | QVA_BUFFLAG_EOI;  // 0x214000
constexpr uint32_t kGraphWaitMs = 5000;

std::atomic<uint32_t> g_sinkEndWaitMs{0};

int64_t NowMs() { return static_cast<int64_t>(QVAGetTime()); }

// A component that failed ended its stream like one that finished: only the wait's answer (the
// component's error) tells them apart. A wait that merely ran out of time is not a failure.
bool EngineReportedFailure(QVAStatus waited) { return waited != QVA_SUCCESS && waited != QVA_ERR_TIMEOUT; }

}  // namespace

uint32_t SinkEndWaitMs() {
  const uint32_t ms = g_sinkEndWaitMs.load();
  return ms != 0 ? ms : kSinkEndWaitMs;
}

void SetSinkEndWaitMsForTest(uint32_t ms) { g_sinkEndWaitMs = ms; }

QVAStatus EncSession_OnOutput(QVAHandle /*engine*/, ComponentBuffer* buffer, void* /*writeContext*/,
                              void* /*writeExtra*/) {
  EncSessionState& s = Session();
  if (buffer == nullptr) return QVA_ERR_BADARG;
  s.lastOutputMs = NowMs();
  const host_sdk::ExportFileSuite* file = s.instance != nullptr ? s.instance->fileSuite : nullptr;
  QVAStatus result = QVA_SUCCESS;
  // After a failed write nothing more is written: the file would have a hole in it.
  bool writing = file != nullptr && !s.writeFailed.load();
  if ((buffer->flags & QVA_BUFFLAG_SEEK) && writing) {
    int64_t reached = 0;
    file->Seek(s.fileObject, static_cast<int64_t>(buffer->SeekOffset()), &reached, 0);
  }
  if (buffer->length != 0 && !(buffer->flags & QVA_BUFFLAG_FORMAT)) {
    if (!writing ||
        file->Write(s.fileObject, buffer->data, static_cast<int32_t>(buffer->length)) < 0) {
      s.writeFailed = true;
      result = QVA_ERR_WRITE;
    }
  }
  if (buffer->length == 0 && (buffer->flags & QVA_BUFFLAG_EOS)) {
    // An end before the video's own end marker went in, or while frames are still with the
    // engine: what comes after cannot reach the file (a multiplexer drops what follows its
    // end), so the pass fails instead of answering success with a short stream.
    if (s.videoState.load() != kVideoOff && (!s.videoEndGiven.load() || s.framesInFlight.load() > 0)) {
      EncSession_NoteEarlyOutputEnd(s);
    }
    std::lock_guard<std::mutex> lock(s.sinkMutex);
    s.sinkEnded = true;
    s.sinkEndedSignal.notify_all();
  }
  return result;
}

void EncSession_NoteEarlyOutputEnd(EncSessionState& s) {
  if (!s.outputEndedEarly.exchange(true)) {
    platform::DebugOutput("ORXEncoder: the output ended before the video's end\n");
  }
}

int32_t EncSession_Finish(host_sdk::StandardParameters* standard,
                          const host_sdk::SequenceRenderSuite* render,
                          const host_sdk::SequenceAudioSuite* audio, int64_t endMs,
                          host_sdk::ExportRecord* record) {
  EncSessionState& s = Session();
  EncSession_RequestsEnded();
  if (s.audioState == kAudioRunning) EncSession_PumpAudio(standard, render, audio, endMs, record);
  if (s.audioState != kAudioStopped) {
    ComponentBuffer marker{};
    marker.flags = kFinishAudioEndFlags;
    if (s.engine != nullptr) Tengine().DeliverAudio(s.engine, &marker, 0, nullptr, 0xFFFFFFFFu);
    s.audioState = kAudioEnded;
  }
  // Without a running graph no end of stream can come.
  bool running = s.engine != nullptr && s.startFailure == QVA_SUCCESS;
  // Woken as soon as the output ends. The end may never come, so the wait gives up once the
  // engine has written nothing for 10 s; an engine still writing (a loaded machine finishing
  // its last pictures) is given the time it needs, since the flush below drops what it has not
  // written yet.
  if (running) {
    std::unique_lock<std::mutex> lock(s.sinkMutex);
    const int64_t wait = SinkEndWaitMs();
    const int64_t finishMs = NowMs();
    while (!s.sinkEnded.load()) {
      const int64_t left = std::max(s.lastOutputMs.load(), finishMs) + wait - NowMs();
      if (left <= 0) break;
      s.sinkEndedSignal.wait_for(lock, std::chrono::milliseconds(left));
    }
    if (!s.sinkEnded.load()) {
      s.outputNeverEnded = true;
      platform::DebugOutput("ORXEncoder: the output did not end; what was still to come is lost\n");
    }
  }
  if (s.engine != nullptr) Tengine().Flush(s.engine, 0);
  return 0;
}

void EncSession_End(host_sdk::StandardParameters* /*standard*/,
                    host_sdk::ExportRecord* /*record*/) {
  EncSessionState& s = Session();
  QVATengineConfig& config = GlobalExportState().config;
  if (s.engine != nullptr) s.endWaitStatus = Tengine().Wait(s.engine, 0, kGraphWaitMs);
  // A render thread stuck in a delivery gives up before the teardown takes the lock.
  s.abortDelivery = true;
  {
    std::lock_guard<std::mutex> lock(s.lock);
    if (s.engine != nullptr) {
      if (config.statsLevel > 1) Tengine().Control(s.engine, QVA_TCONTROL_TRACE | QVA_TCONTROL_DUMP, nullptr);
      Tengine().Release(s.engine);
    }
    s.engine = nullptr;
    // Completions that still come find the pass closed and give their frames back.
    s.videoState = kVideoOff;
    LogFile_Close(&config);
  }
  const host_sdk::BasicSuite* basic = s.basicSuite;
  if (basic != nullptr) {
    basic->FreeBlock(s.channelBuffers[0]);
    basic->FreeBlock(s.channelBuffers[1]);
    basic->FreeBlock(s.interleaveBuffer);
  }
  s.channelBuffers[0] = s.channelBuffers[1] = nullptr;
  s.interleaveBuffer = nullptr;
}

bool EncSession_PassFailed() {
  const EncSessionState& s = Session();
  const bool failed = s.writeFailed.load() || s.unmappedFrames != 0 || s.abandonedFrames != 0 ||
                      s.outputEndedEarly.load() || s.outputNeverEnded.load() ||
                      s.startFailure != QVA_SUCCESS || EngineReportedFailure(s.endWaitStatus);
  if (failed) {
    // One line for the host's log: which of the reasons failed the pass.
    char line[256];
    std::snprintf(line, sizeof line,
                  "ORX Encoder: the pass failed (write failed %d, unmapped frames %u, abandoned "
                  "frames %u, output ended early %d, output never ended %d, set-up status %u, end "
                  "status %u)\n",
                  s.writeFailed.load() ? 1 : 0, static_cast<unsigned>(s.unmappedFrames),
                  static_cast<unsigned>(s.abandonedFrames), s.outputEndedEarly.load() ? 1 : 0,
                  s.outputNeverEnded.load() ? 1 : 0,
                  static_cast<unsigned>(s.startFailure), static_cast<unsigned>(s.endWaitStatus));
    platform::DebugOutput(line);
  }
  return failed;
}

}  // namespace orx::plugin
