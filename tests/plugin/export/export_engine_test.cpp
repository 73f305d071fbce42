// Exports in process through the host, the plug-in and the real transcode engine with the
// component libraries of the library folder: how a pass ends is read from the bridge's own
// state and from the libraries mapped into the process, not from a clock.
#include <dlfcn.h>
#include <sys/stat.h>

#include <climits>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "host/host_frame.h"
#include "plugin/export/enc_session.h"
#include "tests/plugin/export/export_fixture.h"
#include "tests/support/orx_test.h"

namespace orx::plugin::test {
namespace {

bool FileExists(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0;
}

// The libraries of the library folder mapped into this process now. The process's map names
// each file by its resolved path, so the folder is compared resolved too.
std::vector<std::string> MappedComponentLibraries() {
  std::ifstream maps("/proc/self/maps");
  std::string line;
  std::vector<std::string> mapped;
  char resolved[PATH_MAX];
  const std::string folder =
      (::realpath(orx::test::LibraryDir().c_str(), resolved) != nullptr ? std::string(resolved)
                                                                         : orx::test::LibraryDir()) +
      "/";
  while (std::getline(maps, line)) {
    size_t at = line.find(folder);
    if (at != std::string::npos) mapped.push_back(line.substr(at));
  }
  return mapped;
}

class EngineExportTest : public ExportTest {
 protected:
  void SetUp() override {
    ExportTest::SetUp();
    realEngine_ = true;
  }
  // The last debug lines of the plug-in, the engine and the components, on one line: what a
  // failed export's message shows.
  std::string DebugTail(size_t count = 8) const {
    std::vector<std::string> lines;
    std::istringstream in(debugText_);
    for (std::string line; std::getline(in, line);) {
      if (!line.empty()) lines.push_back(line);
    }
    std::string tail = "debug:";
    for (size_t i = lines.size() > count ? lines.size() - count : 0; i < lines.size(); ++i)
      tail += " | " + lines[i];
    return tail;
  }
};

// Progress runs to the end in steps of at least 0.005; a suspend answered with resume goes on,
// and the stream holds every frame.
TEST_F(EngineExportTest, ProgressRunsToTheEndThroughASuspend) {
  host::ExportOptions o = Options(30);
  o.suspendAtFrame = 10;
  ExportRun run = Export(Pattern(), o, {{"ORXMultiplexerContainer", "0"}});
  ASSERT_TRUE(run.ran) << run.error;
  EXPECT_EQ(run.outcome.answer, 0) << DebugTail();
  EXPECT_FALSE(run.outcome.hostFault) << run.outcome.hostFaultText;
  EXPECT_TRUE(run.suitesBalance);
  EXPECT_EQ(run.outcome.progress.suspends, 1);
  EXPECT_EQ(run.outcome.progress.resumes, 1);
  const std::vector<float>& p = run.outcome.progress.reports;
  ASSERT_FALSE(p.empty());
  for (size_t i = 1; i + 1 < p.size(); ++i) EXPECT_GE(p[i] - p[i - 1], 0.005f - 1e-6f) << i;
  EXPECT_GE(p.back(), 29.0f / 30.0f - 1e-4f);
  EXPECT_TRUE(Session().sinkEnded.load());
  std::ifstream out(dir_ + "/out.m2v", std::ios::binary | std::ios::ate);
  EXPECT_GT(static_cast<int64_t>(out.tellg()), 30 * 1000);
  EXPECT_EQ(host::LiveHostFrames(), 0);
  EXPECT_TRUE(MappedComponentLibraries().empty());
  // The look at the process's mappings sees a component library that is loaded.
  void* encoder = ::dlopen((orx::test::LibraryDir() + "/libqvavenc.so").c_str(), RTLD_NOW);
  ASSERT_NE(encoder, nullptr);
  EXPECT_FALSE(MappedComponentLibraries().empty());
  ::dlclose(encoder);
}

// A cancel at 30 %: the export answers the cancel, renames nothing and leaves no file, every
// rendered frame is disposed of, the end marker reached the engine's sink (so the finish did
// not wait for it), and the engine let go of every component library.
TEST_F(EngineExportTest, ACancelAtThirtyPercentLeavesNothingBehind) {
  host::ExportOptions o = Options(30, "clip.m2v");
  o.cancelAtFrame = 9;
  o.tone = true;
  ExportRun run = Export(Pattern(), o, {{"ORXMultiplexerContainer", "0"}});
  ASSERT_TRUE(run.ran) << run.error;
  EXPECT_EQ(run.outcome.answer, host_sdk::kProgressCancel) << DebugTail();
  EXPECT_TRUE(run.outcome.progress.cancelled);
  EXPECT_TRUE(run.outcome.partialOutputDiscarded);
  for (const char* name : {"clip.m2v", "clip.tmp", "clip.mpa"})
    EXPECT_FALSE(FileExists(dir_ + "/" + name)) << name;
  EXPECT_GE(run.outcome.render.requests, 9);
  EXPECT_LT(run.outcome.render.requests, 30);
  EXPECT_EQ(host::LiveHostFrames(), 0);
  EXPECT_TRUE(Session().sinkEnded.load());
  EXPECT_EQ(Session().videoState.load(), static_cast<uint32_t>(kVideoOff));
  EXPECT_FALSE(run.outcome.hostFault) << run.outcome.hostFaultText;
  EXPECT_TRUE(run.suitesBalance);
  std::vector<std::string> mapped = MappedComponentLibraries();
  EXPECT_TRUE(mapped.empty()) << mapped.front();
}

// Every pass ends on the leaf of its graph reaching its end state, so the end's wait for the
// graph returns instead of running out its 5 s: the multiplexer of a program stream, MULTIVENC
// of a video pass, the audio encoder of the audio side file's pass (the export's last pass).
TEST_F(EngineExportTest, EachPassEndsWithoutTheGraphWaitTimingOut) {
  struct Row {
    const char* name;
    const char* container;
    const char* output;
    bool tone;
    uint32_t lastPassAudio;  // the audio pump's state after the last pass
    const char* sideFile;
  } rows[] = {
      {"video only", "0", "clip.m2v", false, kAudioStopped, nullptr},
      {"the audio side file's pass", "0", "clip.m2v", true, kAudioEnded, "clip.mpa"},
      {"a program stream", "1", "clip.mpg", true, kAudioEnded, nullptr},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    host::ExportOptions o = Options(20, row.output);
    o.tone = row.tone;
    ExportRun run = Export(Pattern(), o, {{"ORXMultiplexerContainer", row.container}});
    ASSERT_TRUE(run.ran) << run.error;
    EXPECT_EQ(run.outcome.answer, 0) << DebugTail();
    EXPECT_EQ(Session().audioState, row.lastPassAudio);
    if (row.sideFile != nullptr) {
      EXPECT_TRUE(FileExists(dir_ + "/" + row.sideFile));
    }
    EXPECT_EQ(Session().endWaitStatus, QVA_SUCCESS);
    EXPECT_TRUE(MappedComponentLibraries().empty());
  }
}

}  // namespace
}  // namespace orx::plugin::test
