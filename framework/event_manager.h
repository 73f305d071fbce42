#pragma once
// Trace-event manager: a fixed ring of timed trace events that a component instance keeps when
// its log setup asks for one. Managers cross library boundaries (the engine reads the rings of
// its components), so the records below are shared layouts. Recording and every reader take
// the lock word inside the manager, whichever library's copy of this code runs.
#include <atomic>
#include <cstddef>
#include <cstdint>

#include "framework/qva_os.h"

struct TraceEvent {
  char text[48];  // at most 47 characters and a NUL
  uint32_t id;
  uint32_t reserved52;
  uint64_t startTime;  // ms
  uint64_t endTime;    // ms
  uint32_t iWord;
  uint32_t dWord;
  uint64_t startCycles;
  uint64_t lastCycles;
  uint64_t accumulatedCycles;
  uint32_t category;
  uint32_t reserved108;
};
static_assert(sizeof(TraceEvent) == 112);
static_assert(offsetof(TraceEvent, id) == 48);
static_assert(offsetof(TraceEvent, startTime) == 56);
static_assert(offsetof(TraceEvent, endTime) == 64);
static_assert(offsetof(TraceEvent, iWord) == 72);
static_assert(offsetof(TraceEvent, dWord) == 76);
static_assert(offsetof(TraceEvent, startCycles) == 80);
static_assert(offsetof(TraceEvent, lastCycles) == 88);
static_assert(offsetof(TraceEvent, accumulatedCycles) == 96);
static_assert(offsetof(TraceEvent, category) == 104);

// Category word: the low 28 bits are categories, filtered by the manager's mask.
inline constexpr uint32_t kTraceCategoryBits = 0x0FFFFFFF;
inline constexpr uint32_t kTraceAddCycles = 0x10000000;  // add cycles to the open event of the category
inline constexpr uint32_t kTraceClose = 0x20000000;      // close the open event of the category
inline constexpr uint32_t kTraceStart = 0x40000000;      // start mark
inline constexpr uint32_t kTraceEnd = 0x80000000;        // end mark

// One allocation: this header, the capacity's events directly behind it, 64 spare bytes.
// The header holds pointers, so it is larger than on the original 32-bit platform; its field
// order is kept, and the reserved word behind the name is the lock word.
struct EventManager {
  void* owner;  // the component instance that made it, or nullptr
  char name[16];
  std::atomic<uint32_t> lockWord;
  TraceEvent* events;
  uint32_t reserved28;
  uint64_t creationTime;
  uint32_t capacity;  // at least 1
  uint32_t oldest;
  uint32_t mark;      // 0xFFFFFFFF after a reset
  uint32_t next;
  uint32_t count;     // events held
  uint32_t nextId;
  uint32_t mask;
  uint32_t reserved68;
};
static_assert(sizeof(EventManager) % alignof(TraceEvent) == 0);

// Filled by the summary and the category statistics.
struct EventStats {
  uint32_t eventCount;
  uint64_t cycleSpan;
  uint64_t timeSpan;        // ms
  uint64_t firstTime;       // ms
  uint64_t lastTime;        // ms
  uint64_t pairedDuration;  // ms
  uint64_t firstCycles;
  uint64_t lastCycles;
  uint64_t pairedCycles;
};

// A new manager (capacity 0 is stored as 1), which becomes this library's current one;
// nullptr when memory fails.
EventManager* EventManager_Create(uint32_t capacity, const char* name);
// Releases the given manager, or the current one for nullptr.
void EventManager_Destroy(EventManager* manager);
EventManager* EventManager_GetCurrent();
QVAStatus EventManager_SetCurrent(EventManager* manager);
void EventManager_SetOwner(EventManager* manager, void* owner);
void* EventManager_GetOwner(EventManager* manager);
// Sets (on) or clears the bits in the mask of the given or the current manager.
void EventManager_SetMask(EventManager* manager, uint32_t bits, uint32_t on);
// With full: empties the ring. Without it nothing changes.
void EventManager_Reset(EventManager* manager, uint32_t full);
// Records (or updates) an event; its id, or 0 when nothing was recorded.
uint32_t EventManager_Add(EventManager* manager, uint32_t category, const char* format, ...)
    __attribute__((format(printf, 3, 4)));
void EventManager_GetSummary(EventManager* manager, EventStats* stats);
void EventManager_GetCategoryStats(EventManager* manager, uint32_t mask, uint32_t lastCount, EventStats* stats);
// The name, copied into a buffer of the calling thread that the next call overwrites.
const char* EventManager_GetName(EventManager* manager);
// Formats at most 512 characters to the file, or to standard output for NULL.
QVAStatus EventManager_Printf(QVAHandle file, const char* format, ...) __attribute__((format(printf, 2, 3)));

inline constexpr uint32_t kEventDumpCsv = 1;
// Writes the ring as CSV (format 1) or text; the offsets are added to the times and cycles
// of the CSV lines, so dumps of several managers can share one origin.
void EventManagerDump(EventManager* manager, QVAHandle file, uint32_t mask, uint32_t count,
                      int64_t cyclesOffset, int64_t timeOffset, uint32_t format);
// The events on a 10 ms time grid.
void EventManagerDumpTimes(EventManager* manager, QVAHandle file, uint32_t mask, uint32_t count);

char* QVAStrCpy(char* destination, const char* source);
