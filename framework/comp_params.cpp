// Parameters, callbacks, statistics, frame accounting, timestamps and progress events.
#include <algorithm>
#include <cstring>

#include "framework/comp_internal.h"
#include "framework/qva_component.h"

namespace {

using orx::framework::kStreamStarted;
using orx::framework::kEosReached;
using orx::framework::kEosMarkerSent;

constexpr uint16_t kStatisticsMarker = 129;
constexpr uint32_t kDefaultEventCount = 500;
constexpr uint32_t kBufferLevelKind = 2;

bool Counting(const ComponentInstance* instance) {
  return (instance->statistics.stateBits & QVA_STATS_COUNTING) != 0;
}

uint32_t Now32() { return static_cast<uint32_t>(QVAGetTime()); }

// Sets the statistics state bits (under the state lock) and the counting word read without it.
void SetStatisticsBits(ComponentInstance* instance, uint32_t bits) {
  instance->statistics.stateBits = bits;
  instance->statisticsCounting = (bits & QVA_STATS_COUNTING) != 0 ? 1 : 0;
}

// The pin a PinBufferConfig index names: input pins first, then output pins.
ComponentPin* PinByIndex(ComponentInstance* instance, uint32_t index) {
  const uint32_t inputs = std::min(instance->inputPins, kQVAInputPinSlots);
  const uint32_t outputs = std::min(instance->outputPins, kQVAOutputPinSlots);
  if (index < inputs) return &instance->inputPin[index];
  if (index - inputs < outputs) return &instance->outputPin[index - inputs];
  return nullptr;
}

uint32_t ByValue(void* data) { return static_cast<uint32_t>(reinterpret_cast<uintptr_t>(data)); }

QVAStatus SetLog(ComponentInstance* instance, const LogSetup& setup) {
  instance->logLevel = setup.level;
  if (setup.level == 0 || !(setup.flags & QVA_LOGFLAG_KEEP_MANAGER)) return QVA_SUCCESS;
  // A shared manager replaces the one in use; the instance's own stays until its release.
  if (setup.managerCount != 0) instance->eventManager = setup.managers[0];
  if (instance->eventManager.load() == nullptr) {
    if (instance->ownedEventManager == nullptr) {
      const uint32_t count = setup.eventCount != 0 ? setup.eventCount : kDefaultEventCount;
      EventManager* manager = EventManager_Create(count, orx::framework::LibraryName().c_str());
      if (manager == nullptr) return QVA_SUCCESS;  // the instance simply keeps no trace
      EventManager_SetOwner(manager, instance);
      instance->ownedEventManager = manager;
    }
    instance->eventManager = instance->ownedEventManager;
  }
  return QVA_SUCCESS;
}

QVAStatus SetBuffers(ComponentInstance* instance, const PinBufferConfig& config) {
  ComponentPin* pin = PinByIndex(instance, config.pinIndex);
  if (pin == nullptr) return QVA_ERR_BADARG;
  if (pin->queue != nullptr) {
    if (config.flags & QVA_PINBUF_FILL_LIMIT_ONE) BufferQueue_SetLimit(pin->queue, QVA_QUEUE_LIMIT_ONE, 0, 0, 0);
    else if (config.flags & QVA_PINBUF_NO_FILL_LIMIT) BufferQueue_SetLimit(pin->queue, QVA_QUEUE_LIMIT_NONE, 0, 0, 0);
  }
  // The values are used when the pin's queue is next made.
  if (config.bufferCount != 0 && config.bufferSize != 0) {
    pin->bufferCount = config.bufferCount;
    pin->bufferSize = config.bufferSize;
  } else if (config.hold == 0) {
    if (config.bufferSize != 0) pin->bufferSize = config.bufferSize;
    else if (config.bufferCount != 0) pin->bufferCount = config.bufferCount;
  }
  return QVA_SUCCESS;
}

QVAStatus GetBuffers(ComponentInstance* instance, PinBufferConfig* config) {
  const uint32_t index = config->pinIndex;
  ComponentPin* pin = PinByIndex(instance, index);
  if (pin == nullptr) return QVA_ERR_BADARG;
  std::memset(config, 0, sizeof *config);
  config->pinIndex = index;
  config->bufferCount = pin->bufferCount;
  config->bufferSize = pin->bufferSize;
  uint32_t inUse = 0, bytes = 0;
  if (pin->queue != nullptr && BufferQueue_GetStatus(pin->queue, nullptr, nullptr, &inUse, &bytes) == QVA_SUCCESS) {
    config->flags |= QVA_PINBUF_STATUS_VALID;
    config->bytesQueued = bytes;
    config->slotsInUse = inUse;
  }
  return QVA_SUCCESS;
}

void ApplyStatisticsControl(ComponentInstance* instance, uint32_t control) {
  if (control & QVA_STATS_CONTROL_RESET) CompBase_ResetStatistics(instance);
  if (control & QVA_STATS_CONTROL_START) CompBase_StartStatistics(instance, 0);
  if (control & QVA_STATS_CONTROL_STOP) CompBase_StopStatistics(instance);
  if (control & QVA_STATS_CONTROL_PAUSE) CompBase_PauseStatistics(instance);
}

QVAStatus GetStatistics(ComponentInstance* instance, void* data) {
  uint32_t control;
  std::memcpy(&control, static_cast<char*>(data) + offsetof(CompStatistics, stateBits), sizeof control);
  orx::framework::ScopedLock lock(instance->stateLock);
  if (control & QVA_STATS_CONTROL_START) {
    if (control & QVA_STATS_CONTROL_RESET) CompBase_ResetStatistics(instance);
    CompBase_StartStatistics(instance, 0);
  } else {
    if (control & QVA_STATS_CONTROL_STOP) CompBase_StopStatistics(instance);
    if (control & QVA_STATS_CONTROL_RESET) CompBase_ResetStatistics(instance);
  }
  if (control & QVA_STATS_CONTROL_PAUSE) CompBase_PauseStatistics(instance);
  if (!(instance->statistics.stateBits & (QVA_STATS_PAUSED | QVA_STATS_STOPPED))) {
    CompBase_SnapshotStatistics(instance);
  }
  CompStatistics answer = instance->statistics;
  const uint32_t timed = answer.timedFrames;
  answer.averageTime = timed != 0 ? static_cast<uint32_t>(answer.totalProcessingTime / timed) : 0;
  std::memcpy(data, &answer, sizeof answer);
  return QVA_SUCCESS;
}

QVAStatus GetProgress(ComponentInstance* instance, ProgressInfo* info) {
  const uint32_t asked = info->classBits;
  uint32_t bytesInput, bytesOutput;
  {
    orx::framework::ScopedLock lock(instance->stateLock);
    bytesInput = instance->statistics.bytesInput;
    bytesOutput = instance->statistics.bytesOutput;
  }
  const uint32_t timestampLow = static_cast<uint32_t>(instance->timestamp.load());
  const uint32_t state = instance->state.load();
  uint32_t taken;
  if (asked & QVA_PROGRESSINFO_AUDIO) taken = QVA_PROGRESSINFO_AUDIO;
  else if (asked & QVA_PROGRESSINFO_VIDEO) taken = QVA_PROGRESSINFO_VIDEO;
  else if (asked & QVA_PROGRESSINFO_OTHER) taken = QVA_PROGRESSINFO_OTHER;
  else return QVA_ERR_BADARG;
  info->size = sizeof *info;
  info->classBits = taken;
  info->instance = instance;
  info->reserved16 = 0;
  info->bytesInput = bytesInput;
  info->bytesOutput = bytesOutput;
  if (taken == QVA_PROGRESSINFO_OTHER) {
    info->framesOrTimestampLow = timestampLow;
    info->progressKind = 0;
    info->timestampLowOrState = state;
  } else {
    info->framesOrTimestampLow = instance->framesSinceStart.load();
    info->progressKind = taken == QVA_PROGRESSINFO_AUDIO ? QVA_PROGRESS_KIND_AUDIO : QVA_PROGRESS_KIND_VIDEO;
    info->timestampLowOrState = timestampLow;
    info->reserved40 = 0;
    info->state = state;
  }
  return QVA_SUCCESS;
}

void SendProgressRecord(ComponentInstance* instance, uint32_t eventId, uint32_t flags, uint32_t frames,
                        uint32_t kind) {
  ProgressRecord record{};
  record.size = sizeof record;
  record.flags = flags;
  record.instance = instance;
  record.frames = frames;
  record.progressKind = kind;
  record.timestampLow = static_cast<uint32_t>(instance->timestamp.load());
  orx::framework::SendEvent(instance, eventId, &record, sizeof record);
}

void SendLevel(ComponentInstance* instance, uint32_t count, uint32_t inUse, uint32_t used, uint32_t freeBytes) {
  BufferLevelRecord record{};
  record.size = sizeof record;
  record.eventId = PROGRESS_BUFFER;
  record.instance = instance;
  record.timestamp = instance->timestamp.load();
  record.kind = kBufferLevelKind;
  record.bytesUsed = used;
  record.bytesFree = freeBytes;
  record.slotsInUse = inUse;
  record.slotCount = count;
  orx::framework::SendEvent(instance, PROGRESS_BUFFER, &record, sizeof record);
}

}  // namespace

