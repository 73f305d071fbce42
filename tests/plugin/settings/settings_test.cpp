// Settings in the registry, the installation folder, the log file and the small routines of
// the settings code.
#include <filesystem>
#include <fstream>
#include <sstream>

#include "platform/host_sdk/utf16_text.h"
#include "platform/registry.h"
#include "plugin/startup/component_search_folder.h"
#include "plugin/settings/config_fixups.h"
#include "plugin/params/export_session_config.h"
#include "plugin/startup/gcx_probe.h"
#include "plugin/startup/install_folder.h"
#include "plugin/settings/legacy_record.h"
#include "plugin/settings/legacy_settings.h"
#include "plugin/settings/name_text.h"
#include "plugin/properties/plugin_log_file.h"
#include "plugin/settings/plugin_settings.h"
#include "tests/plugin/plugin_test_fixture.h"

namespace orx::plugin::test {
namespace {

using Settings = PluginTest;

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream ss;
  ss << in.rdbuf();
  return ss.str();
}

TEST_F(Settings, RegistryHelpers) {
  uint32_t v = 77;
  EXPECT_EQ(RegReadDword(RegRoot::kCurrentUser, kPluginKey, "Missing", &v), 0);
  EXPECT_EQ(v, 77u);
  EXPECT_EQ(RegWriteDword(RegRoot::kCurrentUser, kPluginKey, "StatsLevel", 2), 1);
  EXPECT_EQ(RegReadDword(RegRoot::kCurrentUser, kPluginKey, "StatsLevel", &v), 1);
  EXPECT_EQ(v, 2u);
  char text[8];
  EXPECT_EQ(RegWriteString(RegRoot::kCurrentUser, kPluginKey, "InstallPath", "/opt/orx"), 1);
  EXPECT_EQ(RegReadString(RegRoot::kCurrentUser, kPluginKey, "InstallPath", text, 8), 0);  // no room
  char room[16];
  EXPECT_EQ(RegReadString(RegRoot::kCurrentUser, kPluginKey, "InstallPath", room, 16), 1);
  EXPECT_STREQ(room, "/opt/orx");
  // A value of the other type counts as missing.
  EXPECT_EQ(RegReadDword(RegRoot::kCurrentUser, kPluginKey, "InstallPath", &v), 0);
  EXPECT_EQ(RegReadString(RegRoot::kCurrentUser, kPluginKey, "StatsLevel", room, 16), 0);
}

TEST_F(Settings, InstallFolder) {
  struct Row {
    const char* installPath;  // null: missing
    std::string folder;
  };
  const Row rows[] = {{"/apps/enc", "/apps/enc/"},
                      {"/apps/enc/", "/apps/enc/"},
                      {nullptr, PluginModuleFolder()}};
  for (const Row& row : rows) {
    if (row.installPath) SetString("Software\\ORX\\AdobePluginCS4", "InstallPath", row.installPath);
    else RemoveValue("Software\\ORX\\AdobePluginCS4", "InstallPath");
    SetComponentSearchFolder("");
    SetGcxRuntimeFolder("");
    SetupInstallPath();
    EXPECT_EQ(ComponentSearchFolder(), row.folder);
    EXPECT_EQ(std::string(GcxRuntimeFolder()), row.folder);
  }
  // The default is the folder of the library holding the plug-in's code: here the test program.
  std::string program = std::filesystem::canonical("/proc/self/exe").parent_path().string() + "/";
  EXPECT_EQ(std::filesystem::canonical(PluginModuleFolder()).string() + "/", program);
}

TEST_F(Settings, LegacySettings) {
  QVATengineConfig config{};
  EXPECT_EQ(ReadLegacySettings(&config), 0);
  SetDword("Software\\ORX\\AdobePluginCS3", "instances", 12);
  SetDword("Software\\ORX\\AdobePluginCS3", "scaling", 1);
  SetString("Software\\ORX\\AdobePluginCS3", "outfilename", "/tmp/log.txt");
  SetDword("Software\\ORX\\AdobePluginCS3", "subkeyspace", 2);
  EXPECT_EQ(ReadLegacySettings(&config), 1);
  EXPECT_EQ(config.encoderParams.encoderCount, 8u);
  EXPECT_EQ(config.scalingMode, 1u);
  EXPECT_STREQ(config.logFilePath, "/tmp/log.txt");
  EXPECT_EQ(config.encoderParams.anchorDistance, 2u);

  config.encoderParams.encoderCount = 5;
  config.scalingMode = 0;
  std::strcpy(config.logFilePath, "/var/other.log");
  WriteLegacySettings(&config);
  uint32_t v = 0;
  char text[64];
  EXPECT_EQ(RegReadDword(RegRoot::kCurrentUser, kLegacyKey, "instances", &v), 1);
  EXPECT_EQ(v, 5u);
  EXPECT_EQ(RegReadDword(RegRoot::kCurrentUser, kLegacyKey, "scalingmode", &v), 1);
  EXPECT_EQ(v, 0u);
  EXPECT_EQ(RegReadString(RegRoot::kCurrentUser, kLegacyKey, "outfilename", text, 64), 1);
  EXPECT_STREQ(text, "/var/other.log");
  WriteLegacySettings(nullptr);  // nothing to write
}

TEST_F(Settings, LogFileLines) {
  QVATengineConfig config{};
  std::string path = dir_ + "/plugin.log";
  std::strcpy(config.logFilePath, path.c_str());
  SetLogOwner(&config);
  EXPECT_EQ(LogFile_Write("before open\n"), 0);
  LogFile_Open(&config);
  ASSERT_NE(config.logFileHandle, nullptr);
  struct Row {
    std::string text;
    std::string written;
  };
  const Row rows[] = {{"x\n", "x\r\n"}, {"xy", "xy\r\n"}, {"x\r\n", "x\r\n"},
                      // A single character is written as it is.
                      {"y", "y"}, {"\n", "\n"},
                      // Over-long: cut to 510 bytes and ended with CR LF, never read past.
                      {std::string(600, 'z'), std::string(510, 'z') + "\r\n"},
                      {std::string(511, 'w'), std::string(510, 'w') + "\r\n"}};
  std::string expected;
  for (const Row& row : rows) {
    EXPECT_EQ(LogFile_Write("%s", row.text.c_str()), static_cast<int>(row.written.size()))
        << row.text.size();
    expected += row.written;
  }
  EXPECT_EQ(LogFile_Detach(&config), &config);
  EXPECT_EQ(config.logFileHandle, nullptr);
  EXPECT_EQ(LogFile_Write("after close"), 0);
  EXPECT_EQ(ReadFile(path), expected);
  // Reopening appends.
  LogFile_Open(&config);
  LogFile_Write("more");
  EXPECT_EQ(LogFile_Close(nullptr), 0);
  EXPECT_EQ(ReadFile(path), expected + "more\r\n");
  SetLogOwner(nullptr);
}

TEST_F(Settings, FindListEntryAndReplaceExtension) {
  EXPECT_EQ(FindListEntry("a|1|bc|2", "b"), 2);
  EXPECT_EQ(FindListEntry("a|1|bc|2", "z"), 3);
  EXPECT_EQ(FindListEntry("a|1|bc|2", "a"), 1);
  EXPECT_EQ(FindListEntry("", "a"), 1);

  char path[16] = "clip.m2v";
  EXPECT_EQ(ReplaceExtension(path, sizeof(path), "mpa"), 1);
  EXPECT_STREQ(path, "clip.mpa");
  char bare[16] = "clip";
  EXPECT_EQ(ReplaceExtension(bare, sizeof(bare), "tmp"), 1);
  EXPECT_STREQ(bare, "clip.tmp");
  char tight[9] = "clip.m2v";
  EXPECT_EQ(ReplaceExtension(tight, sizeof(tight), "long"), 0);  // would not fit
  EXPECT_STREQ(tight, "clip.m2v");
}

TEST_F(Settings, EstimateBitrateAndFixups) {
  QVATengineConfig config{};
  config.targetVideo.width = 720;
  config.targetVideo.height = 480;
  config.targetVideo.FrameRate = 29970;
  struct Row {
    uint32_t subtype;
    uint32_t bits;
  };
  for (Row row : {Row{0x2, 7776000}, Row{0x5, 3456000}, Row{0x43, 3456000}, Row{0x7, 2073600},
                  Row{0x80002, 10368000}}) {
    config.targetVideo.subtype = row.subtype;
    EXPECT_EQ(EstimateBitrate(&config), row.bits) << row.subtype;
  }
  config.targetVideo.FrameRate = 5000;  // within 100..6000: taken as it is
  config.targetVideo.subtype = 0x2;
  EXPECT_EQ(EstimateBitrate(&config), 5u * 720 * 480 / 1000 * 3000 / 4);

  config.scalingMode = 1;
  config.estimateBitrate = 1;
  config.sourceVideo.width = 1280;
  config.sourceVideo.height = static_cast<uint32_t>(-720);
  ApplyConfigFixups(&config);
  EXPECT_EQ(config.targetVideo.width, 1280u);
  EXPECT_EQ(config.targetVideo.secondWidth, 1280u);
  EXPECT_EQ(config.targetVideo.height, 720u);
  EXPECT_EQ(config.videoBitrate, EstimateBitrate(&config));
}

void* CountedNew(size_t size) { return std::calloc(1, size); }
void CountedDispose(void* p) { std::free(p); }

TEST_F(Settings, SettingsRecordConversions) {
  WideSettingsRecord wide{};
  std::memset(wide.head, 0x5A, sizeof(wide.head));
  std::memset(wide.tail, 0xA5, sizeof(wide.tail));
  std::u16string first = host_sdk::Utf8ToUtf16("first");
  std::u16string second = host_sdk::Utf8ToUtf16("second.log");
  wide.text = first.c_str();
  wide.secondText = second.c_str();
  NarrowSettingsRecord narrow{};
  ConvertRecordToNarrow(0, &wide, &narrow);
  EXPECT_STREQ(narrow.text, "second.log");
  EXPECT_EQ(std::memcmp(narrow.head, wide.head, sizeof(wide.head)), 0);
  EXPECT_EQ(std::memcmp(narrow.tail, wide.tail, sizeof(wide.tail)), 0);
  wide.secondText = nullptr;
  ConvertRecordToNarrow(0, &wide, &narrow);
  EXPECT_STREQ(narrow.text, "first");

  host_sdk::HostMemoryFunctions memory{&CountedNew, &CountedDispose};
  host_sdk::HostUtilityFunctions utilities{nullptr, &memory};
  host_sdk::StandardParameters host{1, nullptr, &utilities};
  WideSettingsRecord back{};
  ConvertRecordToWide(&host, &narrow, &back);
  ASSERT_NE(back.text, nullptr);
  EXPECT_EQ(host_sdk::Utf16ToUtf8(back.text), "first");
  EXPECT_EQ(back.secondText, nullptr);
  EXPECT_EQ(std::memcmp(back.tail, wide.tail, sizeof(wide.tail)), 0);
  CountedDispose(const_cast<char16_t*>(back.text));
}

}  // namespace
}  // namespace orx::plugin::test
