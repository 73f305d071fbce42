// The dataflow layer with no runtime: the format table, the poll policy, and the CPU device
// (mode 0), whose frame buffers are heap blocks; two threads allocating and freeing frame-buffer
// sets at once under the process lock.
#include <gtest/gtest.h>

#include <cstring>
#include <thread>
#include <vector>

#include "venc/gpu/dataflow/dataflow_buffer.h"
#include "venc/gpu/dataflow/dataflow_device.h"
#include "venc/gpu/dataflow/dataflow_wait.h"
#include "venc/gpu/dataflow/fbapi.h"

namespace orx::test::gpu {
namespace {

using namespace orx::dataflow;

TEST(DataflowFormats, ElementSizeAndGcxFormat) {
  struct Row {
    uint32_t format;
    uint32_t elementSize;
    int32_t gcxFormat;
  };
  const Row rows[] = {{0, 1, 0},  {1, 4, 2},   {2, 2, 3},   {3, 8, 5},          {4, 2, 8},
                      {5, 8, 10}, {6, 4, 11},  {7, 16, 13}, {8, 0, -1},         {0xFFFFFFFFu, 0, -1}};
  for (const Row& row : rows) {
    SCOPED_TRACE(row.format);
    EXPECT_EQ(GetDataflowElementSize(row.format), row.elementSize);
    EXPECT_EQ(GetDataflowGcxFormat(row.format), row.gcxFormat);
  }
}

TEST(DataflowWait, PollPauseOfEachCode) {
  // Codes 0..13 pause code + 1 ms, 14 yields (0 ms), 15 never pauses (16); higher bits ignored.
  for (uint32_t code = 0; code < 16; ++code) {
    const uint32_t expected = code < 14 ? code + 1 : (code == 14 ? 0 : 16);
    EXPECT_EQ(DataflowPollPauseMs(code), expected) << code;
    EXPECT_EQ(DataflowPollPauseMs(0xABCD0u | code), expected) << code;
  }
}

FbapiFrameBuffers Frames(int count, int width, int height, int padX, int padY) {
  FbapiFrameBuffers frames{};
  frames.deviceIndex = 0;
  frames.count = count;
  frames.width = width;
  frames.height = height;
  frames.padX = padX;
  frames.padY = padY;
  return frames;
}

// The CPU device: pitch = W2, zeroed heap frames that keep what is written.
TEST(DataflowCpuDevice, FrameBuffersOnTheHeap) {
  ASSERT_EQ(FBAPI_Initialize(0, 0), 1);
  FbapiFrameBuffers frames = Frames(8, 720, 576, 32, 32);
  ASSERT_EQ(FBAPI_Alloc(&frames), 0);
  EXPECT_EQ(frames.pitch, 784);
  EXPECT_EQ(frames.lumaOrigin, 32 * 784 + 32);
  EXPECT_EQ(frames.chromaOrigin, 656 * 784 + 32);
  EXPECT_EQ(frames.planeSize, 960 * 784);
  EXPECT_EQ(FBAPI_GetBuffer(&frames, 8), nullptr);
  EXPECT_EQ(FBAPI_GetBuffer(&frames, -1), nullptr);
  for (int i = 0; i < 8; ++i) {
    uint8_t* p = FBAPI_GetBuffer(&frames, i);
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(frames.buffers[i].resource, 0u);
    std::vector<uint8_t> zero(static_cast<size_t>(frames.planeSize), 0);
    EXPECT_EQ(std::memcmp(p, zero.data(), zero.size()), 0) << i;
    std::memset(p, 0x40 + i, static_cast<size_t>(frames.planeSize));
  }
  for (int i = 0; i < 8; ++i) EXPECT_EQ(FBAPI_GetBuffer(&frames, i)[frames.planeSize - 1], 0x40 + i);
  EXPECT_EQ(FBAPI_Free(&frames), 0);
  EXPECT_EQ(frames.buffers, nullptr);

  // A CPU object opens and allocates with no context.
  CDataflow object;
  ASSERT_EQ(object.OpenDevice(0), 0);
  EXPECT_EQ(object.GetDeviceType(), 0);
  DataflowBuffer sys{}, gpu{};
  ASSERT_EQ(object.AllocSysBuffer(&sys, 10, 3, kDataflowF32x4), 0);
  ASSERT_EQ(object.AllocGpuBuffer(&gpu, 10, 3, kDataflowU16x1), 0);
  EXPECT_EQ(sys.pitch, 10u);
  EXPECT_EQ(sys.elementSize, 16u);
  EXPECT_EQ(gpu.elementSize, 2u);
  std::memset(sys.cpuAddress, 1, 10 * 3 * 16);  // the whole block is there
  EXPECT_EQ(object.WaitForEvent(nullptr), 0);
  char text[64] = "stale";
  EXPECT_EQ(object.PCGet(text, sizeof(text)), -1);
  EXPECT_STREQ(text, "");
  EXPECT_EQ(object.FreeBuffer(&sys), 0);
  EXPECT_EQ(object.FreeBuffer(&gpu), 0);
  EXPECT_EQ(sys.cpuAddress, nullptr);
  EXPECT_EQ(object.CloseDevice(), 0);
  EXPECT_EQ(object.GetDeviceType(), -1);
  EXPECT_EQ(FBAPI_Shutdown(), 0);
  EXPECT_FALSE(FBAPI_LockExists());
}

// Outside the span between FBAPI_Initialize and FBAPI_Shutdown there is no lock to take: the
// calls refuse instead of entering a lock that does not exist. Borders that fit no plane are
// refused too.
TEST(DataflowCpuDevice, RefusedRequests) {
  FbapiFrameBuffers frames = Frames(1, 64, 64, 0, 0);
  EXPECT_EQ(FBAPI_Alloc(&frames), -1);
  EXPECT_EQ(FBAPI_Free(&frames), -1);
  ASSERT_EQ(FBAPI_Initialize(0, 0), 1);
  for (auto [padX, padY] : {std::pair{-1, 0}, std::pair{0, -2}, std::pair{1 << 28, 0}, std::pair{0, 1 << 29}}) {
    FbapiFrameBuffers bad = Frames(1, 64, 64, padX, padY);
    EXPECT_EQ(FBAPI_Alloc(&bad), -1) << padX << " " << padY;
    EXPECT_EQ(bad.buffers, nullptr);
  }
  EXPECT_EQ(FBAPI_Shutdown(), 0);
}

// Two encoders allocating and freeing their frame buffers at once, under the process lock.
TEST(DataflowCpuDeviceThreads, TwoThreadsAllocateAndFreeAtOnce) {
  ASSERT_EQ(FBAPI_Initialize(0, 0), 1);
  int failures[2] = {0, 0};
  std::vector<std::thread> threads;
  for (int t = 0; t < 2; ++t)
    threads.emplace_back([&failures, t] {
      for (int round = 0; round < 40; ++round) {
        FbapiFrameBuffers frames = Frames(3, 64 + 16 * t, 48, 16, 16);
        if (FBAPI_Alloc(&frames) != 0) {
          ++failures[t];
          continue;
        }
        for (int i = 0; i < 3; ++i) FBAPI_GetBuffer(&frames, i)[frames.lumaOrigin] = static_cast<uint8_t>(round);
        if (FBAPI_GetBuffer(&frames, 2)[frames.lumaOrigin] != static_cast<uint8_t>(round)) ++failures[t];
        if (FBAPI_Free(&frames) != 0) ++failures[t];
      }
    });
  for (auto& th : threads) th.join();
  EXPECT_EQ(failures[0], 0);
  EXPECT_EQ(failures[1], 0);
  EXPECT_EQ(FBAPI_Shutdown(), 0);
}

}  // namespace
}  // namespace orx::test::gpu
