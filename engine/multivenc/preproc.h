#pragma once
// MULTIVENC's preprocessing object: takes each input frame as a job, puts lent frames back into
// time order on its worker thread (frames rendered by several host threads arrive out of
// order), and converts each into an input buffer of the encoder instance its owner chooses.
// The owner's hooks choose the destination (alloc), take the converted frame (done), drop a
// frame that cannot be converted (drop) and hear the end of the worker (end).
#include <algorithm>
#include <atomic>
#include <cstdint>
#include <vector>

#include "engine/multivenc/preproc_convert.h"
#include "framework/qva_component.h"

struct PreProcObject;

// alloc: an input buffer of the chosen instance in *outBuffer (none when it has none).
using PPAllocFn = QVAStatus (*)(PreProcObject* object, uint32_t frameNumber, uint64_t time,
                                ComponentBuffer** outBuffer, void* owner, const ComponentBuffer* source);
// done: the converted frame in buffer; source is the caller's record or none.
using PPDoneFn = QVAStatus (*)(PreProcObject* object, uint32_t frameNumber, uint64_t time, ComponentBuffer* buffer,
                               void* owner, const ComponentBuffer* source);
// drop: a frame that is not converted (status why); its source must still be handed back.
using PPDropFn = void (*)(PreProcObject* object, uint64_t time, QVAStatus status, void* owner,
                          const ComponentBuffer* source);
// end: the worker ends (frames converted, the next release time).
using PPEndFn = void (*)(PreProcObject* object, uint32_t frameNumber, uint64_t next, void* owner);

// Flags of PreProcConfig.
inline constexpr uint32_t kPreProcRefused = 0x2;      // conversion refused (never set by MULTIVENC)
inline constexpr uint32_t kPreProcDrawMark = 0x100;
inline constexpr uint32_t kPreProcSlotMarker = 0x200;

inline constexpr uint32_t kPreProcMaxDepth = 36;
inline constexpr uint32_t kPreProcJobBytes = 2048;  // a queue slot's job part

struct PreProcConfig {
  uint32_t flags;
  uint32_t useQueue;     // 1: jobs go through the queue and the worker thread
  uint32_t queueSlots;   // 0: depth + 2
  uint32_t depth;        // reorder window in jobs
  uint32_t reorder;      // 1: jobs are put back into time order
  uint32_t frameCopies;  // non-zero: each job carries a copy of its frame
  uint32_t inputCode;
  uint32_t frameWidth;
  uint32_t frameHeight;
  uint32_t inputWidth;
  uint32_t inputHeight;
  uint32_t inputFrameRate;  // frames per 1000 s
  uint32_t outputCode;
  uint32_t outputWidth;
  uint32_t outputHeight;
  uint32_t outputStrideWidth;
  uint32_t outputStrideHeight;
  uint32_t encoderFrameRate;  // frames per 1000 s
  void* owner;
  std::atomic<EventManager*>* traceManager;  // the owner's trace-event manager, when it has one
  PPAllocFn alloc;
  PPDoneFn done;
  PPDropFn drop;
  PPEndFn end;
};

// One frame to convert. A job keeps a copy of its source record, so the record's queue slot is
// free as soon as the job is made.
struct PreProcJob {
  uint32_t number;
  uint64_t time;  // ms
  const uint8_t* frame;
  uint32_t frameLength;  // bytes the source holds at frame
  uint32_t inputCode;
  uint32_t outputCode;
  void* owner;
  ComponentBuffer source;
  uint32_t hasSource;  // 0 when there is no source record
  uint32_t ownsFrame;  // frame is a copy of the worker's (frame copies), freed after its conversion
};
static_assert(sizeof(PreProcJob) <= kPreProcJobBytes);

struct PreProcObject {
  uint32_t initialised;
  uint32_t inputFrameBytes;
  uint32_t outputFrameBytes;
  std::atomic<uint32_t> submitted;
  std::atomic<uint32_t> converted;
  std::atomic<uint32_t> dropped;
  QVAHandle thread;
  QVAHandle queue;  // "PreProc"
  std::atomic<uint32_t> flushWord;  // 0 normal, 1 release everything pending, 2 drain without waiting
  std::atomic<uint32_t> stop;       // set by PreProc_Destroy
  std::atomic<uint32_t> workerRunning;
  PreProcConfig config;
  uint64_t highestTime;
};

