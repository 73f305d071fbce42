#include "framework/buffer_queue.h"

#include <algorithm>
#include <atomic>
#include <cstring>
#include <new>
#include <string>
#include <vector>

#include "framework/qva_clock.h"
#include "framework/qva_memory.h"

namespace {

// The queue's masks name every bit a component of this system defines; the few bits that none
// defines stay in a literal, sorted as the buffer protocol fixes them.
// Flags a split write keeps on its first piece only.
constexpr uint32_t kFirstPieceFlags = QVA_BUFFLAG_SYNCPOINT | QVA_BUFFLAG_PARTIAL | QVA_BUFFLAG_SEEK |
                                      QVA_BUFFLAG_SEEKHIGH | QVA_BUFFLAG_RESUME | QVA_BUFFLAG_BATCHSTART |
                                      QVA_BUFFLAG_STREAMSTART | QVA_BUFFLAG_FLUSH | QVA_BUFFLAG_TIMESTAMP |
                                      0x02000800;
// Flags that end a joining read after the slot that carries them.
constexpr uint32_t kJoinEndFlags = QVA_BUFFLAG_ENDTIME | QVA_BUFFLAG_EOI | QVA_BUFFLAG_EOS | QVA_BUFFLAG_FORMAT |
                                   QVA_BUFFLAG_KEEP | 0x08000000;
// Flags a caller's record receives from a slot that a read begins to take partly: every flag
// below bit 27 but the record's handling, its ends and the component word's validity.
constexpr uint32_t kPartialStartFlags =
    0x07FFFFFF & ~(QVA_BUFFLAG_UNITEND | QVA_BUFFLAG_REFHANDLE | QVA_BUFFLAG_EXTERNAL | QVA_BUFFLAG_INPLACE |
                   QVA_BUFFLAG_ENDTIME | QVA_BUFFLAG_COMPONENTWORD | QVA_BUFFLAG_EOI | QVA_BUFFLAG_EOS);
// Flags a caller's record receives from the rest of a partly read slot.
constexpr uint32_t kPartialRestFlags = QVA_BUFFLAG_UNITEND | QVA_BUFFLAG_FORCEKEYFRAME | QVA_BUFFLAG_FORMAT |
                                       QVA_BUFFLAG_VIDEO | QVA_BUFFLAG_AUDIO | QVA_BUFFLAG_KEEP | 0x00C00080;
static_assert(kFirstPieceFlags == 0x030AAF10 && kJoinEndFlags == 0x0C054020 &&
              kPartialStartFlags == 0x07FEBF90 && kPartialRestFlags == 0x04F41081);
// Component flags removed from a slot when a read first takes part of it.
constexpr uint32_t kPartialClearedFlags = QVA_BUFFLAG_REFHANDLE | QVA_BUFFLAG_SEEKHIGH;
// Source flags that carry their sequence field, and the component word, into the pieces of a write.
constexpr uint32_t kCopySequenceFlags = QVA_BUFFLAG_SEQUENCE | QVA_BUFFLAG_COPYSEQUENCE;
constexpr uint32_t kCopyComponentWordFlags =
    QVA_BUFFLAG_COMPONENTWORD | QVA_BUFFLAG_COPYCOMPONENTWORD | QVA_BUFFLAG_COPYSEQUENCE;
constexpr uint32_t kClosePollMs = 50;
constexpr size_t kNameSize = 32;
// Slot data starts on a cache line, so a copy into or out of a slot of whole lines touches no
// line twice.
constexpr uintptr_t kSlotDataAlign = 64;

// A cache line each, so that the producer filling one slot and the consumer reading the next do
// not pull one line back and forth between their processors.
struct alignas(64) QueueSlot {
  std::atomic<uint32_t> state{QVA_SLOT_FREE};  // read without the lock by a waiting close
  ComponentBuffer record{};
  uint8_t* dataBase = nullptr;
  uint32_t capacity = 0;
  uint32_t sequence = 0;
  // Held for writing across a flush: its commit frees it instead of queueing stale data.
  bool discardOnFullCommit = false;
};

// One slot array with its memory. The current generation is the ring; a generation replaced by
// a resize stays alive while a producer or consumer still holds one of its slots.
struct SlotGeneration {
  QueueSlot* slots = nullptr;
  void* slotBlock = nullptr;  // the allocation the aligned slot array lies in
  uint8_t* firstData = nullptr;  // slot i's memory starts at firstData + i * slotSize
  uint32_t count = 0;
  uint32_t slotSize = 0;
  void* dataBlock = nullptr;
  uint32_t held = 0;  // retired generations only
};

struct BufferQueue {
  char name[kNameSize] = {};
  uint32_t direction = 0;
  uint32_t lastWaitState = QVA_SLOT_FREE;
  BufferQueueStateFn stateCallback = nullptr;
  void* stateContext = nullptr;
  QVAPinCallbackFn freeCallback = nullptr;
  QVAPinCallbackFn fullCallback = nullptr;
  ComponentInstance* callbackInstance = nullptr;
  uint32_t callbackPin = 0;
  void* callbackUser = nullptr;
  SlotGeneration ring;
  std::vector<SlotGeneration> retired;
  uint32_t slotsInUse = 0;  // ring slots that are not free
  uint32_t nextSequence = 0;
  uint32_t readIndex = 0;
  uint32_t writeIndex = 0;
  QVAHandle fullEvent = nullptr;
  QVAHandle freeEvent = nullptr;
  QVAHandle lock = nullptr;
  std::atomic<uint32_t> closed{0};
  uint32_t fillLimit = 0;
  // Events to signal as the lock is left, once for all the changes made while it was held.
  uint32_t pendingSignals = 0;
};

constexpr uint32_t kSignalFull = 1;
constexpr uint32_t kSignalFree = 2;

BufferQueue* Queue(QVAHandle handle) { return static_cast<BufferQueue*>(QVAHandleData(handle, nullptr)); }

// The queue's lock; events raised while it is held are signalled as it is left, still under it:
// once the lock is free, a thread destroying the queue may delete the events, so a signal sent
// after the unlock could reach freed memory.
class QueueLock {
 public:
  explicit QueueLock(BufferQueue* q) : q_(q) { QVALock(q_->lock); }
  ~QueueLock() {
    if (held_) Leave();
  }
  void Release() {
    Leave();
    held_ = false;
  }
  void Retake() {
    QVALock(q_->lock);
    held_ = true;
  }
  QueueLock(const QueueLock&) = delete;
  QueueLock& operator=(const QueueLock&) = delete;

