#pragma once
// A test component library whose own code throws a C++ exception where a test arms it, so the
// test sees each entry of the library answer its failure code instead of letting it out.
#include <cstdint>

// Where the next exception is thrown; each armed place throws once and is then disarmed.
inline constexpr uint32_t kThrowInLibrarySetup = 0x1;     // the global set-up QVACompLibInit runs
inline constexpr uint32_t kThrowInPrivateDefaults = 0x2;  // the private defaults QVACompCreate fills
inline constexpr uint32_t kThrowInCreateHook = 0x4;
inline constexpr uint32_t kThrowInProcessHook = 0x8;
inline constexpr uint32_t kThrowInDestroyHook = 0x10;
inline constexpr uint32_t kThrowInGetFormat = 0x20;  // the library's own method slot

extern "C" {
// Arms the places of the mask.
typedef void (*ThrowingComponentArmFn)(uint32_t where);
// The instances of the library that are alive.
typedef uint32_t (*ThrowingComponentLiveInstancesFn)();
// The private resources that the private defaults made and the release has not freed.
typedef uint32_t (*ThrowingComponentLiveResourcesFn)();
}
