// Harness entries of the block statistics (slots 4, 5, 6, 18) against the plain class, whose
// results the running class shares: random, noisy, two-valued and flat macroblocks at strides
// of 16 to 64 bytes, frame and field halves, prefetch addresses that point anywhere, and noise
// bands of -1 to 6 macroblocks (a whole 1920-wide band in the "Band" entry).
#include <algorithm>
#include <cstdint>
#include <sstream>

#include "tests/venc/dsp/check/core_scenario.h"

namespace orx::dsp::check {
namespace {

constexpr int kTrials = 3000;
constexpr const char* kEqual = "exact, against the plain class";

// Picture content of the kinds the measures must agree on: random bytes, a flat area with
// little noise (means near half-way values), two values, or one.
void FillPixels(Rng& rng, uint8_t* p, size_t n) {
  const int kind = rng.Uniform(0, 3);
  const int a = rng.Uniform(0, 255), b = rng.Uniform(0, 255), spread = rng.Uniform(0, 3);
  for (size_t i = 0; i < n; ++i) {
    if (kind == 1)
      p[i] = static_cast<uint8_t>(std::clamp(a + rng.Uniform(-spread, spread), 0, 255));
    if (kind == 2) p[i] = static_cast<uint8_t>(rng.Chance(50) ? a : b);
    if (kind == 3) p[i] = static_cast<uint8_t>(a);
  }
}

// The hint is only prefetched: null, the end of the area, or any address at all.
const void* PrefetchHint(const CoreCall& c, size_t areaBytes) {
  if (c.arg[2] == 0) return nullptr;
  if (c.arg[2] == 1) return c.buffer[0] + areaBytes;
  return reinterpret_cast<const void*>(static_cast<uintptr_t>(static_cast<uint32_t>(c.arg[3]))
                                       << 12);
}

constexpr size_t kMacroblockBytes = 16 * 64;

// Arguments: 0 stride, 1 field halves (stride doubled), 2 hint kind, 3 hint page, 9 smallest.
CoreScenario Macroblock(int (*measure)(CPreprocCore&, CoreCall&, const uint8_t*, int)) {
  CoreScenario s;
  s.buffers = {{kMacroblockBytes}};
  s.generate = [](Rng& rng, CoreCall& call) {
    FillPixels(rng, call.buffer[0], kMacroblockBytes);
    call.arg[0] = call.first ? 16 : 16 * rng.Uniform(1, 4);
    call.arg[1] = rng.Uniform(0, 1);
    call.arg[2] = rng.Uniform(0, 2);
    call.arg[3] = static_cast<int>(rng.Next());
  };
  s.run = [measure](CoreSet& cores, CoreCall& c) -> int64_t {
    return measure(*cores.pp, c, c.buffer[0], c.arg[0]);
  };
  s.describe = [](const CoreCall& c) {
    std::ostringstream out;
    out << "stride " << c.arg[0] << (c.arg[1] ? ", field halves" : ", frame halves");
    return out.str();
  };
  return s;
}

int BlockDeviation(CPreprocCore& core, CoreCall& c, const uint8_t* area, int stride) {
  const bool field = c.arg[1] != 0;
  const uint8_t* lower = field ? area + stride : area + 8 * stride;
  return core.BlockDeviation(area, lower, field ? 2 * stride : stride, &c.arg[9],
                             PrefetchHint(c, kMacroblockBytes));
}

int SubBlockMeans(CPreprocCore& core, CoreCall& c, const uint8_t* area, int stride) {
  // A field is measured from its first row with the stride doubled.
  const bool field = c.arg[1] != 0 && stride <= 32;
  return core.SubBlockMeans4x4(area + (field ? stride : 0), field ? 2 * stride : stride, &c.arg[9],
                               PrefetchHint(c, kMacroblockBytes));
}

int FieldFrame(CPreprocCore& core, CoreCall&, const uint8_t* area, int stride) {
  return core.FieldFrameDifference(area, stride);
}

// Arguments: 0 macroblocks, 1 stride.
constexpr size_t kBandRowsBytes = 8 * 16 * 8;
constexpr size_t kWideBandBytes = 8 * 1920;

CoreScenario NoiseBand(bool wide) {
  const size_t bytes = wide ? kWideBandBytes : kBandRowsBytes;
  CoreScenario s;
  s.buffers = {{bytes}};
  s.generate = [wide, bytes](Rng& rng, CoreCall& call) {
    FillPixels(rng, call.buffer[0], bytes);
    const int macroblocks = wide ? 120 : rng.Uniform(-1, 6);
    call.arg[0] = macroblocks;
    call.arg[1] = wide ? 1920 : 16 * rng.Uniform(std::max(macroblocks, 1), 8);
  };
  s.run = [](CoreSet& cores, CoreCall& c) -> int64_t {
    return cores.pp->NeighbourhoodStats(c.buffer[0], c.arg[0], c.arg[1]);
  };
  return s;
}

KernelEntry Entry(int slot, const char* operation, const char* label, CoreScenario scenario,
                  int trials = kTrials) {
  return CoreScenarioEntry(Family::kPreprocCore, slot, operation, label, kEqual, trials,
                           std::move(scenario));
}

const KernelRegistrar kEntries[] = {
    KernelRegistrar(Entry(4, "BlockDeviation", "", Macroblock(BlockDeviation))),
    KernelRegistrar(Entry(5, "SubBlockMeans4x4", "", Macroblock(SubBlockMeans))),
    KernelRegistrar(Entry(6, "FieldFrameDifference", "", Macroblock(FieldFrame))),
    KernelRegistrar(Entry(18, "NeighbourhoodStats", "", NoiseBand(false))),
    KernelRegistrar(Entry(18, "NeighbourhoodStats", "Band", NoiseBand(true), 20)),
};

}  // namespace
}  // namespace orx::dsp::check
