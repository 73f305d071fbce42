#include "platform/processor_features.h"

#include <gtest/gtest.h>

#include <set>
#include <sstream>
#include <string>

#include "tests/support/cpuinfo_flags.h"

namespace orx::platform {
namespace {

class ProcessorFeatureReading : public ::testing::Test {
 protected:
  void TearDown() override { SetCpuidTable({}); }
};

// The record as the names of what it reports, so a failing row says which bit went wrong.
std::string Describe(const ProcessorFeatures& f) {
  std::ostringstream out;
  out << "basic " << f.highestBasicLeaf << " extended 0x" << std::hex << f.highestExtendedLeaf << ":";
  const std::pair<bool, const char*> bits[] = {
      {f.mmx, "mmx"},     {f.sse, "sse"},
      {f.sse2, "sse2"},   {f.hyperThreading, "ht"},
      {f.sse3, "sse3"},   {f.mmxExtensions, "mmxext"},
      {f.vorpx, "vorpx"}, {f.vorpxExtensions, "vorpxext"},
      {f.sse4a, "sse4a"}, {f.misalignedSse, "misalignsse"},
      {f.xop, "xop"}};
  for (const auto& [set, name] : bits) {
    if (set) out << " " << name;
  }
  return out.str();
}

struct PresentedProcessor {
  const char* what;
  const char* table;  // as ORX_CPUID_TABLE holds it
  const char* expected;
};

TEST_F(ProcessorFeatureReading, FromPresentedTables) {
  const PresentedProcessor rows[] = {
      {.what = "the processor the demo presents",
       .table = "0 0 0000000D 68747541 444D4163 69746E65\n"
                "1 0 00000F00 0 00000001 178BFBFF\n"
                "80000000 0 80000008 0 0 0\n"
                "80000001 0 0 0 000000C0 0\n",
       .expected = "basic 13 extended 0x80000008: mmx sse sse2 ht sse3 sse4a misalignsse"},
      {.what = "every bit the system reads",
       .table = "0 0 1 0 0 0\n"
                "1 0 0 0 00000001 16800000\n"
                "80000000 0 80000001 0 0 0\n"
                "80000001 0 0 0 000008C0 C0400000\n",
       .expected = "basic 1 extended 0x80000001: mmx sse sse2 ht sse3 mmxext vorpx vorpxext sse4a "
                   "misalignsse xop"},
      {.what = "no bit the system reads",
       .table = "0 0 1 0 0 0\n"
                "1 0 0 0 FFFFFFFE E97FFFFF\n"
                "80000000 0 80000001 0 0 0\n"
                "80000001 0 0 0 FFFFF73F 3FBFFFFF\n",
       .expected = "basic 1 extended 0x80000001:"},
      // Leaf 0x80000001 holds bits, but the processor says it has no such leaf.
      {.what = "extended leaf not reported",
       .table = "0 0 1 0 0 0\n"
                "1 0 0 0 0 00800000\n"
                "80000000 0 80000000 0 0 0\n"
                "80000001 0 0 0 000008C0 C0400000\n",
       .expected = "basic 1 extended 0x80000000: mmx"},
      // Leaf 1 is read whatever leaf 0 says; its readers decide whether to trust it.
      {.what = "leaf 0 reports no leaf 1",
       .table = "1 0 0 0 00000001 06800000\n",
       .expected = "basic 0 extended 0x0: mmx sse sse2 sse3"},
  };
  for (const PresentedProcessor& row : rows) {
    SCOPED_TRACE(row.what);
    std::vector<CpuidTableEntry> table;
    ASSERT_TRUE(ParseCpuidTable(row.table, table));
    SetCpuidTable(table);
    EXPECT_EQ(Describe(ReadProcessorFeatures()), row.expected);
  }
}

// The kernel's own reading of the processor names the same bits. It may hide an extension the
// processor reports (a virtual machine often does), never show one the processor lacks; the
// baseline bits it shows as they are.
TEST_F(ProcessorFeatureReading, RealProcessorAgreesWithProcCpuinfo) {
  const std::set<std::string> flags = test::ProcCpuinfoFlags();
  ASSERT_FALSE(flags.empty()) << "/proc/cpuinfo has no flags line";
  auto has = [&](const char* flag) { return flags.count(flag) != 0; };
  const ProcessorFeatures f = ReadProcessorFeatures();
  EXPECT_GE(f.highestBasicLeaf, 1u);
  EXPECT_EQ(f.mmx, has("mmx"));
  EXPECT_EQ(f.sse, has("sse"));
  EXPECT_EQ(f.sse2, has("sse2"));
  EXPECT_EQ(f.sse3, has("pni"));
  const std::pair<bool, const char*> extensions[] = {
      {f.hyperThreading, "ht"},  {f.mmxExtensions, "mmxext"},    {f.vorpx, "3dnow"},
      {f.vorpxExtensions, "3dnowext"}, {f.sse4a, "sse4a"}, {f.misalignedSse, "misalignsse"},
      {f.xop, "xop"}};
  for (const auto& [reported, flag] : extensions) {
    EXPECT_TRUE(reported || !has(flag)) << flag;
  }
}

}  // namespace
}  // namespace orx::platform
