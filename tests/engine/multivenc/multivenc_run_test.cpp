// MULTIVENC running behind the transcode engine with the mock encoder: stream order across
// instances and arrival orders, batches of whole groups, GPU requests, the end of the stream,
// pictures larger than the downstream buffers, instances that take no input, and the priority
// levels.
#include <gtest/gtest.h>

#include <algorithm>
#include <numeric>
#include <random>
#include <cstdio>
#include <string>
#include <thread>

#include "engine/catalogue/component_calls.h"
#include "engine/graph/component_graph.h"
#include "engine/catalogue/component_loader.h"
#include "engine/multivenc/multivenc.h"
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
constexpr uint32_t kSinkWaitMs = 20000;

uint64_t FrameTime(uint32_t id) { return uint64_t{id} * 1001 / 30; }
void* Handle(uint32_t id) { return reinterpret_cast<void*>(uintptr_t{id} + 1); }

// The order frames arrive in: time order shuffled within blocks (render threads finish out of
// order, but never further apart than the window). The first frame comes first: its time starts
// the window.
std::vector<uint32_t> ArrivalOrder(uint32_t frames, uint32_t block, uint32_t seed) {
  std::vector<uint32_t> order(frames);
  std::iota(order.begin(), order.end(), 0);
  std::mt19937 random(seed);
  for (uint32_t start = 1; start < frames; start += block) {
    std::shuffle(order.begin() + start, order.begin() + std::min(start + block, frames), random);
  }
  return order;
}

struct RunResult {
  std::vector<uint32_t> ids;          // picture ids in output order
  std::vector<void*> released;        // reference handles given back
  bool ended = false;
  QVAStatus waited = QVA_SUCCESS;     // the engine's wait after the end
};

// An elementary-stream encode of frames through the engine.
RunResult Encode(QVATengineConfig config, uint32_t subtype, uint32_t frames, const std::vector<uint32_t>& order) {
  config.sourceVideo.subtype = subtype;
  EngineDriver driver(config, MakeTarget(QVA_MTYPE_VIDEO, QVA_MSUBTYPE_MPV2));
  EXPECT_EQ(driver.openStatus, QVA_SUCCESS);
  EXPECT_EQ(driver.Run(), QVA_SUCCESS);
  std::vector<std::vector<uint8_t>> lent(frames);
  for (uint32_t id = 0; id < frames; ++id) lent[id] = MakeTestFrame(subtype, kWidth, kHeight, id, id);
  for (uint32_t id : order) EXPECT_EQ(driver.DeliverFrame(lent[id], FrameTime(id), Handle(id)), QVA_SUCCESS);
  EXPECT_EQ(driver.EndVideo(), QVA_SUCCESS);
  RunResult result;
  result.ended = driver.WaitForSinkEnd(kSinkWaitMs);
  EXPECT_EQ(driver.Finish(), QVA_SUCCESS);
  result.waited = driver.waited;
  for (const MockPicture& picture : ParsePictures(driver.sink.Stream())) result.ids.push_back(picture.id);
  result.released = driver.sink.releasedHandles;
  return result;
}

QVATengineConfig Config(uint32_t instances, uint32_t n, uint32_t m) {
  QVATengineConfig config = MakeConfig(QVA_MSUBTYPE_YUV420, kWidth, kHeight, kWidth, kHeight);
  config.encoderParams.encoderCount = instances;
  config.encoderParams.gopLength = n;
  config.encoderParams.anchorDistance = m;
  config.audioEnabled = 0;
  return config;
}

void ExpectEveryFrameReleasedOnce(const RunResult& result, uint32_t frames) {
  std::vector<void*> released = result.released;
  std::sort(released.begin(), released.end());
  std::vector<void*> handles;
  for (uint32_t id = 0; id < frames; ++id) handles.push_back(Handle(id));
  EXPECT_EQ(released, handles);
}

void ExpectEveryFrameOnceInOrder(const RunResult& result, uint32_t frames) {
  std::vector<uint32_t> expected(frames);
  std::iota(expected.begin(), expected.end(), 0);
  EXPECT_TRUE(result.ended);
  EXPECT_EQ(result.ids, expected);
  ExpectEveryFrameReleasedOnce(result, frames);
}

// Batch records of the mock: "batch <instance> <batch> <frames> <how> <ids>".
struct Batch {
  uint32_t instance;
  uint32_t frames;
  std::string how;
};

