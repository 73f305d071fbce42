#include "venc/core/gpu_setup.h"

#include <thread>

#include "platform/registry.h"
#include "venc/common/profile_file.h"
#include "venc/common/write_log_file.h"
#include "venc/common/dataflow_hooks.h"
#include "venc/gpu/dataflow/dataflow_log.h"
#include "venc/gpu/dataflow/fbapi.h"
#include "venc/gpu/dataflow/msapi.h"

namespace orx::venc {
namespace {

// Process-wide GPU state.
struct GpuSetupState {
  int32_t mode = 0;         // GpuMode: 0 none, 1 dataflow, 2-6 the kernel-library modes
  int32_t deviceCount = 0;  // devices the encoders may use; 0 keeps them on the CPU
  bool initialised = false; // the set-up ran and no shutdown followed
};

GpuSetupState g_gpu;

constexpr int32_t kGpuModeDataflow = 1;
constexpr int32_t kGpuModeFirstKernelLibrary = 2;
constexpr int32_t kGpuModeLastKernelLibrary = 6;

bool IsKernelLibraryMode(int32_t mode) {
  return mode >= kGpuModeFirstKernelLibrary && mode <= kGpuModeLastKernelLibrary;
}

}  // namespace

int32_t InitGpuAcceleration(int32_t mode) {
  if (g_gpu.initialised) return g_gpu.deviceCount;
  uint32_t word = 0;
  if (!platform::RegistryReadDword(kEncoderRegistryKey, "EncodeGpuWaitSleep", word)) word = 0;
  dataflow::DataflowLogf("EncodeGpuWaitSleep = 0x%08x", word);

  g_gpu.mode = mode;
  g_gpu.deviceCount = 0;
  if (mode == kGpuModeDataflow) {
    // The word is the debug control word whatever the devices: FBAPI_Initialize keeps it when
    // devices exist, and the encoder's profiling reads it also when none do.
    dataflow::g_dataflow_config_flags.store(word);
    int32_t count = dataflow::FBAPI_GetDeviceCount(1);
    if (count < 1) {
      count = 0;
    } else if (dataflow::FBAPI_Initialize(1, word) < 0) {
      WriteLogFile("%s", "VIDEOENC: FBAPI_Initialize() failed (falling back on CPU)\n");
      count = 0;
    } else if (dataflow::MSAPI_LibInit() < 0) {
      WriteLogFile("%s", "VIDEOENC: MSAPI_LibInit() failed (falling back on CPU)\n");
      count = 0;
    }
    g_gpu.deviceCount = count;
  } else if (!IsKernelLibraryMode(mode)) {
    dataflow::g_dataflow_config_flags.store(word);
  }
  OpenProfileFile();
  g_gpu.initialised = true;
  return g_gpu.deviceCount;
}

void ShutdownGpuAcceleration() {
  CloseProfileFile();
  if (g_gpu.deviceCount > 0 && g_gpu.mode == kGpuModeDataflow && dataflow::FBAPI_Shutdown() < 0)
    WriteLogFile("%s", "VIDEOENC: FBAPI_Shutdown() failed (falling back on CPU)\n");
  g_gpu.initialised = false;
  g_gpu.deviceCount = 0;
}

void GpuWaitYield(uint32_t /*ms*/, void* /*user*/) { std::this_thread::yield(); }

}  // namespace orx::venc
