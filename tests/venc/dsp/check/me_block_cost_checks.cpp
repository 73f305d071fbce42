// Harness entries of the motion-estimation block costs (slots 0-11): the running variant
// against the plain class where the results are equal, and against the two-step rounding model
// where a reference is interpolated in both directions.
#include <cstdint>

#include "tests/venc/dsp/check/me_geometry.h"
#include "tests/venc/dsp/model/motion_models.h"

namespace orx::dsp::check {
namespace {

constexpr int kTrials = 1500;
constexpr const char* kEqual = "exact, against the plain class";
constexpr const char* kTwoStep =
    "exact, against the two-step model: diagonal half samples take the horizontal means first";

// A flag as the callers may pass it: mostly 0 or 1, now and then another non-zero value.
int RandomFlag(Rng& rng) {
  if (rng.Chance(10)) return rng.Chance(50) ? -1 : 5;
  return rng.Uniform(0, 1);
}

void Flags(Rng& rng, CoreCall& call) {
  call.arg[3] = RandomFlag(rng);
  call.arg[4] = RandomFlag(rng);
}

void Fractions(Rng& rng, CoreCall& call) {
  call.arg[3] = rng.Uniform(0, 3);
  call.arg[4] = rng.Uniform(0, 4);  // 4: out of range, answers 0
}

// The second reference of the bidirectional cost, within a few samples of the first.
void BidirArguments(Rng& rng, CoreCall& call) {
  call.arg[3] = call.arg[2] + rng.Uniform(-2, 2) * call.arg[0] + rng.Uniform(-2, 2);
  for (int i = 4; i < 8; ++i) call.arg[i] = RandomFlag(rng);
}

// The packed setting: buffer 1 holds the packed current block, the reference is a second
// packed block at the start of buffer 0.
CoreScenario PackedSad() {
  CoreScenario s;
  s.buffers = {{256}, {256}};
  s.generate = [](Rng& rng, CoreCall& call) {
    if (rng.Chance(50)) {
      for (int i = 0; i < 256; ++i) call.buffer[1][i] = call.buffer[0][i] ^ (rng.Uniform(0, 3));
    }
  };
  s.run = [](CoreSet& cores, CoreCall& call) -> int64_t {
    cores.me->SetBlock(call.buffer[1], 16);
    return cores.me->Sad16Packed(call.buffer[0]);
  };
  return s;
}

std::vector<KernelEntry> Entries() {
  const std::vector<MeSetting> all = {MeSetting::kWhole,      MeSetting::kTopHalf,
                                      MeSetting::kBottomHalf, MeSetting::kTopField,
                                      MeSetting::kBottomField, MeSetting::kRightHalf};
  const std::vector<MeSetting> whole = {MeSetting::kWhole};
  const std::vector<MeSetting> aligned = AlignedSettings();
  auto ref = ReferencePosition;
  std::vector<KernelEntry> e;
  auto add = [&](int slot, const char* name, const char* label, const char* comparison,
                 CoreScenario scenario) {
    e.push_back(CoreScenarioEntry(Family::kMotionEstimationCore, slot, name, label, comparison,
                                  kTrials, std::move(scenario)));
  };
  add(0, "Satd16", "", kEqual, MeBlockScenario(aligned, {}, [=](auto& core, auto& c) {
        return core.Satd16(ref(c));
      }));
  add(1, "Satd8x16", "", kEqual, MeBlockScenario(whole, {}, [=](auto& core, auto& c) {
        return core.Satd8x16(ref(c));
      }));
  add(2, "SatdSubPel", "", kEqual, MeBlockScenario(whole, Fractions, [=](auto& core, auto& c) {
        return core.SatdSubPel(ref(c), c.arg[3], c.arg[4]);
      }));
  add(3, "QuarterPelSads16", "", kEqual, MeBlockScenario(aligned, Fractions, [=](auto& core, auto& c) {
        return core.QuarterPelSads16(ref(c), c.arg[3], c.arg[4]);
      }));
  add(4, "QuarterPelSads8", "", kEqual, MeBlockScenario(all, Fractions, [=](auto& core, auto& c) {
        return core.QuarterPelSads8(ref(c), c.arg[3], c.arg[4]);
      }));
  add(5, "Sad16Packed", "", kEqual, PackedSad());
  add(6, "Sad16", "", kEqual, MeBlockScenario(aligned, {}, [=](auto& core, auto& c) {
        return core.Sad16(ref(c));
      }));
  add(7, "Sad16Prefetch", "", kEqual, MeBlockScenario(aligned, {}, [=](auto& core, auto& c) {
        return core.Sad16Prefetch(ref(c));
      }));
  auto halfPel = [=](auto& core, auto& c) -> int64_t {
    return core.SadHalfPel16(ref(c), c.arg[3], c.arg[4]);
  };
  auto halfPelModel = [=](CMotionEstimationCore& core, CoreCall& c) -> int64_t {
    return model::SadHalfPel16(core.block, core.stride, core.rows, ref(c), c.arg[3], c.arg[4]);
  };
  add(8, "SadHalfPel16", "", kTwoStep, MeBlockScenario(aligned, Flags, halfPel, halfPelModel));
  add(8, "SadHalfPel16", "diagonal", kTwoStep,
      MeBlockScenario(aligned, [](Rng&, CoreCall& c) { c.arg[3] = c.arg[4] = 1; }, halfPel,
                halfPelModel));
  add(9, "Sad8", "", kEqual, MeBlockScenario(all, {}, [=](auto& core, auto& c) {
        return core.Sad8(ref(c));
      }));
  add(10, "SadHalfPel8", "", kEqual, MeBlockScenario(all, Flags, [=](auto& core, auto& c) {
        return core.SadHalfPel8(ref(c), c.arg[3], c.arg[4]);
      }));
  add(11, "SadBidirHalfPel16", "", kTwoStep,
      MeBlockScenario(
          aligned, BidirArguments,
          [=](auto& core, auto& c) -> int64_t {
            return core.SadBidirHalfPel16(ref(c), c.buffer[0] + c.arg[3], c.arg[4], c.arg[5],
                                          c.arg[6], c.arg[7]);
          },
          [=](CMotionEstimationCore& core, CoreCall& c) -> int64_t {
            return model::SadBidirHalfPel16(core.block, core.stride, core.rows, ref(c),
                                            c.buffer[0] + c.arg[3], c.arg[4], c.arg[5], c.arg[6],
                                            c.arg[7]);
          }));
  return e;
}

const bool kRegistered = RegisterKernels(Entries());

}  // namespace
}  // namespace orx::dsp::check
