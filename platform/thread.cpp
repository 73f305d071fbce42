#include "platform/thread.h"

#include <pthread.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <climits>

namespace orx::platform {

class NativeThread {
 public:
  pthread_t id{};
  ThreadProc proc = nullptr;
  void* argument = nullptr;
};

namespace {

std::atomic<ThreadStartFn> g_startHook{nullptr};

void* Trampoline(void* raw) {
  auto* thread = static_cast<NativeThread*>(raw);
  thread->proc(thread->argument);
  return nullptr;
}

}  // namespace

NativeThread* StartNativeThread(ThreadProc proc, void* argument, size_t stackSize) {
  if (ThreadStartFn hook = g_startHook.load(std::memory_order_acquire)) {
    return hook(proc, argument, stackSize);
  }
  auto* thread = new NativeThread;
  thread->proc = proc;
  thread->argument = argument;
  pthread_attr_t attr;
  pthread_attr_init(&attr);
  if (stackSize != 0) {
    size_t size = stackSize < static_cast<size_t>(PTHREAD_STACK_MIN)
                      ? static_cast<size_t>(PTHREAD_STACK_MIN)
                      : stackSize;
    pthread_attr_setstacksize(&attr, size);
  }
  int rc = pthread_create(&thread->id, &attr, Trampoline, thread);
  pthread_attr_destroy(&attr);
  if (rc != 0) {
    delete thread;
    return nullptr;
  }
  return thread;
}

void JoinNativeThread(NativeThread* thread) {
  if (thread == nullptr) return;
  if (pthread_equal(thread->id, pthread_self())) {
    pthread_detach(thread->id);
  } else {
    pthread_join(thread->id, nullptr);
  }
  delete thread;
}

ThreadStartFn SetThreadStartHook(ThreadStartFn hook) {
  return g_startHook.exchange(hook, std::memory_order_acq_rel);
}

pid_t CurrentThreadId() { return static_cast<pid_t>(syscall(SYS_gettid)); }

bool PriorityLevelToNice(int level, int* nice) {
  switch (level) {
    case -15: *nice = 19; return true;
    case -2: *nice = 10; return true;
    case -1: *nice = 5; return true;
    case 0: *nice = 0; return true;
    case 1: *nice = -5; return true;
    case 2: *nice = -10; return true;
    case 15: *nice = -20; return true;
    default: return false;
  }
}

bool SetThreadPriorityLevel(pid_t tid, int level) {
  int nice = 0;
  if (!PriorityLevelToNice(level, &nice)) return false;
  return setpriority(PRIO_PROCESS, static_cast<id_t>(tid), nice) == 0;
}

}  // namespace orx::platform
