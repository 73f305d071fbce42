// Harness entries of the decimation slots (21, 22, 31-37): the one-direction forms and the
// 4:1 x 2:1 plane against the plain class, the two-by-two forms against the two-step model
// (vertical means first). The plane forms take widths 1-40 at any source alignment; an output
// byte written past width x rows shows up as a difference from the untouched reference copy.
#include <cstdint>
#include <sstream>

#include "tests/venc/dsp/check/core_scenario.h"
#include "tests/venc/dsp/model/motion_models.h"

namespace orx::dsp::check {
namespace {

constexpr int kTrials = 2000;
constexpr const char* kEqual = "exact, against the plain class";
constexpr const char* kTwoStep =
    "exact, against the two-step model: two-by-two means take the vertical means first";

// Block forms: buffer 0 the 16x16 source (stride a multiple of 16) or packed 8x8, buffer 1 the
// 64-byte output. Argument 0 is the stride.
CoreScenario BlockScenario(std::function<int64_t(CMotionEstimationCore&, CoreCall&)> run,
                           std::function<int64_t(CoreCall&)> model = {}) {
  CoreScenario s;
  s.buffers = {{64 * 16}, {64, true}};
  s.generate = [](Rng& rng, CoreCall& call) { call.arg[0] = 16 * rng.Uniform(1, 4); };
  s.run = [run](CoreSet& cores, CoreCall& call) { return run(*cores.me, call); };
  if (model) s.reference = [model](CoreSet&, CoreCall& call) { return model(call); };
  return s;
}

enum class PlaneKind { kTwoByTwo, kAligned, kFourByTwo, kHorizontal, kVertical };

constexpr size_t kPlaneSource = 2 * 1024 * 5 + 64;
constexpr size_t kPlaneOutput = 1024 * 5;

// Arguments: 0 width, 1 rows, 2 source stride, 3 skip, 4 source offset, 5 unused argument.
// `wide`: one row of 1000 outputs (the benchmark's case).
void GeneratePlane(Rng& rng, CoreCall& call, PlaneKind kind, bool wide) {
  int width = wide ? 1000 : rng.Uniform(1, 40);
  int rows = wide ? 1 : rng.Uniform(1, 5);
  int offset = rng.Uniform(0, 15);
  const int rowBytes = kind == PlaneKind::kVertical ? width : 2 * width;
  int stride = rowBytes + rng.Uniform(0, 40);
  if (kind == PlaneKind::kAligned && rng.Chance(50)) {  // the aligned fast path
    width = 16 * rng.Uniform(1, 2);
    stride = 2 * width + 16 * rng.Uniform(0, 2);
    offset = 0;
  }
  call.arg[0] = width;
  call.arg[1] = rows;
  call.arg[2] = stride;
  // The usual walk two (or one) source rows per output row.
  call.arg[3] = (kind == PlaneKind::kVertical ? 2 * stride - width : 2 * stride - 2 * width);
  call.arg[4] = offset;
  call.arg[5] = rng.Uniform(-5, 5);
}

std::string DescribePlane(const CoreCall& c) {
  std::ostringstream out;
  out << "width " << c.arg[0] << ", rows " << c.arg[1] << ", source stride " << c.arg[2]
      << ", skip " << c.arg[3] << ", source alignment " << c.arg[4];
  return out.str();
}

int64_t RunPlane(CMotionEstimationCore& core, CoreCall& c, PlaneKind kind) {
  uint8_t* d = c.buffer[1];
  const uint8_t* s = c.buffer[0] + c.arg[4];
  switch (kind) {
    case PlaneKind::kTwoByTwo: core.DecimatePlane(d, s, c.arg[0], c.arg[1], c.arg[2], c.arg[3]); break;
    case PlaneKind::kAligned: core.DecimatePlaneAlt(d, s, c.arg[0], c.arg[1], c.arg[2], c.arg[3]); break;
    case PlaneKind::kFourByTwo: core.DecimatePlane4x2(d, s, c.arg[0], c.arg[1], c.arg[2]); break;
    case PlaneKind::kHorizontal: core.DecimateHorz(d, s, c.arg[0], c.arg[1], c.arg[5]); break;
    case PlaneKind::kVertical: core.DecimateVert(d, s, c.arg[0], c.arg[1], c.arg[2], c.arg[3]); break;
  }
  return 0;
}

CoreScenario PlaneScenario(PlaneKind kind, bool wide = false) {
  CoreScenario s;
  s.buffers = {{kPlaneSource}, {kPlaneOutput, true}};
  s.generate = [kind, wide](Rng& rng, CoreCall& call) { GeneratePlane(rng, call, kind, wide); };
  s.run = [kind](CoreSet& cores, CoreCall& call) { return RunPlane(*cores.me, call, kind); };
  if (kind == PlaneKind::kTwoByTwo || kind == PlaneKind::kAligned) {
    s.reference = [](CoreSet&, CoreCall& c) -> int64_t {
      model::DecimatePlane(c.buffer[1], c.buffer[0] + c.arg[4], c.arg[0], c.arg[1], c.arg[2],
                           c.arg[3]);
      return 0;
    };
  }
  s.describe = DescribePlane;
  return s;
}

std::vector<KernelEntry> Entries() {
  std::vector<KernelEntry> e;
  auto add = [&](int slot, const char* name, const char* label, const char* comparison,
                 CoreScenario scenario) {
    e.push_back(CoreScenarioEntry(Family::kMotionEstimationCore, slot, name, label, comparison,
                                  kTrials, std::move(scenario)));
  };
  add(21, "DecimateBlock", "", kTwoStep,
      BlockScenario(
          [](auto& core, auto& c) -> int64_t {
            core.DecimateBlock(c.buffer[1], c.buffer[0], c.arg[0]);
            return 0;
          },
          [](auto& c) -> int64_t {
            model::DecimateBlock(c.buffer[1], c.buffer[0], c.arg[0]);
            return 0;
          }));
  add(22, "DecimateQuadrants", "", kTwoStep,
      BlockScenario(
          [](auto& core, auto& c) -> int64_t {
            return core.DecimateQuadrants(c.buffer[1], c.buffer[0], c.arg[0]);
          },
          [](auto& c) -> int64_t {
            return model::DecimateQuadrants(c.buffer[1], c.buffer[0], c.arg[0]);
          }));
  add(31, "DecimatePlane", "", kTwoStep, PlaneScenario(PlaneKind::kTwoByTwo));
  add(31, "DecimatePlane", "row1000", kTwoStep, PlaneScenario(PlaneKind::kTwoByTwo, true));
  add(32, "DecimatePlane4x2", "", kEqual, PlaneScenario(PlaneKind::kFourByTwo));
  add(33, "DecimatePlaneAlt", "", kTwoStep, PlaneScenario(PlaneKind::kAligned));
  add(34, "DecimateHorz", "", kEqual, PlaneScenario(PlaneKind::kHorizontal));
  add(35, "DecimateVert", "", kEqual, PlaneScenario(PlaneKind::kVertical));
  add(36, "DecimateBlockHorz", "", kEqual, BlockScenario([](auto& core, auto& c) -> int64_t {
        core.DecimateBlockHorz(c.buffer[1], c.buffer[0]);
        return 0;
      }));
  add(37, "DecimateBlockVert", "", kEqual, BlockScenario([](auto& core, auto& c) -> int64_t {
        core.DecimateBlockVert(c.buffer[1], c.buffer[0]);
        return 0;
      }));
  return e;
}

const bool kRegistered = RegisterKernels(Entries());

}  // namespace
}  // namespace orx::dsp::check
