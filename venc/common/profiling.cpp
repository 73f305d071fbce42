#include "venc/common/profiling.h"

#include <atomic>
#include <chrono>
#include <cstdio>
#include <mutex>

#include "venc/common/dataflow_hooks.h"

namespace orx::venc {
namespace {

// A 10 MHz counter, as the performance counter of the original platform commonly runs.
constexpr int64_t kTicksPerSecond = 10000000;
constexpr int kQueuedRecords = 1024;

int64_t ReadCounter() {
  const auto now = std::chrono::steady_clock::now().time_since_epoch();
  return std::chrono::duration_cast<std::chrono::nanoseconds>(now).count() / 100;
}

struct TimerSlot {
  int64_t start = 0;
  int64_t ticks = 0;
  int32_t calls = 0;
};

struct ProfileRecord {
  uint32_t tag;  // instance << 8 | slot
  uint32_t start;  // ticks after the base counter
  uint32_t duration;
};

// Each instance's slots and queue are touched only by that instance's thread (and by the close
// when no encoder is left).
struct InstanceProfile {
  TimerSlot slots[kProfileSlots];
  ProfileRecord queue[kQueuedRecords];
  int queued = 0;
};

InstanceProfile g_instances[kProfiledInstances];
std::mutex g_fileLock;  // the file, its opening and closing
std::FILE* g_file = nullptr;
std::atomic<bool> g_fileOpen{false};
std::atomic<bool> g_stopped{false};  // the frame limit was reached
std::atomic<int64_t> g_baseCounter{0};
std::atomic<int> g_frames{0};

uint32_t DebugWord() { return dataflow::g_dataflow_config_flags.load(std::memory_order_relaxed); }

bool Active(int instance) {
  if (instance < 0 || instance >= kProfiledInstances || g_stopped.load(std::memory_order_relaxed))
    return false;
  return g_fileOpen.load(std::memory_order_acquire) || (DebugWord() & kDebugInstanceTimings) != 0;
}

// With the file lock held.
void WriteRecordsLocked(InstanceProfile& profile) {
  if (g_file != nullptr) {
    for (int i = 0; i < profile.queued; ++i) {
      const ProfileRecord& r = profile.queue[i];
      std::fprintf(g_file, "%3d %3d %11d %7d\n", static_cast<int>(r.tag >> 8), static_cast<int>(r.tag & 0xFF),
                   static_cast<int>(r.start), static_cast<int>(r.duration));
    }
  }
  profile.queued = 0;
}

// With the file lock held.
void CloseFileLocked() {
  if (g_file == nullptr) return;
  std::fclose(g_file);
  g_file = nullptr;
  g_fileOpen.store(false, std::memory_order_release);
}

void PrintTimings(int instance) {
  InstanceProfile& profile = g_instances[instance];
  std::printf("INSTANCE[%d] ", instance);
  for (TimerSlot& slot : profile.slots) {
    std::printf("[ %10.2f ms / %5d ]", static_cast<double>(slot.ticks) * 1000.0 / kTicksPerSecond, slot.calls);
    slot.ticks = 0;
    slot.calls = 0;
  }
  const int frames = g_frames.fetch_add(1, std::memory_order_relaxed) + 1;
  const uint32_t word = DebugWord();
  std::printf("[F# %5d ] [C# 0x%08x ]\n", frames, word);
  const int limit = static_cast<int>((word >> kDebugFrameLimitShift) & kDebugFrameLimitMask);
  if (limit != 0 && frames == limit && !g_stopped.exchange(true)) {
    // The system this follows ended the host's process here; the encode goes on instead.
    {
      std::lock_guard<std::mutex> hold(g_fileLock);
      WriteRecordsLocked(profile);
      CloseFileLocked();
    }
    std::printf("DEBUG: frame limit %d reached, profiling stopped\n", limit);
  }
  std::fflush(stdout);
}

}  // namespace

void OpenProfileFile() {
  std::lock_guard<std::mutex> hold(g_fileLock);
  g_stopped.store(false);
  if ((DebugWord() & kDebugProfileFile) == 0 || g_file != nullptr) return;
  g_file = std::fopen(kProfileFileName, "w");
  if (g_file == nullptr) return;  // profiling never fails visibly
  g_baseCounter.store(ReadCounter());
  std::fprintf(g_file, "FREQUENCY  %d\n", static_cast<int>(static_cast<uint32_t>(kTicksPerSecond)));
  for (InstanceProfile& profile : g_instances) profile.queued = 0;
  g_fileOpen.store(true, std::memory_order_release);
}

void CloseProfileFile() {
  bool closed = false;
  for (int instance = 0; instance < kProfiledInstances; ++instance) {
    {
      std::lock_guard<std::mutex> hold(g_fileLock);
      WriteRecordsLocked(g_instances[instance]);
    }
    if (Active(instance) && g_instances[instance].slots[kProfileSlotEncodeFrame].calls != 0) PrintTimings(instance);
  }
  {
    std::lock_guard<std::mutex> hold(g_fileLock);
    closed = g_file != nullptr;
    CloseFileLocked();
  }
  if (closed) {
    std::printf("DEBUG: created %s\n", kProfileFileName);
    std::fflush(stdout);
  }
}

void ProfileTimerStart(int instance, int slot) {
  if (!Active(instance) || slot < 0 || slot >= kProfileSlots) return;
  g_instances[instance].slots[slot].start = ReadCounter();
}

void ProfileTimerStop(int instance, int slot) {
  if (!Active(instance) || slot < 0 || slot >= kProfileSlots) return;
  InstanceProfile& profile = g_instances[instance];
  TimerSlot& timer = profile.slots[slot];
  const int64_t now = ReadCounter();
  timer.ticks += now - timer.start;
  ++timer.calls;
  if (!g_fileOpen.load(std::memory_order_acquire)) return;
  profile.queue[profile.queued++] = {static_cast<uint32_t>(instance << 8 | slot),
                                     static_cast<uint32_t>(timer.start - g_baseCounter.load()),
                                     static_cast<uint32_t>(now - timer.start)};
  if (profile.queued == kQueuedRecords) FlushProfileRecords(instance);
}

void FlushProfileRecords(int instance) {
  if (instance < 0 || instance >= kProfiledInstances) return;
  std::lock_guard<std::mutex> hold(g_fileLock);
  WriteRecordsLocked(g_instances[instance]);
}

void PrintInstanceTimings(int instance) {
  if (Active(instance)) PrintTimings(instance);
}

}  // namespace orx::venc