namespace orx::framework {

void CountInputBuffer(ComponentInstance* instance, uint32_t bytes) {
  if (instance->statisticsCounting.load() == 0) return;
  orx::framework::ScopedLock lock(instance->stateLock);
  if (!Counting(instance)) return;
  instance->statistics.buffersInput = instance->statistics.buffersInput + 1;
  instance->statistics.bytesInput = instance->statistics.bytesInput + bytes;
}

void CountProcessedBuffer(ComponentInstance* instance, uint32_t bytes) {
  if (instance->statisticsCounting.load() == 0) return;
  orx::framework::ScopedLock lock(instance->stateLock);
  if (!Counting(instance)) return;
  instance->statistics.buffersProcessed = instance->statistics.buffersProcessed + 1;
  instance->statistics.bytesProcessed = instance->statistics.bytesProcessed + bytes;
}

}  // namespace orx::framework

QVAStatus CompBase_SetParam(ComponentInstance* instance, uint32_t id, void* data, uint32_t size) {
  if (instance == nullptr) return QVA_ERR_BADHANDLE;
  if (data == nullptr) return QVA_ERR_BADARG;  // so a by-value parameter cannot be set to 0
  switch (id) {
    case QVA_PARAM_LOG:
      if (size < sizeof(LogSetup)) return QVA_ERR_BADARG;
      return SetLog(instance, *static_cast<LogSetup*>(data));
    case QVA_PARAM_BUFFERS: {
      if (size < sizeof(PinBufferConfig)) return QVA_ERR_BADARG;
      PinBufferConfig config;
      std::memcpy(&config, data, sizeof config);
      return SetBuffers(instance, config);
    }
    case QVA_PARAM_PRIORITY:
      CompBase_SetPriority(instance, static_cast<int32_t>(ByValue(data)));
      return QVA_SUCCESS;
    case QVA_PARAM_STATISTICS: {
      if (size < sizeof(CompStatistics)) return QVA_ERR_BADARG;
      uint32_t control;
      std::memcpy(&control, static_cast<char*>(data) + offsetof(CompStatistics, stateBits), sizeof control);
      orx::framework::ScopedLock lock(instance->stateLock);
      ApplyStatisticsControl(instance, control);
      return QVA_SUCCESS;
    }
    case QVA_PARAM_PROGRESS_INTERVAL:
      instance->progressInterval = ByValue(data);
      return QVA_SUCCESS;
    case QVA_PARAM_LOGLEVEL:
      instance->logLevel = ByValue(data);
      return QVA_SUCCESS;
    default:
      return QVA_ERR_UNSUPPORTED;
  }
}

