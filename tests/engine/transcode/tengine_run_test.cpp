// Running the transcode engine on the doubles: what the components receive, the order of start
// and play, the delivery rules, the release callback, the sink, Control, the watchdog and the
// tear-down.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <string>
#include <thread>

#include "engine/catalogue/component_calls.h"
#include "engine/graph/component_graph.h"
#include "engine/multivenc/multivenc.h"
#include "engine/transcode/tengine_record.h"
#include "media/media_codes.h"
#include "tests/support/host_log_capture.h"
#include "tests/support/test_paths.h"
#include "tests/engine/transcode/tengine_test_support.h"
#include "tests/engine/transcode/test_frames.h"

namespace orx::test {
namespace {

constexpr uint32_t kWidth = 96;
constexpr uint32_t kHeight = 64;

size_t IndexOf(const std::vector<RecordedLine>& lines, const std::string& who, const std::string& text,
               size_t from = 0) {
  for (size_t i = from; i < lines.size(); ++i) {
    if (lines[i].who == who && lines[i].text == text) return i;
  }
  return lines.size();
}

size_t Count(const std::vector<std::string>& lines, const std::string& text) {
  return static_cast<size_t>(std::count(lines.begin(), lines.end(), text));
}

class TengineRun : public TengineTest {};

TEST_F(TengineRun, ComponentsLearnTheirFormatsAndStartDownstreamFirst) {
  QVATengineConfig config = MakeConfig(QVA_MSUBTYPE_BGRA, kWidth, kHeight, kWidth, kHeight);
  config.statsLevel = 1;
  EngineDriver driver(config, MakeTarget(QVA_MTYPE_MPEG2_PS, 0));
  ASSERT_EQ(driver.openStatus, QVA_SUCCESS);
  ASSERT_EQ(driver.Run(), QVA_SUCCESS);
  const std::vector<RecordedLine> lines = DoubleLines();
  const std::vector<std::string> mux = DoubleLinesOf("mux");
  const std::vector<std::string> aenc = DoubleLinesOf("aenc");
  // The parameter block reaches the multiplexer and, through MULTIVENC, the encoder.
  EXPECT_GE(Count(mux, "SetParam VIDEOENCODER 212"), 1u);
  const std::vector<std::string> venc = DoubleLinesOf("venc");
  EXPECT_EQ(std::count_if(venc.begin(), venc.end(), [](const std::string& l) { return l.rfind("params 0 ", 0) == 0; }),
            1);
  EXPECT_GE(Count(mux, "SetFormat 1 0 0x80005/0x0"), 1u);
  EXPECT_EQ(Count(aenc, "SetFormat 0 0 0x20000/0x400"), 1u);
  EXPECT_EQ(Count(aenc, "Push 0 0x240004 136"), 1u);
  // Statistics level 1: the log set-up to every component.
  EXPECT_EQ(Count(mux, "SetParam LOG level=1"), 2u);  // the multiplexer is on both paths
  EXPECT_EQ(Count(aenc, "SetParam LOG level=1"), 1u);
  EXPECT_GE(Count(venc, "log 0 level=1"), 1u);
  // Start and play: the multiplexer (downstream) before the audio encoder, once per path.
  EXPECT_EQ(Count(mux, "Start"), 2u);
  EXPECT_LT(IndexOf(lines, "mux", "Start"), IndexOf(lines, "aenc", "Start"));
  const size_t firstPlay = IndexOf(lines, "mux", "Command 0x1 0x40000000");
  EXPECT_LT(firstPlay, IndexOf(lines, "aenc", "Command 0x1 0x40000000"));
  EXPECT_LT(IndexOf(lines, "aenc", "Start"), firstPlay);
  // MULTIVENC began from the format-change buffer.
  ComponentInstance* vtarget = TengineFromHandle(driver.engine)->videoInput.load();
  EXPECT_EQ(MultiVEncStateOf(vtarget)->begun.load(), 1u);
  EXPECT_EQ(MultiVEncStateOf(vtarget)->inputFormat.subtype, QVA_MSUBTYPE_BGRA);
  EXPECT_EQ(driver.Run(), QVA_SUCCESS);  // a second Run does nothing
  EXPECT_EQ(Count(DoubleLinesOf("mux"), "Start"), 2u);
  EXPECT_EQ(driver.Finish(), QVA_SUCCESS);
  EXPECT_EQ(Count(DoubleLinesOf("mux"), "End"), 2u);
  EXPECT_FALSE(AnyFixtureMapped());
}

TEST_F(TengineRun, FormatChangesReachTheScalerAndTheEncoder) {
  QVATengineConfig config = MakeConfig(QVA_MSUBTYPE_BGRA, 1920, 1080, kWidth, kHeight);
  EngineDriver driver(config, MakeTarget(QVA_MTYPE_VIDEO, QVA_MSUBTYPE_MPV2));
  ASSERT_EQ(driver.Run(), QVA_SUCCESS);
  const std::vector<std::string> scaler = DoubleLinesOf("vscaler");
  EXPECT_EQ(Count(scaler, "SetFormat 1 0 0x40000/0x80002 96x64 96x64"), 1u);
  EXPECT_EQ(Count(scaler, "Push 0 0x140004 156"), 1u);
  EXPECT_EQ(Count(scaler, "SetPinCallback 0 0"), 1u);
  ComponentInstance* vencoder = nullptr;
  QVAgraph_FindComp(TengineFromHandle(driver.engine)->targetGraph, &vencoder, "vencoder", nullptr);
  ASSERT_NE(vencoder, nullptr);
  EXPECT_EQ(MultiVEncStateOf(vencoder)->inputFormat.subtype, QVA_MSUBTYPE_YUV420);
  EXPECT_EQ(MultiVEncStateOf(vencoder)->inputFormat.secondWidth, kWidth);
  EXPECT_EQ(MultiVEncStateOf(vencoder)->begun.load(), 1u);
  EXPECT_EQ(driver.Finish(), QVA_SUCCESS);
}

TEST_F(TengineRun, DeliveryRulesAndTheReleaseCallback) {
  QVATengineConfig config = MakeConfig(QVA_MSUBTYPE_YUV420, kWidth, kHeight, kWidth, kHeight);
  EngineDriver driver(config, MakeTarget(QVA_MTYPE_MPEG2_PS, 0));
  ComponentBuffer audio{};
  audio.flags = QVA_BUFFLAG_AUDIO;
  EXPECT_EQ(QVATengine_DeliverAudio(driver.engine, &audio, 0, nullptr, 0), QVA_ERR_UNSUPPORTED);  // before Run
  EXPECT_EQ(QVATengine_Wait(driver.engine, 0, 10), QVA_SUCCESS);                                // not running
  ASSERT_EQ(driver.Run(), QVA_SUCCESS);
  // A video frame lent with handle H comes back with H.
  const std::vector<uint8_t> frame = MakeTestFrame(QVA_MSUBTYPE_YUV420, kWidth, kHeight, 7, 1);
  void* const handle = reinterpret_cast<void*>(0x1234567890ull);
  ASSERT_EQ(driver.DeliverFrame(frame, 0, handle), QVA_SUCCESS);
  // Audio: taken until its end marker, then refused with 18 until a buffer reopens it.
  std::vector<uint8_t> pcm(4096, 0);
  audio.data = pcm.data();
  audio.capacity = audio.length = 4096;
  EXPECT_EQ(QVATengine_DeliverAudio(driver.engine, &audio, 0, nullptr, QVA_INFINITE), QVA_SUCCESS);
  EXPECT_EQ(driver.EndAudio(), QVA_SUCCESS);
  EXPECT_EQ(QVATengine_DeliverAudio(driver.engine, &audio, 0, nullptr, QVA_INFINITE), QVA_ERR_ENDOFSTREAM);
  EXPECT_EQ(driver.EndVideo(), QVA_SUCCESS);
  EXPECT_TRUE(driver.WaitForSinkEnd(10000));
  {
    std::lock_guard<std::mutex> lock(driver.sink.mutex);
    ASSERT_EQ(driver.sink.releasedHandles.size(), 1u);
    EXPECT_EQ(driver.sink.releasedHandles[0], handle);
  }
  // After the end of the whole graph the wait answers at once.
  EXPECT_EQ(QVATengine_Wait(driver.engine, 0, 5000), QVA_SUCCESS);
  EXPECT_EQ(driver.Finish(), QVA_SUCCESS);
}

TEST_F(TengineRun, OnlyLentRecordsReachTheSourceReleaseCallback) {
  QVATengineConfig config = MakeConfig(QVA_MSUBTYPE_YUV420, kWidth, kHeight, kWidth, kHeight);
  EngineDriver driver(config, MakeTarget(QVA_MTYPE_VIDEO, QVA_MSUBTYPE_MPV2));
  QVATengine* engine = TengineFromHandle(driver.engine);
  uint8_t byte = 0;
  // A copied record (the queue's memory) is not the source's business.
  ComponentBuffer copied{};
  copied.flags = QVA_BUFFLAG_VIDEO | QVA_BUFFLAG_REFHANDLE;
  copied.data = &byte;
  copied.length = 1;
  tengine_OnInputReleased(nullptr, &copied, 0, &engine->videoTag);
  EXPECT_EQ(driver.sink.releases.load(), 0u);
  // A lent record without a handle comes back with none; with 0x2 its handle.
  ComponentBuffer lent = copied;
  lent.flags = QVA_BUFFLAG_INPLACE | QVA_BUFFLAG_EXTERNAL;
  lent.SetReferenceHandle(reinterpret_cast<void*>(0x77));
  lent.flags &= ~QVA_BUFFLAG_REFHANDLE;
  tengine_OnInputReleased(nullptr, &lent, 0, &engine->videoTag);
  lent.flags |= QVA_BUFFLAG_REFHANDLE;
  tengine_OnInputReleased(nullptr, &lent, 0, &engine->videoTag);
  // The notice of a full reorder window: passed on, without a handle.
  ComponentBuffer notice{};
  notice.flags = QVA_BUFFLAG_EXTERNAL;
  notice.frameworkMark = 1;
  tengine_OnInputReleased(nullptr, &notice, 0, &engine->videoTag);
  std::lock_guard<std::mutex> lock(driver.sink.mutex);
  EXPECT_EQ(driver.sink.releasedHandles,
            (std::vector<void*>{nullptr, reinterpret_cast<void*>(0x77), nullptr}));
}

TEST_F(TengineRun, TheMultiplexersDataSeeksAndEndReachTheWriteCallbackInOrder) {
  BehaviourOf("mux").trailer = 1;
  QVATengineConfig config = MakeConfig(QVA_MSUBTYPE_YUV420, kWidth, kHeight, kWidth, kHeight);
  config.audioEnabled = 0;
  EngineDriver driver(config, MakeTarget(QVA_MTYPE_MPEG2_PS, 0));
  ASSERT_EQ(driver.Run(), QVA_SUCCESS);
  const std::vector<uint8_t> frame = MakeTestFrame(QVA_MSUBTYPE_YUV420, kWidth, kHeight, 1, 1);
  ASSERT_EQ(driver.DeliverFrame(frame, 0, nullptr), QVA_SUCCESS);
  driver.EndVideo();
  ASSERT_TRUE(driver.WaitForSinkEnd(10000));
  std::vector<std::string> kinds;
  {
    std::lock_guard<std::mutex> lock(driver.sink.mutex);
    for (const WrittenPiece& piece : driver.sink.pieces) {
      if (piece.flags & QVA_BUFFLAG_SEEK) {
        kinds.push_back("seek " + std::to_string(piece.seek));
      } else if (piece.flags & QVA_BUFFLAG_EOS) {
        kinds.push_back("end");
      } else if (!piece.data.empty()) {
        kinds.push_back(std::string(piece.data.begin(), piece.data.end()).substr(0, 8));
      }
    }
  }
  ASSERT_GE(kinds.size(), 5u);
  const std::vector<std::string> tail(kinds.end() - 4, kinds.end());
  EXPECT_EQ(tail, (std::vector<std::string>{"TRAILER1", "seek " + std::to_string(0x100000010ull), "HEADER!!", "end"}));
  EXPECT_EQ(driver.Finish(), QVA_SUCCESS);
}

TEST_F(TengineRun, ControlTraceSetUpDumpsAndStatistics) {
  const std::string folder = MakeTempDir("tengine-dump");
  const std::filesystem::path previous = std::filesystem::current_path();
  std::filesystem::current_path(folder);
  {
    QVATengineConfig config = MakeConfig(QVA_MSUBTYPE_YUV420, kWidth, kHeight, kWidth, kHeight);
    EngineDriver driver(config, MakeTarget(QVA_MTYPE_MPEG2_PS, 0));
    CompStatistics block{};
    block.size = sizeof block;
    block.statisticsLevel = 1;  // no watchdog
    EXPECT_EQ(QVATengine_Control(driver.engine, 0x111, &block), QVA_ERR_UNSUPPORTED);
    EXPECT_EQ(TengineFromHandle(driver.engine)->watchdog.thread, nullptr);
    EXPECT_EQ(Count(DoubleLinesOf("mux"), "SetParam LOG level=1"), 2u);
    ASSERT_EQ(driver.Run(), QVA_SUCCESS);
    EXPECT_EQ(QVATengine_Control(driver.engine, 16, nullptr), QVA_SUCCESS);
    EXPECT_EQ(QVATengine_Control(driver.engine, 0x300, nullptr), QVA_ERR_UNSUPPORTED);
    // One file per trace-event manager, among them MULTIVENC's "teng_be".
    bool any = false;
    for (const auto& entry : std::filesystem::directory_iterator(folder)) {
      any = any || entry.path().filename().string().rfind("em_", 0) == 0;
    }
    EXPECT_TRUE(any);
    EXPECT_EQ(driver.Finish(), QVA_SUCCESS);
  }
  std::filesystem::current_path(previous);
}

TEST_F(TengineRun, TheWatchdogStopsAndFlushesAStalledEncodeOnce) {
  HostLogCapture log;
  QVATengineConfig config = MakeConfig(QVA_MSUBTYPE_YUV420, kWidth, kHeight, kWidth, kHeight);
  EngineDriver driver(config, MakeTarget(QVA_MTYPE_VIDEO, QVA_MSUBTYPE_MPV2));
  ASSERT_EQ(driver.Run(), QVA_SUCCESS);
  ASSERT_EQ(QVATengine_StartWatchdog(driver.engine, 50, 200, 0), QVA_SUCCESS);
  // Nothing is delivered: a stall.
  EXPECT_TRUE(log.WaitFor("Watchdog: Flush", std::chrono::milliseconds(5000)));
  QVASleep(600);  // three idle limits more, in which the same stall must not be handled again
  EXPECT_EQ(QVATengine_Release(driver.engine), QVA_SUCCESS);  // joins the watchdog
  driver.engine = nullptr;
  const std::string text = log.Text();
  auto occurrences = [&](const std::string& what) {
    size_t count = 0;
    for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++count;
    return count;
  };
  EXPECT_EQ(occurrences("Watchdog: Started"), 1u);
  EXPECT_EQ(occurrences("Watchdog: NoActivity"), 1u);
  EXPECT_EQ(occurrences("Watchdog: Stop\n"), 1u);
  EXPECT_EQ(occurrences("Watchdog: Flush\n"), 1u);
  EXPECT_EQ(occurrences("Watchdog: Exit"), 1u);
}

TEST_F(TengineRun, ReleaseWithoutWatchdogOrEndLeavesNothingBehind) {
  QVATengineConfig config = MakeConfig(QVA_MSUBTYPE_YUV420, kWidth, kHeight, kWidth, kHeight);
  config.encoderParams.encoderCount = 3;
  config.encoderParams.gopLength = 6;
  config.encoderParams.anchorDistance = 2;
  EngineDriver driver(config, MakeTarget(QVA_MTYPE_MPEG2_PS, 0));
  ASSERT_EQ(driver.Run(), QVA_SUCCESS);
  std::vector<std::vector<uint8_t>> frames;
  for (uint32_t id = 0; id < 20; ++id) frames.push_back(MakeTestFrame(QVA_MSUBTYPE_YUV420, kWidth, kHeight, id, id));
  for (uint32_t id = 0; id < 20; ++id) driver.DeliverFrame(frames[id], id * 33, reinterpret_cast<void*>(id + 1));
  // Released in the middle of the stream: every worker is joined, every library unloaded.
  EXPECT_EQ(QVATengine_Release(driver.engine), QVA_SUCCESS);
  driver.engine = nullptr;
  EXPECT_FALSE(AnyFixtureMapped());
  EXPECT_EQ(TengineGlobalHandle(), nullptr);
}

}  // namespace
}  // namespace orx::test
