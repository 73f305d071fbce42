#pragma once
// The probe library: a second copy of the framework in the test process.
#include <cstdint>
#include <string>

#include "framework/qva_os.h"
#include "tests/support/test_paths.h"

namespace orx::test {

inline std::string FrameworkProbePath() { return TestLibraryDir() + "/libframework_probe.so"; }

struct FrameworkProbe {
  using AllocateFn = void* (*)(uint32_t);
  using FreeFn = uint32_t (*)(void*);
  using RunThreadFn = uint32_t (*)();

  FrameworkProbe() {
    module = QVALoadLibrary(FrameworkProbePath().c_str());
    if (module == nullptr) return;
    allocate = reinterpret_cast<AllocateFn>(QVAGetProcAddress(module, "FrameworkProbeAllocate"));
    free = reinterpret_cast<FreeFn>(QVAGetProcAddress(module, "FrameworkProbeFree"));
    runThread = reinterpret_cast<RunThreadFn>(QVAGetProcAddress(module, "FrameworkProbeRunThread"));
  }
  ~FrameworkProbe() {
    if (module != nullptr) QVAFreeLibrary(module);
  }
  FrameworkProbe(const FrameworkProbe&) = delete;
  FrameworkProbe& operator=(const FrameworkProbe&) = delete;

  bool Loaded() const { return module != nullptr && allocate && free && runThread; }

  void* module = nullptr;
  AllocateFn allocate = nullptr;
  FreeFn free = nullptr;
  RunThreadFn runThread = nullptr;
};

}  // namespace orx::test
