// The VC-1 quarter-sample motion-compensation driver on one macroblock (luma and chroma) at
// each of the nine positions whose two fractions are both non-zero, on the running variant and
// on the plain class, from the same textured reference picture with its borders.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "bench/dsp_bench/ratio_reporter.h"
#include "venc/dsp/mb_core.h"

namespace orx::dsp::check {
namespace {

struct Vc1Picture {
  static constexpr int kStride = 128, kRows = 96;
  std::vector<uint8_t> luma = std::vector<uint8_t>(kStride * kRows);
  std::vector<uint8_t> chroma = std::vector<uint8_t>(kStride * kRows / 2);
  uint8_t* planes[2];
  alignas(16) uint8_t prediction[384];
  uint8_t* pair[2] = {prediction, prediction + 256};
  Vc1Picture() {
    Rng rng(HarnessSeed());
    for (auto& v : luma) v = static_cast<uint8_t>(rng.Uniform(0, 255));
    for (auto& v : chroma) v = static_cast<uint8_t>(rng.Uniform(0, 255));
    planes[0] = luma.data() + 32 * kStride + 32;
    planes[1] = chroma.data() + 16 * kStride + 32;
  }
};

void RegisterPosition(const std::string& name, std::shared_ptr<CMBCore> core, int fx, int fy) {
  auto picture = std::make_shared<Vc1Picture>();
  core->InitMcTables();
  core->roundingControl = 1;
  const int mvx = 4 * 2 + fx, mvy = 4 * -1 + fy;
  // The chroma vector the encoder derives: three-quarter positions round up before halving.
  const int cmvx = ((mvx & 3) == 3 ? mvx + 1 : mvx) >> 1;
  const int cmvy = ((mvy & 3) == 3 ? mvy + 1 : mvy) >> 1;
  const std::string kernel =
      "MotionCompensateMBVc1[" + std::to_string(fx) + "," + std::to_string(fy) + "]/" + name;
  benchmark::RegisterBenchmark(kernel.c_str(), [=](benchmark::State& state) {
    for (auto _ : state) {
      core->MotionCompensateMBVc1(picture->planes, picture->pair, Vc1Picture::kStride, 16, 16, mvx,
                                  mvy, cmvx, cmvy, 0);
      benchmark::DoNotOptimize(picture->prediction);
    }
  });
}

}  // namespace

void RegisterVc1MotionCompensation(const Variant& running) {
  std::shared_ptr<CMBCore> subject(MakeVariantCores(running).mb.release());
  auto reference = std::make_shared<CMBCore>();
  for (int fy = 1; fy <= 3; ++fy) {
    for (int fx = 1; fx <= 3; ++fx) {
      RegisterPosition(running.name, subject, fx, fy);
      RegisterPosition("reference", reference, fx, fy);
    }
  }
}

}  // namespace orx::dsp::check
