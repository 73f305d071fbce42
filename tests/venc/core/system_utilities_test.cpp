// The encoder library's process-wide services: the usable processors, instance numbers under
// the set-up lock, and the profiling timers with their trace file and frame limit.
#include <gtest/gtest.h>
#include <sched.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "tests/support/process.h"
#include "tests/support/test_paths.h"
#include "tests/venc/core/stdout_capture.h"
#include "venc/core/encoder_lock.h"
#include "venc/common/profiling.h"
#include "venc/core/usable_processors.h"
#include "venc/common/dataflow_hooks.h"

namespace orx::venc {
namespace {

using test::CountOf;
using test::StdoutCapture;

uint64_t TwoProcessors() { return 0x5; }
uint64_t NoProcessor() { return 0; }
uint64_t FortyProcessors() { return (uint64_t{1} << 40) - 1; }
uint64_t HighProcessorsOnly() { return uint64_t{0x3} << 32; }

TEST(UsableProcessors, CountsTheFirst32OfTheAffinityMask) {
  struct Case {
    const char* what;
    AffinityQueryFn hook;
    int count;
    uint32_t mask;
  };
  const Case cases[] = {
      {"two processors", &TwoProcessors, 2, 0x5},
      {"an empty mask", &NoProcessor, 1, 0},
      {"forty processors", &FortyProcessors, 32, 0xFFFFFFFFu},
      {"processors above 31 only", &HighProcessorsOnly, 1, 0},
  };
  for (const Case& c : cases) {
    AffinityQueryFn previous = SetAffinityQueryHook(c.hook);
    uint32_t mask = 0xDEADBEEF;
    EXPECT_EQ(GetUsableCpuMask(&mask), c.count) << c.what;
    EXPECT_EQ(mask, c.mask) << c.what;
    EXPECT_EQ(GetUsableCpuMask(nullptr), c.count) << c.what;
    SetAffinityQueryHook(previous);
  }
}

std::vector<int> AllowedProcessors() {
  cpu_set_t set;
  CPU_ZERO(&set);
  std::vector<int> cpus;
  if (sched_getaffinity(0, sizeof set, &set) != 0) return cpus;
  for (int cpu = 0; cpu < 32; ++cpu) {
    if (CPU_ISSET(cpu, &set)) cpus.push_back(cpu);
  }
  return cpus;
}

// Run by UnderTasksetTwoProcessors in a child process bound with taskset.
TEST(UsableProcessors, ReportForParent) {
  if (std::getenv("ORX_REPORT_USABLE_CPUS") == nullptr) GTEST_SKIP() << "run by the taskset case";
  std::printf("usable=%d\n", GetUsableCpuMask(nullptr));
}

TEST(UsableProcessors, UnderTasksetTwoProcessors) {
  const std::string taskset = orx::test::RequireProgram("taskset");
  const std::vector<int> cpus = AllowedProcessors();
  ASSERT_GE(cpus.size(), 2u) << "the test needs two processors in the affinity mask";
  char self[4096] = {};
  ASSERT_GT(readlink("/proc/self/exe", self, sizeof self - 1), 0);
  orx::test::ProcessOptions options;
  options.setEnv["ORX_REPORT_USABLE_CPUS"] = "1";
  const std::string list = std::to_string(cpus[0]) + "," + std::to_string(cpus[1]);
  const orx::test::ProcessResult run = orx::test::RunProcess(
      {taskset, "-c", list, self, "--gtest_filter=UsableProcessors.ReportForParent"}, options);
  ASSERT_EQ(run.exitCode, 0) << run.err;
  EXPECT_NE(run.out.find("usable=2\n"), std::string::npos) << run.out;
}

TEST(InstanceNumbers, LowestFreeNumberAmongLiveEncoders) {
  const int base = LiveEncoderCount();
  ASSERT_EQ(base, 0);
  const int a = TakeInstanceNumber();
  const int b = TakeInstanceNumber();
  const int c = TakeInstanceNumber();
  EXPECT_EQ(a, 0);
  EXPECT_EQ(b, 1);
  EXPECT_EQ(c, 2);
  EXPECT_FALSE(ReturnInstanceNumber(b));
  // Numbering by the live count would give the new encoder 2, which c still holds.
  const int d = TakeInstanceNumber();
  EXPECT_EQ(d, 1);
  EXPECT_EQ(LiveEncoderCount(), 3);
  EXPECT_FALSE(ReturnInstanceNumber(a));
  EXPECT_FALSE(ReturnInstanceNumber(c));
  EXPECT_TRUE(ReturnInstanceNumber(d));  // the last one
  EXPECT_EQ(LiveEncoderCount(), 0);
}

TEST(InstanceNumbers, UniqueAcrossThreads) {
  std::vector<int> numbers(8, -1);
  std::vector<std::thread> threads;
  for (int t = 0; t < 8; ++t) threads.emplace_back([&numbers, t] { numbers[t] = TakeInstanceNumber(); });
  for (std::thread& thread : threads) thread.join();
  std::set<int> distinct(numbers.begin(), numbers.end());
  EXPECT_EQ(distinct, (std::set<int>{0, 1, 2, 3, 4, 5, 6, 7}));
  int lastCount = 0;
  for (int n : numbers) lastCount += ReturnInstanceNumber(n) ? 1 : 0;
  EXPECT_EQ(lastCount, 1);
}

class Profiling : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = orx::test::MakeTempDir("venc_profiling");
    char cwd[4096];
    ASSERT_NE(getcwd(cwd, sizeof cwd), nullptr);
    oldDir_ = cwd;
    ASSERT_EQ(chdir(dir_.c_str()), 0);
  }
  void TearDown() override {
    CloseProfileFile();
    dataflow::g_dataflow_config_flags.store(0);
    EXPECT_EQ(chdir(oldDir_.c_str()), 0);
  }
  std::string dir_;
  std::string oldDir_;
};

