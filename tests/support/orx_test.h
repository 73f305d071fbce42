#pragma once
// Small conventions shared by every test program.
#include <gtest/gtest.h>

#if defined(ORX_SANITIZED)
inline constexpr bool kOrxSanitizedBuild = true;
#else
inline constexpr bool kOrxSanitizedBuild = false;
#endif

// Long encodes and 1080-line rows run in the release configuration only; under the
// sanitizers the encoding tests keep to short SD clips.
#define ORX_RELEASE_ONLY()                                                        \
  do {                                                                            \
    if (kOrxSanitizedBuild) GTEST_SKIP() << "runs in the release configuration only"; \
  } while (0)
