// The entry guard: what a body answers passes through; what it throws becomes the entry's failure
// answer and one debugger line that names the entry and the exception.
#include "platform/entry_guard.h"

#include <gtest/gtest.h>

#include <new>
#include <stdexcept>
#include <string>
#include <string_view>

#include "platform/debug_output.h"

namespace orx::platform {
namespace {

class EntryGuardLines : public ::testing::Test {
 protected:
  void SetUp() override {
    SetDebugCapture([](void* context, std::string_view text) { *static_cast<std::string*>(context) += text; },
                    &lines_);
  }
  void TearDown() override { SetDebugCapture(nullptr, nullptr); }

  std::string lines_;
};

enum class Thrown { kRuntimeError, kBadAlloc, kNotAStandardException };

[[noreturn]] void Throw(Thrown kind) {
  switch (kind) {
    case Thrown::kRuntimeError:
      throw std::runtime_error("the body gave up");
    case Thrown::kBadAlloc:
      throw std::bad_alloc();
    case Thrown::kNotAStandardException:
      throw 42;
  }
  throw 0;
}

TEST_F(EntryGuardLines, AThrownExceptionAnswersTheFailureWithOneLine) {
  struct Row {
    const char* name;
    Thrown thrown;
    const char* line;
  };
  const Row rows[] = {
      {.name = "standard exception",
       .thrown = Thrown::kRuntimeError,
       .line = "Entry: stopped by an exception (the body gave up); answered -7\n"},
      {.name = "allocation failure",
       .thrown = Thrown::kBadAlloc,
       .line = "Entry: stopped by an exception (std::bad_alloc); answered -7\n"},
      {.name = "anything else thrown",
       .thrown = Thrown::kNotAStandardException,
       .line = "Entry: stopped by an exception (not a standard exception); answered -7\n"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    lines_.clear();
    EXPECT_EQ(GuardEntry("Entry", -7, [&]() -> int { Throw(row.thrown); }), -7);
    EXPECT_EQ(lines_, row.line);
  }
}

TEST_F(EntryGuardLines, WhatTheBodyAnswersPassesThroughWithoutALine) {
  EXPECT_EQ(GuardEntry("Entry", 5u, [] { return 0u; }), 0u);
  EXPECT_EQ(GuardEntry("Entry", 5u, [] { return 28u; }), 28u);
  EXPECT_EQ(lines_, "");
}

TEST_F(EntryGuardLines, AnEntryWithoutAnAnswerDropsTheException) {
  bool ran = false;
  GuardEntryWithoutAnswer("Callback", [&] { ran = true; });
  EXPECT_TRUE(ran);
  EXPECT_EQ(lines_, "");
  GuardEntryWithoutAnswer("Callback", [] { Throw(Thrown::kRuntimeError); });
  EXPECT_EQ(lines_, "Callback: stopped by an exception (the body gave up); dropped\n");
}

}  // namespace
}  // namespace orx::platform
