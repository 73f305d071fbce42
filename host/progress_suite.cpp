#include "host/progress_suite.h"

#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <mutex>

#include "host/sequence_render.h"

namespace orx::host {
namespace {

using namespace host_sdk;
using Clock = std::chrono::steady_clock;

std::mutex g_mutex;
ProgressSettings g_settings;
ProgressRecord g_record;
std::atomic<bool> g_cancelRequested{false};
bool g_suspendDone = false;
Clock::time_point g_start;
int g_lastPercentShown = -1;
bool g_barOpen = false;

void DrawBar(float fraction, bool final) {
  if (!g_settings.showBar) return;
  bool tty = ::isatty(2) != 0;
  int percent = static_cast<int>(fraction * 100.0f + 0.5f);
  // Without a terminal only each whole percent is written, one line each.
  if (!tty && !final && percent == g_lastPercentShown) return;
  g_lastPercentShown = percent;
  double elapsed = std::chrono::duration<double>(Clock::now() - g_start).count();
  RenderStatistics render = CurrentRenderStatistics();
  double fps = elapsed > 0.0 ? static_cast<double>(render.completions) / elapsed : 0.0;
  double left = fraction > 0.0f ? elapsed * (1.0 - fraction) / fraction : 0.0;
  if (left < 0.0) left = 0.0;
  constexpr int kWidth = 30;
  char bar[kWidth + 1];
  int filled = static_cast<int>(fraction * kWidth + 0.5f);
  for (int i = 0; i < kWidth; ++i) bar[i] = i < filled ? '#' : '.';
  bar[kWidth] = '\0';
  long seconds = static_cast<long>(left + 0.5);
  std::fprintf(stderr, "%s[%s] %5.1f%%  %6.1f fps  %ld:%02ld left%s", tty ? "\r" : "", bar,
               fraction * 100.0f, fps, seconds / 60, seconds % 60, tty ? "" : "\n");
  std::fflush(stderr);
  g_barOpen = tty;
}

int32_t UpdateProgress(uint32_t /*exporterId*/, float fraction) {
  std::lock_guard<std::mutex> lock(g_mutex);
  if (g_record.reports.empty()) g_start = Clock::now();
  g_record.reports.push_back(fraction);
  DrawBar(fraction, false);
  int64_t requested = CurrentRenderStatistics().highestFrame;
  if (g_settings.cancelAtFrame >= 0 && requested >= g_settings.cancelAtFrame) {
    g_cancelRequested = true;
  }
  if (g_cancelRequested.load()) {
    g_record.cancelled = true;
    return kProgressCancel;
  }
  if (!g_suspendDone && g_settings.suspendAtFrame >= 0 && requested >= g_settings.suspendAtFrame) {
    g_suspendDone = true;
    ++g_record.suspends;
    return kProgressSuspended;
  }
  return 0;
}

int32_t WaitForResume(uint32_t /*exporterId*/) {
  std::lock_guard<std::mutex> lock(g_mutex);
  ++g_record.resumes;
  if (g_cancelRequested.load()) {
    g_record.cancelled = true;
    return kProgressCancel;
  }
  return 0;
}

const ExportProgressSuite kSuite{&UpdateProgress, &WaitForResume};

}  // namespace

void SetProgressSettings(const ProgressSettings& settings) {
  std::lock_guard<std::mutex> lock(g_mutex);
  g_settings = settings;
  g_record = ProgressRecord{};
  g_cancelRequested = false;
  g_suspendDone = false;
  g_lastPercentShown = -1;
  g_barOpen = false;
  g_start = Clock::now();
}

void RequestCancel() { g_cancelRequested = true; }

ProgressRecord CurrentProgressRecord() {
  std::lock_guard<std::mutex> lock(g_mutex);
  return g_record;
}

void FinishProgressBar(bool complete) {
  std::lock_guard<std::mutex> lock(g_mutex);
  if (complete) DrawBar(1.0f, true);
  if (g_barOpen) std::fputc('\n', stderr);
  g_barOpen = false;
}

const ExportProgressSuite* ExportProgressSuiteTable() { return &kSuite; }

}  // namespace orx::host
