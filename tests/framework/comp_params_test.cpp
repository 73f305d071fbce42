#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <mutex>
#include <vector>

#include "tests/framework/test_component.h"

namespace orx::test {
namespace {

using CompParams = TestLibrary;

void* Value(uintptr_t v) { return reinterpret_cast<void*>(v); }

TEST_F(CompParams, FrameworkIdsAsATable) {
  ComponentInstance* c = Create(kTestMuxer);
  ASSERT_EQ(CompCreateHook(c), QVA_SUCCESS);
  const struct {
    uint32_t id;
    uint32_t size;  // exact size of the record, 4 for a word
    bool settable;
    bool byValue;
  } rows[] = {
      {QVA_PARAM_LOG, sizeof(LogSetup), true, false},
      {QVA_PARAM_BUFFERS, sizeof(PinBufferConfig), true, false},
      {QVA_PARAM_PRIORITY, 4, true, true},
      {QVA_PARAM_STATISTICS, sizeof(CompStatistics), true, false},
      {QVA_PARAM_PROGRESS_INTERVAL, 4, true, true},
      {QVA_PARAM_PROGRESS, sizeof(ProgressInfo), false, false},
      {QVA_PARAM_LOGLEVEL, 4, true, true},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.id);
    alignas(16) uint8_t record[512] = {};
    if (row.id == QVA_PARAM_PROGRESS) reinterpret_cast<ProgressInfo*>(record)->classBits = QVA_PROGRESSINFO_VIDEO;
    EXPECT_EQ(CompBase_GetParam(c, row.id, record, row.size), QVA_SUCCESS);
    EXPECT_EQ(CompBase_GetParam(c, row.id, record, row.size - 1), QVA_ERR_BADARG);
    EXPECT_EQ(CompBase_GetParam(c, row.id, nullptr, row.size), QVA_ERR_BADARG);
    void* data = row.byValue ? Value(1) : static_cast<void*>(record);
    EXPECT_EQ(CompBase_SetParam(c, row.id, data, row.size), row.settable ? QVA_SUCCESS : QVA_ERR_UNSUPPORTED);
    if (!row.byValue && row.settable) {
      EXPECT_EQ(CompBase_SetParam(c, row.id, record, row.size - 1), QVA_ERR_BADARG);
    }
    EXPECT_EQ(CompBase_SetParam(c, row.id, nullptr, row.size), QVA_ERR_BADARG);
  }
  uint32_t word = 0;
  EXPECT_EQ(CompBase_GetParam(c, 0x50005, &word, 4), QVA_ERR_UNSUPPORTED);
  EXPECT_EQ(CompBase_SetParam(c, 0x50005, &word, 4), QVA_ERR_UNSUPPORTED);

  // By-value words: 0 cannot be set.
  EXPECT_EQ(CompBase_SetParam(c, QVA_PARAM_PROGRESS_INTERVAL, Value(0), 4), QVA_ERR_BADARG);
  EXPECT_EQ(CompBase_GetParam(c, QVA_PARAM_PROGRESS_INTERVAL, &word, 4), QVA_SUCCESS);
  EXPECT_EQ(word, 1u);
  EXPECT_EQ(CompBase_SetParam(c, QVA_PARAM_PROGRESS_INTERVAL, Value(250), 4), QVA_SUCCESS);
  EXPECT_EQ(CompBase_SetParam(c, QVA_PARAM_LOGLEVEL, Value(3), 4), QVA_SUCCESS);
  EXPECT_EQ(CompBase_GetParam(c, QVA_PARAM_LOGLEVEL, &word, 4), QVA_SUCCESS);
  EXPECT_EQ(word, 3u);
  EXPECT_EQ(CompBase_SetParam(c, QVA_PARAM_PRIORITY, Value(2), 4), QVA_SUCCESS);
  EXPECT_EQ(CompBase_GetParam(c, QVA_PARAM_PRIORITY, &word, 4), QVA_SUCCESS);
  EXPECT_EQ(word, 2u);

