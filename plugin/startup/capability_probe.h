#pragma once
// The hardware capability probe: the processor part (usable processors, maker identification,
// feature bits) and the GPU part (the GCX runtime's version and devices).
#include <cstdint>

#include "platform/processor_features.h"

namespace orx::plugin {

inline constexpr uint32_t kCapabilityRecordSize = 60;

// A fresh record has size 60 and everything else 0.
struct CapabilityRecord {
  uint32_t size = kCapabilityRecordSize;  // 60: a caller's record is filled only then
  uint32_t valid = 0;  // kProbedCpu, kProbedGpu
  uint32_t supported = 0;
  uint32_t gpuCount = 0;
  uint32_t reserved4 = 0;
  uint32_t reserved5 = 0;
  uint32_t cpuCount = 0;
  uint32_t reserved7 = 0;
  uint32_t cpuFeatures = 0;
  uint32_t reserved9 = 0;
  uint32_t makerCpu = 0;
  uint32_t gpuPresent = 0;
  uint32_t reserved12 = 0;
  uint32_t gcxVersionKnown = 0;
  uint32_t gcxVersion = 0;  // (major x 100 + minor) x 1000 + patch
};
static_assert(sizeof(CapabilityRecord) == 60);

inline constexpr uint32_t kProbedCpu = 0x1;
inline constexpr uint32_t kProbedGpu = 0x2;

// Feature bits of cpuFeatures: the record's own word, derived from the one processor reading
// (platform/processor_features.h) by CapabilityFeaturesOf.
inline constexpr uint32_t kFeatureMmx = 0x1;              // leaf 1 EDX 23
inline constexpr uint32_t kFeatureExtMmx = 0x2;           // leaf 0x80000001 EDX 22
inline constexpr uint32_t kFeatureVorpx = 0x10;           // leaf 0x80000001 EDX 31
inline constexpr uint32_t kFeatureVorpxExt = 0x20;        // leaf 0x80000001 EDX 30
inline constexpr uint32_t kFeatureSse = 0x100;            // leaf 1 EDX 25
inline constexpr uint32_t kFeatureSse2 = 0x200;           // leaf 1 EDX 26
inline constexpr uint32_t kFeatureSse3 = 0x400;           // leaf 1 ECX 0
inline constexpr uint32_t kFeatureSse4a = 0x2000;         // leaf 0x80000001 ECX 6
inline constexpr uint32_t kFeatureMisalignedSse = 0x4000; // leaf 0x80000001 ECX 7
inline constexpr uint32_t kFeatureXop = 0x10000;          // leaf 0x80000001 ECX 11
// What the exporters need before they register.
inline constexpr uint32_t kRegistrationFeatures = kFeatureSse4a | kFeatureMisalignedSse;

// The feature bits of a processor: leaf 1's only when leaf 0 reports leaf 1, leaf
// 0x80000001's only when leaf 0x80000000 reports it.
uint32_t CapabilityFeaturesOf(const platform::ProcessorFeatures& processor);
// The feature bits of the processor the CPU layer presents.
uint32_t ReadCpuFeatures();

int ProbeCpu(CapabilityRecord* record, int reset);
int ProbeGpu(CapabilityRecord* record, int reset);
int ProbeAll(CapabilityRecord* record, int reset);
int ProbeQuery(uint32_t mask);
int IsMakerCpu();

// Tests start each case with a process that has probed nothing.
void ResetCapabilityProbeForTest();

}  // namespace orx::plugin