 private:
  void Leave() {
    const uint32_t signals = q_->pendingSignals;
    q_->pendingSignals = 0;
    if (signals & kSignalFull) QVASetEvent(q_->fullEvent);
    if (signals & kSignalFree) QVASetEvent(q_->freeEvent);
    QVAUnlock(q_->lock);
  }

  BufferQueue* q_;
  bool held_ = true;
};

uint32_t RoundSlotSize(uint32_t size) { return static_cast<uint32_t>((uint64_t{size} + 15) & ~uint64_t{15}); }

void ResetRecord(QueueSlot& slot) {
  slot.record = ComponentBuffer{};
  slot.record.frameworkMark = 1;
  slot.record.data = slot.dataBase;
  slot.record.capacity = slot.capacity;
}

void FreeGeneration(SlotGeneration& generation) {
  if (generation.slots != nullptr) {
    for (uint32_t i = 0; i < generation.count; ++i) generation.slots[i].~QueueSlot();
  }
  if (generation.slotBlock != nullptr) QVAFree(generation.slotBlock);
  if (generation.dataBlock != nullptr) QVAFree(generation.dataBlock);
  generation = SlotGeneration{};
}

// Slot memory and slot array for count slots of slotSize bytes (already a multiple of 16); the
// block size is computed in 64 bits, and what cannot be allocated answers 4.
QVAStatus MakeGeneration(uint32_t slotSize, uint32_t count, SlotGeneration* out) {
  SlotGeneration generation;
  generation.count = count;
  generation.slotSize = slotSize;
  generation.dataBlock = QVAMalloc(uint64_t{count} * slotSize + kSlotDataAlign);
  generation.slotBlock = QVAMalloc(uint64_t{count} * sizeof(QueueSlot) + alignof(QueueSlot));
  if (generation.dataBlock == nullptr || generation.slotBlock == nullptr) {
    if (generation.dataBlock) QVAFree(generation.dataBlock);
    if (generation.slotBlock) QVAFree(generation.slotBlock);
    return QVA_ERR_NOMEMORY;
  }
  const auto slotBase = reinterpret_cast<uintptr_t>(generation.slotBlock);
  generation.slots = reinterpret_cast<QueueSlot*>((slotBase + alignof(QueueSlot) - 1) & ~uintptr_t{alignof(QueueSlot) - 1});
  auto base = reinterpret_cast<uintptr_t>(generation.dataBlock);
  auto* first = reinterpret_cast<uint8_t*>((base + kSlotDataAlign - 1) & ~uintptr_t{kSlotDataAlign - 1});
  generation.firstData = first;
  for (uint32_t i = 0; i < count; ++i) {
    QueueSlot* slot = new (&generation.slots[i]) QueueSlot;
    slot->dataBase = first + uint64_t{i} * slotSize;
    slot->capacity = slotSize;
    ResetRecord(*slot);
  }
  *out = generation;
  return QVA_SUCCESS;
}

bool Held(uint32_t state) { return state == QVA_SLOT_WRITING || state == QVA_SLOT_READING; }

void ReportFree(BufferQueue* q, QueueSlot& slot) {
  if (q->freeCallback) q->freeCallback(q->callbackInstance, &slot.record, q->callbackPin, q->callbackUser);
}

// Visits the ring slots a taker of full slots may find, in ring order from the read index up
// to the write index (the whole ring when every slot is in use, none when none is).
template <typename Visit>
QueueSlot* SearchFromRead(BufferQueue* q, Visit visit) {
  const uint32_t count = q->ring.count;
  if (q->slotsInUse == 0 && q->readIndex == q->writeIndex) return nullptr;
  uint32_t i = q->readIndex;
  do {
    if (visit(q->ring.slots[i])) return &q->ring.slots[i];
    i = (i + 1) % count;
  } while (i != q->writeIndex);
  return nullptr;
}

// Every ring slot in ring order from the read index.
template <typename Visit>
QueueSlot* SearchWholeRing(BufferQueue* q, Visit visit) {
  for (uint32_t n = 0; n < q->ring.count; ++n) {
    QueueSlot& slot = q->ring.slots[(q->readIndex + n) % q->ring.count];
    if (visit(slot)) return &slot;
  }
  return nullptr;
}

QueueSlot* TakeFreeSlot(BufferQueue* q) {
  if (q->fillLimit != 0 && q->slotsInUse > q->fillLimit) return nullptr;
  QueueSlot& slot = q->ring.slots[q->writeIndex];
  if (slot.state.load(std::memory_order_relaxed) != QVA_SLOT_FREE) return nullptr;
  slot.state.store(QVA_SLOT_WRITING, std::memory_order_relaxed);
  slot.sequence = q->nextSequence++;
  slot.discardOnFullCommit = false;
  q->slotsInUse++;
  ResetRecord(slot);
  slot.record.flags = QVA_BUFFLAG_SEQUENCE;
  slot.record.sequence = slot.sequence;
  q->writeIndex = (q->writeIndex + 1) % q->ring.count;
  return &slot;
}

// A ring slot becomes free: counted, reported, and the read index moves past free slots.
void FreeRingSlot(BufferQueue* q, QueueSlot& slot, const ComponentBuffer* committed) {
  q->slotsInUse--;
  slot.state.store(QVA_SLOT_FREE, std::memory_order_relaxed);
  slot.discardOnFullCommit = false;
  ReportFree(q, slot);
  if (committed == nullptr || !(committed->flags & QVA_BUFFLAG_EXTERNAL)) slot.record.length = 0;
  const uint32_t count = q->ring.count;
  if (&slot == &q->ring.slots[q->readIndex]) q->readIndex = (q->readIndex + 1) % count;
  for (uint32_t n = 0; n < count; ++n) {
    if (q->ring.slots[q->readIndex].state.load(std::memory_order_relaxed) != QVA_SLOT_FREE) break;
    if (q->readIndex == q->writeIndex && q->slotsInUse == 0) break;
    q->readIndex = (q->readIndex + 1) % count;
  }
  q->pendingSignals |= kSignalFree;
}

// Puts a record (and its data, when it lives in old slot memory) into the free slot at the
// write index as a full slot.
QueueSlot* RequeueRecord(BufferQueue* q, const ComponentBuffer& record, const uint8_t* oldBase) {
  QueueSlot& target = q->ring.slots[q->writeIndex];
  if (target.state.load(std::memory_order_relaxed) != QVA_SLOT_FREE) return nullptr;
  const bool ownData = record.data == oldBase;
  if (ownData && record.length > target.capacity) return nullptr;
  target.record = record;
  if (ownData) {
    if (record.length) std::memcpy(target.dataBase, oldBase, record.length);
    target.record.data = target.dataBase;
    target.record.capacity = target.capacity;
  }
  target.sequence = record.sequence;
  target.state.store(QVA_SLOT_FULL, std::memory_order_relaxed);
  q->slotsInUse++;
  q->writeIndex = (q->writeIndex + 1) % q->ring.count;
  return &target;
}

// The holder of a slot of a retired generation commits it: a record being written goes into
// the new ring when it fits there now; everything else is released and reported once.
bool CommitRetired(BufferQueue* q, uint32_t mode, const ComponentBuffer* buffer) {
  for (size_t g = 0; g < q->retired.size(); ++g) {
    SlotGeneration& generation = q->retired[g];
    for (uint32_t i = 0; i < generation.count; ++i) {
      QueueSlot& slot = generation.slots[i];
      const uint32_t state = slot.state.load(std::memory_order_relaxed);
      if (!Held(state) || slot.record.data != buffer->data) continue;
      if (mode == QVA_SLOT_FULL && state != QVA_SLOT_WRITING) return false;
      QueueSlot* requeued = mode == QVA_SLOT_FULL ? RequeueRecord(q, slot.record, slot.dataBase) : nullptr;
      if (requeued != nullptr) {
        if (q->fullCallback) q->fullCallback(q->callbackInstance, &requeued->record, q->callbackPin, q->callbackUser);
        q->pendingSignals |= kSignalFull;
      } else {
        ReportFree(q, slot);
      }
      slot.state.store(QVA_SLOT_FREE, std::memory_order_relaxed);
      if (--generation.held == 0) {
        FreeGeneration(generation);
        q->retired.erase(q->retired.begin() + static_cast<long>(g));
      }
      q->pendingSignals |= kSignalFree;
      return true;
    }
  }
  return false;
}

uint32_t RetiredHeld(const BufferQueue* q) {
  uint32_t held = 0;
  for (const SlotGeneration& generation : q->retired) held += generation.held;
  return held;
}

// The ring slot whose own memory starts at data, while its record still points there. Found by
// arithmetic, so handing a slot back reads that slot instead of every slot of the ring, which
// the other side of the queue may be writing.
QueueSlot* OwnSlotAt(const BufferQueue* q, const uint8_t* data) {
  const SlotGeneration& ring = q->ring;
  const auto address = reinterpret_cast<uintptr_t>(data);
  const auto first = reinterpret_cast<uintptr_t>(ring.firstData);
  if (ring.slots == nullptr || address < first) return nullptr;
  const uint64_t offset = address - first;
  if (offset % ring.slotSize != 0 || offset / ring.slotSize >= ring.count) return nullptr;
  QueueSlot& slot = ring.slots[offset / ring.slotSize];
  return slot.record.data == data ? &slot : nullptr;
}

bool HoldsOwnData(const BufferQueue* q, const ComponentBuffer* buffer) {
  if (OwnSlotAt(q, buffer->data) != nullptr) return true;
  for (uint32_t i = 0; i < q->ring.count; ++i) {
    if (q->ring.slots[i].record.data == buffer->data) return true;
  }
  for (const SlotGeneration& generation : q->retired) {
    for (uint32_t i = 0; i < generation.count; ++i) {
      if (Held(generation.slots[i].state.load()) && generation.slots[i].record.data == buffer->data) return true;
    }
  }
  return false;
}

void CallStateCallback(BufferQueue* q, QVAHandle handle, uint32_t state) {
  if (q->stateCallback) q->stateCallback(handle, state, q->stateContext);
}

}  // namespace

