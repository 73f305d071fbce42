#pragma once
// Process-wide words of the GPU dataflow layer, zero at load. They sit with the records every
// encoder layer shares because the encoder core and its profiling read them too.
#include <atomic>
#include <cstdint>

namespace orx::dataflow {

// The debug control word (registry value "EncodeGpuWaitSleep"): bits 0-3 the poll code of GPU
// waits, bits 4-11 the performance counters, bytes 2 and 3 the MvSelect4x4 search half-ranges.
extern std::atomic<uint32_t> g_dataflow_config_flags;

// Called between polls of a GPU wait instead of sleeping; the encoder installs GpuWaitYield.
using DataflowWaitHook = void (*)(uint32_t ms, void* user);
extern std::atomic<DataflowWaitHook> g_dataflow_wait_hook;

// When set, a GPU wait hands itself to it first (poll answers 1 done, 0 pending, -1 error).
using DataflowPollFn = int32_t (*)(void* pollContext);
using DataflowWaitCallback = int32_t (*)(DataflowPollFn poll, void* pollContext, uint32_t ms, void* user);
extern std::atomic<DataflowWaitCallback> g_dataflow_wait_callback;

// When set, receives every log line of the layer instead of the encoder's log file.
using DataflowLogCallback = void (*)(const char* text);
extern std::atomic<DataflowLogCallback> g_dataflow_log_callback;

}  // namespace orx::dataflow
