// The GCX binding: loading in every stand-in scenario (one child process per row, since the
// binding loads once per process), the wrappers, the module-load step and the device count.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "platform/gcx/gcx_api.h"
#include "platform/gcx/gcx_library_name.h"
#include "tests/venc/gpu/gpu_test_support.h"
#include "tests/support/process.h"
#include "tests/support/test_paths.h"

namespace orx::test::gpu {
namespace {

std::string Loaded(const char* kind, const std::string& name) {
  return std::string("gcxLoadLibrary: loaded ") + kind + " DLL \"" + name + "\" ...";
}
std::string Failed(const char* kind, const std::string& first, const std::string& second) {
  // The probe prints line breaks as "\\n".
  return std::string("gcxLoadLibrary: ** ERROR: LoadLibrary() failed for ") + kind + " DLL:\\n   \"" + first +
         "\"\\n   \"" + second + "\"";
}
std::string Missing(const std::string& entry, const std::string& library) {
  return "gcxLoadLibrary: ** ERROR: " + entry + " missing in " + library;
}

std::string Slots(int first, int last, int skip = 0) {
  std::string s;
  for (int i = first; i <= last; ++i)
    if (i != skip) s += (s.empty() ? "" : ",") + std::to_string(i);
  return s;
}

TEST(GcxNames, SlotTableEqualsTheRuntimeAndCompilerTables) {
  const std::vector<std::string> expected = {
      "gcxInit", "gcxGetVersion", "gcxShutdown", "gcxDeviceGetCount", "gcxDeviceGetInfo", "gcxDeviceGetAttribs",
      "gcxDeviceGetStatus", "gcxDeviceOpen", "gcxDeviceClose", "gcxResAllocLocal2D", "gcxResAllocRemote2D",
      "gcxResAllocLocal1D", "gcxResAllocRemote1D", "gcxResFree", "gcxResMap", "gcxResUnmap", "gcxCtxCreate",
      "gcxCtxDestroy", "gcxCtxGetMem", "gcxCtxReleaseMem", "gcxCtxSetMem", "gcxCtxRunProgram", "gcxCtxIsEventDone",
      "gcxCtxFlush", "gcxMemCopy", "gcxImageRead", "gcxImageFree", "gcxModuleLoad", "gcxModuleUnload",
      "gcxModuleGetEntry", "gcxModuleGetName", "gcxGetErrorString", "gcxCtxRunProgramGrid", "gcxModuleGetFuncInfo",
      "gcxCtxRunProgramGridArray", "gcxExtSupported", "gcxExtGetVersion", "gcxExtGetProc",
      "gcxclGetVersion", "gcxclCompile", "gcxclLink", "gcxclFreeObject", "gcxclFreeImage", "gcxclDisassembleImage",
      "gcxclAssembleObject", "gcxclDisassembleObject", "gcxclImageGetSize", "gcxclImageWrite", "gcxclGetErrorString",
      "gcxCtxSetSamplerParameter", "gcxResCreate1D", "gcxResCreate2D"};
  ASSERT_EQ(expected.size(), static_cast<size_t>(gcx::kGcxSlotCount));
  for (int i = 0; i < gcx::kGcxSlotCount; ++i) {
    EXPECT_EQ(gcx::kGcxSlotNames[i].slot, i + 1);
    EXPECT_EQ(gcx::kGcxSlotNames[i].name, expected[i]);
    gcx::GcxLibrary library = i < 38 ? gcx::GcxLibrary::kRuntime
                              : i < 49 ? gcx::GcxLibrary::kCompiler
                                       : gcx::GcxLibrary::kExtension;
    EXPECT_EQ(gcx::kGcxSlotNames[i].library, library) << expected[i];
  }
  EXPECT_EQ(gcx::kGcxSlotNames[49].extension, 0x8002u);
  EXPECT_EQ(gcx::kGcxSlotNames[50].extension, 0x1006u);
  EXPECT_EQ(gcx::kGcxSlotNames[51].extension, 0x1006u);
}

TEST(GcxNames, DllNamesBecomeSharedObjects) {
  EXPECT_EQ(gcx::GcxLibraryFileName("tyvgcxrt.dll"), "tyvgcxrt.so");
  EXPECT_EQ(gcx::GcxLibraryFileName("orxgcxcl.dll"), "orxgcxcl.so");
  EXPECT_EQ(gcx::GcxLibraryFileName("already.so"), "already.so");
}

// One row per load scenario. gcxInit's results, the loaded flag, the bound slots, every debug
// text, and the runtime initialisations left outstanding.
TEST(GcxLoad, ScenarioTable) {
  const std::string rt1 = "tyvgcxrt.so", rt2 = "orxgcxrt.so", cl1 = "tyvgcxcl.so", cl2 = "orxgcxcl.so";
  struct Row {
    const char* name;
    std::string scenario;
    std::map<std::string, std::string> env = {};
    int calls;
    std::vector<std::string> inits;
    int flag;
    std::string bound;
    std::vector<std::string> debug;
    std::string liveInit;  // "<missing>" when no runtime is loaded
  };
  const std::string all = Slots(1, 52);
  const std::vector<Row> rows = {
      // Nothing to load. The second call returns 1 as well: a load that bound no runtime never
      // reports success (the written behaviour answered 0 with nothing bound).
      {.name = "no library", .scenario = "", .calls = 2, .inits = {"1", "1"}, .flag = -1, .bound = "",
       .debug = {Failed("GCXRT", rt1, rt2), Failed("GCXCL", cl1, cl2)}, .liveInit = "<missing>"},
      {.name = "runtime only", .scenario = "runtime-only", .calls = 1, .inits = {"1"}, .flag = -1,
       .bound = Slots(1, 38), .debug = {Loaded("GCXRT", rt1), Failed("GCXCL", cl1, cl2)}, .liveInit = "0"},
      {.name = "compiler only", .scenario = "compiler-only", .calls = 2, .inits = {"1", "1"}, .flag = -1,
       .bound = Slots(39, 49), .debug = {Failed("GCXRT", rt1, rt2), Loaded("GCXCL", cl1)}, .liveInit = "<missing>"},
      {.name = "second names only", .scenario = "second-names", .calls = 1, .inits = {"0"}, .flag = 1, .bound = all,
       .debug = {Loaded("GCXRT", rt2), Loaded("GCXCL", cl2)}, .liveInit = "1"},
      // A partial binding with gcxInit bound keeps the written behaviour: the second call works.
      {.name = "runtime without one entry", .scenario = "runtime-variant", .calls = 2, .inits = {"1", "0"},
       .flag = -1, .bound = Slots(1, 52, 35),
       .debug = {Loaded("GCXRT", rt1), Loaded("GCXCL", cl1), Missing("gcxCtxRunProgramGridArray", rt1)},
       .liveInit = "1"},
      {.name = "compiler without one entry", .scenario = "compiler-variant", .calls = 1, .inits = {"1"}, .flag = -1,
       .bound = Slots(1, 49, 48),
       .debug = {Loaded("GCXRT", rt1), Loaded("GCXCL", cl1), Missing("gcxclImageWrite", cl1)}, .liveInit = "0"},
      {.name = "entry 1 fails", .scenario = "all", .env = {{"GCXSTANDIN_FAIL", "gcxInit=5"}}, .calls = 1,
       .inits = {"5"}, .flag = 1, .bound = Slots(1, 49), .debug = {Loaded("GCXRT", rt1), Loaded("GCXCL", cl1)},
       .liveInit = "0"},
      // A failed extension lookup ends the runtime it had started (no initialisation left).
      {.name = "0x8002 lookup fails", .scenario = "all", .env = {{"GCXSTANDIN_FAIL", "gcxExtGetProc@0x8002=3"}},
       .calls = 1, .inits = {"3"}, .flag = 1, .bound = Slots(1, 49),
       .debug = {Loaded("GCXRT", rt1), Loaded("GCXCL", cl1)}, .liveInit = "0"},
      {.name = "0x1006 2D lookup fails", .scenario = "all",
       .env = {{"GCXSTANDIN_FAIL", "gcxExtGetProc@gcxResCreate2D=3"}}, .calls = 1, .inits = {"3"}, .flag = 1,
       .bound = Slots(1, 50), .debug = {Loaded("GCXRT", rt1), Loaded("GCXCL", cl1)}, .liveInit = "0"},
      {.name = "0x1006 1D lookup fails", .scenario = "all",
       .env = {{"GCXSTANDIN_FAIL", "gcxExtGetProc@gcxResCreate1D=3"}}, .calls = 1, .inits = {"3"}, .flag = 1,
       .bound = Slots(1, 50) + ",52", .debug = {Loaded("GCXRT", rt1), Loaded("GCXCL", cl1)}, .liveInit = "0"},
      {.name = "all present", .scenario = "all", .calls = 1, .inits = {"0"}, .flag = 1, .bound = all,
       .debug = {Loaded("GCXRT", rt1), Loaded("GCXCL", cl1)}, .liveInit = "1"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    ProbeOutput out = RunProbe({"init", std::to_string(row.calls)}, row.scenario, row.env);
    ASSERT_EQ(out.exitCode, 0) << out.err;
    EXPECT_EQ(out.All("init"), row.inits);
    EXPECT_EQ(out.One("flag"), std::to_string(row.flag));
    EXPECT_EQ(out.One("bound"), row.bound);
    EXPECT_EQ(out.All("debug"), row.debug);
    EXPECT_EQ(out.One("live_init"), row.liveInit);
  }
}

TEST(GcxWrappers, UnboundEntriesAnswerOneNullOrNothing) {
  ProbeOutput out = RunProbe({"wrappers"}, "");
  ASSERT_EQ(out.exitCode, 0) << out.err;
  std::vector<std::string> lines = out.All("slot");
  ASSERT_EQ(lines.size(), 50u);  // slots 2-49, 51, 52
  for (const std::string& line : lines) {
    int slot = std::stoi(line);
    std::string expected = slot == 32 || slot == 49 || slot == 44 || slot == 46 ? "result=0" : "result=1";
    EXPECT_NE(line.find(expected), std::string::npos) << line;
    EXPECT_NE(line.find("entry=- args=0 lines=0"), std::string::npos) << line;
  }
}

TEST(GcxWrappers, BoundEntriesGetTheArgumentsAndTheirResultComesBack) {
  ProbeOutput out = RunProbe({"wrappers"}, "all");
  ASSERT_EQ(out.exitCode, 0) << out.err;
  std::vector<std::string> lines = out.All("slot");
  ASSERT_EQ(lines.size(), 50u);
  for (const std::string& line : lines) {
    int slot = std::stoi(line);
    std::string result = "result=" + std::to_string(100 + slot);
    if (slot == 32 || slot == 49) result = "result=1";  // a text came back
    if (slot == 44 || slot == 46) result = "result=0";  // no result; the lines below count
    const std::string tail = std::string(" entry=") + gcx::kGcxSlotNames[slot - 1].name + " args=1 lines=" +
                             (slot == 44 || slot == 46 ? "2" : "0");
    EXPECT_EQ(line, std::to_string(slot) + " " + result + tail);
  }
}

TEST(GcxModuleLoad, SamplerStepAndItsFailure) {
  struct Row {
    const char* name;
    std::string fail;
    std::string result, module, modules;
    std::vector<std::string> calls;
  };
  const std::vector<Row> rows = {
      {"load fails", "gcxModuleLoad=6", "6", "57005", "0", {"gcxModuleLoad"}},
      {"loaded", "", "0", "<nonzero>", "1", {"gcxModuleLoad", "gcxCtxSetSamplerParameter 85 1 0 1"}},
      // The module is unloaded again and the handle cleared: its callers never unload it.
      {"sampler fails", "gcxCtxSetSamplerParameter=7", "7", "0", "0",
       {"gcxModuleLoad", "gcxCtxSetSamplerParameter 85 1 0 1", "gcxModuleUnload"}},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    std::map<std::string, std::string> env;
    if (!row.fail.empty()) env["GCXSTANDIN_FAIL"] = row.fail;
    ProbeOutput out = RunProbe({"module"}, "all", env);
    ASSERT_EQ(out.exitCode, 0) << out.err;
    EXPECT_EQ(out.One("init"), "0");
    EXPECT_EQ(out.One("result"), row.result);
    if (row.module == "<nonzero>") {
      EXPECT_NE(out.One("module"), "0");
    } else {
      EXPECT_EQ(out.One("module"), row.module);
    }
    EXPECT_EQ(out.One("modules"), row.modules);
    EXPECT_EQ(out.All("call"), row.calls);
  }
}

TEST(DataflowDevices, DeviceCountByModeAndRuntime) {
  struct Row {
    const char* name;
    std::string scenario;
    std::map<std::string, std::string> env;
    std::string count1;
    std::string log;
    std::string gcxInitCalls;
  };
  const std::string failed = "LOG: CDataflow::GetDeviceCount() *** gcxInit() failed\n";
  const std::vector<Row> rows = {
      {"no runtime", "", {}, "-1", failed + failed, "0"},
      {"three devices", "all", {{"GCXSTANDIN_DEVICES", "3"}}, "3", "", "1"},
      {"count fails", "all", {{"GCXSTANDIN_FAIL", "gcxDeviceGetCount=4"}}, "0", "", "1"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    std::string dir = MakeTempDir("gpu_devices");
    std::map<std::string, std::string> env = row.env;
    env["ORX_REGISTRY"] = MakeEncoderRegistry(dir, dir + "/encoder.log");
    ProbeOutput out = RunProbe({"devices"}, row.scenario, env);
    ASSERT_EQ(out.exitCode, 0) << out.err;
    EXPECT_EQ(out.One("count0"), "1");
    EXPECT_EQ(out.One("count7"), "0");
    EXPECT_EQ(out.All("count1"), (std::vector<std::string>{row.count1, row.count1}));
    EXPECT_EQ(out.One("gcxInit_calls"), row.gcxInitCalls);  // a second call initialises nothing
    EXPECT_EQ(ReadText(dir + "/encoder.log"), row.log);
  }
}

// Run from the build tree with a clean environment, the binding finds no runtime; nothing that
// ships carries a way to the stand-in.
TEST(GcxNeverFound, NoDeliverableReachesTheStandIn) {
  ProbeOutput out = RunProbe({"init"}, "");
  ASSERT_EQ(out.exitCode, 0) << out.err;
  EXPECT_EQ(out.All("debug").size(), 2u);
  EXPECT_EQ(out.One("init"), "1");

  namespace fs = std::filesystem;
  std::string readelf = RequireProgram("readelf");
  std::vector<std::string> shipped;
  if (fs::exists(LibraryDir()))
    for (const auto& entry : fs::directory_iterator(LibraryDir())) shipped.push_back(entry.path().string());
  if (fs::exists(ProgramDir() + "/orx-export")) shipped.push_back(ProgramDir() + "/orx-export");
  for (const std::string& file : shipped) {
    ProcessResult r = RunProcess({readelf, "-d", file});
    EXPECT_EQ(r.out.find("gcx-stand-in"), std::string::npos) << file << " has a run path to the stand-in";
  }

  std::string prefix = MakeTempDir("gpu_install");
  ProcessResult install = RunProcess({"cmake", "--install", BinaryDir(), "--prefix", prefix});
  EXPECT_EQ(install.exitCode, 0) << install.err;
  for (const auto& entry : fs::recursive_directory_iterator(prefix)) {
    std::string name = entry.path().filename().string();
    EXPECT_TRUE(name.find("gcx") == std::string::npos) << entry.path() << " was installed";
  }
}

}  // namespace
}  // namespace orx::test::gpu
