#pragma once

namespace orx::venc {

// Formats into at most 1024 characters and writes the text to the debugger output.
void DebugPrintf(const char* format, ...) __attribute__((format(printf, 1, 2)));

}  // namespace orx::venc