std::vector<Batch> Batches() {
  std::vector<Batch> batches;
  for (const std::string& line : DoubleLinesOf("venc")) {
    unsigned instance = 0, batch = 0, frames = 0;
    char how[16] = {};
    if (std::sscanf(line.c_str(), "batch %u %u %u %15s", &instance, &batch, &frames, how) == 4) {
      batches.push_back({instance, frames, how});
    }
  }
  return batches;
}

class MultiVEncRun : public TengineTest {};

TEST_F(MultiVEncRun, StreamOrderForEveryInstanceCountGroupAndArrivalOrder) {
  const uint32_t counts[] = {1, 2, 4, 7};
  const std::pair<uint32_t, uint32_t> groups[] = {{15, 3}, {12, 2}, {6, 2}, {1, 1}};
  const uint32_t frames = 48;
  uint32_t seed = 1;
  for (uint32_t count : counts) {
    for (auto [n, m] : groups) {
      SCOPED_TRACE(std::to_string(count) + " instances, N=" + std::to_string(n) + " M=" + std::to_string(m));
      const RunResult result = Encode(Config(count, n, m), QVA_MSUBTYPE_YUV420, frames, ArrivalOrder(frames, 6, seed++));
      ExpectEveryFrameOnceInOrder(result, frames);
      EXPECT_FALSE(AnyFixtureMapped());
    }
  }
}

TEST_F(MultiVEncRun, AnInstanceFailingMidStreamFailsTheEngineWait) {
  // The instance that gets the 20th picture fails: its stream ends like a finished one, so only
  // the error can tell the engine's caller that pictures are missing. The rest of the frames are
  // still taken and given back, and the stream still ends.
  const uint32_t frames = 48;
  for (uint32_t count : {1u, 4u}) {
    SCOPED_TRACE(std::to_string(count) + " instances");
    BehaviourOf("venc").failAtPicture = 20;
    const RunResult result = Encode(Config(count, 6, 2), QVA_MSUBTYPE_YUV420, frames, ArrivalOrder(frames, 3, count));
    EXPECT_TRUE(result.ended);
    EXPECT_EQ(result.waited, QVA_ERR_WRITE);
    EXPECT_LT(result.ids.size(), frames);
    ExpectEveryFrameReleasedOnce(result, frames);
  }
  // Without a failure the wait answers success.
  BehaviourOf("venc").failAtPicture = 0;
  EXPECT_EQ(Encode(Config(2, 6, 2), QVA_MSUBTYPE_YUV420, 12, ArrivalOrder(12, 1, 1)).waited, QVA_SUCCESS);
}

TEST_F(MultiVEncRun, ConvertedInputsKeepTheirIds) {
  for (uint32_t subtype : {QVA_MSUBTYPE_BGRA, QVA_MSUBTYPE_YUV444I, QVA_MSUBTYPE_VUYA_FLOAT, QVA_MSUBTYPE_YUV422I}) {
    SCOPED_TRACE(subtype);
    ExpectEveryFrameOnceInOrder(Encode(Config(2, 6, 2), subtype, 24, ArrivalOrder(24, 4, subtype)), 24);
  }
}

TEST_F(MultiVEncRun, BatchesAreWholeGroups) {
  // One instance, N = 15, M = 3: 13 frames, then 15 at a time; no end marker between batches.
  ExpectEveryFrameOnceInOrder(Encode(Config(1, 15, 3), QVA_MSUBTYPE_YUV420, 58, ArrivalOrder(58, 1, 0)), 58);
  std::vector<uint32_t> sizes;
  for (const Batch& b : Batches()) sizes.push_back(b.frames);
  EXPECT_EQ(sizes, (std::vector<uint32_t>{13, 15, 15, 15}));
  // Four instances, N = 6, M = 2: two groups of 5 + 6 frames, each batch ending with a flush.
  ClearDoubleLines();
  ExpectEveryFrameOnceInOrder(Encode(Config(4, 6, 2), QVA_MSUBTYPE_YUV420, 66, ArrivalOrder(66, 1, 0)), 66);
  const std::vector<Batch> batches = Batches();
  ASSERT_EQ(batches.size(), 6u);
  for (size_t i = 0; i < batches.size(); ++i) {
    EXPECT_EQ(batches[i].frames, 11u) << i;
    EXPECT_EQ(batches[i].how, "flush") << i;
  }
}

