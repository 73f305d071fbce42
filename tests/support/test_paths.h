#pragma once
// Where the tests find the source tree, the build outputs and the test media.
#include <string>

namespace orx::test {

std::string SourceDir();
std::string BinaryDir();
// Folder of the deliverables (component libraries, the plug-in).
std::string LibraryDir();
// Folder of the libraries that only tests load.
std::string TestLibraryDir();
// Folder of executables (orx-export and helper programs).
std::string ProgramDir();

// A file of the shared test media (box.mp4, tree.avi, building.jpg). Looks in ORX_MEDIA_DIR,
// then ../shared/media beside the repository, then the copy in tests/data/media; fails the test
// with a clear message when none has it.
std::string MediaPath(const std::string& name);

// A fresh empty folder for the running test under the temporary folder (TMPDIR or /tmp); the
// test program removes its folders after its last test when every test passed.
std::string MakeTempDir(const std::string& tag);

// Sets or clears an environment variable for the lifetime of the object.
class ScopedEnv {
 public:
  ScopedEnv(const char* name, const char* value);  // value nullptr clears it
  ~ScopedEnv();
  ScopedEnv(const ScopedEnv&) = delete;
  ScopedEnv& operator=(const ScopedEnv&) = delete;

 private:
  std::string name_;
  bool hadValue_ = false;
  std::string oldValue_;
};

}  // namespace orx::test
