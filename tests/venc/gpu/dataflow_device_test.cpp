// The dataflow devices and buffers against the recording GCX stand-in, one child process per
// row: the answer, the encoder log file's exact lines and the calls the stand-in saw.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <string>
#include <vector>

#include "tests/venc/gpu/gpu_test_support.h"

namespace orx::test::gpu {
namespace {

using Env = std::map<std::string, std::string>;

// The long device line as the stand-in answers it (attributes and status left zero).
std::string LongLine(int ordinal) {
  return "Dataflow [GCX-SDK #1.02.3] [dev#" + std::to_string(ordinal) +
         " GCXtarget=21 eng@0MHz/mem@0MHz local/0MB cached/0MB uncached/0MB]";
}

std::vector<std::string> Calls(const ProbeOutput& out, const std::string& entry) {
  std::vector<std::string> found;
  for (const std::string& call : out.All("call"))
    if (call == entry || call.rfind(entry + " ", 0) == 0) found.push_back(call);
  return found;
}

struct ScriptRow {
  const char* name;
  std::string scenario;
  Env env;
  std::vector<std::string> steps;
  std::string log;  // the whole log file
  std::function<void(const ProbeOutput&)> check;
};

void RunRows(const std::vector<ScriptRow>& rows) {
  for (const ScriptRow& row : rows) {
    SCOPED_TRACE(row.name);
    ScriptRun run = RunDataflowScript(row.steps, row.scenario, row.env);
    ASSERT_EQ(run.out.exitCode, 0) << run.out.err;
    EXPECT_EQ(run.log, row.log);
    row.check(run.out);
  }
}

TEST(DataflowDevices, DeviceTable) {
  const std::vector<std::string> initAndTrace = {"init:1:0", "trace", "live"};
  RunRows({
      {"3 devices, ordinal 1 fails to open", "all",
       {{"GCXSTANDIN_DEVICES", "3"}, {"GCXSTANDIN_FAIL", "gcxDeviceOpen#2=4"}},
       {"init:1:0", "mark", "open:1", "trace"},
       LogLines({LongLine(0), "CDataflow::InitDevices() gcxDeviceOpen(*,1) failed", LongLine(2)}),
       [](const ProbeOutput& out) {
         EXPECT_EQ(out.One("init"), "2");
         EXPECT_EQ(out.One("open"), "0");
         EXPECT_EQ(out.One("row"), "2");
         EXPECT_EQ(Calls(out, "gcxCtxCreate"), std::vector<std::string>{"gcxCtxCreate p " + out.One("device_handle")});
         EXPECT_EQ(Calls(out, "gcxCtxSetSamplerParameter"),
                   std::vector<std::string>{"gcxCtxSetSamplerParameter " + out.One("context") + " 1 0 p 1"});
       }},
      {"9 devices", "all", {{"GCXSTANDIN_DEVICES", "9"}}, initAndTrace,
       LogLines({LongLine(0), LongLine(1), LongLine(2), LongLine(3), LongLine(4), LongLine(5), LongLine(6),
                 LongLine(7)}),
       [](const ProbeOutput& out) {
         EXPECT_EQ(out.One("init"), "8");
         std::vector<std::string> expected;
         for (int i = 0; i < 8; ++i) expected.push_back("gcxDeviceOpen p " + std::to_string(i));
         EXPECT_EQ(Calls(out, "gcxDeviceOpen"), expected);
         EXPECT_EQ(out.One("open_devices"), "8");
       }},
      {"attribute call fails", "all", {{"GCXSTANDIN_FAIL", "gcxDeviceGetAttribs=3"}}, initAndTrace,
       LogLines({"Dataflow [GCX-SDK #1.02.3] [dev#0 GCXtarget=21]"}),
       [](const ProbeOutput& out) { EXPECT_EQ(out.One("init"), "1"); }},
      {"status call fails", "all", {{"GCXSTANDIN_FAIL", "gcxDeviceGetStatus=3"}}, initAndTrace,
       LogLines({"Dataflow [GCX-SDK #1.02.3] [dev#0 GCXtarget=21]"}),
       [](const ProbeOutput& out) {
         EXPECT_EQ(out.One("init"), "1");
         EXPECT_EQ(Calls(out, "gcxDeviceGetAttribs").size(), 1u);
       }},
      // The binding's own start-up looks up three extension entries; the fourth lookup is the
      // device set-up's.
      {"0x8002 lookup fails", "all", {{"GCXSTANDIN_FAIL", "gcxExtGetProc#4=3"}}, initAndTrace,
       LogLines({"CDataflow::InitDevices() gcxExtGetProc(gcxCtxSetSamplerParameter) failed"}),
       [](const ProbeOutput& out) {
         EXPECT_EQ(out.One("init"), "-1");
         EXPECT_EQ(out.One("lock"), "0");
         EXPECT_EQ(out.One("live_init"), "0");
         EXPECT_EQ(out.One("open_devices"), "0");
         EXPECT_TRUE(Calls(out, "gcxDeviceOpen").empty());
       }},
      {"0x8005 supported, third counter entry fails", "all",
       {{"GCXSTANDIN_COUNTERS", "1"}, {"GCXSTANDIN_FAIL", "gcxExtGetProc@gcxCtxConfigPrivateCounter=3"}},
       initAndTrace, LogLines({"CDataflow::InitDevices() gcxExtGetProc(gcxCtxConfigPrivateCounter) failed"}),
       [](const ProbeOutput& out) {
         EXPECT_EQ(out.One("init"), "-1");
         EXPECT_EQ(out.One("lock"), "0");
         EXPECT_EQ(out.One("live_init"), "0");
         EXPECT_TRUE(Calls(out, "gcxDeviceOpen").empty());
       }},
      {"mode 2", "all", {}, {"init:2:0", "trace", "live"},
       LogLines({"CDataflow::InitDevices() requested device not supported in this build"}),
       [](const ProbeOutput& out) {
         EXPECT_EQ(out.One("init"), "-1");
         EXPECT_EQ(out.One("lock"), "0");
         EXPECT_EQ(out.One("flag"), "0");  // the binding never loaded
       }},
      {"no device", "all", {{"GCXSTANDIN_DEVICES", "0"}}, initAndTrace, "",
       [](const ProbeOutput& out) {
         EXPECT_EQ(out.One("init"), "-1");
         EXPECT_EQ(out.One("lock"), "0");
         EXPECT_EQ(out.One("live_init"), "0");
         EXPECT_TRUE(Calls(out, "gcxDeviceOpen").empty());
       }},
      // Row 0's mode decides the common buffers: it is the set-up's also when ordinal 0 failed.
      {"ordinal 0 fails to open", "all", {{"GCXSTANDIN_DEVICES", "2"}, {"GCXSTANDIN_FAIL", "gcxDeviceOpen#1=4"}},
       {"init:1:0", "mark", "common:16:16:0:1", "trace"},
       LogLines({"CDataflow::InitDevices() gcxDeviceOpen(*,0) failed", LongLine(1)}),
       [](const ProbeOutput& out) {
         EXPECT_EQ(out.One("init"), "1");
         EXPECT_EQ(out.One("common"), "0");
         EXPECT_EQ(Calls(out, "gcxResAllocRemote2D"), std::vector<std::string>{"gcxResAllocRemote2D p p 1 16 16 0 2"});
       }},
      {"counters bound: created with the context, configured four times, destroyed with it", "all",
       {{"GCXSTANDIN_COUNTERS", "1"}}, {"init:1:0", "mark", "open:0", "close", "shutdown", "trace", "live"},
       LogLines({LongLine(0)}),
       [](const ProbeOutput& out) {
         const std::string c = out.One("context");
         EXPECT_EQ(Calls(out, "gcxCtxCreatePrivateCounter"), std::vector<std::string>{"gcxCtxCreatePrivateCounter p " + c});
         const std::vector<std::string> configs = Calls(out, "gcxCtxConfigPrivateCounter");
         ASSERT_EQ(configs.size(), 4u);
         const char* triples[4] = {" 1 0 0", " 21 0 1", " 6 0 67", " 6 1 68"};
         for (int i = 0; i < 4; ++i) EXPECT_TRUE(configs[i].ends_with(triples[i])) << configs[i];
         EXPECT_EQ(Calls(out, "gcxCtxDestroyCounter").size(), 1u);
         EXPECT_EQ(out.One("contexts"), "0");
         EXPECT_EQ(out.One("open_devices"), "0");
         EXPECT_EQ(out.One("live_init"), "0");
       }},
      // The CPU device: no runtime on the path, no GCX call, the binding never loads.
      {"mode 0", "", {}, {"init:0:0", "open:0", "common:16:8:1:1", "sys:16:8:7", "gpu:16:8:6", "close", "shutdown", "live"},
       "",
       [](const ProbeOutput& out) {
         EXPECT_EQ(out.One("init"), "1");
         EXPECT_EQ(out.One("open"), "0");
         EXPECT_EQ(out.One("type"), "0");
         EXPECT_EQ(out.One("context"), "0");
         EXPECT_EQ(out.All("pitch"), (std::vector<std::string>{"16", "16", "16"}));
         EXPECT_EQ(out.All("cpu"), (std::vector<std::string>{"1", "1", "1"}));
         EXPECT_EQ(out.One("flag"), "0");
       }},
  });
}

TEST(DataflowDevices, BufferAndWaitTable) {
  const std::vector<std::string> opened = {"init:1:0", "open:0", "mark"};
  auto with = [](std::vector<std::string> steps, std::initializer_list<std::string> more) {
    steps.insert(steps.end(), more);
    return steps;
  };
  auto pollRow = [&](const char* name, const char* word, std::vector<std::string> hooks) {
    return ScriptRow{name, "all", {{"GCXSTANDIN_PENDING", "3"}},
                     {std::string("init:1:") + word, "open:0", "hook", "queue", "mark", "wait", "trace"},
                     LogLines({LongLine(0)}),
                     [hooks](const ProbeOutput& out) {
                       EXPECT_EQ(out.One("wait"), "0");
                       EXPECT_EQ(out.One("event_kept"), "0");
                       EXPECT_EQ(out.All("hook"), hooks);
                       EXPECT_EQ(Calls(out, "gcxCtxIsEventDone").size(), 4u);
                     }};
  };
  RunRows({
      {"mask names no open device", "all", {{"GCXSTANDIN_DEVICES", "2"}}, with(opened, {"common:16:16:0:4", "trace"}),
       LogLines({LongLine(0), LongLine(1), "CDataflow::AllocCommonBuffer(16x16,0) iDevMask(0x4) is not valid"}),
       [](const ProbeOutput& out) {
         EXPECT_EQ(out.One("common"), "-1");
         EXPECT_TRUE(out.All("call").empty());
       }},
      {"format 8 refused before anything is made", "all", {},
       with(opened, {"common:16:16:8:1", "sys:16:16:8", "gpu:16:16:8", "trace"}),
       LogLines({LongLine(0), "CDataflow::AllocCommonBuffer(16x16,8) invalid format",
                 "CDataflow::AllocSysBuffer(16x16,8) invalid format", "CDataflow::AllocGpuBuffer(16x16,8) invalid format"}),
       [](const ProbeOutput& out) {
         EXPECT_EQ(out.One("common"), "-1");
         EXPECT_EQ(out.All("alloc"), (std::vector<std::string>{"-1", "-1"}));
         EXPECT_EQ(out.All("error"), (std::vector<std::string>{"CDataflow::AllocSysBuffer(16x16,8) invalid format",
                                                               "CDataflow::AllocGpuBuffer(16x16,8) invalid format"}));
         EXPECT_NE(out.err.find("CDataflow::AllocGpuBuffer(16x16,8) invalid format\n"), std::string::npos);
         EXPECT_TRUE(out.All("call").empty());
       }},
      {"GPU-local buffer: no pitch, no CPU address, bound", "all", {}, with(opened, {"gpu:16:8:7", "trace"}),
       LogLines({LongLine(0)}),
       [](const ProbeOutput& out) {
         EXPECT_EQ(out.One("alloc"), "0");
         EXPECT_EQ(out.One("pitch"), "0");
         EXPECT_EQ(out.One("cpu"), "0");
         EXPECT_EQ(out.One("memory"), "1");
         EXPECT_EQ(Calls(out, "gcxResAllocLocal2D"), std::vector<std::string>{"gcxResAllocLocal2D p " +
                                                                                 out.One("device_handle") + " 16 8 13 0"});
         EXPECT_EQ(Calls(out, "gcxCtxReleaseMem").size(), 1u);
         EXPECT_EQ(Calls(out, "gcxResFree").size(), 1u);
       }},
      pollRow("poll code 0: 1 ms pauses", "0", {"1", "1", "1"}),
      pollRow("poll code 14: 0 ms pauses", "14", {"0", "0", "0"}),
      pollRow("poll code 15: no pause", "15", {}),
      {"wait callback answering -1 ends the wait with 1", "all", {{"GCXSTANDIN_PENDING", "3"}},
       {"init:1:0", "open:0", "hook", "callback:-1", "queue", "mark", "wait", "trace"},
       LogLines({LongLine(0), "gcxCtxWaitForEventDone() failed"}),
       [](const ProbeOutput& out) {
         EXPECT_EQ(out.One("wait"), "-1");
         EXPECT_EQ(out.One("event_kept"), "1");
         EXPECT_EQ(out.One("callback_ms"), "1");
         EXPECT_EQ(out.One("callback_polls"), "1");  // the poll function reached the runtime
         EXPECT_EQ(Calls(out, "gcxCtxIsEventDone").size(), 1u);
         EXPECT_TRUE(out.All("hook").empty());
         EXPECT_NE(out.err.find("gcxCtxWaitForEventDone() failed\n"), std::string::npos);
       }},
      {"wait callback answering 0 hands back to the poll loop", "all", {{"GCXSTANDIN_PENDING", "2"}},
       {"init:1:0", "open:0", "hook", "callback:0", "queue", "mark", "wait", "trace"}, LogLines({LongLine(0)}),
       [](const ProbeOutput& out) {
         EXPECT_EQ(out.One("wait"), "0");
         EXPECT_EQ(out.All("hook"), (std::vector<std::string>{"1"}));
       }},
      {"nothing queued", "all", {}, with(opened, {"wait", "trace"}), LogLines({LongLine(0)}),
       [](const ProbeOutput& out) {
         EXPECT_EQ(out.One("wait"), "0");
         EXPECT_TRUE(out.All("call").empty());
       }},
      {"counters off (word & 0xff0 = 0)", "all", {{"GCXSTANDIN_COUNTERS", "1"}}, with(opened, {"pc", "trace"}),
       LogLines({LongLine(0)}),
       [](const ProbeOutput& out) {
         EXPECT_EQ(out.One("pc"), "0/0/-1");
         EXPECT_EQ(out.One("pc_text"), "");
         EXPECT_TRUE(out.All("call").empty());
       }},
      {"counters on (word 0x010)", "all", {{"GCXSTANDIN_COUNTERS", "1"}},
       {"init:1:0x010", "open:0", "mark", "pc", "trace"}, LogLines({LongLine(0)}),
       [](const ProbeOutput& out) {
         EXPECT_EQ(out.One("pc"), "0/0/0");
         EXPECT_EQ(out.One("pc_text"), "GRBM[    1000] TA_STALL[    1002] SQ_EMPTY_ALU[    1004] SQ_EMPTY_TF[    1006]");
         EXPECT_EQ(out.All("call").size(), 3u);
       }},
      {"counter read fails", "all", {{"GCXSTANDIN_COUNTERS", "1"}, {"GCXSTANDIN_FAIL", "gcxCtxGetPrivateCounter=3"}},
       {"init:1:0x100", "open:0", "pc"}, LogLines({LongLine(0), "gcxCtxGetPrivateCounter() failed for in PCGet()"}),
       [](const ProbeOutput& out) { EXPECT_EQ(out.One("pc"), "0/0/-1"); }},
      {"no such device index", "all", {}, {"init:1:0", "mark", "open:1", "trace"},
       LogLines({LongLine(0), "CDataflow::OpenDevice(1) -- not a valid device"}),
       [](const ProbeOutput& out) {
         EXPECT_EQ(out.One("open"), "-1");
         EXPECT_EQ(out.One("row"), "-1");
         EXPECT_TRUE(out.All("call").empty());
         EXPECT_NE(out.err.find("CDataflow::OpenDevice(1) -- not a valid device\n"), std::string::npos);
       }},
      {"shutdown failure is logged and ignored", "all", {{"GCXSTANDIN_FAIL", "gcxShutdown=3"}}, {"init:1:0", "shutdown"},
       LogLines({LongLine(0), "CDataflow::ShutdownDevices() gcxShutdown() failed *********************"}),
       [](const ProbeOutput& out) {
         EXPECT_EQ(out.One("shutdown"), "0");
         EXPECT_EQ(out.All("lock"), (std::vector<std::string>{"1", "0"}));
       }},
  });
}

}  // namespace
}  // namespace orx::test::gpu
