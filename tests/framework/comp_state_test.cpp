#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "platform/thread.h"
#include "tests/framework/test_component.h"
#include "tests/support/orx_test.h"
#include "tests/support/waiting.h"

namespace orx::test {
namespace {

using CompStates = TestLibrary;
using Change = std::pair<uint32_t, uint32_t>;

constexpr uint32_t NONE = QVA_STATE_NONE, INIT = QVA_STATE_INIT, IDLE = QVA_STATE_IDLE,
                   STARTING = QVA_STATE_STARTING, PLAYING = QVA_STATE_PLAYING, PAUSING = QVA_STATE_PAUSING,
                   PAUSED = QVA_STATE_PAUSED, STEPPING = QVA_STATE_STEPPING, STOPPING = QVA_STATE_STOPPING,
                   STOPPED = QVA_STATE_STOPPED, DESTROYING = QVA_STATE_DESTROYING;

// One command sent to an instance in a given state, and what it leaves.
struct CommandRow {
  uint32_t from;
  bool worker = true;  // a worker thread runs
  uint32_t command;
  uintptr_t param1 = 0;
  uint32_t timeout = 0;
  uint32_t flushBefore = 0;  // the flush request word before the command
  QVAStatus answer = QVA_SUCCESS;
  uint32_t after;
  std::vector<Change> events = {};  // the state changes reported
  bool wordsCleared = false;        // the end-of-stream and stream-start words were reset
  uint32_t flushAfter = 0;
};

TEST_F(CompStates, CommandMachineAsATable) {
  const std::vector<CommandRow> rows = {
      // CMD_PLAY
      {.from = STOPPED, .command = CMD_PLAY, .param1 = 1, .flushBefore = 1, .after = STARTING,
       .events = {{STOPPED, STARTING}}, .wordsCleared = true},
      {.from = STOPPING, .command = CMD_PLAY, .param1 = 1, .after = STARTING, .events = {{STOPPING, STARTING}}},
      {.from = STEPPING, .command = CMD_PLAY, .param1 = 1, .after = STARTING, .events = {{STEPPING, STARTING}}},
      {.from = PAUSING, .command = CMD_PLAY, .param1 = 1, .after = STARTING, .events = {{PAUSING, STARTING}}},
      {.from = PAUSED, .command = CMD_PLAY, .param1 = 1, .after = PLAYING, .events = {{PAUSED, PLAYING}}},
      {.from = STARTING, .command = CMD_PLAY, .param1 = 1, .after = STARTING},
      {.from = PLAYING, .command = CMD_PLAY, .param1 = 1, .after = PLAYING},
      {.from = IDLE, .command = CMD_PLAY, .param1 = 1, .answer = QVA_ERR_WRONGSTATE, .after = IDLE},
      {.from = INIT, .worker = false, .command = CMD_PLAY, .param1 = 1, .flushBefore = 1,
       .answer = QVA_ERR_WRONGSTATE, .after = INIT},
      // CMD_PAUSE
      {.from = IDLE, .command = CMD_PAUSE, .after = PAUSED, .events = {{IDLE, PAUSING}, {PAUSING, PAUSED}}},
      {.from = STARTING, .command = CMD_PAUSE, .after = PAUSING, .events = {{STARTING, PAUSING}}},
      {.from = PLAYING, .command = CMD_PAUSE, .after = PAUSING, .events = {{PLAYING, PAUSING}}},
      {.from = STOPPING, .command = CMD_PAUSE, .after = PAUSING, .events = {{STOPPING, PAUSING}}},
      {.from = STOPPED, .command = CMD_PAUSE, .after = PAUSING, .events = {{STOPPED, PAUSING}},
       .wordsCleared = true},
      {.from = PAUSING, .command = CMD_PAUSE, .after = PAUSING},
      {.from = PAUSED, .command = CMD_PAUSE, .after = PAUSED},
      {.from = STEPPING, .command = CMD_PAUSE, .answer = QVA_ERR_WRONGSTATE, .after = STEPPING},
      {.from = INIT, .worker = false, .command = CMD_PAUSE, .answer = QVA_ERR_WRONGSTATE, .after = INIT},
      // CMD_STOP, which needs no worker
      {.from = PLAYING, .command = CMD_STOP, .after = STOPPING, .events = {{PLAYING, STOPPING}}},
      {.from = STOPPING, .command = CMD_STOP, .after = STOPPING},
      {.from = STOPPED, .command = CMD_STOP, .after = STOPPED},
      {.from = INIT, .worker = false, .command = CMD_STOP, .answer = QVA_ERR_WRONGSTATE, .after = INIT},
      // CMD_STEP
      {.from = PAUSED, .command = CMD_STEP, .param1 = 1, .after = STEPPING, .events = {{PAUSED, STEPPING}}},
      {.from = STOPPING, .command = CMD_STEP, .param1 = 1, .after = STEPPING, .events = {{STOPPING, STEPPING}}},
      {.from = STOPPED, .command = CMD_STEP, .param1 = 1, .after = STEPPING, .events = {{STOPPED, STEPPING}},
       .wordsCleared = true},
      {.from = STEPPING, .command = CMD_STEP, .param1 = 1, .after = STEPPING},
      {.from = INIT, .worker = false, .command = CMD_STEP, .param1 = 1, .answer = QVA_ERR_WRONGSTATE,
       .after = INIT},
      // CMD_EMPTY: the state comes back
      {.from = PLAYING, .command = CMD_EMPTY, .flushBefore = 1, .after = PLAYING,
       .events = {{PLAYING, PAUSING}, {PAUSING, PLAYING}}},
      {.from = PAUSED, .command = CMD_EMPTY, .after = PAUSED},
      // CMD_FLUSH
      {.from = PLAYING, .command = CMD_FLUSH, .flushBefore = 1, .after = PLAYING},
      {.from = PLAYING, .command = CMD_FLUSH, .timeout = 100, .flushBefore = 2, .answer = QVA_ERR_TIMEOUT,
       .after = PLAYING, .flushAfter = 2},
      {.from = PLAYING, .command = CMD_FLUSH, .param1 = 1, .after = PLAYING, .flushAfter = 1},
      {.from = PLAYING, .command = CMD_FLUSH, .param1 = 1, .flushBefore = 2, .answer = QVA_ERR_TIMEOUT,
       .after = PLAYING, .flushAfter = 2},
      {.from = PAUSED, .command = CMD_FLUSH, .param1 = 1, .answer = QVA_ERR_WRONGSTATE, .after = PAUSED},
      {.from = INIT, .worker = false, .command = CMD_FLUSH, .param1 = 1, .after = INIT, .flushAfter = 1},
      // Commands the framework leaves to the components
      {.from = PLAYING, .command = CMD_SEEK, .answer = QVA_ERR_UNSUPPORTED, .after = PLAYING},
      {.from = PLAYING, .command = CMD_NONE, .answer = QVA_ERR_UNSUPPORTED, .after = PLAYING},
  };
  for (const CommandRow& row : rows) {
    SCOPED_TRACE(std::string(QVALookupText(kQVACommandTexts, row.command)) + " from " +
                 QVALookupText(kQVAStateTexts, row.from) + " param " + std::to_string(row.param1) +
                 " flush word " + std::to_string(row.flushBefore) + " time-out " + std::to_string(row.timeout));
    ComponentInstance* instance = Create(kTestEncoder);
    ASSERT_EQ(CompCreateHook(instance), QVA_SUCCESS);
    if (row.worker) {
      ASSERT_EQ(CompBase_StartThread(instance, IdleWorker, 0), QVA_SUCCESS);
    }
    CompBase_SetState(instance, row.from);
    CompBase_SetEOS(instance, 0xD0);
    CompBase_SetStreamStart(instance, 0x41);
    CompBase_SetFlushRequest(instance, row.flushBefore);
    StateEvents events;
    events.Attach(instance);
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(CompBase_SendCommand(instance, row.command, row.param1, 0, 0, 0, row.timeout), row.answer);
    if (row.answer == QVA_ERR_TIMEOUT && row.timeout != 0) {
      EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(row.timeout));
    }
    EXPECT_EQ(CompBase_GetStateWord(instance), row.after);
    EXPECT_EQ(events.changes, row.events);
    EXPECT_EQ(CompBase_GetEOS(instance), row.wordsCleared ? 0u : 0xD0u);
    EXPECT_EQ(CompBase_GetStreamStart(instance), row.wordsCleared ? 0u : 0x41u);
    EXPECT_EQ(instance->flushWord.load(), row.flushAfter);
    CompBase_SetEventCallback(instance, nullptr, 0, nullptr);
    if (row.worker) {
      EXPECT_EQ(CompBase_StopThread(instance, QVA_INFINITE), QVA_SUCCESS);
    }
    EXPECT_EQ(CompBase_Deinit(instance), QVA_SUCCESS);
    EXPECT_EQ(CompBase_Release(instance), QVA_SUCCESS);
  }
}

TEST_F(CompStates, StateRulesEndWordsAndGroupChanges) {
  ComponentInstance* instance = Create(kTestEncoder);
  ASSERT_EQ(CompCreateHook(instance), QVA_SUCCESS);
  ASSERT_EQ(CompBase_StartThread(instance, IdleWorker, 0), QVA_SUCCESS);
  EventManager* trace = EventManager_Create(16, "states");
  instance->eventManager = trace;
  StateEvents events;
  events.Attach(instance);

  // Leaving the active group for the end group closes the input queues; coming back reopens.
  CompBase_SetState(instance, PLAYING);
  CompBase_SetState(instance, STOPPED);
  ComponentBuffer* slot = nullptr;
  EXPECT_EQ(BufferQueue_Acquire(instance->inputPin[0].queue, QVA_SLOT_FREE, &slot, 0), QVA_ERR_WRONGSTATE);
  EXPECT_EQ(CompBase_SendCommand(instance, CMD_PLAY, 1, 0, 0, 0, 0), QVA_SUCCESS);
  EXPECT_EQ(BufferQueue_Acquire(instance->inputPin[0].queue, QVA_SLOT_FREE, &slot, 0), QVA_SUCCESS);
  BufferQueue_Commit(instance->inputPin[0].queue, QVA_SLOT_FREE, slot, QVA_INFINITE);

  // DESTROYING holds against everything but NONE and INIT; the trace still records the attempt.
  CompBase_SetState(instance, DESTROYING);
  events.changes.clear();
  EventManager_Reset(trace, 1);
  CompBase_SetState(instance, PLAYING);
  EXPECT_EQ(CompBase_GetStateWord(instance), DESTROYING);
  EXPECT_TRUE(events.changes.empty());
  ASSERT_EQ(trace->count, 1u);
  EXPECT_STREQ(trace->events[0].text, "State 0x80000->0x80000");
  EXPECT_EQ(CompBase_ChangeState(instance, 0xFFFFFFFF, PLAYING), 0u);
  CompBase_SetState(instance, PAUSED);
  EXPECT_EQ(CompBase_GetStateWord(instance), DESTROYING);

  // End words: the first forms only into a word without its family's bits.
  EventManager_Reset(trace, 1);
  instance->eosWord = 0x90;
  CompBase_SetEOS(instance, 0x10);
  EXPECT_EQ(CompBase_GetEOS(instance), 0x90u);
  EXPECT_EQ(trace->count, 0u);
  instance->eosWord = 0x10;
  CompBase_SetEOS(instance, 0x80);
  EXPECT_EQ(CompBase_GetEOS(instance), 0x90u);
  ASSERT_EQ(trace->count, 1u);
  EXPECT_STREQ(trace->events[0].text, "EOS 0x10->0x80");
  CompBase_SetEOI(instance, 0x1000);
  CompBase_SetEOI(instance, 0x2000);
  EXPECT_EQ(CompBase_GetEOI(instance), 0x1000u);
  EXPECT_STREQ(trace->events[1].text, "EOI 0x0->0x1000");
  CompBase_SetStreamStart(instance, 0x4);
  CompBase_SetStreamStart(instance, 1);
  EXPECT_EQ(CompBase_GetStreamStart(instance), 0x4u);
  CompBase_SetStreamStart(instance, 0);
  CompBase_SetStreamStart(instance, 1);
  EXPECT_EQ(CompBase_GetStreamStart(instance), 1u);
  CompBase_SetInputEnd(instance, 0x400);
  CompBase_SetInputEnd(instance, 0x100);
  EXPECT_EQ(CompBase_GetInputEnd(instance), 0x400u);
  CompBase_SetInputEnd(instance, 0);
  CompBase_SetInputEnd(instance, 0x100);
  EXPECT_EQ(CompBase_GetInputEnd(instance), 0x100u);

  // The flush word follows the mask rule.
  CompBase_SetFlushRequest(instance, 0);
  EXPECT_EQ(CompBase_IsFlushRequest(instance, 0), 1u);
  CompBase_UpdateFlushRequest(instance, 0, 1);
  EXPECT_EQ(instance->flushWord.load(), 1u);
  CompBase_UpdateFlushRequest(instance, 4, 0);
  EXPECT_EQ(instance->flushWord.load(), 1u);

  // A wait with time-out 0 tests once, sleeps once, and gives up.
  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(CompBase_WaitForState(instance, PLAYING, 0), 0u);
  EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(30));
  EXPECT_EQ(CompBase_WaitForState(instance, DESTROYING, 0), 1u);

