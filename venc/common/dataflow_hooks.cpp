#include "venc/common/dataflow_hooks.h"

namespace orx::dataflow {

std::atomic<uint32_t> g_dataflow_config_flags{0};
std::atomic<DataflowWaitHook> g_dataflow_wait_hook{nullptr};
std::atomic<DataflowWaitCallback> g_dataflow_wait_callback{nullptr};
std::atomic<DataflowLogCallback> g_dataflow_log_callback{nullptr};

}  // namespace orx::dataflow