TEST_F(MultiVEncRun, EndOfStreamClosesTheOpenBatchesAndCollectsInOrder) {
  HostLogCapture log;
  // Four instances of 11-frame batches; 17 frames leave one batch closed and one still open.
  ExpectEveryFrameOnceInOrder(Encode(Config(4, 6, 2), QVA_MSUBTYPE_YUV420, 17, ArrivalOrder(17, 1, 0)), 17);
  // The instances record their batches as they finish them: taken in instance order.
  std::vector<Batch> batches = Batches();
  std::sort(batches.begin(), batches.end(), [](const Batch& a, const Batch& b) { return a.instance < b.instance; });
  ASSERT_EQ(batches.size(), 2u);
  EXPECT_EQ(batches[0].frames, 11u);
  EXPECT_EQ(batches[0].how, "flush");
  EXPECT_EQ(batches[1].frames, 6u);
  EXPECT_EQ(batches[1].how, "close");  // the end-of-input marker 0x4004
  EXPECT_NE(log.Text().find("TEngine(end)\n"), std::string::npos);
  EXPECT_NE(log.Text().find("TEngine(end): el="), std::string::npos);
}

// The host switches its pixel format in the middle of the export: the source is opened again
// with the new layout, and the engine sends MULTIVENC the new format in line with the frames.
// The encoded stream goes on: every frame comes out once, in order, and the sink sees exactly
// one end of stream, after the last picture (an end in the middle made a program stream's
// multiplexer end its output there and drop the rest).
TEST_F(MultiVEncRun, ASourceFormatSwitchMidStreamKeepsOneStream) {
  for (uint32_t instances : {1u, 3u}) {
    SCOPED_TRACE(std::to_string(instances) + " instances");
    const uint32_t frames = 40;
    const uint32_t switchAt = 17;
    QVATengineConfig config = Config(instances, 6, 2);
    config.sourceVideo.subtype = QVA_MSUBTYPE_YUV444I;
    EngineDriver driver(config, MakeTarget(QVA_MTYPE_VIDEO, QVA_MSUBTYPE_MPV2));
    ASSERT_EQ(driver.openStatus, QVA_SUCCESS);
    ASSERT_EQ(driver.Run(), QVA_SUCCESS);
    std::vector<std::vector<uint8_t>> lent(frames);
    for (uint32_t id = 0; id < frames; ++id) {
      const uint32_t subtype = id < switchAt ? QVA_MSUBTYPE_YUV444I : QVA_MSUBTYPE_BGRA;
      lent[id] = MakeTestFrame(subtype, kWidth, kHeight, id, id);
    }
    for (uint32_t id = 0; id < frames; ++id) {
      if (id == switchAt) {
        config.sourceVideo.subtype = QVA_MSUBTYPE_BGRA;
        ASSERT_EQ(QVATengine_OpenVideoSource(driver.engine, &config.sourceVideo, SinkRelease, &driver.sink),
                  QVA_SUCCESS);
      }
      EXPECT_EQ(driver.DeliverFrame(lent[id], FrameTime(id), Handle(id)), QVA_SUCCESS);
    }
    EXPECT_EQ(driver.EndVideo(), QVA_SUCCESS);
    RunResult result;
    result.ended = driver.WaitForSinkEnd(kSinkWaitMs);
    std::vector<WrittenPiece> pieces;
    {
      std::lock_guard<std::mutex> lock(driver.sink.mutex);
      pieces = driver.sink.pieces;
    }
    EXPECT_EQ(driver.Finish(), QVA_SUCCESS);
    for (const MockPicture& picture : ParsePictures(driver.sink.Stream())) result.ids.push_back(picture.id);
    result.released = driver.sink.releasedHandles;
    ExpectEveryFrameOnceInOrder(result, frames);
    EXPECT_EQ(driver.sink.endOfStream.load(), 1u);
    ASSERT_FALSE(pieces.empty());
    for (size_t i = 0; i + 1 < pieces.size(); ++i) {
      EXPECT_FALSE(pieces[i].data.empty() && (pieces[i].flags & QVA_BUFFLAG_EOS)) << "end of stream at piece " << i;
    }
    EXPECT_TRUE(pieces.back().data.empty() && (pieces.back().flags & QVA_BUFFLAG_EOS));
  }
}

