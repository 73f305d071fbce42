#pragma once
// MULTIVENC ("Multi Video Encoder"), the engine's built-in parallel video encoder: one component
// to the graph, several qvavenc instances behind it. Frames are dealt to the instances in
// batches of whole groups of pictures; each instance encodes its batch on its own worker thread;
// the encoded pictures are collected back in stream order into MULTIVENC's output pin.
//
// Threads: MULTIVENC's framework worker (process hook), the preprocessing worker (conversion,
// dealing and collection of lent frames), the instances' workers (their event callbacks) and the
// caller's thread (commands and parameters). The instance lock serialises begin, end, flush,
// parameter pass-through and release; the pick lock guards the choice of a slot and the priority
// levels; each slot's lock guards its state changes; the collect lock makes collections one at a
// time. A slot's state is atomic, so it can be read without its lock.
#include <atomic>
#include <cstdint>
#include <mutex>

#include "engine/multivenc/preproc.h"
#include "framework/qva_component.h"
#include "media/media_type.h"
#include "media/video_encoder_params.h"

inline constexpr uint32_t kMultiVEncSlots = 16;

// EState of a slot.
inline constexpr uint32_t ESTATE_NONE = 0;
inline constexpr uint32_t ESTATE_LOADED = 0x1;
inline constexpr uint32_t ESTATE_IDLE = 0x2;
inline constexpr uint32_t ESTATE_FILLING = 0x4;
inline constexpr uint32_t ESTATE_FULL = 0x8;
inline constexpr uint32_t ESTATE_CLOSED = 0x10;
inline constexpr uint32_t ESTATE_DONE = 0x20;
inline constexpr uint32_t ESTATE_FAILED = 0x80;

inline constexpr uint32_t kLevelBest = 0;
inline constexpr uint32_t kLevelExcluded = 9;

// Flush phases.
inline constexpr uint32_t kFlushNone = 0;
inline constexpr uint32_t kFlushAnnounced = 1;
inline constexpr uint32_t kFlushing = 2;
inline constexpr uint32_t kFlushEnding = 3;

struct MultiVEncState;

// One qvavenc instance and its batch bookkeeping.
struct EncoderSlot {
  ComponentInstance* instance;
  std::atomic<uint32_t> running;
  std::atomic<uint32_t> level;  // priority: 0 best ... 9 excluded
  MultiVEncState* owner;
  uint32_t index;
  uint32_t inputFormatSent;
  uint32_t outputFormatSent;
  std::atomic<uint32_t> endMarkerSent;
  uint32_t groupLength;     // N
  uint32_t anchorDistance;  // M
  std::atomic<uint32_t> state;  // ESTATE_*
  std::atomic<uint32_t> firstFrame;  // of the current batch
  std::atomic<uint32_t> nextFrame;
  uint32_t firstGroup;
  uint32_t currentGroup;
  uint32_t groupsCompleted;  // since the instance started
  uint32_t framesDealt;
  // Throughput measurements: written by the instance's worker (event) and the dealing thread
  // (the frames of a batch), under the slot lock.
  uint32_t batchesMeasured;
  uint32_t batchFrames;      // frames counted for the current measurement
  uint32_t lastBatchFrames;
  uint32_t framesForAverage;
  uint64_t batchStart;
  uint64_t batchEnd;
  uint64_t previousDuration;
  uint64_t lastDuration;
  uint64_t totalDuration;
  uint32_t averageRate;  // frames per 10 s
  uint32_t bestRate;
  uint32_t previousAverage;
  uint64_t shortestDuration;
  uint32_t framesInGroup;
  uint32_t firstGroupLength;       // N + 1 - M (N for M = 1)
  uint32_t laterFirstGroupLength;  // the same after an end marker
  uint32_t regularGroupLength;
  uint32_t groupsPerBatch;         // k
  uint32_t picturesCollected;
  uint32_t gpu;
  uint32_t batchStartPending;      // the next buffer dealt to the slot carries the batch start
  uint32_t batchGroups;            // groups of the current batch
  uint32_t changed;                // rebalance: level changed this run
  uint32_t stalled;                // the last frame found no input buffer in time
  std::atomic<uint32_t> unterminated;  // frames went in since the last end-of-input marker
  std::mutex lock;
};

using MultiVEncPickFn = EncoderSlot* (*)(MultiVEncState* state);

