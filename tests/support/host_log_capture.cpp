#include "tests/support/host_log_capture.h"

#include <condition_variable>
#include <mutex>

#include "platform/export.h"

namespace {
std::mutex g_mutex;
std::condition_variable g_written;
bool g_active = false;
std::string g_text;
}  // namespace

extern "C" ORX_EXPORT void OrxHostLog(const char* text) {
  std::lock_guard<std::mutex> lock(g_mutex);
  if (g_active && text) {
    g_text += text;
    g_written.notify_all();
  }
}

namespace orx::test {

HostLogCapture::HostLogCapture() {
  std::lock_guard<std::mutex> lock(g_mutex);
  g_active = true;
  g_text.clear();
}

HostLogCapture::~HostLogCapture() {
  std::lock_guard<std::mutex> lock(g_mutex);
  g_active = false;
  g_text.clear();
}

std::string HostLogCapture::Text() const {
  std::lock_guard<std::mutex> lock(g_mutex);
  return g_text;
}

void HostLogCapture::Clear() {
  std::lock_guard<std::mutex> lock(g_mutex);
  g_text.clear();
}

bool HostLogCapture::WaitFor(const std::string& line, std::chrono::milliseconds timeout) const {
  std::unique_lock<std::mutex> lock(g_mutex);
  return g_written.wait_for(lock, timeout, [&] { return g_text.find(line) != std::string::npos; });
}

}  // namespace orx::test
