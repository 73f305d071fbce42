// MULTIVENC's flush, end of the encode and tear-down, its statistics line and the parameters it
// passes on to every instance.
#include <cstring>
#include <thread>
#include <vector>

#include "engine/catalogue/component_calls.h"
#include "engine/multivenc/multivenc.h"

namespace {

constexpr uint32_t kMaxCollectInFlush = 16;
constexpr uint32_t kSlotPollMs = 10;
constexpr uint32_t kStatisticsSize = 290;
constexpr uint32_t kPrintedSlots = 8;
constexpr char kVersionText[] = "090324";

bool IsEncoding(uint32_t state) {
  return state == ESTATE_FILLING || state == ESTATE_FULL || state == ESTATE_CLOSED;
}

// Each instance's End waits until its worker notices, which an idle worker does only after its
// idle sleep; the instances are ended side by side, so that the end of a stream does not grow
// with their number. Every ending thread is joined before this returns.
void EndInstances(MultiVEncState* state) {
  std::vector<std::thread> enders;
  for (EncoderSlot& slot : state->slots) {
    if (slot.instance != nullptr) enders.emplace_back([instance = slot.instance] { comp::End(instance); });
  }
  for (std::thread& ender : enders) ender.join();
  for (EncoderSlot& slot : state->slots) {
    if (slot.instance == nullptr) continue;
    slot.running = 0;
    MultiVEnc_SetSlotState(&slot, ESTATE_NONE);
  }
}

}  // namespace

QVAStatus VEncoderSetParam(MultiVEncState* state, uint32_t id, const void* data, uint32_t size) {
  std::lock_guard<std::recursive_mutex> lock(state->instanceLock);
  MultiVEnc_Trace(state, kTraceLine, "VEncoderSetParam()");
  QVAStatus status = QVA_SUCCESS;
  for (EncoderSlot& slot : state->slots) {
    if (slot.instance != nullptr) status = comp::SetParam(slot.instance, id, data, size);
  }
  return status;
}

QVAStatus VEncoderSendParamStats(MultiVEncState* state, const void* block) {
  MultiVEnc_Trace(state, kTraceLine, "VEncoderSendParamStats()");
  std::lock_guard<std::recursive_mutex> lock(state->instanceLock);
  std::memcpy(state->statistics, block, kStatisticsSize);
  state->statisticsKept = 1;
  for (EncoderSlot& slot : state->slots) {
    if (slot.instance != nullptr) comp::SetParam(slot.instance, QVA_PARAM_STATISTICS, state->statistics, kStatisticsSize);
  }
  return QVA_SUCCESS;
}

QVAStatus VEncoderGetParamStats(uint32_t count, MultiVEncState* state, uint8_t* blocks) {
  MultiVEnc_Trace(state, kTraceLine, "VEncoderSendParamStats()");
  std::lock_guard<std::recursive_mutex> lock(state->instanceLock);
  uint32_t filled = 0;
  QVAStatus status = QVA_SUCCESS;
  for (EncoderSlot& slot : state->slots) {
    if (filled >= count) break;
    if (slot.instance == nullptr) continue;
    // Each block is asked with the caller's control word, as one statistics request.
    uint8_t* block = blocks + static_cast<size_t>(filled) * kStatisticsSize;
    if (filled > 0) std::memcpy(block, blocks, kStatisticsSize);
    status = comp::GetParam(slot.instance, QVA_PARAM_STATISTICS, block, kStatisticsSize);
    ++filled;
  }
  return status;
}

