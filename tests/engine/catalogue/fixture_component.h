#pragma once
// What a fixture component library reports about its own copy of the framework, through a
// private parameter id.
#include <cstdint>

#include "framework/qva_component.h"

inline constexpr uint32_t kFixtureReportParam = 0x7F000101;  // get: FixtureReport

struct FixtureReport {
  uint32_t liveCount;        // the library's live instances
  uint32_t allocations;      // its allocator's counters
  uint32_t releases;
  uint32_t libReleaseCalls;  // QVACompLibRelease calls seen by this copy
};
