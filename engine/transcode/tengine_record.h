#pragma once
// The transcode engine's record behind its handle, shared by the engine's source files only.
#include <atomic>
#include <cstdint>

#include "engine/text/engine_trace.h"
#include "engine/transcode/tengine.h"

struct TengineWatchdog {
  QVAHandle thread;
  QVAHandle stopEvent;  // wakes the thread's poll sleep when it is asked to stop
  uint32_t pollMs;
  uint32_t idleLimitMs;
  std::atomic<uint32_t> dumping;  // set by the trace set-up of QVATengine_Control
  std::atomic<uint32_t> stop;     // asked to end
};

// The user word of tengine_OnInputReleased: which source's release callback a pin reports to.
struct TengineSourceTag {
  QVAHandle engine;
  uint32_t audio;  // 0 video, 1 audio
};

// The engine record. The delivery functions and the sink run on other threads than the set-up:
// the words they read or write are atomic.
struct QVATengine {
  std::atomic<uint32_t> initialised;  // 0 while being released
  QVAHandle handle;
  EngineTraceSource trace;  // the record's own trace mask (0) and its creation time
  QVATengineConfig config;
  uint32_t configSet;
  QVAHandle sourceGraph;
  QVAHandle targetGraph;
  uint32_t videoSourceOpened;
  uint32_t audioSourceOpened;
  uint32_t targetOpened;
  std::atomic<uint32_t> videoEnded;
  std::atomic<uint32_t> audioEnded;
  QVATengineReleaseFn videoRelease;
  QVATengineReleaseFn audioRelease;
  void* sourceContext;  // serves both sources
  uint32_t targetWord;
  QVATengineWriteFn write;
  void* writeContext;
  void* writeExtra;
  StreamMediaType sourceStream;  // of a file source; size words preset
  AudioMediaType sourceAudio;
  VideoMediaType sourceVideo;
  StreamMediaType targetStream;
  VideoMediaType workingVideo;  // scaler output and encoder input when a scaler is used
  TengineStatistics statistics;
  std::atomic<uint32_t> running;
  std::atomic<uint32_t> started;
  std::atomic<ComponentInstance*> videoInput;
  std::atomic<uint32_t> videoInputPin;
  std::atomic<ComponentInstance*> audioInput;
  std::atomic<uint32_t> audioInputPin;
  // The input pins that got tengine_OnInputReleased, with the tags they report with.
  ComponentInstance* videoCallbackComponent;
  ComponentInstance* audioCallbackComponent;
  TengineSourceTag videoTag;
  TengineSourceTag audioTag;
  ComponentInstance* outputComponent;
  std::atomic<uint64_t> lastActivity;  // ms
  std::atomic<uint32_t> componentFailure;  // the first error a component reported since Run (0: none)
  TengineWatchdog watchdog;
  uint32_t outputBufferSizeWanted;
  ComponentBuffer lentBuffer;
  uint8_t* lentData;
  uint32_t lentCapacity;
};

// The record of a transcode-engine handle, or null for any other handle.
QVATengine* TengineFromHandle(QVAHandle handle);
// The process global: the newest engine's handle (null when none).
QVAHandle TengineGlobalHandle();
void TengineSetGlobalHandle(QVAHandle handle);

void TengineStampActivity(QVATengine* engine);

// Writes every trace-event manager of both graphs into the current folder, the times and cycle
// counts taken from the given origins.
void TengineDumpEvents(QVATengine* engine, uint64_t timeOrigin, uint64_t cycleOrigin);

// Trace lines of the engine at a level (ENGINEDEBUG_FLAG_*), through the engine's own mask.
#define TENGINE_TRACE(engine, level, ...) QVAengine_Trace(&(engine)->trace, (level), __VA_ARGS__)