QVAStatus BufferQueue_Create(uint32_t slotSize, uint32_t slotCount, QVAHandle* outQueue) {
  if (outQueue == nullptr) return QVA_ERR_BADARG;
  *outQueue = nullptr;
  const uint32_t size = RoundSlotSize(slotSize);
  if (size == 0 || slotCount == 0) return QVA_ERR_BADARG;
  QVAHandle handle = QVACreateHandle(QVA_HANDLE_QUEUE, nullptr, sizeof(BufferQueue));
  if (handle == nullptr) return QVA_ERR_GENERIC;
  BufferQueue* q = new (Queue(handle)) BufferQueue;
  q->fullEvent = QVACreateEvent(0, 0, nullptr);
  q->freeEvent = QVACreateEvent(0, 0, nullptr);
  QVAStatus status = QVACreateLock(&q->lock);
  if (status == QVA_SUCCESS && (q->fullEvent == nullptr || q->freeEvent == nullptr)) status = QVA_ERR_NOMEMORY;
  if (status == QVA_SUCCESS) status = MakeGeneration(size, slotCount, &q->ring);
  if (status != QVA_SUCCESS) {
    BufferQueue_Destroy(handle, 0);
    return status;
  }
  *outQueue = handle;
  return QVA_SUCCESS;
}

