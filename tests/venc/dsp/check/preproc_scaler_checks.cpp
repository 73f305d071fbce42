// Harness entries of the fill, the downscalers and the blend (slots 13, 19-24). The fill runs
// against the model of its memory-order pattern for any 32-bit value, and against the plain
// class for values of four equal bytes (the values the preprocessor passes); the downscalers
// against the plain class, with destination gaps whose random bytes must survive (the "Band"
// entry halves a 1920-wide picture both ways); the blend, which every class runs from the
// plain body, against an independent model. Rows of the fill and of the 2x2 chroma
// downscaler start anywhere.
#include <algorithm>
#include <cstdint>
#include <sstream>

#include "tests/venc/dsp/check/core_scenario.h"
#include "tests/venc/dsp/model/preproc_models.h"

namespace orx::dsp::check {
namespace {

constexpr int kTrials = 2000;

// Arguments: 0 width, 1 rows, 2 pitch, 3 value, 4 destination offset.
CoreScenario FillRows(bool equalBytes) {
  constexpr size_t kBytes = 5 * (80 + 24) + 16;
  CoreScenario s;
  s.buffers = {{kBytes, true}};
  s.generate = [equalBytes](Rng& rng, CoreCall& call) {
    const int width = rng.Uniform(0, 80);
    call.arg[0] = width;
    call.arg[1] = rng.Uniform(1, 5);
    call.arg[2] = rng.Chance(30) ? width : width + rng.Uniform(1, 24);
    const uint32_t value = static_cast<uint32_t>(rng.Next());
    call.arg[3] = static_cast<int>(equalBytes ? (value & 0xFF) * 0x01010101u : value);
    call.arg[4] = rng.Uniform(0, 15);
  };
  auto fill = [](CPreprocCore& core, CoreCall& c) -> int64_t {
    core.FillRows(c.buffer[0] + c.arg[4], c.arg[0], c.arg[1], c.arg[2],
                  static_cast<uint32_t>(c.arg[3]));
    return 0;
  };
  s.run = [fill](CoreSet& cores, CoreCall& c) { return fill(*cores.pp, c); };
  if (!equalBytes) {
    s.reference = [](CoreSet&, CoreCall& c) -> int64_t {
      model::FillRows(c.buffer[0] + c.arg[4], c.arg[0], c.arg[1], c.arg[2],
                      static_cast<uint32_t>(c.arg[3]));
      return 0;
    };
  }
  s.describe = [](const CoreCall& c) {
    std::ostringstream out;
    out << "width " << c.arg[0] << ", rows " << c.arg[1] << ", pitch " << c.arg[2] << ", value 0x"
        << std::hex << static_cast<uint32_t>(c.arg[3]);
    return out.str();
  };
  return s;
}

// Downscalers. Buffer 0 the packed source band, buffer 1 the destination; arguments 0 output
// width, 1 output rows, 2 destination skip, 3 and 4 offsets (the MMX chroma body takes any).
enum class Scale { kHorz, kHorzChroma, kTwoByTwo, kTwoByTwoChroma, kVert };

constexpr size_t kScaleSourceBytes = 4 * 4 * 64 + 16, kScaleDestinationBytes = 4 * (64 + 48) + 16;
constexpr int kBandOutputWidth = 960, kBandOutputRows = 8;

CoreScenario Downscale(Scale kind, bool band = false) {
  const size_t sourceBytes = band ? 4 * kBandOutputWidth * kBandOutputRows : kScaleSourceBytes;
  const size_t destinationBytes =
      band ? kBandOutputWidth * kBandOutputRows : kScaleDestinationBytes;
  CoreScenario s;
  s.buffers = {{sourceBytes}, {destinationBytes, true}};
  s.generate = [kind, band](Rng& rng, CoreCall& call) {
    const bool anyAlignment = kind == Scale::kTwoByTwoChroma;
    call.arg[0] = band           ? kBandOutputWidth
                  : anyAlignment ? 8 * rng.Uniform(1, 8)
                                 : 16 * rng.Uniform(1, 4);
    call.arg[1] = band ? kBandOutputRows : rng.Uniform(1, 4);
    call.arg[2] = band ? 0 : anyAlignment ? rng.Uniform(0, 48) : 16 * rng.Uniform(0, 3);
    call.arg[3] = anyAlignment ? rng.Uniform(0, 15) : 0;
    call.arg[4] = anyAlignment ? rng.Uniform(0, 15) : 0;
  };
  s.run = [kind](CoreSet& cores, CoreCall& c) -> int64_t {
    uint8_t* d = c.buffer[1] + c.arg[4];
    const uint8_t* src = c.buffer[0] + c.arg[3];
    CPreprocCore& core = *cores.pp;
    switch (kind) {
      case Scale::kHorz:
        core.DownscaleHorz(d, src, c.arg[0], c.arg[1], c.arg[2]);
        break;
      case Scale::kHorzChroma:
        core.DownscaleHorzChroma(d, src, c.arg[0], c.arg[1], c.arg[2]);
        break;
      case Scale::kTwoByTwo:
        core.Downscale2x2(d, src, c.arg[0], c.arg[1], c.arg[2]);
        break;
      case Scale::kTwoByTwoChroma:
        core.Downscale2x2Chroma(d, src, c.arg[0], c.arg[1], c.arg[2]);
        break;
      case Scale::kVert:
        core.DownscaleVert(d, src, c.arg[0], c.arg[1], c.arg[2]);
        break;
    }
    return 0;
  };
  s.describe = [](const CoreCall& c) {
    std::ostringstream out;
    out << "width " << c.arg[0] << ", rows " << c.arg[1] << ", skip " << c.arg[2] << ", offsets "
        << c.arg[3] << '/' << c.arg[4];
    return out.str();
  };
  return s;
}

// Buffer 0 the picture, 1 the overlay, 2 the alpha map; arguments 0 strength, 1 width, 2 rows,
// 3 overlay pitch, 4 picture pitch.
CoreScenario Blend() {
  constexpr size_t kBytes = 4 * 64;
  CoreScenario s;
  s.buffers = {{kBytes, true}, {kBytes}, {kBytes}};
  s.generate = [](Rng& rng, CoreCall& call) {
    if (rng.Chance(30)) {  // transparent and nearly opaque areas
      for (size_t i = 0; i < kBytes; ++i) call.buffer[2][i] = rng.Chance(50) ? 0 : 255;
    }
    call.arg[0] = rng.Chance(20) ? 255 * rng.Uniform(0, 1) : rng.Uniform(0, 255);
    call.arg[1] = rng.Uniform(-2, 32);
    call.arg[2] = rng.Uniform(-1, 4);
    call.arg[3] = std::max(call.arg[1], 0) + rng.Uniform(0, 16);
    call.arg[4] = std::max(call.arg[1], 0) + rng.Uniform(0, 16);
  };
  s.run = [](CoreSet& cores, CoreCall& c) -> int64_t {
    cores.pp->BlendWeighted(c.buffer[0], c.buffer[1], c.buffer[2], c.arg[0], c.arg[1], c.arg[2],
                            c.arg[3], c.arg[4]);
    return 0;
  };
  s.reference = [](CoreSet&, CoreCall& c) -> int64_t {
    model::BlendWeighted(c.buffer[0], c.buffer[1], c.buffer[2], c.arg[0], c.arg[1], c.arg[2],
                         c.arg[3], c.arg[4]);
    return 0;
  };
  return s;
}

constexpr const char* kEqual = "exact, against the plain class";

KernelEntry Entry(int slot, const char* operation, const char* label, CoreScenario scenario,
                  int trials = kTrials, const char* comparison = kEqual) {
  return CoreScenarioEntry(Family::kPreprocCore, slot, operation, label, comparison, trials,
                           std::move(scenario));
}

const KernelRegistrar kEntries[] = {
    KernelRegistrar(CoreScenarioEntry(Family::kPreprocCore, 13, "FillRows", "",
                                      "exact, against the model: the value's bytes in memory order",
                                      kTrials, FillRows(false))),
    KernelRegistrar(CoreScenarioEntry(Family::kPreprocCore, 13, "FillRows", "FourEqualBytes",
                                      "exact, against the plain class (which fills the low byte)",
                                      kTrials, FillRows(true))),
    KernelRegistrar(Entry(19, "DownscaleHorz", "", Downscale(Scale::kHorz))),
    KernelRegistrar(Entry(20, "DownscaleHorzChroma", "", Downscale(Scale::kHorzChroma))),
    KernelRegistrar(Entry(21, "Downscale2x2", "", Downscale(Scale::kTwoByTwo))),
    KernelRegistrar(Entry(21, "Downscale2x2", "Band", Downscale(Scale::kTwoByTwo, true), 3)),
    KernelRegistrar(Entry(22, "Downscale2x2Chroma", "", Downscale(Scale::kTwoByTwoChroma))),
    KernelRegistrar(Entry(23, "DownscaleVert", "", Downscale(Scale::kVert))),
    KernelRegistrar(Entry(24, "BlendWeighted", "", Blend(), kTrials,
                          "exact, against the model of ((256 - w) x picture + w x overlay) >> 8")),
};

}  // namespace
}  // namespace orx::dsp::check
