// The software runtime through the loader, in child processes: the GPU binding and the
// plug-in's probe find it by name when its folder is on LD_LIBRARY_PATH, and only then.
#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "tests/support/process.h"
#include "tests/support/test_paths.h"

namespace orx::test::gcxsoft {
namespace {

std::string SoftFolder() { return LibraryDir() + "/gcx-soft"; }

struct Child {
  int exitCode = -1;
  std::string err;
  std::multimap<std::string, std::string> values;
  std::string One(const std::string& key) const {
    auto it = values.find(key);
    return it == values.end() ? "<missing>" : it->second;
  }
  std::vector<std::string> All(const std::string& key) const {
    std::vector<std::string> out;
    for (auto [it, end] = values.equal_range(key); it != end; ++it) out.push_back(it->second);
    return out;
  }
};

// program: a test program's name in bin/; withRuntime puts the runtime's folder (or the one in
// env's LD_LIBRARY_PATH) on the path.
Child RunChild(const std::string& program, const std::vector<std::string>& args, bool withRuntime,
               const std::map<std::string, std::string>& env = {}) {
  std::vector<std::string> argv = {ProgramDir() + "/" + program};
  argv.insert(argv.end(), args.begin(), args.end());
  ProcessOptions options;
  options.setEnv = env;
  if (withRuntime && !env.count("LD_LIBRARY_PATH")) options.setEnv["LD_LIBRARY_PATH"] = SoftFolder();
  else options.unsetEnv.push_back("LD_LIBRARY_PATH");
  for (const char* name : {"ORX_GCX_SOFT_DEVICES", "GCXSTANDIN_FAIL", "GCXSTANDIN_PENDING"})
    if (!env.count(name)) options.unsetEnv.push_back(name);
  ProcessResult r = RunProcess(argv, options);
  Child out;
  out.exitCode = r.exitCode;
  out.err = r.err;
  std::istringstream lines(r.out);
  std::string line;
  while (std::getline(lines, line))
    if (size_t eq = line.find('='); eq != std::string::npos) out.values.emplace(line.substr(0, eq), line.substr(eq + 1));
  return out;
}

TEST(GcxSoftLoader, TheBindingFindsTheRuntimeOnThePath) {
  Child out = RunChild("gpu_probe", {"init"}, true);
  ASSERT_EQ(out.exitCode, 0) << out.err;
  EXPECT_EQ(out.One("init"), "0");
  EXPECT_EQ(out.One("flag"), "1");
  std::vector<std::string> debug = out.All("debug");
  EXPECT_EQ(debug, (std::vector<std::string>{"gcxLoadLibrary: loaded GCXRT DLL \"orxgcxrt.so\" ...",
                                             "gcxLoadLibrary: loaded GCXCL DLL \"orxgcxcl.so\" ..."}));
  struct Row {
    const char* devices;
    const char* count;
  };
  for (Row row : {Row{nullptr, "1"}, Row{"3", "3"}}) {
    std::map<std::string, std::string> env;
    if (row.devices) env["ORX_GCX_SOFT_DEVICES"] = row.devices;
    Child devices = RunChild("gpu_probe", {"devices"}, true, env);
    ASSERT_EQ(devices.exitCode, 0) << devices.err;
    EXPECT_EQ(devices.All("count1"), (std::vector<std::string>{row.count, row.count}));
  }
}

TEST(GcxSoftLoader, AnImageOfTheCompilerRunsInTheRuntime) {
  Child out = RunChild("gcx_soft_child", {"image"}, true);
  ASSERT_EQ(out.exitCode, 0) << out.err;
  EXPECT_EQ(out.One("runtime_loaded"), "1");
  EXPECT_EQ(out.One("compiler_loaded"), "1");
  EXPECT_EQ(out.One("runtime_has_compile"), "0");
  EXPECT_EQ(out.One("compiler_has_init"), "0");
  EXPECT_EQ(out.One("missing_entries"), "0");
  EXPECT_EQ(out.One("compile"), "0");
  EXPECT_EQ(out.One("link"), "0");
  EXPECT_EQ(out.One("bad_compile"), "6");
  EXPECT_EQ(out.One("compile_error").substr(0, 8), "line 1: ");
  EXPECT_EQ(out.One("image_run"), "1");
  EXPECT_EQ(out.One("unknown_proc"), "1");
  EXPECT_EQ(out.One("image_read"), "7");
  EXPECT_EQ(out.One("grid_array"), "7");
  EXPECT_EQ(out.One("runtime_error"), "gcxCtxRunProgramGridArray is not supported");
  EXPECT_EQ(out.One("compiler_version"), "1.2");
  EXPECT_EQ(out.One("failures"), "0");
  EXPECT_EQ(out.One("pending_polls"), "0");  // every run is done when it returns
  EXPECT_TRUE(out.All("failed").empty());
}

// The recording runtime executes like the software runtime, fails the entry it is told to and
// keeps events pending for as many polls as asked.
TEST(GcxSoftLoader, TheRecordingRuntimeFailsOneEntryOfAnExecutingRuntime) {
  const std::string folder = BinaryDir() + "/gcx-soft-testing";
  Child plain = RunChild("gcx_soft_child", {"image"}, true, {{"LD_LIBRARY_PATH", folder}});
  ASSERT_EQ(plain.exitCode, 0) << plain.err;
  EXPECT_EQ(plain.One("image_run"), "1");
  EXPECT_EQ(plain.One("live_init"), "0");
  EXPECT_EQ(plain.One("live_modules"), "0");
  EXPECT_NE(plain.One("recorded"), "0");

  Child pending = RunChild("gcx_soft_child", {"image"}, true, {{"LD_LIBRARY_PATH", folder}, {"GCXSTANDIN_PENDING", "3"}});
  EXPECT_EQ(pending.One("pending_polls"), "3");
  EXPECT_EQ(pending.One("image_run"), "1");

  Child failing = RunChild("gcx_soft_child", {"image"}, true,
                           {{"LD_LIBRARY_PATH", folder}, {"GCXSTANDIN_FAIL", "gcxModuleGetName@o0=5"}});
  // The failed lookup leaves no name to bind, so the binding and the run fail after it.
  EXPECT_EQ(failing.All("failed"), (std::vector<std::string>{"name 5", "set 2", "run 9", "done 2"}));
  EXPECT_EQ(failing.One("image_run"), "0");
}

TEST(GcxSoftLoader, ThePluginProbeReportsOneGpu) {
  Child out = RunChild("gcx_soft_child", {"probe"}, true);
  ASSERT_EQ(out.exitCode, 0) << out.err;
  EXPECT_EQ(out.One("probed"), "1");
  EXPECT_EQ(out.One("gpus"), "1");
  EXPECT_EQ(out.One("present"), "1");
  EXPECT_EQ(out.One("version"), "1.2");
  EXPECT_EQ(out.One("version_word"), "102000");
}

// Without the folder on the path nothing finds the runtime, and nothing that ships carries a
// way to it.
TEST(GcxSoftLoader, FoundOnlyThroughThePath) {
  Child binding = RunChild("gpu_probe", {"init"}, false);
  ASSERT_EQ(binding.exitCode, 0) << binding.err;
  EXPECT_EQ(binding.One("init"), "1");
  Child probe = RunChild("gcx_soft_child", {"probe"}, false);
  ASSERT_EQ(probe.exitCode, 0) << probe.err;
  EXPECT_EQ(probe.One("gpus"), "0");

  namespace fs = std::filesystem;
  std::string readelf = RequireProgram("readelf");
  std::vector<std::string> shipped;
  for (const auto& entry : fs::directory_iterator(LibraryDir()))
    if (entry.is_regular_file()) shipped.push_back(entry.path().string());
  shipped.push_back(ProgramDir() + "/orx-export");
  ASSERT_GT(shipped.size(), 1u);
  for (const std::string& file : shipped) {
    ProcessResult r = RunProcess({readelf, "-d", file});
    EXPECT_EQ(r.out.find("gcx-soft"), std::string::npos) << file << " has a run path to the software runtime";
  }
}

}  // namespace
}  // namespace orx::test::gcxsoft