QVAStatus BufferQueue_SetName(QVAHandle handle, const char* name, uint32_t direction) {
  if (handle == nullptr) return QVA_SUCCESS;
  BufferQueue* q = Queue(handle);
  std::string text;
  if (direction & QVA_QUEUE_INPUT) text += "i:";
  if (direction & QVA_QUEUE_OUTPUT) text += "o:";
  if (name != nullptr) text += name;
  text.resize(std::min(text.size(), kNameSize - 1));
  std::memcpy(q->name, text.c_str(), text.size() + 1);
  q->direction = direction;
  return QVA_SUCCESS;
}

QVAStatus BufferQueue_SetLimit(QVAHandle handle, uint32_t flags, uint32_t, uint32_t count, uint32_t) {
  if (handle == nullptr) return QVA_ERR_BADHANDLE;
  BufferQueue* q = Queue(handle);
  QueueLock lock(q);
  if (flags & QVA_QUEUE_LIMIT_ONE) q->fillLimit = 1;
  else if (flags & QVA_QUEUE_LIMIT_COUNT) q->fillLimit = std::min(count, q->ring.count);
  if (flags & QVA_QUEUE_LIMIT_NONE) q->fillLimit = 0;
  return QVA_SUCCESS;
}

QVAStatus BufferQueue_SetStateCallback(QVAHandle handle, BufferQueueStateFn callback, void* context) {
  if (handle == nullptr) return QVA_ERR_BADHANDLE;
  BufferQueue* q = Queue(handle);
  QueueLock lock(q);
  q->stateCallback = callback;
  q->stateContext = context;
  return QVA_SUCCESS;
}

QVAStatus BufferQueue_SetBufferCallback(QVAHandle handle, QVAPinCallbackFn callback, ComponentInstance* instance,
                                        uint32_t pin, void* user) {
  if (handle == nullptr) return QVA_ERR_BADHANDLE;
  BufferQueue* q = Queue(handle);
  QueueLock lock(q);
  q->freeCallback = q->fullCallback = callback;
  q->callbackInstance = instance;
  q->callbackPin = pin;
  q->callbackUser = user;
  return QVA_SUCCESS;
}

