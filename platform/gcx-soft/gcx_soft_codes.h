#pragma once
// The result codes the software GCX runtime and compiler answer besides 0 (success) and 8
// (an event still pending, which never occurs here: every run is done when it returns). 4 is
// left out on purpose: callers take it from a device open as "already open".
#include <cstdint>

namespace orx::gcxsoft {

inline constexpr int32_t kGcxSoftFailed = 1;          // not initialised, shut down too often
inline constexpr int32_t kGcxSoftInvalidHandle = 2;   // an id that is unknown, freed or of another kind
inline constexpr int32_t kGcxSoftInvalidArgument = 3; // a null pointer, a size or format out of range
inline constexpr int32_t kGcxSoftOutOfMemory = 5;
inline constexpr int32_t kGcxSoftCompileError = 6;    // a program text the compiler refuses
inline constexpr int32_t kGcxSoftUnsupported = 7;     // an entry or extension this runtime lacks
inline constexpr int32_t kGcxSoftNotReady = 9;        // a run whose inputs, outputs or domain do not fit

}  // namespace orx::gcxsoft