  // Pin buffer settings: input pins first, then output pins.
  PinBufferConfig config{};
  config.pinIndex = 0;
  config.bufferCount = 4;
  config.hold = 1;
  EXPECT_EQ(CompBase_SetParam(c, QVA_PARAM_BUFFERS, &config, sizeof config), QVA_SUCCESS);
  EXPECT_EQ(c->inputPin[0].bufferCount, 2u);
  config.hold = 0;
  EXPECT_EQ(CompBase_SetParam(c, QVA_PARAM_BUFFERS, &config, sizeof config), QVA_SUCCESS);
  EXPECT_EQ(c->inputPin[0].bufferCount, 4u);
  config = PinBufferConfig{};
  config.pinIndex = 2;  // the input count: output pin 0
  ASSERT_EQ(CompBase_GetParam(c, QVA_PARAM_BUFFERS, &config, sizeof config), QVA_SUCCESS);
  EXPECT_EQ(+config.bufferCount, 64u);
  EXPECT_EQ(+config.bufferSize, 8192u);
  EXPECT_EQ(+config.flags, 0u);  // no queue yet
  config.pinIndex = 3;
  EXPECT_EQ(CompBase_GetParam(c, QVA_PARAM_BUFFERS, &config, sizeof config), QVA_ERR_BADARG);
  config = PinBufferConfig{};
  config.pinIndex = 1;
  config.flags = QVA_PINBUF_FILL_LIMIT_ONE;
  EXPECT_EQ(CompBase_SetParam(c, QVA_PARAM_BUFFERS, &config, sizeof config), QVA_SUCCESS);
  ComponentBuffer* b;
  EXPECT_EQ(BufferQueue_Acquire(c->inputPin[1].queue, QVA_SLOT_FREE, &b, 0), QVA_SUCCESS);
  EXPECT_EQ(BufferQueue_Acquire(c->inputPin[1].queue, QVA_SLOT_FREE, &b, 0), QVA_SUCCESS);
  ASSERT_EQ(CompBase_GetParam(c, QVA_PARAM_BUFFERS, &config, sizeof config), QVA_SUCCESS);
  EXPECT_EQ(+config.flags, QVA_PINBUF_STATUS_VALID);
  EXPECT_EQ(+config.slotsInUse, 2u);

