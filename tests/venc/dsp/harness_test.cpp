// Runs every registered kernel check on every variant class the processor can execute.
#include "tests/venc/dsp/check/harness.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <regex>
#include <set>
#include <sstream>
#include <string>

#include "tests/support/test_paths.h"

namespace orx::dsp::check {
namespace {

struct HarnessCase {
  const KernelEntry* entry;
  Variant variant;
};

// Keeps the listed test names short and stable.
void PrintTo(const HarnessCase& c, std::ostream* out) { *out << c.variant.name; }

std::vector<HarnessCase> AllCases() {
  std::vector<HarnessCase> cases;
  for (const KernelEntry& entry : RegisteredKernels()) {
    for (const Variant& variant : RunnableVariants()) cases.push_back({&entry, variant});
  }
  return cases;
}

std::string CaseName(const ::testing::TestParamInfo<HarnessCase>& info) {
  const KernelEntry& e = *info.param.entry;
  char slot[8];
  std::snprintf(slot, sizeof slot, "%02d", e.slot);
  std::string name = std::string(FamilyName(e.family)) + "_" + slot + "_" + e.operation;
  if (*e.label) name += std::string("_") + e.label;
  return name + "_" + info.param.variant.name;
}

class KernelCheck : public ::testing::TestWithParam<HarnessCase> {};

TEST_P(KernelCheck, AgreesWithReference) {
  const HarnessCase& c = GetParam();
  std::string failure = RunEntry(*c.entry, c.variant, c.entry->trials, HarnessSeed());
  EXPECT_TRUE(failure.empty()) << failure << " [comparison: " << c.entry->comparison << "]";
}

GTEST_ALLOW_UNINSTANTIATED_PARAMETERIZED_TEST(KernelCheck);
INSTANTIATE_TEST_SUITE_P(Harness, KernelCheck, ::testing::ValuesIn(AllCases()), CaseName);

// The operations whose plain body is the stub that reports them not built, as the DSP sources
// write them: ReportNotBuilt("CMBCore", "OverlapSmoothVertEdge").
std::set<std::string> NotBuiltOperations(const std::string& className) {
  std::set<std::string> operations;
  const std::regex stub("ReportNotBuilt\\(\"" + className + "\", \"(\\w+)\"\\)");
  for (const auto& entry : std::filesystem::directory_iterator(orx::test::SourceDir() + "/venc/dsp")) {
    if (entry.path().extension() != ".cpp") continue;
    std::ifstream in(entry.path());
    std::stringstream text;
    text << in.rdbuf();
    const std::string source = text.str();
    for (std::sregex_iterator it(source.begin(), source.end(), stub), end; it != end; ++it) {
      operations.insert((*it)[1]);
    }
  }
  return operations;
}

// A slot without a check is one whose kernel is not built yet: a kernel lands with its check.
TEST(Harness, ListsSlotsWithoutChecks) {
  for (Family family : {Family::kMBCore, Family::kMotionEstimationCore, Family::kPreprocCore}) {
    SCOPED_TRACE(FamilyName(family));
    std::set<int> checked;
    for (const KernelEntry& e : RegisteredKernels()) {
      if (e.family == family) checked.insert(e.slot);
    }
    const std::set<std::string> notBuilt = NotBuiltOperations(FamilyName(family));
    const auto& names = SlotNames(family);
    std::string missing;
    for (size_t slot = 0; slot < names.size(); ++slot) {
      if (checked.count(static_cast<int>(slot))) continue;
      missing += " " + std::to_string(slot) + " " + names[slot] + ";";
      EXPECT_EQ(notBuilt.count(names[slot]), 1u) << "slot " << slot << " " << names[slot] << " is built but has no check";
    }
    std::printf("%s: %zu of %zu slots checked; not built yet:%s\n", FamilyName(family),
                checked.size(), names.size(), missing.empty() ? " none" : missing.c_str());
  }
}

TEST(Harness, GuardedBufferSeesWritesOutsideIt) {
  GuardedBuffer buffer(64, 16, 3);
  EXPECT_EQ(reinterpret_cast<uintptr_t>(buffer.data()) % 16, 3u);
  buffer.data()[0] = 1;
  buffer.data()[63] = 1;
  EXPECT_TRUE(buffer.CanariesIntact());
  buffer.data()[64] = 0;
  EXPECT_FALSE(buffer.CanariesIntact());
}

}  // namespace
}  // namespace orx::dsp::check
