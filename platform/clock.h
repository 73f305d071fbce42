#pragma once
// Time base: a sleep in milliseconds and a performance counter. The counter ticks at 10 MHz
// (CLOCK_MONOTONIC in 100 ns units), so counter x 1000 fits a signed 64-bit product for
// about 29 000 years of uptime.
#include <cstdint>

namespace orx::platform {

// Suspends the calling thread; 0 yields the processor.
void SleepMilliseconds(uint32_t milliseconds);

int64_t PerformanceCounter();
inline constexpr int64_t kPerformanceFrequency = 10000000;

}  // namespace orx::platform
