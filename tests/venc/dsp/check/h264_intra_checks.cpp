// Harness entries of the H.264 intra prediction (slots 72, 75, 79). The 16x16 and chroma
// kernels of the running variant equal the plain class (predictions and sums, with and without
// output buffer or current block, every mode and availability); the 4x4 decision is checked
// against the scalar model of the running variant, which differs from the plain class in how it
// reads the penalty and in having no starting key.
#include <cstdint>
#include <sstream>

#include "tests/venc/dsp/check/core_scenario.h"
#include "tests/venc/dsp/check/h264_setup.h"
#include "tests/venc/dsp/model/h264_models.h"
#include "venc/dsp/h264_blocks.h"

namespace orx::dsp::check {
namespace {

constexpr int kTrials = 3000;
constexpr size_t kPlane = 64 * 20;

// Arguments: 0 stride, 1 offset of the block in the plane, 2 flags (availability; the 16x16 and
// chroma trials build all four modes), 3 whether a current block is given, 4 whether output
// buffers are given.
std::string Describe(const CoreCall& c) {
  std::ostringstream out;
  out << "stride " << c.arg[0] << ", offset " << c.arg[1] << ", flags 0x" << std::hex << c.arg[2]
      << std::dec << ", current " << c.arg[3] << ", output " << c.arg[4];
  return out.str();
}

uint32_t Availability(Rng& rng) {
  uint32_t flags = 0;
  if (rng.Chance(70)) flags |= kIntraLeftAvailable;
  if (rng.Chance(70)) flags |= kIntraTopAvailable;
  if (rng.Chance(70)) flags |= kIntraTopLeftAvailable;
  if (rng.Chance(50)) flags |= kIntraTopRightAvailable;
  return flags;
}

// Samples of the plane and the current picture: any, or few distinct values (equal costs).
void Samples(Rng& rng, CoreCall& call) {
  int maximum = rng.Chance(30) ? 3 : rng.Chance(50) ? 255 : 40;
  FillBytes(rng, call.buffer[0], kPlane, maximum);
  FillBytes(rng, call.buffer[1], kPlane, maximum);
}

CoreScenario MacroblockScenario(bool chroma) {
  CoreScenario s;
  s.buffers = {{kPlane}, {kPlane}, {1024, true}};
  s.generate = [](Rng& rng, CoreCall& call) {
    Samples(rng, call);
    call.arg[0] = 16 * rng.Uniform(2, 4);
    call.arg[1] = call.arg[0] + 16;  // row 1, the second 16 columns: aligned, with neighbours
    call.arg[2] = static_cast<int>(Availability(rng));
    call.arg[3] = call.first || rng.Chance(70);
    call.arg[4] = call.first || rng.Chance(50);
  };
  s.run = [chroma](CoreSet& cores, CoreCall& call) -> int64_t {
    PrepareH264Core(*cores.mb, 0, 0);
    const uint8_t* neighbours = call.buffer[0] + call.arg[1];
    const uint8_t* current = call.arg[3] ? call.buffer[1] + call.arg[1] : nullptr;
    int64_t sums = 0;
    for (uint32_t mode = 0; mode < 4; ++mode) {
      uint8_t* output = call.arg[4] ? call.buffer[2] + 256 * mode : nullptr;
      uint32_t flags = static_cast<uint32_t>(call.arg[2]) | mode;
      int sad = chroma ? cores.mb->PredictIntraChroma(neighbours, current, call.arg[0], flags, output)
                       : cores.mb->PredictIntra16x16(neighbours, current, call.arg[0], flags, output);
      sums |= int64_t{sad} << (16 * mode);  // each sum is at most 65280
    }
    return sums;
  };
  s.describe = Describe;
  return s;
}

CoreScenario BestScenario() {
  CoreScenario s;
  s.buffers = {{kPlane}, {kPlane}, {32, true}, {16, true}};
  s.generate = [](Rng& rng, CoreCall& call) {
    Samples(rng, call);
    call.arg[0] = rng.Uniform(12, 64);
    call.arg[1] = call.arg[0] * rng.Uniform(1, 3) + rng.Uniform(1, call.arg[0] - 8);
    uint32_t penalty = rng.Chance(20) ? 0 : rng.Chance(70) ? rng.Uniform(0, 60) : rng.Uniform(0, 4095);
    call.arg[2] = static_cast<int>(Availability(rng) | rng.Uniform(0, 8) | penalty << kIntraBiasShift);
  };
  s.run = [](CoreSet& cores, CoreCall& call) -> int64_t {
    PrepareH264Core(*cores.mb, 0, 0);
    return cores.mb->PredictIntra4x4Best(call.as<int16_t>(2), call.buffer[3], call.buffer[0] + call.arg[1],
                                         call.buffer[1] + call.arg[1], call.arg[0], static_cast<uint32_t>(call.arg[2]));
  };
  s.reference = [](CoreSet&, CoreCall& call) -> int64_t {
    return model::PredictIntra4x4Best(call.as<int16_t>(2), call.buffer[3], call.buffer[0] + call.arg[1],
                                      call.buffer[1] + call.arg[1], call.arg[0], static_cast<uint32_t>(call.arg[2]));
  };
  s.describe = Describe;
  return s;
}

const bool kRegistered = RegisterKernels({
    CoreScenarioEntry(Family::kMBCore, 72, "PredictIntraChroma", "", "exact, against the plain class",
                      kTrials, MacroblockScenario(true)),
    CoreScenarioEntry(Family::kMBCore, 75, "PredictIntra16x16", "", "exact, against the plain class",
                      kTrials, MacroblockScenario(false)),
    CoreScenarioEntry(Family::kMBCore, 79, "PredictIntra4x4Best", "",
                      "exact, against the scalar model of the running variant", kTrials, BestScenario()),
});

}  // namespace
}  // namespace orx::dsp::check
