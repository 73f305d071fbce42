#pragma once
// What an isolation test component reports about its own library's copy of the framework,
// through its private parameter ids (component ids come before the framework's).
#include <cstdint>

#include "framework/qva_component.h"

inline constexpr uint32_t kIsolationReportParam = 0x7F000001;  // get: IsolationReport
inline constexpr uint32_t kIsolationTraceParam = 0x7F000002;   // set: make a trace manager (1) or drop it (0)

struct IsolationReport {
  uint32_t liveCount;
  char compName[16];
  QVAMemCounters memory;
  EventManager* currentManager;
  uint32_t createCalls;
  uint32_t processCalls;
  uint32_t destroyCalls;
  uint32_t foreignProcessCalls;  // process hook calls for an instance this library did not make
};
