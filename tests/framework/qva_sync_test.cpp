#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "framework/qva_component.h"
#include "platform/event.h"
#include "platform/heap.h"
#include "tests/support/waiting.h"

namespace {

using Clock = std::chrono::steady_clock;

TEST(QvaSync, EventsAnswerSignalledOrTimedOut) {
  const struct {
    const char* name;
    uint32_t manual;
    uint32_t initial;
    bool setBeforeWait;
    uint32_t timeout;
    QVAStatus first;
    QVAStatus second;  // a second wait with time-out 0
  } cases[] = {
      {"auto, nothing set, time-out 0", 0, 0, false, 0, QVA_ERR_TIMEOUT, QVA_ERR_TIMEOUT},
      {"auto, nothing set, time-out 100", 0, 0, false, 100, QVA_ERR_TIMEOUT, QVA_ERR_TIMEOUT},
      {"manual, nothing set, time-out 100", 1, 0, false, 100, QVA_ERR_TIMEOUT, QVA_ERR_TIMEOUT},
      {"auto, initially set", 0, 1, false, 0, QVA_SUCCESS, QVA_ERR_TIMEOUT},
      {"manual, initially set", 1, 1, false, 0, QVA_SUCCESS, QVA_SUCCESS},
      {"auto, set before the wait", 0, 0, true, QVA_INFINITE, QVA_SUCCESS, QVA_ERR_TIMEOUT},
      {"manual, set before the wait", 1, 0, true, QVA_INFINITE, QVA_SUCCESS, QVA_SUCCESS},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    QVAHandle event = QVACreateEvent(c.manual, c.initial, nullptr);
    ASSERT_NE(event, nullptr);
    if (c.setBeforeWait) {
      EXPECT_EQ(QVASetEvent(event), QVA_SUCCESS);
    }
    const auto start = Clock::now();
    EXPECT_EQ(QVAWaitEvent(event, c.timeout), c.first);
    const auto waited = Clock::now() - start;
    if (c.first == QVA_ERR_TIMEOUT) {
      EXPECT_GE(waited, std::chrono::milliseconds(c.timeout));
    }
    EXPECT_EQ(QVAWaitEvent(event, 0), c.second);
    EXPECT_EQ(QVADestroyEvent(event), QVA_SUCCESS);
  }
  EXPECT_EQ(QVASetEvent(nullptr), QVA_ERR_BADHANDLE);
  EXPECT_EQ(QVAWaitEvent(nullptr, 0), QVA_ERR_BADHANDLE);
  EXPECT_EQ(QVADestroyEvent(nullptr), QVA_ERR_BADHANDLE);
}

TEST(QvaSync, OneSetOfAnAutoResetEventWakesExactlyOneWaiter) {
  QVAHandle event = QVACreateEvent(0, 0, nullptr);
  ASSERT_NE(event, nullptr);
  orx::test::CountingEvent waiting, woken;
  auto waiter = [&] {
    waiting.Raise();
    if (QVAWaitEvent(event, QVA_INFINITE) == QVA_SUCCESS) woken.Raise();
  };
  std::thread a(waiter), b(waiter);
  EXPECT_TRUE(waiting.WaitFor(2));
  // Both are on their way into the wait; the pause lets them fall asleep in it, so the set goes
  // through the wake path (nothing outside the event shows that a waiter sleeps).
  QVASleep(50);
  QVASetEvent(event);
  EXPECT_TRUE(woken.WaitFor(1));
  QVASleep(100);  // the window in which a second waiter must not wake
  EXPECT_EQ(woken.Count(), 1u);
  QVASetEvent(event);
  a.join();
  b.join();
  EXPECT_EQ(woken.Count(), 2u);
  QVADestroyEvent(event);
}

TEST(QvaSync, NamedEventsAreSharedInsideTheProcess) {
  QVAHandle first = QVACreateEvent(0, 0, "orx-framework-test-event");
  QVAHandle second = QVACreateEvent2(0xDEAD, 0, 0, "orx-framework-test-event");
  ASSERT_TRUE(first && second);
  QVASetEvent(first);
  EXPECT_EQ(QVAWaitEvent(second, 0), QVA_SUCCESS);
  EXPECT_EQ(QVADestroyEvent(first), QVA_SUCCESS);
  QVASetEvent(second);  // still alive through its own reference
  EXPECT_EQ(QVAWaitEvent(second, 0), QVA_SUCCESS);
  EXPECT_EQ(QVADestroyEvent(second), QVA_SUCCESS);
}

TEST(QvaSync, LockIsReentrantAndCountsEnters) {
  QVAHandle lock = nullptr;
  ASSERT_EQ(QVACreateLock(&lock), QVA_SUCCESS);
  for (uint32_t i = 1; i <= 3; ++i) {
    EXPECT_EQ(QVALock(lock), QVA_SUCCESS);
    EXPECT_EQ(QVAGetLockCount(lock), i);
  }
  std::atomic<bool> otherEntered{false};
  orx::test::CountingEvent otherTries;
  std::thread other([&] {
    otherTries.Raise();
    QVALock(lock);
    otherEntered = true;
    QVAUnlock(lock);
  });
  EXPECT_TRUE(otherTries.WaitFor(1));
  QVASleep(50);  // the window in which the other thread must not get in
  EXPECT_FALSE(otherEntered.load());
  for (uint32_t i = 3; i >= 1; --i) EXPECT_EQ(QVAUnlock(lock), QVA_SUCCESS);
  other.join();
  EXPECT_TRUE(otherEntered.load());
  EXPECT_EQ(QVAGetLockCount(lock), 0u);
  EXPECT_EQ(QVADestroyLock(lock), QVA_SUCCESS);
  EXPECT_EQ(QVALock(nullptr), QVA_ERR_BADHANDLE);
  EXPECT_EQ(QVAUnlock(nullptr), QVA_ERR_BADHANDLE);
  EXPECT_EQ(QVAGetLockCount(nullptr), 0x80000000u);
  EXPECT_EQ(QVADestroyLock(nullptr), QVA_ERR_BADHANDLE);
}

orx::platform::Event* RefuseEvent(bool, bool, const char*) { return nullptr; }
void* RefuseMemory(size_t) { return nullptr; }

TEST(QvaSync, RefusedCreationsAreReported) {
  auto previousEvent = orx::platform::SetEventCreateHook(RefuseEvent);
  EXPECT_EQ(QVACreateEvent(0, 0, nullptr), nullptr);
  orx::platform::SetEventCreateHook(previousEvent);

  auto previousHeap = orx::platform::SetHeapAllocateHook(RefuseMemory);
  QVAHandle lock = reinterpret_cast<QVAHandle>(1);
  EXPECT_EQ(QVACreateLock(&lock), QVA_ERR_NOMEMORY);
  EXPECT_EQ(lock, nullptr);
  EXPECT_EQ(QVACreateEvent(1, 0, nullptr), nullptr);
  orx::platform::SetHeapAllocateHook(previousHeap);
  EXPECT_EQ(QVACreateLock(nullptr), QVA_ERR_BADARG);
}

}  // namespace