  CompBase_SetEventCallback(instance, nullptr, 0, nullptr);
  instance->eventManager = nullptr;
  EventManager_Destroy(trace);
  EXPECT_EQ(CompBase_StopThread(instance, QVA_INFINITE), QVA_SUCCESS);
  CompBase_Deinit(instance);
  CompBase_Release(instance);
}

uint32_t EndAtOnce(QVAHandle, void*) { return 0; }

// A worker that does not look at the stop request: it ends when the test lets it.
CountingEvent g_stubbornMayEnd;
uint32_t StubbornWorker(QVAHandle thread, void* instance) {
  CompBase_AttachThread(static_cast<ComponentInstance*>(instance), thread);
  g_stubbornMayEnd.WaitFor(1);
  return 0;
}

platform::NativeThread* RefuseThread(platform::ThreadProc, void*, size_t) { return nullptr; }

TEST_F(CompStates, WorkerLifecycle) {
  const int threadsBefore = BaselineThreadCount();
  ComponentInstance* instance = Create(kTestEncoder);
  ASSERT_EQ(CompBase_SetupOutputPin(instance, 0, nullptr, nullptr, instance, 1024, 2), QVA_SUCCESS);
  ASSERT_EQ(CompCreateHook(instance), QVA_SUCCESS);
  EXPECT_EQ(CompBase_GetStateWord(instance), INIT);
  EXPECT_EQ(CompCreateHook(instance), QVA_ERR_WRONGSTATE);

  // A start from INIT waits in PAUSING for CMD_PLAY; a second start is refused.
  ASSERT_EQ(CompBase_StartThread(instance, IdleWorker, 0), QVA_SUCCESS);
  EXPECT_EQ(CompBase_GetStateWord(instance), PAUSING);
  EXPECT_EQ(CompBase_IsRunning(instance), 1u);
  EXPECT_EQ(CompBase_StartThread(instance, IdleWorker, 0), QVA_ERR_WRONGSTATE);
  EXPECT_EQ(CompBase_Deinit(instance), QVA_ERR_WRONGSTATE);
  EXPECT_EQ(CompBase_SendCommand(instance, CMD_PLAY, 1, 0, 0, 0, 0), QVA_SUCCESS);
  EXPECT_EQ(CompBase_GetStateWord(instance), STARTING);

  // A stop leaves INIT, without input queues, with the output queue.
  EXPECT_EQ(CompBase_StopThread(instance, QVA_INFINITE), QVA_SUCCESS);
  EXPECT_EQ(CompBase_GetStateWord(instance), INIT);
  EXPECT_EQ(instance->inputPin[0].queue, nullptr);
  EXPECT_NE(instance->outputPin[0].queue, nullptr);
  EXPECT_EQ(instance->workerThread, nullptr);
  EXPECT_EQ(CompBase_StopThread(instance, QVA_INFINITE), QVA_ERR_WRONGSTATE);

  // A worker that returns by itself is reclaimed, and the instance starts again.
  ASSERT_EQ(CompBase_StartThread(instance, EndAtOnce, 0), QVA_SUCCESS);
  EXPECT_EQ(QVAWaitThreadStage(instance->workerThread, QVA_THREAD_ENDED, 5000), QVA_SUCCESS);
  ASSERT_EQ(CompBase_StartThread(instance, EndAtOnce, 0), QVA_SUCCESS);
  EXPECT_EQ(QVAWaitThreadStage(instance->workerThread, QVA_THREAD_ENDED, 5000), QVA_SUCCESS);
  EXPECT_EQ(CompBase_StopThread(instance, QVA_INFINITE), QVA_SUCCESS);
  EXPECT_EQ(instance->workerThread, nullptr);

  // A thread the system refuses leaves IDLE and nothing stored; the next start works.
  auto previous = platform::SetThreadStartHook(RefuseThread);
  EXPECT_EQ(CompBase_StartThread(instance, IdleWorker, 0), QVA_ERR_GENERIC);
  platform::SetThreadStartHook(previous);
  EXPECT_EQ(CompBase_GetStateWord(instance), IDLE);
  EXPECT_EQ(instance->workerThread, nullptr);
  ASSERT_EQ(CompBase_StartThread(instance, IdleWorker, 0), QVA_SUCCESS);
  EXPECT_EQ(CompBase_GetStateWord(instance), STARTING);

  // A stop that runs out of time stays DESTROYING; an unlimited one finishes it.
  EXPECT_EQ(CompBase_StopThread(instance, QVA_INFINITE), QVA_SUCCESS);
  g_stubbornMayEnd.Reset();
  ASSERT_EQ(CompBase_StartThread(instance, StubbornWorker, 0), QVA_SUCCESS);
  EXPECT_EQ(CompBase_StopThread(instance, 100), QVA_ERR_TIMEOUT);
  EXPECT_EQ(CompBase_GetStateWord(instance), DESTROYING);
  g_stubbornMayEnd.Raise();
  EXPECT_EQ(CompBase_StopThread(instance, QVA_INFINITE), QVA_SUCCESS);
  EXPECT_EQ(CompBase_GetStateWord(instance), INIT);

  EXPECT_EQ(CompBase_Deinit(instance), QVA_SUCCESS);
  EXPECT_EQ(CompBase_GetStateWord(instance), NONE);
  EXPECT_EQ(instance->outputPin[0].queue, nullptr);
  EXPECT_EQ(CompBase_Release(instance), QVA_SUCCESS);
  EXPECT_EQ(SettledThreadCount(threadsBefore), threadsBefore);
}

