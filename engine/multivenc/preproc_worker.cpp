// The preprocessing worker: takes jobs from the "PreProc" queue, keeps lent frames in a reorder
// window until their turn (frames from several render threads arrive out of order), converts
// them, and tells the owner when the window is full and nothing arrives.
#include <cstring>

#include "engine/multivenc/preproc.h"

namespace {

constexpr uint32_t kFullWindowWaitMs = 2000;

void FreeOwnedFrame(const PreProcJob& job) {
  if (job.ownsFrame) QVAFree(const_cast<uint8_t*>(job.frame));
}

void Convert(PreProcObject* object, const PreProcJob& job) {
  const QVAStatus status = PreProc_ConvertFrame(object, job.time, job);
  if (status != QVA_SUCCESS) {
    object->dropped.fetch_add(1);
    object->config.drop(object, job.time, status, object->config.owner, job.hasSource ? &job.source : nullptr);
  }
  FreeOwnedFrame(job);
}

void Drop(PreProcObject* object, const PreProcJob& job) {
  object->dropped.fetch_add(1);
  object->config.drop(object, job.time, QVA_ERR_STOPPED, object->config.owner, job.hasSource ? &job.source : nullptr);
  FreeOwnedFrame(job);
}

// The owner's input pin callback hears of a full window through a record without a frame.
void NotifyFull(PreProcObject* object, uint64_t next) {
  object->config.drop(object, next, QVA_ERR_FULL, object->config.owner, nullptr);
}

}  // namespace

void PreProcDropQueued(PreProcObject* object) {
  for (;;) {
    ComponentBuffer* slot = nullptr;
    if (BufferQueue_Acquire(object->queue, QVA_SLOT_FULL, &slot, 0) != QVA_SUCCESS || slot == nullptr) return;
    PreProcJob job{};
    if (slot->length >= sizeof job) std::memcpy(&job, slot->data, sizeof job);
    BufferQueue_Commit(object->queue, QVA_SLOT_FREE, slot, QVA_INFINITE);
    if (job.frame != nullptr) Drop(object, job);  // an empty slot only woke the worker
  }
}

uint32_t PreProcThread(QVAHandle, void* argument) {
  auto* object = static_cast<PreProcObject*>(argument);
  const PreProcConfig& c = object->config;
  PreProcReorderWindow window(c.depth, PreProc_Tolerance(c.inputFrameRate));
  for (;;) {
    const uint32_t flush = object->flushWord.load();
    if (object->stop.load()) break;
    uint32_t limit = window.Pending() * 2 > c.depth ? kFullWindowWaitMs : QVA_INFINITE;
    // A flush releases what is pending once the queue is empty, so jobs still queued join the
    // window first and leave in time order; a drain does not wait for new jobs at all.
    if (flush > 1 || (flush == 1 && window.Pending() > 0)) limit = 0;
    ComponentBuffer* slot = nullptr;
    const QVAStatus status = BufferQueue_Acquire(object->queue, QVA_SLOT_FULL, &slot, limit);
    bool releaseAll = false;
    if (status == QVA_SUCCESS && slot != nullptr) {
      PreProcJob job{};
      if (slot->length >= sizeof job) std::memcpy(&job, slot->data, sizeof job);
      BufferQueue_Commit(object->queue, QVA_SLOT_FREE, slot, QVA_INFINITE);
      if (job.frame != nullptr) {  // an empty slot only wakes the worker
        if (job.time > object->highestTime) object->highestTime = job.time;
        if (c.reorder) window.Insert(job);
        else Convert(object, job);
      }
    } else if (status == QVA_ERR_NOBUFFERS) {
      if (flush != 0) {
        releaseAll = true;
      } else if (limit == kFullWindowWaitMs) {
        NotifyFull(object, window.Next());
      }
    } else {
      if (window.Pending() == 0) break;
      releaseAll = true;
    }
    if (window.Pending() >= c.depth) {
      PreProcTrace(object, kTraceLine, "PPFull: cnt=%d next=%d", static_cast<int>(window.Pending()),
                   static_cast<int>(window.Next()));
    }
    for (const PreProcJob& job : window.Release(releaseAll)) Convert(object, job);
    if (releaseAll && flush > 1) {
      // Drained: the flush is over.
      uint32_t expected = flush;
      object->flushWord.compare_exchange_strong(expected, 0);
    }
  }
  for (const PreProcJob& job : window.TakeAll()) Drop(object, job);
  PreProcDropQueued(object);
  object->workerRunning = 0;
  c.end(object, object->converted.load(), window.Next(), c.owner);
  return 0;
}
