#pragma once
// While the DSP cores' motion-compensation kernels are not built, the cases that predict P
// and B pictures skip themselves with this message (they run as soon as the kernels exist).
#include <gtest/gtest.h>

#if defined(ORX_MC_PENDING)
inline constexpr bool kMotionCompensationPending = true;
#else
inline constexpr bool kMotionCompensationPending = false;
#endif

#define REQUIRE_MOTION_COMPENSATION()                                                  \
  do {                                                                                 \
    if (kMotionCompensationPending) GTEST_SKIP() << "motion-compensation kernels pending"; \
  } while (0)
