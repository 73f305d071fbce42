// Harness entries of the motion-estimation refinements (slots 12-14): slots 12 and 14 against
// the plain class, slot 13 against the two-step model (exact with the horizontal flag clear).
#include <cstdint>

#include "tests/venc/dsp/check/me_geometry.h"
#include "tests/venc/dsp/model/motion_models.h"

namespace orx::dsp::check {
namespace {

constexpr int kTrials = 1500;

// Arguments: 3 direction (out), 4 predicted direction, 5 bias, 6 horizontal flag.
void Bias(Rng& rng, CoreCall& call) {
  call.arg[3] = 99;
  call.arg[4] = rng.Uniform(-2, 2);
  call.arg[5] = rng.Chance(30) ? 0 : rng.Uniform(0, 400);
  call.arg[6] = rng.Chance(10) ? 7 : rng.Uniform(0, 1);
}

const KernelRegistrar kEntries[] = {
    KernelRegistrar(CoreScenarioEntry(
        Family::kMotionEstimationCore, 12, "RefineHalfPelHorz", "",
        "exact, against the plain class", kTrials,
        MeBlockScenario(AlignedSettings(), Bias, [](auto& core, auto& c) -> int64_t {
          return core.RefineHalfPelHorz(ReferencePosition(c), &c.arg[3],
                                        c.arg[4], c.arg[5]);
        }))),
    KernelRegistrar(CoreScenarioEntry(
        Family::kMotionEstimationCore, 13, "RefineHalfPelVert", "",
        "exact, against the two-step model (diagonal neighbours take the horizontal means "
        "first)",
        kTrials,
        MeBlockScenario(
            AlignedSettings(), Bias,
            [](auto& core, auto& c) -> int64_t {
              return core.RefineHalfPelVert(ReferencePosition(c), c.arg[6],
                                            &c.arg[3], c.arg[4], c.arg[5]);
            },
            [](CMotionEstimationCore& core, CoreCall& c) -> int64_t {
              return model::RefineHalfPelVert(core.block, core.stride, core.rows,
                                              ReferencePosition(c), c.arg[6],
                                              &c.arg[3], c.arg[4], c.arg[5]);
            }))),
    KernelRegistrar(CoreScenarioEntry(
        Family::kMotionEstimationCore, 14, "RefineFullPelVert", "",
        "exact, against the plain class", kTrials,
        MeBlockScenario(AlignedSettings(), Bias, [](auto& core, auto& c) -> int64_t {
          return core.RefineFullPelVert(ReferencePosition(c), &c.arg[3]);
        }))),
};

}  // namespace
}  // namespace orx::dsp::check
