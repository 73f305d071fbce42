#pragma once
// The framework's time base and plain-text diagnostics: a millisecond clock, the processor's
// cycle counter, a sleep, and a debug print whose targets a library-wide verbosity word picks.
#include <cstdint>

void QVASleep(uint32_t milliseconds);
// Milliseconds of the performance counter (never going backwards).
uint64_t QVAGetTime();
// The processor's time-stamp counter.
uint64_t QVAGetCycles();

// Test seam: a replacement for the clock of QVAGetTime (nullptr restores the counter);
// answers the previous one. Affects this library's copy only.
using QVATimeSourceFn = uint64_t (*)();
QVATimeSourceFn QVASetTimeSource(QVATimeSourceFn source);

// Targets of the verbosity word and of QVAWriteText.
inline constexpr uint32_t QVA_TEXT_CONSOLE = 0x1;   // standard output
inline constexpr uint32_t QVA_TEXT_DEBUGGER = 0x2;  // the debug-output sink of the platform
// Bits of the debug word.
inline constexpr uint32_t QVA_DEBUG_PROMPT = 0x4;
inline constexpr uint32_t QVA_DEBUG_EXIT = 0x8;

uint32_t QVAGetVerbosity();                // 3 until changed
uint32_t QVASetVerbosity(uint32_t value);  // answers the value
uint32_t QVAGetDebugFlags();               // 0 until changed
uint32_t QVASetDebugFlags(uint32_t value);

// Writes the text unchanged (never as a format) to every target whose bit is set.
void QVAWriteText(const char* text, uint32_t targets);
void QVAWriteText2(const char* text, uint32_t targets);
// Formats into 500 characters (at most 499 are written) for the verbosity word's targets.
void QVADebugPrintf(const char* format, ...) __attribute__((format(printf, 1, 2)));
void QVADebugPrintf2(const char* format, ...) __attribute__((format(printf, 1, 2)));
// With verbosity 0 does nothing; otherwise prints the formatted text, then prompts for a key
// (debug bit 4) and ends the process (debug bit 8).
void QVABreakpoint(uint32_t code, const char* format, ...) __attribute__((format(printf, 2, 3)));