struct MultiVEncState {
  ComponentInstance* instance;
  std::atomic<uint32_t> logLevel;
  std::atomic<EventManager*> traceManager;  // "teng_be" or a shared one
  uint32_t ownsTraceManager;
  VideoEncoderParams params;
  uint32_t paramsSet;
  VideoMediaType inputFormat;
  VideoMediaType encoderInputFormat;
  VideoMediaType outputFormat;
  uint32_t formatComplete;
  uint32_t outputFormatSent;
  std::atomic<uint32_t> streamEnded;
  std::atomic<uint32_t> flushPhase;
  uint32_t dealIndex;
  std::atomic<uint32_t> activeInstances;
  std::atomic<uint32_t> frameCounter;
  std::atomic<uint32_t> picturesOut;
  uint32_t formatChanges;
  uint64_t startTime;
  std::recursive_mutex instanceLock;
  std::mutex pickLock;
  std::mutex collectLock;
  std::atomic<uint32_t> begun;
  uint32_t inputBufferSize;
  uint32_t inputBufferCount;
  uint32_t outputBufferSize;
  uint32_t outputBufferCount;
  uint64_t lastTime;
  QVAPinCallbackFn pinCallback;
  void* pinCallbackUser;
  uint32_t conversionNeeded;
  MultiVEncPickFn pick;
  uint32_t grouping;
  uint32_t multi;
  PreProcObject* preproc;
  PreProcConfig preprocConfig;
  EncoderSlot slots[kMultiVEncSlots];
  std::atomic<uint32_t> loadedInstances;
  uint32_t gpuMask;
  std::atomic<int32_t> totalGroups;
  uint32_t groupNumber;  // global group counter of the dealing
  uint8_t statistics[290];
  uint32_t statisticsKept;
  LogSetup savedLog;
  uint32_t instanceOutputCount;
  uint32_t instanceOutputSize;
  // Not in the original record.
  std::atomic<uint32_t> batchesSinceRebalance;
  std::atomic<uint32_t> framesDropped;  // frames that never reached an instance
  std::atomic<uint32_t> endCount;
  std::atomic<uint32_t> aborting;       // torn down without an end of stream: nothing waits
  uint32_t lastCollectedFrame;
  uint32_t upstreamConnected;    // input pin 0 handed to an upstream component (the scaler)
  uint32_t firstInstancePrimed;  // the first instance got parameters and formats for GetFormat
  std::atomic<uint32_t> beginFailed;  // no instance could be had at begin
  std::atomic<uint32_t> failureReported;  // the first error passed on as MULTIVENC's own (0: none)
};

// --- The component (multivenc_component.cpp) ---
// Registers MULTIVENC with the loader (owner 0). 0.
QVAStatus MultiVEnc_Register();
QVAStatus MultiVEnc_LibInit();
QVAStatus MultiVEnc_LibRelease();
QVAStatus MultiVEnc_Create(const uint8_t* componentId, ComponentInstance** outInstance);
QVAStatus MultiVEnc_Release(ComponentInstance* instance);
QVAStatus MultiVEnc_Destroy(ComponentInstance* instance);
MultiVEncState* MultiVEncStateOf(ComponentInstance* instance);

// --- Start, format and begin (multivenc_begin.cpp) ---
QVAStatus VEncoderStart(ComponentInstance* instance);
void MultiVEnc_ResetSlots(MultiVEncState* state);
QVAStatus VEncoderProcessBuf(ComponentInstance* instance, ComponentBuffer* buffer);
QVAStatus VEncoderApplyFormat(ComponentInstance* instance, const VideoMediaType* format);
QVAStatus VEncoderBegin(VideoEncoderParams* params, MultiVEncState* state);
// N for the anchor distance M (1 ... 3).
uint32_t MultiVEnc_RoundGop(uint32_t n, uint32_t m);
// The instance count and GPU requests VEncoderBegin derives from the parameters (changing them as
// it does); plain so that tests can drive them.
struct MultiVEncPlan {
  uint32_t count;
  uint32_t gpuMask;
  uint32_t multi;
};
MultiVEncPlan MultiVEnc_PlanInstances(VideoEncoderParams* params, uint32_t outputSubtype, uint32_t gpuMask);

// --- Choosing a slot and dealing (multivenc_dealing.cpp) ---
EncoderSlot* MultiVEnc_PickSlot(MultiVEncState* state);
EncoderSlot* MultiVEnc_PickRoundRobin(MultiVEncState* state);
EncoderSlot* MultiVEnc_OldestBusySlot(MultiVEncState* state);
// Dealing steps for one frame given to the slot: a batch starts on an idle slot, groups and
// batches are counted; answers true when this frame starts a batch.
bool MultiVEnc_StartBatch(MultiVEncState* state, EncoderSlot* slot, uint32_t frameNumber);
void MultiVEnc_DealFrame(MultiVEncState* state, EncoderSlot* slot, uint32_t frameNumber);
void MultiVEnc_Rebalance(MultiVEncState* state);
void MultiVEnc_SetSlotState(EncoderSlot* slot, uint32_t state);

