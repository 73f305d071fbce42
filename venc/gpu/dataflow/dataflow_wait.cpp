#include "venc/gpu/dataflow/dataflow_wait.h"

#include <chrono>
#include <thread>

#include "venc/common/dataflow_hooks.h"
#include "venc/gpu/dataflow/dataflow_device.h"
#include "venc/gpu/dataflow/gcx_binding.h"

namespace orx::dataflow {
namespace {

constexpr uint32_t kPollCodeMask = 15;
constexpr uint32_t kYieldPause = 15;    // code 14: pauses of 0 ms
constexpr uint32_t kPauseLimit = 15;    // code 15 gives 16: no pause at all

}  // namespace

uint32_t DataflowPollPauseMs(uint32_t configFlags) {
  uint32_t ms = (configFlags & kPollCodeMask) + 1;
  return ms == kYieldPause ? 0 : ms;
}

int32_t IsGcxEventDone(void* pollContext) {
  const auto* wait = static_cast<const GcxEventWait*>(pollContext);
  const gcx::GcxResult r = gcx::gcxCtxIsEventDone(wait->context, wait->event);
  if (r == gcx::GCX_RESULT_OK) return 1;
  return r == gcx::GCX_RESULT_PENDING ? 0 : -1;
}

// The steps of the wait: 1. the pause from the poll code; 2. the wait callback first, when
// set (a negative answer ends the wait with 1); 3. poll until the event is no longer pending,
// pausing between polls; 4. the last poll's result.
int32_t gcxCtxWaitForEventDone(gcx::GcxContext context, gcx::GcxEvent event, void* user) {
  const uint32_t ms = DataflowPollPauseMs(g_dataflow_config_flags.load());
  if (DataflowWaitCallback callback = g_dataflow_wait_callback.load()) {
    GcxEventWait wait{context, event};
    if (callback(&IsGcxEventDone, &wait, ms, user) < 0) return 1;
  }
  gcx::GcxResult r = gcx::gcxCtxIsEventDone(context, event);
  while (r == gcx::GCX_RESULT_PENDING) {
    if (ms < kPauseLimit) {
      if (DataflowWaitHook hook = g_dataflow_wait_hook.load()) hook(ms, user);
      else std::this_thread::sleep_for(std::chrono::milliseconds(ms));
    }
    r = gcx::gcxCtxIsEventDone(context, event);
  }
  return r;
}

int32_t CDataflow::WaitForEvent(void* user) {
  if (!IsGpuObject() || lastEvent_ == 0) return 0;
  if (gcxCtxWaitForEventDone(context_, lastEvent_, user) != 0) {
    LogError("gcxCtxWaitForEventDone() failed");
    return -1;
  }
  lastEvent_ = 0;
  return 0;
}

int32_t CDataflow::Flush() {
  if (IsGpuObject()) gcx::gcxCtxFlush(context_);
  return 0;
}

}  // namespace orx::dataflow
