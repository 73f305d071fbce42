// A C++ exception thrown inside the handling of a selector comes back from xSDKExport as 7, the
// plug-in's answer when it cannot have what it needs, with one debugger line; the plug-in goes on
// answering the host as before.
#include "plugin/params/exporter_file_type.h"
#include "plugin/selector_fault.h"
#include "tests/plugin/plugin_test_fixture.h"

namespace orx::plugin::test {
namespace {

using EntryGuard = PluginTest;

constexpr char kGuardLine[] = "xSDKExport: stopped by an exception (selector fault armed by a test); answered 7";

TEST_F(EntryGuard, AnExceptionInsideBeginInstanceAnswersSevenAndMakesNoInstance) {
  ArmSelectorFaultForTest(host_sdk::kSelBeginInstance);
  host_sdk::InstanceRecord begin{exporterId_, kFileTypeMpg2, nullptr};
  EXPECT_EQ(Call(host_sdk::kSelBeginInstance, &begin), host_sdk::kResultOutOfMemory);
  EXPECT_EQ(begin.privateData, nullptr);
  EXPECT_NE(debugText_.find(kGuardLine), std::string::npos) << debugText_;
  Open(kFileTypeMpg2);
}

TEST_F(EntryGuard, AnExceptionInsideTheParameterSummaryAnswersSevenAndTheInstanceStaysUsable) {
  Open(kFileTypeMpg2);
  host_sdk::ParamSummaryRecord summary{};
  summary.exporterId = exporterId_;
  summary.privateData = instance_;
  summary.exportAudio = summary.exportVideo = 1;
  ArmSelectorFaultForTest(host_sdk::kSelGetParamSummary);
  EXPECT_EQ(Call(host_sdk::kSelGetParamSummary, &summary), host_sdk::kResultOutOfMemory);
  EXPECT_NE(debugText_.find(kGuardLine), std::string::npos) << debugText_;
  // The fault is taken once: the next call is answered as always.
  EXPECT_EQ(Call(host_sdk::kSelGetParamSummary, &summary), 0);
  EXPECT_NE(summary.videoSummary[0], u'\0');
}

TEST_F(EntryGuard, AnExceptionInsideTheExportAnswersSeven) {
  Open(kFileTypeMpg2);
  host_sdk::ExportRecord exportRecord{};
  exportRecord.exporterId = exporterId_;
  exportRecord.privateData = instance_;
  exportRecord.fileType = fileType_;
  ArmSelectorFaultForTest(host_sdk::kSelExport);
  EXPECT_EQ(Call(host_sdk::kSelExport, &exportRecord), host_sdk::kResultOutOfMemory);
  EXPECT_NE(debugText_.find(kGuardLine), std::string::npos) << debugText_;
}

TEST_F(EntryGuard, AnExceptionAtStartupAnswersSevenAndTheHostCanStartAgain) {
  ArmSelectorFaultForTest(host_sdk::kSelStartup);
  host_sdk::ExporterInfoRecord info{};
  EXPECT_EQ(Call(host_sdk::kSelStartup, &info), host_sdk::kResultOutOfMemory);
  EXPECT_NE(debugText_.find(kGuardLine), std::string::npos) << debugText_;
  EXPECT_EQ(Call(host_sdk::kSelStartup, &info), host_sdk::kResultExporterFollows);
}

}  // namespace
}  // namespace orx::plugin::test
