#include "engine/text/engine_trace.h"

#include <atomic>
#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "framework/event_manager.h"
#include "framework/qva_clock.h"

namespace {
std::atomic<uint32_t> g_globalTraceMask{0};
constexpr uint32_t kTimePrefixLength = 7;  // "%06u:"
}  // namespace

uint32_t QVAengine_GetGlobalTraceMask() { return g_globalTraceMask.load(std::memory_order_relaxed); }

void QVAengine_SetGlobalTraceMask(uint32_t mask) { g_globalTraceMask.store(mask, std::memory_order_relaxed); }

void QVAengine_Trace(const EngineTraceSource* source, uint32_t level, const char* format, ...) {
  const uint32_t mask = (source != nullptr ? source->traceMask : 0) | QVAengine_GetGlobalTraceMask();
  if ((level & mask) == 0) return;
  // One more character than the line for the newline, and the terminator.
  char line[kEngineTraceLineSize + 2];
  size_t offset = 0;
  if (mask & ENGINEDEBUG_FLAG_ELLAPSED) {
    const uint64_t elapsed = source != nullptr ? QVAGetTime() - source->creationTime : 0;
    std::snprintf(line, kTimePrefixLength + 1, "%06u:", static_cast<unsigned>(elapsed));
    offset = std::strlen(line);
  }
  va_list args;
  va_start(args, format);
  std::vsnprintf(line + offset, kEngineTraceLineSize - offset, format, args);
  va_end(args);
  size_t length = std::strlen(line);
  while (length > 0 && (line[length - 1] == '\r' || line[length - 1] == '\n')) --length;
  line[length] = '\n';
  line[length + 1] = '\0';
  QVAWriteText(line, QVA_TEXT_CONSOLE);
}

void AddTraceEventText(EventManager* manager, uint32_t category, const char* format, va_list args) {
  if (manager == nullptr) return;
  char text[48];
  std::vsnprintf(text, sizeof text, format, args);
  EventManager_Add(manager, category, "%s", text);
}
