#include "platform/debug_output.h"

#include <dlfcn.h>
#include <unistd.h>

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string>

namespace orx::platform {
namespace {

struct Capture {
  DebugCaptureFn fn = nullptr;
  void* context = nullptr;
};

std::mutex g_captureMutex;
Capture g_capture;

OrxHostLogFn FindHostLog() {
  static const OrxHostLogFn hook =
      reinterpret_cast<OrxHostLogFn>(dlsym(RTLD_DEFAULT, "OrxHostLog"));
  return hook;
}

void WriteAll(int fd, std::string_view text) {
  const char* p = text.data();
  size_t left = text.size();
  while (left > 0) {
    ssize_t n = ::write(fd, p, left);
    if (n <= 0) return;
    p += n;
    left -= static_cast<size_t>(n);
  }
}

}  // namespace

bool DebugToStderrEnabled() {
  static const bool enabled = [] {
    const char* v = std::getenv("ORX_DEBUG");
    return v != nullptr && *v != '\0' && std::strcmp(v, "0") != 0;
  }();
  return enabled;
}

void HostLog(std::string_view text) {
  if (OrxHostLogFn hook = FindHostLog()) {
    std::string copy(text);
    hook(copy.c_str());
  }
}

void DebugOutput(std::string_view text) {
  // A debugger shows each message on its own: one that does not end its line is ended here,
  // so that the next one does not run on after it on standard error or in the host's log.
  std::string message(text);
  if (!message.empty() && message.back() != '\n') message += '\n';
  if (DebugToStderrEnabled()) WriteAll(STDERR_FILENO, message);
  HostLog(message);
  std::lock_guard<std::mutex> lock(g_captureMutex);
  if (g_capture.fn) g_capture.fn(g_capture.context, text);
}

void SetDebugCapture(DebugCaptureFn fn, void* context) {
  std::lock_guard<std::mutex> lock(g_captureMutex);
  g_capture.fn = fn;
  g_capture.context = context;
}

}  // namespace orx::platform
