#include "framework/event_manager.h"

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <new>

#include "framework/event_ring.h"
#include "framework/qva_clock.h"
#include "framework/qva_memory.h"

namespace {

constexpr size_t kSpareBytes = 64;
constexpr size_t kNameLength = 15;
constexpr size_t kNameCopyLength = 256;

std::atomic<EventManager*> g_current{nullptr};

TraceEvent& EventAt(EventManager* m, uint32_t index) { return m->events[index % m->capacity]; }

void EmptyRing(EventManager* m) {
  m->oldest = 0;
  m->mark = 0xFFFFFFFFu;
  m->next = 0;
  m->count = 0;
}

}  // namespace

EventRingLock::EventRingLock(EventManager* manager) : manager_(manager) {
  while (manager_->lockWord.exchange(1, std::memory_order_acquire) != 0) QVASleep(0);
}

EventRingLock::~EventRingLock() { manager_->lockWord.store(0, std::memory_order_release); }

EventManager* ResolveEventManager(EventManager* manager) {
  return manager != nullptr ? manager : g_current.load(std::memory_order_acquire);
}

EventRingCopy CopyEventRing(EventManager* m, uint32_t count) {
  EventRingCopy copy;
  EventRingLock lock(m);
  copy.name.assign(m->name, strnlen(m->name, sizeof m->name));
  copy.held = m->count;
  copy.mask = m->mask;
  const uint32_t n = count == 0 || count > m->count ? m->count : count;
  copy.events.reserve(n);
  const uint32_t first = m->oldest + (m->count - n);
  for (uint32_t i = 0; i < n; ++i) copy.events.push_back(EventAt(m, first + i));
  return copy;
}

EventManager* EventManager_Create(uint32_t capacity, const char* name) {
  if (capacity == 0) capacity = 1;
  const size_t bytes = sizeof(EventManager) + size_t{capacity} * sizeof(TraceEvent) + kSpareBytes;
  void* block = QVAMalloc(bytes);
  if (block == nullptr) return nullptr;
  auto* m = new (block) EventManager{};
  m->events = reinterpret_cast<TraceEvent*>(m + 1);
  m->capacity = capacity;
  m->creationTime = QVAGetTime();
  m->mask = 0xFFFFFFFFu;
  EmptyRing(m);
  if (name != nullptr) std::strncpy(m->name, name, kNameLength);
  m->name[kNameLength] = '\0';
  g_current.store(m, std::memory_order_release);
  return m;
}

void EventManager_Destroy(EventManager* manager) {
  EventManager* m = ResolveEventManager(manager);
  if (m == nullptr) return;
  EventManager* expected = m;
  g_current.compare_exchange_strong(expected, nullptr, std::memory_order_acq_rel);
  m->~EventManager();
  QVAFree(m);
}

EventManager* EventManager_GetCurrent() { return g_current.load(std::memory_order_acquire); }

QVAStatus EventManager_SetCurrent(EventManager* manager) {
  g_current.store(manager, std::memory_order_release);
  return QVA_SUCCESS;
}

void EventManager_SetOwner(EventManager* manager, void* owner) {
  if (manager != nullptr) manager->owner = owner;
}

void* EventManager_GetOwner(EventManager* manager) { return manager != nullptr ? manager->owner : nullptr; }

void EventManager_SetMask(EventManager* manager, uint32_t bits, uint32_t on) {
  EventManager* m = ResolveEventManager(manager);
  if (m == nullptr) return;
  EventRingLock lock(m);
  if (on != 0) m->mask |= bits;
  else m->mask &= ~bits;
}

void EventManager_Reset(EventManager* manager, uint32_t full) {
  if (manager == nullptr || full == 0) return;
  EventRingLock lock(manager);
  EmptyRing(manager);
}

