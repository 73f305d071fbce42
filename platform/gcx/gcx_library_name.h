#pragma once
// The GCX libraries are named as on the system's original platform ("tyvgcxrt.dll"); on Linux
// each such name is the shared object of the same stem ("tyvgcxrt.so"). Names without the
// ".dll" ending are kept as they are.
#include <string>
#include <string_view>

namespace orx::gcx {

inline std::string GcxLibraryFileName(std::string_view name) {
  constexpr std::string_view kDll = ".dll";
  if (name.ends_with(kDll)) return std::string(name.substr(0, name.size() - kDll.size())) + ".so";
  return std::string(name);
}

}  // namespace orx::gcx
