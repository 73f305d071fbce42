#include "venc/gpu/dataflow/fbapi.h"

#include "venc/gpu/dataflow/dataflow_device.h"

namespace orx::dataflow {

int32_t FBAPI_GetDeviceCount(int32_t mode) { return CDataflow::GetDeviceCount(mode); }

int32_t FBAPI_Initialize(int32_t /*mode*/, uint32_t /*configWord*/) { return -1; }

int32_t FBAPI_Shutdown() { return 0; }

}  // namespace orx::dataflow