// What each instance received as its parameter block: "params <instance> engine=0x..." lines.
std::vector<std::string> ParamLines() {
  std::vector<std::string> lines;
  for (const std::string& line : DoubleLinesOf("venc")) {
    if (line.rfind("params ", 0) == 0) lines.push_back(line);
  }
  return lines;
}

uint32_t InstancesWithGpu() {
  uint32_t count = 0;
  for (const std::string& line : ParamLines()) {
    const size_t at = line.find("engine=0x");
    if (at != std::string::npos && (std::stoul(line.substr(at + 9), nullptr, 16) & VEP_ENGINE_GPU)) ++count;
  }
  return count;
}

TEST_F(MultiVEncRun, GpuRequestsFollowTheMask) {
  struct Row {
    uint32_t engineFlags;
    uint32_t count;
    uint32_t mask;
    uint32_t outputSubtype;
    uint32_t gpuInstances;
  };
  const Row rows[] = {{0xA00, 4, 0x3, QVA_MSUBTYPE_MPV2, 2},
                      {0xA00, 3, 0x3, QVA_MSUBTYPE_VC1, 0},
                      {0xA00, 7, 0x3, QVA_MSUBTYPE_MPV2, 2}};
  for (const Row& row : rows) {
    SCOPED_TRACE(row.count);
    ClearDoubleLines();
    QVATengineConfig config = Config(row.count, 6, 2);
    config.encoderParams.engineFlags = row.engineFlags;
    config.encoderParams.gpuMask = row.mask;
    config.targetVideo.subtype = row.outputSubtype;
    ExpectEveryFrameOnceInOrder(Encode(config, QVA_MSUBTYPE_YUV420, 12, ArrivalOrder(12, 1, 0)), 12);
    // The parameter block goes to every instance once at begin.
    EXPECT_EQ(ParamLines().size(), row.count);
    EXPECT_EQ(InstancesWithGpu(), row.gpuInstances);
  }
}

TEST_F(MultiVEncRun, AcceleratorFlagGivesOneInstanceAndFortyAreClampedToSixteen) {
  QVATengineConfig config = Config(4, 6, 2);
  config.encoderParams.engineFlags = 0x900;
  ExpectEveryFrameOnceInOrder(Encode(config, QVA_MSUBTYPE_YUV420, 12, ArrivalOrder(12, 1, 0)), 12);
  ASSERT_EQ(ParamLines().size(), 1u);
  EXPECT_NE(ParamLines()[0].find("engine=0x800 count=0"), std::string::npos);

  ClearDoubleLines();
  HostLogCapture log;
  ExpectEveryFrameOnceInOrder(Encode(Config(40, 1, 1), QVA_MSUBTYPE_YUV420, 40, ArrivalOrder(40, 1, 0)), 40);
  EXPECT_EQ(ParamLines().size(), 16u);
  EXPECT_NE(log.Text().find("VEncoderBegin: 40 encoders asked, 16 slots used"), std::string::npos);
}

TEST_F(MultiVEncRun, RoundRobinAndFrameCopiesKeepTheOrder) {
  QVATengineConfig robin = Config(4, 6, 2);
  robin.encoderParams.optionFlags |= VEP_OPT_ROUND_ROBIN;
  ExpectEveryFrameOnceInOrder(Encode(robin, QVA_MSUBTYPE_YUV420, 40, ArrivalOrder(40, 5, 3)), 40);
  QVATengineConfig copies = Config(3, 12, 2);
  copies.encoderParams.optionFlags |= VEP_OPT_FRAME_COPIES;
  copies.encoderParams.frameCopy = 1;
  ExpectEveryFrameOnceInOrder(Encode(copies, QVA_MSUBTYPE_VUYA_FLOAT, 30, ArrivalOrder(30, 5, 4)), 30);
}

TEST_F(MultiVEncRun, SlowInstancesDoNotChangeTheOrder) {
  // Instance 1 is slow: the batch of instance 2 finishes first but leaves after instance 1's.
  BehaviourOf("venc").frameDelayMs[1] = 15;
  ExpectEveryFrameOnceInOrder(Encode(Config(3, 6, 2), QVA_MSUBTYPE_YUV420, 40, ArrivalOrder(40, 3, 9)), 40);
}

