// Validation of a changed parameter: the reactions and the couplings they keep.
#include <cstring>

#include "plugin/params/export_state.h"
#include "plugin/params/exporter_file_type.h"
#include "plugin/params/exporter_instance.h"
#include "tests/plugin/plugin_test_fixture.h"

namespace orx::plugin::test {
namespace {

using Validation = PluginTest;

host::SourceDescription Source(int32_t w, int32_t h) {
  host::SourceDescription s;
  s.width = w;
  s.height = h;
  return s;
}

TEST_F(Validation, KeyframeSpacingRebuildsTheSubkeyList) {
  struct Row {
    int keyframes;
    std::vector<std::string> names;
    int32_t subkey;
  };
  const Row rows[] = {{12, {"None", "2", "3"}, 3}, {10, {"None", "2"}, 2}, {9, {"None", "3"}, 3},
                      {7, {"None"}, 1},           {3, {"None"}, 1},       {2, {"None"}, 1}};
  Open(kFileTypeMpg2);
  for (const Row& row : rows) {
    EXPECT_EQ(Validate("ORXKeyframeSpacing", std::to_string(row.keyframes)), 0);
    EXPECT_EQ(ListNames("ORXSubKeySpacing"), row.names) << row.keyframes;
    EXPECT_EQ(Param("ORXSubKeySpacing").value.intValue, row.subkey) << row.keyframes;
    EXPECT_EQ(InstanceOf(instance_)->keyframeSpacing, static_cast<uint32_t>(row.keyframes));
  }
}

TEST_F(Validation, ClampsAreWrittenBackOnlyWhenApplied) {
  struct Row {
    uint32_t fileType;
    const char* id;
    const char* typed;
    double stored;
  };
  const Row rows[] = {
      {kFileTypeMpg2, "ADBEVideoWidth", "100", 320},    {kFileTypeMpg2, "ADBEVideoWidth", "4000", 1920},
      {kFileTypeMpg2, "ADBEVideoWidth", "1000", 1000},  {kFileTypeMpg2, "ADBEVideoHeight", "100", 240},
      {kFileTypeMpg2, "ADBEVideoHeight", "2000", 1080}, {kFileTypeMpg2, "ORXAverageBitrate", "100", 250},
      {kFileTypeMpg2, "ORXAverageBitrate", "90000", 50000},
      {kFileTypeMpg2, "ORXAverageBitrate", "6000", 6000},
      {kFileTypeMp2b, "ORXAverageBitrate", "60", 50}, {kFileTypeMp2b, "ORXAverageBitrate", "0.1", 0.25},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(std::string(row.id) + "=" + row.typed);
    Open(row.fileType);
    EXPECT_EQ(Validate(row.id, row.typed), 0);
    const host::StoredParam& p = Param(row.id);
    double stored = p.type == host_sdk::kParamFloat ? p.value.floatValue : p.value.intValue;
    EXPECT_EQ(stored, row.stored);
    Close();
  }
}

TEST_F(Validation, SizeAndRateChangesResetTheBitrate) {
  Open(kFileTypeMpg2, Source(1920, 1080));
  Validate("ORXAverageBitrate", "9000");
  Param("ADBEVideoWidth").value.intValue = 720;
  Validate("ADBEVideoHeight", "480");
  EXPECT_NEAR(Param("ORXAverageBitrate").value.floatValue, 3836.16, 0.005);
  Validate("ORXAverageBitrate", "9000");
  Validate("ADBEVideoFPS", "48000000");  // 25 frames per second
  EXPECT_NEAR(Param("ORXAverageBitrate").value.floatValue, 720.0 * 480 * 25 / 2700, 1e-6);
  EXPECT_EQ(InstanceOf(instance_)->frameRateNum, 25u);
  EXPECT_EQ(InstanceOf(instance_)->frameRateDen, 1u);
  // The aspect names follow the size.
  EXPECT_EQ(ListNames("ORXVideoAspect")[1], "Standard 4:3 (0.909)");
}

TEST_F(Validation, TvStandardSwitchesTheDimension) {
  Open(kFileTypeMp2b);
  EXPECT_EQ(Param("ORXVideoDimension").value.intValue, (720 << 16) | 480);
  Validate("ORXTVStandard", "1");
  EXPECT_EQ(Param("ORXVideoDimension").value.intValue, (720 << 16) | 576);
  EXPECT_EQ(Param("ADBEVideoWidth").value.intValue, 720);
  EXPECT_EQ(Param("ADBEVideoHeight").value.intValue, 576);
  EXPECT_EQ(ListNames("ORXVideoDimension"),
            (std::vector<std::string>{"720x576", "1280x720", "1440x1080", "1920x1080"}));
  // Megabits for the Blu-ray type, at the frame rate still set (29.97).
  EXPECT_NEAR(Param("ORXAverageBitrate").value.floatValue, 720.0 * 576 * (30000.0 / 1001) / 2700 / 1000,
              1e-9);
  EXPECT_EQ(ListNames("ADBEVideoFPS"), (std::vector<std::string>{"25"}));
  Validate("ORXVideoDimension", std::to_string((1920 << 16) | 1080));
  EXPECT_EQ(Param("ADBEVideoWidth").value.intValue, 1920);
  EXPECT_EQ(Param("ADBEVideoHeight").value.intValue, 1080);
  Validate("ORXTVStandard", "0");
  EXPECT_EQ(Param("ORXVideoDimension").value.intValue, (1920 << 16) | 1080);
  EXPECT_EQ(Param("ADBEVideoWidth").value.intValue, 1920);
  EXPECT_EQ(ListNames("ADBEVideoFPS"), (std::vector<std::string>{"23.976", "24", "29.97"}));
}

TEST_F(Validation, PalSizeGivesItsAspectNames) {
  Open(kFileTypeMpg2);
  Validate("ORXTVStandard", "1");
  EXPECT_EQ(Param("ADBEVideoHeight").value.intValue, 576);
  EXPECT_EQ(ListNames("ORXVideoAspect"),
            (std::vector<std::string>{"Square Pixels (1.000)", "Standard 4:3 (1.091)",
                                      "Widescreen 16:9 (1.455)", "Widescreen 2.21:1 (1.768)"}));
  EXPECT_EQ(Param("ORXVideoDimension").hidden, 1);  // built, still hidden for this type
}

TEST_F(Validation, BluRayFrameRatesFollowStandardAndSize) {
  Open(kFileTypeMp2b, Source(1280, 720));
  EXPECT_EQ(Param("ORXVideoDimension").value.intValue, (1280 << 16) | 720);
  EXPECT_EQ(ListNames("ADBEVideoFPS"), (std::vector<std::string>{"23.976", "24", "59.94"}));
  Validate("ORXTVStandard", "1");
  EXPECT_EQ(ListNames("ADBEVideoFPS"), (std::vector<std::string>{"50"}));
  Close();
  Open(kFileType264b, Source(720, 480));
  EXPECT_EQ(ListNames("ADBEVideoFPS"), (std::vector<std::string>{"29.97"}));
}

TEST_F(Validation, AudioCodecListsFollowTheContainer) {
  SetDword("Software\\ORX\\AdobePluginCS4", "ShowOnGUI", 0x1020010);
  Open(kFileTypeMp2b);
  EXPECT_EQ(ListInts("ADBEAudioCodec"), (std::vector<int32_t>{1}));  // container 7
  Validate("ORXMultiplexerContainer", "0");
  EXPECT_EQ(ListInts("ADBEAudioCodec"), (std::vector<int32_t>{1, 2}));
  Validate("ORXMultiplexerContainer", "1");
  EXPECT_EQ(ListInts("ADBEAudioCodec"), (std::vector<int32_t>{0, 1}));
  Close();

  RemoveValue("Software\\ORX\\AdobePluginCS4", "ShowOnGUI");
  Open(kFileTypeMpg2);
  Validate("ORXMultiplexerContainer", "0");
  Validate("ADBEAudioCodec", "2");
  Validate("ORXMultiplexerContainer", "1");
  EXPECT_EQ(Param("ADBEAudioCodec").value.intValue, 1);  // Layer 3 moves to Layer 2
  Close();

  // A PCM choice stays when the container leaves the program stream.
  SetDword("Software\\ORX\\AdobePluginCS4", "ShowOnGUI", 0x1020010);
  Open(kFileTypeMpg2);
  Validate("ADBEAudioCodec", "0");
  Validate("ORXMultiplexerContainer", "0");
  EXPECT_EQ(Param("ADBEAudioCodec").value.intValue, 0);
}

TEST_F(Validation, PcmHidesTheAudioBitRate) {
  Open(kFileTypeMp2b);
  EXPECT_EQ(Param("ORXAudioBitRate").hidden, 0);  // shown for Blu-ray too once post-processed
  Validate("ADBEAudioCodec", "0");
  EXPECT_EQ(Param("ORXAudioBitRate").hidden, 1);
  Validate("ADBEAudioCodec", "1");
  EXPECT_EQ(Param("ORXAudioBitRate").hidden, 0);
  Close();
  Open(kFileTypeMpg2);
  Validate("ADBEAudioCodec", "0");
  EXPECT_EQ(ListNames("ADBEAudioRatePerSecond"), (std::vector<std::string>{"44.1 kHz", "48 kHz"}));
}

TEST_F(Validation, CountsGoToTheProcessWideConfiguration) {
  SetDword("Software\\ORX\\AdobePluginCS4", "ShowOnGUI", 0x707);
  Open(kFileTypeMpg2);
  Validate("ORXNumEncoders", "5");
  Validate("ORXNumGPUs", "2");
  EXPECT_EQ(GlobalExportState().config.encoderParams.encoderCount, 5u);
  EXPECT_EQ(GlobalExportState().gpuCount, 2u);
  Close();
  Open(kFileTypeMpg2);  // the next instance shows the last choice
  EXPECT_EQ(Param("ORXNumEncoders").value.intValue, 5);
  EXPECT_EQ(Param("ORXNumGPUs").value.intValue, 2);
}

TEST_F(Validation, InstanceCopiesAndMissingServices) {
  Open(kFileTypeMpg2);
  Validate("ORXQuality", "4.6");
  EXPECT_EQ(InstanceOf(instance_)->qualityIndex, 4);
  Validate("ORXAudioBitRate", "192000");
  EXPECT_EQ(InstanceOf(instance_)->audioBitRate, 192000u);
  host_sdk::ValidateParamRecord record{};
  record.exporterId = exporterId_;
  record.privateData = instance_;
  record.fileType = fileType_;
  std::strcpy(record.changedIdentifier, "SomethingElse");
  EXPECT_EQ(Call(host_sdk::kSelValidateParamChanged, &record), 0);  // no reaction
  record = {};
  record.exporterId = exporterId_;
  record.fileType = fileType_;
  EXPECT_EQ(Call(host_sdk::kSelValidateParamChanged, &record), 7);  // no instance
}

}  // namespace
}  // namespace orx::plugin::test
