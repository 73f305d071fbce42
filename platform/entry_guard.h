#pragma once
// The guard of every entry point that another library, the host or a thread calls by a C name or
// through a C function pointer: the exporter's entry, the component libraries' exports and method
// tables, the hooks the framework runs and the engine's callbacks. Such a caller knows result
// codes only, so an exception must not leave the entry: the guard catches it, writes one debugger
// line naming the entry and what was thrown, and answers the entry's failure code. Code inside an
// entry keeps plain RAII, so what it held is freed on the way out.

namespace orx::platform {

// Called inside a catch block: writes "<entry>: stopped by an exception (<what>); answered
// <failure>" to the debugger output. Never throws, also when the line cannot be written.
void ReportEntryException(const char* entry, long long failure) noexcept;
// The same for an entry without an answer: "...; dropped".
void ReportDroppedException(const char* entry) noexcept;

// Runs body() and answers its result; when it throws, reports and answers failure.
template <typename Result, typename Body>
Result GuardEntry(const char* entry, Result failure, Body&& body) noexcept {
  try {
    return body();
  } catch (...) {
    ReportEntryException(entry, static_cast<long long>(failure));
  }
  return failure;
}

// For an entry without an answer (a callback): a thrown exception is reported and dropped.
template <typename Body>
void GuardEntryWithoutAnswer(const char* entry, Body&& body) noexcept {
  try {
    body();
  } catch (...) {
    ReportDroppedException(entry);
  }
}

}  // namespace orx::platform