// The thread function of one start, and the event raised once it has returned.
struct RunToTheEnd {
  platform::ThreadProc proc = nullptr;
  void* argument = nullptr;
  CountingEvent returned;
};
RunToTheEnd g_runToTheEnd;

void RunAndTell(void* raw) {
  auto* run = static_cast<RunToTheEnd*>(raw);
  run->proc(run->argument);
  run->returned.Raise();
}

// Starts the thread and answers only once its function has returned, so the starter goes on
// after its worker ended (as a worker that ends at once on a busy machine may).
platform::NativeThread* StartAndLetRun(platform::ThreadProc proc, void* argument, size_t stackSize) {
  g_runToTheEnd.proc = proc;
  g_runToTheEnd.argument = argument;
  g_runToTheEnd.returned.Reset();
  const platform::ThreadStartFn hook = platform::SetThreadStartHook(nullptr);
  platform::NativeThread* thread = platform::StartNativeThread(RunAndTell, &g_runToTheEnd, stackSize);
  platform::SetThreadStartHook(hook);
  if (thread != nullptr) {
    EXPECT_TRUE(g_runToTheEnd.returned.WaitFor(1));
  }
  return thread;
}

TEST_F(CompStates, AWorkerThatEndedBeforeItsStartReturnedIsNotRunning) {
  ComponentInstance* instance = Create(kTestEncoder);
  ASSERT_EQ(CompBase_SetupOutputPin(instance, 0, nullptr, nullptr, instance, 1024, 2), QVA_SUCCESS);
  ASSERT_EQ(CompCreateHook(instance), QVA_SUCCESS);
  const platform::ThreadStartFn previous = platform::SetThreadStartHook(StartAndLetRun);
  const QVAStatus started = CompBase_StartThread(instance, EndAtOnce, 0);
  platform::SetThreadStartHook(previous);
  ASSERT_EQ(started, QVA_SUCCESS);
  ASSERT_EQ(QVAWaitThreadStage(instance->workerThread, QVA_THREAD_ENDED, 5000), QVA_SUCCESS);
  EXPECT_EQ(CompBase_IsRunning(instance), 0u);
  // Nothing takes the ended worker for a running one: the instance stops and closes down.
  EXPECT_EQ(CompBase_StopThread(instance, QVA_INFINITE), QVA_SUCCESS);
  EXPECT_EQ(CompBase_Deinit(instance), QVA_SUCCESS);
  EXPECT_EQ(CompBase_Release(instance), QVA_SUCCESS);
}

