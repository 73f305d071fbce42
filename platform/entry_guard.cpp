#include "platform/entry_guard.h"

#include <cstdio>
#include <exception>

#include "platform/debug_output.h"

namespace orx::platform {
namespace {

// The text of the exception being handled.
const char* CurrentExceptionText() noexcept {
  try {
    throw;
  } catch (const std::exception& error) {
    return error.what();
  } catch (...) {
    return "not a standard exception";
  }
}

void WriteLine(const char* line) noexcept {
  try {
    DebugOutput(line);
  } catch (...) {
    // Out of memory for the line as well: the answer still goes back.
  }
}

}  // namespace

void ReportEntryException(const char* entry, long long failure) noexcept {
  char line[320];
  std::snprintf(line, sizeof line, "%s: stopped by an exception (%s); answered %lld\n", entry,
                CurrentExceptionText(), failure);
  WriteLine(line);
}

void ReportDroppedException(const char* entry) noexcept {
  char line[320];
  std::snprintf(line, sizeof line, "%s: stopped by an exception (%s); dropped\n", entry, CurrentExceptionText());
  WriteLine(line);
}

}  // namespace orx::platform
