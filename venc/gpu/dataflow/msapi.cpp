#include "venc/gpu/dataflow/msapi.h"

namespace orx::dataflow {

int32_t MSAPI_LibInit() { return 0; }

}  // namespace orx::dataflow
