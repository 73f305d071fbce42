#pragma once
// The video encoder's one-time GPU set-up with its fall-back to the CPU. Every function here
// runs under the encoder library's set-up lock, which the callers (EnableGpu, QueryGpu, the
// encoder's Release) hold.
#include <cstdint>

namespace orx::venc {

// Runs the set-up once per process (until ShutdownGpuAcceleration) and answers the device count;
// later calls answer the stored count whatever their mode. Reads "EncodeGpuWaitSleep" of the
// encoder's key (0 when absent) and logs it; mode 1 stores the word as the GPU layer's debug
// control word and asks the dataflow path for devices, and any failure there leaves the count at
// 0 with its log line. Modes 2-6 (the kernel-library modes) leave the count at 0 and call nothing
// until that library exists; any other mode stores the word as the debug control word too.
int32_t InitGpuAcceleration(int32_t mode);

// Closes the profile file, shuts the dataflow path down when devices were found, and clears the
// state so that a later encoder sets up again.
void ShutdownGpuAcceleration();

// The pause between polls of a GPU wait: gives up the rest of the time slice. Both arguments
// are ignored. The encoder's create hook installs it as the dataflow wait hook.
void GpuWaitYield(uint32_t ms, void* user);

}  // namespace orx::venc
