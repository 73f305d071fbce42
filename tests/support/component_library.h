#pragma once
// A component library opened by file name as the engine opens it (RTLD_NOW | RTLD_LOCAL), with
// its six entry points bound. Unloading does what the engine does: QVACompLibRelease, then the
// library is closed.
#include <string>

#include "framework/component_library.h"

namespace orx::test {

enum class LibraryFolder {
  kDeliverables,   // LibraryDir(): the component libraries that ship
  kTestLibraries,  // TestLibraryDir(): libraries that only tests load
};

struct LibraryLoad {
  LibraryFolder folder = LibraryFolder::kDeliverables;
  // RTLD_GLOBAL in place of RTLD_LOCAL, to show that the version script, not the loading mode,
  // keeps libraries apart.
  bool global = false;
  // A library that does not load or lacks an entry point fails the running test. Off (for a
  // program that is no test), Error() alone says what went wrong.
  bool failTest = true;
};

class ComponentLibrary {
 public:
  explicit ComponentLibrary(const std::string& fileName, const LibraryLoad& load = {});
  ~ComponentLibrary();
  ComponentLibrary(const ComponentLibrary&) = delete;
  ComponentLibrary& operator=(const ComponentLibrary&) = delete;

  // True when the library is open and exports all six entry points.
  bool Loaded() const { return module_ != nullptr; }
  const std::string& Path() const { return path_; }
  const std::string& Error() const { return error_; }

  // Another export of the library; nullptr (and a failed test, with failTest) when it has none.
  template <class Function>
  Function Bind(const char* name) {
    return reinterpret_cast<Function>(Symbol(name));
  }

  QVACompLibInitFn libInit = nullptr;
  QVACompLibReleaseFn libRelease = nullptr;
  QVACompLibGetCountFn libGetCount = nullptr;
  QVACompGetInfoFn getInfo = nullptr;
  QVACompCreateFn create = nullptr;
  QVACompReleaseFn release = nullptr;

 private:
  void* Symbol(const char* name);
  void Fail(const std::string& why);

  std::string path_;
  bool failTest_;
  void* module_ = nullptr;
  std::string error_;
};

}  // namespace orx::test
