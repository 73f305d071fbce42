#pragma once
// The CPU feature word that every core factory reads: which SIMD variant classes the
// processor can run, plus the multi-processor bit. Its bits are the processor feature word's
// (platform/processor_features.h); this file derives the video encoder's word from what the
// processor reports.
#include <cstdint>

#include "platform/cpuid.h"
#include "platform/processor_features.h"

namespace orx::dsp {

// The word's bits, as the factories and the encoder test them.
using platform::kCpuIntegerSse;
using platform::kCpuMmx;
using platform::kCpuMultiProcessor;
using platform::kCpuSse;
using platform::kCpuSse2;
using platform::kCpuSse2Second;
using platform::kCpuSse3;
using platform::kCpuVorpx;

// The processor part of the word: 0 without MMX; else MMX, with SSE the integer-SSE and SSE
// bits, with SSE2 both SSE2 bits, with SSE3 and the HTT bit the SSE3 bit; the 3-D extension
// adds its bit and, with the vendor's MMX extensions, the integer-SSE bit.
uint32_t CpuFeatureWordOf(const platform::ProcessorFeatures& processor);

// The processor part of the word, from the answers of `cpuid` (leaf, sub-leaf).
uint32_t DetectCpuFeatures(platform::CpuidFn cpuid = &platform::Cpuid);

// What the operating system reports about processors.
struct ProcessorInfo {
  int count = 1;            // online processors
  uint64_t activeMask = 1;  // one bit per online processor
};

// Adds kCpuMultiProcessor when there are two or more processors and an active mask of 3 or more.
uint32_t AddProcessorBit(uint32_t featureWord, const ProcessorInfo& processors);

// The online processors, or the answer of the installed hook.
ProcessorInfo QueryProcessors();
using ProcessorQueryFn = ProcessorInfo (*)();
// Installs a replacement for QueryProcessors (nullptr restores it); answers the previous one.
ProcessorQueryFn SetProcessorQueryHook(ProcessorQueryFn hook);

// DetectCpuFeatures() | kCpuSse2 plus the multi-processor bit; computed on the first call and
// cached for the life of the process.
uint32_t GetCpuFeatures();

}  // namespace orx::dsp
