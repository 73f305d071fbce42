#include "plugin/startup/capability_probe.h"

#include <cstring>

#include "platform/cpuid.h"
#include "platform/processor_features.h"
#include "plugin/params/export_session_config.h"
#include "plugin/startup/gcx_probe.h"

namespace orx::plugin {
namespace {

CapabilityRecord g_record{};
int g_makerCpu = -1;  // -1 until asked

void CopyOut(CapabilityRecord* record) {
  if (record != nullptr && record != &g_record && record->size == kCapabilityRecordSize) {
    *record = g_record;
  }
}

}  // namespace

void ResetCapabilityProbeForTest() {
  g_record = CapabilityRecord{};
  g_makerCpu = -1;
}

int IsMakerCpu() {
  if (g_makerCpu < 0) g_makerCpu = platform::CpuVendorString() == "AuthenticORX" ? 1 : 0;
  return g_makerCpu;
}

uint32_t CapabilityFeaturesOf(const platform::ProcessorFeatures& processor) {
  uint32_t features = 0;
  // Leaf 1 counts only when leaf 0 reports it (the reading leaves the extended bits false
  // unless leaf 0x80000000 reports leaf 0x80000001).
  if (processor.highestBasicLeaf >= 1) {
    if (processor.mmx) features |= kFeatureMmx;
    if (processor.sse) features |= kFeatureSse;
    if (processor.sse2) features |= kFeatureSse2;
    if (processor.sse3) features |= kFeatureSse3;
  }
  if (processor.mmxExtensions) features |= kFeatureExtMmx;
  if (processor.vorpx) features |= kFeatureVorpx;
  if (processor.vorpxExtensions) features |= kFeatureVorpxExt;
  if (processor.sse4a) features |= kFeatureSse4a;
  if (processor.misalignedSse) features |= kFeatureMisalignedSse;
  if (processor.xop) features |= kFeatureXop;
  return features;
}

uint32_t ReadCpuFeatures() { return CapabilityFeaturesOf(platform::ReadProcessorFeatures()); }

int ProbeCpu(CapabilityRecord* record, int reset) {
  if (reset) g_record.valid &= ~kProbedCpu;
  if (!(g_record.valid & kProbedCpu)) {
    g_record.cpuCount = static_cast<uint32_t>(CountUsableProcessors());
    g_record.makerCpu = static_cast<uint32_t>(IsMakerCpu());
    if (g_record.makerCpu) g_record.supported = 1;
    g_record.cpuFeatures |= ReadCpuFeatures();
    g_record.valid |= kProbedCpu;
  }
  CopyOut(record);
  return 0;
}

int ProbeGpu(CapabilityRecord* record, int reset) {
  if (reset) g_record.valid &= ~kProbedGpu;
  if (!(g_record.valid & kProbedGpu)) {
    int n = GcxProbeDevices(nullptr);
    g_record.gpuCount = n > 0 ? static_cast<uint32_t>(n) : 0;
    g_record.gpuPresent = n > 0 ? 1 : 0;
    if (n > 0) g_record.supported = 1;
    GcxVersion version = GcxKnownVersion();
    if (version.known) {
      g_record.gcxVersionKnown = 1;
      g_record.gcxVersion = static_cast<uint32_t>(
          (version.major * 100 + version.minor) * 1000 + version.patch);
    } else {
      g_record.gcxVersionKnown = 0;
    }
    g_record.valid |= kProbedGpu;
  }
  CopyOut(record);
  return 0;
}

int ProbeAll(CapabilityRecord* record, int reset) {
  if (reset) g_record.valid &= ~(kProbedCpu | kProbedGpu);
  ProbeCpu(record, 0);
  ProbeGpu(record, 0);
  return 0;
}

int ProbeQuery(uint32_t mask) {
  if (mask == 0xFFFF) {
    ProbeCpu(nullptr, 0);
    if (!g_record.supported) ProbeGpu(nullptr, 0);
    return g_record.supported ? 1 : 0;
  }
  int answer = 0;
  if (mask & 0x1) {
    ProbeCpu(nullptr, 0);
    if (g_record.makerCpu) answer = 1;
  }
  if (mask & 0x2) {
    ProbeGpu(nullptr, 0);
    if (g_record.gpuPresent) answer = 1;
  }
  return answer;
}

}  // namespace orx::plugin
