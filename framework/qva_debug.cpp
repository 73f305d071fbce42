#include <unistd.h>

#include <atomic>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "framework/qva_clock.h"
#include "platform/debug_output.h"

namespace {

std::atomic<uint32_t> g_verbosity{QVA_TEXT_CONSOLE | QVA_TEXT_DEBUGGER};
std::atomic<uint32_t> g_debugFlags{0};

constexpr size_t kDebugLineSize = 500;
constexpr size_t kBreakpointLineSize = 512;

void WriteToConsole(const char* text) {
  size_t left = std::strlen(text);
  while (left > 0) {
    ssize_t n = ::write(STDOUT_FILENO, text, left);
    if (n <= 0) return;
    text += n;
    left -= static_cast<size_t>(n);
  }
}

void WriteFormatted(size_t bufferSize, const char* format, va_list args) {
  char line[kBreakpointLineSize];
  std::vsnprintf(line, bufferSize, format, args);
  QVAWriteText(line, g_verbosity.load(std::memory_order_relaxed));
}

}  // namespace

uint32_t QVAGetVerbosity() { return g_verbosity.load(std::memory_order_relaxed); }
uint32_t QVASetVerbosity(uint32_t value) {
  g_verbosity.store(value, std::memory_order_relaxed);
  return value;
}
uint32_t QVAGetDebugFlags() { return g_debugFlags.load(std::memory_order_relaxed); }
uint32_t QVASetDebugFlags(uint32_t value) {
  g_debugFlags.store(value, std::memory_order_relaxed);
  return value;
}

void QVAWriteText(const char* text, uint32_t targets) {
  if (text == nullptr) return;
  if (targets & QVA_TEXT_DEBUGGER) orx::platform::DebugOutput(text);
  if (targets & QVA_TEXT_CONSOLE) WriteToConsole(text);
}

void QVAWriteText2(const char* text, uint32_t targets) { QVAWriteText(text, targets); }

void QVADebugPrintf(const char* format, ...) {
  va_list args;
  va_start(args, format);
  WriteFormatted(kDebugLineSize, format, args);
  va_end(args);
}

void QVADebugPrintf2(const char* format, ...) {
  va_list args;
  va_start(args, format);
  WriteFormatted(kDebugLineSize, format, args);
  va_end(args);
}

void QVABreakpoint(uint32_t code, const char* format, ...) {
  if (g_verbosity.load(std::memory_order_relaxed) == 0) return;
  if (format != nullptr) {
    va_list args;
    va_start(args, format);
    WriteFormatted(kBreakpointLineSize, format, args);
    va_end(args);
  }
  const uint32_t flags = g_debugFlags.load(std::memory_order_relaxed);
  if (flags & QVA_DEBUG_PROMPT) {
    char prompt[64];
    std::snprintf(prompt, sizeof prompt, "Breakpoint 0x%X: Press key to continue...\n", code);
    QVAWriteText(prompt, QVA_TEXT_CONSOLE);
    std::getchar();
  }
  if (flags & QVA_DEBUG_EXIT) std::exit(-1);
}
