// The preprocessing object: creation, job submission, immediate conversion, reconfiguration,
// flushing and destruction, the conversion of one job, and the reorder window.
#include "engine/multivenc/preproc.h"

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <new>

#include "engine/text/engine_trace.h"

namespace {

// The drain and the worker's end are polled finely: each wait sits on the end of every stream.
constexpr uint32_t kFlushWaitStepMs = 1;
constexpr uint32_t kFlushWaitLimitMs = 5000;
constexpr uint32_t kDefaultFrameRate = 29970;

PreProcFrameGeometry InputGeometry(const PreProcConfig& c) {
  return {c.frameWidth, c.frameHeight, c.frameWidth, c.frameHeight};
}

PreProcFrameGeometry OutputGeometry(const PreProcConfig& c) {
  return {c.outputWidth, c.outputHeight, c.outputStrideWidth, c.outputStrideHeight};
}

void ComputeFrameBytes(PreProcObject* object) {
  const PreProcConfig& c = object->config;
  object->inputFrameBytes = PreProc_FrameBytes(c.frameWidth, c.inputCode, c.frameHeight);
  object->outputFrameBytes = PreProc_FrameBytes(c.outputStrideWidth, c.outputCode, c.outputStrideHeight);
}

PreProcJob MakeJob(PreProcObject* object, uint64_t time, const uint8_t* frame, uint32_t frameLength, void* owner,
                   const ComponentBuffer* source) {
  PreProcJob job{};
  job.number = object->submitted.fetch_add(1);
  job.time = time;
  job.frame = frame;
  job.frameLength = frameLength;
  job.inputCode = object->config.inputCode;
  job.outputCode = object->config.outputCode;
  job.owner = owner;
  if (source != nullptr) {
    job.source = *source;
    job.hasSource = 1;
  }
  return job;
}

// Makes a worker that waits for a job look at the flush word (an empty slot is no job).
void WakeWorker(PreProcObject* object) {
  ComponentBuffer* slot = nullptr;
  if (object->queue == nullptr || BufferQueue_Acquire(object->queue, QVA_SLOT_FREE, &slot, 0) != QVA_SUCCESS) return;
  slot->length = 0;
  BufferQueue_Commit(object->queue, QVA_SLOT_FULL, slot, QVA_INFINITE);
}

}  // namespace

void PreProcTrace(PreProcObject* object, uint32_t category, const char* format, ...) {
  if (object == nullptr || object->config.traceManager == nullptr) return;
  va_list args;
  va_start(args, format);
  AddTraceEventText(object->config.traceManager->load(), category, format, args);
  va_end(args);
}

uint64_t PreProc_Tolerance(uint32_t frameRate) {
  const uint64_t duration = 1000000 / (frameRate != 0 ? frameRate : kDefaultFrameRate);
  return duration * 15 / 8;
}

QVAStatus PreProc_Create(const PreProcConfig* config, PreProcObject** outObject, void* owner) {
  if (outObject == nullptr) return QVA_ERR_READ;
  *outObject = nullptr;
  if (config == nullptr || (config->flags & kPreProcRefused)) return QVA_ERR_NOBUFFERS;
  auto* object = new PreProcObject{};
  object->config = *config;
  object->config.owner = owner;
  PreProcConfig& c = object->config;
  if (c.inputWidth == 0) c.inputWidth = c.frameWidth;
  if (c.inputHeight == 0) c.inputHeight = c.frameHeight;
  if (c.outputStrideWidth == 0) c.outputStrideWidth = c.outputWidth;
  if (c.outputStrideHeight == 0) c.outputStrideHeight = c.outputHeight;
  if (c.queueSlots == 0) c.queueSlots = c.depth + 2;
  c.depth = std::min({c.depth, kPreProcMaxDepth, c.queueSlots});
  if (c.depth == 0) c.depth = 1;
  ComputeFrameBytes(object);
  object->initialised = 1;
  if (c.useQueue && BufferQueue_Create(kPreProcJobBytes, c.queueSlots, &object->queue) == QVA_SUCCESS) {
    BufferQueue_SetName(object->queue, "PreProc", QVA_QUEUE_INPUT);
    object->thread = QVACreateThread(PreProcThread, object, 0);
    object->workerRunning = 1;
    if (object->thread == nullptr || QVAStartThread(object->thread) != QVA_SUCCESS) {
      object->workerRunning = 0;
      QVADestroyThread(object->thread, 0);
      object->thread = nullptr;
    }
  }
  *outObject = object;
  return QVA_SUCCESS;
}

