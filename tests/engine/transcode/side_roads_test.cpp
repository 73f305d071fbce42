// The transcode engine's roads that the export never takes: the source formats, the statistics
// record, the target's video format, reading the output component directly, the demultiplexer's
// settings, and MULTIVENC's destroy routine.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "engine/catalogue/component_calls.h"
#include "engine/graph/component_graph.h"
#include "engine/catalogue/component_loader.h"
#include "engine/multivenc/multivenc.h"
#include "engine/transcode/tengine_record.h"
#include "media/media_codes.h"
#include "media/media_params.h"
#include "tests/engine/transcode/tengine_test_support.h"

namespace orx::test {
namespace {

constexpr uint32_t kWidth = 96;
constexpr uint32_t kHeight = 64;

class TengineSideRoads : public TengineTest {
 protected:
  QVATengineConfig config_ = MakeConfig(QVA_MSUBTYPE_BGRA, kWidth, kHeight, kWidth, kHeight);
};

TEST_F(TengineSideRoads, GetFormatsCopiesTheFileSourceFormatsOnlyAFileSourceFills) {
  // Sources the caller feeds leave the file source's formats as the engine preset them.
  EngineDriver driver(config_, MakeTarget(QVA_MTYPE_MPEG2_PS, 0));
  ASSERT_EQ(driver.openStatus, QVA_SUCCESS);
  StreamMediaType stream{};
  AudioMediaType audio{};
  VideoMediaType video{};
  ASSERT_EQ(QVATengine_GetFormats(driver.engine, &stream, &audio, &video), QVA_SUCCESS);
  EXPECT_EQ(stream.size, sizeof stream);
  EXPECT_EQ(audio.size, sizeof audio);
  EXPECT_EQ(video.size, sizeof video);
  EXPECT_EQ(video.MType, 0u);
  EXPECT_EQ(audio.MType, 0u);
  EXPECT_EQ(stream.MType, 0u);
  EXPECT_EQ(QVATengine_GetFormats(driver.engine, nullptr, nullptr, nullptr), QVA_SUCCESS);
  QVAHandle graph = nullptr;
  QVAgraph_Create(&graph);
  EXPECT_EQ(QVATengine_GetFormats(graph, &stream, &audio, &video), QVA_ERR_BADHANDLE);
  QVAgraph_Release(graph, 0);
  EXPECT_EQ(driver.Finish(), QVA_SUCCESS);
}

TEST_F(TengineSideRoads, StatisticsAndTheTargetFormatComeFromTheVideoTarget) {
  EngineDriver driver(config_, MakeTarget(QVA_MTYPE_MPEG2_PS, 0));
  ASSERT_EQ(driver.openStatus, QVA_SUCCESS);
  ASSERT_EQ(driver.Run(), QVA_SUCCESS);
  ComponentInstance* vtarget = TengineFromHandle(driver.engine)->videoInput.load();
  ASSERT_NE(vtarget, nullptr);

  TengineStatistics statistics{};
  ASSERT_EQ(QVATengine_GetStatistics(driver.engine, &statistics), QVA_SUCCESS);
  EXPECT_EQ(statistics.size, sizeof statistics);
  EXPECT_NE(statistics.time, 0u);
  EXPECT_EQ(statistics.progress.instance, vtarget);
  EXPECT_EQ(statistics.progress.classBits, QVA_PROGRESSINFO_VIDEO);
  EXPECT_EQ(QVATengine_GetStatistics(driver.engine, nullptr), QVA_ERR_BADARG);

  VideoMediaType format{};
  ASSERT_EQ(QVATengine_GetTargetVideoFormat(driver.engine, &format, sizeof format), QVA_SUCCESS);
  EXPECT_EQ(format.MType, QVA_MTYPE_VIDEO);
  EXPECT_EQ(format.width, kWidth);
  EXPECT_EQ(format.height, kHeight);
  EXPECT_EQ(QVATengine_GetTargetVideoFormat(driver.engine, &format, 8), QVA_ERR_BADARG);
  EXPECT_EQ(driver.Finish(), QVA_SUCCESS);
}

TEST_F(TengineSideRoads, ReadAndReleaseOutputReachPinOneOfTheOutputComponent) {
  QVAHandle bare = nullptr;
  ASSERT_EQ(QVATengine_Create(&bare), QVA_SUCCESS);
  PinBufferConfig settings{};
  ComponentBuffer buffer{};
  EXPECT_EQ(QVATengine_ReadOutput(bare, 0, &settings, nullptr), QVA_ERR_UNSUPPORTED);
  EXPECT_EQ(QVATengine_ReleaseOutput(bare, &buffer), QVA_ERR_UNSUPPORTED);
  EXPECT_EQ(QVATengine_ReleaseOutput(bare, nullptr), QVA_ERR_BADARG);
  ASSERT_EQ(QVATengine_Release(bare), QVA_SUCCESS);

  EngineDriver driver(config_, MakeTarget(QVA_MTYPE_MPEG2_PS, 0));
  ASSERT_EQ(driver.openStatus, QVA_SUCCESS);
  ComponentInstance* output = TengineFromHandle(driver.engine)->outputComponent;
  ASSERT_NE(output, nullptr);
  PinBufferConfig direct{};
  direct.pinIndex = 1;
  ASSERT_EQ(comp::GetParam(output, QVA_PARAM_BUFFERS, &direct, sizeof direct), QVA_SUCCESS);
  settings.bufferCount = 12345;
  ASSERT_EQ(QVATengine_ReadOutput(driver.engine, 0, &settings, nullptr), QVA_SUCCESS);
  EXPECT_EQ(settings.pinIndex, 1u);
  EXPECT_EQ(settings.bufferCount, direct.bufferCount);
  EXPECT_EQ(settings.bufferSize, direct.bufferSize);
  EXPECT_EQ(driver.Finish(), QVA_SUCCESS);
}

TEST_F(TengineSideRoads, DemuxSettingsGoOutOnlyForPassThroughTranscodes) {
  QVAHandle engine = nullptr;
  ASSERT_EQ(QVATengine_Create(&engine), QVA_SUCCESS);
  ComponentInstance* demux = CompCreateByName("qvacmux", 0, 0);
  ASSERT_NE(demux, nullptr);
  EXPECT_EQ(tengine_ApplyDemuxConfig(engine, demux), QVA_ERR_CONFIG);
  struct Row {
    const char* name;
    uint32_t transcodeFlags;
    size_t settingsSent;
  };
  const Row rows[] = {
      {.name = "plain export", .transcodeFlags = 0, .settingsSent = 0},
      {.name = "encoded video", .transcodeFlags = QVA_TFLAG_ENCODED_VIDEO, .settingsSent = 1},
      {.name = "an empty target accepted", .transcodeFlags = QVA_TFLAG_ACCEPT_EMPTY_TARGET, .settingsSent = 1},
  };
  char expected[48];
  std::snprintf(expected, sizeof expected, "SetParam 0x%X %zu", QVA_PARAM_DEMUX_SETTINGS, sizeof(DemuxSettings));
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    QVATengineConfig config = config_;
    config.transcodeFlags = row.transcodeFlags;
    ASSERT_EQ(QVATengine_SetConfig(engine, &config), QVA_SUCCESS);
    ClearDoubleLines();
    EXPECT_EQ(tengine_ApplyDemuxConfig(engine, demux), QVA_SUCCESS);
    const std::vector<std::string> lines = DoubleLinesOf("mux");
    EXPECT_EQ(static_cast<size_t>(std::count(lines.begin(), lines.end(), expected)), row.settingsSent);
  }
  EXPECT_EQ(CompUnload(demux), QVA_SUCCESS);
  EXPECT_EQ(QVATengine_Release(engine), QVA_SUCCESS);
}

TEST_F(TengineSideRoads, MultiVEncDestroyReleasesTheQueuesAndAnswersWrongStateFromNone) {
  QVAHandle engine = nullptr;
  ASSERT_EQ(QVATengine_Create(&engine), QVA_SUCCESS);  // registers MULTIVENC
  ComponentInstance* multivenc = CompCreateByName("MULTIVENC", 0, 0);
  ASSERT_NE(multivenc, nullptr);
  EXPECT_EQ(MultiVEnc_Destroy(multivenc), QVA_ERR_WRONGSTATE);
  ASSERT_EQ(CompBase_Init(multivenc), QVA_SUCCESS);
  ASSERT_NE(multivenc->inputPin[0].queue, nullptr);
  EXPECT_EQ(MultiVEnc_Destroy(multivenc), QVA_SUCCESS);
  EXPECT_EQ(multivenc->inputPin[0].queue, nullptr);
  EXPECT_EQ(CompUnload(multivenc), QVA_SUCCESS);
  EXPECT_EQ(QVATengine_Release(engine), QVA_SUCCESS);
}

}  // namespace
}  // namespace orx::test
