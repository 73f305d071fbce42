// Startup: registration by "ShowOnGUI", the processor gate, the selector table.
#include <cpuid.h>

#include <cstring>
#include <fstream>

#include "platform/host_sdk/utf16_text.h"
#include "plugin/startup/capability_probe.h"
#include "plugin/params/exporter_file_type.h"
#include "plugin/startup/exporter_startup.h"
#include "tests/plugin/plugin_test_fixture.h"
#include "tests/support/process.h"

namespace orx::plugin::test {
namespace {

using host_sdk::ExporterInfoRecord;

struct Registered {
  int32_t answer;
  std::string fileType;  // "" when nothing was registered
};

std::string FourCc(uint32_t code) {
  std::string s;
  for (int shift = 24; shift >= 0; shift -= 8) s += static_cast<char>((code >> shift) & 0xFF);
  return s;
}

class Startup : public PluginTest {
 protected:
  // Calls startup until it stops answering 16, and once more.
  std::vector<Registered> RunStartup() {
    std::vector<Registered> seen;
    for (int i = 0; i < 8; ++i) {
      ExporterInfoRecord info{};
      int32_t answer = Call(host_sdk::kSelStartup, &info);
      seen.push_back({answer, info.fileType ? FourCc(info.fileType) : ""});
      if (answer != host_sdk::kResultExporterFollows) break;
    }
    ExporterInfoRecord again{};
    seen.push_back({Call(host_sdk::kSelStartup, &again), again.fileType ? FourCc(again.fileType) : ""});
    return seen;
  }
};

TEST_F(Startup, ShowOnGuiSelectsTheExporters) {
  struct Row {
    bool present;
    uint32_t showOnGui;
    std::vector<std::string> registered;
  };
  const Row rows[] = {
      {false, 0, {"MPG2", "MP2B"}},
      {true, 0x100, {"MPG2", "MP2B"}},  // high half empty: 0x20010 is added
      {true, 0x40000, {"H264", "264B"}},
      {true, 0x60000, {"MPG2", "MP2B", "H264", "264B"}},
      {true, 0x80000, {}},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.showOnGui);
    ResetStartupStateForTest();
    if (row.present) SetDword("Software\\ORX\\AdobePluginCS4", "ShowOnGUI", row.showOnGui);
    else RemoveValue("Software\\ORX\\AdobePluginCS4", "ShowOnGUI");
    std::vector<Registered> seen = RunStartup();
    ASSERT_EQ(seen.size(), row.registered.size() + 2);
    for (size_t i = 0; i < row.registered.size(); ++i) {
      EXPECT_EQ(seen[i].answer, 16);
      EXPECT_EQ(seen[i].fileType, row.registered[i]);
    }
    // The end of registration, and a repeated startup: 17 without an exporter.
    EXPECT_EQ(seen[row.registered.size()].answer, 17);
    EXPECT_EQ(seen[row.registered.size()].fileType, "");
    EXPECT_EQ(seen.back().answer, 17);
    EXPECT_EQ(seen.back().fileType, "");
  }
  EXPECT_TRUE(boxes_.empty());
}

TEST_F(Startup, RegistrationRecordHoldsNameExtensionAndFlags) {
  struct Expected {
    const char* name;
    const char* extension;
  };
  SetDword("Software\\ORX\\AdobePluginCS4", "ShowOnGUI", 0x60000);
  const Expected expected[] = {{"ORX Fast MPEG2", "mpg"},
                               {"ORX Fast MPEG2 Blu-ray", "mpg"},
                               {"ORX Fast H.264", "mp4"},
                               {"ORX Fast H.264 Blu-ray", "264"}};
  for (const Expected& e : expected) {
    ExporterInfoRecord info{};
    info.exportRequestIndex = 5;  // the host's values of these four are overwritten with 0
    info.hideInUi = 1;
    ASSERT_EQ(Call(host_sdk::kSelStartup, &info), 16);
    EXPECT_EQ(host_sdk::Utf16ToUtf8(info.fileTypeName), e.name);
    EXPECT_EQ(host_sdk::Utf16ToUtf8(info.defaultExtension), e.extension);
    EXPECT_EQ(info.classId, 0x4F525820u);
    EXPECT_EQ(info.exportRequestIndex, 0);
    EXPECT_EQ(info.wantsNoProgressBar, 0);
    EXPECT_EQ(info.hideInUi, 0);
    EXPECT_EQ(info.doesNotSupportAudioOnly, 0);
    EXPECT_EQ(info.canExportVideo, 1);
    EXPECT_EQ(info.canExportAudio, 1);
    EXPECT_EQ(info.interfaceVersion, 2);
  }
}

TEST_F(Startup, UnsupportedSelectorsAnswerMinus100) {
  for (int32_t selector : {1, 11, 12, 14, -1, 9999}) {
    ExporterInfoRecord untouched{};
    EXPECT_EQ(Call(selector, &untouched), -100) << selector;
    EXPECT_EQ(untouched.fileType, 0u);
  }
}

TEST_F(Startup, ProcessorGate) {
  const std::string kText =
      "ORX Accelerated Encoders do\nnot support this hardware profile.\n\n"
      "Removing it from the list of supported formats.";
  struct Row {
    const char* what;
    uint32_t highestExtendedLeaf;
    uint32_t leaf80000001Ecx;
    std::vector<int32_t> answers;  // startup answers, then a repeated startup
  };
  const Row rows[] = {
      {"bits 6 and 7", 0x80000008, 0xC0, {16, 16, 17, 17}},
      {"bit 6 only", 0x80000008, 0x40, {17, 17}},
      {"bit 7 only", 0x80000008, 0x80, {17, 17}},
      // The leaf's bits are there in the table, but the processor says it has no such leaf.
      {"no leaf 0x80000001", 0x80000000, 0xC0, {17, 17}},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    ResetStartupStateForTest();
    ResetCapabilityProbeForTest();
    boxes_.clear();
    debugText_.clear();
    std::vector<platform::CpuidTableEntry> table = GatePassingProcessor();
    for (auto& e : table) {
      if (e.leaf == 0x80000000) e.regs.eax = row.highestExtendedLeaf;
      if (e.leaf == 0x80000001) e.regs.ecx = row.leaf80000001Ecx;
    }
    platform::SetCpuidTable(table);
    std::vector<int32_t> answers;
    for (int32_t expected : row.answers) {
      (void)expected;
      ExporterInfoRecord info{};
      answers.push_back(Call(host_sdk::kSelStartup, &info));
      if (answers.back() == 17) {
        EXPECT_EQ(info.fileType, 0u);
      }
    }
    EXPECT_EQ(answers, row.answers);
    bool refused = row.answers.front() == 17;
    ASSERT_EQ(boxes_.size(), refused ? 1u : 0u);  // one box, also after the repeated startup
    if (refused) {
      EXPECT_EQ(boxes_[0].owner, nullptr);
      EXPECT_EQ(boxes_[0].text, kText);
      EXPECT_EQ(boxes_[0].caption, "Error loading Encoder");
      EXPECT_EQ(boxes_[0].flags, 0x1040u);
      EXPECT_EQ(debugText_, "ORXAdobePlugin: No supported hardware found\n");
    } else {
      EXPECT_EQ(debugText_, "");
    }
  }
}

TEST_F(Startup, RealProcessorFeatureWordMatchesAnIndependentProbe) {
  platform::SetCpuidTable({});
  unsigned a = 0, b = 0, c = 0, d = 0;
  uint32_t expected = 0;
  ASSERT_TRUE(__get_cpuid(1, &a, &b, &c, &d));
  if (d & (1u << 23)) expected |= 0x1;
  if (d & (1u << 25)) expected |= 0x100;
  if (d & (1u << 26)) expected |= 0x200;
  if (c & 1u) expected |= 0x400;
  if (__get_cpuid(0x80000001, &a, &b, &c, &d)) {
    if (d & (1u << 22)) expected |= 0x2;
    if (d & (1u << 31)) expected |= 0x10;
    if (d & (1u << 30)) expected |= 0x20;
    if (c & (1u << 6)) expected |= 0x2000;
    if (c & (1u << 7)) expected |= 0x4000;
    if (c & (1u << 11)) expected |= 0x10000;
  }
  CapabilityRecord record;
  EXPECT_EQ(ProbeCpu(&record, 0), 0);
  EXPECT_EQ(record.cpuFeatures, expected);
  EXPECT_EQ(record.valid & kProbedCpu, kProbedCpu);
  EXPECT_EQ(record.cpuCount, 4u);  // the presented processors
}

// Each record bit from its own leaf and bit, and leaf 1 only when leaf 0 reports it.
TEST_F(Startup, ProbeCpuFeatureBitsFromPresentedTables) {
  struct Row {
    const char* what;
    const char* table;
    uint32_t expected;
  };
  const Row rows[] = {
      {.what = "every bit the record holds",
       .table = "0 0 1 0 0 0\n1 0 0 0 00000001 06800000\n80000000 0 80000001 0 0 0\n"
                "80000001 0 0 0 000008C0 C0400000\n",
       .expected = 0x16733},
      {.what = "leaf 1 bits only",
       .table = "0 0 1 0 0 0\n1 0 0 0 00000001 06800000\n",
       .expected = 0x701},
      {.what = "leaf 0 reports no leaf 1",
       .table = "0 0 0 0 0 0\n1 0 0 0 00000001 06800000\n80000000 0 80000001 0 0 0\n"
                "80000001 0 0 0 000000C0 0\n",
       .expected = 0x6000},
      {.what = "the neighbouring bits",
       .table = "0 0 1 0 0 0\n1 0 0 0 FFFFFFFE E97FFFFF\n80000000 0 80000001 0 0 0\n"
                "80000001 0 0 0 FFFFF73F 3FBFFFFF\n",
       .expected = 0},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    std::vector<platform::CpuidTableEntry> table;
    ASSERT_TRUE(platform::ParseCpuidTable(row.table, table));
    platform::SetCpuidTable(table);
    ResetCapabilityProbeForTest();
    CapabilityRecord record;
    EXPECT_EQ(ProbeCpu(&record, 0), 0);
    EXPECT_EQ(record.cpuFeatures, row.expected) << std::hex << record.cpuFeatures;
  }
}

int g_cpuidCalls = 0;
platform::CpuidRegs CountingCpuid(uint32_t leaf, uint32_t subleaf) {
  ++g_cpuidCalls;
  return platform::HardwareCpuid(leaf, subleaf);
}

TEST_F(Startup, ProbeCpuRunsOnceUnlessReset) {
  platform::SetCpuidHook(&CountingCpuid);
  g_cpuidCalls = 0;
  CapabilityRecord first;
  ProbeCpu(&first, 0);
  int afterFirst = g_cpuidCalls;
  EXPECT_GT(afterFirst, 0);
  CapabilityRecord second;
  ProbeCpu(&second, 0);
  EXPECT_EQ(g_cpuidCalls, afterFirst);  // asked the CPU layer nothing
  EXPECT_EQ(std::memcmp(&first, &second, sizeof(first)), 0);
  ProbeCpu(&second, 1);
  EXPECT_GT(g_cpuidCalls, afterFirst);

  CapabilityRecord wrongSize;
  wrongSize.size = 56;
  wrongSize.cpuFeatures = 0x12345678;
  EXPECT_EQ(ProbeCpu(&wrongSize, 0), 0);
  EXPECT_EQ(wrongSize.size, 56u);
  EXPECT_EQ(wrongSize.cpuFeatures, 0x12345678u);
  EXPECT_EQ(wrongSize.valid, 0u);
}

// The built plug-in through the host: its registration sequences, and its refusal.
class HostList : public PluginTest {
 protected:
  orx::test::ProcessResult List(const std::string& cpuTable) {
    std::string tablePath = dir_ + "/cpuid";
    std::ofstream(tablePath) << cpuTable;
    orx::test::ProcessOptions options;
    options.setEnv["ORX_REGISTRY"] = dir_ + "/registry";
    options.setEnv["ORX_CPUID_TABLE"] = tablePath;
    options.unsetEnv.push_back("ORX_DEBUG");
    return orx::test::RunProcess({orx::test::ProgramDir() + "/orx-export", "list"}, options);
  }
};

TEST_F(HostList, ListsTheRegistrationSequence) {
  SetDword("Software\\ORX\\AdobePluginCS4", "ShowOnGUI", 0x60000);
  orx::test::ProcessResult r = List(GatePassingProcessorTableText());
  EXPECT_EQ(r.exitCode, 0) << r.err;
  EXPECT_EQ(r.out,
            "MPG2  \"ORX Fast MPEG2\"  extension mpg  (answer 16)\n"
            "MP2B  \"ORX Fast MPEG2 Blu-ray\"  extension mpg  (answer 16)\n"
            "H264  \"ORX Fast H.264\"  extension mp4  (answer 16)\n"
            "264B  \"ORX Fast H.264 Blu-ray\"  extension 264  (answer 16)\n"
            "registration done (answer 17)\n");
}

TEST_F(HostList, RefusedProcessorExitsWithStatus3) {
  std::string table = GatePassingProcessorTableText();
  table.replace(table.find("000000C0"), 8, "00000040");  // bit 6 only
  orx::test::ProcessResult r = List(table);
  EXPECT_EQ(r.exitCode, 3);
  EXPECT_EQ(r.out, "registration done (answer 17)\n");
  EXPECT_NE(r.err.find("[message box] Error loading Encoder: ORX Accelerated Encoders do\nnot "
                       "support this hardware profile."),
            std::string::npos)
      << r.err;
  EXPECT_NE(r.err.find("orx-export: the plug-in registered no exporter"), std::string::npos);
}

}  // namespace
}  // namespace orx::plugin::test
