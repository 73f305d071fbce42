// The transcode configuration's defaults and the frame-rate derivation.
#include "media/media_codes.h"
#include "plugin/params/export_session_config.h"
#include "plugin/params/export_state.h"
#include "plugin/params/exporter_instance.h"
#include "tests/plugin/plugin_test_fixture.h"

namespace orx::plugin::test {
namespace {

using SessionConfig = PluginTest;

TEST_F(SessionConfig, FrameRateFromTicks) {
  struct Row {
    int64_t ticks;
    uint32_t num, den;
  };
  const int64_t t = 1200000000;
  const Row rows[] = {{t / 30000 * 1001, 30, 1001}, {t / 24000 * 1001, 24, 1001},
                      {t / 60000 * 1001, 60, 1001}, {t / 25, 25, 1},
                      {t / 24, 24, 1},              {t / 30, 30, 1}};
  for (const Row& row : rows) {
    ExporterInstance instance{};
    instance.frameTicks = row.ticks;
    FrameRateFromTicks(&instance, t);
    EXPECT_EQ(instance.frameRateNum, row.num) << row.ticks;
    EXPECT_EQ(instance.frameRateDen, row.den) << row.ticks;
  }
  ExporterInstance none{};
  FrameRateFromTicks(&none, t);  // no duration: nothing derived
  EXPECT_EQ(none.frameRateNum, 0u);
  EXPECT_EQ(none.frameRateDen, 0u);
}

TEST_F(SessionConfig, DefaultsByProcessorCountAndGpuFlags) {
  struct Row {
    int processors;
    bool gpuFlagsPresent;
    uint32_t gpuFlags;
    uint32_t gpuCount, mask, encoders, engineFlags;
  };
  const Row rows[] = {
      {1, false, 0, 0, 0x0, 1, 0x800},  {2, false, 0, 1, 0x1, 3, 0xA00},
      {3, false, 0, 2, 0x3, 5, 0xA00},  {4, false, 0, 4, 0xF, 7, 0xA00},
      {8, false, 0, 4, 0xF, 7, 0xA00},  {1, true, 0, 0, 0x0, 1, 0x800},
      {2, true, 0, 0, 0x0, 2, 0x800},   {3, true, 0, 0, 0x0, 3, 0x800},
      {4, true, 0, 0, 0x0, 4, 0x800},   {8, true, 0, 0, 0x0, 7, 0x800},
      {3, true, 0x5, 2, 0x5, 5, 0xA00}, {1, true, 0x5, 0, 0x5, 1, 0xA00},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(testing::Message() << row.processors << " processors, GPUFlags "
                                    << (row.gpuFlagsPresent ? std::to_string(row.gpuFlags) : "missing"));
    if (row.gpuFlagsPresent) SetDword("Software\\ORX\\AdobePluginCS4", "GPUFlags", row.gpuFlags);
    else RemoveValue("Software\\ORX\\AdobePluginCS4", "GPUFlags");
    PresentProcessors(row.processors);
    QVATengineConfig config;
    std::memset(&config, 0xCC, sizeof(config));
    EXPECT_EQ(EncSession_InitConfig(&config, 720, 480), 0);
    const VideoEncoderParams& vep = config.encoderParams;
    EXPECT_EQ(GlobalExportState().gpuCount, row.gpuCount);
    EXPECT_EQ(GlobalExportState().processorCount, static_cast<uint32_t>(row.processors));
    EXPECT_EQ(vep.gpuMask, row.mask);
    EXPECT_EQ(vep.encoderCount, row.encoders);
    EXPECT_EQ(vep.engineFlags, row.engineFlags);
    EXPECT_EQ(vep.size, 212u);
    EXPECT_EQ(vep.rateControl, 1u);
    EXPECT_EQ(vep.optionFlags, 0x101u);
    EXPECT_EQ(vep.gopLength, 15u);
    EXPECT_EQ(vep.anchorDistance, 3u);
    EXPECT_EQ(vep.displayAspectX, 16u);
    EXPECT_EQ(vep.displayAspectY, 9u);
  }
}

TEST_F(SessionConfig, MediaTypesAndRegistryValues) {
  SetDword("Software\\ORX\\AdobePluginCS4", "StatsHistory", 9);  // ignored without StatsLevel
  SetDword("Software\\ORX\\AdobePluginCS4", "SourceScaler", 1);
  QVATengineConfig config{};
  EncSession_InitConfig(&config, 1280, 720);
  EXPECT_EQ(config.statsLevel, 0u);
  EXPECT_EQ(config.statsHistory, 0u);
  EXPECT_EQ(GlobalExportState().scalingChoice, 1u);
  EXPECT_STREQ(config.logFilePath, "\\orxencoder.log");
  EXPECT_EQ(config.videoEnabled, 1u);
  EXPECT_EQ(config.audioEnabled, 1u);
  EXPECT_EQ(config.scalingMode, 1u);
  EXPECT_EQ(config.sourceVideo.size, 156u);
  EXPECT_EQ(config.sourceVideo.MType, QVA_MTYPE_VIDEO);
  EXPECT_EQ(config.sourceVideo.subtype, 0x80012u);
  EXPECT_EQ(config.sourceVideo.MFlags, 0x30000u);
  EXPECT_EQ(config.sourceVideo.secondWidth, 1280u);
  EXPECT_EQ(config.sourceVideo.secondHeight, 720u);
  EXPECT_EQ(config.sourceVideo.FrameRate, 29970u);
  EXPECT_EQ(config.targetVideo.subtype, 0x2u);
  EXPECT_EQ(config.targetVideo.BitrateAverage, 4000000u);
  EXPECT_EQ(config.targetVideo.secondPARh, 1u);
  EXPECT_EQ(config.sourceAudio.subtype, 0x400u);
  EXPECT_EQ(config.sourceAudio.SamplRate, 48000u);
  EXPECT_EQ(config.sourceAudio.Channels, 2u);
  EXPECT_EQ(config.targetAudio.subtype, 0x12u);
  EXPECT_EQ(config.targetAudio.Bitrate, 128000u);
  EXPECT_EQ(config.targetAudio.BitsPerSample, 16u);

  SetDword("Software\\ORX\\AdobePluginCS4", "StatsLevel", 2);
  EncSession_InitConfig(&config, 1280, 720);
  EXPECT_EQ(config.statsLevel, 2u);
  EXPECT_EQ(config.statsHistory, 9u);

  config.targetVideo.BitrateAverage = 1;
  config.encoderParams.displayAspectX = 4;
  EXPECT_EQ(EncSession_SetFrameSize(&config, 640, 360), 0);
  EXPECT_EQ(config.sourceVideo.width, 640u);
  EXPECT_EQ(config.targetVideo.secondHeight, 360u);
  EXPECT_EQ(config.targetVideo.BitrateAverage, 4000000u);
  EXPECT_EQ(config.encoderParams.displayAspectX, 16u);
}

}  // namespace
}  // namespace orx::plugin::test