TEST_F(MultiVEncRun, PicturesLargerThanTheDownstreamBuffersAreSplit) {
  BehaviourOf("mux").inputBufferSize = 1000;
  BehaviourOf("venc").pictureBytes = 2500;
  QVATengineConfig config = Config(2, 6, 2);
  EngineDriver driver(config, MakeTarget(QVA_MTYPE_MPEG2_PS, 0));
  ASSERT_EQ(driver.openStatus, QVA_SUCCESS);
  ASSERT_EQ(driver.Run(), QVA_SUCCESS);
  const uint32_t frames = 12;
  std::vector<std::vector<uint8_t>> lent(frames);
  for (uint32_t id = 0; id < frames; ++id) {
    lent[id] = MakeTestFrame(QVA_MSUBTYPE_YUV420, kWidth, kHeight, id, id);
    ASSERT_EQ(driver.DeliverFrame(lent[id], FrameTime(id), Handle(id)), QVA_SUCCESS);
  }
  driver.EndVideo();
  EXPECT_TRUE(driver.WaitForSinkEnd(kSinkWaitMs));
  EXPECT_EQ(driver.Finish(), QVA_SUCCESS);
  const std::vector<MockPicture> pictures = ParsePictures(driver.sink.Stream());
  ASSERT_EQ(pictures.size(), frames);
  for (uint32_t id = 0; id < frames; ++id) EXPECT_EQ(pictures[id].id, id);
  // Pieces no longer than the double's buffers (1000 bytes, 1008 in the queue's 16-byte slots):
  // the first stamped with the time, then two more.
  uint32_t stamped = 0;
  uint32_t pieces = 0;
  for (const std::string& line : DoubleLinesOf("mux")) {
    unsigned flags = 0, length = 0;
    if (std::sscanf(line.c_str(), "In 0 0x%X %u", &flags, &length) != 2 || length == 0) continue;
    if (flags & QVA_BUFFLAG_FORMAT) continue;
    EXPECT_LE(length, 1008u);
    ++pieces;
    if (flags & QVA_BUFFLAG_TIMESTAMP) ++stamped;
  }
  EXPECT_EQ(stamped, frames);
  EXPECT_EQ(pieces, frames * 3);
}

TEST_F(MultiVEncRun, FramesAnInstanceCannotTakeAreReportedAndDropped) {
  // The instances take no input: their queues fill, then every further frame has no buffer.
  BehaviourOf("venc").stall = 1;
  QVATengineConfig config = Config(1, 15, 3);
  EngineDriver driver(config, MakeTarget(QVA_MTYPE_VIDEO, QVA_MSUBTYPE_MPV2));
  ASSERT_EQ(driver.Run(), QVA_SUCCESS);
  const uint32_t frames = 60;  // twice the host's 30 frames in flight
  std::vector<std::vector<uint8_t>> lent(frames);
  for (uint32_t id = 0; id < frames; ++id) {
    lent[id] = MakeTestFrame(QVA_MSUBTYPE_YUV420, kWidth, kHeight, id, id);
    ASSERT_EQ(driver.DeliverFrame(lent[id], FrameTime(id), Handle(id)), QVA_SUCCESS);
  }
  // Every frame comes back, also those that found no buffer.
  driver.sink.WaitUntil([&] { return driver.sink.releases.load() >= frames; }, std::chrono::milliseconds(kSinkWaitMs));
  EXPECT_EQ(driver.sink.releases.load(), frames);
  ComponentInstance* vtarget = TengineFromHandle(driver.engine)->videoInput.load();
  EXPECT_GT(MultiVEncStateOf(vtarget)->framesDropped.load(), 0u);
  BehaviourOf("venc").stall = 0;
  driver.EndVideo();
  EXPECT_TRUE(driver.WaitForSinkEnd(kSinkWaitMs));
  EXPECT_EQ(driver.Finish(), QVA_SUCCESS);
  // The stream lacks the dropped frames: the engine's wait does not answer success.
  EXPECT_EQ(driver.waited, QVA_ERR_OPEN);
}