// 0 with a new object; 9 without out; 6 when the configuration refuses conversion. With the
// queue flag it creates the queue and starts the worker; when either fails the object has no
// worker (PreProc_Submit then answers 6).
QVAStatus PreProc_Create(const PreProcConfig* config, PreProcObject** outObject, void* owner);
// A job for the worker: 0; 3 not initialised; 6 no worker; 4 no frame; 1 when no queue slot
// could be had. frameLength is what the source holds at frame. With frame copies the job takes
// a copy of the frame, so the source is free at once.
QVAStatus PreProc_Submit(PreProcObject* object, uint64_t time, const uint8_t* frame, uint32_t frameLength,
                         void* owner, const ComponentBuffer* source);
// The same job converted at once on the caller's thread; the conversion's status.
QVAStatus PreProc_ConvertNow(PreProcObject* object, uint64_t time, const uint8_t* frame, uint32_t frameLength,
                             void* owner, const ComponentBuffer* source);
// New input and output codes (the sizes stay those of creation). 3 without object.
QVAStatus PreProc_Reconfigure(PreProcObject* object, const PreProcConfig* config);
// 1 announces a flush (the worker releases everything pending); 2 makes it drain without
// waiting; 0 waits (up to 5 s) until a drain has finished, then clears the word.
QVAStatus PreProcFlush(PreProcObject* object, uint32_t value);
// Stops and joins the worker (jobs still pending are dropped through the drop hook) and frees
// the object. 3 when not initialised.
QVAStatus PreProc_Destroy(PreProcObject* object);
// Converts a job into the owner's buffer; 3 without frame, 8 without a destination buffer, 7
// for unsupported codes, 29 when the source holds less than a frame.
QVAStatus PreProc_ConvertFrame(PreProcObject* object, uint64_t time, const PreProcJob& job);

// Trace categories of the lines in the owner's trace-event manager.
inline constexpr uint32_t kTraceLine = 0x8000;
inline constexpr uint32_t kTraceSpanStart = 0x40008000;
inline constexpr uint32_t kTraceSpanEnd = 0x80008000;
// A line in the owner's trace-event manager, when there is one.
void PreProcTrace(PreProcObject* object, uint32_t category, const char* format, ...)
    __attribute__((format(printf, 3, 4)));

// The worker thread (frame copies or not: one procedure).
uint32_t PreProcThread(QVAHandle thread, void* object);
// Drops every job still in the queue (their frames reported through the drop hook); the queue
// must be open and no submitter left.
void PreProcDropQueued(PreProcObject* object);

// Release times: a frame whose time is not later than next leaves the window; next becomes its
// time plus the tolerance d x 15 / 8, d = 1000000 / frames per 1000 s.
uint64_t PreProc_Tolerance(uint32_t frameRate);

// The reorder window of the worker, separate from the thread so that it can be driven directly.
class PreProcReorderWindow {
 public:
  PreProcReorderWindow(uint32_t depth, uint64_t tolerance) : depth_(depth), tolerance_(tolerance) {
    pending_.reserve(std::min<uint32_t>(depth, kMaxReserved));
    released_.reserve(std::min<uint32_t>(depth, kMaxReserved));
  }
  // Inserts a job after every job with a time not later than its own.
  void Insert(const PreProcJob& job);
  // Takes the jobs that may leave now, in order: every job when releaseAll. The list is the
  // window's own, valid until the next call: the window's storage is reused from frame to frame.
  const std::vector<PreProcJob>& Release(bool releaseAll);
  size_t Pending() const { return pending_.size(); }
  uint64_t Next() const { return next_; }
  std::vector<PreProcJob> TakeAll();

 private:
  static constexpr uint32_t kMaxReserved = 64;  // a window is 30 deep, 36 at most
  std::vector<PreProcJob> pending_;
  std::vector<PreProcJob> released_;
  uint32_t depth_;
  uint64_t tolerance_;
  // The expected time starts at the earliest: the first frame to arrive need not be the first
  // of the sequence (completions come in any order), and one released ahead of earlier frames
  // would leave them behind it.
  uint64_t next_ = 0;
};
