#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>

// The sanitizer configuration must really catch memory faults: a child that writes past a
// heap block has to die with AddressSanitizer's report.
#if defined(ORX_ASAN)
namespace {

// Read at run time and published, so the compiler can neither see nor drop the overflow.
volatile size_t g_overrun = 1;
char* volatile g_block = nullptr;

__attribute__((noinline)) void OverflowHeapBlock() {
  g_block = static_cast<char*>(std::malloc(16));
  std::memset(g_block, 0, 16 + g_overrun);
  std::free(g_block);
}

TEST(SanitizerDeathTest, HeapOverflowIsReported) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_DEATH(OverflowHeapBlock(), "AddressSanitizer: heap-buffer-overflow");
}

}  // namespace
#endif
