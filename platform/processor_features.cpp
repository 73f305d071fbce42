#include "platform/processor_features.h"

namespace orx::platform {
namespace {

constexpr uint32_t kBasicLeafCount = 0;
constexpr uint32_t kFeatureLeaf = 1;
constexpr uint32_t kExtendedLeafCount = 0x80000000u;
constexpr uint32_t kExtendedFeatureLeaf = 0x80000001u;

bool Bit(uint32_t value, int bit) { return (value >> bit) & 1u; }

}  // namespace

ProcessorFeatures ReadProcessorFeatures(CpuidFn cpuid) {
  ProcessorFeatures f;
  f.highestBasicLeaf = cpuid(kBasicLeafCount, 0).eax;
  const CpuidRegs leaf1 = cpuid(kFeatureLeaf, 0);
  f.mmx = Bit(leaf1.edx, 23);
  f.sse = Bit(leaf1.edx, 25);
  f.sse2 = Bit(leaf1.edx, 26);
  f.hyperThreading = Bit(leaf1.edx, 28);
  f.sse3 = Bit(leaf1.ecx, 0);
  f.highestExtendedLeaf = cpuid(kExtendedLeafCount, 0).eax;
  if (f.highestExtendedLeaf >= kExtendedFeatureLeaf) {
    const CpuidRegs ext = cpuid(kExtendedFeatureLeaf, 0);
    f.mmxExtensions = Bit(ext.edx, 22);
    f.vorpxExtensions = Bit(ext.edx, 30);
    f.vorpx = Bit(ext.edx, 31);
    f.sse4a = Bit(ext.ecx, 6);
    f.misalignedSse = Bit(ext.ecx, 7);
    f.xop = Bit(ext.ecx, 11);
  }
  return f;
}

}  // namespace orx::platform
