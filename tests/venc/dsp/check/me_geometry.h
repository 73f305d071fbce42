#pragma once
// Geometry of the motion-estimation block-cost checks: a reference picture (buffer 0) and a
// picture holding the current macroblock (buffer 1), both with the picture stride S, the core
// aimed at the macroblock by one of the owners' settings, and a reference position with room
// for every neighbour the cost slots read.
#include <functional>
#include <string>
#include <vector>

#include "tests/venc/dsp/check/core_scenario.h"

namespace orx::dsp::check {

inline constexpr size_t kMePlaneSize = 64 * 64;    // reference picture, up to 64 rows of 64
inline constexpr size_t kMeCurrentSize = 64 * 32;  // the current macroblock's picture

enum class MeSetting { kWhole, kTopHalf, kBottomHalf, kTopField, kBottomField, kRightHalf };

// Arguments written: 0 stride S (32, 48 or 64), 1 setting (one of `choices`), 2 reference
// position offset; with probability one half the current block
// copies the reference around the position with small noise, so costs are realistic.
void GenerateMeGeometry(Rng& rng, CoreCall& call, const std::vector<MeSetting>& choices);

// Aims the core at the current block by the chosen setting (through the core's setters).
void AimCore(CMotionEstimationCore& core, const CoreCall& call);
inline const uint8_t* ReferencePosition(const CoreCall& call) {
  return call.buffer[0] + call.arg[2];
}
std::string DescribeMeGeometry(const CoreCall& call);

// A slot on the ME geometry: `cost` runs it on the aimed core (arguments 3 and up are the
// slot's own, made by `extra`); `model`, when given, is the reference instead of the plain
// class. With outputBytes, buffer 2 is an output of that size.
using MeCost = std::function<int64_t(CMotionEstimationCore&, CoreCall&)>;
CoreScenario MeBlockScenarioWithoutRun(std::vector<MeSetting> settings,
                                       std::function<void(Rng&, CoreCall&)> extra, MeCost model,
                                       size_t outputBytes);
// The slot call is kept inside the scenario's run function (not behind a second function
// object), so the benchmark times little besides the slot.
template <typename Cost>
CoreScenario MeBlockScenario(std::vector<MeSetting> settings,
                             std::function<void(Rng&, CoreCall&)> extra, Cost cost,
                             MeCost model = {}, size_t outputBytes = 0) {
  CoreScenario s = MeBlockScenarioWithoutRun(std::move(settings), std::move(extra),
                                             std::move(model), outputBytes);
  s.run = [cost](CoreSet& cores, CoreCall& call) -> int64_t {
    AimCore(*cores.me, call);
    return cost(*cores.me, call);
  };
  return s;
}

// The settings whose current block is 16-byte aligned and 16 or 8 rows.
inline std::vector<MeSetting> AlignedSettings() {
  return {MeSetting::kWhole, MeSetting::kTopHalf, MeSetting::kBottomHalf, MeSetting::kTopField,
          MeSetting::kBottomField};
}

}  // namespace orx::dsp::check