// --- Preprocessing hooks (multivenc_preproc_hooks.cpp) ---
QVAStatus PPAlloc(PreProcObject* object, uint32_t frameNumber, uint64_t time, ComponentBuffer** outBuffer,
                  void* owner, const ComponentBuffer* source);
QVAStatus PPFDone(PreProcObject* object, uint32_t frameNumber, uint64_t time, ComponentBuffer* buffer, void* owner,
                  const ComponentBuffer* source);
void PPDrop(PreProcObject* object, uint64_t time, QVAStatus status, void* owner, const ComponentBuffer* source);
void PPEnd(PreProcObject* object, uint32_t frameNumber, uint64_t next, void* owner);
QVAStatus EncoderSlot_PushFrame(EncoderSlot* slot, ComponentBuffer* buffer);
// Reports a source frame consumed through MULTIVENC's input pin callback.
void MultiVEnc_ReportConsumed(MultiVEncState* state, ComponentInstance* reporter, const ComponentBuffer* source);
// A frame that never reached an instance while the stream runs is lost to it: counted, and the
// first such loss is reported as MULTIVENC's error.
void MultiVEnc_FrameLost(MultiVEncState* state, QVAStatus status);
// Passes the first error of the run on as MULTIVENC's own (its error callback, its last
// status), so the engine's caller does not take an incomplete stream for a whole one.
void MultiVEnc_ReportFailure(MultiVEncState* state, QVAStatus status, uint32_t detail);

// --- Collection, events, flush and end (multivenc_collect.cpp, multivenc_end.cpp) ---
QVAStatus MultiVEnc_Collect(MultiVEncState* state, EncoderSlot* slot, uint32_t mode);
uint32_t MultiVEnc_CloseBatches(MultiVEncState* state);
extern "C" void EncoderSlot_OnEvent(ComponentInstance* instance, uint32_t eventId, void* record, uint32_t size,
                                    void* slot);
// An instance's error: its output is incomplete, so the stream is (MultiVEnc_ReportFailure).
extern "C" void EncoderSlot_OnError(ComponentInstance* instance, QVAStatus status, uint32_t detail, void* slot);
void VEncoderFlush(MultiVEncState* state, uint32_t mode);
void VEncoderFlushWait(MultiVEncState* state);
void VEncoderEnd(MultiVEncState* state);
// Stops what runs without an end of stream (the preprocessing worker, the instances) so that a
// release never leaves a thread of a library behind.
void MultiVEnc_Abort(MultiVEncState* state);
void VEncoderPrintStats(MultiVEncState* state);
QVAStatus VEncoderSendParamStats(MultiVEncState* state, const void* block);
QVAStatus VEncoderGetParamStats(uint32_t count, MultiVEncState* state, uint8_t* blocks);
QVAStatus VEncoderSetParam(MultiVEncState* state, uint32_t id, const void* data, uint32_t size);

// Pushes an end marker (flags) into the slot's instance, waiting for room while it is alive and
// MULTIVENC is not torn down; the push's status.
QVAStatus MultiVEnc_PushMarker(MultiVEncState* state, EncoderSlot* slot, uint32_t flags);
// Whether an instance's worker still runs (one that stopped will take and give nothing more).
bool MultiVEnc_InstanceAlive(ComponentInstance* instance);

// A line in MULTIVENC's trace-event manager "teng_be", when it has one.
void MultiVEnc_Trace(MultiVEncState* state, uint32_t category, const char* format, ...)
    __attribute__((format(printf, 3, 4)));

// Drawing into a converted frame's luma plane (multivenc_overlays.cpp).
inline constexpr uint32_t kMarkWidth = 88;
inline constexpr uint32_t kMarkHeight = 23;
// The built-in mark blended over the plane at (x, y); fade 0 shows the mark fully, 255 not at all.
void DrawMark(uint8_t* luma, uint32_t pitch, uint32_t width, uint32_t height, int32_t x, int32_t y, uint32_t fade);
// The mark's own pattern, kMarkWidth x kMarkHeight luma samples.
const uint8_t* MarkImage();
// The 16 x 16 slot marker (border 0xC8, inside 0x8C) at (x, y), clipped to the plane.
void DrawSlotMarker(uint8_t* luma, uint32_t pitch, uint32_t width, uint32_t height, int64_t x, int64_t y);
