// Harness entries of the H.264 residual kernels (slots 63-71): the running variant against the
// plain class, which computes the same results for 8-bit residuals and the levels quantised from
// them. Trials cycle through every internal QP 0-39 (QP 12-51) and record kind 0-2; picture rows
// sit at any offset and stride; reconstruction is fed levels made by the quantiser.
#include <cstdint>
#include <memory>
#include <sstream>

#include "tests/venc/dsp/check/core_scenario.h"
#include "tests/venc/dsp/check/h264_setup.h"

namespace orx::dsp::check {
namespace {

constexpr int kTrials = 2400;  // 20 passes over the 120 records
constexpr const char* kEqual = "exact, against the plain class";
constexpr size_t kPlane = 64 * 8;

// Arguments 0 and 1: internal QP and kind, in turn over all 120 records.
std::function<void(Rng&, CoreCall&)> WithRecord(std::function<void(Rng&, CoreCall&)> more) {
  auto next = std::make_shared<int>(0);
  return [next, more](Rng& rng, CoreCall& call) {
    int n = (*next)++;
    call.arg[0] = n % 40;
    call.arg[1] = (n / 40) % 3;
    more(rng, call);
  };
}

// Residuals of 8-bit samples: any, small, or flat.
void FillResiduals(Rng& rng, int16_t* values, int count) {
  int kind = rng.Uniform(0, 2);
  int flat = rng.Uniform(-255, 255);
  for (int i = 0; i < count; ++i) {
    values[i] = static_cast<int16_t>(kind == 0 ? rng.Uniform(-255, 255) : kind == 1 ? rng.Uniform(-12, 12) : flat);
  }
}

// Arguments 2 and 3: a stride and the offset of the current rows in the plane buffer.
void PlacePicture(Rng& rng, CoreCall& call, int rowBytes) {
  call.arg[2] = rng.Uniform(rowBytes, 64);
  call.arg[3] = rng.Uniform(0, static_cast<int>(kPlane) - 3 * call.arg[2] - rowBytes);
}

// Current samples near the prediction most of the time, so that levels are small and sparse.
void NearPrediction(Rng& rng, CoreCall& call, int predictionIndex, int planeIndex, int rowBytes) {
  if (!rng.Chance(60)) return;
  int spread = rng.Chance(50) ? 6 : 40;
  for (int y = 0; y < 4; ++y) {
    for (int x = 0; x < rowBytes; ++x) {
      int v = call.buffer[predictionIndex][rowBytes * y + x] + rng.Uniform(-spread, spread);
      call.buffer[planeIndex][call.arg[3] + y * call.arg[2] + x] = static_cast<uint8_t>(v < 0 ? 0 : v > 255 ? 255 : v);
    }
  }
}

std::string DescribeRecord(const CoreCall& c) {
  std::ostringstream out;
  out << "QP " << c.arg[0] + 12 << " kind " << c.arg[1] << ", arguments";
  for (int i = 2; i < 6; ++i) out << ' ' << c.arg[i];
  return out.str();
}

CoreScenario Scenario(std::vector<CoreBuffer> buffers, std::function<void(Rng&, CoreCall&)> generate,
                      std::function<int64_t(CMBCore&, CoreCall&)> run) {
  CoreScenario s;
  s.buffers = std::move(buffers);
  s.generate = WithRecord(std::move(generate));
  s.run = [run](CoreSet& cores, CoreCall& call) {
    PrepareH264Core(*cores.mb, call.arg[0], call.arg[1]);
    return run(*cores.mb, call);
  };
  s.describe = DescribeRecord;
  return s;
}

KernelEntry Entry(int slot, const char* operation, CoreScenario scenario) {
  return CoreScenarioEntry(Family::kMBCore, slot, operation, "", kEqual, kTrials, std::move(scenario));
}

std::vector<KernelEntry> Entries() {
  std::vector<KernelEntry> entries;
  entries.push_back(Entry(63, "TransformQuant4x4", Scenario(
      {{32, true}},
      [](Rng& rng, CoreCall& call) {
        FillResiduals(rng, call.as<int16_t>(0), 16);
        call.arg[2] = rng.Uniform(0, 1);
      },
      [](CMBCore& core, CoreCall& call) { return core.TransformQuant4x4(call.as<int16_t>(0), call.arg[2]); })));
  auto pairLike = [](bool chroma) {
    return Scenario(
        {{64, true}, {32}, {kPlane}, {8, true}},
        [](Rng& rng, CoreCall& call) {
          PlacePicture(rng, call, 8);
          NearPrediction(rng, call, 1, 2, 8);
        },
        [chroma](CMBCore& core, CoreCall& call) {
          const uint8_t* current = call.buffer[2] + call.arg[3];
          if (chroma) {
            core.TransformQuantChromaAc(call.as<int16_t>(0), call.buffer[1], current, call.arg[2], call.as<uint32_t>(3));
          } else {
            core.TransformQuant4x4Pair(call.as<int16_t>(0), call.buffer[1], current, call.arg[2], call.as<uint32_t>(3));
          }
          return 0;
        });
  };
  entries.push_back(Entry(64, "TransformQuant4x4Pair", pairLike(false)));
  entries.push_back(Entry(65, "TransformQuantChromaAc", pairLike(true)));
  entries.push_back(Entry(66, "TransformQuantChromaDc", Scenario(
      {{32, true}, {256}, {8, true}},
      [](Rng& rng, CoreCall& call) {
        // Unquantised DCs of 4x4 residual blocks: sums of 16 residuals.
        int range = rng.Chance(50) ? 4080 : 200;
        for (int k = 0; k < 4; ++k) {
          for (int p = 0; p < 2; ++p) call.as<int16_t>(1)[32 * k + p] = static_cast<int16_t>(rng.Uniform(-range, range));
        }
      },
      [](CMBCore& core, CoreCall& call) {
        core.TransformQuantChromaDc(call.as<int16_t>(0), call.as<int16_t>(1), call.as<uint32_t>(2));
        return 0;
      })));
  entries.push_back(Entry(67, "TransformQuantLumaDc", Scenario(
      {{32, true}, {512, true}},
      [](Rng& rng, CoreCall& call) {
        int range = rng.Chance(50) ? 4080 : 300;
        for (int b = 0; b < 16; ++b) call.as<int16_t>(1)[16 * b] = static_cast<int16_t>(rng.Uniform(-range, range));
      },
      [](CMBCore& core, CoreCall& call) { return core.TransformQuantLumaDc(call.as<int16_t>(0), call.as<int16_t>(1)); })));
  entries.push_back(Entry(68, "Reconstruct4x4", Scenario(
      {{kPlane, true}, {16}, {32}},
      [](Rng& rng, CoreCall& call) {
        PlacePicture(rng, call, 4);
        int16_t residual[16];
        FillResiduals(rng, residual, 16);
        call.arg[4] = rng.Uniform(0, 1);  // start
        QuantisedLevels(call.as<int16_t>(2), 1, residual, call.arg[0], call.arg[1], call.arg[4]);
        // With start 1 word 0 is the block's reconstructed DC: 4 x the sum of its residuals,
        // as the luma DC path returns it. A DC-only block (coded 0) takes any dequantised DC.
        int16_t& dc = call.as<int16_t>(2)[0];
        call.arg[5] = rng.Chance(20) ? 0 : 1;
        if (call.arg[4] == 1) dc = static_cast<int16_t>(4 * dc);
        if (call.arg[5] == 0) dc = static_cast<int16_t>(rng.Uniform(-16320, 16320));
      },
      [](CMBCore& core, CoreCall& call) {
        core.Reconstruct4x4(call.buffer[0] + call.arg[3], call.buffer[1], call.as<int16_t>(2), call.arg[2], call.arg[4], call.arg[5]);
        return 0;
      })));
  entries.push_back(Entry(69, "Reconstruct4x4Pair", Scenario(
      {{kPlane, true}, {32}, {64}},
      [](Rng& rng, CoreCall& call) {
        PlacePicture(rng, call, 8);
        int16_t residual[32];
        FillResiduals(rng, residual, 32);
        QuantisedLevels(call.as<int16_t>(2), 2, residual, call.arg[0], call.arg[1], 0);
        call.arg[5] = rng.Chance(20) ? 0 : 1;
      },
      [](CMBCore& core, CoreCall& call) {
        core.Reconstruct4x4Pair(call.buffer[0] + call.arg[3], call.buffer[1], call.as<int16_t>(2), call.arg[2], call.arg[5]);
        return 0;
      })));
  entries.push_back(Entry(70, "ReconstructChroma", Scenario(
      {{kPlane, true}, {32}, {64}, {16}},
      [](Rng& rng, CoreCall& call) {
        PlacePicture(rng, call, 8);
        // Levels of a chroma pair as the quantiser leaves them: each component's AC levels.
        int16_t residual[32], levels[32];
        FillResiduals(rng, residual, 32);
        QuantisedLevels(levels, 2, residual, call.arg[0], call.arg[1], 1);
        for (int n = 0; n < 16; ++n) {
          call.as<int16_t>(2)[2 * n] = n == 0 ? 0 : levels[n];
          call.as<int16_t>(2)[2 * n + 1] = n == 0 ? 0 : levels[16 + n];
        }
        // Each component's reconstructed DC: 4 x the sum of its residuals.
        call.as<int16_t>(3)[0] = static_cast<int16_t>(4 * levels[0]);
        call.as<int16_t>(3)[1] = static_cast<int16_t>(4 * levels[16]);
        call.arg[5] = rng.Chance(20) ? 0 : 1;
      },
      [](CMBCore& core, CoreCall& call) {
        core.ReconstructChroma(call.buffer[0] + call.arg[3], call.buffer[1], call.as<int16_t>(2), call.as<int16_t>(3),
                               call.arg[2], call.arg[5]);
        return 0;
      })));
  entries.push_back(Entry(71, "Subtract4x4", Scenario(
      {{32, true}, {16}, {kPlane}},
      [](Rng& rng, CoreCall& call) { PlacePicture(rng, call, 4); },
      [](CMBCore& core, CoreCall& call) {
        core.Subtract4x4(call.as<int16_t>(0), call.buffer[1], call.buffer[2] + call.arg[3], call.arg[2]);
        return 0;
      })));
  return entries;
}

const bool kRegistered = RegisterKernels(Entries());

}  // namespace
}  // namespace orx::dsp::check