QVAStatus CompBase_GetParam(ComponentInstance* instance, uint32_t id, void* data, uint32_t size) {
  if (instance == nullptr) return QVA_ERR_BADHANDLE;
  if (data == nullptr) return QVA_ERR_BADARG;
  auto writeWord = [&](uint32_t value) {
    if (size < sizeof value) return QVA_ERR_BADARG;
    std::memcpy(data, &value, sizeof value);
    return QVA_SUCCESS;
  };
  switch (id) {
    case QVA_PARAM_LOG: {
      if (size < sizeof(LogSetup)) return QVA_ERR_BADARG;
      auto* setup = static_cast<LogSetup*>(data);
      setup->level = instance->logLevel.load();
      if (EventManager* manager = instance->eventManager.load()) {
        setup->managerCount = 1;
        setup->managers[0] = manager;
      }
      return QVA_SUCCESS;
    }
    case QVA_PARAM_BUFFERS: {
      if (size < sizeof(PinBufferConfig)) return QVA_ERR_BADARG;
      PinBufferConfig config;
      std::memcpy(&config, data, sizeof config);
      const QVAStatus status = GetBuffers(instance, &config);
      if (status == QVA_SUCCESS) std::memcpy(data, &config, sizeof config);
      return status;
    }
    case QVA_PARAM_PRIORITY:
      return writeWord(static_cast<uint32_t>(instance->workerPriority));
    case QVA_PARAM_STATISTICS:
      if (size < sizeof(CompStatistics)) return QVA_ERR_BADARG;
      return GetStatistics(instance, data);
    case QVA_PARAM_PROGRESS_INTERVAL:
      return writeWord(instance->progressInterval.load());
    case QVA_PARAM_PROGRESS:
      if (size < sizeof(ProgressInfo)) return QVA_ERR_BADARG;
      return GetProgress(instance, static_cast<ProgressInfo*>(data));
    case QVA_PARAM_LOGLEVEL:
      return writeWord(instance->logLevel.load());
    default:
      return QVA_ERR_UNSUPPORTED;
  }
}

