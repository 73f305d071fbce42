#pragma once
// The private parameter ids of the chain test components (component ids come before the
// framework's), and what they report.
#include <cstdint>

inline constexpr uint32_t kChainInputMode = 0x7F100001;   // set, by value: 1 or 3
inline constexpr uint32_t kChainKeep = 0x7F100002;        // set, by value: 1 keeps each data buffer a round
inline constexpr uint32_t kChainFailAt = 0x7F100003;      // set, by value: the n-th buffer (1-based) fails
inline constexpr uint32_t kChainFailResult = 0x7F100004;  // set, by value: the status it answers
inline constexpr uint32_t kChainReport = 0x7F100005;      // get: ChainReport

struct ChainReport {
  uint32_t buffers;  // buffers the hook saw (records of every kind)
  uint32_t formats;
  uint32_t endMarkers;
  uint32_t foreignHookCalls;  // hook calls for an instance of another library
};

// Slot size of the chain components' pins.
inline constexpr uint32_t kChainSlotSize = 4096;
