#include "tests/framework/loaded_library.h"

#include <dlfcn.h>

namespace orx::test {

LoadedLibrary::LoadedLibrary(const std::string& fileName, bool global) : path(TestLibraryDir() + "/" + fileName) {
  module = global ? dlopen(path.c_str(), RTLD_NOW | RTLD_GLOBAL) : platform::LoadLibrary(path.c_str());
  if (module == nullptr) {
    ADD_FAILURE() << "cannot load " << path << ": " << (global ? dlerror() : platform::LastLibraryError());
    return;
  }
  auto bind = [this](const char* name) { return dlsym(module, name); };
  libInit = reinterpret_cast<QVACompLibInitFn>(bind("QVACompLibInit"));
  libRelease = reinterpret_cast<QVACompLibReleaseFn>(bind("QVACompLibRelease"));
  libGetCount = reinterpret_cast<QVACompLibGetCountFn>(bind("QVACompLibGetCount"));
  getInfo = reinterpret_cast<QVACompGetInfoFn>(bind("QVACompGetInfo"));
  release = reinterpret_cast<QVACompReleaseFn>(bind("QVACompRelease"));
  create = reinterpret_cast<QVACompCreateFn>(bind("QVACompCreate"));
  if (!libInit || !libRelease || !libGetCount || !getInfo || !release || !create) {
    ADD_FAILURE() << path << " lacks one of the six entry points";
    create = nullptr;
  }
}

LoadedLibrary::~LoadedLibrary() {
  if (module == nullptr) return;
  if (libRelease) libRelease();
  dlclose(module);
}

}  // namespace orx::test
