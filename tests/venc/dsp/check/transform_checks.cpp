// Harness entries of the 8x8 transforms (slots 0, 1, 3, 4): the SSE2 bodies against scalar
// models of their 16-bit and 13-bit arithmetic, on in-contract and on full-range blocks.
#include "tests/venc/dsp/check/mb_trials.h"
#include "tests/venc/dsp/model/models.h"

namespace orx::dsp::check {
namespace {

using Model = void (*)(int16_t*);

KernelEntry TransformEntry(int slot, const char* operation, const char* label,
                           BlockTrial::Generator generate, void (CMBCore::*slotFn)(int16_t*),
                           Model model, int trials) {
  KernelEntry e;
  e.family = Family::kMBCore;
  e.slot = slot;
  e.operation = operation;
  e.label = label;
  e.comparison = "exact, against the scalar model of the running arithmetic";
  e.trials = trials;
  e.make = [generate, slotFn, model] {
    return std::make_unique<BlockTrial>(
        generate, [slotFn](CMBCore& core, int16_t* block) { (core.*slotFn)(block); },
        [model](CoreSet&, int16_t* block) { model(block); });
  };
  return e;
}

void Residuals(Rng& rng, int16_t* block) { FillUniform(rng, block, -255, 255); }
void FullRange(Rng& rng, int16_t* block) { FillUniform(rng, block, -32768, 32767); }
void Levels(Rng& rng, int16_t* block) {
  if (rng.Chance(50)) {
    FillSparse(rng, block, -2048, 2047);
  } else {
    FillUniform(rng, block, -2048, 2047);
  }
}

const KernelRegistrar kEntries[] = {
    KernelRegistrar(TransformEntry(0, "ForwardDct", "Residuals", Residuals, &CMBCore::ForwardDct,
                                   model::ForwardDct16, 50000)),
    KernelRegistrar(TransformEntry(0, "ForwardDct", "FullRange", FullRange, &CMBCore::ForwardDct,
                                   model::ForwardDct16, 50000)),
    KernelRegistrar(TransformEntry(1, "ForwardTransformVc1", "Residuals", Residuals,
                                   &CMBCore::ForwardTransformVc1, model::ForwardTransformVc1Bits16,
                                   50000)),
    KernelRegistrar(TransformEntry(1, "ForwardTransformVc1", "FullRange", FullRange,
                                   &CMBCore::ForwardTransformVc1, model::ForwardTransformVc1Bits16,
                                   50000)),
    KernelRegistrar(TransformEntry(3, "InverseDct", "Levels", Levels, &CMBCore::InverseDct,
                                   model::InverseDct13, 50000)),
    KernelRegistrar(TransformEntry(3, "InverseDct", "FullRange", FullRange, &CMBCore::InverseDct,
                                   model::InverseDct13, 50000)),
    KernelRegistrar(TransformEntry(4, "InverseTransformVc1", "Levels", Levels,
                                   &CMBCore::InverseTransformVc1, model::InverseTransformVc1Bits16,
                                   50000)),
    KernelRegistrar(TransformEntry(4, "InverseTransformVc1", "FullRange", FullRange,
                                   &CMBCore::InverseTransformVc1, model::InverseTransformVc1Bits16,
                                   50000)),
};

}  // namespace
}  // namespace orx::dsp::check
