#pragma once
// A scaler component library opened by file name with its six exports bound, as the engine
// loads it (qvavscaler.so from the deliverables' folder, or a test variant from the test folder).
#include <string>

#include "framework/component_library.h"
#include "platform/library_loader.h"

namespace orx::vscaler::test {

struct ScalerLibrary {
  explicit ScalerLibrary(const std::string& path) {
    module = platform::LoadLibrary(path.c_str());
    if (module == nullptr) return;
    getInfo = reinterpret_cast<QVACompGetInfoFn>(platform::GetLibrarySymbol(module, "QVACompGetInfo"));
    getCount = reinterpret_cast<QVACompLibGetCountFn>(platform::GetLibrarySymbol(module, "QVACompLibGetCount"));
    create = reinterpret_cast<QVACompCreateFn>(platform::GetLibrarySymbol(module, "QVACompCreate"));
    release = reinterpret_cast<QVACompReleaseFn>(platform::GetLibrarySymbol(module, "QVACompRelease"));
  }
  ~ScalerLibrary() {
    if (module != nullptr) platform::FreeLibrary(module);
  }
  ScalerLibrary(const ScalerLibrary&) = delete;
  ScalerLibrary& operator=(const ScalerLibrary&) = delete;

  void* module = nullptr;
  QVACompGetInfoFn getInfo = nullptr;
  QVACompLibGetCountFn getCount = nullptr;
  QVACompCreateFn create = nullptr;
  QVACompReleaseFn release = nullptr;
};

}  // namespace orx::vscaler::test
