// Harness entries of border padding, macroblock buffers and the last-coefficient search
// (slots 28-34), against the plain class.
#include <algorithm>
#include <numeric>

#include "tests/venc/dsp/check/mb_trials.h"

namespace orx::dsp::check {
namespace {

constexpr int kTrials = 3000;
constexpr const char* kEqual = "exact, against the plain class";

// A padded plane: up to 4 rows of up to 64 bytes with 32-byte borders, stride up to 160.
constexpr size_t kPlane = 4 * 160;

MbScenario PadHorizontal(bool chroma) {
  MbScenario s;
  s.buffers = {{kPlane}};
  s.generate = [](Rng& rng, MbCall& call) {
    call.arg[0] = 16 * rng.Uniform(1, 4);                     // width
    call.arg[1] = call.arg[0] + 64 + 16 * rng.Uniform(0, 1);  // stride
    call.arg[2] = rng.Uniform(1, 3);                          // rows
  };
  s.run = [chroma](CMBCore& core, MbCall& call) {
    uint8_t* first = call.buffer[0] + 32;
    if (chroma) {
      core.PadChromaBordersHorizontal(first, call.arg[0], call.arg[1], call.arg[2]);
    } else {
      core.PadBordersHorizontal(first, call.arg[0], call.arg[1], call.arg[2]);
    }
    return 0;
  };
  return s;
}

MbScenario PadVertical() {
  MbScenario s;
  s.buffers = {{1024}, {128, 0, false}};
  s.generate = [](Rng& rng, MbCall& call) {
    call.arg[0] = 16 * rng.Uniform(1, 4);                       // length
    call.arg[1] = rng.Uniform(1, 4);                            // count
    call.arg[2] = rng.Chance(50) ? 0 : 16 * rng.Uniform(1, 4);  // extra step
  };
  s.run = [](CMBCore& core, MbCall& call) {
    core.PadBordersVertical(call.buffer[0], call.buffer[1], call.arg[0], call.arg[1], call.arg[2]);
    return 0;
  };
  return s;
}

MbScenario CopyBand() {
  MbScenario s;
  s.buffers = {{8 * 48}, {8 * 48, 0, false}};
  s.generate = [](Rng& rng, MbCall& call) {
    call.arg[0] = 16 * rng.Uniform(1, 3);
    call.arg[1] = 16 * rng.Uniform(1, 3);
  };
  s.run = [](CMBCore& core, MbCall& call) {
    core.Copy16x16(call.buffer[0], call.buffer[1], call.arg[0], call.arg[1]);
    return 0;
  };
  return s;
}

MbScenario MacroblockBuffers(bool average) {
  MbScenario s;
  s.buffers = {{384}, {256, 0, false}, {128, 0, false}, {256, 0, false}, {128, 0, false}};
  s.generate = [](Rng&, MbCall&) {};
  s.run = [average](CMBCore& core, MbCall& call) {
    if (average) {
      core.AverageMBBuffers(call.buffer[0], call.buffer[1], call.buffer[2], call.buffer[3],
                            call.buffer[4]);
    } else {
      core.CopyMBBuffer(call.buffer[0], call.buffer[1], call.buffer[2]);
    }
    return 0;
  };
  return s;
}

MbScenario LastCoefficient() {
  MbScenario s;
  s.buffers = {{128, 0, false}, {64, 0, false}};
  s.generate = [](Rng& rng, MbCall& call) {
    FillSparse(rng, call.as<int16_t>(0), -300, 300);
    // A position-to-scan table: a permutation of 0..63 with entry 0 = 0.
    uint8_t* table = call.buffer[1];
    std::iota(table, table + 64, 0);
    for (int i = 63; i > 1; --i) std::swap(table[i], table[rng.Uniform(1, i)]);
  };
  s.run = [](CMBCore& core, MbCall& call) {
    return core.FindLastCoefficient(call.as<int16_t>(0), call.buffer[1]);
  };
  return s;
}

const KernelRegistrar kEntries[] = {
    KernelRegistrar(
        ScenarioEntry(28, "PadBordersHorizontal", "", kEqual, kTrials, PadHorizontal(false))),
    KernelRegistrar(
        ScenarioEntry(29, "PadChromaBordersHorizontal", "", kEqual, kTrials, PadHorizontal(true))),
    KernelRegistrar(ScenarioEntry(30, "PadBordersVertical", "", kEqual, kTrials, PadVertical())),
    KernelRegistrar(ScenarioEntry(31, "Copy16x16", "", kEqual, kTrials, CopyBand())),
    KernelRegistrar(
        ScenarioEntry(32, "CopyMBBuffer", "", kEqual, kTrials, MacroblockBuffers(false))),
    KernelRegistrar(
        ScenarioEntry(33, "AverageMBBuffers", "", kEqual, kTrials, MacroblockBuffers(true))),
    KernelRegistrar(
        ScenarioEntry(34, "FindLastCoefficient", "", kEqual, kTrials, LastCoefficient())),
};

}  // namespace
}  // namespace orx::dsp::check
