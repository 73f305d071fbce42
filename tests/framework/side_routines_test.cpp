// Routines of the framework that no component of the system calls yet, kept because the
// framework offers them to every component: the output counting, the explicit buffer-level
// event, the log-level word, the pending-progress reader, the process lock, the current trace
// manager and the routine that answers zero.
#include <gtest/gtest.h>

#include <chrono>
#include <future>
#include <vector>

#include "framework/event_manager.h"
#include "framework/qva_os.h"
#include "tests/framework/test_component.h"

namespace orx::test {
namespace {

using SideRoutines = TestLibrary;

TEST_F(SideRoutines, CountOutputAddsABufferAndItsTwoByteCountsOnlyWhileCounting) {
  ComponentInstance* c = Create(kTestEncoder);
  // Not counting yet: nothing changes.
  CompBase_CountOutput(c, 100, 50);
  EXPECT_EQ(+c->statistics.buffersProcessed, 0u);
  ASSERT_EQ(CompBase_StartStatistics(c, 0), QVA_SUCCESS);
  CompBase_CountOutput(c, 100, 50);
  CompBase_CountOutput(c, 7, 3);
  EXPECT_EQ(+c->statistics.buffersProcessed, 2u);
  EXPECT_EQ(+c->statistics.bytesInput, 107u);
  EXPECT_EQ(+c->statistics.bytesProcessed, 53u);
  EXPECT_EQ(+c->statistics.buffersOutput, 0u);
  EXPECT_EQ(CompBase_Release(c), QVA_SUCCESS);
}

struct LevelEvents {
  std::vector<BufferLevelRecord> levels;
  static void OnEvent(ComponentInstance*, uint32_t id, void* record, uint32_t, void* self) {
    if (id == PROGRESS_BUFFER) static_cast<LevelEvents*>(self)->levels.push_back(*static_cast<BufferLevelRecord*>(record));
  }
};

TEST_F(SideRoutines, SendBufferLevelReportsTheGivenValuesWhenTheMaskAsksForThem) {
  ComponentInstance* c = Create(kTestEncoder);
  LevelEvents events;
  CompBase_SetEventCallback(c, LevelEvents::OnEvent, PROGRESS_VIDEO, &events);
  CompBase_SendBufferLevel(c, 8, 4096, 3, 9000);
  EXPECT_TRUE(events.levels.empty()) << "the mask does not ask for buffer levels";

  CompBase_SetEventCallback(c, LevelEvents::OnEvent, PROGRESS_BUFFER, &events);
  struct Row {
    const char* name;
    uint32_t count, size, inUse, used;
    uint32_t expectedFree;
  };
  const Row rows[] = {
      {.name = "slots in use", .count = 8, .size = 4096, .inUse = 3, .used = 9000, .expectedFree = 5 * 4096},
      {.name = "no slot in use", .count = 8, .size = 4096, .inUse = 0, .used = 0, .expectedFree = 4096},
      {.name = "no slot count", .count = 0, .size = 512, .inUse = 2, .used = 100, .expectedFree = 512},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    events.levels.clear();
    CompBase_SendBufferLevel(c, row.count, row.size, row.inUse, row.used);
    ASSERT_EQ(events.levels.size(), 1u);
    const BufferLevelRecord& level = events.levels[0];
    EXPECT_EQ(+level.eventId, PROGRESS_BUFFER);
    EXPECT_EQ(level.instance, c);
    EXPECT_EQ(+level.slotCount, row.count);
    EXPECT_EQ(+level.slotsInUse, row.inUse);
    EXPECT_EQ(+level.bytesUsed, row.used);
    EXPECT_EQ(+level.bytesFree, row.expectedFree);
  }
  CompBase_SetEventCallback(c, nullptr, 0, nullptr);
  EXPECT_EQ(CompBase_Release(c), QVA_SUCCESS);
}

TEST_F(SideRoutines, TheLogLevelWordAndThePendingProgressAreTheInstancesOwn) {
  ComponentInstance* c = Create(kTestEncoder);
  std::atomic<uint32_t>* logLevel = CompBase_GetLogSettings(c);
  ASSERT_EQ(logLevel, &c->logLevel);
  ASSERT_EQ(CompBase_SetParam(c, QVA_PARAM_LOGLEVEL, reinterpret_cast<void*>(uintptr_t{3}), 4), QVA_SUCCESS);
  EXPECT_EQ(logLevel->load(), 3u);

  EXPECT_EQ(CompBase_GetProgressPending(c), 0u);
  CompBase_SetProgressPending(c, 1);
  EXPECT_EQ(CompBase_GetProgressPending(c), 1u);
  CompBase_SetProgressPending(c, 2);
  EXPECT_EQ(CompBase_GetProgressPending(c), 2u);
  EXPECT_EQ(CompBase_Release(c), QVA_SUCCESS);
}

TEST_F(SideRoutines, TheProcessLockKeepsOutAnotherThreadUntilItIsLeft) {
  ComponentInstance* c = Create(kTestEncoder);
  CompBase_LockProcessing(c);
  std::promise<void> entered;
  std::future<void> other = std::async(std::launch::async, [&] {
    CompBase_LockProcessing(c);
    entered.set_value();
    CompBase_UnlockProcessing(c);
  });
  std::future<void> inside = entered.get_future();
  EXPECT_EQ(inside.wait_for(std::chrono::milliseconds(100)), std::future_status::timeout);
  CompBase_UnlockProcessing(c);
  EXPECT_EQ(inside.wait_for(std::chrono::seconds(10)), std::future_status::ready);
  other.get();
  EXPECT_EQ(CompBase_Release(c), QVA_SUCCESS);
}

TEST(SideRoutinesPlain, TheCurrentTraceManagerIsTheOneLastSet) {
  EventManager* before = EventManager_GetCurrent();
  EventManager* manager = EventManager_Create(16, "side");  // a new manager becomes current
  ASSERT_NE(manager, nullptr);
  EXPECT_EQ(EventManager_SetCurrent(nullptr), QVA_SUCCESS);
  EXPECT_EQ(EventManager_GetCurrent(), nullptr);
  EXPECT_EQ(EventManager_SetCurrent(manager), QVA_SUCCESS);
  EXPECT_EQ(EventManager_GetCurrent(), manager);
  EventManager_Destroy(manager);
  EventManager_SetCurrent(before);
  EXPECT_EQ(QVAReturnZero(), QVA_SUCCESS);
}

}  // namespace
}  // namespace orx::test
