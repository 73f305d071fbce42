// Harness entries of the window searches (slots 15-20, 38): the running variant against the
// model of its predictor rule and scan order (or the plain class, for the plain-only slots
// 18 and 20). Windows are small and, in a third of the trials, made of few distinct values so
// that many candidates tie and the tie rules decide.
#include <algorithm>
#include <cstdint>
#include <sstream>

#include "tests/venc/dsp/check/core_scenario.h"
#include "tests/venc/dsp/model/motion_models.h"

namespace orx::dsp::check {
namespace {

constexpr int kTrials = 2000;
constexpr size_t kPlaneSize = 96 * 40;
constexpr size_t kBlockSize = 64;

enum class Shape {
  kEvenRows8x4,     // slot 15: block rows 0, 2, 4, 6 against reference rows 2 strides apart
  kEvenRows8x4Far,  // slot 17: the same against rows 4 strides apart
  kReduced4x4,      // slot 16: the 2x2 means of the 8x8 block against 4x4 candidates
  kRowPairs8x4,     // slot 19: the row-pair means of the 8x8 block against 8x4 candidates
  kBlock4x4Rows8,   // slot 18: 4x4 with block rows 8 bytes apart
  kBlock2x2,        // slot 20: pixels 0, 1, 4, 5 of the block against 2x2 candidates
  kPacked4x4,       // slot 38: packed 4x4 against 4x4 candidates
};

// Block bytes that candidate (row r, column c) of a perfect match lands on.
void Plant(Shape shape, const uint8_t* candidate, int stride, uint8_t* block) {
  auto at = [&](int r, int c) { return candidate[r * stride + c]; };
  switch (shape) {
    case Shape::kEvenRows8x4:
      for (int r = 0; r < 8; ++r) std::copy_n(candidate + r * stride, 8, block + 8 * r);
      break;
    case Shape::kEvenRows8x4Far:
      for (int r = 0; r < 8; ++r) std::copy_n(candidate + 2 * r * stride, 8, block + 8 * r);
      break;
    case Shape::kReduced4x4:
      for (int r = 0; r < 8; ++r) {
        for (int c = 0; c < 8; ++c) block[8 * r + c] = at(r / 2, c / 2);
      }
      break;
    case Shape::kRowPairs8x4:
      for (int r = 0; r < 8; ++r) std::copy_n(candidate + (r / 2) * stride, 8, block + 8 * r);
      break;
    case Shape::kBlock4x4Rows8:
      for (int r = 0; r < 4; ++r) std::copy_n(candidate + r * stride, 4, block + 8 * r);
      break;
    case Shape::kBlock2x2:
      for (int r = 0; r < 2; ++r) std::copy_n(candidate + r * stride, 2, block + 4 * r);
      break;
    case Shape::kPacked4x4:
      for (int r = 0; r < 4; ++r) std::copy_n(candidate + r * stride, 4, block + 4 * r);
      break;
  }
}

// Arguments: 0 stride, 1 window offset, 2 nx, 3 ny, 4 x (in/out), 5 y (in/out), 6 threshold.
// A wide window (32 x 16 of random samples, for the benchmark) or a small one of 1..14 by
// 1..10 candidates.
void GenerateWindow(Rng& rng, CoreCall& call, Shape shape, bool wide) {
  const int stride = wide ? 96 : rng.Uniform(24, 96);
  const int row = rng.Uniform(0, 3), column = rng.Uniform(0, 3);
  const int nx = wide ? 32 : rng.Uniform(1, std::min(14, stride - column - 8));
  const int ny = wide ? 16 : rng.Uniform(1, 10);
  call.arg[0] = stride;
  call.arg[1] = row * stride + column;
  call.arg[2] = nx;
  call.arg[3] = ny;
  call.arg[4] = rng.Uniform(0, nx - 1);
  call.arg[5] = rng.Uniform(0, ny - 1);
  static const int kThresholds[] = {0, 32, 40};
  call.arg[6] = rng.Chance(60) ? kThresholds[rng.Uniform(0, 2)] : rng.Uniform(0, 200);
  if (wide) return;
  if (rng.Chance(33)) {  // few distinct values: many equal costs
    const int levels = rng.Uniform(1, 3);
    FillBytes(rng, call.buffer[0], kPlaneSize, levels);
    FillBytes(rng, call.buffer[1], kBlockSize, levels);
  }
  if (rng.Chance(50)) {  // a good match somewhere in the window, or at the predictor
    const bool atPredictor = rng.Chance(30);
    const int cx = atPredictor ? call.arg[4] : rng.Uniform(0, nx - 1);
    const int cy = atPredictor ? call.arg[5] : rng.Uniform(0, ny - 1);
    Plant(shape, call.buffer[0] + call.arg[1] + cy * stride + cx, stride, call.buffer[1]);
    const int noise = rng.Uniform(0, 2);
    for (size_t i = 0; i < kBlockSize; ++i) {
      call.buffer[1][i] = static_cast<uint8_t>(std::clamp(call.buffer[1][i] + rng.Uniform(-noise, noise), 0, 255));
    }
  }
}

std::string DescribeWindow(const CoreCall& c) {
  std::ostringstream out;
  out << "stride " << c.arg[0] << ", origin row " << c.arg[1] / c.arg[0] << " column "
      << c.arg[1] % c.arg[0] << ", window " << c.arg[2] << " x " << c.arg[3] << ", predictor ("
      << c.arg[4] << ", " << c.arg[5] << "), threshold " << c.arg[6];
  return out.str();
}

using Search = std::function<int(CMotionEstimationCore&, CoreCall&)>;
using Model = std::function<int(CoreCall&)>;

CoreScenario WindowScenario(Shape shape, Search search, Model model, bool wide = false) {
  CoreScenario s;
  s.buffers = {{kPlaneSize}, {kBlockSize}};
  s.generate = [shape, wide](Rng& rng, CoreCall& call) { GenerateWindow(rng, call, shape, wide); };
  s.run = [search](CoreSet& cores, CoreCall& call) -> int64_t { return search(*cores.me, call); };
  if (model) s.reference = [model](CoreSet&, CoreCall& call) -> int64_t { return model(call); };
  s.describe = DescribeWindow;
  return s;
}

// The search arguments of a call, for the slot and for its model.
#define ORX_WINDOW_ARGS(c) \
  (c).buffer[0] + (c).arg[1], (c).buffer[1], (c).arg[0], (c).arg[2], (c).arg[3], &(c).arg[4], &(c).arg[5]

const KernelRegistrar kEntries[] = {
    KernelRegistrar(CoreScenarioEntry(
        Family::kMotionEstimationCore, 15, "SearchWindow8x4Stride2", "",
        "exact, against the model: predictor accepted at SAD <= 16 with result 0, head start 4, "
        "row-major scan",
        kTrials,
        WindowScenario(
            Shape::kEvenRows8x4,
            [](auto& core, auto& c) { return core.SearchWindow8x4Stride2(ORX_WINDOW_ARGS(c)); },
            [](auto& c) { return model::SearchWindow8x4Stride2(ORX_WINDOW_ARGS(c)); }))),
    KernelRegistrar(CoreScenarioEntry(
        Family::kMotionEstimationCore, 16, "SearchWindow4x4Threshold", "",
        "exact, against the model: two-step 4x4 block, threshold rule, pair scan with ties to "
        "the lower row",
        kTrials,
        WindowScenario(
            Shape::kReduced4x4,
            [](auto& core, auto& c) {
              return core.SearchWindow4x4Threshold(ORX_WINDOW_ARGS(c), c.arg[6]);
            },
            [](auto& c) { return model::SearchWindow4x4Threshold(ORX_WINDOW_ARGS(c), c.arg[6]); }))),
    KernelRegistrar(CoreScenarioEntry(
        Family::kMotionEstimationCore, 16, "SearchWindow4x4Threshold", "window32x16",
        "exact, against the model, over a 32 x 16 window", 200,
        WindowScenario(
            Shape::kReduced4x4,
            [](auto& core, auto& c) {
              return core.SearchWindow4x4Threshold(ORX_WINDOW_ARGS(c), c.arg[6]);
            },
            [](auto& c) { return model::SearchWindow4x4Threshold(ORX_WINDOW_ARGS(c), c.arg[6]); },
            true))),
    KernelRegistrar(CoreScenarioEntry(
        Family::kMotionEstimationCore, 17, "SearchWindow8x4Stride4", "",
        "exact, against the model: predictor accepted at SAD <= 16, head start 4, sparse scan",
        kTrials,
        WindowScenario(
            Shape::kEvenRows8x4Far,
            [](auto& core, auto& c) { return core.SearchWindow8x4Stride4(ORX_WINDOW_ARGS(c)); },
            [](auto& c) { return model::SearchWindow8x4Stride4(ORX_WINDOW_ARGS(c)); }))),
    KernelRegistrar(CoreScenarioEntry(
        Family::kMotionEstimationCore, 18, "SearchWindow4x4", "", "exact, against the plain class",
        kTrials,
        WindowScenario(
            Shape::kBlock4x4Rows8,
            [](auto& core, auto& c) { return core.SearchWindow4x4(ORX_WINDOW_ARGS(c)); }, {}))),
    KernelRegistrar(CoreScenarioEntry(
        Family::kMotionEstimationCore, 19, "SearchWindowRowPairs", "",
        "exact, against the model: row-pair means, threshold rule, row-major scan", kTrials,
        WindowScenario(
            Shape::kRowPairs8x4,
            [](auto& core, auto& c) {
              return core.SearchWindowRowPairs(ORX_WINDOW_ARGS(c), c.arg[6]);
            },
            [](auto& c) { return model::SearchWindowRowPairs(ORX_WINDOW_ARGS(c), c.arg[6]); }))),
    KernelRegistrar(CoreScenarioEntry(
        Family::kMotionEstimationCore, 20, "SearchWindowThreshold", "",
        "exact, against the plain class", kTrials,
        WindowScenario(
            Shape::kBlock2x2,
            [](auto& core, auto& c) {
              return core.SearchWindowThreshold(ORX_WINDOW_ARGS(c), c.arg[6]);
            },
            {}))),
    KernelRegistrar(CoreScenarioEntry(
        Family::kMotionEstimationCore, 38, "SearchWindowThreshold2", "",
        "exact, against the model: threshold rule, pair scan with strict improvement", kTrials,
        WindowScenario(
            Shape::kPacked4x4,
            [](auto& core, auto& c) {
              return core.SearchWindowThreshold2(ORX_WINDOW_ARGS(c), c.arg[6]);
            },
            [](auto& c) { return model::SearchWindowThreshold2(ORX_WINDOW_ARGS(c), c.arg[6]); }))),
};

#undef ORX_WINDOW_ARGS

}  // namespace
}  // namespace orx::dsp::check
