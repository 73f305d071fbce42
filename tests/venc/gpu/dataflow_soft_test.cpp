// The frame-buffer interface and the encoder's GPU set-up on the recording software runtime
// (a runtime that really holds memory and runs programs, and fails an entry on demand), one
// child process per row.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "tests/venc/gpu/gpu_test_support.h"

namespace orx::test::gpu {
namespace {

std::string SoftLine(int ordinal) {
  return "Dataflow [GCX-SDK #1.02.0] [dev#" + std::to_string(ordinal) + " GCXtarget=1 eng@";
}

int CountCalls(const ProbeOutput& out, const std::string& entry) {
  int n = 0;
  for (const std::string& call : out.All("call")) n += call.rfind(entry + " ", 0) == 0 ? 1 : 0;
  return n;
}

TEST(DataflowSoft, FrameBufferTable) {
  struct Row {
    const char* name;
    std::string fb;  // fb:DEV:COUNT:W:H:PX:PY
    std::string fail;
    int answer;
    // On success: the buffer's width and height, and the layout in rows of pitch plus columns.
    int w2, rows, lumaRows, chromaRows, originColumns;
    std::string message;  // the log line after the device line on failure ("" none)
    int allocCalls, freeCalls;
  };
  const std::vector<Row> rows = {
      {"16 x 16 accepted", "fb:0:1:16:16:0:0", "", 0, 16, 24, 0, 16, 0, "", 1, 0},
      {"2048 wide accepted", "fb:0:1:2048:16:0:0", "", 0, 2048, 24, 0, 16, 0, "", 1, 0},
      {"2048 high accepted", "fb:0:1:16:2048:0:0", "", 0, 16, 3072, 0, 2048, 0, "", 1, 0},
      {"15 wide refused", "fb:0:1:15:16:0:0", "", -1, 0, 0, 0, 0, 0, "", 0, 0},
      {"2049 wide refused", "fb:0:1:2049:16:0:0", "", -1, 0, 0, 0, 0, 0, "", 0, 0},
      {"15 high refused", "fb:0:1:16:15:0:0", "", -1, 0, 0, 0, 0, 0, "", 0, 0},
      {"2049 high refused", "fb:0:1:16:2049:0:0", "", -1, 0, 0, 0, 0, 0, "", 0, 0},
      {"count 0 refused", "fb:0:0:16:16:0:0", "", -1, 0, 0, 0, 0, 0, "", 0, 0},
      // W2 784, H2 640, rows 960, luma 32 x pitch + 32, chroma 656 x pitch + 32.
      {"720x576 pads 32/32", "fb:0:3:720:576:32:32", "", 0, 784, 960, 32, 656, 32, "", 3, 0},
      // H2 590: rows 590 + 295, chroma (590 + 3) x pitch.
      {"odd padY 7", "fb:0:1:720:576:32:7", "", 0, 784, 885, 7, 593, 32, "", 1, 0},
      {"device index no open device carries", "fb:1:2:720:576:32:32", "", -1, 0, 0, 0, 0, 0,
       "CDataflow::AllocCommonBuffer(784x960,0) iDevMask(0x2) is not valid", 0, 0},
      {"third of five buffers fails", "fb:0:5:720:576:32:32", "gcxResAllocRemote2D#3=5", -1, 0, 0, 0, 0, 0,
       "CDataflow::AllocCommonBuffer(784x960,0) gcxResAllocRemote2D() failed", 3, 2},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    std::map<std::string, std::string> env;
    if (!row.fail.empty()) env["GCXSTANDIN_FAIL"] = row.fail;
    ScriptRun run = RunDataflowScript({"init:1:0", "mark", row.fb, "trace", "live", "fbfree", "shutdown"}, kSoftRuntime, env);
    ASSERT_EQ(run.out.exitCode, 0) << run.out.err;
    const ProbeOutput& out = run.out;
    EXPECT_EQ(out.One("fb"), std::to_string(row.answer));
    EXPECT_EQ(out.One("past_end"), "0");
    const std::string deviceLine = "LOG: " + SoftLine(0);
    ASSERT_EQ(run.log.rfind(deviceLine, 0), 0u) << run.log;
    const std::string afterDevice = run.log.substr(run.log.find('\n') + 1);
    EXPECT_EQ(afterDevice, row.message.empty() ? "" : LogLines({row.message}));
    EXPECT_EQ(CountCalls(out, "gcxResAllocRemote2D"), row.allocCalls);
    EXPECT_EQ(CountCalls(out, "gcxResFree"), row.freeCalls);
    if (row.answer != 0) {
      // Nothing of a refused or failed set is left: no array, no live resource.
      EXPECT_EQ(out.One("array"), "0");
      EXPECT_EQ(out.One("resources"), "0");
      continue;
    }
    const int pitch = std::stoi(out.One("pitch"));
    EXPECT_GE(pitch, row.w2);
    EXPECT_EQ(out.One("width"), std::to_string(row.w2));
    EXPECT_EQ(out.One("height"), std::to_string(row.rows));
    EXPECT_EQ(out.One("luma"), std::to_string(row.lumaRows * pitch + row.originColumns));
    EXPECT_EQ(out.One("chroma"), std::to_string(row.chromaRows * pitch + row.originColumns));
    EXPECT_EQ(out.One("plane"), std::to_string(row.rows * pitch));
    EXPECT_EQ(out.All("array"), (std::vector<std::string>{"1", "0"}));  // after FBAPI_Free, none
    EXPECT_EQ(out.One("fbfree"), "0");
  }
}

// A mask naming two open devices gives one resource that both devices' contexts bind, at the
// same CPU address.
TEST(DataflowSoft, CommonBufferSharedByTwoDevices) {
  ScriptRun run = RunDataflowScript({"init:1:0", "open:0", "open:1", "mark", "common:64:16:0:3", "trace", "live"},
                                    kSoftRuntime, {{"ORX_GCX_SOFT_DEVICES", "2"}});
  ASSERT_EQ(run.out.exitCode, 0) << run.out.err;
  EXPECT_EQ(run.out.One("init"), "2");
  EXPECT_EQ(run.out.One("common"), "0");
  EXPECT_EQ(run.out.One("shared_by"), "2");
  EXPECT_EQ(CountCalls(run.out, "gcxResAllocRemote2D"), 1);
  EXPECT_NE(run.out.One("call").find("gcxResAllocRemote2D p p 2 64 16 0 2"), std::string::npos);
  EXPECT_EQ(run.out.One("resources"), "0");
}

// The encoder's set-up reaches the real devices: frame buffers that a GPU program reads as the
// CPU wrote them, nothing alive after the shutdown, and a second set-up in the same process.
TEST(DataflowSoft, EncoderSetUpWithTheSoftwareRuntime) {
  ScriptRun run = RunDataflowScript({"setup", "fb:0:8:720:576:32:32", "fbcheck", "fbfree", "unsetup", "live", "setup",
                                     "unsetup", "live"},
                                    kSoftRuntime);
  ASSERT_EQ(run.out.exitCode, 0) << run.out.err;
  const ProbeOutput& out = run.out;
  EXPECT_EQ(out.All("setup"), (std::vector<std::string>{"1", "1"}));
  EXPECT_EQ(out.One("fb"), "0");
  EXPECT_EQ(out.All("fbread"), (std::vector<std::string>{"0:1", "7:1"}));
  EXPECT_EQ(out.One("fbfree"), "0");
  for (const char* key : {"live_init", "open_devices", "contexts", "resources", "modules"})
    EXPECT_EQ(out.All(key), (std::vector<std::string>{"0", "0"})) << key;
  // Each set-up: the word's line and one device line.
  const std::string word = "LOG: EncodeGpuWaitSleep = 0x00000000\n";
  const size_t first = run.log.find(word);
  ASSERT_EQ(first, 0u) << run.log;
  const size_t second = run.log.find(word, word.size());
  ASSERT_NE(second, std::string::npos) << run.log;
  for (const std::string& one : {run.log.substr(0, second), run.log.substr(second)}) {
    const std::string device = one.substr(word.size());
    EXPECT_EQ(device.rfind("LOG: " + SoftLine(0), 0), 0u) << device;
    EXPECT_EQ(std::count(device.begin(), device.end(), '\n'), 1) << device;
    EXPECT_NE(device.find("MHz local/"), std::string::npos) << device;
  }
}

}  // namespace
}  // namespace orx::test::gpu
