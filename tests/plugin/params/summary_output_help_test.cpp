// The summary lines, the output settings and the help buttons.
#include <cstring>
#include <filesystem>
#include <fstream>

#include "host/host_services.h"
#include "platform/host_sdk/utf16_text.h"
#include "platform/html_help.h"
#include "plugin/params/export_state.h"
#include "plugin/params/exporter_file_type.h"
#include "plugin/params/output_settings.h"
#include "plugin/params/param_summary.h"
#include "tests/plugin/plugin_test_fixture.h"

namespace orx::plugin::test {
namespace {

struct SummaryLines {
  std::string video, audio, bitrate;
};

class Readers : public PluginTest {
 protected:
  SummaryLines Summary(bool audio = true, bool video = true) {
    host_sdk::ParamSummaryRecord r{};
    r.exporterId = exporterId_;
    r.privateData = instance_;
    r.exportAudio = audio;
    r.exportVideo = video;
    EXPECT_EQ(Call(host_sdk::kSelGetParamSummary, &r), 0);
    return {host_sdk::Utf16ToUtf8(r.videoSummary), host_sdk::Utf16ToUtf8(r.audioSummary),
            host_sdk::Utf16ToUtf8(r.bitrateSummary)};
  }
  host_sdk::OutputSettingsRecord Output() {
    host_sdk::OutputSettingsRecord r{};
    r.exporterId = exporterId_;
    r.privateData = instance_;
    r.fileType = fileType_;
    EXPECT_EQ(Call(host_sdk::kSelQueryOutputSettings, &r), 0);
    return r;
  }
};

TEST_F(Readers, SummaryOfTheDefaults) {
  Open(kFileTypeMpg2);
  SummaryLines s = Summary();
  EXPECT_EQ(s.video,
            "ORX Accelerated MPEG-2, NTSC, 720x480, 29.97 [fps], 3836.2 [Kbps], Standard 4:3, "
            "Quality 4.0");
  EXPECT_EQ(s.audio, "MPA2, 128 [kbps] 48.000 kHz, Stereo");
  EXPECT_EQ(s.bitrate, "3836.2 Kbps");
  s = Summary(false, false);
  EXPECT_EQ(s.video, "No summary available");
  EXPECT_EQ(s.audio, "No summary available");
  EXPECT_EQ(s.bitrate, "3836.2 Kbps");
  Close();

  Open(kFileTypeMp2b);
  s = Summary();
  EXPECT_NE(s.video.find("3.8 [Mbps]"), std::string::npos) << s.video;
  EXPECT_EQ(s.bitrate, "3.8 Mbps");
  Close();

  host::SourceDescription hd;
  hd.width = 1280;
  hd.height = 720;
  hd.rateNum = 25;
  hd.rateDen = 1;
  Open(kFileTypeF4v, hd);
  EXPECT_EQ(Summary().video, "1280x720, 25.00 [fps]");
}

TEST_F(Readers, SummaryAudioLines) {
  Open(kFileTypeMpg2);
  Param("ADBEAudioCodec").value.intValue = 0;
  EXPECT_EQ(Summary().audio, "PCM, 16 bit, 48.000 kHz, Stereo");
  Param("ADBEAudioCodec").value.intValue = 4;
  Param("ORXAudioBitRate").value.floatValue = 192000;
  Param("ADBEAudioRatePerSecond").value.floatValue = 44100;
  Param("ADBEAudioNumChannels").value.intValue = 1;
  EXPECT_EQ(Summary().audio, "AAC, 192 [kbps] 44.100 kHz, Mono");
  Param("ADBEAudioCodec").value.intValue = 9;
  Param("ADBEAudioNumChannels").value.intValue = 6;
  EXPECT_EQ(Summary().audio, "Unknown, 192 [kbps] 44.100 kHz, Channels Unknown");
}

TEST_F(Readers, AspectNames) {
  struct Row {
    int32_t w, h, n, d;
    const char* name;
  };
  const Row rows[] = {{1920, 1080, 1, 1, "Unknown Aspect Ratio"},
                      {640, 480, 4, 3, "Square Pixels"},
                      {720, 480, 16, 9, "Widescreen 16:9"},
                      {720, 480, 221, 100, "Widescreen 2.21:1"},
                      {720, 480, 4, 3, "Standard 4:3"},
                      {0, 480, 4, 3, "Standard 4:3"},
                      {720, 480, 4, 0, "Unknown Aspect Ratio"}};
  for (const Row& r : rows) {
    EXPECT_STREQ(AspectName(r.w, r.h, r.n, r.d), r.name) << r.w << "x" << r.h << " " << r.n << ":" << r.d;
  }
}

TEST_F(Readers, OutputSettingsOfTheDefaults) {
  Open(kFileTypeMpg2);
  host_sdk::OutputSettingsRecord r = Output();
  EXPECT_EQ(r.width, 720);
  EXPECT_EQ(r.height, 480);
  EXPECT_EQ(r.ticksPerFrame, 40040000);
  EXPECT_EQ(r.pixelAspectNum, 266);
  EXPECT_EQ(r.pixelAspectDen, 300);
  EXPECT_EQ(r.fieldOrder, 1);
  EXPECT_EQ(r.videoBytesPerSecond, 479520);
  EXPECT_EQ(r.audioSampleRate, 48000.0);
  EXPECT_EQ(r.audioSampleType, 12);
  EXPECT_EQ(r.audioChannelType, 2);
  EXPECT_EQ(GlobalExportState().containerChoice, ContainerChoice::kMpeg2Program);
  EXPECT_EQ(GlobalExportState().config.containerChoice, 1u);
}

TEST_F(Readers, PixelAspectClassesAndFieldOrder) {
  struct Aspect {
    int32_t w, h, n, d, pn, pd;
  };
  const Aspect aspects[] = {{720, 480, 4, 3, 266, 300},  {720, 480, 16, 9, 355, 300},
                            {720, 576, 4, 3, 320, 300},  {720, 576, 16, 9, 426, 300},
                            {1440, 1080, 16, 9, 4, 3},   {1920, 1080, 16, 9, 1, 1},
                            {1280, 720, 16, 9, 1, 1},    {1000, 300, 1, 1, 90, 300}};
  for (const Aspect& a : aspects) {
    PixelAspect p = PixelAspectClass(a.w, a.h, a.n, a.d);
    EXPECT_EQ(p.num, a.pn) << a.w << "x" << a.h << " " << a.n << ":" << a.d;
    EXPECT_EQ(p.den, a.pd) << a.w << "x" << a.h << " " << a.n << ":" << a.d;
  }
  Open(kFileTypeMpg2);
  struct Rate {
    int64_t ticks;
    int32_t fieldOrder;
  };
  const int64_t t = host::kTicksPerSecond;
  for (const Rate& rate : {Rate{t / 24, 0}, Rate{t / 50, 0}, Rate{20020000, 0}, Rate{t / 25, 1},
                           Rate{40040000, 1}}) {
    Param("ADBEVideoFPS").value.timeValue = rate.ticks;
    EXPECT_EQ(Output().fieldOrder, rate.fieldOrder) << rate.ticks;
  }
  // No aspect on 1440x1080: 4:3 from the size, which is square pixels there.
  Param("ADBEVideoWidth").value.intValue = 1440;
  Param("ADBEVideoHeight").value.intValue = 1080;
  Param("ORXVideoAspect").value.ratioValue = {0, 0};
  host_sdk::OutputSettingsRecord r = Output();
  EXPECT_EQ(r.pixelAspectNum, 1);
  EXPECT_EQ(r.pixelAspectDen, 1);
}

TEST_F(Readers, ScalingReportsTheSequenceSize) {
  SetDword("Software\\ORX\\AdobePluginCS4", "SourceScaler", 1);
  host::SourceDescription hd;
  hd.width = 1920;
  hd.height = 1080;
  hd.parNum = 1;
  hd.parDen = 1;
  Open(kFileTypeMpg2, hd);
  Param("ADBEVideoWidth").value.intValue = 720;
  Param("ADBEVideoHeight").value.intValue = 480;
  host_sdk::OutputSettingsRecord r = Output();
  EXPECT_EQ(r.width, 1920);
  EXPECT_EQ(r.height, 1080);
  EXPECT_EQ(r.pixelAspectNum, 1);
  EXPECT_EQ(r.pixelAspectDen, 1);
}

struct HelpCall {
  uint32_t command;
  std::string file, anchor, keyword;
};

class HelpButtons : public Readers {
 protected:
  void SetUp() override {
    Readers::SetUp();
    platform::SetHtmlHelpCapture(
        [](void* ctx, const platform::HtmlHelpRecord& r) {
          static_cast<HelpButtons*>(ctx)->calls_.push_back({r.command, r.file, r.anchor, r.keyword});
        },
        this);
  }
  void TearDown() override {
    platform::SetHtmlHelpCapture(nullptr, nullptr);
    Readers::TearDown();
  }
  void Press(const char* button) {
    host_sdk::ParamButtonRecord r{};
    r.exporterId = exporterId_;
    r.privateData = instance_;
    std::strncpy(r.buttonIdentifier, button, sizeof(r.buttonIdentifier) - 1);
    EXPECT_EQ(Call(host_sdk::kSelParamButton, &r), 0);
  }
  std::vector<HelpCall> calls_;
};

TEST_F(HelpButtons, OpenTheTopicAndLookUpItsKeyword) {
  std::string folder = dir_ + "/install";
  std::filesystem::create_directories(folder);
  std::ofstream(folder + "/orx_cs4plugin.chm") << "help";
  SetString("Software\\ORX\\AdobePluginCS4", "InstallPath", folder);
  Open(kFileTypeMpg2);
  struct Row {
    const char* button;
    const char* anchor;
    const char* keyword;
  };
  const Row rows[] = {{"ORXVideoHelpButton", "Video_Export_Settings", "Video Export Settings"},
                      {"ORXAudioHelpButton", "Audio_Export_Settings", "Audio Export Settings"},
                      {"ORXMuxHelpButton", "Multiplexer_Export_settings", "Multiplexer Export Settings"}};
  for (const Row& row : rows) {
    calls_.clear();
    Press(row.button);
    ASSERT_EQ(calls_.size(), 2u) << row.button;
    EXPECT_EQ(calls_[0].command, platform::kHelpDisplayTopic);
    EXPECT_EQ(calls_[0].file, folder + "/orx_cs4plugin.chm");
    EXPECT_EQ(calls_[0].anchor, row.anchor);
    EXPECT_EQ(calls_[1].command, platform::kHelpKeywordLookup);
    EXPECT_EQ(calls_[1].keyword, row.keyword);
  }
  EXPECT_TRUE(boxes_.empty());
}

TEST_F(HelpButtons, MissingInstallPathOrHelpFileTellsTheUser) {
  Open(kFileTypeMpg2);
  Press("ORXVideoHelpButton");
  ASSERT_EQ(boxes_.size(), 1u);
  EXPECT_EQ(boxes_[0].text, "Help could not be found");
  EXPECT_EQ(boxes_[0].caption, "ORX Encoder");
  EXPECT_EQ(boxes_[0].flags, 0x30u);
  EXPECT_EQ(boxes_[0].owner, nullptr);
  EXPECT_TRUE(calls_.empty());

  SetString("Software\\ORX\\AdobePluginCS4", "InstallPath", dir_ + "/nothing-here/");
  Press("ORXVideoHelpButton");
  ASSERT_EQ(boxes_.size(), 2u);
  EXPECT_EQ(boxes_[1].text, "Help document was not found.");
  EXPECT_EQ(boxes_[1].caption, "ORX Accelerated Exporter");
  EXPECT_EQ(boxes_[1].flags, 0x10u);
  EXPECT_EQ(boxes_[1].owner, host::HostMainWindow());
  ASSERT_EQ(calls_.size(), 1u);  // no keyword lookup without a window
  EXPECT_EQ(calls_[0].file, dir_ + "/nothing-here/orx_cs4plugin.chm");
}

}  // namespace
}  // namespace orx::plugin::test
