#pragma once
// The processors this process may run on, counted as the system's code counts them: the
// processors below 32 that the process's affinity mask allows. Tests present any count through
// a hook; the environment variable ORX_PROCESSOR_COUNT, read once, presents a count to a built
// library (a test facility for whole-program tests).

namespace orx::platform {

// Answers through the hook when one is set, else ORX_PROCESSOR_COUNT when it holds a number
// from 1 to 32, else the affinity mask.
int UsableProcessorCount();

// The affinity mask's count, whatever hook is set.
int HardwareUsableProcessorCount();

using ProcessorCountFn = int (*)();
// Installs a replacement (nullptr restores the default path); answers the previous hook.
ProcessorCountFn SetProcessorCountHook(ProcessorCountFn hook);

}  // namespace orx::platform
