// Text and CSV dumps of a trace-event ring, and the 10 ms time-grid dump.
#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "framework/event_manager.h"
#include "framework/event_ring.h"

namespace {

constexpr size_t kPrintfLimit = 512;
constexpr uint32_t kGridMs = 10;

uint32_t Low32(uint64_t value) { return static_cast<uint32_t>(value); }

char MarkCharacter(const TraceEvent& e) { return (e.category & kTraceEnd) ? '<' : '>'; }

const char* KindText(const TraceEvent& e) {
  if (e.category & kTraceStart) return "start";
  if (e.category & kTraceEnd) return "end";
  return "trace";
}

}  // namespace

QVAStatus EventManager_Printf(QVAHandle file, const char* format, ...) {
  char text[kPrintfLimit + 1];
  va_list args;
  va_start(args, format);
  std::vsnprintf(text, sizeof text, format, args);
  va_end(args);
  const uint32_t length = static_cast<uint32_t>(std::strlen(text));
  if (file != nullptr) return QVAWriteFile(file, text, length, nullptr);
  std::fwrite(text, 1, length, stdout);
  std::fflush(stdout);
  return QVA_SUCCESS;
}

void EventManagerDump(EventManager* manager, QVAHandle file, uint32_t mask, uint32_t count,
                      int64_t cyclesOffset, int64_t timeOffset, uint32_t format) {
  EventManager* m = ResolveEventManager(manager);
  if (m == nullptr) return;
  const EventRingCopy ring = CopyEventRing(m, count);
  const bool csv = format == kEventDumpCsv;
  if (csv) {
    EventManager_Printf(file, "ev_id,ev_time,ev_cycle,ev_cat,ev_lentime,ev_lencycles,ev_desc\r\n");
  } else {
    EventManager_Printf(file, "EventManagerDump(%s): EventCount=%d EventsMask=%08X\r\n", ring.name.c_str(),
                        ring.held, ring.mask);
  }
  const TraceEvent* previous = nullptr;
  uint64_t cycleSum = 0;
  uint32_t lines = 0;
  for (const TraceEvent& e : ring.events) {
    if (mask != 0xFFFFFFFFu && (e.category & mask & kTraceCategoryBits) == 0) continue;
    const uint64_t t = previous != nullptr ? e.startTime - previous->startTime : 0;
    const uint64_t c = previous != nullptr ? e.lastCycles - previous->startCycles : 0;
    previous = &e;
    const uint32_t marks = mask & ~kTraceCategoryBits;
    if (mask != 0xFFFFFFFFu && marks != 0 && (e.category & marks) == 0) continue;
    if (csv) {
      const uint64_t cycles = (e.accumulatedCycles != 0 ? e.accumulatedCycles : e.startCycles) +
                              static_cast<uint64_t>(cyclesOffset);
      EventManager_Printf(file, "%u,%u,%u,%s,%u,%u,\"%s\"\r\n", e.id,
                          Low32(e.startTime + static_cast<uint64_t>(timeOffset)), Low32(cycles / 1000),
                          KindText(e), Low32(t), Low32(c / 1000), e.text);
    } else {
      EventManager_Printf(file, "  %08d%c: ID=%3d T=%3d C=%08d D=%07d I=%07d Desc=%s\r\n", Low32(e.startTime),
                          MarkCharacter(e), e.id, Low32(t), Low32(c), e.dWord, e.iWord, e.text);
    }
    cycleSum += c;
    lines++;
  }
  if (!csv) {
    EventManager_Printf(file, "Averages: Count=%d Cycles=%08d\r\n", lines,
                        Low32(lines != 0 ? cycleSum / lines : 0));
  }
}

void EventManagerDumpTimes(EventManager* manager, QVAHandle file, uint32_t mask, uint32_t count) {
  EventManager* m = ResolveEventManager(manager);
  if (m == nullptr) return;
  const EventRingCopy ring = CopyEventRing(m, count);
  EventManager_Printf(file, "EventManagerDump(%s): EventCount=%d EventsMask=%08X\n", ring.name.c_str(), ring.held,
                      ring.mask);
  bool started = false;
  uint64_t grid = 0;
  for (const TraceEvent& e : ring.events) {
    const bool selected = (e.category & mask) != 0;
    if (!started) {
      if (!selected) continue;
      started = true;
      grid = e.startTime - e.startTime % kGridMs;
    }
    while (e.startTime >= grid) {
      EventManager_Printf(file, "%08d:\n", Low32(grid));
      grid += kGridMs;
    }
    if (selected) {
      EventManager_Printf(file, "  %08d%c: ID=%3d Ev=%08X C=%08u D=%07d I=%07d Desc=%s\r\n", Low32(e.startTime),
                          MarkCharacter(e), e.id, e.category,
                          Low32(e.accumulatedCycles != 0 ? e.accumulatedCycles : e.startCycles), e.dWord, e.iWord,
                          e.text);
    }
  }
}