QVAStatus CompBase_SetErrorCallback(ComponentInstance* instance, QVAErrorCallbackFn callback, void* user) {
  instance->errorUser = user;
  instance->errorCallback = callback;
  return QVA_SUCCESS;
}

QVAStatus CompBase_SetEventCallback(ComponentInstance* instance, QVAEventCallbackFn callback, uint32_t eventMask,
                                    void* user) {
  instance->eventUser = user;
  instance->eventMask = eventMask;
  instance->eventCallback = callback;
  return QVA_SUCCESS;
}

void CompBase_ReportError(ComponentInstance* instance, QVAStatus status, uint32_t detail) {
  instance->lastStatus = status;
  if (QVAErrorCallbackFn callback = instance->errorCallback.load()) {
    callback(instance, status, detail, instance->errorUser.load());
  }
}

QVAStatus CompBase_ResetStatistics(ComponentInstance* instance) {
  orx::framework::ScopedLock lock(instance->stateLock);
  CompStatistics& s = instance->statistics;
  std::memset(&s, 0, sizeof s);
  s.typeFlags = instance->typeFlags;
  SetStatisticsBits(instance, QVA_STATS_RESET);
  s.blockMarker = kStatisticsMarker;
  s.resetMarker = kStatisticsMarker;
  s.startTime = QVAGetTime();
  return QVA_SUCCESS;
}

QVAStatus CompBase_StartStatistics(ComponentInstance* instance, uint32_t) {
  orx::framework::ScopedLock lock(instance->stateLock);
  CompStatistics& s = instance->statistics;
  const uint32_t bits = s.stateBits;
  if ((bits & 0xF000) && !(bits & QVA_STATS_STOPPED)) return QVA_SUCCESS;  // counting or paused
  std::memset(&s, 0, sizeof s);
  s.typeFlags = instance->typeFlags;
  SetStatisticsBits(instance, QVA_STATS_RESET | QVA_STATS_COUNTING);
  s.blockMarker = kStatisticsMarker;
  s.startTime = QVAGetTime();
  return QVA_SUCCESS;
}

QVAStatus CompBase_SnapshotStatistics(ComponentInstance* instance) {
  orx::framework::ScopedLock lock(instance->stateLock);
  instance->statistics.sampleTime = QVAGetTime();
  instance->statistics.sampleTimestamp = instance->timestamp.load();
  return QVA_SUCCESS;
}

QVAStatus CompBase_PauseStatistics(ComponentInstance* instance) {
  orx::framework::ScopedLock lock(instance->stateLock);
  CompStatistics& s = instance->statistics;
  if (!(s.stateBits & QVA_STATS_COUNTING)) return QVA_ERR_WRONGSTATE;
  CompBase_SnapshotStatistics(instance);
  SetStatisticsBits(instance, (s.stateBits & ~(QVA_STATS_COUNTING | QVA_STATS_STOPPED)) | QVA_STATS_PAUSED);
  s.pauseTime = QVAGetTime();
  return QVA_SUCCESS;
}