QVAStatus BufferQueue_Close(QVAHandle handle, uint32_t wait) {
  if (handle == nullptr) return QVA_SUCCESS;
  BufferQueue* q = Queue(handle);
  q->closed.store(1, std::memory_order_release);
  QVAStatus result = QVA_SUCCESS;
  if (wait != 0) {
    for (;;) {
      uint32_t holders = 0;
      {
        QueueLock lock(q);
        for (uint32_t i = 0; i < q->ring.count; ++i) holders += Held(q->ring.slots[i].state.load()) ? 1 : 0;
        holders += RetiredHeld(q);
      }
      if (holders == 0) break;
      result = QVA_ERR_BUSY;
      QVAWaitEvent(q->fullEvent, kClosePollMs);
    }
  }
  QVASetEvent(q->fullEvent);
  QVASetEvent(q->freeEvent);
  return result;
}

QVAStatus BufferQueue_Open(QVAHandle handle) {
  if (handle != nullptr) Queue(handle)->closed.store(0, std::memory_order_release);
  return QVA_SUCCESS;
}

QVAStatus BufferQueue_Flush(QVAHandle handle) {
  if (handle == nullptr) return QVA_ERR_BADHANDLE;
  BufferQueue* q = Queue(handle);
  {
    QueueLock lock(q);
    q->closed.store(1, std::memory_order_release);
    q->pendingSignals |= kSignalFull;
    uint32_t held = 0;
    for (uint32_t i = 0; i < q->ring.count; ++i) {
      QueueSlot& slot = q->ring.slots[i];
      const uint32_t state = slot.state.load(std::memory_order_relaxed);
      if (state == QVA_SLOT_FREE) continue;
      if (Held(state)) {
        // The holder still uses it: it is released when the holder commits it.
        held++;
        if (state == QVA_SLOT_WRITING) slot.discardOnFullCommit = true;
        continue;
      }
      ReportFree(q, slot);
      slot.state.store(QVA_SLOT_FREE, std::memory_order_relaxed);
      ResetRecord(slot);
    }
    // The ring starts again at the first free slot from the write position; held slots stay
    // behind it, as slots in use do in any ring.
    uint32_t start = q->writeIndex;
    for (uint32_t n = 0; n < q->ring.count; ++n) {
      const uint32_t i = (q->writeIndex + n) % q->ring.count;
      if (q->ring.slots[i].state.load(std::memory_order_relaxed) == QVA_SLOT_FREE) {
        start = i;
        break;
      }
    }
    if (held == 0) start = 0;
    q->nextSequence = 0;
    q->slotsInUse = held;
    q->readIndex = q->writeIndex = start;
    q->closed.store(0, std::memory_order_release);
    q->lastWaitState = QVA_SLOT_FREE;
    q->pendingSignals |= kSignalFree;
  }
  CallStateCallback(q, handle, QVA_SLOT_FREE);
  return QVA_SUCCESS;
}

QVAStatus BufferQueue_GetStatus(QVAHandle handle, uint32_t* slotCount, uint32_t* slotSize, uint32_t* slotsInUse,
                                uint32_t* bytesQueued) {
  if (handle == nullptr) return QVA_ERR_BADHANDLE;
  BufferQueue* q = Queue(handle);
  QueueLock lock(q);
  if (slotCount) *slotCount = q->ring.count;
  if (slotSize) *slotSize = q->ring.slotSize;
  if (slotsInUse) {
    uint32_t inUse = RetiredHeld(q);
    uint32_t bytes = 0;
    for (uint32_t i = 0; i < q->ring.count; ++i) {
      const uint32_t state = q->ring.slots[i].state.load(std::memory_order_relaxed);
      if (state != QVA_SLOT_FREE) inUse++;
      if (state == QVA_SLOT_FULL) bytes += q->ring.slots[i].record.length;
    }
    *slotsInUse = inUse;
    if (bytesQueued) *bytesQueued = bytes;
  }
  return QVA_SUCCESS;
}

uint32_t BufferQueue_IsOwnBuffer(QVAHandle handle, const ComponentBuffer* buffer) {
  if (handle == nullptr || buffer == nullptr || (buffer->flags & QVA_BUFFLAG_EXTERNAL)) return 0;
  BufferQueue* q = Queue(handle);
  QueueLock lock(q);
  return HoldsOwnData(q, buffer) ? 1 : 0;
}

