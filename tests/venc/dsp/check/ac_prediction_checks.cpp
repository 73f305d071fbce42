// Harness entries of AC prediction and the 16x8 difference sums (slots 36-40, 45, 46). The
// running classes inherit the integer-SSE bodies; they are checked against the model of those
// bodies (store[0] written, the gain held and vetoed). Slot 40 equals the plain class.
#include "tests/venc/dsp/check/mb_trials.h"
#include "tests/venc/dsp/model/models.h"

namespace orx::dsp::check {
namespace {

constexpr int kTrials = 20000;
constexpr const char* kModel = "exact, against the model of the integer-SSE body";

void QuantisedBlock(Rng& rng, int16_t* block) {
  int range = rng.Chance(30) ? 2047 : rng.Chance(50) ? 130 : 40;
  FillUniform(rng, block, -range, range);
}

MbScenario StoreEdge(bool column) {
  MbScenario s;
  s.buffers = {{128, 0, false}, {16}};
  s.generate = [](Rng& rng, MbCall& call) {
    QuantisedBlock(rng, call.as<int16_t>(0));
    call.arg[0] = rng.Uniform(1, 63);
  };
  s.run = [column](CMBCore& core, MbCall& call) {
    if (column) {
      core.StoreAcPredColumn(call.as<int16_t>(0), call.as<int16_t>(1), call.arg[0]);
    } else {
      core.StoreAcPredRow(call.as<int16_t>(0), call.as<int16_t>(1), call.arg[0]);
    }
    return 0;
  };
  s.reference = [column](CoreSet&, MbCall& call) {
    if (column) {
      model::StoreAcPredColumn(call.as<int16_t>(0), call.as<int16_t>(1), call.arg[0]);
    } else {
      model::StoreAcPredRow(call.as<int16_t>(0), call.as<int16_t>(1), call.arg[0]);
    }
    return 0;
  };
  return s;
}

MbScenario Predict(bool column, bool vc1) {
  MbScenario s;
  s.buffers = {{128, 0, false}, {128}, {16}};
  s.generate = [vc1](Rng& rng, MbCall& call) {
    QuantisedBlock(rng, call.as<int16_t>(0));
    int16_t* store = call.as<int16_t>(2);
    const int neighbourQuantiser = rng.Uniform(1, vc1 ? 63 : 47);
    for (int k = 0; k < 8; ++k) {
      store[k] = static_cast<int16_t>(rng.Uniform(-150, 150) * neighbourQuantiser);
    }
    store[0] = 0;  // what every column store and prediction leaves behind
    call.arg[0] = rng.Chance(80);
    call.arg[1] = rng.Uniform(1, vc1 ? 63 : 47);
  };
  s.run = [column, vc1](CMBCore& core, MbCall& call) {
    auto slot = column ? (vc1 ? &CMBCore::PredictAcColumnVc1 : &CMBCore::PredictAcColumn)
                       : (vc1 ? &CMBCore::PredictAcRowVc1 : &CMBCore::PredictAcRow);
    return (core.*slot)(call.as<int16_t>(0), call.as<int16_t>(1), call.as<int16_t>(2), call.arg[0],
                        call.arg[1]);
  };
  s.reference = [column, vc1](CoreSet&, MbCall& call) {
    return model::PredictAc(call.as<int16_t>(0), call.as<int16_t>(1), call.as<int16_t>(2),
                            call.arg[0], call.arg[1], column, vc1);
  };
  return s;
}

MbScenario Sums() {
  MbScenario s;
  s.buffers = {{8 * 48, 3, false}, {8 * 48, 7, false}, {8}};
  s.generate = [](Rng& rng, MbCall& call) {
    call.arg[0] = rng.Uniform(16, 48);
    call.arg[1] = rng.Uniform(16, 48);
  };
  s.run = [](CMBCore& core, MbCall& call) {
    uint32_t* sums = call.as<uint32_t>(2);
    core.SumSseSad16x8(call.buffer[0], call.buffer[1], call.arg[0], call.arg[1], &sums[0],
                       &sums[1]);
    return 0;
  };
  return s;
}

const KernelRegistrar kEntries[] = {
    KernelRegistrar(ScenarioEntry(36, "StoreAcPredRow", "", kModel, kTrials, StoreEdge(false))),
    KernelRegistrar(ScenarioEntry(37, "StoreAcPredColumn", "", kModel, kTrials, StoreEdge(true))),
    KernelRegistrar(ScenarioEntry(38, "PredictAcRow", "", kModel, kTrials, Predict(false, false))),
    KernelRegistrar(
        ScenarioEntry(39, "PredictAcColumn", "", kModel, kTrials, Predict(true, false))),
    KernelRegistrar(
        ScenarioEntry(40, "SumSseSad16x8", "", "exact, against the plain class", kTrials, Sums())),
    KernelRegistrar(
        ScenarioEntry(45, "PredictAcRowVc1", "", kModel, kTrials, Predict(false, true))),
    KernelRegistrar(
        ScenarioEntry(46, "PredictAcColumnVc1", "", kModel, kTrials, Predict(true, true))),
};

}  // namespace
}  // namespace orx::dsp::check
