#pragma once
// The recording and failure layer of the GCX test runtimes (the stand-in and the software
// runtime behind it): each call is recorded with its arguments and answers the code
// GCXSTANDIN_FAIL gives it, 0 when none. Every library built with this file keeps its own state.
#include <cstdint>
#include <initializer_list>
#include <string_view>

#include "tests/support/gcx-stand-in/gcx_stand_in_control.h"

namespace orx::gcx::standin {

uint64_t Arg(const void* p);

// The code GCXSTANDIN_FAIL gives this call (the nth of its entry), 0 when it names nothing
// that matches.
int32_t ConfiguredResult(std::string_view entry, uint32_t extension, std::string_view function, uint32_t nth);

// Records the call and answers its configured code.
int32_t Record(const char* entry, std::initializer_list<uint64_t> args, uint32_t extension = 0,
               const char* function = "");

// The library's state, as GcxStandInControl hands it out.
GcxStandInState& RecordedState();

// Moves a live count; it never drops below 0.
void AddLive(int32_t& counter, int delta);
// Moves a live count by delta when the call succeeded; answers the result.
int32_t CountLive(int32_t result, int32_t& counter, int delta);

// GCXSTANDIN_PENDING: true while the event has had fewer polls than the variable names (each
// such poll counts).
bool KeepPending(uint32_t event);

}  // namespace orx::gcx::standin