  CompBase_Deinit(c);
  CompBase_Release(c);
}

std::atomic<uint64_t> g_clock{1000};
uint64_t TestClock() { return g_clock.load(); }

struct ProgressEvents {
  std::mutex mutex;
  std::vector<uint32_t> frames;
  std::vector<uint32_t> flags;
  std::vector<BufferLevelRecord> levels;
  static void OnEvent(ComponentInstance*, uint32_t id, void* record, uint32_t size, void* self) {
    auto* events = static_cast<ProgressEvents*>(self);
    std::lock_guard<std::mutex> lock(events->mutex);
    if (id == PROGRESS_VIDEO) {
      EXPECT_EQ(size, sizeof(ProgressRecord));
      auto* r = static_cast<ProgressRecord*>(record);
      events->frames.push_back(r->frames);
      events->flags.push_back(r->flags);
    } else if (id == PROGRESS_BUFFER) {
      events->levels.push_back(*static_cast<BufferLevelRecord*>(record));
    }
  }
};

TEST_F(CompParams, StatisticsAndProgress) {
  QVATimeSourceFn previous = QVASetTimeSource(TestClock);
  ComponentInstance* c = Create(kTestEncoder);
  ASSERT_EQ(CompCreateHook(c), QVA_SUCCESS);

  // Statistics: control 0x1002 resets and starts; a paused block keeps its snapshot.
  CompStatistics stats{};
  stats.stateBits = QVA_STATS_CONTROL_RESET | QVA_STATS_CONTROL_START;
  ASSERT_EQ(CompBase_GetParam(c, QVA_PARAM_STATISTICS, &stats, sizeof stats), QVA_SUCCESS);
  EXPECT_EQ(+stats.stateBits, QVA_STATS_RESET | QVA_STATS_COUNTING);
  EXPECT_EQ(+stats.averageTime, 0u);
  EXPECT_EQ(+stats.typeFlags, kTestEncoder.typeFlags);
  CompBase_CountFrame(c, 0, 1, QVA_COUNT_START | QVA_COUNT_INPUT);
  g_clock = 1030;
  CompBase_CountFrame(c, 0, 1, QVA_COUNT_DONE);
  g_clock = 1100;
  stats = CompStatistics{};
  stats.stateBits = QVA_STATS_CONTROL_PAUSE;
  ASSERT_EQ(CompBase_GetParam(c, QVA_PARAM_STATISTICS, &stats, sizeof stats), QVA_SUCCESS);
  EXPECT_EQ(+stats.stateBits, QVA_STATS_RESET | QVA_STATS_PAUSED);
  EXPECT_EQ(+stats.sampleTime, 1100u);
  EXPECT_EQ(+stats.framesProcessed, 1u);
  EXPECT_EQ(+stats.framesRendered, 1u);
  EXPECT_EQ(+stats.framesInput, 1u);
  EXPECT_EQ(+stats.averageTime, 30u);
  EXPECT_EQ(+stats.shortestTime, 30u);
  g_clock = 1200;
  stats = CompStatistics{};
  ASSERT_EQ(CompBase_GetParam(c, QVA_PARAM_STATISTICS, &stats, sizeof stats), QVA_SUCCESS);
  EXPECT_EQ(+stats.sampleTime, 1100u);  // paused: no new snapshot
  EXPECT_EQ(CompBase_PauseStatistics(c), QVA_ERR_WRONGSTATE);
  EXPECT_EQ(CompBase_StopStatistics(c), QVA_SUCCESS);
  EXPECT_EQ(c->statistics.stateBits & 0xF000, QVA_STATS_STOPPED);

  // Progress: interval 250 ms with a frame every 40 ms reports frames 0, 7, 14 and 21.
  ProgressEvents events;
  CompBase_SetEventCallback(c, ProgressEvents::OnEvent, PROGRESS_VIDEO | PROGRESS_BUFFER, &events);
  g_clock = 1000;
  for (uint32_t frame = 0; frame < 25; ++frame) {
    g_clock = 1000 + 40 * frame;
    c->framesSinceStart = frame;
    CompBase_SetTimestamp(c, 0, 40 * frame, 0);
    EXPECT_EQ(CompBase_SendProgress(c, 0), QVA_SUCCESS);
  }
  EXPECT_EQ(events.frames, (std::vector<uint32_t>{0, 7, 14, 21}));
  EXPECT_EQ(events.flags, (std::vector<uint32_t>(4, QVA_PROGRESS_PERIODIC)));
  EXPECT_EQ(c->timestampState.load(), 2u);

  // A new stream after a finished one (end word 0xD0) starts over.
  c->eosWord = 0xD0;
  c->streamStartWord = 0x41;
  CompBase_CountFrame(c, 0, 0, QVA_COUNT_NEW_STREAM);
  EXPECT_EQ(CompBase_GetEOS(c), 0u);
  EXPECT_EQ(CompBase_GetStreamStart(c), 1u);
  EXPECT_EQ(c->framesSinceStart.load(), 0u);

  // A buffer-level event always describes input pin 0, whichever queue switched.
  ComponentInstance* muxer = Create(kTestMuxer);
  ASSERT_EQ(CompCreateHook(muxer), QVA_SUCCESS);
  CompBase_SetEventCallback(muxer, ProgressEvents::OnEvent, PROGRESS_BUFFER, &events);
  ComponentBuffer* slot;
  BufferQueue_Acquire(muxer->inputPin[0].queue, QVA_SLOT_FREE, &slot, 0);
  slot->length = 100;
  BufferQueue_Commit(muxer->inputPin[0].queue, QVA_SLOT_FULL, slot, QVA_INFINITE);
  events.levels.clear();
  BufferQueue_Flush(muxer->inputPin[1].queue);  // pin 1 reports its state
  ASSERT_EQ(events.levels.size(), 1u);
  EXPECT_EQ(+events.levels[0].slotsInUse, 1u);
  EXPECT_EQ(+events.levels[0].bytesUsed, 100u);
  EXPECT_EQ(+events.levels[0].slotCount, 2u);
  EXPECT_EQ(+events.levels[0].bytesFree, 8192u);
  EXPECT_EQ(+events.levels[0].eventId, PROGRESS_BUFFER);

  // Progress information by class; a short record is refused.
  ProgressInfo info{};
  info.classBits = QVA_PROGRESSINFO_AUDIO | QVA_PROGRESSINFO_VIDEO;
  ASSERT_EQ(CompBase_GetParam(c, QVA_PARAM_PROGRESS, &info, sizeof info), QVA_SUCCESS);
  EXPECT_EQ(info.classBits, QVA_PROGRESSINFO_AUDIO);
  EXPECT_EQ(info.instance, c);
  EXPECT_EQ(info.progressKind, QVA_PROGRESS_KIND_AUDIO);
  EXPECT_EQ(info.timestampLowOrState, 40u * 24);
  EXPECT_EQ(info.state, CompBase_GetStateWord(c));
  info = ProgressInfo{};
  EXPECT_EQ(CompBase_GetParam(c, QVA_PARAM_PROGRESS, &info, sizeof info), QVA_ERR_BADARG);  // no class
  info.classBits = QVA_PROGRESSINFO_OTHER;
  ASSERT_EQ(CompBase_GetParam(c, QVA_PARAM_PROGRESS, &info, sizeof info), QVA_SUCCESS);
  EXPECT_EQ(info.framesOrTimestampLow, 40u * 24);
  EXPECT_EQ(info.timestampLowOrState, CompBase_GetStateWord(c));
  uint64_t timestamp = 0;
  EXPECT_EQ(CompBase_GetTimestamp(c, 0, &timestamp), QVA_SUCCESS);
  EXPECT_EQ(timestamp, 40u * 24);
  EXPECT_EQ(CompBase_GetTimestamp(muxer, 0, &timestamp), QVA_ERR_NOTFOUND);

  CompBase_SetEventCallback(c, nullptr, 0, nullptr);
  CompBase_SetEventCallback(muxer, nullptr, 0, nullptr);
  CompBase_Deinit(c);
  CompBase_Release(c);
  CompBase_Deinit(muxer);
  CompBase_Release(muxer);
  QVASetTimeSource(previous);
}

TEST_F(CompParams, TraceSettingsMakeOrShareAManager) {
  ComponentInstance* owner = Create(kTestEncoder);
  ComponentInstance* sharer = Create(kTestEncoder);
  LogSetup setup{};
  setup.level = 1;
  setup.flags = QVA_LOGFLAG_KEEP_MANAGER;
  ASSERT_EQ(CompBase_SetParam(owner, QVA_PARAM_LOG, &setup, sizeof setup), QVA_SUCCESS);
  EventManager* made = owner->eventManager.load();
  ASSERT_NE(made, nullptr);
  EXPECT_EQ(made->capacity, 500u);
  EXPECT_STREQ(made->name, "TENC");
  EXPECT_EQ(EventManager_GetOwner(made), owner);
  LogSetup answer{};
  ASSERT_EQ(CompBase_GetParam(owner, QVA_PARAM_LOG, &answer, sizeof answer), QVA_SUCCESS);
  EXPECT_EQ(answer.level, 1u);
  EXPECT_EQ(answer.managerCount, 1u);
  EXPECT_EQ(answer.managers[0], made);

  // A second instance records into the first one's manager.
  answer.flags = QVA_LOGFLAG_KEEP_MANAGER;
  ASSERT_EQ(CompBase_SetParam(sharer, QVA_PARAM_LOG, &answer, sizeof answer), QVA_SUCCESS);
  EXPECT_EQ(sharer->eventManager.load(), made);
  CompBase_SetState(sharer, QVA_STATE_INIT);
  EXPECT_STREQ(made->events[(made->next + made->capacity - 1) % made->capacity].text, "State 0x0->0x1");
  EXPECT_EQ(CompBase_Release(sharer), QVA_SUCCESS);
  EXPECT_EQ(CompBase_Release(owner), QVA_SUCCESS);  // destroys its own manager: no leak
  EXPECT_EQ(QVACheckMem(made), QVA_MEM_RELEASED);
}

}  // namespace
}  // namespace orx::test