QVAStatus BufferQueue_Acquire(QVAHandle handle, uint32_t mode, ComponentBuffer** outBuffer, uint32_t timeoutMs) {
  if (handle == nullptr) return QVA_ERR_BADHANDLE;
  BufferQueue* q = Queue(handle);
  if (q->closed.load(std::memory_order_acquire)) return QVA_ERR_WRONGSTATE;
  const bool wantFull = mode == QVA_SLOT_FULL;
  const uint32_t waitState = wantFull ? QVA_SLOT_FREE : QVA_SLOT_FULL;
  QueueSlot* found = nullptr;
  uint64_t waited = 0;
  QueueLock lock(q);
  for (;;) {
    if (q->closed.load(std::memory_order_acquire)) break;
    if (wantFull) {
      found = SearchFromRead(q, [](QueueSlot& s) { return s.state.load(std::memory_order_relaxed) == QVA_SLOT_FULL; });
      if (found) found->state.store(QVA_SLOT_READING, std::memory_order_relaxed);
    } else {
      found = TakeFreeSlot(q);
    }
    if (found || timeoutMs == 0) break;
    if (wantFull && timeoutMs != QVA_INFINITE && waited >= timeoutMs) break;
    bool switched = q->lastWaitState != waitState;
    q->lastWaitState = waitState;
    lock.Release();
    if (switched) CallStateCallback(q, handle, waitState);
    if (wantFull) {
      if (QVAWaitEvent(q->fullEvent, timeoutMs) == QVA_ERR_TIMEOUT && timeoutMs != QVA_INFINITE) waited += timeoutMs;
    } else {
      QVAWaitEvent(q->freeEvent, QVA_INFINITE);
    }
    lock.Retake();
  }
  if (outBuffer) *outBuffer = found ? &found->record : nullptr;
  return found ? QVA_SUCCESS : QVA_ERR_NOBUFFERS;
}

QVAStatus BufferQueue_Peek(QVAHandle handle, ComponentBuffer** outBuffer, uint32_t timeoutMs) {
  if (handle == nullptr) return QVA_ERR_BADHANDLE;
  BufferQueue* q = Queue(handle);
  QueueLock lock(q);
  QVAStatus result = QVA_ERR_NOBUFFERS;
  QueueSlot* found = nullptr;
  for (;;) {
    if (q->closed.load(std::memory_order_acquire)) break;
    found = SearchWholeRing(q, [](QueueSlot& s) { return s.state.load(std::memory_order_relaxed) == QVA_SLOT_FULL; });
    if (found || timeoutMs == 0) break;
    lock.Release();
    const QVAStatus waitResult = QVAWaitEvent(q->fullEvent, timeoutMs);
    lock.Retake();
    if (waitResult == QVA_ERR_TIMEOUT && timeoutMs != QVA_INFINITE) {
      timeoutMs = 0;
      result = QVA_ERR_TIMEOUT;
    }
  }
  if (outBuffer) *outBuffer = found ? &found->record : nullptr;
  return found ? QVA_SUCCESS : result;
}

namespace {

// BufferQueue_Commit with the lock held.
QVAStatus CommitLocked(BufferQueue* q, QueueLock& lock, uint32_t mode, ComponentBuffer* buffer, uint32_t timeoutMs) {
  if ((buffer->flags & QVA_BUFFLAG_EXTERNAL) && mode == QVA_SLOT_FULL) {
    // A foreign record takes the free slot at the write index, its data staying where it is.
    for (;;) {
      QueueSlot& slot = q->ring.slots[q->writeIndex];
      if (slot.state.load(std::memory_order_relaxed) == QVA_SLOT_FREE) {
        slot.record = *buffer;
        slot.state.store(QVA_SLOT_FULL, std::memory_order_relaxed);
        slot.discardOnFullCommit = false;
        q->slotsInUse++;
        q->writeIndex = (q->writeIndex + 1) % q->ring.count;
        q->pendingSignals |= kSignalFull;
        return QVA_SUCCESS;
      }
      if (timeoutMs != QVA_INFINITE) return QVA_ERR_TIMEOUT;
      // A closed queue has no consumer left to free a slot.
      if (q->closed.load(std::memory_order_acquire)) return QVA_ERR_NOBUFFERS;
      lock.Release();
      QVAWaitEvent(q->freeEvent, QVA_INFINITE);
      lock.Retake();
    }
  }
  const bool full = mode == QVA_SLOT_FULL;
  const auto holdsBuffer = [buffer, full](QueueSlot& s) {
    const uint32_t state = s.state.load(std::memory_order_relaxed);
    if (s.record.data != buffer->data) return false;
    return full ? state == QVA_SLOT_WRITING : state != QVA_SLOT_FREE;
  };
  QueueSlot* slot = OwnSlotAt(q, buffer->data);
  if (slot == nullptr || !holdsBuffer(*slot)) slot = SearchWholeRing(q, holdsBuffer);
  if (slot == nullptr) return CommitRetired(q, mode, buffer) ? QVA_SUCCESS : QVA_ERR_TIMEOUT;
  if (full && !slot->discardOnFullCommit) {
    slot->state.store(QVA_SLOT_FULL, std::memory_order_relaxed);
    if (q->fullCallback) q->fullCallback(q->callbackInstance, &slot->record, q->callbackPin, q->callbackUser);
    q->pendingSignals |= kSignalFull;
    return QVA_SUCCESS;
  }
  FreeRingSlot(q, *slot, buffer);
  return QVA_SUCCESS;
}

}  // namespace

QVAStatus BufferQueue_Commit(QVAHandle handle, uint32_t mode, ComponentBuffer* buffer, uint32_t timeoutMs) {
  if (handle == nullptr) return QVA_ERR_BADHANDLE;
  if (buffer == nullptr) return QVA_ERR_BADARG;
  BufferQueue* q = Queue(handle);
  QueueLock lock(q);
  return CommitLocked(q, lock, mode, buffer, timeoutMs);
}

