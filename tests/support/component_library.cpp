#include "tests/support/component_library.h"

#include <dlfcn.h>
#include <gtest/gtest.h>

#include "platform/library_loader.h"
#include "tests/support/test_paths.h"

namespace orx::test {

ComponentLibrary::ComponentLibrary(const std::string& fileName, const LibraryLoad& load)
    : path_((load.folder == LibraryFolder::kDeliverables ? LibraryDir() : TestLibraryDir()) + "/" + fileName),
      failTest_(load.failTest) {
  if (load.global) {
    module_ = dlopen(path_.c_str(), RTLD_NOW | RTLD_GLOBAL);
    if (module_ == nullptr) {
      const char* text = dlerror();
      Fail("cannot load " + path_ + ": " + (text != nullptr ? text : "dlopen failed"));
      return;
    }
  } else {
    module_ = platform::LoadLibrary(path_.c_str());
    if (module_ == nullptr) {
      Fail("cannot load " + path_ + ": " + platform::LastLibraryError());
      return;
    }
  }
  auto bind = [this](auto& entry, const char* name) {
    entry = reinterpret_cast<std::remove_reference_t<decltype(entry)>>(Symbol(name));
  };
  bind(libInit, "QVACompLibInit");
  bind(libRelease, "QVACompLibRelease");
  bind(libGetCount, "QVACompLibGetCount");
  bind(getInfo, "QVACompGetInfo");
  bind(create, "QVACompCreate");
  bind(release, "QVACompRelease");
  if (!error_.empty()) {
    // A library without its six entry points is no component library: close it again.
    platform::FreeLibrary(module_);
    module_ = nullptr;
    libInit = nullptr;
    libRelease = nullptr;
    libGetCount = nullptr;
    getInfo = nullptr;
    create = nullptr;
    release = nullptr;
  }
}

ComponentLibrary::~ComponentLibrary() {
  if (module_ == nullptr) return;
  libRelease();
  platform::FreeLibrary(module_);
}

void* ComponentLibrary::Symbol(const char* name) {
  void* symbol = module_ != nullptr ? platform::GetLibrarySymbol(module_, name) : nullptr;
  if (symbol == nullptr) Fail(path_ + " does not export " + name);
  return symbol;
}

void ComponentLibrary::Fail(const std::string& why) {
  error_ += error_.empty() ? why : "; " + why;
  if (failTest_) ADD_FAILURE() << why;
}

}  // namespace orx::test