TEST_F(MultiVEncRun, FramesStillQueuedAtAReleaseComeBack) {
  // The instance takes no input, so the frames back up to MULTIVENC's own input queue, which
  // refuses a frame once it is full; the engine is released with them still queued.
  BehaviourOf("venc").stall = 1;
  EngineDriver driver(Config(1, 15, 3), MakeTarget(QVA_MTYPE_VIDEO, QVA_MSUBTYPE_MPV2));
  ASSERT_EQ(driver.Run(), QVA_SUCCESS);
  const uint32_t limit = 200;
  std::vector<std::vector<uint8_t>> lent(limit);
  uint32_t taken = 0;
  for (; taken < limit; ++taken) {
    lent[taken] = MakeTestFrame(QVA_MSUBTYPE_YUV420, kWidth, kHeight, taken, taken);
    ComponentBuffer buffer{};
    buffer.flags = QVA_BUFFLAG_INPLACE | QVA_BUFFLAG_EXTERNAL | QVA_BUFFLAG_TIMESTAMP | QVA_BUFFLAG_VIDEO;
    buffer.frameworkMark = 1;
    buffer.timestamp = FrameTime(taken);
    buffer.data = lent[taken].data();
    buffer.capacity = buffer.length = static_cast<uint32_t>(lent[taken].size());
    if (QVATengine_DeliverVideo(driver.engine, &buffer, 0, Handle(taken), 0) != QVA_SUCCESS) break;
  }
  ASSERT_LT(taken, limit);  // the queue filled
  EXPECT_EQ(QVATengine_Release(driver.engine), QVA_SUCCESS);
  driver.engine = nullptr;
  std::vector<void*> released = driver.sink.releasedHandles;
  // Every frame taken came back exactly once.
  for (uint32_t id = 0; id < taken; ++id) {
    EXPECT_EQ(std::count(released.begin(), released.end(), Handle(id)), 1) << "frame " << id << " of " << taken;
  }
  EXPECT_EQ(released.size(), taken);
  BehaviourOf("venc").stall = 0;
}

void KeepError(ComponentInstance*, QVAStatus status, uint32_t, void* user) {
  static_cast<std::atomic<QVAStatus>*>(user)->store(status);
}

// A downstream peer that only notes the end of stream.
struct EndWatcher {
  ComponentBuffer buffer{};
  uint8_t bytes[4096] = {};
  CountingEvent ended;
};
QVAStatus WatcherGet(void* context, ComponentBuffer** out) {
  auto* watcher = static_cast<EndWatcher*>(context);
  watcher->buffer = ComponentBuffer{};
  watcher->buffer.data = watcher->bytes;
  watcher->buffer.capacity = sizeof watcher->bytes;
  *out = &watcher->buffer;
  return QVA_SUCCESS;
}
QVAStatus WatcherDeliver(void* context, ComponentBuffer* buffer) {
  if (buffer->flags & QVA_BUFFLAG_EOS) static_cast<EndWatcher*>(context)->ended.Raise();
  return QVA_SUCCESS;
}

void CountReleases(ComponentInstance*, ComponentBuffer* buffer, uint32_t, void* user) {
  if (buffer != nullptr && buffer->length != 0) static_cast<std::atomic<uint32_t>*>(user)->fetch_add(1);
}

