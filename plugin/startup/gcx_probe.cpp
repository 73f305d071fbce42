#include "plugin/startup/gcx_probe.h"

#include <cstring>
#include <string>

#include "platform/gcx/gcx_api.h"
#include "platform/gcx/gcx_library_name.h"
#include "platform/library_loader.h"

namespace orx::plugin {
namespace {

// The libraries' names as the system quotes them, mapped to the platform's file names.
const std::string kRuntimeLibrary = gcx::GcxLibraryFileName("orxgcxrt.dll");
const std::string kCompilerLibrary = gcx::GcxLibraryFileName("orxgcxcl.dll");
constexpr size_t kFolderBytes = 512;
constexpr int kMaxDevices = 4;

struct GcxState {
  GcxBinding binding{};
  bool bound = false;
  bool initialised = false;
  GcxVersion version{};
  GcxDeviceEntry devices[kMaxDevices]{};
  int openedCount = 0;
  char folder[kFolderBytes] = {};
};
GcxState g_gcx;

template <typename Fn>
Fn Entry(void* address) {
  return reinterpret_cast<Fn>(address);
}

std::string FolderWithSeparator(const char* folder) {
  std::string text = folder ? std::string(folder).substr(0, kFolderBytes - 2) : std::string();
  if (!text.empty() && text.back() != '/') text += '/';
  return text;
}

// Counts the devices, starting the runtime when it is not bound.
int CountDevices() {
  if (!g_gcx.bound) return GcxRuntimeStart(nullptr, nullptr, nullptr);
  uint32_t count = 0;
  if (!g_gcx.initialised || !g_gcx.binding.gcxDeviceGetCount ||
      Entry<gcx::PfnGcxDeviceGetCount>(g_gcx.binding.gcxDeviceGetCount)(&count) != 0) {
    return 0;
  }
  return static_cast<int>(count);
}

}  // namespace

void SetGcxRuntimeFolder(const char* folder) {
  std::memset(g_gcx.folder, 0, sizeof(g_gcx.folder));
  if (folder) std::strncpy(g_gcx.folder, folder, kFolderBytes - 1);
}

const char* GcxRuntimeFolder() { return g_gcx.folder; }

GcxVersion GcxKnownVersion() { return g_gcx.version; }

int GcxOpenedDeviceCount() { return g_gcx.openedCount; }

int GcxLoadLibraries(const char* folder, GcxBinding* binding) {
  std::string base = folder ? folder : "";
  binding->runtimeLibrary = platform::LoadLibrary((base + kRuntimeLibrary).c_str());
  if (!binding->runtimeLibrary) return 1;
  binding->compilerLibrary = platform::LoadLibrary((base + kCompilerLibrary).c_str());
  if (!binding->compilerLibrary) {
    // Leave nothing loaded behind a failed load.
    platform::FreeLibrary(binding->runtimeLibrary);
    binding->runtimeLibrary = nullptr;
    return 1;
  }
  return 0;
}

int GcxBindRuntime(GcxBinding* binding, const char* folder) {
  *binding = GcxBinding{};
  std::string path = folder ? FolderWithSeparator(folder) : std::string();
  if (GcxLoadLibraries(folder ? path.c_str() : nullptr, binding) != 0) return 1;
  void* lib = binding->runtimeLibrary;
  binding->gcxInit = platform::GetLibrarySymbol(lib, "gcxInit");
  binding->gcxGetVersion = platform::GetLibrarySymbol(lib, "gcxGetVersion");
  binding->gcxShutdown = platform::GetLibrarySymbol(lib, "gcxShutdown");
  binding->gcxDeviceGetCount = platform::GetLibrarySymbol(lib, "gcxDeviceGetCount");
  binding->gcxDeviceGetInfo = platform::GetLibrarySymbol(lib, "gcxDeviceGetInfo");
  binding->gcxDeviceGetAttribs = platform::GetLibrarySymbol(lib, "gcxDeviceGetAttribs");
  binding->gcxDeviceGetStatus = platform::GetLibrarySymbol(lib, "gcxDeviceGetStatus");
  binding->gcxDeviceOpen = platform::GetLibrarySymbol(lib, "gcxDeviceOpen");
  binding->gcxDeviceClose = platform::GetLibrarySymbol(lib, "gcxDeviceClose");
  bool required = binding->gcxInit && binding->gcxGetVersion && binding->gcxShutdown &&
                  binding->gcxDeviceGetCount && binding->gcxDeviceGetInfo &&
                  binding->gcxDeviceOpen && binding->gcxDeviceClose;
  if (!required) {
    GcxUnbindRuntime(binding);  // a failed binding keeps no library loaded
    return 1;
  }
  return 0;
}

int GcxUnbindRuntime(GcxBinding* binding) {
  if (binding->runtimeLibrary) platform::FreeLibrary(binding->runtimeLibrary);
  if (binding->compilerLibrary) platform::FreeLibrary(binding->compilerLibrary);
  *binding = GcxBinding{};
  return 0;
}

int GcxRuntimeStart(uint32_t* major, uint32_t* minor, uint32_t* patch) {
  if (!g_gcx.bound) {
    if (GcxBindRuntime(&g_gcx.binding, g_gcx.folder[0] ? g_gcx.folder : nullptr) != 0) return -1;
    g_gcx.bound = true;
    if (!g_gcx.binding.gcxGetVersion) return -2;
    int32_t v[3] = {0, 0, 0};
    Entry<gcx::PfnGcxGetVersion>(g_gcx.binding.gcxGetVersion)(&v[0], &v[1], &v[2]);
    if (v[0] < 1 || (v[0] == 1 && v[1] == 0)) return -3;
    g_gcx.version = GcxVersion{true, static_cast<uint32_t>(v[0]), static_cast<uint32_t>(v[1]),
                               static_cast<uint32_t>(v[2])};
  }
  if (major) *major = g_gcx.version.major;
  if (minor) *minor = g_gcx.version.minor;
  if (patch) *patch = g_gcx.version.patch;
  if (!g_gcx.initialised) {
    if (Entry<gcx::PfnGcxInit>(g_gcx.binding.gcxInit)() != 0) return -1;
    g_gcx.initialised = true;
  }
  uint32_t count = 0;
  if (Entry<gcx::PfnGcxDeviceGetCount>(g_gcx.binding.gcxDeviceGetCount)(&count) != 0) return 0;
  return static_cast<int>(count);
}

int GcxGetDeviceCount() { return CountDevices(); }

int GcxOpenDevices() {
  int count = CountDevices();
  int opened = 0;
  for (int i = 0; i < count && i < kMaxDevices; ++i) {
    GcxDeviceEntry& entry = g_gcx.devices[i];
    Entry<gcx::PfnGcxDeviceGetInfo>(g_gcx.binding.gcxDeviceGetInfo)(&entry.info, static_cast<uint32_t>(i));
    entry.device = 0;
    if (Entry<gcx::PfnGcxDeviceOpen>(g_gcx.binding.gcxDeviceOpen)(&entry.device,
                                                            static_cast<uint32_t>(i)) == 0) {
      entry.index = i;
      entry.open = 1;
      ++opened;
    }
  }
  g_gcx.openedCount = opened;
  return opened > 0 ? opened : -1;
}

int GcxProbeDeviceCount() {
  int count = CountDevices();
  if (count >= 1 && GcxOpenDevices() <= 0) return 0;
  return count;
}

int GcxProbeDevices(const char* folder) {
  if (folder) SetGcxRuntimeFolder(folder);
  int n = GcxProbeDeviceCount();
  if (n < 0) {
    GcxRuntimeStop();
    return n;
  }
  for (int i = 0; i < n; ++i) {
    gcx::GcxDeviceInfo info{};
    if (Entry<gcx::PfnGcxDeviceGetInfo>(g_gcx.binding.gcxDeviceGetInfo)(&info, static_cast<uint32_t>(i)) ==
            0 &&
        g_gcx.binding.gcxDeviceGetAttribs) {
      // The probe asks with a size word of 28; the record has room for the runtime's whole
      // answer all the same.
      gcx::GcxDeviceAttribs attribs{};
      attribs.size = 28;
      Entry<gcx::PfnGcxDeviceGetAttribs>(g_gcx.binding.gcxDeviceGetAttribs)(&attribs,
                                                                      static_cast<uint32_t>(i));
    }
  }
  if (g_gcx.bound && g_gcx.initialised) {
    uint32_t device = 0;
    int32_t answer = Entry<gcx::PfnGcxDeviceOpen>(g_gcx.binding.gcxDeviceOpen)(&device, 0);
    // 4 is an answer of a device that is already open, which serves as well.
    if (answer != 0 && answer != 4) {
      GcxRuntimeStop();
      return 0;
    }
    if (answer == 0 && device != 0) Entry<gcx::PfnGcxDeviceClose>(g_gcx.binding.gcxDeviceClose)(device);
    uint32_t again = 0;
    if (Entry<gcx::PfnGcxDeviceGetCount>(g_gcx.binding.gcxDeviceGetCount)(&again) == 0) {
      n = static_cast<int>(again);
    }
  }
  GcxRuntimeStop();
  return n;
}

int GcxRuntimeStop() {
  for (GcxDeviceEntry& entry : g_gcx.devices) {
    if (entry.open && g_gcx.binding.gcxDeviceClose) {
      Entry<gcx::PfnGcxDeviceClose>(g_gcx.binding.gcxDeviceClose)(entry.device);
    }
    entry.open = 0;
    entry.index = -1;
  }
  g_gcx.openedCount = 0;
  if (g_gcx.initialised) {
    Entry<gcx::PfnGcxShutdown>(g_gcx.binding.gcxShutdown)();
    g_gcx.initialised = false;
  }
  if (g_gcx.bound) {
    GcxUnbindRuntime(&g_gcx.binding);
    g_gcx.bound = false;
  }
  return 0;
}

}  // namespace orx::plugin