// A worker caught between leaving INIT on its way out (as the error path does) and returning.
CountingEvent g_endingWorkerInInit;
CountingEvent g_endingWorkerMayReturn;
uint32_t WorkerEndingByItself(QVAHandle thread, void* instance) {
  auto* self = static_cast<ComponentInstance*>(instance);
  CompBase_AttachThread(self, thread);
  CompBase_SetState(self, INIT);
  g_endingWorkerInInit.Raise();
  g_endingWorkerMayReturn.WaitFor(1);
  return 0;
}

TEST_F(CompStates, AnEndWaitsForAWorkerThatIsEndingByItself) {
  // The end of an instance whose worker has just stopped itself: the stop waits for the worker
  // to return and reclaims it, so the instance is not released under a running thread.
  g_endingWorkerInInit.Reset();
  g_endingWorkerMayReturn.Reset();
  ComponentInstance* instance = Create(kTestEncoder);
  ASSERT_EQ(CompBase_SetupOutputPin(instance, 0, nullptr, nullptr, instance, 1024, 2), QVA_SUCCESS);
  ASSERT_EQ(CompCreateHook(instance), QVA_SUCCESS);
  ASSERT_EQ(CompBase_StartThread(instance, WorkerEndingByItself, 0), QVA_SUCCESS);
  ASSERT_TRUE(g_endingWorkerInInit.WaitFor(1));
  std::thread letItReturn([instance] {
    // The stop marks the instance DESTROYING before it waits for the thread.
    EXPECT_TRUE(PollUntil([instance] { return CompBase_GetStateWord(instance) == DESTROYING; },
                          std::chrono::milliseconds(5000)));
    g_endingWorkerMayReturn.Raise();
  });
  EXPECT_EQ(CompBase_StopThread(instance, QVA_INFINITE), QVA_SUCCESS);
  letItReturn.join();
  EXPECT_EQ(instance->workerThread, nullptr);
  EXPECT_EQ(CompBase_GetStateWord(instance), INIT);
  EXPECT_EQ(CompBase_Deinit(instance), QVA_SUCCESS);
  EXPECT_EQ(CompBase_Release(instance), QVA_SUCCESS);
}