TEST_F(MultiVEncRun, NoInstanceAtBeginStopsTheWorkerWithAnError) {
  // Ended before it began, MULTIVENC has no instance left when it is started again: the first
  // frame's begin finds none, so the worker stops with 33, the error is reported, the stream
  // ends downstream and the frame goes back to its sender by the end.
  QVAHandle engine = nullptr;
  ASSERT_EQ(QVATengine_Create(&engine), QVA_SUCCESS);  // registers MULTIVENC
  ComponentInstance* multivenc = CompCreateByName("MULTIVENC", 0, 0);
  ASSERT_NE(multivenc, nullptr);
  QVATengineConfig config = Config(1, 6, 2);
  std::atomic<QVAStatus> error{QVA_SUCCESS};
  std::atomic<uint32_t> released{0};
  multivenc->methods.QVAComp_SetErrorCallback(multivenc, KeepError, &error);
  comp::SetPinCallback(multivenc, 0, 0, CountReleases, &released);
  EndWatcher watcher;
  comp::ConnectOutput(multivenc, 0, WatcherGet, WatcherDeliver, &watcher);
  comp::SetParam(multivenc, QVA_PARAM_VIDEOENCODER, &config.encoderParams, sizeof config.encoderParams);
  comp::SetFormat(multivenc, 1, 0, &config.targetVideo);
  ASSERT_EQ(comp::Start(multivenc), QVA_SUCCESS);
  comp::SendCommand(multivenc, CMD_PLAY);
  ASSERT_EQ(comp::End(multivenc), QVA_SUCCESS);
  ASSERT_EQ(comp::Start(multivenc), QVA_SUCCESS);
  comp::SendCommand(multivenc, CMD_PLAY);

  VideoMediaType format = config.sourceVideo;
  ComponentBuffer record{};
  record.flags = QVA_FORMATRECORD_VIDEO;
  record.frameworkMark = 1;
  record.data = reinterpret_cast<uint8_t*>(&format);
  record.capacity = record.length = sizeof format;
  ASSERT_EQ(comp::PushInput(multivenc, 0, &record, QVA_INFINITE), QVA_SUCCESS);
  std::vector<uint8_t> frame = MakeTestFrame(QVA_MSUBTYPE_YUV420, kWidth, kHeight, 1, 1);
  ComponentBuffer lent{};
  lent.flags = QVA_BUFFLAG_INPLACE | QVA_BUFFLAG_EXTERNAL | QVA_BUFFLAG_TIMESTAMP | QVA_BUFFLAG_VIDEO;
  lent.frameworkMark = 1;
  lent.data = frame.data();
  lent.capacity = lent.length = static_cast<uint32_t>(frame.size());
  ASSERT_EQ(comp::PushInput(multivenc, 0, &lent, QVA_INFINITE), QVA_SUCCESS);

  EXPECT_TRUE(watcher.ended.WaitFor(1, std::chrono::milliseconds(kSinkWaitMs)));
  EXPECT_EQ(error.load(), QVA_ERR_NOCOMPONENT);
  // The worker leaves right after it sent the end of stream.
  EXPECT_TRUE(PollUntil([multivenc] { return !MultiVEnc_InstanceAlive(multivenc); },
                        std::chrono::milliseconds(kSinkWaitMs)));
  comp::End(multivenc);
  EXPECT_EQ(released.load(), 1u);  // still queued behind the format when the worker stopped
  CompUnload(multivenc);
  QVATengine_Release(engine);
}

// A MULTIVENC state with hand-set measurements, to drive the priority levels directly.
struct RebalanceBed {
  RebalanceBed() : state(new MultiVEncState()) {
    for (uint32_t i = 0; i < kMultiVEncSlots; ++i) {
      state->slots[i].owner = state.get();
      state->slots[i].index = i;
    }
  }
  void Slot(uint32_t i, bool gpu, uint32_t level, uint32_t best, uint64_t shortest) {
    EncoderSlot& slot = state->slots[i];
    slot.instance = reinterpret_cast<ComponentInstance*>(&fakeInstance);
    slot.running = 1;
    slot.gpu = gpu;
    slot.level = level;
    slot.bestRate = best;
    slot.shortestDuration = shortest;
  }
  uint32_t Level(uint32_t i) const { return state->slots[i].level.load(); }
  std::unique_ptr<MultiVEncState> state;
  int fakeInstance = 0;
};

TEST(MultiVEncRebalance, MixedGpuAndCpuSlots) {
  {
    // A GPU slot twice as fast as the CPU slots: the CPU slots move behind it.
    RebalanceBed bed;
    bed.Slot(0, true, 1, 600, 400);
    bed.Slot(1, false, 0, 300, 800);
    bed.Slot(2, false, 0, 300, 800);
    MultiVEnc_Rebalance(bed.state.get());
    EXPECT_EQ(bed.Level(0), 0u);
    EXPECT_EQ(bed.Level(1), 1u);
    EXPECT_EQ(bed.Level(2), 1u);
    EXPECT_EQ(bed.state->activeInstances.load(), 3u);
  }
  {
    // A GPU slot slower than the CPU slots on its shortest batch is excluded.
    RebalanceBed bed;
    bed.Slot(0, true, 1, 100, 3000);
    bed.Slot(1, false, 0, 400, 700);
    MultiVEnc_Rebalance(bed.state.get());
    EXPECT_EQ(bed.Level(0), kLevelExcluded);
    EXPECT_EQ(bed.Level(1), 0u);
    EXPECT_EQ(bed.state->activeInstances.load(), 1u);
  }
  {
    // Equal CPU slots stay together at level 0.
    RebalanceBed bed;
    bed.Slot(0, false, 0, 300, 500);
    bed.Slot(1, false, 0, 310, 490);
    MultiVEnc_Rebalance(bed.state.get());
    EXPECT_EQ(bed.Level(0), 0u);
    EXPECT_EQ(bed.Level(1), 0u);
  }
}

}  // namespace
}  // namespace orx::test