QVAStatus PreProc_Submit(PreProcObject* object, uint64_t time, const uint8_t* frame, uint32_t frameLength,
                         void* owner, const ComponentBuffer* source) {
  if (object == nullptr || !object->initialised) return QVA_ERR_BADARG;
  if (object->thread == nullptr || !object->workerRunning) return QVA_ERR_NOBUFFERS;
  if (frame == nullptr) return QVA_ERR_NOMEMORY;
  PreProcJob job = MakeJob(object, time, frame, frameLength, owner, source);
  if (object->config.frameCopies) {
    // The job holds its own copy, so the caller's frame is free at once.
    const uint32_t bytes = std::min(frameLength, object->inputFrameBytes);
    auto* copy = static_cast<uint8_t*>(QVAMalloc(bytes != 0 ? bytes : 1));
    if (copy == nullptr) return QVA_ERR_GENERIC;
    std::memcpy(copy, frame, bytes);
    job.frame = copy;
    job.frameLength = bytes;
    job.ownsFrame = 1;
    job.hasSource = 0;
  }
  ComponentBuffer* slot = nullptr;
  if (BufferQueue_Acquire(object->queue, QVA_SLOT_FREE, &slot, QVA_INFINITE) != QVA_SUCCESS || slot == nullptr) {
    if (job.ownsFrame) QVAFree(const_cast<uint8_t*>(job.frame));
    return QVA_ERR_GENERIC;
  }
  std::memcpy(slot->data, &job, sizeof job);
  slot->length = sizeof job;
  slot->timestamp = time;
  if (BufferQueue_Commit(object->queue, QVA_SLOT_FULL, slot, QVA_INFINITE) != QVA_SUCCESS) {
    if (job.ownsFrame) QVAFree(const_cast<uint8_t*>(job.frame));
    return QVA_ERR_GENERIC;
  }
  return QVA_SUCCESS;
}

QVAStatus PreProc_ConvertNow(PreProcObject* object, uint64_t time, const uint8_t* frame, uint32_t frameLength,
                             void* owner, const ComponentBuffer* source) {
  if (object == nullptr || !object->initialised) return QVA_ERR_BADARG;
  const PreProcJob job = MakeJob(object, time, frame, frameLength, owner, source);
  return PreProc_ConvertFrame(object, time, job);
}

QVAStatus PreProc_Reconfigure(PreProcObject* object, const PreProcConfig* config) {
  if (object == nullptr || config == nullptr) return QVA_ERR_BADARG;
  if (config->inputCode != object->config.inputCode || config->outputCode != object->config.outputCode) {
    object->config.inputCode = config->inputCode;
    object->config.outputCode = config->outputCode;
    ComputeFrameBytes(object);
  }
  return QVA_SUCCESS;
}

QVAStatus PreProcFlush(PreProcObject* object, uint32_t value) {
  if (object == nullptr || !object->initialised) return QVA_ERR_BADARG;
  if (object->flushWord.load() == value) return QVA_SUCCESS;
  PreProcTrace(object, kTraceSpanStart, "PreProcFlush(%d)", static_cast<int>(value));
  if (value == 0) {
    WakeWorker(object);
    for (uint32_t waited = 0; object->flushWord.load() != 0 && object->workerRunning && waited < kFlushWaitLimitMs;
         waited += kFlushWaitStepMs) {
      QVASleep(kFlushWaitStepMs);
    }
  }
  object->flushWord = value;
  if (value != 0) WakeWorker(object);
  PreProcTrace(object, kTraceSpanEnd, "PreProcFlush(%d)", static_cast<int>(value));
  return QVA_SUCCESS;
}

