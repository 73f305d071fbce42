#pragma once
// What a test reads of the GCX stand-in runtime or compiler: live counts and the calls it saw.
// Each stand-in library exports `GcxStandInControl`; a test reopens the library that the code
// under test loaded (dlopen with RTLD_NOLOAD) and reads its state through it.
//
// Behaviour on demand, read from the environment at every call:
//   GCXSTANDIN_FAIL=entry=code[,entry@qualifier=code...]  the entry answers code instead of 0;
//       the qualifier limits it to calls naming that extension id (hex, e.g. @0x1006) or that
//       function name (e.g. gcxExtGetProc@gcxResCreate1D=3).
//       A qualifier #n limits it to the n-th call of the entry (e.g. gcxResAllocRemote2D#3=5).
//   GCXSTANDIN_DEVICES=n  what gcxDeviceGetCount answers (1 when unset).
//   GCXSTANDIN_VERSION=major.minor.build  what gcxGetVersion answers (1.2.3 when unset).
//   GCXSTANDIN_PENDING=n  each event answers 8 (still running) to its first n polls.
//   GCXSTANDIN_COUNTERS=1  the stand-in offers the performance-counter extensions (0x8005 and
//       0x1004) and their six entries; gcxCtxGetPrivateCounter fills word i with 1000 + i.
#include <cstdint>

namespace orx::gcx::standin {

inline constexpr int kMaxRecordedCalls = 256;
inline constexpr int kMaxRecordedArgs = 8;

struct GcxStandInCall {
  char entry[40];
  uint32_t argCount;
  uint64_t args[kMaxRecordedArgs];  // pointers as addresses, numbers as values
  int32_t result;
};

struct GcxStandInState {
  int32_t liveInitialisations;  // gcxInit successes not yet ended by gcxShutdown
  int32_t loadedModules;        // gcxModuleLoad successes not yet unloaded
  int32_t liveResources;        // resources allocated or created and not yet freed
  int32_t liveContexts;         // gcxCtxCreate successes not yet destroyed
  int32_t openDevices;          // gcxDeviceOpen successes not yet closed
  uint32_t callCount;           // calls made; the first kMaxRecordedCalls are kept (a test may zero it)
  GcxStandInCall calls[kMaxRecordedCalls];
};

using GcxStandInControlFn = GcxStandInState* (*)();
inline constexpr const char* kControlEntryName = "GcxStandInControl";

}  // namespace orx::gcx::standin
