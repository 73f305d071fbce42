#pragma once
// Runs a program as a child process, without a shell, and collects what it prints.
#include <map>
#include <string>
#include <vector>

namespace orx::test {

struct ProcessResult {
  int exitCode = -1;    // the exit status, or 128 + signal number
  std::string out;      // standard output
  std::string err;      // standard error
  bool started = false;
};

struct ProcessOptions {
  std::string input;                              // written to standard input
  std::map<std::string, std::string> setEnv;      // added to (or replacing in) the environment
  std::vector<std::string> unsetEnv;              // removed from the environment
  std::string workingDir;                         // "" keeps the current one
};

// argv[0] is looked up in PATH when it holds no '/'.
ProcessResult RunProcess(const std::vector<std::string>& argv, const ProcessOptions& options = {});

// The full path of a program in PATH, or "" when it is missing.
std::string FindProgram(const std::string& name);

// Like FindProgram, but a missing program fails the running test with a clear message
// (a test that needs a program never silently skips).
std::string RequireProgram(const std::string& name);

}  // namespace orx::test