QVAStatus BufferQueue_CommitOwn(QVAHandle handle, ComponentBuffer* buffer, uint32_t* outOwn) {
  *outOwn = 0;
  if (handle == nullptr || buffer == nullptr || (buffer->flags & QVA_BUFFLAG_EXTERNAL)) return QVA_SUCCESS;
  BufferQueue* q = Queue(handle);
  QueueLock lock(q);
  if (!HoldsOwnData(q, buffer)) return QVA_SUCCESS;
  *outOwn = 1;
  return CommitLocked(q, lock, QVA_SLOT_FULL, buffer, QVA_INFINITE);
}

QVAStatus BufferQueue_Write(QVAHandle handle, ComponentBuffer* buffer, uint32_t timeoutMs, uint32_t* outBytesQueued) {
  if (outBytesQueued) *outBytesQueued = 0;
  if (handle == nullptr) return QVA_ERR_BADHANDLE;
  if (buffer == nullptr) return QVA_ERR_BADARG;
  // A committed own slot belongs to the consumer at once: its length is read before.
  const uint32_t length = buffer->length;
  uint32_t committedAsIs = 1;
  const QVAStatus committed = (buffer->flags & QVA_BUFFLAG_INPLACE)
                                  ? BufferQueue_Commit(handle, QVA_SLOT_FULL, buffer, timeoutMs)
                                  : BufferQueue_CommitOwn(handle, buffer, &committedAsIs);
  if (committedAsIs) {
    if (committed == QVA_SUCCESS && outBytesQueued) *outBytesQueued = length;
    return committed;
  }
  uint32_t working = buffer->flags & ~(QVA_BUFFLAG_EXTERNAL | QVA_BUFFLAG_INPLACE);
  uint32_t remaining = buffer->length;
  const uint8_t* source = buffer->data;
  uint32_t queued = 0;
  QVAStatus status = QVA_SUCCESS;
  do {
    ComponentBuffer* piece = nullptr;
    status = BufferQueue_Acquire(handle, QVA_SLOT_FREE, &piece, timeoutMs);
    if (status == QVA_ERR_NOBUFFERS) status = QVA_ERR_TIMEOUT;
    if (status != QVA_SUCCESS) break;
    uint32_t length = remaining;
    uint32_t flags = working;
    if (remaining > piece->capacity) {
      length = piece->capacity;
      flags = working & ~QVA_BUFFLAG_UNITEND;
      working &= ~kFirstPieceFlags;
    }
    piece->flags = flags;
    piece->frameworkMark = buffer->frameworkMark;
    piece->timestamp = buffer->timestamp;
    piece->unitTag = buffer->unitTag;
    piece->bytesRead = buffer->bytesRead;
    if (buffer->flags & kCopySequenceFlags) piece->sequence = buffer->sequence;
    if (buffer->flags & kCopyComponentWordFlags) piece->componentWord = buffer->componentWord;
    piece->length = length;
    if (length) std::memcpy(piece->data, source, length);
    source += length;
    remaining -= length;
    status = BufferQueue_Commit(handle, QVA_SLOT_FULL, piece, timeoutMs);
    if (status != QVA_SUCCESS) break;
    queued += length;
  } while (remaining > 0);
  if (outBytesQueued) *outBytesQueued = queued;
  return status;
}

QVAStatus BufferQueue_Read(QVAHandle handle, ComponentBuffer* caller, uint32_t timeoutMs) {
  if (handle == nullptr) return QVA_ERR_BADHANDLE;
  if (caller == nullptr) return QVA_ERR_BADARG;
  BufferQueue* q = Queue(handle);
  caller->length = 0;
  caller->unitTag = 0;
  caller->bytesRead = 0;
  QVAStatus result = QVA_ERR_BADARG;
  while (caller->length < caller->capacity) {
    ComponentBuffer* slot = nullptr;
    const QVAStatus peeked = BufferQueue_Peek(handle, &slot, timeoutMs);
    if (peeked != QVA_SUCCESS) {
      result = caller->length == 0 ? peeked : QVA_SUCCESS;
      break;
    }
    QueueLock lock(q);
    caller->frameworkMark = slot->frameworkMark;
    caller->sequence = slot->sequence;
    caller->componentWord = slot->componentWord;
    const bool holding = caller->length != 0;
    if (holding && (slot->flags != caller->flags || slot->timestamp != caller->timestamp ||
                    slot->unitTag != caller->unitTag)) {
      result = QVA_SUCCESS;
      break;
    }
    const bool partlyRead = (slot->flags & QVA_BUFFLAG_PARTIAL) != 0;
    const uint32_t offset = partlyRead ? static_cast<uint32_t>(slot->bytesRead) : 0;
    const uint32_t available = slot->length - offset;
    const uint32_t room = caller->capacity - caller->length;
    if (room < available) {
      if (holding) {
        result = QVA_SUCCESS;
        break;
      }
      if (!partlyRead) {
        caller->flags = slot->flags & kPartialStartFlags;
        caller->timestamp = slot->timestamp;
        caller->unitTag = slot->unitTag;
        caller->bytesRead = slot->bytesRead;
        slot->flags = (slot->flags & ~kPartialClearedFlags) | QVA_BUFFLAG_PARTIAL;
        slot->bytesRead = 0;
      }
      std::memcpy(caller->data, slot->data + slot->bytesRead, room);
      caller->length = caller->capacity;
      slot->bytesRead += room;
      result = QVA_SUCCESS;
      break;
    }
    ComponentBuffer* taken = nullptr;
    result = BufferQueue_Acquire(handle, QVA_SLOT_FULL, &taken, 0);
    if (result != QVA_SUCCESS) break;
    caller->flags = partlyRead ? (taken->flags & kPartialRestFlags) : taken->flags;
    caller->timestamp = taken->timestamp;
    caller->unitTag = taken->unitTag;
    if (available) std::memcpy(caller->data + caller->length, taken->data + offset, available);
    caller->length += available;
    const uint32_t takenFlags = taken->flags;
    result = BufferQueue_Commit(handle, QVA_SLOT_FREE, taken, QVA_INFINITE);
    if (takenFlags & kJoinEndFlags) break;
  }
  return result;
}

