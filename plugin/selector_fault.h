#pragma once
// A fault a test arms to throw a C++ exception inside the handling of one selector, so that it
// sees the plug-in's entry answer its failure code instead of letting the exception out. Compiled
// in always and off unless a test arms it, so the entry under test is the one that ships.
#include <cstdint>

namespace orx::plugin {

inline constexpr int32_t kNoSelectorFault = -1;

// The next call of the selector throws (once); kNoSelectorFault disarms.
void ArmSelectorFaultForTest(int32_t selector);

// Throws std::runtime_error when the selector is armed, and disarms it.
void ThrowIfSelectorFaultArmed(int32_t selector);

}  // namespace orx::plugin
