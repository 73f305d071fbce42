// The trace printer: mask filtering, the time prefix, trailing line ends and long messages.
#include <gtest/gtest.h>

#include <string>

#include "engine/text/engine_trace.h"
#include "framework/qva_clock.h"

namespace {

uint64_t g_fakeNow = 0;
uint64_t FakeClock() { return g_fakeNow; }

class EngineTrace : public ::testing::Test {
 protected:
  void TearDown() override {
    QVAengine_SetGlobalTraceMask(0);
    QVASetTimeSource(nullptr);
  }
  static std::string Printed(const EngineTraceSource* source, uint32_t level, const std::string& message) {
    testing::internal::CaptureStdout();
    QVAengine_Trace(source, level, "%s", message.c_str());
    return testing::internal::GetCapturedStdout();
  }
};

TEST_F(EngineTrace, MasksDecideWhetherALinePrints) {
  EXPECT_EQ(Printed(nullptr, 2, "silent\n"), "");  // global mask 0, as in every export
  QVAengine_SetGlobalTraceMask(ENGINEDEBUG_FLAG_ERROR);
  EXPECT_EQ(Printed(nullptr, 2, "still silent"), "");
  EXPECT_EQ(Printed(nullptr, 1, "error\r\n\r\n"), "error\n");
  const EngineTraceSource source{ENGINEDEBUG_FLAG_TRACE, 0};
  EXPECT_EQ(Printed(&source, 2, "by the record's mask"), "by the record's mask\n");
  QVAengine_SetGlobalTraceMask(0);
  EXPECT_EQ(Printed(&source, 1, "no"), "");
}

TEST_F(EngineTrace, ElapsedPrefixCountsFromTheRecordsCreation) {
  QVASetTimeSource(FakeClock);
  g_fakeNow = 51234;
  const EngineTraceSource source{ENGINEDEBUG_FLAG_TRACE | ENGINEDEBUG_FLAG_ELLAPSED, 50000};
  EXPECT_EQ(Printed(&source, 2, "QVAgraph_Create() enter\n"), "001234:QVAgraph_Create() enter\n");
  QVAengine_SetGlobalTraceMask(ENGINEDEBUG_FLAG_ERROR | ENGINEDEBUG_FLAG_ELLAPSED);
  EXPECT_EQ(Printed(nullptr, 1, "x"), "000000:x\n");  // no record: 0 ms
}

TEST_F(EngineTrace, LongMessagesAreCutToTheLine) {
  QVAengine_SetGlobalTraceMask(ENGINEDEBUG_FLAG_ERROR);
  const std::string printed = Printed(nullptr, 1, std::string(2000, 'a'));
  EXPECT_EQ(printed, std::string(kEngineTraceLineSize - 1, 'a') + "\n");
  QVAengine_SetGlobalTraceMask(ENGINEDEBUG_FLAG_ERROR | ENGINEDEBUG_FLAG_ELLAPSED);
  const std::string prefixed = Printed(nullptr, 1, std::string(2000, 'b'));
  EXPECT_EQ(prefixed.size(), kEngineTraceLineSize);
  EXPECT_EQ(prefixed.substr(0, 8), "000000:b");
}

}  // namespace
