// The POSIX stand-ins for the kernel objects, where they do more than the framework's tests see.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <pthread.h>
#include <sys/mman.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <climits>
#include <string>
#include <thread>

#include "platform/clock.h"
#include "platform/event.h"
#include "platform/file.h"
#include "platform/heap.h"
#include "platform/shared_memory.h"
#include "platform/thread.h"
#include "tests/support/test_paths.h"
#include "tests/support/waiting.h"

namespace orx::platform {
namespace {

TEST(PlatformEvents, ManualResetReleasesEveryWaiterUntilReset) {
  Event* event = CreateEvent(true, false, nullptr);
  ASSERT_NE(event, nullptr);
  std::atomic<int> woken{0};
  std::thread a([&] { if (WaitEvent(event, kWaitForever) == WaitResult::kSignalled) woken++; });
  std::thread b([&] { if (WaitEvent(event, kWaitForever) == WaitResult::kSignalled) woken++; });
  SetEvent(event);
  a.join();
  b.join();
  EXPECT_EQ(woken.load(), 2);
  EXPECT_EQ(WaitEvent(event, 0), WaitResult::kSignalled);
  ResetEvent(event);
  EXPECT_EQ(WaitEvent(event, 0), WaitResult::kTimedOut);
  DestroyEvent(event);
}

// A set made while the other side spins, and one made after it has gone to sleep, both wake
// it: two threads hand a turn back and forth, and now and then one answers late enough that the
// other has stopped spinning.
TEST(PlatformEvents, HandOffsBackAndForthLoseNoSet) {
  Event* ping = CreateEvent(false, false, nullptr);
  Event* pong = CreateEvent(false, false, nullptr);
  ASSERT_NE(ping, nullptr);
  ASSERT_NE(pong, nullptr);
  constexpr int kTurns = 20000;
  constexpr uint32_t kPatienceMs = 5000;
  std::atomic<int> lost{0};
  std::thread other([&] {
    for (int turn = 0; turn < kTurns; ++turn) {
      if (WaitEvent(ping, kPatienceMs) != WaitResult::kSignalled) {
        lost++;
        return;
      }
      if (turn % 200 == 0) std::this_thread::sleep_for(std::chrono::milliseconds(1));
      SetEvent(pong);
    }
  });
  for (int turn = 0; turn < kTurns && lost.load() == 0; ++turn) {
    SetEvent(ping);
    if (WaitEvent(pong, kPatienceMs) != WaitResult::kSignalled) lost++;
  }
  other.join();
  EXPECT_EQ(lost.load(), 0);
  // Every set was taken by exactly one wait: neither event is left set.
  EXPECT_EQ(WaitEvent(ping, 0), WaitResult::kTimedOut);
  EXPECT_EQ(WaitEvent(pong, 0), WaitResult::kTimedOut);
  DestroyEvent(ping);
  DestroyEvent(pong);
}

struct StackProbe {
  size_t requested = 0;
  size_t actual = 0;
};

void ReadStackSize(void* raw) {
  auto* probe = static_cast<StackProbe*>(raw);
  pthread_attr_t attr;
  pthread_getattr_np(pthread_self(), &attr);
  pthread_attr_getstacksize(&attr, &probe->actual);
  pthread_attr_destroy(&attr);
}

TEST(PlatformThreads, StackSizeIsHonouredAndRaisedToTheMinimum) {
  for (size_t requested : {size_t{1}, size_t{256 * 1024}}) {
    StackProbe probe{requested, 0};
    NativeThread* thread = StartNativeThread(ReadStackSize, &probe, requested);
    ASSERT_NE(thread, nullptr);
    JoinNativeThread(thread);
    EXPECT_GE(probe.actual, std::max(requested, static_cast<size_t>(PTHREAD_STACK_MIN)));
  }
}

struct SelfFreeing {
  std::atomic<NativeThread*> handle{nullptr};
  orx::test::CountingEvent handleKnown;
  orx::test::CountingEvent done;
};

// Waits until it knows its own handle, then frees it: a join would deadlock, so it detaches.
void FreeOwnHandle(void* raw) {
  auto* context = static_cast<SelfFreeing*>(raw);
  if (context->handleKnown.WaitFor(1)) JoinNativeThread(context->handle.load());
  context->done.Raise();
}

TEST(PlatformThreads, AThreadThatFreesItselfIsDetachedNotJoined) {
  SelfFreeing context;
  NativeThread* thread = StartNativeThread(FreeOwnHandle, &context, 0);
  ASSERT_NE(thread, nullptr);
  context.handle = thread;
  context.handleKnown.Raise();
  EXPECT_TRUE(context.done.WaitFor(1)) << "the thread did not come back from freeing itself";
}

TEST(PlatformThreads, PriorityLevelsMapToNiceValues) {
  const struct {
    int level;
    bool mapped;
    int nice;
  } cases[] = {{-15, true, 19}, {-2, true, 10}, {-1, true, 5}, {0, true, 0}, {1, true, -5},
               {2, true, -10},  {15, true, -20}, {14, false, 0}, {3, false, 0}, {-3, false, 0}};
  for (const auto& c : cases) {
    int nice = 99;
    EXPECT_EQ(PriorityLevelToNice(c.level, &nice), c.mapped) << c.level;
    if (c.mapped) {
      EXPECT_EQ(nice, c.nice) << c.level;
    }
  }
  EXPECT_FALSE(SetThreadPriorityLevel(CurrentThreadId(), 14));
}

TEST(PlatformFiles, DescriptorsAreCloseOnExecAndReadsStopAtTheEnd) {
  const std::string path = orx::test::MakeTempDir("platform-files") + "/data";
  int fd = OpenFile(path.c_str(), FileOpenMode::kWriteTruncate);
  ASSERT_GE(fd, 0);
  EXPECT_NE(fcntl(fd, F_GETFD) & FD_CLOEXEC, 0);
  uint32_t written = 0;
  EXPECT_TRUE(WriteFile(fd, "abcdef", 6, &written));
  EXPECT_EQ(written, 6u);
  CloseFile(fd);
  fd = OpenFile(path.c_str(), FileOpenMode::kRead);
  ASSERT_GE(fd, 0);
  EXPECT_NE(fcntl(fd, F_GETFD) & FD_CLOEXEC, 0);
  char buffer[16];
  uint32_t got = 0;
  EXPECT_TRUE(ReadFile(fd, buffer, sizeof buffer, &got));
  EXPECT_EQ(got, 6u);
  uint64_t size = 0;
  EXPECT_TRUE(GetFileSize(fd, &size));
  EXPECT_EQ(size, 6u);
  CloseFile(fd);
}

TEST(PlatformSharedMemory, OpensReadOnlyWhenWritingIsRefused) {
  if (geteuid() == 0) GTEST_SKIP() << "permissions do not refuse anything to root";
  const std::string name = "orx-readonly-" + std::to_string(getpid());
  int fd = shm_open(("/" + name).c_str(), O_RDWR | O_CREAT | O_EXCL, 0400);
  ASSERT_GE(fd, 0);
  ASSERT_EQ(ftruncate(fd, 4096), 0);
  close(fd);
  SharedMapping mapping;
  ASSERT_TRUE(OpenSharedMemory(name, &mapping));
  EXPECT_TRUE(mapping.readOnly);
  EXPECT_EQ(mapping.size, 4096u);
  CloseSharedMemory(&mapping);
  shm_unlink(("/" + name).c_str());
}

void* Refuse(size_t) { return nullptr; }

TEST(PlatformHeap, HookReplacesTheHeapUntilRestored) {
  EXPECT_EQ(SetHeapAllocateHook(Refuse), nullptr);
  EXPECT_EQ(HeapAllocate(16), nullptr);
  EXPECT_EQ(SetHeapAllocateHook(nullptr), Refuse);
  void* block = HeapAllocate(16);
  EXPECT_NE(block, nullptr);
  HeapRelease(block);
}

TEST(PlatformClock, CounterTicksAtTenMegahertz) {
  const int64_t before = PerformanceCounter();
  SleepMilliseconds(20);
  const int64_t ticks = PerformanceCounter() - before;
  EXPECT_GE(ticks, 20 * kPerformanceFrequency / 1000);
}

}  // namespace
}  // namespace orx::platform
