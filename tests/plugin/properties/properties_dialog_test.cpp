// The encoder properties dialog, run headless over the dialog stand-in.
#include <cstring>
#include <fstream>
#include <functional>
#include <iterator>

#include "platform/dialog.h"
#include "plugin/properties/encoder_properties_dialog.h"
#include "plugin/properties/plugin_log_file.h"
#include "plugin/settings/plugin_settings.h"
#include "tests/plugin/plugin_test_fixture.h"

namespace orx::plugin::test {
namespace {

class PropertiesDialog : public PluginTest {
 protected:
  void SetUp() override {
    PluginTest::SetUp();
    config_ = QVATengineConfig{};
    std::string log = dir_ + "/dialog.log";
    ASSERT_LT(log.size(), sizeof(config_.logFilePath)) << "the test folder's path is too long";
    std::memcpy(config_.logFilePath, log.c_str(), log.size() + 1);
    config_.encoderParams.engineFlags = VEP_ENGINE_MULTI_INSTANCE;
    config_.encoderParams.encoderCount = 3;
    config_.encoderParams.anchorDistance = 2;
    config_.targetVideo.BitrateAverage = 5000000;
    platform::SetDialogUser(
        [](void* ctx, platform::DialogWindow& window) {
          auto* self = static_cast<PropertiesDialog*>(ctx);
          self->filled_ = {window.GetText(kCtlVersion), window.GetText(kCtlExit),
                           window.GetText(kCtlInstances), window.GetText(kCtlSubkey)};
          if (self->user_) self->user_(window);
        },
        this);
  }
  void TearDown() override {
    platform::SetDialogUser(nullptr, nullptr);
    LogFile_Close(&config_);
    SetLogOwner(nullptr);
    PluginTest::TearDown();
  }
  QVATengineConfig config_;
  std::function<void(platform::DialogWindow&)> user_;
  std::vector<std::string> filled_;
};

TEST_F(PropertiesDialog, OkWithTheDefaultsFillsAndKeeps) {
  EXPECT_EQ(ShowEncoderProperties(nullptr, &config_), 1);
  EXPECT_EQ(filled_, (std::vector<std::string>{"V1.5", "Cancel", "3", "2"}));
  EXPECT_EQ(config_.encoderParams.encoderCount, 3u);
  EXPECT_EQ(config_.encoderParams.anchorDistance, 2u);
  EXPECT_EQ(config_.scalingMode, 0u);
  EXPECT_EQ(config_.videoBitrate, 5000000u);  // the target bit rate, copied when filled
  EXPECT_NE(config_.logFileHandle, nullptr);    // "Ok" opens the log
  EXPECT_EQ(LogOwner(), &config_);
}

TEST_F(PropertiesDialog, EncoderCountIsLimited) {
  struct Row {
    const char* typed;
    uint32_t stored;
  };
  for (Row row : {Row{"12", 8}, Row{"0", 1}, Row{"5", 5}}) {
    config_.encoderParams.engineFlags = 0;
    user_ = [&](platform::DialogWindow& w) { w.SetText(kCtlInstances, row.typed); };
    EXPECT_EQ(ShowEncoderProperties(nullptr, &config_), 1);
    EXPECT_EQ(config_.encoderParams.encoderCount, row.stored) << row.typed;
    EXPECT_EQ(config_.encoderParams.engineFlags & VEP_ENGINE_MULTI_INSTANCE, VEP_ENGINE_MULTI_INSTANCE);
  }
}

TEST_F(PropertiesDialog, OkClearsTheGpuRequestAndStoresTheOptions) {
  config_.encoderParams.engineFlags |= VEP_ENGINE_GPU;
  user_ = [](platform::DialogWindow& w) {
    EXPECT_FALSE(w.HasControl(kCtlGpu));
    w.Check(kCtlGpu, true);  // not in the template: does nothing
    EXPECT_FALSE(w.IsChecked(kCtlGpu));
    w.Check(kCtlOption1, true);
    w.Check(kCtlOption4, true);
    w.SetText(kCtlStatsLevel, "2");
    w.SetText(kCtlSubkey, "1");
  };
  EXPECT_EQ(ShowEncoderProperties(nullptr, &config_), 1);
  EXPECT_EQ(config_.encoderParams.engineFlags & VEP_ENGINE_GPU, 0u);
  EXPECT_EQ(config_.transcodeFlags, 1u);
  EXPECT_EQ(config_.optionWords[0], 0u);
  EXPECT_EQ(config_.optionWords[1], 0u);
  EXPECT_EQ(config_.optionWords[2], 1u);
  EXPECT_EQ(config_.statsLevel, 2u);
  EXPECT_EQ(config_.encoderParams.anchorDistance, 1u);
}

TEST_F(PropertiesDialog, SetAsDefaultWritesTheOlderKey) {
  user_ = [](platform::DialogWindow& w) {
    w.SetText(kCtlInstances, "6");
    w.Press(kCtlSetAsDefault);
    w.Press(kCtlExit);
  };
  EXPECT_EQ(ShowEncoderProperties(nullptr, &config_), -1);  // left with Cancel
  uint32_t v = 99;
  char text[300];
  EXPECT_EQ(RegReadDword(RegRoot::kCurrentUser, kLegacyKey, "instances", &v), 1);
  EXPECT_EQ(v, 6u);
  EXPECT_EQ(RegReadDword(RegRoot::kCurrentUser, kLegacyKey, "scalingmode", &v), 1);
  EXPECT_EQ(v, 0u);
  EXPECT_EQ(RegReadString(RegRoot::kCurrentUser, kLegacyKey, "outfilename", text, sizeof(text)), 1);
  EXPECT_EQ(std::string(text), dir_ + "/dialog.log");
  EXPECT_EQ(config_.logFileHandle, nullptr);  // only "Ok" opens the log
}

TEST_F(PropertiesDialog, CloseBoxResetAndBrowse) {
  user_ = [](platform::DialogWindow& w) { w.PostClose(); };
  EXPECT_EQ(ShowEncoderProperties(nullptr, &config_), 0);

  SetDword("Software\\ORX\\AdobePluginCS3", "subkeyspace", 1);
  user_ = [](platform::DialogWindow& w) {
    w.Press(kCtlReset);  // defaults for the configuration's source size, then the older key
    w.Press(kCtlBrowse);  // the save dialog accepts the name it starts with
    w.Press(kCtlMissing1007);
  };
  config_.sourceVideo.width = 720;
  config_.sourceVideo.height = 576;
  EXPECT_EQ(ShowEncoderProperties(nullptr, &config_), 2);  // never ended: as by Escape
  EXPECT_EQ(config_.encoderParams.gopLength, 15u);
  EXPECT_EQ(config_.encoderParams.anchorDistance, 1u);
  EXPECT_EQ(config_.sourceVideo.width, 720u);
  EXPECT_EQ(config_.sourceVideo.height, 576u);
  EXPECT_STREQ(config_.logFilePath, "\\orxencoder.log");
}

TEST_F(PropertiesDialog, StatusLinesReachTheDialogAndTheLog) {
  user_ = [this](platform::DialogWindow& w) {
    PropDlg_SetLine(1, "line %d", 2);
    EXPECT_EQ(w.GetText(kCtlStatus2), "line 2");
    PropDlg_SetLine2("%s", std::string(600, 'q').c_str());
    EXPECT_EQ(w.GetText(kCtlStatus2), std::string(500, 'q'));
    PropDlg_Status("encoding %s", "started");
    EXPECT_EQ(w.GetText(kCtlStatus1), "encoding started");
    filled_.push_back("user ran");
  };
  EXPECT_EQ(ShowEncoderProperties(nullptr, &config_), 1);
  EXPECT_EQ(filled_.back(), "user ran");
  // The dialog's log was not open while the user acted: nothing was written.
  PropDlg_Status("after %s", "Ok");  // the log opened by "Ok" takes it
  LogFile_Close(&config_);
  std::ifstream in(dir_ + "/dialog.log");
  std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  EXPECT_EQ(text, "after Ok\r\n");
}


// PropDlg_Init, which nothing in the plug-in calls, remembers the window it is given (the status
// lines reach it) and fills it; the template's hidden controls stay hidden and disabled, the
// filled ones enabled.
TEST_F(PropertiesDialog, InitRemembersTheWindowAndFillsIt) {
  platform::DialogWindow window(EncoderPropertiesTemplate());
  PropDlg_Init(&window, nullptr, &config_);
  EXPECT_EQ(window.GetText(kCtlVersion), "V1.5");
  EXPECT_EQ(window.GetText(kCtlExit), "Cancel");
  EXPECT_EQ(window.GetText(kCtlInstances), "3");
  EXPECT_EQ(window.GetText(kCtlAccelThreads), "0");
  PropDlg_Status("filled %d", 1);
  EXPECT_EQ(window.GetText(kCtlStatus1), "filled 1");
  for (int id : {kCtlReset, kCtlSetAsDefault, kCtlSubkey, kCtlInstances}) {
    EXPECT_TRUE(window.IsVisible(id)) << id;
    EXPECT_TRUE(window.IsEnabled(id)) << id;
  }
  for (int id : {kCtlMotionSearch, kCtlMatch, kCtlScale, kCtlClip, kCtlSlices, kCtlAccelThreads, kCtlJobSize}) {
    EXPECT_FALSE(window.IsVisible(id)) << id;
    EXPECT_FALSE(window.IsEnabled(id)) << id;
  }
  // A dialog run remembers its own window and forgets it at the end.
  EXPECT_EQ(ShowEncoderProperties(nullptr, &config_), 1);
}

}  // namespace
}  // namespace orx::plugin::test
