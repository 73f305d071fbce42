// The GPU layer's log sink and the encoder's log file.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "platform/registry.h"
#include "tests/venc/gpu/gpu_test_support.h"
#include "tests/support/test_paths.h"
#include "venc/common/write_log_file.h"
#include "venc/common/dataflow_hooks.h"
#include "venc/gpu/dataflow/dataflow_log.h"

namespace orx::test::gpu {
namespace {

std::vector<std::string> g_callbackLines;
void CollectLine(const char* text) { g_callbackLines.push_back(text); }

TEST(GpuLog, SinkAndLogFileTable) {
  struct Row {
    const char* name;
    bool logFileValue;     // "LogFilePath" present
    bool emptyValue;       // present but empty
    bool callback;         // a log callback is installed
    std::string expectedFile;
    int expectedStatus;
  };
  const std::vector<Row> rows = {
      {"callback set", true, false, true, "", venc::kLogWritten},
      {"value absent", false, false, false, "", venc::kLogNotConfigured},
      {"value empty", true, true, false, "", venc::kLogNotConfigured},
      {"written", true, false, false, "LOG: line 7\n", venc::kLogWritten},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    std::string dir = MakeTempDir("gpu_log");
    std::string log = dir + "/encoder.log";
    std::string registry = MakeEncoderRegistry(dir, row.logFileValue && !row.emptyValue ? log : "");
    if (row.emptyValue) {
      ScopedEnv use("ORX_REGISTRY", registry.c_str());
      platform::RegistryWriteString(venc::kEncoderRegistryKey, "LogFilePath", "");
    }
    ScopedEnv use("ORX_REGISTRY", registry.c_str());
    g_callbackLines.clear();
    if (row.callback) dataflow::g_dataflow_log_callback.store(&CollectLine);
    dataflow::DataflowLogf("line %d", 7);
    dataflow::g_dataflow_log_callback.store(nullptr);
    EXPECT_EQ(ReadText(log), row.expectedFile);
    EXPECT_EQ(g_callbackLines, row.callback ? std::vector<std::string>{"line 7"} : std::vector<std::string>{});
    if (!row.callback) {
      EXPECT_EQ(venc::WriteLogFile("%s", ""), row.expectedStatus);
    }
  }
}

TEST(GpuLog, FileRemovedBetweenCallsAndLongTexts) {
  std::string dir = MakeTempDir("gpu_log");
  std::string log = dir + "/encoder.log";
  ScopedEnv use("ORX_REGISTRY", MakeEncoderRegistry(dir, log).c_str());
  dataflow::DataflowLog("first");
  std::filesystem::remove(log);
  dataflow::DataflowLog("second");
  EXPECT_EQ(ReadText(log), "LOG: second\n");

  std::filesystem::remove(log);
  const std::string longText(2000, 'x');
  EXPECT_EQ(venc::WriteLogFile("%s", longText.c_str()), venc::kLogWritten);
  EXPECT_EQ(ReadText(log), std::string(1024, 'x'));
}

TEST(GpuLogThreads, TwoThreadsWriteWholeLines) {
  std::string dir = MakeTempDir("gpu_log_threads");
  std::string log = dir + "/encoder.log";
  ScopedEnv use("ORX_REGISTRY", MakeEncoderRegistry(dir, log).c_str());
  std::vector<std::thread> threads;
  for (int t = 0; t < 2; ++t)
    threads.emplace_back([t] {
      for (int i = 0; i < 1000; ++i) dataflow::DataflowLogf("thread %d line %04d %s", t, i, "padding-padding-padding");
    });
  for (auto& th : threads) th.join();
  std::istringstream lines(ReadText(log));
  std::string line;
  int count[2] = {0, 0};
  while (std::getline(lines, line)) {
    int t = -1, i = -1;
    char tail[64] = "";
    ASSERT_EQ(std::sscanf(line.c_str(), "LOG: thread %d line %d %63s", &t, &i, tail), 3) << line;
    ASSERT_TRUE(t == 0 || t == 1) << line;
    EXPECT_STREQ(tail, "padding-padding-padding");
    ++count[t];
  }
  EXPECT_EQ(count[0], 1000);
  EXPECT_EQ(count[1], 1000);
}

}  // namespace
}  // namespace orx::test::gpu