TEST_F(CompStates, APlayDuringTheWorkersPauseStepIsNeverUndone) {
  // The worker turns PAUSING into PAUSED after a round while CMD_PLAY may turn PAUSING into
  // STARTING on another thread: whichever comes first, a play that succeeded is never followed
  // by PAUSED (a component left paused would take no more input).
  ComponentInstance* instance = Create(kTestEncoder);
  ASSERT_EQ(CompBase_SetupOutputPin(instance, 0, nullptr, nullptr, instance, 1024, 2), QVA_SUCCESS);
  ASSERT_EQ(CompCreateHook(instance), QVA_SUCCESS);
  ASSERT_EQ(CompBase_StartThread(instance, IdleWorker, 0), QVA_SUCCESS);
  const int rounds = kOrxSanitizedBuild ? 2000 : 20000;
  std::atomic<int> round{-1};
  std::atomic<int> done{0};
  std::thread player([&] {
    for (int r = 0; r < rounds; ++r) {
      while (round.load() < r) {
      }
      EXPECT_EQ(CompBase_SendCommand(instance, CMD_PLAY, 1, 0, 0, 0, 0), QVA_SUCCESS);
      done.fetch_add(1);
    }
  });
  int paused = 0;
  for (int r = 0; r < rounds; ++r) {
    CompBase_SetState(instance, PAUSING);
    instance->progressPending = 2;
    round.store(r);
    CompBase_UpdateProgress(instance);
    while (done.load() <= r) {
    }
    paused += CompBase_GetStateWord(instance) == PAUSED ? 1 : 0;
  }
  player.join();
  EXPECT_EQ(paused, 0);
  EXPECT_EQ(CompBase_StopThread(instance, QVA_INFINITE), QVA_SUCCESS);
  CompBase_Deinit(instance);
  CompBase_Release(instance);
}

