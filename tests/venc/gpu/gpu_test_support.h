#pragma once
// Runs the GPU probe as a child process in a GCX stand-in scenario and reads what it printed.
#include <map>
#include <string>
#include <vector>

namespace orx::test::gpu {

struct ProbeOutput {
  int exitCode = -1;
  std::string err;
  std::multimap<std::string, std::string> values;  // "key=value" lines in order

  std::string One(const std::string& key) const;
  std::vector<std::string> All(const std::string& key) const;
};

// The scenario that puts the recording software runtime (gcx-soft-testing) on the path.
inline const std::string kSoftRuntime = "soft";

// scenario: a stand-in folder name ("all", "runtime-only", ...) or kSoftRuntime put in
// LD_LIBRARY_PATH, or "" for none (LD_LIBRARY_PATH removed). env: further variables for the
// child; the stand-in's and the software runtime's variables it does not name are removed.
ProbeOutput RunProbe(const std::vector<std::string>& args, const std::string& scenario,
                     const std::map<std::string, std::string>& env = {});

// A registry file whose encoder key names logPath as "LogFilePath" (none when empty) and holds
// "EncodeGpuWaitSleep" when waitSleepFlags >= 0. Answers the registry file's path.
std::string MakeEncoderRegistry(const std::string& dir, const std::string& logPath, long long waitSleepFlags = -1);

std::string ReadText(const std::string& path);

// One dataflow script run in the probe child (gpu_probe dataflow STEP...), with a fresh encoder
// log file: what it printed and the log file's text.
struct ScriptRun {
  ProbeOutput out;
  std::string log;
};
ScriptRun RunDataflowScript(const std::vector<std::string>& steps, const std::string& scenario,
                            const std::map<std::string, std::string>& env = {});

// The log file's lines, each with its "LOG: " and line break, joined.
std::string LogLines(const std::vector<std::string>& lines);

}  // namespace orx::test::gpu
