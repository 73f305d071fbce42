// Exporter instances: suites acquired and released in balance, and the file extension query.
#include "host/basic_suite.h"
#include "platform/host_sdk/utf16_text.h"
#include "plugin/params/exporter_file_type.h"
#include "tests/plugin/plugin_test_fixture.h"

namespace orx::plugin::test {
namespace {

using Instances = PluginTest;

TEST_F(Instances, SuitesAndBlocksBalanceOverAnInstanceLifetime) {
  host::SuiteRegistry& registry = host::SuiteRegistry::Instance();
  int acquires = registry.acquires();
  int releases = registry.releases();
  Open(kFileTypeMpg2);
  EXPECT_EQ(registry.acquires() - acquires, 7);  // the seven suites of an instance
  host_sdk::ParamSummaryRecord summary{};
  summary.exporterId = exporterId_;
  summary.privateData = instance_;
  summary.exportAudio = summary.exportVideo = 1;
  Call(host_sdk::kSelGetParamSummary, &summary);
  host_sdk::OutputSettingsRecord output{};
  output.exporterId = exporterId_;
  output.privateData = instance_;
  output.fileType = fileType_;
  Call(host_sdk::kSelQueryOutputSettings, &output);
  Validate("ADBEVideoWidth", "1280");
  Close();
  EXPECT_EQ(registry.acquires() - acquires, registry.releases() - releases);
  for (const auto& [key, count] : registry.Outstanding()) {
    EXPECT_EQ(count, 0) << key.first << " version " << key.second;
  }
  EXPECT_EQ(registry.liveBlocks(), 0);
}

TEST_F(Instances, BeginKeepsAnExistingInstanceAndEndWithoutOneAnswersZero) {
  Open(kFileTypeMpg2);
  host_sdk::InstanceRecord again{exporterId_, fileType_, instance_};
  EXPECT_EQ(Call(host_sdk::kSelBeginInstance, &again), 0);
  EXPECT_EQ(again.privateData, instance_);
  host_sdk::InstanceRecord empty{exporterId_, fileType_, nullptr};
  EXPECT_EQ(Call(host_sdk::kSelEndInstance, &empty), 0);
  EXPECT_EQ(empty.privateData, nullptr);
}

TEST_F(Instances, FileExtensionByTypeAndContainer) {
  struct Row {
    uint32_t fileType;
    int32_t container;
    const char* extension;
  };
  const Row rows[] = {
      {kFileTypeMpg2, 0, "m2v"}, {kFileTypeMpg2, 1, "mpg"}, {kFileTypeMpg2, 7, "mpg"},
      {kFileTypeMp2b, 0, "mpg"}, {kFileTypeMp2b, 7, "mpg"}, {kFileTypeH264, 0, "264"},
      {kFileTypeH264, 2, "mp4"}, {kFileTypeH264, 3, "mov"}, {kFileTypeH264, 6, "mov"},
      {kFileType264b, 7, "264"}, {kFileTypeF4v, 6, "f4v"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.extension);
    Open(row.fileType);
    Param("ORXMultiplexerContainer").value.intValue = row.container;
    host_sdk::FileExtensionRecord record{};
    record.exporterId = exporterId_;
    record.privateData = instance_;
    record.fileType = row.fileType;
    EXPECT_EQ(Call(host_sdk::kSelQueryExportFileExtension, &record), 0);
    EXPECT_EQ(host_sdk::Utf16ToUtf8(record.extension), row.extension);
    Close();
  }
  Open(kFileTypeMpg2);
  host_sdk::FileExtensionRecord unknown{};
  unknown.exporterId = exporterId_;
  unknown.privateData = instance_;
  unknown.fileType = host_sdk::FourCc("AVI ");
  unknown.extension[0] = u'x';
  EXPECT_EQ(Call(host_sdk::kSelQueryExportFileExtension, &unknown), 99);
  EXPECT_EQ(unknown.extension[0], u'x');
  EXPECT_EQ(unknown.extension[1], 0);
}

}  // namespace
}  // namespace orx::plugin::test
