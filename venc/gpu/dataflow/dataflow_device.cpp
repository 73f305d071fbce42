#include "venc/gpu/dataflow/dataflow_device.h"

#include "venc/gpu/dataflow/dataflow_log.h"
#include "venc/gpu/dataflow/gcx_binding.h"

namespace orx::dataflow {

// Written only under the encoder's set-up lock.
bool CDataflow::s_runtimeInitialised = false;

int32_t CDataflow::GetDeviceCount(int32_t mode) {
  if (mode == 0) return 1;
  if (mode != 1) return 0;
  if (!s_runtimeInitialised) {
    if (gcx::gcxInit() != 0) {
      DataflowLog("CDataflow::GetDeviceCount() *** gcxInit() failed");
      return -1;
    }
    s_runtimeInitialised = true;
  }
  uint32_t count = 0;
  if (gcx::gcxDeviceGetCount(&count) != 0) return 0;
  return static_cast<int32_t>(count);
}

}  // namespace orx::dataflow
