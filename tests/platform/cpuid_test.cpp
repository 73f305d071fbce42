#include <gtest/gtest.h>

#include <fstream>
#include <string>

#include "platform/cpuid.h"

namespace orx::platform {
namespace {

// Restores the real processor after each case.
class CpuidLayer : public ::testing::Test {
 protected:
  void TearDown() override { SetCpuidTable({}); }
};

TEST_F(CpuidLayer, TablePresentsProcessorWithoutSse3) {
  // A processor with SSE2 (leaf 1 EDX bit 26) but not SSE3 (leaf 1 ECX bit 0).
  std::vector<CpuidTableEntry> table;
  ASSERT_TRUE(ParseCpuidTable(
      "# leaf subleaf eax ebx ecx edx\n"
      "0 0 1 756E6547 6C65746E 49656E69\n"
      "1 0 00000F29 0 00000000 0780FBFF\n",
      table));
  SetCpuidTable(table);
  EXPECT_EQ(CpuVendorString(), "GenuineIntel");
  CpuidRegs leaf1 = Cpuid(1);
  EXPECT_EQ(leaf1.ecx & 1u, 0u);
  EXPECT_NE(leaf1.edx & (1u << 26), 0u);
  // Leaves the table does not hold answer zeros.
  CpuidRegs ext = Cpuid(0x80000000);
  EXPECT_EQ(ext.eax, 0u);
}

CpuidRegs FixedHook(uint32_t leaf, uint32_t) {
  CpuidRegs r;
  r.eax = leaf + 1;
  return r;
}

TEST_F(CpuidLayer, HookReplacesTheProcessorAndRestores) {
  CpuidFn previous = SetCpuidHook(&FixedHook);
  EXPECT_EQ(previous, nullptr);
  EXPECT_EQ(Cpuid(0x80000001).eax, 0x80000002u);
  SetCpuidHook(nullptr);
  EXPECT_EQ(Cpuid(0).eax, HardwareCpuid(0).eax);
}

TEST_F(CpuidLayer, RealVendorMatchesProcCpuinfo) {
  std::ifstream info("/proc/cpuinfo");
  std::string line, vendor;
  while (std::getline(info, line)) {
    if (line.rfind("vendor_id", 0) == 0) {
      vendor = line.substr(line.find(':') + 2);
      break;
    }
  }
  ASSERT_FALSE(vendor.empty()) << "/proc/cpuinfo has no vendor_id";
  EXPECT_EQ(CpuVendorString(), vendor);
}

TEST_F(CpuidLayer, MalformedTablesAreRefused) {
  std::vector<CpuidTableEntry> table;
  EXPECT_FALSE(ParseCpuidTable("1 0 2 3\n", table));
  EXPECT_FALSE(ParseCpuidTable("1 0 2 3 4 zz\n", table));
  EXPECT_FALSE(ParseCpuidTable("1 0 2 3 4 5 6\n", table));
  EXPECT_TRUE(ParseCpuidTable("\n# only a comment\n", table));
  EXPECT_TRUE(table.empty());
}

}  // namespace
}  // namespace orx::platform
