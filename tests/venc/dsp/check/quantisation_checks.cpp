// Harness entries of the quantisers, dequantisers and DC-only kernels (slots 2, 5-19, 47-50).
// With unsigned reciprocals and the 2047 limits in every variant, the running bodies equal the
// plain class except where the model says otherwise (slots 8 and 15).
#include "tests/venc/dsp/check/mb_trials.h"
#include "tests/venc/dsp/model/models.h"

namespace orx::dsp::check {
namespace {

constexpr int kTrials = 20000;
constexpr const char* kEqual = "exact, against the plain class";
constexpr const char* kModel = "exact, against the scalar model of the running variant";

// Transform outputs: mostly the range of a forward DCT, sometimes any 16-bit value.
void Coefficients(Rng& rng, int16_t* block) {
  int range = rng.Chance(20) ? 32768 : rng.Chance(50) ? 16320 : 600;
  FillUniform(rng, block, -range, range - 1);
}

void Levels(Rng& rng, int16_t* block) {
  if (rng.Chance(70)) {
    FillSparse(rng, block, -2048, 2047);
  } else {
    FillUniform(rng, block, -2048, 2047);
  }
}

MbScenario Block(void (*fill)(Rng&, int16_t*), std::function<int(CMBCore&, MbCall&)> run,
                 std::function<void(Rng&, MbCall&)> arguments = nullptr) {
  MbScenario s;
  s.buffers = {{128}};
  s.quantised = true;
  s.generate = [fill, arguments](Rng& rng, MbCall& call) {
    fill(rng, call.as<int16_t>(0));
    if (arguments) arguments(rng, call);
  };
  s.run = std::move(run);
  return s;
}

MbScenario SourceToDestination(std::function<int(CMBCore&, MbCall&)> run) {
  MbScenario s;
  s.buffers = {{128, 0, false}, {128}};
  s.quantised = true;
  s.generate = [](Rng& rng, MbCall& call) { Coefficients(rng, call.as<int16_t>(0)); };
  s.run = std::move(run);
  return s;
}

void BlockIndex(Rng& rng, MbCall& call) { call.arg[0] = rng.Uniform(0, 5); }

MbScenario DcOnlyPair(bool vc1) {
  MbScenario s;
  s.buffers = {{256}, {8 * 48, 0, false}};
  s.quantised = true;
  s.generate = [](Rng& rng, MbCall& call) {
    call.arg[0] = 16 * rng.Uniform(1, 3);  // stride
    call.arg[1] = rng.Uniform(0, 255);     // level offset
  };
  s.run = [vc1](CMBCore& core, MbCall& call) {
    if (vc1) {
      core.CodeIntraDcOnlyPairVc1(call.as<int16_t>(0), call.buffer[1], call.arg[0], call.arg[1]);
    } else {
      core.CodeIntraDcOnlyPair(call.as<int16_t>(0), call.buffer[1], call.arg[0]);
    }
    return 0;
  };
  return s;
}

void Vc1Steps(Rng& rng, MbCall& call) {
  call.arg[0] = kVc1DcStep[rng.Uniform(1, 31)];
  call.arg[1] = 2 * rng.Uniform(1, 31);
}

const KernelRegistrar kEntries[] = {
    KernelRegistrar(ScenarioEntry(2, "ApplyDeadZone", "", kEqual, kTrials,
        Block([](Rng& rng, int16_t* b) { FillUniform(rng, b, -900, 900); },
              [](CMBCore& core, MbCall& call) { core.ApplyDeadZone(call.as<int16_t>(0)); return 0; }))),
    KernelRegistrar(ScenarioEntry(5, "QuantizeClip255", "", kEqual, kTrials,
        SourceToDestination([](CMBCore& core, MbCall& call) {
          return core.QuantizeClip255(call.as<int16_t>(0), call.as<int16_t>(1));
        }))),
    KernelRegistrar(ScenarioEntry(6, "QuantizeClip2047", "", kEqual, kTrials,
        Block(Coefficients, [](CMBCore& core, MbCall& call) {
          core.QuantizeClip2047(call.as<int16_t>(0));
          return 0;
        }))),
    KernelRegistrar(ScenarioEntry(7, "QuantizeInterClip255", "", kEqual, kTrials,
        SourceToDestination([](CMBCore& core, MbCall& call) {
          int overflow = -1;
          int coded = core.QuantizeInterClip255(call.as<int16_t>(0), call.as<int16_t>(1), &overflow);
          return coded | overflow << 1;
        }))),
    KernelRegistrar(ScenarioEntry(8, "QuantizeInterClip2047", "", kModel, kTrials, [] {
      MbScenario s = Block(Coefficients, [](CMBCore& core, MbCall& call) {
        return core.QuantizeInterClip2047(call.as<int16_t>(0));
      });
      s.reference = [](CoreSet& ref, MbCall& call) {
        return model::QuantizeInterClip2047(*ref.mb, call.as<int16_t>(0));
      };
      return s;
    }())),
    KernelRegistrar(ScenarioEntry(9, "QuantizeIntra", "", kEqual, kTrials,
        Block(Coefficients, [](CMBCore& core, MbCall& call) {
          return core.QuantizeIntra(call.as<int16_t>(0), call.arg[0]);
        }, BlockIndex))),
    KernelRegistrar(ScenarioEntry(10, "QuantizeIntraTrunc", "", kEqual, kTrials,
        Block(Coefficients, [](CMBCore& core, MbCall& call) {
          return core.QuantizeIntraTrunc(call.as<int16_t>(0), call.arg[0]);
        }, BlockIndex))),
    KernelRegistrar(ScenarioEntry(11, "CodeIntraDcOnlyPair", "", kEqual, kTrials, DcOnlyPair(false))),
    KernelRegistrar(ScenarioEntry(12, "DequantizeIntraMpeg1", "", kEqual, kTrials,
        Block(Levels, [](CMBCore& core, MbCall& call) {
          core.DequantizeIntraMpeg1(call.as<int16_t>(0));
          return 0;
        }))),
    KernelRegistrar(ScenarioEntry(13, "DequantizeIntraMpeg2", "", kEqual, kTrials,
        Block(Levels, [](CMBCore& core, MbCall& call) {
          core.DequantizeIntraMpeg2(call.as<int16_t>(0), call.arg[0]);
          return 0;
        }, BlockIndex))),
    KernelRegistrar(ScenarioEntry(14, "DequantizeIntraH263", "", kEqual, kTrials,
        Block(Levels, [](CMBCore& core, MbCall& call) {
          core.DequantizeIntraH263(call.as<int16_t>(0), call.arg[0], call.arg[1]);
          return 0;
        }, [](Rng& rng, MbCall& call) {
          call.arg[0] = rng.Uniform(0, 5);
          call.arg[1] = rng.Uniform(1, 31);
        }))),
    KernelRegistrar(ScenarioEntry(15, "ReconstructIntraDcOnly", "", kModel, kTrials, [] {
      MbScenario s = Block(Levels, [](CMBCore& core, MbCall& call) {
        core.ReconstructIntraDcOnly(call.as<int16_t>(0), call.arg[0]);
        return 0;
      }, BlockIndex);
      s.reference = [](CoreSet& ref, MbCall& call) {
        model::ReconstructIntraDcOnly(*ref.mb, call.as<int16_t>(0), call.arg[0]);
        return 0;
      };
      return s;
    }())),
    KernelRegistrar(ScenarioEntry(16, "DequantizeInterMpeg1", "", kEqual, kTrials,
        Block(Levels, [](CMBCore& core, MbCall& call) {
          core.DequantizeInterMpeg1(call.as<int16_t>(0));
          return 0;
        }))),
    KernelRegistrar(ScenarioEntry(17, "DequantizeInterMpeg2", "", kEqual, kTrials,
        Block(Levels, [](CMBCore& core, MbCall& call) {
          core.DequantizeInterMpeg2(call.as<int16_t>(0));
          return 0;
        }))),
    KernelRegistrar(ScenarioEntry(18, "DequantizeInterH263", "", kEqual, kTrials,
        Block(Levels, [](CMBCore& core, MbCall& call) {
          core.DequantizeInterH263(call.as<int16_t>(0), call.arg[0]);
          return 0;
        }, [](Rng& rng, MbCall& call) { call.arg[0] = rng.Uniform(1, 31); }))),
    KernelRegistrar(ScenarioEntry(19, "ReconstructInterDcOnly", "", kEqual, kTrials,
        Block([](Rng& rng, int16_t* b) {
          b[0] = static_cast<int16_t>(rng.Chance(50) ? rng.Uniform(1, 2047) : rng.Uniform(-2047, -1));
        }, [](CMBCore& core, MbCall& call) {
          core.ReconstructInterDcOnly(call.as<int16_t>(0));
          return 0;
        }))),
    KernelRegistrar(ScenarioEntry(47, "DequantizeIntraVc1", "", kEqual, kTrials,
        Block(Levels, [](CMBCore& core, MbCall& call) {
          core.DequantizeIntraVc1(call.as<int16_t>(0), call.arg[0], call.arg[1]);
          return 0;
        }, Vc1Steps))),
    KernelRegistrar(ScenarioEntry(48, "DequantizeInterVc1", "", kEqual, kTrials,
        Block(Levels, [](CMBCore& core, MbCall& call) {
          core.DequantizeInterVc1(call.as<int16_t>(0), call.arg[1]);
          return 0;
        }, Vc1Steps))),
    KernelRegistrar(ScenarioEntry(49, "ReconstructDcOnlyVc1", "", kEqual, kTrials,
        Block(Levels, [](CMBCore& core, MbCall& call) {
          core.ReconstructDcOnlyVc1(call.as<int16_t>(0), call.arg[0]);
          return 0;
        }, Vc1Steps))),
    KernelRegistrar(ScenarioEntry(50, "CodeIntraDcOnlyPairVc1", "", kEqual, kTrials, DcOnlyPair(true))),
};

}  // namespace
}  // namespace orx::dsp::check
