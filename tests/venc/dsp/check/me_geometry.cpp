#include "tests/venc/dsp/check/me_geometry.h"

#include <algorithm>
#include <sstream>
#include <vector>

namespace orx::dsp::check {

void GenerateMeGeometry(Rng& rng, CoreCall& call, const std::vector<MeSetting>& choices) {
  const int s = 16 * rng.Uniform(2, 4);
  call.arg[0] = s;
  // The first trial takes the first setting listed (the whole macroblock where it is allowed).
  const int choice = call.first ? 0 : rng.Uniform(0, static_cast<int>(choices.size()) - 1);
  call.arg[1] = static_cast<int>(choices[choice]);
  // Rows -2 .. 18 of a field (twice the stride) and columns -2 .. 18 stay inside the plane.
  const int row = rng.Uniform(4, 20), column = rng.Uniform(2, s - 19);
  call.arg[2] = row * s + column;
  if (rng.Chance(50)) {
    // The current picture copies the reference picture near the position, with noise.
    const int shift = rng.Uniform(-1, 1) * s + rng.Uniform(-1, 1);
    const int noise = rng.Uniform(0, 6);
    for (int i = 0; i < 32 * s; ++i) {
      int v = call.buffer[0][call.arg[2] + shift + i - 2 * s] + rng.Uniform(-noise, noise);
      call.buffer[1][i] = static_cast<uint8_t>(std::clamp(v, 0, 255));
    }
  }
}

void AimCore(CMotionEstimationCore& core, const CoreCall& call) {
  const uint8_t* p = call.buffer[1];
  const int s = call.arg[0];
  switch (static_cast<MeSetting>(call.arg[1])) {
    case MeSetting::kWhole: core.SetBlock(p, s); break;
    case MeSetting::kTopHalf: core.SetTopHalf(p, s); break;
    case MeSetting::kBottomHalf: core.SetBottomHalf(p, s); break;
    case MeSetting::kTopField: core.SetFieldTop(p, s); break;
    case MeSetting::kBottomField: core.SetFieldBottom(p, s); break;
    case MeSetting::kRightHalf: core.SetRightHalf(p, s); break;
  }
}

CoreScenario MeBlockScenarioWithoutRun(std::vector<MeSetting> settings,
                                       std::function<void(Rng&, CoreCall&)> extra, MeCost model,
                                       size_t outputBytes) {
  CoreScenario s;
  s.buffers = {{kMePlaneSize}, {kMeCurrentSize}};
  if (outputBytes) s.buffers.push_back({outputBytes, true});
  s.generate = [choices = std::move(settings), extra](Rng& rng, CoreCall& call) {
    GenerateMeGeometry(rng, call, choices);
    if (extra) extra(rng, call);
  };
  if (model) {
    s.reference = [model](CoreSet& cores, CoreCall& call) -> int64_t {
      AimCore(*cores.me, call);
      return model(*cores.me, call);
    };
  }
  s.describe = DescribeMeGeometry;
  return s;
}

std::string DescribeMeGeometry(const CoreCall& call) {
  static const char* const kNames[] = {"whole", "top half", "bottom half",
                                       "top field", "bottom field", "right half"};
  std::ostringstream out;
  out << "stride " << call.arg[0] << ", " << kNames[call.arg[1]] << ", reference row "
      << call.arg[2] / call.arg[0] << " column " << call.arg[2] % call.arg[0];
  for (int a = 3; a < 10; ++a) out << ", arg" << a << " " << call.arg[a];
  return out.str();
}

}  // namespace orx::dsp::check
