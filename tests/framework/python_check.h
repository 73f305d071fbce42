#pragma once
// Independent checks written in Python: runs a snippet with arguments and answers what it
// printed (the test fails when Python fails).
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/support/process.h"

namespace orx::test {

inline std::string RunPython(const std::string& code, const std::vector<std::string>& args = {}) {
  std::vector<std::string> argv = {RequireProgram("python3"), "-c", code};
  argv.insert(argv.end(), args.begin(), args.end());
  ProcessResult result = RunProcess(argv);
  EXPECT_EQ(result.exitCode, 0) << result.err;
  return result.out;
}

}  // namespace orx::test
