// The encoder's GPU set-up: the devices it finds, or the fall-back to the CPU, in every runtime
// state, run in a child process per row; and two encoders setting up at once.
#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

#include "platform/registry.h"
#include "tests/venc/gpu/gpu_test_support.h"
#include "tests/support/test_paths.h"
#include "venc/core/encoder_lock.h"
#include "venc/core/gpu_setup.h"
#include "venc/common/write_log_file.h"

namespace orx::test::gpu {
namespace {

TEST(GpuSetup, FallsBackToTheCpuWithItsLogLines) {
  struct Runtime {
    const char* name;
    std::string scenario;
    std::map<std::string, std::string> env;
    std::string lines;  // what one set-up logs after the word's line
    std::string count = "0";
    // Runtime initialisations alive at the end: a runtime with no usable device count stays
    // initialised for the process (the next set-up finds it so and counts again).
    std::string liveAfter = "0";
  };
  const std::string device = " GCXtarget=21 eng@0MHz/mem@0MHz local/0MB cached/0MB uncached/0MB]\n";
  const std::vector<Runtime> runtimes = {
      {"no runtime", "", {}, "LOG: CDataflow::GetDeviceCount() *** gcxInit() failed\n"},
      {"no devices", "all", {{"GCXSTANDIN_DEVICES", "0"}}, "", "0", "1"},
      {"count fails", "all", {{"GCXSTANDIN_FAIL", "gcxDeviceGetCount=4"}}, "", "0", "1"},
      {"no device opens", "all", {{"GCXSTANDIN_DEVICES", "2"}, {"GCXSTANDIN_FAIL", "gcxDeviceOpen=4"}},
       "LOG: CDataflow::InitDevices() gcxDeviceOpen(*,0) failed\n"
       "LOG: CDataflow::InitDevices() gcxDeviceOpen(*,1) failed\n"
       "VIDEOENC: FBAPI_Initialize() failed (falling back on CPU)\n"},
      {"two devices", "all", {{"GCXSTANDIN_DEVICES", "2"}},
       "LOG: Dataflow [GCX-SDK #1.02.3] [dev#0" + device + "LOG: Dataflow [GCX-SDK #1.02.3] [dev#1" + device, "2"},
  };
  struct Word {
    long long value;
    const char* logged;
  };
  for (const Word& word : {Word{-1, "0x00000000"}, Word{0xF, "0x0000000f"}}) {
    for (const Runtime& runtime : runtimes) {
      SCOPED_TRACE(std::string(runtime.name) + " word " + word.logged);
      std::string dir = MakeTempDir("gpu_setup");
      std::map<std::string, std::string> env = runtime.env;
      env["ORX_REGISTRY"] = MakeEncoderRegistry(dir, dir + "/encoder.log", word.value);
      ProbeOutput out = RunProbe({"setup"}, runtime.scenario, env);
      ASSERT_EQ(out.exitCode, 0) << out.err;
      EXPECT_EQ(out.One("setup1"), runtime.count);
      EXPECT_EQ(out.One("again"), runtime.count);   // the stored count, with nothing logged
      EXPECT_EQ(out.One("setup2"), runtime.count);  // after the shutdown the set-up runs again
      EXPECT_EQ(out.One("live_init"), runtime.scenario.empty() ? "<missing>" : runtime.liveAfter);
      EXPECT_EQ(out.One("profile"), "2/2");
      const std::string oneSetup = std::string("LOG: EncodeGpuWaitSleep = ") + word.logged + "\n" + runtime.lines;
      EXPECT_EQ(ReadText(dir + "/encoder.log"), oneSetup + oneSetup);
    }
  }
}

}  // namespace
}  // namespace orx::test::gpu

namespace orx::venc {
// Recording stand-ins for the encoder's profiling, for the in-process tests.
void OpenProfileFile() {}
void CloseProfileFile() {}
}  // namespace orx::venc

namespace orx::test::gpu {
namespace {

// Two encoders enable the GPU at once, each under the set-up lock: one set-up runs.
TEST(GpuSetupThreads, TwoEncodersSetUpOnce) {
  std::string dir = MakeTempDir("gpu_setup_threads");
  std::string registry = MakeEncoderRegistry(dir, dir + "/encoder.log");
  ScopedEnv use("ORX_REGISTRY", registry.c_str());
  ScopedEnv noRuntime("LD_LIBRARY_PATH", nullptr);
  int counts[2] = {-5, -5};
  std::vector<std::thread> threads;
  for (int t = 0; t < 2; ++t)
    threads.emplace_back([&, t] {
      venc::EncoderSetupLock hold;
      counts[t] = venc::InitGpuAcceleration(1);
    });
  for (auto& th : threads) th.join();
  EXPECT_EQ(counts[0], 0);
  EXPECT_EQ(counts[1], 0);
  EXPECT_EQ(ReadText(dir + "/encoder.log"),
            "LOG: EncodeGpuWaitSleep = 0x00000000\nLOG: CDataflow::GetDeviceCount() *** gcxInit() failed\n");
  venc::EncoderSetupLock hold;
  venc::ShutdownGpuAcceleration();
}

}  // namespace
}  // namespace orx::test::gpu
