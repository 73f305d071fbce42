#pragma once
// The one reading of the processor's instruction-set extensions. Everything in the system that
// asks what the processor can run asks here (never CPUID directly); the words the libraries keep
// are derived from this record: the video encoder's CPU feature word (venc/dsp/cpu_features.h),
// the audio encoder's processor-extension mask (aenc/simd/audio_factories.h), the plug-in's
// capability record (plugin/startup/capability_probe.h). The test hook and ORX_CPUID_TABLE of
// platform/cpuid.h present any processor to all of them alike.
#include <cstdint>

#include "platform/cpuid.h"

namespace orx::platform {

// What CPUID leaves 0, 1, 0x80000000 and 0x80000001 report.
struct ProcessorFeatures {
  uint32_t highestBasicLeaf = 0;     // leaf 0 EAX
  uint32_t highestExtendedLeaf = 0;  // leaf 0x80000000 EAX
  // Leaf 1, read whatever leaf 0 reports (every x86-64 processor has it); a reader that wants the
  // guard tests highestBasicLeaf.
  bool mmx = false;             // EDX bit 23
  bool sse = false;             // EDX bit 25
  bool sse2 = false;            // EDX bit 26
  bool hyperThreading = false;  // EDX bit 28
  bool sse3 = false;            // ECX bit 0
  // Leaf 0x80000001, read only when leaf 0x80000000 reports it (a processor without it answers
  // whatever its last leaf holds); all false otherwise.
  bool mmxExtensions = false;    // EDX bit 22, the vendor's integer extensions of MMX
  bool vorpx = false;            // EDX bit 31, the vendor's 3-D SIMD extension VORPX
  bool vorpxExtensions = false;  // EDX bit 30
  bool sse4a = false;            // ECX bit 6
  bool misalignedSse = false;    // ECX bit 7
  bool xop = false;              // ECX bit 11
};

// Reads the record through `cpuid` (by default the hook, the table or the real processor).
ProcessorFeatures ReadProcessorFeatures(CpuidFn cpuid = &Cpuid);

// Bits of the processor feature word. The video encoder's CPU feature word and the audio
// encoder's processor-extension mask are both words of these bits.
inline constexpr uint32_t kCpuMmx = 0x01;
inline constexpr uint32_t kCpuVorpx = 0x02;        // the vendor's 3-D SIMD extension
inline constexpr uint32_t kCpuIntegerSse = 0x04;   // SSE or the vendor's MMX extensions
inline constexpr uint32_t kCpuSse = 0x08;
inline constexpr uint32_t kCpuSse2 = 0x10;
inline constexpr uint32_t kCpuSse2Second = 0x20;   // set together with kCpuSse2
inline constexpr uint32_t kCpuMultiProcessor = 0x40;
inline constexpr uint32_t kCpuSse3 = 0x80;         // SSE3 reported together with the HTT bit

}  // namespace orx::platform