TEST_F(CompStates, AFailedQueueInInitIsReportedAndLeavesNone) {
  ComponentInstance* muxer = Create(kTestMuxer);
  muxer->inputPin[1].bufferSize = 0x80000000u;  // two slots of 2 GiB cannot be had
  EXPECT_EQ(CompBase_Init(muxer), QVA_ERR_NOMEMORY);
  EXPECT_EQ(CompBase_GetStateWord(muxer), NONE);
  muxer->inputPin[1].bufferSize = 4096;
  EXPECT_EQ(CompBase_Init(muxer), QVA_SUCCESS);
  EXPECT_EQ(CompBase_GetStateWord(muxer), INIT);
  EXPECT_NE(muxer->inputPin[1].queue, nullptr);
  CompBase_Deinit(muxer);
  CompBase_Release(muxer);
}

TEST_F(CompStates, ManyLifecyclesLeaveNoThreadAndNoMemory) {
  const int cycles = kOrxSanitizedBuild ? 50 : 500;
  const int threadsBefore = BaselineThreadCount();
  const uint32_t bytesBefore = QVAGetMemCounters().liveBytes;
  for (int i = 0; i < cycles; ++i) {
    ComponentInstance* instance = Create(kTestEncoder);
    ASSERT_NE(instance, nullptr);
    ASSERT_EQ(CompBase_SetupOutputPin(instance, 0, nullptr, nullptr, instance, 4096, 4), QVA_SUCCESS);
    ASSERT_EQ(instance->methods.QVAComp_Start(instance), QVA_SUCCESS);
    ASSERT_EQ(instance->methods.QVAComp_SendCommand(instance, CMD_PLAY, 1, 0, 0, 0, 0), QVA_SUCCESS);
    ASSERT_EQ(instance->methods.QVAComp_SendCommand(instance, CMD_STOP, 0, 0, 0, 0, 0), QVA_SUCCESS);
    ASSERT_EQ(instance->methods.QVAComp_End(instance), QVA_SUCCESS);
    ASSERT_EQ(CompBase_Release(instance), QVA_SUCCESS);
  }
  EXPECT_EQ(SettledThreadCount(threadsBefore), threadsBefore);
  EXPECT_EQ(QVAGetMemCounters().liveBytes, bytesBefore);
}

}  // namespace
}  // namespace orx::test
