#include "plugin/startup/capability_probe.h"

#include <cstring>

#include "platform/cpuid.h"
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

bool Bit(uint32_t word, int bit) { return (word >> bit) & 1u; }

}  // namespace

CapabilityRecord& ProcessCapabilityRecord() { return g_record; }

void ResetCapabilityProbeForTest() {
  g_record = CapabilityRecord{};
  g_makerCpu = -1;
}

int IsMakerCpu() {
  if (g_makerCpu < 0) g_makerCpu = platform::CpuVendorString() == "AuthenticORX" ? 1 : 0;
  return g_makerCpu;
}

uint32_t ReadCpuFeatures() {
  uint32_t features = 0;
  if (platform::Cpuid(0).eax >= 1) {
    platform::CpuidRegs leaf1 = platform::Cpuid(1);
    if (Bit(leaf1.edx, 23)) features |= kFeatureMmx;
    if (Bit(leaf1.edx, 25)) features |= kFeatureSse;
    if (Bit(leaf1.edx, 26)) features |= kFeatureSse2;
    if (Bit(leaf1.ecx, 0)) features |= kFeatureSse3;
  }
  // Leaf 0x80000001 exists only when the highest extended leaf reaches it; a processor
  // without it answers whatever its last leaf holds, which must not pass for feature bits.
  if (platform::Cpuid(0x80000000u).eax >= 0x80000001u) {
    platform::CpuidRegs ext = platform::Cpuid(0x80000001u);
    if (Bit(ext.edx, 22)) features |= kFeatureExtMmx;
    if (Bit(ext.edx, 31)) features |= kFeatureVorpx;
    if (Bit(ext.edx, 30)) features |= kFeatureVorpxExt;
    if (Bit(ext.ecx, 6)) features |= kFeatureExtEcx6;
    if (Bit(ext.ecx, 7)) features |= kFeatureExtEcx7;
    if (Bit(ext.ecx, 11)) features |= kFeatureExtEcx11;
  }
  return features;
}

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
