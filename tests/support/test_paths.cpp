#include "tests/support/test_paths.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <atomic>
#include <cstdlib>
#include <filesystem>

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
  folders.push_back(fs::path(SourceDir()) / "tests" / "media");
  for (const auto& folder : folders) {
    fs::path candidate = folder / name;
    if (fs::exists(candidate)) return candidate.string();
  }
  ADD_FAILURE() << "test media file " << name
                << " not found in ORX_MEDIA_DIR, ../shared/media or tests/media";
  return (folders.back() / name).string();
}

std::string MakeTempDir(const std::string& tag) {
  static std::atomic<int> counter{0};
  const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
  std::string name = tag;
  if (info) name += std::string("-") + info->test_suite_name() + "-" + info->name();
  for (char& c : name) {
    if (c == '/' || c == ' ') c = '_';
  }
  fs::path dir = fs::path(BinaryDir()) / "test-tmp" /
                 (name + "-" + std::to_string(::getpid()) + "-" + std::to_string(counter++));
  fs::remove_all(dir);
  fs::create_directories(dir);
  return dir.string();
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
