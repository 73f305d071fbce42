// The encoder library's process-wide services seen through libqvavenc.so: the GPU request with no
// GPU runtime (the CPU stream, the log line), and the profiling that the debug word in the
// registry asks for. Profiling state lives for the process, so those cases run in a child
// process of this test program.
#include <gtest/gtest.h>
#include <sched.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "platform/registry.h"
#include "tests/support/process.h"
#include "tests/support/test_paths.h"
#include "tests/venc/component/source_video.h"
#include "tests/venc/core/stdout_capture.h"
#include "tests/venc/component/venc_host.h"
#include "venc/common/write_log_file.h"

namespace orx::venc::test {
namespace {

constexpr const char* kChildVariable = "ORX_VENC_PROFILE_CHILD";

std::string ReadText(const std::string& path) {
  std::ifstream file(path);
  std::stringstream text;
  text << file.rdbuf();
  return text.str();
}

HostEncode SmallEncode(bool gpu) {
  HostEncode setup = CifEncode(3, 3000000);
  if (gpu) setup.params.engineFlags |= VEP_ENGINE_GPU;
  return setup;
}

std::vector<std::vector<uint8_t>> SmallFrames(int count) {
  const SourceVideo source = TreeSource(352, 288, count);
  std::vector<std::vector<uint8_t>> frames;
  for (int i = 0; i < count; ++i) frames.push_back(source.Frame(i));
  return frames;
}

// With the GPU asked for and no GPU runtime, the encoder stays on the CPU: the stream is the one
// without the request, and the set-up's log line reaches the file named in the registry.
TEST(VencSystem, GpuRequestWithoutRuntimeStaysOnTheCpu) {
  const std::string dir = orx::test::MakeTempDir("venc_gpu_request");
  const std::string registry = dir + "/registry";
  const std::string logFile = dir + "/encoder.log";
  orx::test::ScopedEnv useRegistry("ORX_REGISTRY", registry.c_str());
  orx::test::ScopedEnv noRuntime("LD_LIBRARY_PATH", nullptr);
  ASSERT_TRUE(platform::RegistryWriteString(kEncoderRegistryKey, "LogFilePath", logFile));
  VencLibrary library;
  ASSERT_TRUE(library.Loaded()) << library.Error();
  const auto frames = SmallFrames(8);
  const HostResult cpu = EncodeThroughHost(library, SmallEncode(false), frames);
  const HostResult gpu = EncodeThroughHost(library, SmallEncode(true), frames);
  ASSERT_FALSE(cpu.stream.empty());
  EXPECT_TRUE(cpu.stream == gpu.stream);
  EXPECT_TRUE(gpu.errors.empty());
  EXPECT_NE(ReadText(logFile).find("LOG: EncodeGpuWaitSleep = 0x00000000\n"), std::string::npos) << ReadText(logFile);
}

// The threads of this process whose allowed processors are exactly `list` ("3").
std::set<std::string> ThreadsAllowedOnly(const std::string& list) {
  std::set<std::string> threads;
  for (const auto& task : std::filesystem::directory_iterator("/proc/self/task")) {
    std::istringstream status(ReadText(task.path().string() + "/status"));
    std::string line;
    while (std::getline(status, line)) {
      if (line.rfind("Cpus_allowed_list:", 0) != 0) continue;
      if (line.substr(line.find_first_not_of(" \t", 18)) == list) threads.insert(task.path().filename().string());
    }
  }
  return threads;
}

// With option bit 9 the worker thread runs on processor (instance index & 31) only.
TEST(VencSystem, BindThreadOptionPinsTheWorker) {
  VencLibrary library;
  ASSERT_TRUE(library.Loaded()) << library.Error();
  const auto frames = SmallFrames(4);
  VencRun run(library);
  ASSERT_EQ(run.Create(), QVA_SUCCESS);
  const int processor = static_cast<int>(run.instance->index & 31);
  cpu_set_t mask;
  ASSERT_EQ(sched_getaffinity(0, sizeof mask, &mask), 0);
  if (!CPU_ISSET(processor, &mask)) GTEST_SKIP() << "processor " << processor << " is not ours to bind to";
  const std::string only = std::to_string(processor);
  const std::set<std::string> before = ThreadsAllowedOnly(only);
  HostEncode setup = SmallEncode(false);
  setup.params.optionFlags |= VEP_OPT_BIND_THREAD;
  run.SetInput(setup.input);
  run.SetOutput(setup.output);
  run.SetParams(setup.params);
  ASSERT_EQ(run.Start(), QVA_SUCCESS);
  for (uint32_t i = 0; i < frames.size(); ++i) run.PushFrame(frames[i].data(), frames[i].size(), 40 * i);
  ASSERT_TRUE(run.sink.WaitFor([](const VencSink::Output& o) { return (o.flags & QVA_BUFFLAG_SYNCPOINT) != 0; }));
  std::set<std::string> bound = ThreadsAllowedOnly(only);
  for (const std::string& old : before) bound.erase(old);
  EXPECT_EQ(bound.size(), 1u) << "threads newly bound to processor " << only;
  run.PushMarker(QVA_MARKER_EOI);
  EXPECT_TRUE(run.sink.WaitForEnd());
}

// Run by the two cases below in a child process: three encoder lifetimes with the GPU asked for
// (the set-up reads the debug word) on the registry the parent prepared.
TEST(VencSystem, ProfiledLifetimesChild) {
  if (std::getenv(kChildVariable) == nullptr) GTEST_SKIP() << "run by the profiling cases";
  VencLibrary library;
  ASSERT_TRUE(library.Loaded()) << library.Error();
  const auto frames = SmallFrames(6);
  for (int lifetime = 0; lifetime < 3; ++lifetime) {
    const HostResult run = EncodeThroughHost(library, SmallEncode(true), frames);
    EXPECT_TRUE(run.ended);
  }
  std::printf("lifetimes done\n");
}

orx::test::ProcessResult RunProfiledChild(const std::string& dir, uint32_t debugWord) {
  const std::string registry = dir + "/registry";
  {
    orx::test::ScopedEnv useRegistry("ORX_REGISTRY", registry.c_str());
    EXPECT_TRUE(platform::RegistryWriteDword(kEncoderRegistryKey, "EncodeGpuWaitSleep", debugWord));
  }
  char self[4096] = {};
  EXPECT_GT(readlink("/proc/self/exe", self, sizeof self - 1), 0);
  orx::test::ProcessOptions options;
  options.setEnv[kChildVariable] = "1";
  options.setEnv["ORX_REGISTRY"] = registry;
  options.unsetEnv.push_back("LD_LIBRARY_PATH");
  options.workingDir = dir;
  return orx::test::RunProcess({self, "--gtest_filter=VencSystem.ProfiledLifetimesChild"}, options);
}

// Bit 23 prints each lifetime's timings; a frame limit of 2 (bits 12-22) stops profiling at the
// second line instead of ending the process, and the next set-up profiles again.
TEST(VencSystem, FrameLimitDoesNotEndTheProcess) {
  const std::string dir = orx::test::MakeTempDir("venc_profile_limit");
  const orx::test::ProcessResult run = RunProfiledChild(dir, (1u << 23) | (2u << 12));
  ASSERT_EQ(run.exitCode, 0) << run.out << run.err;
  EXPECT_NE(run.out.find("lifetimes done"), std::string::npos) << run.out;
  EXPECT_EQ(CountOf(run.out, "INSTANCE[0] "), 3) << run.out;
  EXPECT_EQ(CountOf(run.out, "DEBUG: frame limit 2 reached, profiling stopped"), 1) << run.out;
}

// Bit 22 writes the trace file: EncodeFrame (slot 0) and the motion search (slot 1) records.
TEST(VencSystem, TraceFileRecordsTheTimedSlots) {
  const std::string dir = orx::test::MakeTempDir("venc_profile_file");
  const orx::test::ProcessResult run = RunProfiledChild(dir, 1u << 22);
  ASSERT_EQ(run.exitCode, 0) << run.out << run.err;
  EXPECT_NE(run.out.find("DEBUG: created profile.txt"), std::string::npos) << run.out;
  std::istringstream lines(ReadText(dir + "/profile.txt"));
  std::string line;
  std::getline(lines, line);
  EXPECT_EQ(line, "FREQUENCY  10000000");
  int slots[2] = {};
  while (std::getline(lines, line)) {
    std::istringstream fields(line);
    int instance = -1, slot = -1;
    fields >> instance >> slot;
    ASSERT_EQ(instance, 0) << line;
    if (slot == 0 || slot == 1) ++slots[slot];
  }
  // The last lifetime's file: six EncodeFrame calls and a search for every P and B picture.
  EXPECT_EQ(slots[0], 6);
  EXPECT_GT(slots[1], 0);
}

}  // namespace
}  // namespace orx::venc::test
