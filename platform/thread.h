#pragma once
// Threads on pthreads: start with a stack size, join, and per-thread priority levels.
#include <sys/types.h>

#include <cstddef>

namespace orx::platform {

class NativeThread;

using ThreadProc = void (*)(void* argument);

// Starts proc(argument) on a new thread. stackSize 0 takes the default, any other value is
// raised to at least PTHREAD_STACK_MIN. nullptr when the system (or the test hook) refuses.
NativeThread* StartNativeThread(ThreadProc proc, void* argument, size_t stackSize);
// Waits until the thread has ended and frees it. Called from the thread itself it only detaches,
// since a thread cannot wait for its own end.
void JoinNativeThread(NativeThread* thread);

using ThreadStartFn = NativeThread* (*)(ThreadProc proc, void* argument, size_t stackSize);
// Replaces thread creation (nullptr restores it); answers the previous hook.
ThreadStartFn SetThreadStartHook(ThreadStartFn hook);

// The kernel id of the calling thread (as in /proc/self/task/<id>).
pid_t CurrentThreadId();

// Applies a Win32 thread priority level to the thread with kernel id tid as its nice value:
// -15 -> 19, -2 -> 10, -1 -> 5, 0 -> 0, 1 -> -5, 2 -> -10, 15 -> -20. False for any other level
// and when the system refuses (a raise the process may not make); the priority is then unchanged.
bool SetThreadPriorityLevel(pid_t tid, int level);

// The nice value a level maps to; false for a level without one.
bool PriorityLevelToNice(int level, int* nice);

}  // namespace orx::platform
