#include "venc/dsp/cpu_features.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <set>
#include <string>

#include "tests/support/cpuinfo_flags.h"

namespace orx::dsp {
namespace {

using platform::CpuidTableEntry;

class CpuFeatureWord : public ::testing::Test {
 protected:
  void TearDown() override { platform::SetCpuidTable({}); }
};

struct FeatureCase {
  const char* what;
  uint32_t leaf1Edx;
  uint32_t leaf1Ecx;
  uint32_t highestExtended;  // 0: the extended leaves are absent
  uint32_t extendedEdx;
  ProcessorInfo processors;
  uint32_t expected;
};

constexpr uint32_t kMmxBit = 1u << 23, kSseBit = 1u << 25, kSse2Bit = 1u << 26;
constexpr uint32_t kHttBit = 1u << 28, kSse3Bit = 1u;
constexpr uint32_t kVorpxBit = 1u << 31, kMmxExtBit = 1u << 22;

TEST_F(CpuFeatureWord, FromCpuidAnswers) {
  const uint32_t sse2Cpu = kMmxBit | kSseBit | kSse2Bit;
  const FeatureCase cases[] = {
      {"MMX, SSE, SSE2", sse2Cpu, 0, 0, 0, {1, 1}, 0x3D},
      {"two processors", sse2Cpu, 0, 0, 0, {2, 3}, 0x7D},
      {"two processors, one active", sse2Cpu, 0, 0, 0, {2, 2}, 0x3D},
      {"MMX and SSE without SSE2", kMmxBit | kSseBit, 0, 0, 0, {1, 1}, 0x1D},
      {"no MMX", kSseBit | kSse2Bit, kSse3Bit, 0, 0, {1, 1}, 0x10},
      {"SSE3 with the HTT bit", sse2Cpu | kHttBit, kSse3Bit, 0, 0, {1, 1}, 0xBD},
      {"SSE3 without the HTT bit", sse2Cpu, kSse3Bit, 0, 0, {1, 1}, 0x3D},
      {"MMX and 3-D extension", kMmxBit, 0, 0x80000001u, kVorpxBit, {1, 1}, 0x13},
      {"3-D and MMX extensions", kMmxBit, 0, 0x80000001u, kVorpxBit | kMmxExtBit, {1, 1}, 0x17},
      {"MMX extension without the 3-D bit", kMmxBit, 0, 0x80000001u, kMmxExtBit, {1, 1}, 0x11},
      {"extended leaf not above 0x80000000", kMmxBit, 0, 0x80000000u, kVorpxBit, {1, 1}, 0x11},
      {"extended bits without MMX", 0, 0, 0x80000001u, kVorpxBit | kMmxExtBit, {1, 1}, 0x10},
  };
  for (const FeatureCase& c : cases) {
    std::vector<CpuidTableEntry> table = {{1, 0, {0x600, 0, c.leaf1Ecx, c.leaf1Edx}}};
    if (c.highestExtended != 0) {
      table.push_back({0x80000000u, 0, {c.highestExtended, 0, 0, 0}});
      table.push_back({0x80000001u, 0, {0, 0, 0, c.extendedEdx}});
    }
    platform::SetCpuidTable(table);
    uint32_t word = AddProcessorBit(DetectCpuFeatures() | kCpuSse2, c.processors);
    EXPECT_EQ(word, c.expected) << c.what;
  }
}

TEST_F(CpuFeatureWord, RealProcessorAgreesWithProcCpuinfo) {
  std::set<std::string> flags = test::ProcCpuinfoFlags();
  ASSERT_FALSE(flags.empty()) << "/proc/cpuinfo has no flags line";
  long online = sysconf(_SC_NPROCESSORS_ONLN);
  uint32_t word = GetCpuFeatures();
  std::printf("feature word 0x%02X; flags:", word);
  for (const char* f : {"mmx", "sse", "sse2", "pni", "ht", "3dnow", "mmxext"}) {
    std::printf(" %s=%d", f, flags.count(f) ? 1 : 0);
  }
  std::printf("; online processors %ld\n", online);
  auto has = [&](const char* f) { return flags.count(f) != 0; };
  EXPECT_EQ((word & kCpuMmx) != 0, has("mmx"));
  if (has("mmx")) {
    EXPECT_EQ((word & kCpuSse) != 0, has("sse"));
    EXPECT_EQ((word & kCpuSse2Second) != 0, has("sse") && has("sse2"));
    EXPECT_EQ((word & kCpuSse3) != 0, has("sse") && has("sse2") && has("pni") && has("ht"));
    EXPECT_EQ((word & kCpuVorpx) != 0, has("3dnow"));
    EXPECT_EQ((word & kCpuIntegerSse) != 0, has("sse") || (has("3dnow") && has("mmxext")));
  }
  EXPECT_NE(word & kCpuSse2, 0u);
  EXPECT_EQ((word & kCpuMultiProcessor) != 0, online >= 2);
  // The word is computed once: a hook installed later changes nothing.
  platform::SetCpuidTable({{1, 0, {0, 0, 0, 0}}});
  EXPECT_EQ(GetCpuFeatures(), word);
}

ProcessorInfo SixteenProcessors() { return {16, 0xFFFF}; }

TEST_F(CpuFeatureWord, ProcessorQueryHookReplacesTheSystem) {
  ProcessorQueryFn previous = SetProcessorQueryHook(&SixteenProcessors);
  ProcessorInfo info = QueryProcessors();
  SetProcessorQueryHook(previous);
  EXPECT_EQ(info.count, 16);
  EXPECT_EQ(info.activeMask, 0xFFFFu);
  ProcessorInfo real = QueryProcessors();
  EXPECT_EQ(real.count, static_cast<int>(sysconf(_SC_NPROCESSORS_ONLN)));
}

}  // namespace
}  // namespace orx::dsp
