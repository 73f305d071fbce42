#include <sys/types.h>

#include <atomic>
#include <mutex>
#include <new>

#include "framework/qva_clock.h"
#include "framework/qva_os.h"
#include "platform/thread.h"

namespace {

constexpr uint32_t kStagePollMs = 100;

struct ThreadData {
  void* argument = nullptr;
  QVAThreadFn entry = nullptr;
  std::atomic<uint32_t> stage{QVA_THREAD_CREATED};
  uint32_t stackSize = 0;
  std::atomic<int32_t> priority{0};
  // 1 while no priority waits to be applied, so a thread whose priority was never set keeps
  // the system's default.
  std::atomic<uint32_t> priorityApplied{1};
  // The system thread of the current or last run; guarded by control.
  orx::platform::NativeThread* native = nullptr;
  std::atomic<pid_t> kernelId{0};
  std::mutex control;
};

ThreadData* Data(QVAHandle thread) { return static_cast<ThreadData*>(QVAHandleData(thread, nullptr)); }

void SystemThreadProc(void* thread) { QVAThreadEntry(thread); }

}  // namespace

QVAHandle QVACreateThread(QVAThreadFn entry, void* argument, uint32_t stackSize) {
  QVAHandle thread = QVAAllocHandle(QVA_HANDLE_THREAD, nullptr, sizeof(ThreadData));
  if (thread == nullptr) return nullptr;
  ThreadData* data = new (Data(thread)) ThreadData;
  data->argument = argument;
  data->entry = entry;
  data->stackSize = stackSize;
  return thread;
}

QVAStatus QVAStartThread(QVAHandle thread) {
  if (thread == nullptr) return QVA_ERR_BADHANDLE;
  ThreadData* data = Data(thread);
  std::lock_guard<std::mutex> lock(data->control);
  const uint32_t stage = data->stage.load(std::memory_order_acquire);
  if (stage != QVA_THREAD_CREATED && stage != QVA_THREAD_ENDED) return QVA_ERR_STARTED;
  // A system thread without stage 255 was started and has not begun to run yet.
  if (data->native != nullptr && stage != QVA_THREAD_ENDED) return QVA_ERR_STARTED;
  if (data->native != nullptr) {
    // The previous run has ended: reclaim its system thread before starting another.
    orx::platform::JoinNativeThread(data->native);
    data->native = nullptr;
  }
  data->stage.store(QVA_THREAD_CREATED, std::memory_order_release);
  data->native = orx::platform::StartNativeThread(SystemThreadProc, thread, data->stackSize);
  return data->native != nullptr ? QVA_SUCCESS : QVA_ERR_GENERIC;
}

uint32_t QVAThreadEntry(QVAHandle thread) {
  ThreadData* data = Data(thread);
  data->kernelId.store(orx::platform::CurrentThreadId(), std::memory_order_relaxed);
  data->stage.store(QVA_THREAD_RUNNING, std::memory_order_release);
  if (data->priorityApplied.load(std::memory_order_acquire) == 0) {
    QVASetThreadPriority(thread, data->priority.load(std::memory_order_relaxed));
  }
  const uint32_t result = data->entry(thread, data->argument);
  data->stage.store(QVA_THREAD_ENDED, std::memory_order_release);
  return result;
}

uint32_t QVAThreadGetStage(QVAHandle thread) {
  if (thread == nullptr) return QVA_THREAD_ENDED;
  return Data(thread)->stage.load(std::memory_order_acquire);
}

uint32_t QVAThreadSetStage(QVAHandle thread, uint32_t stage) {
  if (thread == nullptr) return 0;
  Data(thread)->stage.store(stage, std::memory_order_release);
  return 1;
}

QVAStatus QVAWaitThreadStage(QVAHandle thread, uint32_t stage, uint32_t timeoutMs) {
  uint32_t waited = 0;
  while (QVAThreadGetStage(thread) != stage && (timeoutMs == QVA_INFINITE || waited < timeoutMs)) {
    QVASleep(kStagePollMs);
    waited += kStagePollMs;
  }
  return QVAThreadGetStage(thread) == stage ? QVA_SUCCESS : QVA_ERR_TIMEOUT;
}

QVAStatus QVASetThreadPriority(QVAHandle thread, int32_t priority) {
  if (thread == nullptr) return QVA_ERR_BADHANDLE;
  ThreadData* data = Data(thread);
  data->priority.store(priority, std::memory_order_relaxed);
  const uint32_t stage = data->stage.load(std::memory_order_acquire);
  if (stage == QVA_THREAD_CREATED || stage == QVA_THREAD_ENDED) {
    data->priorityApplied.store(0, std::memory_order_release);
    return QVA_SUCCESS;
  }
  if (orx::platform::SetThreadPriorityLevel(data->kernelId.load(std::memory_order_relaxed), priority)) {
    data->priorityApplied.store(1, std::memory_order_release);
    return QVA_SUCCESS;
  }
  return QVA_ERR_GENERIC;
}

QVAStatus QVADestroyThread(QVAHandle thread, uint32_t wait) {
  if (thread == nullptr) return QVA_SUCCESS;
  ThreadData* data = Data(thread);
  if (wait != 0) {
    bool started;
    {
      std::lock_guard<std::mutex> lock(data->control);
      started = data->native != nullptr;
    }
    for (;;) {
      uint32_t stage = data->stage.load(std::memory_order_acquire);
      if (stage == QVA_THREAD_RUNNING) {
        data->stage.compare_exchange_strong(stage, QVA_THREAD_STOPPING, std::memory_order_acq_rel);
        continue;
      }
      // Stage 0 of a started thread: it has not begun to run yet, so it has not seen the request.
      if (stage != QVA_THREAD_STOPPING && !(stage == QVA_THREAD_CREATED && started)) break;
      QVASleep(kStagePollMs);
    }
  }
  {
    // The system thread may still be leaving the library's code: wait for it, so the library
    // can be unloaded safely once this returns.
    std::lock_guard<std::mutex> lock(data->control);
    if (data->native != nullptr) orx::platform::JoinNativeThread(data->native);
    data->native = nullptr;
  }
  data->~ThreadData();
  return QVAFreeHandleBlock(thread);
}
