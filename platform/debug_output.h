#pragma once
// Stand-in for the debugger output channel. Text goes to standard error when the
// environment variable ORX_DEBUG is set (to anything but "0"), and always to the host's log:
// the function `OrxHostLog` when the executable that loaded us exports one.
#include <string_view>

namespace orx::platform {

// Writes text as given (no line break is added).
void DebugOutput(std::string_view text);

// Same text path as DebugOutput, used by the message-box and dialog stand-ins.
void HostLog(std::string_view text);

// In-library capture for tests: every text DebugOutput writes is also handed to fn.
using DebugCaptureFn = void (*)(void* context, std::string_view text);
void SetDebugCapture(DebugCaptureFn fn, void* context);

bool DebugToStderrEnabled();

}  // namespace orx::platform

// The host's log hook. An executable that wants every library's debug lines defines it with
// default visibility and exports it (-rdynamic); the libraries find it by name at run time.
extern "C" {
typedef void (*OrxHostLogFn)(const char* text);
}
