#pragma once
// Kernel events on POSIX: a latched atomic flag, with a mutex and condition variable for the
// waiters that sleep. An auto-reset event hands one Set to exactly one waiter; a manual-reset
// event stays set until reset. Named
// events are shared inside the process through a name table (nothing needs cross-process events).
#include <cstdint>

namespace orx::platform {

class Event;

inline constexpr uint32_t kWaitForever = 0xFFFFFFFFu;

enum class WaitResult { kSignalled, kTimedOut };

// nullptr when the system (or the test hook) refuses. An event with a name that already exists
// is that event, its flags unchanged, with one more reference.
Event* CreateEvent(bool manualReset, bool initiallySignalled, const char* name);
// Drops one reference; the event goes when the last one is dropped.
void DestroyEvent(Event* event);
void SetEvent(Event* event);
void ResetEvent(Event* event);
// timeoutMs kWaitForever waits without limit; 0 tests once.
WaitResult WaitEvent(Event* event, uint32_t timeoutMs);

using EventCreateFn = Event* (*)(bool manualReset, bool initiallySignalled, const char* name);
// Replaces event creation (nullptr restores it); answers the previous hook.
EventCreateFn SetEventCreateHook(EventCreateFn hook);

}  // namespace orx::platform
