#include "venc/dsp/cpu_features.h"

#include <unistd.h>

#include <atomic>

namespace orx::dsp {
namespace {

std::atomic<ProcessorQueryFn> g_processorHook{nullptr};

ProcessorInfo OnlineProcessors() {
  long online = sysconf(_SC_NPROCESSORS_ONLN);
  ProcessorInfo info;
  info.count = online > 0 ? static_cast<int>(online) : 1;
  info.activeMask = info.count >= 64 ? ~uint64_t{0} : (uint64_t{1} << info.count) - 1;
  return info;
}

}  // namespace

uint32_t CpuFeatureWordOf(const platform::ProcessorFeatures& processor) {
  // Every x86-64 processor executes CPUID, so the "no CPUID" answer of 0 cannot arise.
  if (!processor.mmx) return 0;
  uint32_t word = kCpuMmx;
  if (processor.sse) {
    word |= kCpuIntegerSse | kCpuSse;
    if (processor.sse2) {
      word |= kCpuSse2 | kCpuSse2Second;
      if (processor.hyperThreading && processor.sse3) word |= kCpuSse3;
    }
  }
  if (processor.vorpx) {
    word |= kCpuVorpx;
    if (processor.mmxExtensions) word |= kCpuIntegerSse;
  }
  return word;
}

uint32_t DetectCpuFeatures(platform::CpuidFn cpuid) {
  return CpuFeatureWordOf(platform::ReadProcessorFeatures(cpuid));
}

uint32_t AddProcessorBit(uint32_t featureWord, const ProcessorInfo& processors) {
  if (processors.count >= 2 && processors.activeMask >= 3) featureWord |= kCpuMultiProcessor;
  return featureWord;
}

ProcessorInfo QueryProcessors() {
  if (ProcessorQueryFn hook = g_processorHook.load(std::memory_order_acquire)) return hook();
  return OnlineProcessors();
}

ProcessorQueryFn SetProcessorQueryHook(ProcessorQueryFn hook) {
  return g_processorHook.exchange(hook, std::memory_order_acq_rel);
}

uint32_t GetCpuFeatures() {
  // A function-local static: concurrent first calls wait for one computation.
  static const uint32_t word = AddProcessorBit(DetectCpuFeatures() | kCpuSse2, QueryProcessors());
  return word;
}

}  // namespace orx::dsp
