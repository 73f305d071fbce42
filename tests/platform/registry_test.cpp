#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "platform/registry.h"
#include "tests/support/test_paths.h"

namespace orx::platform {
namespace {

constexpr const char* kKey = "HKCU\\Software\\ORX\\AdobePluginCS4";

class RegistryStore : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = orx::test::MakeTempDir("registry");
    path_ = dir_ + "/sub/registry";
    env_ = std::make_unique<orx::test::ScopedEnv>("ORX_REGISTRY", path_.c_str());
  }
  std::string FileText() const {
    std::ifstream f(path_);
    std::stringstream ss;
    ss << f.rdbuf();
    return ss.str();
  }
  void WriteFile(const std::string& text) const {
    std::filesystem::create_directories(dir_ + "/sub");
    std::ofstream f(path_);
    f << text;
  }

  std::string dir_;
  std::string path_;
  std::unique_ptr<orx::test::ScopedEnv> env_;
};

TEST_F(RegistryStore, MissingFileIsEmptyRegistry) {
  EXPECT_EQ(RegistryPath(), path_);
  uint32_t value = 7;
  std::string text = "keep";
  EXPECT_FALSE(RegistryReadDword(kKey, "GPUFlags", value));
  EXPECT_FALSE(RegistryReadString(kKey, "InstallPath", text));
  EXPECT_EQ(value, 7u);
  EXPECT_EQ(text, "keep");
}

TEST_F(RegistryStore, WritesInTheDocumentedFormatAndReadsBack) {
  ASSERT_TRUE(RegistryWriteDword(kKey, "GPUFlags", 42));
  ASSERT_TRUE(RegistryWriteString(kKey, "InstallPath", "/opt/orx/ with spaces "));
  EXPECT_EQ(FileText(),
            "HKCU\\Software\\ORX\\AdobePluginCS4\\GPUFlags = dword:0x0000002A\n"
            "HKCU\\Software\\ORX\\AdobePluginCS4\\InstallPath = string:/opt/orx/ with spaces \n");
  uint32_t value = 0;
  std::string text;
  EXPECT_TRUE(RegistryReadDword(kKey, "GPUFlags", value));
  EXPECT_EQ(value, 42u);
  EXPECT_TRUE(RegistryReadString(kKey, "InstallPath", text));
  EXPECT_EQ(text, "/opt/orx/ with spaces ");
  // Names and keys compare without case; the types do not mix.
  EXPECT_TRUE(RegistryReadDword("hkcu\\software\\orx\\adobeplugincs4", "gpuflags", value));
  EXPECT_FALSE(RegistryReadString(kKey, "GPUFlags", text));
}

TEST_F(RegistryStore, TwoValuesUnderOneKeyAndOverwrite) {
  ASSERT_TRUE(RegistryWriteDword(kKey, "ShowOnGUI", 0x100));
  ASSERT_TRUE(RegistryWriteDword(kKey, "StatsLevel", 2));
  ASSERT_TRUE(RegistryWriteDword(kKey, "ShowOnGUI", 0x40000));
  uint32_t a = 0, b = 0;
  EXPECT_TRUE(RegistryReadDword(kKey, "ShowOnGUI", a));
  EXPECT_TRUE(RegistryReadDword(kKey, "StatsLevel", b));
  EXPECT_EQ(a, 0x40000u);
  EXPECT_EQ(b, 2u);
  // The overwrite kept the value's place and wrote no second line.
  EXPECT_EQ(FileText(),
            "HKCU\\Software\\ORX\\AdobePluginCS4\\ShowOnGUI = dword:0x00040000\n"
            "HKCU\\Software\\ORX\\AdobePluginCS4\\StatsLevel = dword:0x00000002\n");
}

TEST_F(RegistryStore, RemovedValueIsGoneOthersStay) {
  ASSERT_TRUE(RegistryWriteDword(kKey, "A", 1));
  ASSERT_TRUE(RegistryWriteDword(kKey, "B", 2));
  ASSERT_TRUE(RegistryDeleteValue(kKey, "A"));
  uint32_t v = 0;
  EXPECT_FALSE(RegistryReadDword(kKey, "A", v));
  EXPECT_TRUE(RegistryReadDword(kKey, "B", v));
  EXPECT_EQ(v, 2u);
  EXPECT_TRUE(RegistryDeleteValue(kKey, "never-there"));
}

TEST_F(RegistryStore, MalformedAndForeignLinesAreKeptOnRewrite) {
  WriteFile(
      "# a comment a user wrote\n"
      "this line is not a value\n"
      "HKCU\\Software\\ORX\\AdobePluginCS4\\Broken = dword:zz\n"
      "HKLM\\Software\\TYV Technologies\\Vidarc\\LogFilePath = string:/tmp/vidarc.log\n");
  ASSERT_TRUE(RegistryWriteDword(kKey, "GPUFlags", 0));
  EXPECT_EQ(FileText(),
            "# a comment a user wrote\n"
            "this line is not a value\n"
            "HKCU\\Software\\ORX\\AdobePluginCS4\\Broken = dword:zz\n"
            "HKLM\\Software\\TYV Technologies\\Vidarc\\LogFilePath = string:/tmp/vidarc.log\n"
            "HKCU\\Software\\ORX\\AdobePluginCS4\\GPUFlags = dword:0x00000000\n");
  uint32_t v = 1;
  EXPECT_FALSE(RegistryReadDword(kKey, "Broken", v));
  std::string path;
  EXPECT_TRUE(RegistryReadString("HKLM\\Software\\TYV Technologies\\Vidarc", "LogFilePath", path));
  EXPECT_EQ(path, "/tmp/vidarc.log");
}

TEST_F(RegistryStore, RefusesWhatTheFormatCannotHold) {
  EXPECT_FALSE(RegistryWriteDword("Software\\ORX", "X", 1));  // not a full path
  EXPECT_FALSE(RegistryWriteDword(kKey, "", 1));
  EXPECT_FALSE(RegistryWriteString(kKey, "X", "two\nlines"));
}

}  // namespace
}  // namespace orx::platform
