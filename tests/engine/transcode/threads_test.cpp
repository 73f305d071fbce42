// The engine and MULTIVENC with several threads at once, as in an export: frames from several
// render threads, the watchdog beside the delivery, a release in the middle of the stream. These
// cases also run under the thread sanitizer.
#include <gtest/gtest.h>

#include <algorithm>
#include <numeric>
#include <thread>

#include "engine/transcode/tengine_record.h"
#include "media/media_codes.h"
#include "tests/support/host_log_capture.h"
#include "tests/engine/transcode/tengine_test_support.h"
#include "tests/engine/transcode/test_frames.h"
#include "tests/support/waiting.h"

namespace orx::test {
namespace {

constexpr uint32_t kWidth = 96;
constexpr uint32_t kHeight = 64;
constexpr uint32_t kRenderThreads = 3;

uint64_t FrameTime(uint32_t id) { return uint64_t{id} * 1001 / 30; }
void* Handle(uint32_t id) { return reinterpret_cast<void*>(uintptr_t{id} + 1); }

QVATengineConfig FourInstances() {
  QVATengineConfig config = MakeConfig(QVA_MSUBTYPE_BGRA, kWidth, kHeight, kWidth, kHeight);
  config.encoderParams.encoderCount = 4;
  config.encoderParams.gopLength = 6;
  config.encoderParams.anchorDistance = 2;
  config.audioEnabled = 0;
  return config;
}

// Frame 0 first, then every render thread delivers its share of the frames in time order; a
// thread waits while it is more than a few frames ahead of the slowest (the host's window).
void DeliverFromRenderThreads(EngineDriver& driver, const std::vector<std::vector<uint8_t>>& frames) {
  ASSERT_EQ(driver.DeliverFrame(frames[0], FrameTime(0), Handle(0)), QVA_SUCCESS);
  CountingEvent delivered;
  delivered.Raise();
  std::vector<std::thread> threads;
  for (uint32_t t = 0; t < kRenderThreads; ++t) {
    threads.emplace_back([&, t] {
      for (uint32_t id = 1 + t; id < frames.size(); id += kRenderThreads) {
        if (id > 6) {
          EXPECT_TRUE(delivered.WaitFor(id - 6));
        }
        EXPECT_EQ(driver.DeliverFrame(frames[id], FrameTime(id), Handle(id)), QVA_SUCCESS);
        delivered.Raise();
      }
    });
  }
  for (std::thread& thread : threads) thread.join();
}

class MultiVEncThreads : public TengineTest {};

TEST_F(MultiVEncThreads, FramesFromSeveralRenderThreadsLeaveInOrder) {
  const uint32_t count = 36;
  std::vector<std::vector<uint8_t>> frames;
  for (uint32_t id = 0; id < count; ++id) frames.push_back(MakeTestFrame(QVA_MSUBTYPE_BGRA, kWidth, kHeight, id, id));
  EngineDriver driver(FourInstances(), MakeTarget(QVA_MTYPE_VIDEO, QVA_MSUBTYPE_MPV2));
  ASSERT_EQ(driver.Run(), QVA_SUCCESS);
  DeliverFromRenderThreads(driver, frames);
  ASSERT_EQ(driver.EndVideo(), QVA_SUCCESS);
  ASSERT_TRUE(driver.WaitForSinkEnd(60000));
  ASSERT_EQ(driver.Finish(), QVA_SUCCESS);
  std::vector<uint32_t> ids;
  for (const MockPicture& picture : ParsePictures(driver.sink.Stream())) ids.push_back(picture.id);
  std::vector<uint32_t> expected(count);
  std::iota(expected.begin(), expected.end(), 0);
  EXPECT_EQ(ids, expected);
  std::vector<void*> released = driver.sink.releasedHandles;
  std::sort(released.begin(), released.end());
  ASSERT_EQ(released.size(), count);
  for (uint32_t id = 0; id < count; ++id) EXPECT_EQ(released[id], Handle(id));
  EXPECT_FALSE(AnyFixtureMapped());
}

class TengineThreads : public TengineTest {};

TEST_F(TengineThreads, TheWatchdogWatchesALiveEncodeWithoutFiring) {
  HostLogCapture log;
  std::vector<std::vector<uint8_t>> frames;
  for (uint32_t id = 0; id < 24; ++id) frames.push_back(MakeTestFrame(QVA_MSUBTYPE_BGRA, kWidth, kHeight, id, id));
  EngineDriver driver(FourInstances(), MakeTarget(QVA_MTYPE_VIDEO, QVA_MSUBTYPE_MPV2));
  ASSERT_EQ(driver.Run(), QVA_SUCCESS);
  ASSERT_EQ(QVATengine_StartWatchdog(driver.engine, 5, 5000, 0), QVA_SUCCESS);
  DeliverFromRenderThreads(driver, frames);
  driver.EndVideo();
  EXPECT_TRUE(driver.WaitForSinkEnd(60000));
  EXPECT_EQ(driver.Finish(), QVA_SUCCESS);  // stops and joins the watchdog
  EXPECT_EQ(log.Text().find("Watchdog: NoActivity"), std::string::npos);
  EXPECT_NE(log.Text().find("Watchdog: Exit"), std::string::npos);
}

TEST_F(TengineThreads, AReleaseInTheMiddleJoinsEveryThread) {
  std::vector<std::vector<uint8_t>> frames;
  for (uint32_t id = 0; id < 30; ++id) frames.push_back(MakeTestFrame(QVA_MSUBTYPE_BGRA, kWidth, kHeight, id, id));
  QVATengineConfig config = FourInstances();
  config.audioEnabled = 1;
  EngineDriver driver(config, MakeTarget(QVA_MTYPE_MPEG2_PS, 0));
  ASSERT_EQ(driver.Run(), QVA_SUCCESS);
  ASSERT_EQ(QVATengine_StartWatchdog(driver.engine, 5, 50, 0), QVA_SUCCESS);
  DeliverFromRenderThreads(driver, frames);
  EXPECT_EQ(QVATengine_Release(driver.engine), QVA_SUCCESS);
  driver.engine = nullptr;
  EXPECT_FALSE(AnyFixtureMapped());
  // Every lent frame came back exactly once, also those still on their way.
  std::vector<void*> released = driver.sink.releasedHandles;
  std::sort(released.begin(), released.end());
  ASSERT_EQ(released.size(), frames.size());
  for (uint32_t id = 0; id < frames.size(); ++id) EXPECT_EQ(released[id], Handle(id));
}

}  // namespace
}  // namespace orx::test
