#pragma once
// The wait for queued GPU work: one event of one context, polled with the policy of bits 0-3 of
// the debug control word (code 0..13 pauses code + 1 ms, 14 pauses 0 ms, 15 polls without any
// pause). A wait callback, when set, takes the wait first; each pause goes to the wait hook
// when one is set (the encoder installs a yield), else to a sleep.
#include <cstdint>

#include "platform/gcx/gcx_api.h"

namespace orx::dataflow {

struct GcxEventWait {
  gcx::GcxContext context;
  gcx::GcxEvent event;
};

// 0 when the event finished, else the runtime's error result (1 when the wait callback refused).
int32_t gcxCtxWaitForEventDone(gcx::GcxContext context, gcx::GcxEvent event, void* user);

// The poll function handed to the wait callback: pollContext is a GcxEventWait. 1 finished,
// 0 pending, -1 error.
int32_t IsGcxEventDone(void* pollContext);

// The pause between polls of the current debug control word, in ms; 16 means no pause.
uint32_t DataflowPollPauseMs(uint32_t configFlags);

}  // namespace orx::dataflow
