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
  if (scenario.empty()) options.unsetEnv.push_back("LD_LIBRARY_PATH");
  else options.setEnv["LD_LIBRARY_PATH"] = BinaryDir() + "/gcx-stand-in/" + scenario;
  if (!options.setEnv.count("GCXSTANDIN_FAIL")) options.unsetEnv.push_back("GCXSTANDIN_FAIL");
  if (!options.setEnv.count("GCXSTANDIN_DEVICES")) options.unsetEnv.push_back("GCXSTANDIN_DEVICES");
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

}  // namespace orx::test::gpu