QVAStatus CompBase_StopStatistics(ComponentInstance* instance) {
  orx::framework::ScopedLock lock(instance->stateLock);
  CompStatistics& s = instance->statistics;
  if (s.stateBits & QVA_STATS_COUNTING) {
    CompBase_SnapshotStatistics(instance);
    SetStatisticsBits(instance, (s.stateBits & ~(QVA_STATS_COUNTING | QVA_STATS_PAUSED)) | QVA_STATS_STOPPED);
    s.pauseTime = QVAGetTime();
    return QVA_SUCCESS;
  }
  if (s.stateBits & QVA_STATS_PAUSED) {
    SetStatisticsBits(instance, (s.stateBits & ~(QVA_STATS_COUNTING | QVA_STATS_PAUSED)) | QVA_STATS_STOPPED);
    return QVA_SUCCESS;
  }
  return QVA_ERR_WRONGSTATE;
}

void CompBase_CountFrame(ComponentInstance* instance, uint32_t, uint32_t value, uint32_t flags) {
  if (flags & QVA_COUNT_NEW_STREAM) {
    // A new stream ends the previous one downstream first.
    if (instance->streamStartWord.load() != 0 && instance->eosWord.load() == 0 &&
        instance->framesSinceStart.load() != 0) {
      CompBase_SetEOS(instance, kEosReached);
      CompBase_UpdateProgress(instance);
    }
    if (instance->eosWord.load() & kEosMarkerSent) {
      CompBase_SetEOS(instance, 0);
      CompBase_SetStreamStart(instance, 0);
    }
    CompBase_SetStreamStart(instance, kStreamStarted);
    instance->framesSinceStart = 0;
    CompBase_UpdateProgress(instance);
  }
  if (flags & QVA_COUNT_FINISHED) {
    instance->framesSinceStart++;
    if (instance->progressKind.load() != 0) instance->progressKind = value;
    if (instance->eosWord.load() & kEosMarkerSent) CompBase_SetEOS(instance, 0);
    if (instance->streamStartWord.load() == 0 && instance->eosWord.load() == 0) {
      CompBase_SetStreamStart(instance, kStreamStarted);
      instance->framesSinceStart = 0;
    }
  }
  {
    orx::framework::ScopedLock lock(instance->stateLock);
    CompStatistics& s = instance->statistics;
    if (Counting(instance)) {
      if (flags & QVA_COUNT_START) {
        s.timingRing[s.timedFrames % 30] = Now32();
        s.timedFrames = s.timedFrames + 1;
      }
      if (flags & QVA_COUNT_FINISHED) {
        s.framesProcessed = s.framesProcessed + 1;
        if (s.timedFrames != 0) {
          const uint32_t slot = (s.timedFrames - 1) % 30;
          const uint32_t d = Now32() - s.timingRing[slot];
          s.timingRing[slot] = d;
          s.totalProcessingTime = s.totalProcessingTime + d;
          if (s.timedFrames == 1) {
            s.shortestTime = s.longestTime = d;
          } else {
            if (d > s.longestTime) s.longestTime = d;
            if (s.shortestTime == 0 || d < s.shortestTime) s.shortestTime = d;
          }
        }
      }
      if (flags & QVA_COUNT_RENDERED) s.framesRendered = s.framesRendered + 1;
      if (flags & QVA_COUNT_INPUT) {
        s.framesInput = s.framesInput + 1;
        s.framesInputSecondCount = s.framesInputSecondCount + 1;
      }
      if (flags & QVA_COUNT_SKIPPED) {
        if (instance->progressKind.load() != 0) instance->progressKind = value;
        s.framesSkipped = s.framesSkipped + 1;
      }
    }
  }
  if (flags & QVA_COUNT_STREAM_ENDS) CompBase_SetEOS(instance, kEosReached);
}

void CompBase_CountOutput(ComponentInstance* instance, uint32_t bytes, uint32_t bytes2) {
  orx::framework::ScopedLock lock(instance->stateLock);
  if (!Counting(instance)) return;
  CompStatistics& s = instance->statistics;
  s.buffersProcessed = s.buffersProcessed + 1;
  s.bytesInput = s.bytesInput + bytes;
  s.bytesProcessed = s.bytesProcessed + bytes2;
}

