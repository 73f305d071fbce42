#include "venc/dsp/cpu_features.h"

#include <unistd.h>

#include <atomic>

namespace orx::dsp {
namespace {

std::atomic<ProcessorQueryFn> g_processorHook{nullptr};

bool Bit(uint32_t value, int bit) { return (value >> bit) & 1u; }

ProcessorInfo OnlineProcessors() {
  long online = sysconf(_SC_NPROCESSORS_ONLN);
  ProcessorInfo info;
  info.count = online > 0 ? static_cast<int>(online) : 1;
  info.activeMask = info.count >= 64 ? ~uint64_t{0} : (uint64_t{1} << info.count) - 1;
  return info;
}

}  // namespace

uint32_t DetectCpuFeatures(platform::CpuidFn cpuid) {
  // Every x86-64 processor executes CPUID, so the "no CPUID" answer of 0 cannot arise.
  platform::CpuidRegs leaf1 = cpuid(1, 0);
  if (!Bit(leaf1.edx, 23)) return 0;
  uint32_t word = kCpuMmx;
  if (Bit(leaf1.edx, 25)) {
    word |= kCpuIntegerSse | kCpuSse;
    if (Bit(leaf1.edx, 26)) {
      word |= kCpuSse2 | kCpuSse2Second;
      if (Bit(leaf1.edx, 28) && Bit(leaf1.ecx, 0)) word |= kCpuSse3;
    }
  }
  platform::CpuidRegs highest = cpuid(0x80000000u, 0);
  if (highest.eax > 0x80000000u) {
    platform::CpuidRegs ext = cpuid(0x80000001u, 0);
    if (Bit(ext.edx, 31)) {
      word |= kCpuVorpx;
      if (Bit(ext.edx, 22)) word |= kCpuIntegerSse;
    }
  }
  return word;
}

uint32_t AddProcessorBit(uint32_t word, const ProcessorInfo& processors) {
  if (processors.count >= 2 && processors.activeMask >= 3) word |= kCpuMultiProcessor;
  return word;
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
