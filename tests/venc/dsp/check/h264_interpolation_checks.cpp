// Harness entries of the H.264 inter prediction (slots 73 and 77) and the prediction averages
// (slots 80 and 82): the running variant against the plain class at every fraction, on random
// sources at any position and stride (the luma destination at any alignment).
#include <cstdint>
#include <sstream>

#include "tests/venc/dsp/check/core_scenario.h"
#include "tests/venc/dsp/check/h264_setup.h"

namespace orx::dsp::check {
namespace {

constexpr int kTrials = 2000;
constexpr const char* kEqual = "exact, against the plain class";
constexpr size_t kPlane = 64 * 24;

// Arguments: 0 stride, 1 source offset, 2 fraction (packed dx, dy; the luma trials run all 16
// fractions), 3 destination offset.
std::string Describe(const CoreCall& c) {
  std::ostringstream out;
  out << "stride " << c.arg[0] << ", source offset " << c.arg[1] << ", fraction 0x" << std::hex
      << c.arg[2] << std::dec << ", destination offset " << c.arg[3];
  return out.str();
}

void Source(Rng& rng, CoreCall& call) {
  // Extremes now and then, where the six-tap sums leave 0..255.
  if (rng.Chance(15)) {
    for (size_t i = 0; i < kPlane; ++i) call.buffer[0][i] = rng.Chance(50) ? 0 : 255;
  }
  call.arg[0] = rng.Uniform(24, 64);
  call.arg[1] = 3 * call.arg[0] + rng.Uniform(2, call.arg[0] - 11);
}

CoreScenario Luma() {
  CoreScenario s;
  s.buffers = {{kPlane}, {16 * 64 + 16, true}};
  s.generate = [](Rng& rng, CoreCall& call) {
    Source(rng, call);
    call.arg[3] = rng.Uniform(0, 16);
  };
  s.run = [](CoreSet& cores, CoreCall& call) -> int64_t {
    PrepareH264Core(*cores.mb, 0, 0);
    for (int mode = 0; mode < 16; ++mode) {
      cores.mb->InterpolateLumaQpel8x8(call.buffer[1] + call.arg[3] + 64 * mode, call.buffer[0] + call.arg[1],
                                       call.arg[0], mode);
    }
    return 0;
  };
  s.describe = Describe;
  return s;
}

CoreScenario Chroma() {
  CoreScenario s;
  s.buffers = {{kPlane}, {32, true}};
  auto next = std::make_shared<int>(0);
  s.generate = [next](Rng& rng, CoreCall& call) {
    Source(rng, call);
    int n = (*next)++ % 64;
    call.arg[2] = (n / 8) << 16 | (n % 8);
  };
  s.run = [](CoreSet& cores, CoreCall& call) -> int64_t {
    cores.mb->McChromaEighthPel(call.buffer[1], call.buffer[0] + call.arg[1], call.arg[0], static_cast<uint32_t>(call.arg[2]));
    return 0;
  };
  s.describe = Describe;
  return s;
}

CoreScenario Average(int bytes) {
  CoreScenario s;
  s.buffers = {{80, true}, {80}};
  s.generate = [](Rng& rng, CoreCall& call) {
    call.arg[0] = rng.Uniform(0, 16);
    call.arg[1] = rng.Uniform(0, 16);
  };
  s.run = [bytes](CoreSet& cores, CoreCall& call) -> int64_t {
    uint8_t* destination = call.buffer[0] + call.arg[0];
    const uint8_t* source = call.buffer[1] + call.arg[1];
    if (bytes == 32) cores.mb->AverageInPlace32(destination, source);
    else cores.mb->AverageInPlace64(destination, source);
    return 0;
  };
  return s;
}

const bool kRegistered = RegisterKernels({
    CoreScenarioEntry(Family::kMBCore, 73, "McChromaEighthPel", "", kEqual, kTrials, Chroma()),
    CoreScenarioEntry(Family::kMBCore, 77, "InterpolateLumaQpel8x8", "", kEqual, 500, Luma()),
    CoreScenarioEntry(Family::kMBCore, 80, "AverageInPlace32", "", kEqual, 500, Average(32)),
    CoreScenarioEntry(Family::kMBCore, 82, "AverageInPlace64", "", kEqual, 500, Average(64)),
});

}  // namespace
}  // namespace orx::dsp::check