uint32_t EventManager_Add(EventManager* manager, uint32_t category, const char* format, ...) {
  EventManager* m = ResolveEventManager(manager);
  if (m == nullptr) return 0;
  EventRingLock lock(m);
  const uint32_t categories = category & kTraceCategoryBits;
  if (categories != 0 && (categories & m->mask) == 0) return 0;
  const uint64_t now = QVAGetTime();
  const uint64_t cycles = QVAGetCycles();

  uint32_t word = category;
  if (category & (kTraceAddCycles | kTraceClose)) {
    for (uint32_t back = 1; back <= m->count; ++back) {
      TraceEvent& open = EventAt(m, m->next + m->capacity - back);
      if ((open.category & categories) == 0) continue;
      if (open.category & kTraceEnd) break;
      if (category & kTraceAddCycles) {
        open.accumulatedCycles += cycles - open.lastCycles;
      } else {
        open.endTime = now;
      }
      open.lastCycles = cycles;
      return open.id;
    }
    word |= kTraceStart;
  }

  TraceEvent& e = EventAt(m, m->next);
  if (format != nullptr) {
    va_list args;
    va_start(args, format);
    std::vsnprintf(e.text, sizeof e.text, format, args);
    va_end(args);
  } else {
    e.text[0] = '\0';
  }
  e.id = m->nextId++;
  e.reserved52 = 0;
  e.startTime = e.endTime = now;
  e.iWord = e.dWord = 0;
  e.startCycles = e.lastCycles = cycles;
  e.accumulatedCycles = 0;
  e.category = word;
  e.reserved108 = 0;
  if (m->count < m->capacity) {
    m->count++;
  } else {
    m->oldest = (m->oldest + 1) % m->capacity;
  }
  m->next = (m->next + 1) % m->capacity;
  return e.id;
}

void EventManager_GetSummary(EventManager* manager, EventStats* stats) {
  EventManager* m = ResolveEventManager(manager);
  if (m == nullptr || stats == nullptr) return;
  *stats = EventStats{};
  EventRingLock lock(m);
  if (m->count == 0) return;
  const TraceEvent& first = EventAt(m, m->oldest);
  const TraceEvent& last = EventAt(m, m->next + m->capacity - 1);
  stats->eventCount = m->count;
  stats->firstTime = first.startTime;
  stats->firstCycles = first.startCycles;
  stats->lastTime = std::max(last.startTime, last.endTime);
  stats->lastCycles = std::max(last.startCycles, last.lastCycles);
  stats->cycleSpan = stats->lastCycles > stats->firstCycles ? stats->lastCycles - stats->firstCycles : 0;
  stats->timeSpan = stats->lastTime > stats->firstTime ? stats->lastTime - stats->firstTime : 0;
}

void EventManager_GetCategoryStats(EventManager* manager, uint32_t mask, uint32_t lastCount, EventStats* stats) {
  EventManager* m = ResolveEventManager(manager);
  if (m == nullptr || stats == nullptr) return;
  *stats = EventStats{};
  EventRingCopy ring = CopyEventRing(m, lastCount);
  const TraceEvent* openStart = nullptr;
  const TraceEvent* previous = nullptr;
  for (const TraceEvent& e : ring.events) {
    if (mask != 0xFFFFFFFFu && (e.category & mask & kTraceCategoryBits) == 0) continue;
    if (e.category & kTraceStart) {
      openStart = &e;
    } else if ((e.category & kTraceEnd) && openStart != nullptr) {
      stats->pairedDuration += e.endTime - openStart->startTime;
      stats->pairedCycles += e.lastCycles - openStart->startCycles;
      openStart = nullptr;
    }
    if (previous == nullptr) {
      stats->firstTime = e.startTime;
      stats->firstCycles = e.startCycles;
    } else {
      stats->timeSpan += e.startTime - previous->startTime;
      stats->cycleSpan += e.lastCycles - previous->startCycles;
    }
    stats->lastCycles = e.lastCycles;
    stats->lastTime = e.endTime;
    stats->eventCount++;
    previous = &e;
  }
}

const char* EventManager_GetName(EventManager* manager) {
  thread_local char name[kNameCopyLength + 1];
  name[0] = '\0';
  EventManager* m = ResolveEventManager(manager);
  if (m != nullptr) {
    std::strncpy(name, m->name, kNameCopyLength);
    name[kNameCopyLength] = '\0';
  }
  return name;
}

char* QVAStrCpy(char* destination, const char* source) { return std::strcpy(destination, source); }
