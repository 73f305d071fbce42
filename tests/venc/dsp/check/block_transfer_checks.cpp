// Harness entries of block load, residual and reconstruction (slots 20-27, 41-44). The residual
// slots are checked against the model of the running variant's coded flags; the others against
// the plain class, with residuals and offsets of any 16-bit value.
#include "tests/venc/dsp/check/mb_trials.h"
#include "tests/venc/dsp/model/models.h"

namespace orx::dsp::check {
namespace {

constexpr int kTrials = 5000;
constexpr const char* kEqual = "exact, against the plain class";

// 8 rows of up to 16 bytes at a stride of up to 48 bytes.
constexpr size_t kPixels = 8 * 48;

void Stride(Rng& rng, MbCall& call, int argument) { call.arg[argument] = 16 * rng.Uniform(1, 3); }

// Residual blocks: mostly reconstruction-sized, sometimes any 16-bit value.
void Residuals(Rng& rng, int16_t* blocks, int count) {
  int range = rng.Chance(20) ? 32768 : 300;
  for (int i = 0; i < count; ++i) blocks[i] = static_cast<int16_t>(rng.Uniform(-range, range - 1));
}

// Similar current and prediction pixels, so that thresholds land on both sides.
void SimilarPixels(Rng& rng, uint8_t* current, uint8_t* prediction) {
  int spread = rng.Uniform(0, 8);
  for (size_t i = 0; i < kPixels; ++i) {
    prediction[i] = static_cast<uint8_t>(rng.Uniform(0, 255));
    current[i] =
        static_cast<uint8_t>(std::clamp(prediction[i] + rng.Uniform(-spread, spread), 0, 255));
  }
}

MbScenario Load(bool chroma, bool offset, size_t sourceOffset) {
  MbScenario s;
  s.buffers = {{256}, {kPixels, sourceOffset, false}};
  s.generate = [offset](Rng& rng, MbCall& call) {
    Stride(rng, call, 0);
    call.arg[1] = offset ? rng.Uniform(-32768, 32767) : 0;
  };
  s.run = [chroma, offset](CMBCore& core, MbCall& call) {
    int16_t* blocks = call.as<int16_t>(0);
    if (chroma && offset)
      core.LoadChromaPairOffset(blocks, call.buffer[1], call.arg[0], call.arg[1]);
    if (chroma && !offset) core.LoadChromaPair(blocks, call.buffer[1], call.arg[0]);
    if (!chroma && offset) core.LoadBlockOffset(blocks, call.buffer[1], call.arg[0], call.arg[1]);
    if (!chroma && !offset) core.LoadBlock(blocks, call.buffer[1], call.arg[0]);
    return 0;
  };
  return s;
}

MbScenario Subtract(bool chroma, size_t rowOffset) {
  MbScenario s;
  s.buffers = {{256}, {kPixels, rowOffset, false}, {kPixels, rowOffset, false}};
  s.generate = [](Rng& rng, MbCall& call) {
    SimilarPixels(rng, call.buffer[1], call.buffer[2]);
    Stride(rng, call, 0);
    Stride(rng, call, 1);
    call.arg[2] = rng.Chance(10) ? 0 : rng.Uniform(0, 400);
  };
  auto invoke = [](auto&& slot, MbCall& call) {
    return slot(call.as<int16_t>(0), call.buffer[1], call.buffer[2], call.arg[0], call.arg[1],
                call.arg[2]);
  };
  s.run = [chroma, invoke](CMBCore& core, MbCall& call) {
    return chroma ? invoke([&](auto... a) { return core.SubtractChromaPair(a...); }, call)
                  : invoke([&](auto... a) { return core.SubtractBlock(a...); }, call);
  };
  s.reference = [chroma, invoke](CoreSet&, MbCall& call) {
    return chroma ? invoke(model::SubtractChromaPair, call) : invoke(model::SubtractBlock, call);
  };
  return s;
}

MbScenario Store(bool chroma) {
  MbScenario s;
  s.buffers = {{kPixels}, {256, 0, false}};
  s.generate = [](Rng& rng, MbCall& call) {
    Residuals(rng, call.as<int16_t>(1), 128);
    Stride(rng, call, 0);
  };
  s.run = [chroma](CMBCore& core, MbCall& call) {
    if (chroma) {
      core.StoreChromaPair(call.buffer[0], call.as<int16_t>(1), call.arg[0]);
    } else {
      core.StoreBlockPair(call.buffer[0], call.as<int16_t>(1), call.arg[0]);
    }
    return 0;
  };
  return s;
}

MbScenario Add(bool chroma) {
  MbScenario s;
  s.buffers = {{kPixels}, {kPixels, 0, false}, {256, 0, false}};
  s.generate = [](Rng& rng, MbCall& call) {
    Residuals(rng, call.as<int16_t>(2), 128);
    Stride(rng, call, 0);
    Stride(rng, call, 1);
    call.arg[2] = rng.Uniform(0, 3);
  };
  s.run = [chroma](CMBCore& core, MbCall& call) {
    if (chroma) {
      core.AddChromaPair(call.buffer[0], call.buffer[1], call.as<int16_t>(2), call.arg[0],
                         call.arg[1], call.arg[2]);
    } else {
      core.AddBlockPair(call.buffer[0], call.buffer[1], call.as<int16_t>(2), call.arg[0],
                        call.arg[1], call.arg[2]);
    }
    return 0;
  };
  return s;
}

MbScenario StoreOffset(bool chroma) {
  MbScenario s;
  s.buffers = {{kPixels}, {128, 0, false}, {128, 0, false}};
  s.generate = [](Rng& rng, MbCall& call) {
    Residuals(rng, call.as<int16_t>(1), 64);
    Residuals(rng, call.as<int16_t>(2), 64);
    Stride(rng, call, 0);
    call.arg[1] = rng.Chance(50) ? 128 : rng.Uniform(-32768, 32767);
    call.arg[2] = 2 * rng.Uniform(1, 4);
  };
  s.run = [chroma](CMBCore& core, MbCall& call) {
    if (chroma) {
      core.StoreChromaPairOffset(call.buffer[0], call.as<int16_t>(1), call.as<int16_t>(2),
                                 call.arg[0], call.arg[1], call.arg[2]);
    } else {
      core.StoreBlockPairOffset(call.buffer[0], call.as<int16_t>(1), call.as<int16_t>(2),
                                call.arg[0], call.arg[1], call.arg[2]);
    }
    return 0;
  };
  return s;
}

constexpr const char* kFlags = "exact, against the model of the running variant's coded flags";

const KernelRegistrar kEntries[] = {
    KernelRegistrar(ScenarioEntry(20, "LoadBlock", "", kEqual, kTrials, Load(false, false, 5))),
    KernelRegistrar(
        ScenarioEntry(21, "SubtractBlock", "Unaligned", kFlags, kTrials, Subtract(false, 3))),
    KernelRegistrar(ScenarioEntry(22, "LoadChromaPair", "", kEqual, kTrials, Load(true, false, 0))),
    KernelRegistrar(
        ScenarioEntry(23, "SubtractChromaPair", "", kFlags, kTrials, Subtract(true, 0))),
    KernelRegistrar(ScenarioEntry(24, "StoreBlockPair", "", kEqual, kTrials, Store(false))),
    KernelRegistrar(ScenarioEntry(25, "AddBlockPair", "", kEqual, kTrials, Add(false))),
    KernelRegistrar(ScenarioEntry(26, "StoreChromaPair", "", kEqual, kTrials, Store(true))),
    KernelRegistrar(ScenarioEntry(27, "AddChromaPair", "", kEqual, kTrials, Add(true))),
    KernelRegistrar(
        ScenarioEntry(41, "LoadBlockOffset", "", kEqual, kTrials, Load(false, true, 11))),
    KernelRegistrar(
        ScenarioEntry(42, "StoreBlockPairOffset", "", kEqual, kTrials, StoreOffset(false))),
    KernelRegistrar(
        ScenarioEntry(43, "LoadChromaPairOffset", "", kEqual, kTrials, Load(true, true, 0))),
    KernelRegistrar(
        ScenarioEntry(44, "StoreChromaPairOffset", "", kEqual, kTrials, StoreOffset(true))),
};

}  // namespace
}  // namespace orx::dsp::check
