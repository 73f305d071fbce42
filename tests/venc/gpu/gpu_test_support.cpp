#include "tests/venc/gpu/gpu_test_support.h"

#include <fstream>
#include <sstream>

#include "platform/registry.h"
#include "tests/support/process.h"
#include "tests/support/test_paths.h"
#include "venc/common/write_log_file.h"

namespace orx::test::gpu {

std::string ProbeOutput::One(const std::string& key) const {
  auto it = values.find(key);
  return it == values.end() ? "<missing>" : it->second;
}

std::vector<std::string> ProbeOutput::All(const std::string& key) const {
  std::vector<std::string> out;
  auto [first, last] = values.equal_range(key);
  for (auto it = first; it != last; ++it) out.push_back(it->second);
  return out;
}

ProbeOutput RunProbe(const std::vector<std::string>& args, const std::string& scenario,
                     const std::map<std::string, std::string>& env) {
  std::vector<std::string> argv = {ProgramDir() + "/gpu_probe"};
  argv.insert(argv.end(), args.begin(), args.end());
  ProcessOptions options;
  options.setEnv = env;
  if (scenario == kSoftRuntime) options.setEnv["LD_LIBRARY_PATH"] = BinaryDir() + "/gcx-soft-testing";
  else if (scenario.empty()) options.unsetEnv.push_back("LD_LIBRARY_PATH");
  else options.setEnv["LD_LIBRARY_PATH"] = BinaryDir() + "/gcx-stand-in/" + scenario;
  for (const char* name : {"GCXSTANDIN_FAIL", "GCXSTANDIN_DEVICES", "GCXSTANDIN_PENDING", "GCXSTANDIN_COUNTERS",
                           "ORX_GCX_SOFT_DEVICES"})
    if (!options.setEnv.count(name)) options.unsetEnv.push_back(name);
  ProcessResult r = RunProcess(argv, options);
  ProbeOutput out;
  out.exitCode = r.exitCode;
  out.err = r.err;
  std::istringstream lines(r.out);
  std::string line;
  while (std::getline(lines, line)) {
    size_t eq = line.find('=');
    if (eq != std::string::npos) out.values.emplace(line.substr(0, eq), line.substr(eq + 1));
  }
  return out;
}

std::string MakeEncoderRegistry(const std::string& dir, const std::string& logPath, long long waitSleepFlags) {
  std::string registry = dir + "/registry";
  ScopedEnv use("ORX_REGISTRY", registry.c_str());
  if (!logPath.empty()) platform::RegistryWriteString(venc::kEncoderRegistryKey, "LogFilePath", logPath);
  if (waitSleepFlags >= 0) {
    platform::RegistryWriteDword(venc::kEncoderRegistryKey, "EncodeGpuWaitSleep", static_cast<uint32_t>(waitSleepFlags));
  }
  return registry;
}

std::string ReadText(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

ScriptRun RunDataflowScript(const std::vector<std::string>& steps, const std::string& scenario,
                            const std::map<std::string, std::string>& env) {
  std::string dir = MakeTempDir("gpu_dataflow");
  std::map<std::string, std::string> childEnv = env;
  childEnv["ORX_REGISTRY"] = MakeEncoderRegistry(dir, dir + "/encoder.log");
  std::vector<std::string> args = {"dataflow"};
  args.insert(args.end(), steps.begin(), steps.end());
  ScriptRun run;
  run.out = RunProbe(args, scenario, childEnv);
  run.log = ReadText(dir + "/encoder.log");
  return run;
}

std::string LogLines(const std::vector<std::string>& lines) {
  std::string text;
  for (const std::string& line : lines) text += "LOG: " + line + "\n";
  return text;
}

}  // namespace orx::test::gpu
