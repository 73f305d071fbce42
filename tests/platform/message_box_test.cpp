#include <gtest/gtest.h>

#include "platform/debug_output.h"
#include "platform/message_box.h"
#include "tests/support/host_log_capture.h"

namespace orx::platform {
namespace {

TEST(MessageBoxStandIn, AnswersTheDefaultButton) {
  struct Row {
    uint32_t flags;
    int answer;
  };
  const Row rows[] = {
      {kMbOk, kIdOk},
      {kMbOkCancel, kIdOk},
      {kMbOkCancel | kMbDefButton2, kIdCancel},
      {kMbYesNo, kIdYes},
      {kMbYesNo | kMbDefButton2, kIdNo},
      {kMbYesNoCancel | kMbDefButton3, kIdCancel},
      {kMbAbortRetryIgnore | kMbDefButton2, kIdRetry},
      {kMbRetryCancel, kIdRetry},
      {0x1040, kIdOk},  // OK with the information icon and the task-modal bit
  };
  for (const Row& row : rows) {
    EXPECT_EQ(DefaultMessageBoxAnswer(row.flags), row.answer) << std::hex << row.flags;
  }
}

TEST(MessageBoxStandIn, TextReachesTheHostLogAndTheCapture) {
  orx::test::HostLogCapture log;
  std::vector<MessageBoxRecord> seen;
  SetMessageBoxCapture(
      [](void* ctx, const MessageBoxRecord& r) {
        static_cast<std::vector<MessageBoxRecord>*>(ctx)->push_back(r);
      },
      &seen);
  EXPECT_EQ(MessageBox(nullptr, "Processor not supported", "ORX", 0x1040), kIdOk);
  SetMessageBoxCapture(nullptr, nullptr);
  ASSERT_EQ(seen.size(), 1u);
  EXPECT_EQ(seen[0].text, "Processor not supported");
  EXPECT_EQ(seen[0].caption, "ORX");
  EXPECT_EQ(seen[0].flags, 0x1040u);
  EXPECT_NE(log.Text().find("ORX: Processor not supported"), std::string::npos);
}

// The capture sees the text as written; the host's log shows each message on a line of its
// own, so a message without a line break does not run into the next one.
TEST(DebugOutputSink, ReachesTheCaptureUnchangedAndTheHostLogOneMessageALine) {
  orx::test::HostLogCapture log;
  std::string captured;
  SetDebugCapture([](void* ctx, std::string_view t) { static_cast<std::string*>(ctx)->append(t); },
                  &captured);
  DebugOutput("first line\n");
  DebugOutput("no break");
  DebugOutput("next");
  SetDebugCapture(nullptr, nullptr);
  EXPECT_EQ(captured, "first line\nno breaknext");
  EXPECT_EQ(log.Text(), "first line\nno break\nnext\n");
}

}  // namespace
}  // namespace orx::platform
