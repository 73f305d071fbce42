// MULTIVENC's plain decisions: group lengths, the instance count and GPU requests, the reorder
// window of the preprocessing worker, and the worker's end.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

#include "engine/multivenc/multivenc.h"
#include "engine/multivenc/preproc.h"
#include "media/media_codes.h"
#include "tests/support/waiting.h"

namespace {

using orx::test::CountingEvent;
using orx::test::PollUntil;

TEST(RoundGop, EveryAnchorDistanceAndTheGroupBoundaries) {
  struct Row {
    uint32_t n;
    uint32_t m;
    uint32_t rounded;
  };
  const Row rows[] = {
      {0, 1, 1},   {1, 1, 1},   {16, 1, 16},  {17, 1, 16},  {40, 0, 16},  {5, 0, 5},
      {0, 2, 6},   {5, 2, 6},   {6, 2, 6},    {7, 2, 8},    {15, 2, 16},  {16, 2, 16},  {17, 2, 16},
      {0, 3, 6},   {8, 3, 6},   {9, 3, 9},    {11, 3, 9},   {12, 3, 12},  {14, 3, 12},  {15, 3, 15},
      {17, 3, 15}, {18, 3, 18}, {100, 3, 18},
  };
  for (const Row& row : rows) EXPECT_EQ(MultiVEnc_RoundGop(row.n, row.m), row.rounded) << row.n << "," << row.m;
}

struct PlanCase {
  const char* name;
  uint32_t engineFlags;
  uint32_t encoderCount;
  uint32_t gpuMask;
  uint32_t outputSubtype;
  uint32_t count;          // instances
  uint32_t gpuRequest;     // engine flag 0x200 left in what the instances receive
  uint32_t plannedMask;
  uint32_t engineFlagsAfter;
  uint32_t encoderCountAfter;
};

TEST(PlanInstances, CountAndGpuRequests) {
  const PlanCase cases[] = {
      {.name = "two GPUs", .engineFlags = 0xA00, .encoderCount = 4, .gpuMask = 0x3,
       .outputSubtype = QVA_MSUBTYPE_MPV2, .count = 4, .gpuRequest = 0x200, .plannedMask = 0x3,
       .engineFlagsAfter = 0xA00, .encoderCountAfter = 4},
      {.name = "VC-1 family", .engineFlags = 0xA00, .encoderCount = 3, .gpuMask = 0x3,
       .outputSubtype = QVA_MSUBTYPE_VC1, .count = 3, .gpuRequest = 0, .plannedMask = 0x1, .engineFlagsAfter = 0x800,
       .encoderCountAfter = 3},
      {.name = "seven with mask 3", .engineFlags = 0xA00, .encoderCount = 7, .gpuMask = 0x3,
       .outputSubtype = QVA_MSUBTYPE_MPV2, .count = 7, .gpuRequest = 0x200, .plannedMask = 0x3,
       .engineFlagsAfter = 0xA00, .encoderCountAfter = 7},
      {.name = "accelerator", .engineFlags = 0x900, .encoderCount = 4, .gpuMask = 0,
       .outputSubtype = QVA_MSUBTYPE_MPV2, .count = 1, .gpuRequest = 0, .plannedMask = 1, .engineFlagsAfter = 0x800,
       .encoderCountAfter = 0},
      {.name = "no count", .engineFlags = 0x800, .encoderCount = 0, .gpuMask = 0, .outputSubtype = QVA_MSUBTYPE_MPV2,
       .count = 1, .gpuRequest = 0, .plannedMask = 1, .engineFlagsAfter = 0x800, .encoderCountAfter = 0},
      {.name = "forty clamped to sixteen", .engineFlags = 0x800, .encoderCount = 40, .gpuMask = 0,
       .outputSubtype = QVA_MSUBTYPE_MPV2, .count = 16, .gpuRequest = 0, .plannedMask = 1, .engineFlagsAfter = 0x800,
       .encoderCountAfter = 40},
      {.name = "without multi-instance", .engineFlags = 0x200, .encoderCount = 8, .gpuMask = 0x1,
       .outputSubtype = QVA_MSUBTYPE_MPV2, .count = 1, .gpuRequest = 0x200, .plannedMask = 0x1,
       .engineFlagsAfter = 0x200, .encoderCountAfter = 8},
  };
  for (const PlanCase& c : cases) {
    SCOPED_TRACE(c.name);
    VideoEncoderParams params{};
    params.engineFlags = c.engineFlags;
    params.encoderCount = c.encoderCount;
    params.gpuMask = c.gpuMask;
    const MultiVEncPlan plan = MultiVEnc_PlanInstances(&params, c.outputSubtype, 1);
    EXPECT_EQ(plan.count, c.count);
    EXPECT_EQ(plan.multi, c.count > 1 ? 1u : 0u);
    EXPECT_EQ(plan.gpuMask, c.plannedMask);
    EXPECT_EQ(params.engineFlags & VEP_ENGINE_GPU, c.gpuRequest);
    EXPECT_EQ(params.engineFlags, c.engineFlagsAfter);
    EXPECT_EQ(params.encoderCount, c.encoderCountAfter);
    if (c.engineFlags & VEP_ENGINE_MULTI_INSTANCE) {
      EXPECT_EQ(params.optionFlags & (VEP_OPT_EOS_FLUSH | VEP_OPT_CLOSED_GOPS), VEP_OPT_EOS_FLUSH | VEP_OPT_CLOSED_GOPS);
    }
  }
}

PreProcJob Job(uint64_t time) {
  PreProcJob job{};
  job.time = time;
  return job;
}

std::vector<uint64_t> Times(const std::vector<PreProcJob>& jobs) {
  std::vector<uint64_t> times;
  for (const PreProcJob& job : jobs) times.push_back(job.time);
  return times;
}

TEST(ReorderWindow, PutsLateFramesBackInTimeOrder) {
  // 29.97 frames per second: d = 33, tolerance 61.
  EXPECT_EQ(PreProc_Tolerance(29970), 61u);
  PreProcReorderWindow window(30, PreProc_Tolerance(29970));
  window.Insert(Job(0));
  EXPECT_EQ(Times(window.Release(false)), (std::vector<uint64_t>{0}));  // the first one at once
  window.Insert(Job(66));
  EXPECT_TRUE(window.Release(false).empty());  // 66 waits for 33
  window.Insert(Job(33));
  EXPECT_EQ(Times(window.Release(false)), (std::vector<uint64_t>{33, 66}));
  EXPECT_EQ(window.Pending(), 0u);
}

TEST(ReorderWindow, AFirstArrivalAfterTheFirstFrameWaitsForIt) {
  // Frame 1 (33) completes before frame 0: it waits, both leave in time order once frame 0
  // came, and frame 2 does not wait for a full window.
  PreProcReorderWindow window(30, PreProc_Tolerance(29970));
  window.Insert(Job(33));
  EXPECT_TRUE(window.Release(false).empty());
  window.Insert(Job(0));
  EXPECT_EQ(Times(window.Release(false)), (std::vector<uint64_t>{0, 33}));
  window.Insert(Job(66));
  EXPECT_EQ(Times(window.Release(false)), (std::vector<uint64_t>{66}));
}

TEST(ReorderWindow, AFullWindowReleasesItsEarliestWhateverItsTime) {
  PreProcReorderWindow window(30, PreProc_Tolerance(29970));
  window.Insert(Job(0));
  window.Release(false);
  // Frame 1 never comes; frames 2 .. 29 wait behind it.
  for (uint64_t frame = 2; frame < 30; ++frame) {
    window.Insert(Job(frame * 1001 / 30));
    EXPECT_TRUE(window.Release(false).empty()) << frame;
  }
  window.Insert(Job(30 * 1001 / 30));  // 29 pending now
  const std::vector<PreProcJob> released = window.Release(false);
  ASSERT_FALSE(released.empty());
  EXPECT_EQ(released.front().time, 2u * 1001 / 30);
  // Releasing everything empties the window in order.
  window.Insert(Job(5000));
  window.Insert(Job(4000));
  const std::vector<uint64_t> rest = Times(window.Release(true));
  EXPECT_TRUE(std::is_sorted(rest.begin(), rest.end()));
  EXPECT_EQ(window.Pending(), 0u);
}


// The window runs once per frame on the preprocessing worker: in steady state its lists keep
// their storage, so a frame costs no allocation there (the released list once was a new
// vector for every frame).
TEST(ReorderWindow, KeepsItsStorageFromFrameToFrame) {
  PreProcReorderWindow window(30, PreProc_Tolerance(29970));
  const std::vector<PreProcJob>* list = nullptr;
  const PreProcJob* storage = nullptr;
  for (uint64_t frame = 0; frame < 200; ++frame) {
    // Pairs of frames arrive swapped, so that the window holds one back half of the time.
    const uint64_t arriving = frame % 2 == 0 ? frame + 1 : frame - 1;
    window.Insert(Job(arriving * 1001 / 30));
    const std::vector<PreProcJob>& released = window.Release(false);
    EXPECT_EQ(released.size(), frame % 2 == 0 ? 0u : 2u) << frame;
    if (frame == 31) {
      list = &released;
      storage = released.data();
    } else if (frame > 31 && frame % 2 == 1) {
      EXPECT_EQ(&released, list) << frame;
      EXPECT_EQ(released.data(), storage) << frame;
    }
  }
}

// The preprocessing worker held in its first conversion while more jobs wait in its queue.
CountingEvent g_allocEntered;
CountingEvent g_allocMayReturn;
std::atomic<uint32_t> g_framesHandedBack{0};

QVAStatus HeldAlloc(PreProcObject*, uint32_t, uint64_t, ComponentBuffer** outBuffer, void*, const ComponentBuffer*) {
  g_allocEntered.Raise();
  g_allocMayReturn.WaitFor(1);
  *outBuffer = nullptr;  // no instance buffer: the frame is dropped
  return QVA_SUCCESS;
}
void CountDrop(PreProcObject*, uint64_t, QVAStatus, void*, const ComponentBuffer* source) {
  if (source != nullptr) g_framesHandedBack.fetch_add(1);
}
QVAStatus NoDone(PreProcObject*, uint32_t, uint64_t, ComponentBuffer*, void*, const ComponentBuffer*) {
  return QVA_SUCCESS;
}
void NoEnd(PreProcObject*, uint32_t, uint64_t, void*) {}

TEST(PreProcWorker, DestroyHandsBackTheFramesStillQueued) {
  PreProcConfig config{};
  config.useQueue = 1;
  config.depth = 4;  // six queue slots
  config.reorder = 1;
  config.inputCode = config.outputCode = kPPCodeI420;
  config.frameWidth = config.frameHeight = config.outputWidth = config.outputHeight = 16;
  config.inputFrameRate = config.encoderFrameRate = 29970;
  config.alloc = HeldAlloc;
  config.done = NoDone;
  config.drop = CountDrop;
  config.end = NoEnd;
  g_allocEntered.Reset();
  g_allocMayReturn.Reset();
  g_framesHandedBack = 0;
  PreProcObject* object = nullptr;
  ASSERT_EQ(PreProc_Create(&config, &object, nullptr), QVA_SUCCESS);
  std::vector<uint8_t> frame(16 * 16 * 3 / 2, 0x80);
  ComponentBuffer source{};
  source.flags = QVA_BUFFLAG_INPLACE | QVA_BUFFLAG_EXTERNAL;
  source.data = frame.data();
  source.length = static_cast<uint32_t>(frame.size());
  // Frame 0 reaches the held conversion; the next ones wait in the queue.
  ASSERT_EQ(PreProc_Submit(object, 0, frame.data(), source.length, nullptr, &source), QVA_SUCCESS);
  ASSERT_TRUE(g_allocEntered.WaitFor(1));
  constexpr uint32_t kQueued = 5;
  for (uint32_t i = 1; i <= kQueued; ++i) {
    ASSERT_EQ(PreProc_Submit(object, i * 33, frame.data(), source.length, nullptr, &source), QVA_SUCCESS);
  }
  // The conversion is let go once the destruction has begun: the worker then stops without
  // taking the queued jobs. The object lives on until the worker has ended, which waits for this.
  std::thread release([object] {
    EXPECT_TRUE(PollUntil([object] { return object->stop.load() != 0; }));
    g_allocMayReturn.Raise();
  });
  EXPECT_EQ(PreProc_Destroy(object), QVA_SUCCESS);
  release.join();
  EXPECT_EQ(g_framesHandedBack.load(), kQueued + 1);
}

}  // namespace
