// Harness entries of the plane copy and the chroma interleave (slots 2, 3) against the models:
// every width from 1 byte (sample) up, unaligned rows, and skips that leave gaps between the
// destination rows, whose random bytes must survive. The "Band" entries take the rows of a
// 1920-wide picture (the benchmark's case).
#include <cstdint>
#include <sstream>

#include "tests/venc/dsp/check/core_scenario.h"

namespace orx::dsp::check {
namespace {

constexpr int kTrials = 2000;
constexpr int kBandTrials = 3;
constexpr const char* kModel = "exact, against the model: every byte of every row";

// Arguments: 0 rows, 1 width, 2 source skip, 3 destination skip, 4-6 offsets of the planes
// from a 16-byte boundary. `bandWidth` 0: a few short rows.
constexpr size_t kRowsBytes = 6 * (2 * 72 + 40) + 16;
constexpr size_t kBandBytes = 16 * (1920 + 64);

void GenerateRows(Rng& rng, CoreCall& call, int bandWidth) {
  const bool band = bandWidth > 0;
  call.arg[0] = band ? 16 : rng.Uniform(1, 6);
  call.arg[1] = band ? bandWidth : rng.Uniform(1, 72);
  call.arg[2] = band ? 64 : rng.Uniform(0, 40);
  call.arg[3] = band ? 64 : rng.Uniform(0, 40);
  for (int i = 4; i < 7; ++i) call.arg[i] = band ? 0 : rng.Uniform(0, 15);
}

std::string DescribeRows(const CoreCall& c) {
  std::ostringstream out;
  out << "rows " << c.arg[0] << ", width " << c.arg[1] << ", skips " << c.arg[2] << '/' << c.arg[3]
      << ", plane offsets " << c.arg[4] << '/' << c.arg[5] << '/' << c.arg[6];
  return out.str();
}

CoreScenario CopyPlane(bool band) {
  const size_t bytes = band ? kBandBytes : kRowsBytes;
  CoreScenario s;
  s.buffers = {{bytes}, {bytes, true}};
  s.generate = [band](Rng& rng, CoreCall& call) { GenerateRows(rng, call, band ? 1920 : 0); };
  s.run = [](CoreSet& cores, CoreCall& c) -> int64_t {
    const uint8_t* source = c.buffer[0] + c.arg[4];
    const uint8_t* end =
        cores.pp->CopyPlane(c.arg[0], c.arg[1], c.arg[2], c.arg[3], source, c.buffer[1] + c.arg[5]);
    return end - source;
  };
  s.describe = DescribeRows;
  return s;
}

CoreScenario InterleaveUV(bool band) {
  const size_t bytes = band ? kBandBytes : kRowsBytes;
  CoreScenario s;
  s.buffers = {{bytes}, {bytes}, {bytes, true}};
  s.generate = [band](Rng& rng, CoreCall& call) { GenerateRows(rng, call, band ? 960 : 0); };
  s.run = [](CoreSet& cores, CoreCall& c) -> int64_t {
    cores.pp->InterleaveUV(c.arg[0], c.arg[1], c.arg[2], c.arg[3], c.buffer[0] + c.arg[4],
                           c.buffer[1] + c.arg[5], c.buffer[2] + c.arg[6]);
    return 0;
  };
  s.describe = DescribeRows;
  return s;
}

KernelEntry Entry(int slot, const char* operation, bool band, CoreScenario scenario) {
  return CoreScenarioEntry(Family::kPreprocCore, slot, operation, band ? "Band" : "", kModel,
                           band ? kBandTrials : kTrials, std::move(scenario));
}

const KernelRegistrar kEntries[] = {
    KernelRegistrar(Entry(2, "CopyPlane", false, CopyPlane(false))),
    KernelRegistrar(Entry(2, "CopyPlane", true, CopyPlane(true))),
    KernelRegistrar(Entry(3, "InterleaveUV", false, InterleaveUV(false))),
    KernelRegistrar(Entry(3, "InterleaveUV", true, InterleaveUV(true))),
};

}  // namespace
}  // namespace orx::dsp::check
