#pragma once
// The export bridge: one pass of an export through the transcode engine. The host's export
// thread starts the pass, requests every frame, pumps the audio, finishes and ends it; the
// host's render threads hand finished frames to the engine; the engine's threads give frames
// back and write the output. Everything works on the process-wide EncSessionState (one pass
// at a time per process).
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <mutex>

#include "framework/component_buffer.h"
#include "framework/qva_os.h"
#include "framework/qva_status.h"
#include "media/media_type.h"
#include "platform/host_sdk/entry.h"
#include "platform/host_sdk/records.h"
#include "platform/host_sdk/suites.h"
#include "plugin/export/frame_slots.h"

namespace orx::plugin {

struct ExporterInstance;

enum VideoPumpState : uint32_t {
  kVideoOff = 0,
  kVideoRunning = 1,
  kVideoLastRequested = 2,
  kVideoRequestsDone = 3,
  kVideoAllReturned = 4,
  kVideoEndSent = 5,
  kVideoDone = 6,
};

enum AudioPumpState : uint32_t {
  kAudioStopped = 0,
  kAudioRunning = 1,
  kAudioEnded = 6,
};

// The export's answer when a pass lost output or could not run (besides the host's codes):
// a plug-in code of the same family as 0x80030001, engine not created.
inline constexpr int32_t kResultExportFailed = static_cast<int32_t>(0x80030002u);

inline constexpr int kFrameSlotCount = 30;
inline constexpr uint32_t kAudioBufferBytes = 192000;
inline constexpr uint32_t kAudioBufferFrames = 48000;  // float samples of one channel

struct EncSessionState {
  QVAHandle engine;
  uint32_t framesRequested;
  uint32_t framesCompleted;
  uint32_t framesDelivered;
  std::atomic<int32_t> framesInFlight;
  uint32_t lastPixelFormat;
  ExporterInstance* instance;
  host_sdk::FileObject fileObject;
  int64_t ticksPerSecond;
  std::atomic<uint32_t> videoState;
  uint32_t audioState;
  uint64_t audioPosition;
  float* channelBuffers[2];
  int16_t* interleaveBuffer;
  FrameSlots frameSlots;
  std::mutex lock;  // SessionLock
  std::atomic<bool> sinkEnded;
  // Signalled with sinkEnded, so that the finish does not sleep past the end of the output.
  std::mutex sinkMutex;
  std::condition_variable sinkEndedSignal;

  // What the pass adds to make its failures visible and its end certain.
  std::atomic<bool> abortDelivery;  // set by EncSession_End: a stalled frame delivery gives up
  std::atomic<bool> writeFailed;    // the first failed write; nothing is written after it
  uint32_t unmappedFrames;          // frames in a pixel format the engine cannot take
  uint32_t abandonedFrames;         // frames a stalled engine never took before the pass ended
  QVAStatus startFailure;           // the first engine call of the start that failed
  uint32_t endMarkersSent;          // video end markers delivered (at most one)
  QVAStatus endWaitStatus;          // the end's wait for the graph: 26 when it ran out its time, a
                                    // failed component's error
  std::atomic<bool> videoEndGiven;  // set before the video end marker goes to the engine
  // The output's end came while the pass still had video to give: what came after was lost.
  std::atomic<bool> outputEndedEarly;
  // When the engine last wrote (QVAGetTime, ms; 0 before its first write): the finish's wait
  // for the output's end runs from there.
  std::atomic<int64_t> lastOutputMs;
  // The finish gave up waiting for the output's end: what was still to come is lost.
  std::atomic<bool> outputNeverEnded;
  const host_sdk::BasicSuite* basicSuite;
};

// The pass record; EncSession_Start zeroes it.
EncSessionState& Session();

// Bytes of one frame of the subtype (0 for a subtype without a fixed frame size).
uint32_t GetFrameBytesForSubtype(uint32_t width, uint32_t subtype, uint32_t height);

// 0x80030001 when the engine cannot be created, kResultExportFailed when another engine call
// of the start fails (the pass then delivers nothing), else the answer of registering the
// render completion (0 without video).
int32_t EncSession_Start(host_sdk::ExportRecord* record, host_sdk::StandardParameters* standard,
                         const host_sdk::SequenceRenderSuite* render);

int32_t EncSession_RequestFrame(host_sdk::StandardParameters* standard,
                                const host_sdk::SequenceRenderSuite* render, int64_t time,
                                host_sdk::ExportRecord* record, bool final);
// No more frames will be requested (the finish of a pass): Running becomes RequestsDone, and
// the video end marker goes out at once when every request has come back.
void EncSession_RequestsEnded();
void EncSession_OnFrameReady(uint32_t requestId, void* reference, int64_t time,
                             host_sdk::FrameHandle frame,
                             host_sdk::FrameCompletionReturn* frameReturn);
QVAStatus EncSession_OnBufferRelease(QVAHandle engine, ComponentBuffer* buffer, void* context,
                                     void* senderHandle);
// Marks the pass failed: its output ended while video was still to come (once traced).
void EncSession_NoteEarlyOutputEnd(EncSessionState& s);
QVAStatus EncSession_OnOutput(QVAHandle engine, ComponentBuffer* buffer, void* writeContext,
                              void* writeExtra);
int32_t EncSession_PumpAudio(host_sdk::StandardParameters* standard,
                             const host_sdk::SequenceRenderSuite* render,
                             const host_sdk::SequenceAudioSuite* audio, int64_t limitMs,
                             host_sdk::ExportRecord* record);
int32_t EncSession_Finish(host_sdk::StandardParameters* standard,
                          const host_sdk::SequenceRenderSuite* render,
                          const host_sdk::SequenceAudioSuite* audio, int64_t endMs,
                          host_sdk::ExportRecord* record);
void EncSession_End(host_sdk::StandardParameters* standard, host_sdk::ExportRecord* record);

// True when the pass lost something on the way (a failed write, a frame in a format the
// engine cannot take or a stalled engine never took, an output that ended before the video's
// end or never ended, an engine call of the start that failed, a component of the engine that
// failed): the export must not answer success.
bool EncSession_PassFailed();

// Converts planar float samples to interleaved 16-bit: each sample times 32767, truncated
// toward zero and limited to -32768 .. 32767.
void InterleaveSamples(const float* const* channels, int channelCount, uint32_t frames,
                       int16_t* out);

// How long a render thread waits for the engine to take a frame before it looks whether the
// pass is being torn down, and tries again.
inline constexpr uint32_t kFrameDeliveryWaitMs = 100;
// How long the finish waits for the engine's output to end after the engine's last write (or
// from the finish, when that came earlier): only an engine that writes nothing for that long
// is given up on.
inline constexpr uint32_t kSinkEndWaitMs = 10000;
// The wait in use: kSinkEndWaitMs unless a test set another (0 restores it).
uint32_t SinkEndWaitMs();
void SetSinkEndWaitMsForTest(uint32_t ms);

}  // namespace orx::plugin
