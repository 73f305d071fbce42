#pragma once
// The GPU half of the capability probe: binds the GCX runtime by name, checks its version,
// counts and opens its devices. Nothing in an export reaches it; it is kept with the folder that
// the installation set-up gives it.
#include <cstdint>

#include "platform/gcx/gcx_api.h"

namespace orx::plugin {

struct GcxDeviceEntry {
  uint32_t open;
  uint32_t device;
  int32_t index;  // -1 free
  gcx::GcxDeviceInfo info;
};

struct GcxBinding {
  void* runtimeLibrary;
  void* compilerLibrary;
  void* gcxInit;
  void* gcxGetVersion;
  void* gcxShutdown;
  void* gcxDeviceGetCount;
  void* gcxDeviceGetInfo;
  void* gcxDeviceGetAttribs;
  void* gcxDeviceGetStatus;
  void* gcxDeviceOpen;
  void* gcxDeviceClose;
};

struct GcxVersion {
  bool known;
  uint32_t major;
  uint32_t minor;
  uint32_t patch;
};

// Copies up to 512 bytes of folder text.
void SetGcxRuntimeFolder(const char* folder);
const char* GcxRuntimeFolder();

int GcxLoadLibraries(const char* folder, GcxBinding* binding);  // 0 or 1
int GcxBindRuntime(GcxBinding* binding, const char* folder);    // 0 bound, 1 failed
int GcxUnbindRuntime(GcxBinding* binding);                       // 0
// Device count, or -1 (binding or initialisation failed), -2 (no version), -3 (too old).
int GcxRuntimeStart(uint32_t* major, uint32_t* minor, uint32_t* patch);
int GcxGetDeviceCount();
int GcxProbeDeviceCount();
int GcxOpenDevices();
int GcxProbeDevices(const char* folder);
int GcxRuntimeStop();

// The version read by the last start (known stays set after the runtime stopped).
GcxVersion GcxKnownVersion();
// Devices opened now (0 after a stop).
int GcxOpenedDeviceCount();

}  // namespace orx::plugin
