#pragma once
// The CPU feature word that every core factory reads: which SIMD variant classes the
// processor can run, plus the multi-processor bit.
#include <cstdint>

#include "platform/cpuid.h"

namespace orx::dsp {

inline constexpr uint32_t kCpuMmx = 0x01;
inline constexpr uint32_t kCpuVorpx = 0x02;       // the vendor's 3-D SIMD extension
inline constexpr uint32_t kCpuIntegerSse = 0x04;  // SSE or the vendor's MMX extensions
inline constexpr uint32_t kCpuSse = 0x08;
inline constexpr uint32_t kCpuSse2 = 0x10;
inline constexpr uint32_t kCpuSse2Second = 0x20;  // set together with kCpuSse2
inline constexpr uint32_t kCpuMultiProcessor = 0x40;
inline constexpr uint32_t kCpuSse3 = 0x80;  // SSE3 reported together with the HTT bit

// The processor part of the word, from the answers of `cpuid` (leaf, sub-leaf).
uint32_t DetectCpuFeatures(platform::CpuidFn cpuid = &platform::Cpuid);

// What the operating system reports about processors.
struct ProcessorInfo {
  int count = 1;            // online processors
  uint64_t activeMask = 1;  // one bit per online processor
};

// Adds kCpuMultiProcessor when there are two or more processors and an active mask of 3 or more.
uint32_t AddProcessorBit(uint32_t word, const ProcessorInfo& processors);

// The online processors, or the answer of the installed hook.
ProcessorInfo QueryProcessors();
using ProcessorQueryFn = ProcessorInfo (*)();
// Installs a replacement for QueryProcessors (nullptr restores it); answers the previous one.
ProcessorQueryFn SetProcessorQueryHook(ProcessorQueryFn hook);

// DetectCpuFeatures() | kCpuSse2 plus the multi-processor bit; computed on the first call and
// cached for the life of the process.
uint32_t GetCpuFeatures();

}  // namespace orx::dsp