QVAStatus BufferQueue_Resize(QVAHandle handle, uint32_t slotSize, uint32_t slotCount) {
  if (handle == nullptr) return QVA_ERR_BADARG;
  const uint32_t size = RoundSlotSize(slotSize);
  if (size == 0 || slotCount == 0) return QVA_ERR_BADARG;
  BufferQueue* q = Queue(handle);
  {
    QueueLock lock(q);
    if (size == q->ring.slotSize && slotCount == q->ring.count) return QVA_SUCCESS;
    // The queued records, oldest first; they must fit the new slots.
    std::vector<QueueSlot*> queued;
    uint32_t held = 0;
    for (uint32_t n = 0; n < q->ring.count; ++n) {
      QueueSlot& slot = q->ring.slots[(q->readIndex + n) % q->ring.count];
      const uint32_t state = slot.state.load(std::memory_order_relaxed);
      if (state == QVA_SLOT_FULL) queued.push_back(&slot);
      if (Held(state)) held++;
    }
    if (queued.size() > slotCount) return QVA_ERR_BUSY;
    for (QueueSlot* slot : queued) {
      if (slot->record.data == slot->dataBase && slot->record.length > size) return QVA_ERR_BUSY;
    }
    SlotGeneration next;
    const QVAStatus status = MakeGeneration(size, slotCount, &next);
    if (status != QVA_SUCCESS) return status;
    SlotGeneration old = q->ring;
    q->ring = next;
    q->slotsInUse = 0;
    q->nextSequence = 0;
    q->readIndex = q->writeIndex = 0;
    for (QueueSlot* slot : queued) RequeueRecord(q, slot->record, slot->dataBase);
    if (held != 0) {
      // The old slots stay until their holders commit them.
      old.held = held;
      for (uint32_t i = 0; i < old.count; ++i) {
        if (!Held(old.slots[i].state.load(std::memory_order_relaxed))) {
          old.slots[i].state.store(QVA_SLOT_FREE, std::memory_order_relaxed);
        }
      }
      q->retired.push_back(old);
    } else {
      FreeGeneration(old);
    }
    q->closed.store(0, std::memory_order_release);
    q->lastWaitState = QVA_SLOT_FREE;
    q->pendingSignals |= kSignalFree;
    if (!queued.empty()) q->pendingSignals |= kSignalFull;
  }
  CallStateCallback(q, handle, QVA_SLOT_FREE);
  return QVA_SUCCESS;
}

QVAStatus BufferQueue_Destroy(QVAHandle handle, uint32_t wait) {
  if (handle == nullptr) return QVA_ERR_BADARG;
  BufferQueue* q = Queue(handle);
  if (q->lock != nullptr) BufferQueue_Close(handle, wait);
  if (q->lock != nullptr) QVALock(q->lock);
  // What is still queued or held goes back through the free callback, so records lent by
  // reference are handed back to their owner rather than forgotten.
  for (uint32_t i = 0; i < q->ring.count; ++i) {
    if (q->ring.slots[i].state.load(std::memory_order_relaxed) != QVA_SLOT_FREE) ReportFree(q, q->ring.slots[i]);
  }
  for (SlotGeneration& generation : q->retired) {
    for (uint32_t i = 0; i < generation.count; ++i) {
      if (Held(generation.slots[i].state.load(std::memory_order_relaxed))) ReportFree(q, generation.slots[i]);
    }
  }
  if (q->fullEvent) QVADestroyEvent(q->fullEvent);
  if (q->freeEvent) QVADestroyEvent(q->freeEvent);
  FreeGeneration(q->ring);
  for (SlotGeneration& generation : q->retired) FreeGeneration(generation);
  q->retired.clear();
  if (q->lock != nullptr) {
    QVAUnlock(q->lock);
    QVADestroyLock(q->lock);
  }
  q->~BufferQueue();
  return QVAFreeHandleBlock(handle);
}
