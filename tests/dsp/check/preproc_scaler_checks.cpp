// Harness entries of the fill (slot 13): the running class against the model of its
// memory-order pattern for any 32-bit value, and against the plain class for values of four
// equal bytes (the values the preprocessor passes). Rows start anywhere; the gaps between
// rows keep their random bytes.
#include <cstdint>
#include <sstream>

#include "tests/dsp/check/core_scenario.h"
#include "tests/dsp/model/preproc_models.h"

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

const KernelRegistrar kEntries[] = {
    KernelRegistrar(CoreScenarioEntry(Family::kPreprocCore, 13, "FillRows", "",
                                      "exact, against the model: the value's bytes in memory order",
                                      kTrials, FillRows(false))),
    KernelRegistrar(CoreScenarioEntry(Family::kPreprocCore, 13, "FillRows", "FourEqualBytes",
                                      "exact, against the plain class (which fills the low byte)",
                                      kTrials, FillRows(true))),
};

}  // namespace
}  // namespace orx::dsp::check
