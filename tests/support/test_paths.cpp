#include "tests/support/test_paths.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <mutex>
#include <vector>

namespace fs = std::filesystem;

namespace orx::test {

std::string SourceDir() { return ORX_TEST_SOURCE_DIR; }
std::string BinaryDir() { return ORX_TEST_BINARY_DIR; }
std::string LibraryDir() { return ORX_TEST_LIBRARY_DIR; }
std::string TestLibraryDir() { return std::string(ORX_TEST_BINARY_DIR) + "/testlib"; }
std::string ProgramDir() { return std::string(ORX_TEST_BINARY_DIR) + "/bin"; }

std::string MediaPath(const std::string& name) {
  std::vector<fs::path> folders;
  if (const char* env = std::getenv("ORX_MEDIA_DIR"); env && *env) folders.emplace_back(env);
  folders.push_back(fs::path(SourceDir()).parent_path() / "shared" / "media");
  folders.push_back(fs::path(SourceDir()) / "tests" / "data" / "media");
  for (const auto& folder : folders) {
    fs::path candidate = folder / name;
    if (fs::exists(candidate)) return candidate.string();
  }
  ADD_FAILURE() << "test media file " << name
                << " not found in ORX_MEDIA_DIR, ../shared/media or tests/data/media";
  return (folders.back() / name).string();
}

namespace {

// The folders made for a test program, removed after its last test when every test passed
// and kept for a look when one failed.
class TempDirCleaner : public ::testing::Environment {
 public:
  void Add(const std::string& dir) {
    std::lock_guard<std::mutex> lock(mutex_);
    dirs_.push_back(dir);
  }
  void TearDown() override {
    if (!::testing::UnitTest::GetInstance()->Passed()) return;
    std::lock_guard<std::mutex> lock(mutex_);
    std::error_code ignored;
    for (const std::string& dir : dirs_) fs::remove_all(dir, ignored);
    dirs_.clear();
  }

 private:
  std::mutex mutex_;
  std::vector<std::string> dirs_;
};

TempDirCleaner& Cleaner() {
  // gtest owns and deletes the environments it is given.
  static TempDirCleaner* cleaner =
      static_cast<TempDirCleaner*>(::testing::AddGlobalTestEnvironment(new TempDirCleaner));
  return *cleaner;
}

}  // namespace

std::string MakeTempDir(const std::string& tag) {
  // Under the system's temporary folder, with a short name: the paths the tests hand to the
  // plug-in must fit the host's 255-character texts wherever the repository is cloned.
  const char* base = std::getenv("TMPDIR");
  std::string pattern = (base != nullptr && *base != '\0' ? std::string(base) : std::string("/tmp")) +
                        "/orx-" + tag + "-XXXXXX";
  for (char& c : pattern) {
    if (c == ' ') c = '_';
  }
  std::vector<char> name(pattern.begin(), pattern.end());
  name.push_back('\0');
  if (::mkdtemp(name.data()) == nullptr) {
    ADD_FAILURE() << "cannot make a temporary folder " << pattern;
    return pattern;
  }
  Cleaner().Add(name.data());
  return name.data();
}

ScopedEnv::ScopedEnv(const char* name, const char* value) : name_(name) {
  if (const char* old = std::getenv(name)) {
    hadValue_ = true;
    oldValue_ = old;
  }
  if (value) ::setenv(name, value, 1);
  else ::unsetenv(name);
}

ScopedEnv::~ScopedEnv() {
  if (hadValue_) ::setenv(name_.c_str(), oldValue_.c_str(), 1);
  else ::unsetenv(name_.c_str());
}

}  // namespace orx::test