void CompBase_SetTimestamp(ComponentInstance* instance, uint32_t, uint32_t low, uint32_t high) {
  instance->timestamp = (uint64_t{high} << 32) | low;
  instance->timestampState = 1;
}

QVAStatus CompBase_GetTimestamp(ComponentInstance* instance, uint32_t, uint64_t* outTimestamp) {
  if (instance->timestampState.load() == 0) return QVA_ERR_NOTFOUND;
  if (outTimestamp != nullptr) *outTimestamp = instance->timestamp.load();
  return QVA_SUCCESS;
}

QVAStatus CompBase_SendProgress(ComponentInstance* instance, uint32_t outputPin) {
  if (outputPin >= kQVAOutputPinSlots) return QVA_ERR_BADPIN;
  if (instance->timestampState.load() != 1) return QVA_SUCCESS;
  ComponentPin& pin = instance->outputPin[outputPin];
  const uint32_t now = Now32();
  if (instance->eventCallback.load() != nullptr && now - pin.lastProgressTime >= instance->progressInterval.load()) {
    const uint32_t mask = instance->eventMask.load();
    const uint32_t kind = instance->progressKind.load();
    const uint32_t frames = instance->framesSinceStart.load();
    if ((mask & PROGRESS_AUDIO) && (kind & QVA_PROGRESS_KIND_AUDIO)) {
      SendProgressRecord(instance, PROGRESS_AUDIO, QVA_PROGRESS_PERIODIC, frames, kind);
      pin.lastProgressTime = now;
    }
    if ((mask & PROGRESS_VIDEO) && (kind & QVA_PROGRESS_KIND_VIDEO)) {
      SendProgressRecord(instance, PROGRESS_VIDEO, QVA_PROGRESS_PERIODIC, frames, kind);
      pin.lastProgressTime = now;
    }
  }
  instance->timestampState = 2;
  return QVA_SUCCESS;
}

void CompBase_SetProgressPending(ComponentInstance* instance, uint32_t value) { instance->progressPending = value; }

void CompBase_SetFormatKeepsStream(ComponentInstance* instance, uint32_t value) {
  instance->formatKeepsStream = value;
}

uint32_t CompBase_GetProgressPending(ComponentInstance* instance) { return instance->progressPending.load(); }

std::atomic<uint32_t>* CompBase_GetLogSettings(ComponentInstance* instance) { return &instance->logLevel; }

void CompBase_SendStreamEvent(ComponentInstance* instance, uint32_t flags) {
  if (instance->eventCallback.load() == nullptr) return;
  StreamEventRecord record{};
  record.size = sizeof record;
  record.flags = flags;
  record.instance = instance;
  if (instance->timestampState.load() == 1) {
    record.flags |= QVA_STREAMEVENT_TIME;
    record.timestamp = instance->timestamp.load();
  }
  orx::framework::SendEvent(instance, PROGRESS_STREAM, &record, sizeof record);
}

void CompBase_SendBufferEvent(ComponentInstance* instance) {
  uint32_t count = 0, size = 0, inUse = 0, used = 0;
  if (BufferQueue_GetStatus(instance->inputPin[0].queue, &count, &size, &inUse, &used) != QVA_SUCCESS) return;
  SendLevel(instance, count, inUse, used, (count - inUse) * size);
}

void CompBase_SendBufferLevel(ComponentInstance* instance, uint32_t slotCount, uint32_t slotSize,
                              uint32_t slotsInUse, uint32_t bytesUsed) {
  if (!(instance->eventMask.load() & PROGRESS_BUFFER)) return;
  const uint32_t freeBytes = slotCount != 0 && slotsInUse != 0 ? (slotCount - slotsInUse) * slotSize : slotSize;
  SendLevel(instance, slotCount, slotsInUse, bytesUsed, freeBytes);
}

void CompBase_OnQueueState(QVAHandle, uint32_t, void* context) {
  auto* instance = static_cast<ComponentInstance*>(context);
  if (instance->eventCallback.load() != nullptr && (instance->eventMask.load() & PROGRESS_BUFFER)) {
    CompBase_SendBufferEvent(instance);
  }
}