void VEncoderFlush(MultiVEncState* state, uint32_t mode) {
  MultiVEnc_Trace(state, kTraceLine, "VEncoderFlush(0x%X)", mode);
  const uint32_t phase = state->flushPhase.load();
  if (phase >= kFlushing || state->loadedInstances == 0) return;
  if (mode == 1) {
    if (phase != kFlushNone) return;
    PreProcFlush(state->preproc, 1);
  } else {
    if (state->preproc != nullptr) state->preproc->flushWord = 2;  // stop waiting for late frames
    state->flushPhase = kFlushing;
    PreProcFlush(state->preproc, 0);
    MultiVEnc_CloseBatches(state);
    for (uint32_t n = 0; n < kMaxCollectInFlush && !state->aborting; ++n) {
      EncoderSlot* slot = MultiVEnc_OldestBusySlot(state);
      if (slot == nullptr) break;
      MultiVEnc_Collect(state, slot, 1);
    }
    // A single instance gets no end marker between batches: when the stream ends on a batch
    // boundary, its last batch was collected without one and the pictures it still holds back
    // would be lost. It gets its end of input and is collected once more.
    EncoderSlot& first = state->slots[0];
    if (!state->multi && first.instance != nullptr && first.unterminated && !state->aborting) {
      MultiVEnc_Collect(state, &first, 1);
    }
  }
  std::lock_guard<std::mutex> lock(state->pickLock);
  state->flushPhase = mode == 1 ? kFlushAnnounced : kFlushNone;
}

void VEncoderFlushWait(MultiVEncState* state) {
  MultiVEnc_Trace(state, kTraceLine, "VEncoderFlushWait()");
  if (state->flushPhase == kFlushNone) {
    std::lock_guard<std::recursive_mutex> lock(state->instanceLock);
    VEncoderFlush(state, 0);
    return;
  }
  for (EncoderSlot& slot : state->slots) {
    while (slot.instance != nullptr && IsEncoding(slot.state.load()) && state->flushPhase != kFlushEnding &&
           !state->aborting) {
      QVASleep(kSlotPollMs);
    }
  }
}

void VEncoderEnd(MultiVEncState* state) {
  std::lock_guard<std::recursive_mutex> lock(state->instanceLock);
  MultiVEnc_Trace(state, kTraceSpanStart, "VEncoderEnd");
  if (!state->begun || state->loadedInstances == 0) {
    state->loadedInstances = 0;
    MultiVEnc_Trace(state, kTraceSpanEnd, "VEncoderEnd");
    return;
  }
  VEncoderPrintStats(state);
  if (state->flushPhase == kFlushNone) VEncoderFlush(state, 1);
  if (state->flushPhase == kFlushAnnounced) VEncoderFlush(state, 0);
  state->flushPhase = kFlushEnding;
  if (state->preproc != nullptr) {
    PreProc_Destroy(state->preproc);
    state->preproc = nullptr;
  }
  EndInstances(state);
  state->endCount.fetch_add(1);
  state->flushPhase = kFlushNone;
  state->loadedInstances = 0;
  MultiVEnc_Trace(state, kTraceSpanEnd, "VEncoderEnd");
}

void MultiVEnc_Abort(MultiVEncState* state) {
  std::lock_guard<std::recursive_mutex> lock(state->instanceLock);
  if (state->preproc == nullptr && state->loadedInstances == 0) return;
  state->aborting = 1;
  if (state->preproc != nullptr) {
    PreProc_Destroy(state->preproc);
    state->preproc = nullptr;
  }
  EndInstances(state);
  state->loadedInstances = 0;
}

void VEncoderPrintStats(MultiVEncState* state) {
  const uint64_t elapsed = QVAGetTime() - state->startTime;
  const uint64_t frames = state->frameCounter.load();
  const uint64_t rate = elapsed != 0 ? frames * 10000 / elapsed : 0;  // tenths of frames per second
  char levels[kPrintedSlots * 2 + 1] = {};
  char counts[kPrintedSlots * 24] = {};
  size_t used = 0;
  for (uint32_t i = 0; i < kPrintedSlots; ++i) {
    EncoderSlot& slot = state->slots[i];
    std::lock_guard<std::mutex> lock(slot.lock);  // the dealing may still count frames
    levels[2 * i] = slot.gpu ? 'g' : 'c';
    levels[2 * i + 1] = static_cast<char>('0' + std::min<uint32_t>(slot.level.load(), 9));
    used += std::snprintf(counts + used, sizeof counts - used, "%d(%d)", static_cast<int>(slot.framesDealt),
                          static_cast<int>(slot.previousAverage));
  }
  QVADebugPrintf("TEngine(end)\n");
  QVADebugPrintf("TEngine(end): el=%d fps=%d.%d a=%s p=%s \n", static_cast<int>(elapsed), static_cast<int>(rate / 10),
                 static_cast<int>(rate % 10), kVersionText, levels);
  QVADebugPrintf("TEngine(end): %s\n", counts);
}
