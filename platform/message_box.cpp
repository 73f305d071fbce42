#include "platform/message_box.h"

#include <unistd.h>

#include <mutex>

#include "platform/debug_output.h"

namespace orx::platform {
namespace {
std::mutex g_mutex;
MessageBoxCaptureFn g_capture = nullptr;
void* g_captureContext = nullptr;
}  // namespace

int DefaultMessageBoxAnswer(uint32_t flags) {
  static const int kButtons[6][3] = {
      {kIdOk, kIdOk, kIdOk},
      {kIdOk, kIdCancel, kIdCancel},
      {kIdAbort, kIdRetry, kIdIgnore},
      {kIdYes, kIdNo, kIdCancel},
      {kIdYes, kIdNo, kIdNo},
      {kIdRetry, kIdCancel, kIdCancel},
  };
  uint32_t set = flags & 0xF;
  if (set > 5) set = 0;
  int index = 0;
  if (flags & kMbDefButton3) index = 2;
  else if (flags & kMbDefButton2) index = 1;
  return kButtons[set][index];
}

int MessageBox(void* owner, const char* text, const char* caption, uint32_t flags) {
  std::string line = "[message box] ";
  line += caption ? caption : "";
  line += ": ";
  line += text ? text : "";
  line += "\n";
  ssize_t ignored = ::write(STDERR_FILENO, line.data(), line.size());
  (void)ignored;
  HostLog(line);
  {
    std::lock_guard<std::mutex> lock(g_mutex);
    if (g_capture) {
      MessageBoxRecord record{owner, text ? text : "", caption ? caption : "", flags};
      g_capture(g_captureContext, record);
    }
  }
  return DefaultMessageBoxAnswer(flags);
}

void SetMessageBoxCapture(MessageBoxCaptureFn fn, void* context) {
  std::lock_guard<std::mutex> lock(g_mutex);
  g_capture = fn;
  g_captureContext = context;
}

}  // namespace orx::platform
