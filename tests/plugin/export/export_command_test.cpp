// orx-export export as a user runs it: its usage, the options it refuses, and the processor
// gate that decides whether there is an exporter to export with.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "platform/cpuid.h"
#include "tests/plugin/plugin_test_fixture.h"
#include "tests/support/ffmpeg.h"
#include "tests/support/process.h"
#include "tests/support/test_paths.h"

namespace orx::plugin::test {
namespace {

class ExportCommand : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = orx::test::MakeTempDir("export_command");
    std::ofstream(dir_ + "/cpuid") << GatePassingProcessorTableText();
    options_.setEnv["ORX_REGISTRY"] = dir_ + "/registry";
    options_.setEnv["ORX_CPUID_TABLE"] = dir_ + "/cpuid";
    options_.workingDir = dir_;
  }
  orx::test::ProcessResult Run(std::vector<std::string> args) {
    args.insert(args.begin(), orx::test::ProgramDir() + "/orx-export");
    return orx::test::RunProcess(args, options_);
  }
  std::string dir_;
  orx::test::ProcessOptions options_;
};

TEST_F(ExportCommand, UsageListsTheExportCommandAndItsOptions) {
  orx::test::ProcessResult r = Run({"--help"});
  EXPECT_EQ(r.exitCode, 0);
  for (const char* text : {"\n  export ", "--output", "--frames", "--tone", "--completion",
                           "--pixel-format", "--cancel-at", "--suspend-at", "--fail-write"}) {
    EXPECT_NE(r.out.find(text), std::string::npos) << text;
  }
}

TEST_F(ExportCommand, UnusableOptionsAreRefusedBeforeAnythingRuns) {
  struct Row {
    std::vector<std::string> args;
    const char* message;
  };
  const Row rows[] = {
      {{"export", "--pattern", "64x48@25"}, "export needs --output FILE"},
      {{"export", "--completion", "backwards", "--output", "x.m2v"}, "--completion takes"},
      {{"export", "--pixel-format", "rgb24", "--output", "x.m2v"}, "--pixel-format takes"},
      {{"export", "--render-threads", "1", "--output", "x.m2v"}, "--render-threads takes"},
      {{"export", "--frames", "0", "--output", "x.m2v"}, "--frames takes"},
      {{"export", "--input", "missing.y4m", "--output", "x.m2v"}, "missing.y4m"},
      {{"export", "--audio", "missing.wav", "--output", "x.m2v"}, "missing.wav"},
  };
  for (const Row& row : rows) {
    orx::test::ProcessResult r = Run(row.args);
    EXPECT_EQ(r.exitCode, 1) << row.message;
    EXPECT_NE(r.err.find(row.message), std::string::npos) << r.err;
  }
}

// An output that names the source video or audio (by another spelling or through a link) is
// refused before anything runs, and the source is left whole.
TEST_F(ExportCommand, AnOutputThatIsTheSourceIsRefused) {
  orx::test::RawVideo video;
  video.width = 64;
  video.height = 48;
  video.frames.assign(2, std::vector<uint8_t>(64 * 48 * 3 / 2, 0x80));
  ASSERT_TRUE(orx::test::WriteY4mFile(dir_ + "/clip.y4m", video, 25, 1));
  const uint8_t wav[] = {'R', 'I', 'F', 'F', 36, 0, 0, 0, 'W', 'A', 'V', 'E', 'f', 'm', 't', ' ',
                         16, 0, 0, 0, 1, 0, 2, 0, 0x80, 0xBB, 0, 0, 0, 0xEE, 2, 0,
                         4, 0, 16, 0, 'd', 'a', 't', 'a', 0, 0, 0, 0};
  std::ofstream(dir_ + "/tone.wav", std::ios::binary).write(reinterpret_cast<const char*>(wav), 44);
  ASSERT_EQ(::symlink("clip.y4m", (dir_ + "/link.m2v").c_str()), 0);
  const std::uintmax_t videoSize = std::filesystem::file_size(dir_ + "/clip.y4m");
  const struct {
    std::vector<std::string> args;
    const char* source;
  } rows[] = {
      {{"--input", "clip.y4m", "--output", "./clip.y4m"}, "is the source clip.y4m"},
      {{"--input", "clip.y4m", "--output", "link.m2v"}, "is the source clip.y4m"},
      {{"--pattern", "64x48@25", "--audio", "tone.wav", "--output", "tone.wav"},
       "is the source tone.wav"},
  };
  for (const auto& row : rows) {
    std::vector<std::string> args = {"export", "--no-progress"};
    args.insert(args.end(), row.args.begin(), row.args.end());
    orx::test::ProcessResult r = Run(args);
    EXPECT_EQ(r.exitCode, 1) << r.err;
    EXPECT_NE(r.err.find(row.source), std::string::npos) << r.err;
  }
  EXPECT_EQ(std::filesystem::file_size(dir_ + "/clip.y4m"), videoSize);
  EXPECT_EQ(std::filesystem::file_size(dir_ + "/tone.wav"), 44u);
}

// Without a presented processor the answer follows this machine's: the exporters register
// only when CPUID leaf 0x80000001 reports ECX bits 6 and 7.
TEST_F(ExportCommand, TheRealProcessorDecidesWhetherThereIsAnExporter) {
  options_.setEnv.erase("ORX_CPUID_TABLE");
  options_.unsetEnv.push_back("ORX_CPUID_TABLE");
  orx::test::ProcessResult r = Run({"export", "--pattern", "64x48@25", "--frames", "2", "--output",
                                    dir_ + "/x.m2v", "--no-progress"});
  bool capable = platform::HardwareCpuid(0x80000000).eax >= 0x80000001 &&
                 (platform::HardwareCpuid(0x80000001).ecx & 0xC0) == 0xC0;
  if (capable) {
    EXPECT_NE(r.exitCode, 3) << r.err;
  } else {
    EXPECT_EQ(r.exitCode, 3) << r.err;
    EXPECT_NE(r.err.find("Error loading Encoder: ORX Accelerated Encoders do"), std::string::npos)
        << r.err;
    EXPECT_NE(r.err.find("the plug-in registered no exporter"), std::string::npos) << r.err;
  }
}

}  // namespace
}  // namespace orx::plugin::test
