// Which encoder instance receives the next frame, how frames fill batches of whole groups of
// pictures, and the priority levels that favour the faster instances.
#include <algorithm>
#include <vector>

#include "engine/multivenc/multivenc.h"

namespace {

constexpr uint32_t kMaxCollectInPick = 16;

bool IsLoaded(const EncoderSlot& slot) { return slot.instance != nullptr; }

// States in which a slot's batch is being encoded or waits for collection.
bool IsBusyLater(uint32_t state) { return state == ESTATE_FULL || state == ESTATE_CLOSED || state == ESTATE_DONE; }

uint32_t Throughput(const EncoderSlot& slot) {
  if (slot.bestRate != 0) return slot.bestRate;
  if (slot.averageRate != 0) return slot.averageRate;
  return slot.previousAverage;
}

void ClearMeasurements(EncoderSlot& slot) {
  const uint64_t now = QVAGetTime();
  slot.batchesMeasured = slot.batchFrames = slot.framesForAverage = 0;
  slot.previousDuration = slot.lastDuration = slot.totalDuration = slot.shortestDuration = 0;
  slot.averageRate = slot.bestRate = slot.previousAverage = 0;
  slot.batchStart = slot.batchEnd = now;
}

}  // namespace

void MultiVEnc_SetSlotState(EncoderSlot* slot, uint32_t state) {
  const uint32_t old = slot->state.exchange(state);
  if (slot->owner != nullptr && old != state) {
    MultiVEnc_Trace(slot->owner, kTraceLine, "EState[%d]=%02X->%02X", static_cast<int>(slot->index), old, state);
  }
}

EncoderSlot* MultiVEnc_OldestBusySlot(MultiVEncState* state) {
  EncoderSlot* filling = nullptr;
  EncoderSlot* oldest = nullptr;
  for (EncoderSlot& slot : state->slots) {
    if (!IsLoaded(slot)) continue;
    const uint32_t s = slot.state.load();
    if (s == ESTATE_FILLING && filling == nullptr) filling = &slot;
    if (IsBusyLater(s) && (oldest == nullptr || slot.firstFrame.load() < oldest->firstFrame.load())) oldest = &slot;
  }
  return oldest != nullptr ? oldest : filling;
}

EncoderSlot* MultiVEnc_PickSlot(MultiVEncState* state) {
  for (;;) {
    if (state->aborting) return nullptr;
    EncoderSlot* filling = nullptr;
    EncoderSlot* idle = nullptr;
    EncoderSlot* oldest = nullptr;
    uint32_t idleAtBest = 0;
    uint32_t done = 0;
    {
      std::lock_guard<std::mutex> lock(state->pickLock);
      for (EncoderSlot& slot : state->slots) {
        if (!IsLoaded(slot)) continue;
        const uint32_t s = slot.state.load();
        const uint32_t level = slot.level.load();
        if (s == ESTATE_FILLING) {
          if (filling == nullptr) filling = &slot;
        } else if (s == ESTATE_IDLE) {
          if (level < kLevelExcluded && (idle == nullptr || level < idle->level.load())) idle = &slot;
          if (level == kLevelBest) ++idleAtBest;
        } else if (IsBusyLater(s)) {
          if (oldest == nullptr || slot.firstFrame.load() < oldest->firstFrame.load()) oldest = &slot;
          if (s == ESTATE_DONE) ++done;
        }
      }
    }
    if (filling != nullptr) return filling;
    if (done > 0 && state->grouping && state->flushPhase == kFlushNone && (idle == nullptr || idleAtBest == 0)) {
      // Finished batches leave in stream order: only while the oldest busy one is done.
      for (uint32_t n = 0; n < kMaxCollectInPick; ++n) {
        EncoderSlot* next = MultiVEnc_OldestBusySlot(state);
        if (next == nullptr || next->state.load() != ESTATE_DONE) break;
        MultiVEnc_Collect(state, next, 1);
        if (next->state.load() == ESTATE_IDLE && next->level.load() < kLevelExcluded &&
            (idle == nullptr || next->level.load() < idle->level.load())) {
          idle = next;
        }
      }
    }
    if (idle != nullptr) return idle;
    if (oldest == nullptr) return nullptr;  // no instance can take frames
    MultiVEnc_Collect(state, oldest, 0);
  }
}

