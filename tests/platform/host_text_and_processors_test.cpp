#include <gtest/gtest.h>

#include <sched.h>

#include "platform/host_sdk/utf16_text.h"
#include "platform/processor_count.h"

namespace orx {
namespace {

TEST(HostSdkText, Utf16RoundTripAndBounds) {
  const std::string text = "Log \xC3\xA9t\xC3\xA9 \xF0\x9F\x8E\xAC.log";  // é and a clapper board
  std::u16string wide = host_sdk::Utf8ToUtf16(text);
  EXPECT_EQ(wide.size(), 14u);  // the clapper board takes a surrogate pair
  EXPECT_EQ(host_sdk::Utf16ToUtf8(wide.c_str()), text);
  // Cut at a character boundary within the byte limit, never inside a sequence.
  EXPECT_EQ(host_sdk::Utf16ToUtf8Bounded(wide.c_str(), 256, 6), "Log \xC3\xA9");
  EXPECT_EQ(host_sdk::Utf16ToUtf8Bounded(wide.c_str(), 256, 5), "Log ");
  EXPECT_EQ(host_sdk::Utf16ToUtf8Bounded(wide.c_str(), 256, 12), "Log \xC3\xA9t\xC3\xA9 ");
  // A copy keeps room for the terminator and never splits a surrogate pair.
  char16_t small[10];
  host_sdk::CopyToUtf16(small, 10, text);
  EXPECT_EQ(host_sdk::Utf16Length(small, 10), 8u);
  EXPECT_EQ(host_sdk::Utf16ToUtf8(small), "Log \xC3\xA9t\xC3\xA9 ");
  // Broken input becomes U+FFFD, never a read past the end.
  const char16_t lone[] = {u'a', 0xD800, u'b', 0};
  EXPECT_EQ(host_sdk::Utf16ToUtf8(lone), "a\xEF\xBF\xBD" "b");
  EXPECT_EQ(host_sdk::Utf8ToUtf16("\xE2\x82"), std::u16string(1, 0xFFFD) + u"\xFFFD");
}

int Seven() { return 7; }

TEST(ProcessorCount, AffinityMaskAndHook) {
  cpu_set_t set;
  CPU_ZERO(&set);
  ASSERT_EQ(sched_getaffinity(0, sizeof(set), &set), 0);
  int expected = 0;
  for (int i = 0; i < 32; ++i) expected += CPU_ISSET(i, &set) ? 1 : 0;
  EXPECT_EQ(platform::HardwareUsableProcessorCount(), expected);
  EXPECT_EQ(platform::SetProcessorCountHook(&Seven), nullptr);
  EXPECT_EQ(platform::UsableProcessorCount(), 7);
  platform::SetProcessorCountHook(nullptr);
  EXPECT_GE(platform::UsableProcessorCount(), 1);
}

}  // namespace
}  // namespace orx
