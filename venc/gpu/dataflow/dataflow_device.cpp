// CDataflow's device table and the objects' devices: InitDevices, ShutdownDevices,
// OpenDevice, CloseDevice and the error report.
#include "venc/gpu/dataflow/dataflow_device.h"

#include <cstdio>
#include <cstring>

#include "venc/common/dataflow_hooks.h"
#include "venc/gpu/dataflow/dataflow_log.h"
#include "venc/gpu/dataflow/dataflow_process_state.h"
#include "venc/gpu/dataflow/gcx_binding.h"

namespace orx::dataflow {
namespace {

DataflowProcessState g_state;

constexpr uint32_t kAttribsRecordSize = 68;
constexpr uint32_t kStatusRecordSize = 16;
constexpr gcx::GcxName kFetch4Sampler = 1;
constexpr uint32_t kFetch4On = 1;

// The six counter entries in their binding order. The first the runtime refuses is logged by
// name and leaves none bound.
bool BindCounterEntries(DataflowCounterEntries& entries) {
  struct Binding {
    uint32_t extension;
    const char* name;
  };
  constexpr Binding kOrder[] = {
      {gcx::GCX_EXT_PRIVATE_COUNTERS, "gcxCtxCreatePrivateCounter"},
      {gcx::GCX_EXT_COUNTERS, "gcxCtxDestroyCounter"},
      {gcx::GCX_EXT_PRIVATE_COUNTERS, "gcxCtxConfigPrivateCounter"},
      {gcx::GCX_EXT_COUNTERS, "gcxCtxBeginCounter"},
      {gcx::GCX_EXT_COUNTERS, "gcxCtxEndCounter"},
      {gcx::GCX_EXT_PRIVATE_COUNTERS, "gcxCtxGetPrivateCounter"},
  };
  gcx::GcxProc bound[6] = {};
  for (int i = 0; i < 6; ++i) {
    if (gcx::gcxExtGetProc(&bound[i], kOrder[i].extension, kOrder[i].name) != 0 || bound[i] == nullptr) {
      DataflowLogf("CDataflow::InitDevices() gcxExtGetProc(%s) failed", kOrder[i].name);
      entries = {};
      return false;
    }
  }
  entries.create = reinterpret_cast<gcx::PfnGcxCtxCreatePrivateCounter>(bound[0]);
  entries.destroy = reinterpret_cast<gcx::PfnGcxCtxDestroyCounter>(bound[1]);
  entries.config = reinterpret_cast<gcx::PfnGcxCtxConfigPrivateCounter>(bound[2]);
  entries.begin = reinterpret_cast<gcx::PfnGcxCtxBeginCounter>(bound[3]);
  entries.end = reinterpret_cast<gcx::PfnGcxCtxEndCounter>(bound[4]);
  entries.get = reinterpret_cast<gcx::PfnGcxCtxGetPrivateCounter>(bound[5]);
  return true;
}

// Opens one GCX device ordinal into its row and logs its line; false when the open fails.
bool OpenGcxDevice(DataflowDevice& device, int32_t ordinal) {
  const uint32_t ord = static_cast<uint32_t>(ordinal);
  gcx::gcxDeviceGetInfo(&device.deviceInfo, ord);
  device.deviceHandle = 0;
  if (gcx::gcxDeviceOpen(&device.deviceHandle, ord) != 0) {
    DataflowLogf("CDataflow::InitDevices() gcxDeviceOpen(*,%d) failed", ordinal);
    return false;
  }
  int32_t major = 0, minor = 0, build = 0;
  if (gcx::gcxGetVersion(&major, &minor, &build) != 0) major = minor = build = 0;
  gcx::GcxDeviceAttribs attribs{};
  attribs.size = kAttribsRecordSize;
  gcx::GcxDeviceStatus status{};
  status.size = kStatusRecordSize;
  const int target = static_cast<int>(device.deviceInfo.target);
  if (gcx::gcxDeviceGetAttribs(&attribs, ord) == 0 && gcx::gcxDeviceGetStatus(&status, device.deviceHandle) == 0) {
    DataflowLogf(
        "Dataflow [GCX-SDK #%d.%02d.%d] [dev#%d GCXtarget=%d eng@%dMHz/mem@%dMHz local/%dMB cached/%dMB "
        "uncached/%dMB]",
        major, minor, build, ordinal, target, static_cast<int>(attribs.engineClockMHz),
        static_cast<int>(attribs.memoryClockMHz), static_cast<int>(status.freeLocalMB),
        static_cast<int>(status.freeCachedRemoteMB), static_cast<int>(status.freeUncachedRemoteMB));
  } else {
    DataflowLogf("Dataflow [GCX-SDK #%d.%02d.%d] [dev#%d GCXtarget=%d]", major, minor, build, ordinal, target);
  }
  return true;
}

bool BindSamplerParameter() {
  gcx::GcxProc address = nullptr;
  g_state.setSamplerParameter = nullptr;
  if (gcx::gcxExtGetProc(&address, gcx::GCX_EXT_SAMPLER_PARAM, "gcxCtxSetSamplerParameter") != 0 || address == nullptr)
    return false;
  g_state.setSamplerParameter = reinterpret_cast<gcx::PfnGcxCtxSetSamplerParameter>(address);
  return true;
}

}  // namespace

DataflowProcessState& DataflowState() { return g_state; }

DataflowDevice* GetDataflowDevice(int32_t row) {
  if (row < 0 || row >= kDataflowMaxDevices || g_state.devices[row].index < 0) return nullptr;
  return &g_state.devices[row];
}

int32_t CDataflow::GetDeviceCount(int32_t mode) {
  if (mode == kDataflowDeviceCpu) return 1;
  if (mode != kDataflowDeviceGcx) return 0;
  if (!g_state.runtimeInitialised) {
    if (gcx::gcxInit() != 0) {
      DataflowLog("CDataflow::GetDeviceCount() *** gcxInit() failed");
      return -1;
    }
    g_state.runtimeInitialised = true;
  }
  uint32_t count = 0;
  if (gcx::gcxDeviceGetCount(&count) != 0) return 0;
  return static_cast<int32_t>(count);
}

// The steps of the device set-up:
// 1. keep the debug control word; 2. refuse other modes; 3. mark every row not open;
// 4. count the devices (at most 8); 5. bind the sampler entry and, when the private-counter
// extension exists, the counter entries; 6. open each GPU ordinal; 7. number the rows that
// opened; 8. answer the count, or -1 for none.
int32_t CDataflow::InitDevices(int32_t mode, uint32_t configWord) {
  g_dataflow_config_flags.store(configWord);
  if (mode != kDataflowDeviceCpu && mode != kDataflowDeviceGcx) {
    DataflowLog("CDataflow::InitDevices() requested device not supported in this build");
    return -1;
  }
  // Every row takes the mode, opened or not: the common buffers follow row 0's mode, which
  // must be the set-up's even when ordinal 0 fails to open.
  for (DataflowDevice& device : g_state.devices) {
    device.mode = mode;
    device.index = -1;
    device.openCount = 0;
  }
  int32_t n = GetDeviceCount(mode);
  if (n > kDataflowMaxDevices) n = kDataflowMaxDevices;
  if (n < 1) return -1;

  bool opened[kDataflowMaxDevices] = {};
  if (mode == kDataflowDeviceGcx) {
    g_state.counters = {};
    if (!BindSamplerParameter()) {
      DataflowLog("CDataflow::InitDevices() gcxExtGetProc(gcxCtxSetSamplerParameter) failed");
      return -1;
    }
    if (gcx::gcxExtSupported(gcx::GCX_EXT_PRIVATE_COUNTERS) == 0 && !BindCounterEntries(g_state.counters))
      return -1;
    for (int32_t ordinal = 0; ordinal < n; ++ordinal) opened[ordinal] = OpenGcxDevice(g_state.devices[ordinal], ordinal);
  } else {
    for (int32_t row = 0; row < n; ++row) opened[row] = true;
  }

  int32_t count = 0;
  for (int32_t row = 0; row < n; ++row) {
    if (opened[row]) g_state.devices[row].index = count++;
  }
  return count > 0 ? count : -1;
}

int32_t CDataflow::ShutdownDevices() {
  for (DataflowDevice& device : g_state.devices) {
    if (device.index < 0) continue;
    if (device.mode == kDataflowDeviceGcx && device.deviceHandle != 0) gcx::gcxDeviceClose(device.deviceHandle);
    device.index = -1;
  }
  if (g_state.runtimeInitialised) {
    if (gcx::gcxShutdown() != 0)
      DataflowLog("CDataflow::ShutdownDevices() gcxShutdown() failed *********************");
    g_state.runtimeInitialised = false;
  }
  return 0;
}

CDataflow::CDataflow()
    : deviceType_(-1), row_(-1), errorFlag_(0), errorText_{}, lastEvent_(0), context_(0), counter_(0),
      counterResults_{} {}

// The steps of taking a device:
// 1. find the open row whose index matches; 2. take it; 3. create the context; 4. set sampler 1
// to four-texel fetches; 5. create and configure the counter when the extension exists. A CPU
// row needs none of 3-5: it opens and closes without any GCX call.
int32_t CDataflow::OpenDevice(int32_t index) {
  errorFlag_ = 0;
  row_ = -1;
  for (int32_t row = 0; row < kDataflowMaxDevices; ++row) {
    if (g_state.devices[row].index >= 0 && g_state.devices[row].index == index) {
      row_ = row;
      break;
    }
  }
  if (row_ < 0) {
    LogError("CDataflow::OpenDevice(%d) -- not a valid device", index);
    return -1;
  }
  DataflowDevice& device = g_state.devices[row_];
  deviceType_ = device.mode;
  ++device.openCount;
  lastEvent_ = 0;
  context_ = 0;
  counter_ = 0;
  if (deviceType_ != kDataflowDeviceGcx) return 0;

  if (gcx::gcxCtxCreate(&context_, device.deviceHandle) != 0) {
    LogError("CDataflow::OpenDevice(%d) gcxCtxCreate() failed", row_);
    return -1;
  }
  const uint32_t fetch4 = kFetch4On;
  const gcx::GcxResult sampler =
      g_state.setSamplerParameter != nullptr
          ? g_state.setSamplerParameter(context_, kFetch4Sampler, gcx::GCX_SAMPLER_PARAM_FETCH4, &fetch4)
          : 1;
  if (sampler != 0) {
    LogError("CDataflow::OpenDevice(%d) gcxCtxSetSamplerParameter(s1,GCX_SAMPLER_PARAM_FETCH4,1) failed", row_);
    return -1;
  }
  const DataflowCounterEntries& counters = g_state.counters;
  if (counters.create != nullptr) {
    counters.create(&counter_, context_);
    // The runtime's own counter selection: (block, slot, selector).
    constexpr uint32_t kCounterConfig[4][3] = {{1, 0, 0}, {21, 0, 1}, {6, 0, 67}, {6, 1, 68}};
    for (const auto& config : kCounterConfig) counters.config(context_, counter_, config[0], config[1], config[2]);
  }
  return 0;
}

int32_t CDataflow::CloseDevice() {
  if (row_ >= 0) {
    DataflowDevice& device = g_state.devices[row_];
    if (deviceType_ == kDataflowDeviceGcx) {
      if (g_state.counters.destroy != nullptr && counter_ != 0) g_state.counters.destroy(context_, counter_);
      gcx::gcxCtxDestroy(context_);
    }
    if (device.openCount > 0) --device.openCount;
  }
  counter_ = 0;
  context_ = 0;
  row_ = -1;
  deviceType_ = -1;
  return 0;
}

void CDataflow::ReportError(bool flush, const char* format, va_list args) {
  errorFlag_ = 1;
  std::vsnprintf(errorText_, sizeof(errorText_), format, args);
  DataflowLog(errorText_);
  std::fprintf(stderr, "%s\n", errorText_);
  if (flush) std::fflush(stderr);
}

void CDataflow::LogError(const char* format, ...) {
  va_list args;
  va_start(args, format);
  ReportError(true, format, args);
  va_end(args);
}

void CDataflow::LogErrorShort(const char* format, ...) {
  va_list args;
  va_start(args, format);
  ReportError(false, format, args);
  va_end(args);
}

}  // namespace orx::dataflow