TEST_F(Profiling, TraceFileHoldsOneRecordPerTimedCall) {
  dataflow::g_dataflow_config_flags.store(kDebugProfileFile);
  StdoutCapture out;
  OpenProfileFile();
  for (int i = 0; i < 3; ++i) {
    ProfileTimerStart(2, kProfileSlotEncodeFrame);
    ProfileTimerStart(2, kProfileSlotMotionSearch);
    ProfileTimerStop(2, kProfileSlotMotionSearch);
    ProfileTimerStop(2, kProfileSlotEncodeFrame);
  }
  ProfileTimerStart(9, 0);  // instances above 7 are not profiled
  ProfileTimerStop(9, 0);
  CloseProfileFile();
  const std::string console = out.Finish();
  std::ifstream file(dir_ + "/" + kProfileFileName);
  ASSERT_TRUE(file.good());
  std::string line;
  std::getline(file, line);
  EXPECT_EQ(line, "FREQUENCY  10000000");
  int records[2] = {};
  while (std::getline(file, line)) {
    std::istringstream fields(line);
    int instance = -1, slot = -1;
    long start = -1, duration = -1;
    fields >> instance >> slot >> start >> duration;
    ASSERT_EQ(instance, 2) << line;
    ASSERT_TRUE(slot == 0 || slot == 1) << line;
    EXPECT_GE(start, 0);
    EXPECT_GE(duration, 0);
    ++records[slot];
  }
  EXPECT_EQ(records[0], 3);
  EXPECT_EQ(records[1], 3);
  // The close prints the timings of the instance that timed EncodeFrame, then names the file.
  EXPECT_EQ(CountOf(console, "INSTANCE[2] "), 1) << console;
  EXPECT_NE(console.find("/     3 ]"), std::string::npos) << console;
  EXPECT_NE(console.find("DEBUG: created profile.txt\n"), std::string::npos) << console;
}

TEST_F(Profiling, InactiveWithoutFileOrTimingBit) {
  StdoutCapture out;
  OpenProfileFile();  // no bit 22: no file
  ProfileTimerStart(0, 0);
  ProfileTimerStop(0, 0);
  PrintInstanceTimings(0);
  CloseProfileFile();
  EXPECT_EQ(out.Finish(), "");
  std::ifstream file(dir_ + "/" + kProfileFileName);
  EXPECT_FALSE(file.good());
}

TEST_F(Profiling, FrameLimitStopsProfilingWithoutEndingTheProcess) {
  // The frame counter lives for the process: read where it stands first.
  dataflow::g_dataflow_config_flags.store(kDebugInstanceTimings);
  StdoutCapture first;
  PrintInstanceTimings(0);
  const std::string firstLine = first.Finish();
  const size_t at = firstLine.find("[F# ");
  ASSERT_NE(at, std::string::npos) << firstLine;
  const int counter = std::stoi(firstLine.substr(at + 4));
  // Bit 23 and a frame limit two lines further on in bits 12-22.
  const uint32_t limit = static_cast<uint32_t>(counter + 2);
  const uint32_t word = kDebugInstanceTimings | (limit << kDebugFrameLimitShift);
  dataflow::g_dataflow_config_flags.store(word);
  StdoutCapture out;
  OpenProfileFile();
  for (int lifetime = 0; lifetime < 3; ++lifetime) {
    ProfileTimerStart(0, 0);
    ProfileTimerStop(0, 0);
    PrintInstanceTimings(0);
  }
  std::string console = out.Finish();
  // The limit is reached at the second line: one line says so and profiling stops until the
  // next set-up opens the profile again.
  EXPECT_EQ(CountOf(console, "INSTANCE[0] "), 2) << console;
  EXPECT_EQ(CountOf(console, "DEBUG: frame limit " + std::to_string(limit) + " reached, profiling stopped\n"), 1)
      << console;
  char wordText[32];
  std::snprintf(wordText, sizeof wordText, "[C# 0x%08x ]", word);
  EXPECT_NE(console.find(wordText), std::string::npos) << console;
  StdoutCapture again;
  OpenProfileFile();
  PrintInstanceTimings(0);
  console = again.Finish();
  EXPECT_EQ(CountOf(console, "INSTANCE[0] "), 1) << console;
}

}  // namespace
}  // namespace orx::venc