QVAStatus PreProc_Destroy(PreProcObject* object) {
  if (object == nullptr || !object->initialised) return QVA_ERR_BADARG;
  object->stop = 1;
  if (object->queue != nullptr) BufferQueue_Close(object->queue, 0);
  if (object->thread != nullptr) {
    // The closed queue wakes the worker at once; the thread layer would look only every 100 ms.
    for (uint32_t waited = 0; QVAThreadGetStage(object->thread) != QVA_THREAD_ENDED && waited < kFlushWaitLimitMs;
         waited += kFlushWaitStepMs) {
      QVASleep(kFlushWaitStepMs);
    }
    QVADestroyThread(object->thread, 1);
  }
  object->thread = nullptr;
  object->workerRunning = 0;
  if (object->queue != nullptr) {
    // The closed queue stopped the worker before it could take the jobs still queued; with the
    // worker gone and no submitter left, their frames are dropped (and reported) here.
    BufferQueue_Open(object->queue);
    PreProcDropQueued(object);
    BufferQueue_Flush(object->queue);
    BufferQueue_Destroy(object->queue, 0);
  }
  object->initialised = 0;
  delete object;
  return QVA_SUCCESS;
}

QVAStatus PreProc_ConvertFrame(PreProcObject* object, uint64_t time, const PreProcJob& job) {
  if (object == nullptr || !object->initialised || job.frame == nullptr) return QVA_ERR_BADARG;
  const PreProcConfig& c = object->config;
  const ComponentBuffer* source = job.hasSource ? &job.source : nullptr;
  if (!PreProc_CanConvert(job.inputCode, job.outputCode)) return QVA_ERR_NOTFOUND;
  // Never read past what the source holds.
  if (job.frameLength < PreProc_FrameBytes(c.frameWidth, job.inputCode, c.frameHeight)) return QVA_ERR_TOOSMALL;
  ComponentBuffer* buffer = nullptr;
  c.alloc(object, object->converted.load(), time, &buffer, c.owner, source);
  if (buffer == nullptr) return QVA_ERR_OPEN;
  const uint32_t outputBytes = PreProc_FrameBytes(c.outputStrideWidth, job.outputCode, c.outputStrideHeight);
  if (buffer->capacity >= outputBytes) {
    PreProc_ConvertPixels(job.frame, job.inputCode, InputGeometry(c), buffer->data, job.outputCode, OutputGeometry(c));
    buffer->length = outputBytes;
  } else {
    buffer->length = 0;  // an instance buffer too small for a frame carries no picture
  }
  buffer->timestamp = time;
  buffer->flags |= QVA_BUFFLAG_VIDEO | QVA_BUFFLAG_TIMESTAMP;
  c.done(object, object->converted.load(), time, buffer, c.owner, source);
  object->converted.fetch_add(1);
  return QVA_SUCCESS;
}

void PreProcReorderWindow::Insert(const PreProcJob& job) {
  auto place = std::upper_bound(pending_.begin(), pending_.end(), job.time,
                                [](uint64_t time, const PreProcJob& j) { return time < j.time; });
  pending_.insert(place, job);
}

const std::vector<PreProcJob>& PreProcReorderWindow::Release(bool releaseAll) {
  std::vector<PreProcJob>& released = released_;
  released.clear();
  while (!pending_.empty()) {
    const PreProcJob& first = pending_.front();
    if (!(first.time <= next_ || pending_.size() + 1 >= depth_ || releaseAll)) break;
    // A late frame released after its successors never moves the expected time back.
    next_ = std::max(next_, first.time + tolerance_);
    released.push_back(first);
    pending_.erase(pending_.begin());
  }
  return released;
}

std::vector<PreProcJob> PreProcReorderWindow::TakeAll() {
  std::vector<PreProcJob> all;
  all.swap(pending_);
  return all;
}
