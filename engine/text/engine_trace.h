#pragma once
// The engine's one trace printer. A line is printed when its level bits meet the trace mask:
// the caller's own mask (the playback engine's) ORed with the process-wide mask, which is 0 at
// start, so an export traces nothing.
#include <cstdarg>
#include <cstdint>

// Trace mask bits.
inline constexpr uint32_t ENGINEDEBUG_FLAG_NONE = 0;
inline constexpr uint32_t ENGINEDEBUG_FLAG_ERROR = 0x1;  // errors and warnings (level 1)
inline constexpr uint32_t ENGINEDEBUG_FLAG_TRACE = 0x2;  // enter and done lines (level 2)
inline constexpr uint32_t ENGINEDEBUG_FLAG_SYNC = 0x4;
inline constexpr uint32_t ENGINEDEBUG_FLAG_STATES = 0x8;
inline constexpr uint32_t ENGINEDEBUG_FLAG_PROGRESS = 0x10;
inline constexpr uint32_t ENGINEDEBUG_FLAG_COMMANDS = 0x20;
inline constexpr uint32_t ENGINEDEBUG_FLAG_CONTINUOUS = 0x1000000;
inline constexpr uint32_t ENGINEDEBUG_FLAG_ELLAPSED = 0x2000000;  // "%06u:" ms since creation

// What the printer reads of an engine record: its own mask and its creation time.
struct EngineTraceSource {
  uint32_t traceMask;
  uint64_t creationTime;  // ms of the framework clock
};

uint32_t QVAengine_GetGlobalTraceMask();
void QVAengine_SetGlobalTraceMask(uint32_t mask);

// Characters of a trace line (a longer message is cut).
inline constexpr uint32_t kEngineTraceLineSize = 512;

// Prints when level AND (source's mask when a source is given, OR the global mask) is not 0:
// formats into a 512-character line (after a "%06u:" time prefix of 7 characters with
// ENGINEDEBUG_FLAG_ELLAPSED, 0 ms without a source), removes every trailing CR and LF and writes
// the line and a newline to standard output in one write.
void QVAengine_Trace(const EngineTraceSource* source, uint32_t level, const char* format, ...)
    __attribute__((format(printf, 3, 4)));

struct EventManager;

// Formats a trace event's text (cut to the 47 characters an event holds) and adds it to the
// manager under the category; nothing without a manager.
void AddTraceEventText(EventManager* manager, uint32_t category, const char* format, va_list args);
