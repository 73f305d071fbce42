// Harness entries of the sub-pel neighbour cost sets (slots 23-30, 39, 40): sums, chosen
// position and cost of the running variant against the plain class.
#include <cstdint>

#include "tests/venc/dsp/check/me_geometry.h"

namespace orx::dsp::check {
namespace {

constexpr int kTrials = 1500;
constexpr const char* kEqual = "exact, against the plain class (sums, position and cost)";
constexpr size_t kSumsBytes = 32;

// Arguments: 3 component in quarter samples (in/out), 4 predicted component, 5 bias,
// 6 horizontal fraction of the Y sets.
void Choice(Rng& rng, CoreCall& call) {
  call.arg[3] = rng.Uniform(-40, 40);
  call.arg[4] = call.arg[3] + rng.Uniform(-3, 3);
  call.arg[5] = rng.Chance(20) ? 0 : rng.Uniform(0, rng.Chance(20) ? 5000 : 200);
  call.arg[6] = rng.Uniform(0, 3);
}

uint16_t* Sums(CoreCall& c) { return c.as<uint16_t>(2); }

CoreScenario X(std::vector<MeSetting> settings,
               int (CMotionEstimationCore::*slot)(const uint8_t*, uint16_t*, int*, int, int)) {
  return MeBlockScenario(
      std::move(settings), Choice,
      [slot](CMotionEstimationCore& core, CoreCall& c) -> int64_t {
        return (core.*slot)(ReferencePosition(c), Sums(c), &c.arg[3], c.arg[4], c.arg[5]);
      },
      {}, kSumsBytes);
}

CoreScenario Y(std::vector<MeSetting> settings,
               int (CMotionEstimationCore::*slot)(const uint8_t*, int, uint16_t*, int*, int, int)) {
  return MeBlockScenario(
      std::move(settings), Choice,
      [slot](CMotionEstimationCore& core, CoreCall& c) -> int64_t {
        return (core.*slot)(ReferencePosition(c), c.arg[6], Sums(c), &c.arg[3], c.arg[4],
                            c.arg[5]);
      },
      {}, kSumsBytes);
}

std::vector<KernelEntry> Entries() {
  using C = CMotionEstimationCore;
  const std::vector<MeSetting> any8 = {MeSetting::kWhole, MeSetting::kRightHalf,
                                       MeSetting::kTopHalf, MeSetting::kTopField};
  std::vector<KernelEntry> e;
  auto add = [&](int slot, const char* name, CoreScenario scenario) {
    e.push_back(CoreScenarioEntry(Family::kMotionEstimationCore, slot, name, "", kEqual, kTrials,
                                  std::move(scenario)));
  };
  add(23, "SubPelSadsX16x16", X(AlignedSettings(), &C::SubPelSadsX16x16));
  add(24, "SubPelSadsY16x16", Y(AlignedSettings(), &C::SubPelSadsY16x16));
  add(25, "SubPelSadsX8x8", X(any8, &C::SubPelSadsX8x8));
  add(26, "SubPelSadsY8x8", Y(any8, &C::SubPelSadsY8x8));
  add(27, "SubPelSadsX16x8", X(AlignedSettings(), &C::SubPelSadsX16x8));
  add(28, "SubPelSadsY16x8", Y(AlignedSettings(), &C::SubPelSadsY16x8));
  add(29, "SubPelSadsXHalves", X(any8, &C::SubPelSadsXHalves));
  add(30, "SubPelSadsYHalves", Y(any8, &C::SubPelSadsYHalves));
  add(39, "SubPelSadsXVc1", X(AlignedSettings(), &C::SubPelSadsXVc1));
  add(40, "SubPelSadsYVc1", Y(AlignedSettings(), &C::SubPelSadsYVc1));
  return e;
}

const bool kRegistered = RegisterKernels(Entries());

}  // namespace
}  // namespace orx::dsp::check