EncoderSlot* MultiVEnc_PickRoundRobin(MultiVEncState* state) {
  const uint32_t loaded = state->loadedInstances.load();
  if (loaded <= 1) return IsLoaded(state->slots[0]) ? &state->slots[0] : nullptr;
  for (uint32_t tries = 0; tries < 2 * loaded; ++tries) {
    if (state->aborting) return nullptr;
    EncoderSlot& slot = state->slots[state->dealIndex % loaded];
    const uint32_t s = slot.state.load();
    if (IsLoaded(slot) && s != ESTATE_IDLE && s != ESTATE_FILLING && s != ESTATE_FAILED) {
      MultiVEnc_Collect(state, &slot, 0);
    }
    if (IsLoaded(slot) && slot.running && slot.level.load() == kLevelBest &&
        (slot.state.load() == ESTATE_IDLE || slot.state.load() == ESTATE_FILLING)) {
      return &slot;
    }
    state->dealIndex = (state->dealIndex + 1) % loaded;
  }
  return nullptr;
}

bool MultiVEnc_StartBatch(MultiVEncState* state, EncoderSlot* slot, uint32_t frameNumber) {
  std::lock_guard<std::mutex> lock(slot->lock);
  if (slot->state.load() != ESTATE_IDLE) return false;
  MultiVEnc_SetSlotState(slot, ESTATE_FILLING);
  slot->firstFrame = frameNumber;
  slot->nextFrame = frameNumber;
  slot->firstGroup = slot->currentGroup = state->groupNumber++;
  slot->batchGroups = 0;
  slot->batchStartPending = 1;
  MultiVEnc_Trace(state, kTraceSpanStart, "Group %d(%df)", static_cast<int>(slot->firstGroup),
                  static_cast<int>(slot->regularGroupLength));
  return true;
}

void MultiVEnc_DealFrame(MultiVEncState* state, EncoderSlot* slot, uint32_t frameNumber) {
  std::lock_guard<std::mutex> lock(slot->lock);
  slot->nextFrame = frameNumber + 1;
  slot->framesInGroup++;
  const bool firstGroup = slot->groupsCompleted == 0 || slot->endMarkerSent.load() != 0;
  const uint32_t length = firstGroup ? slot->firstGroupLength : slot->regularGroupLength;
  if (slot->framesInGroup >= length) {
    slot->currentGroup++;
    slot->groupsCompleted++;
    slot->batchGroups++;
    state->totalGroups.fetch_add(1);
    slot->framesInGroup = 0;
    slot->endMarkerSent = 0;
  }
  if (slot->batchGroups >= slot->groupsPerBatch) {
    MultiVEnc_Trace(state, kTraceSpanEnd, "GroupEnd %d", static_cast<int>(slot->currentGroup));
    MultiVEnc_SetSlotState(slot, ESTATE_FULL);
    const uint32_t loaded = std::max<uint32_t>(state->loadedInstances.load(), 1);
    state->dealIndex = (state->dealIndex + 1) % loaded;
  }
}

