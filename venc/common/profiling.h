#pragma once
// The encoder's profiling timers: per encoder instance (0-7) four timer slots that sum counter
// ticks and calls, a queue of timed records written to the trace file, and a per-instance
// timing line on the console. They act only while the trace file is open or the debug control
// word has bit 23; the file is opened with bit 22 (profile_file.h). Slot 0 times EncodeFrame,
// slot 1 the motion search of a picture.
#include <cstdint>

#include "venc/common/profile_file.h"

namespace orx::venc {

inline constexpr int kProfiledInstances = 8;
inline constexpr int kProfileSlots = 4;
inline constexpr int kProfileSlotEncodeFrame = 0;
inline constexpr int kProfileSlotMotionSearch = 1;

// The trace file, created in the working directory.
inline constexpr const char* kProfileFileName = "profile.txt";

// Debug control word bits.
inline constexpr uint32_t kDebugProfileFile = 1u << 22;
inline constexpr uint32_t kDebugInstanceTimings = 1u << 23;
inline constexpr int kDebugFrameLimitShift = 12;  // bits 12-22: an 11-bit frame limit
inline constexpr uint32_t kDebugFrameLimitMask = 0x7FF;

void ProfileTimerStart(int instance, int slot);
// Adds the ticks since the start to the slot and counts the call; with the file open, queues a
// record (1024 queued records are written at once).
void ProfileTimerStop(int instance, int slot);
// Writes the instance's queued records, "%3d %3d %11d %7d" (instance, slot, start, duration).
void FlushProfileRecords(int instance);
// "INSTANCE[n] " with each slot's milliseconds and calls (both then reset), the frame counter
// and the debug control word. When the word's frame limit is reached, the trace file is closed,
// one line says so and profiling stops until the next GPU set-up opens the file again (the
// process goes on).
void PrintInstanceTimings(int instance);

}  // namespace orx::venc
