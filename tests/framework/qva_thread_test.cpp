#include <gtest/gtest.h>
#include <sys/resource.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "framework/qva_component.h"
#include "platform/thread.h"
#include "tests/framework/framework_probe.h"
#include "tests/support/waiting.h"

namespace {

// The nice value of a thread, field 19 of its stat line.
int NiceOf(pid_t tid) {
  std::ifstream in("/proc/self/task/" + std::to_string(tid) + "/stat");
  std::string line;
  std::getline(in, line);
  std::istringstream fields(line.substr(line.rfind(')') + 2));
  std::string field;
  for (int i = 3; i <= 19; ++i) fields >> field;
  return std::stoi(field);
}

struct Worker {
  QVAHandle gate = QVACreateEvent(0, 0, nullptr);
  std::atomic<int> runs{0};
  std::atomic<pid_t> tid{0};
  std::atomic<int> niceAtEntry{-100};
  orx::test::CountingEvent entered;  // raised once tid and niceAtEntry are set
  std::atomic<bool> waitForStopRequest{false};
  ~Worker() { QVADestroyEvent(gate); }
};

uint32_t WorkerEntry(QVAHandle thread, void* argument) {
  auto* worker = static_cast<Worker*>(argument);
  worker->tid = orx::platform::CurrentThreadId();
  worker->niceAtEntry = NiceOf(worker->tid);
  worker->runs++;
  worker->entered.Raise();
  if (worker->waitForStopRequest) {
    // As a component's worker does: it looks at its stage, which carries the stop request.
    while (QVAThreadGetStage(thread) != QVA_THREAD_STOPPING) QVASleep(5);
  } else {
    QVAWaitEvent(worker->gate, QVA_INFINITE);
  }
  return 0;
}

TEST(QvaThreads, StagesFollowEachRunAndAnEndedThreadStartsAgain) {
  Worker worker;
  QVAHandle thread = QVACreateThread(WorkerEntry, &worker, 0);
  ASSERT_NE(thread, nullptr);
  EXPECT_EQ(QVAThreadGetStage(thread), QVA_THREAD_CREATED);
  for (int run = 1; run <= 2; ++run) {
    ASSERT_EQ(QVAStartThread(thread), QVA_SUCCESS);
    ASSERT_EQ(QVAWaitThreadStage(thread, QVA_THREAD_RUNNING, 5000), QVA_SUCCESS);
    EXPECT_EQ(QVAStartThread(thread), QVA_ERR_STARTED);
    QVASetEvent(worker.gate);
    ASSERT_EQ(QVAWaitThreadStage(thread, QVA_THREAD_ENDED, 5000), QVA_SUCCESS);
    EXPECT_EQ(worker.runs.load(), run);
  }
  EXPECT_EQ(QVADestroyThread(thread, 0), QVA_SUCCESS);
}

TEST(QvaThreads, StageWaitPollsEveryHundredMilliseconds) {
  Worker worker;
  QVAHandle thread = QVACreateThread(WorkerEntry, &worker, 64 * 1024);
  ASSERT_NE(thread, nullptr);
  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(QVAWaitThreadStage(thread, QVA_THREAD_RUNNING, 250), QVA_ERR_TIMEOUT);
  const auto waited = std::chrono::steady_clock::now() - start;
  EXPECT_GE(waited, std::chrono::milliseconds(300));  // three sleeps of 100 ms
  EXPECT_EQ(QVAWaitThreadStage(thread, QVA_THREAD_CREATED, 0), QVA_SUCCESS);
  EXPECT_EQ(QVADestroyThread(thread, 1), QVA_SUCCESS);  // never started: nothing to wait for

  // A missing thread reads as ended.
  EXPECT_EQ(QVAThreadGetStage(nullptr), QVA_THREAD_ENDED);
  EXPECT_EQ(QVAWaitThreadStage(nullptr, QVA_THREAD_ENDED, 0), QVA_SUCCESS);
  EXPECT_EQ(QVAWaitThreadStage(nullptr, QVA_THREAD_RUNNING, 0), QVA_ERR_TIMEOUT);
  EXPECT_EQ(QVAThreadSetStage(nullptr, 4), 0u);
  EXPECT_EQ(QVAStartThread(nullptr), QVA_ERR_BADHANDLE);
  EXPECT_EQ(QVASetThreadPriority(nullptr, 0), QVA_ERR_BADHANDLE);
  EXPECT_EQ(QVADestroyThread(nullptr, 1), QVA_SUCCESS);
}

TEST(QvaThreads, PrioritySetBeforeStartIsInEffectWhenTheEntryRuns) {
  const int baseNice = getpriority(PRIO_PROCESS, 0);
  if (baseNice > 5) GTEST_SKIP() << "the test process already runs at nice " << baseNice;
  Worker worker;
  QVAHandle thread = QVACreateThread(WorkerEntry, &worker, 0);
  ASSERT_NE(thread, nullptr);
  EXPECT_EQ(QVASetThreadPriority(thread, -1), QVA_SUCCESS);
  ASSERT_EQ(QVAStartThread(thread), QVA_SUCCESS);
  ASSERT_EQ(QVAWaitThreadStage(thread, QVA_THREAD_RUNNING, 5000), QVA_SUCCESS);
  EXPECT_TRUE(worker.entered.WaitFor(1));
  EXPECT_EQ(worker.niceAtEntry.load(), 5);
  // The components' default level has no meaning here: refused, the priority stays.
  EXPECT_EQ(QVASetThreadPriority(thread, 14), QVA_ERR_GENERIC);
  EXPECT_EQ(NiceOf(worker.tid), 5);
  QVASetEvent(worker.gate);
  EXPECT_EQ(QVADestroyThread(thread, 1), QVA_SUCCESS);
}

TEST(QvaThreads, DestroyAsksTheThreadToStopAndJoinsIt) {
  Worker worker;
  worker.waitForStopRequest = true;
  QVAHandle thread = QVACreateThread(WorkerEntry, &worker, 0);
  ASSERT_NE(thread, nullptr);
  ASSERT_EQ(QVAStartThread(thread), QVA_SUCCESS);
  EXPECT_EQ(QVADestroyThread(thread, 1), QVA_SUCCESS);
  ASSERT_EQ(worker.runs.load(), 1);
  // Joined: the kernel thread is gone (a joined thread is reaped right after it exits).
  const std::string task = "/proc/self/task/" + std::to_string(worker.tid.load());
  EXPECT_TRUE(orx::test::PollUntil([&] { return !std::filesystem::exists(task); }, std::chrono::milliseconds(5000)));
}

TEST(QvaThreads, LibraryIsUnloadedRightAfterItDestroysItsThread) {
  for (int i = 0; i < 20; ++i) {
    orx::test::FrameworkProbe probe;
    ASSERT_TRUE(probe.Loaded()) << orx::test::FrameworkProbePath();
    EXPECT_EQ(probe.runThread(), QVA_SUCCESS);
  }  // each probe unloads its library as it goes out of scope
}

orx::platform::NativeThread* RefuseThread(orx::platform::ThreadProc, void*, size_t) { return nullptr; }

TEST(QvaThreads, RefusedCreationIsReportedAndLeavesStageZero) {
  Worker worker;
  QVAHandle thread = QVACreateThread(WorkerEntry, &worker, 0);
  ASSERT_NE(thread, nullptr);
  auto previous = orx::platform::SetThreadStartHook(RefuseThread);
  EXPECT_EQ(QVAStartThread(thread), QVA_ERR_GENERIC);
  orx::platform::SetThreadStartHook(previous);
  EXPECT_EQ(QVAThreadGetStage(thread), QVA_THREAD_CREATED);
  ASSERT_EQ(QVAStartThread(thread), QVA_SUCCESS);
  QVASetEvent(worker.gate);
  EXPECT_EQ(QVADestroyThread(thread, 1), QVA_SUCCESS);
  EXPECT_EQ(worker.runs.load(), 1);
}

}  // namespace