void MultiVEnc_Rebalance(MultiVEncState* state) {
  std::lock_guard<std::mutex> lock(state->pickLock);
  // The measurements are the instances' workers' to write: read once, under each slot's lock.
  struct Reading {
    EncoderSlot* slot;
    uint32_t throughput;
    uint32_t bestRate;
    uint64_t shortest;
    bool gpu;
  };
  std::vector<Reading> running;
  for (EncoderSlot& slot : state->slots) {
    if (!IsLoaded(slot) || !slot.running || slot.level.load() >= kLevelExcluded) continue;
    std::lock_guard<std::mutex> slotLock(slot.lock);
    running.push_back({&slot, Throughput(slot), slot.bestRate, slot.shortestDuration, slot.gpu != 0});
  }
  uint32_t gpuCount = 0;
  uint32_t cpuCount = 0;
  uint32_t unmeasuredAtBest = 0;
  uint32_t unmeasuredOther = 0;
  for (const Reading& r : running) {
    (r.gpu ? gpuCount : cpuCount)++;
    if (r.throughput == 0) (r.slot->level.load() == kLevelBest ? unmeasuredAtBest : unmeasuredOther)++;
  }
  if (unmeasuredOther > 0 && unmeasuredAtBest == 0 && gpuCount > 0 && cpuCount > 0) {
    for (const Reading& r : running) {
      if (r.bestRate == 0) r.slot->level = kLevelBest;
    }
  }
  uint32_t changes = 0;
  for (const Reading& a : running) {
    if (a.throughput == 0) continue;
    for (const Reading& b : running) {
      if (b.slot == a.slot || b.throughput == 0 || b.slot->level.load() > a.slot->level.load()) continue;
      int64_t p = int64_t{a.throughput} * 100 / b.throughput;
      if (a.gpu && !b.gpu) p += 25;
      if (!a.gpu && b.gpu) p -= 25;
      uint32_t level;
      if (p > 115) level = a.slot->level.load() + 1;
      else if (p > 90) level = a.slot->level.load();
      else continue;
      level = std::min(level, kLevelExcluded);
      if (b.slot->level.exchange(level) != level) ++changes;
    }
  }
  // A GPU slot slower than the CPU slots on their shortest batches is excluded, one at a time.
  std::vector<EncoderSlot*> excluded;
  for (;;) {
    uint64_t gpuSum = 0, cpuSum = 0;
    uint32_t gpuMeasured = 0, cpuMeasured = 0;
    const Reading* slowestGpu = nullptr;
    for (const Reading& r : running) {
      if (r.slot->level.load() >= kLevelExcluded || r.shortest == 0) continue;
      if (r.gpu) {
        gpuSum += r.shortest;
        ++gpuMeasured;
        if (slowestGpu == nullptr || r.shortest > slowestGpu->shortest) slowestGpu = &r;
      } else {
        cpuSum += r.shortest;
        ++cpuMeasured;
      }
    }
    if (gpuMeasured == 0 || cpuMeasured == 0 || gpuSum * cpuMeasured <= cpuSum * gpuMeasured) break;
    slowestGpu->slot->level = kLevelExcluded;
    excluded.push_back(slowestGpu->slot);
    ++changes;
  }
  for (EncoderSlot* slot : excluded) {
    std::lock_guard<std::mutex> slotLock(slot->lock);
    ClearMeasurements(*slot);
  }
  const bool someAtBest = std::any_of(running.begin(), running.end(),
                                      [](const Reading& r) { return r.slot->level.load() == kLevelBest; });
  if (!(someAtBest && changes == 0)) {
    std::vector<uint32_t> levels;
    for (const Reading& r : running) {
      if (r.slot->level.load() < kLevelExcluded) levels.push_back(r.slot->level.load());
    }
    std::sort(levels.begin(), levels.end());
    levels.erase(std::unique(levels.begin(), levels.end()), levels.end());
    for (const Reading& r : running) {
      const uint32_t level = r.slot->level.load();
      if (level >= kLevelExcluded) continue;
      r.slot->level = static_cast<uint32_t>(std::lower_bound(levels.begin(), levels.end(), level) - levels.begin());
    }
    for (EncoderSlot& slot : state->slots) {
      std::lock_guard<std::mutex> slotLock(slot.lock);
      slot.bestRate = 0;
      slot.changed = 0;
    }
  }
  uint32_t active = 0;
  for (const Reading& r : running) active += r.slot->level.load() < kLevelExcluded ? 1 : 0;
  state->activeInstances = active;
  state->batchesSinceRebalance = 0;
}
