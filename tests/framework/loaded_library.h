#pragma once
// A component library loaded by file name with its six exports bound, as the engine does it.
#include <gtest/gtest.h>

#include <string>

#include "framework/component_library.h"
#include "platform/library_loader.h"
#include "tests/support/test_paths.h"

namespace orx::test {

class LoadedLibrary {
 public:
  // global: RTLD_GLOBAL instead of the loader's RTLD_LOCAL (to show that the version script,
  // not the loading mode, keeps libraries apart).
  explicit LoadedLibrary(const std::string& fileName, bool global = false);
  ~LoadedLibrary();
  LoadedLibrary(const LoadedLibrary&) = delete;
  LoadedLibrary& operator=(const LoadedLibrary&) = delete;

  bool Loaded() const { return create != nullptr; }
  std::string path;
  void* module = nullptr;
  QVACompLibInitFn libInit = nullptr;
  QVACompLibReleaseFn libRelease = nullptr;
  QVACompLibGetCountFn libGetCount = nullptr;
  QVACompGetInfoFn getInfo = nullptr;
  QVACompCreateFn create = nullptr;
  QVACompReleaseFn release = nullptr;
};

}  // namespace orx::test
