#include <gtest/gtest.h>

#include <string>
#include <string_view>

#include "framework/qva_component.h"
#include "platform/debug_output.h"

namespace {

TEST(QvaClock, TimeNeverGoesBackAndCountsTheSleptTime) {
  uint64_t last = QVAGetTime();
  for (int i = 0; i < 100000; ++i) {
    const uint64_t now = QVAGetTime();
    ASSERT_GE(now, last);
    last = now;
  }
  const uint64_t cyclesBefore = QVAGetCycles();
  const uint64_t before = QVAGetTime();
  QVASleep(1000);
  const uint64_t after = QVAGetTime();
  EXPECT_GE(after - before, 1000u);
  EXPECT_GT(QVAGetCycles(), cyclesBefore);
}

uint64_t FixedTime() { return 1000; }

TEST(QvaClock, TimeSourceCanBeReplacedForTests) {
  QVATimeSourceFn previous = QVASetTimeSource(FixedTime);
  EXPECT_EQ(QVAGetTime(), 1000u);
  EXPECT_EQ(QVASetTimeSource(previous), FixedTime);
  EXPECT_NE(QVAGetTime(), 1000u);
}

// Collects what the debug-output sink receives.
class DebugSink {
 public:
  DebugSink() { orx::platform::SetDebugCapture(&DebugSink::Collect, this); }
  ~DebugSink() { orx::platform::SetDebugCapture(nullptr, nullptr); }
  std::string text;

 private:
  static void Collect(void* self, std::string_view text) { static_cast<DebugSink*>(self)->text += text; }
};

TEST(QvaDebugOutput, LinesGoToTheVerbosityTargetsCutAt499Characters) {
  const std::string longText(700, 'q');
  const struct {
    uint32_t verbosity;
    const char* format;
    std::string argument;
    std::string console;
    std::string debugger;
  } cases[] = {
      {3, "%s", longText, longText.substr(0, 499), longText.substr(0, 499)},
      {3, "%s", "100% done %d", "100% done %d", "100% done %d"},
      {1, "line %d\n", "", "line 7\n", ""},
      {2, "line %d\n", "", "", "line 7\n"},
      {0, "line %d\n", "", "", ""},
  };
  EXPECT_EQ(QVAGetVerbosity(), 3u);  // the default
  for (const auto& c : cases) {
    QVASetVerbosity(c.verbosity);
    DebugSink sink;
    testing::internal::CaptureStdout();
    if (c.argument.empty()) QVADebugPrintf(c.format, 7);
    else QVADebugPrintf(c.format, c.argument.c_str());
    EXPECT_EQ(testing::internal::GetCapturedStdout(), c.console) << c.verbosity;
    EXPECT_EQ(sink.text, c.debugger) << c.verbosity;
  }
  QVASetVerbosity(3);

  DebugSink sink;
  testing::internal::CaptureStdout();
  QVAWriteText2("50%d%s\n", QVA_TEXT_CONSOLE | QVA_TEXT_DEBUGGER);
  QVADebugPrintf2("%s", "x");
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "50%d%s\nx");
  EXPECT_EQ(sink.text, "50%d%s\nx");
}

TEST(QvaDebugOutput, BreakpointDoesNothingAtVerbosityZero) {
  EXPECT_EQ(QVAGetDebugFlags(), 0u);
  EXPECT_EQ(QVASetDebugFlags(QVA_DEBUG_EXIT), QVA_DEBUG_EXIT);
  EXPECT_EQ(QVASetVerbosity(0), 0u);
  testing::internal::CaptureStdout();
  QVABreakpoint(0x42, "would end the process %d", 1);  // returns: nothing printed, no exit
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
  QVASetVerbosity(3);
  QVASetDebugFlags(0);
  testing::internal::CaptureStdout();
  QVABreakpoint(0x42, "reached %d\n", 2);
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "reached 2\n");
}

}  // namespace
