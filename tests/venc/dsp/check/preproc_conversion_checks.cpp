// Harness entries of the packed 4:2:2 conversions (slots 0, 1, 25-34) against the models: the
// ten kernels at every even width from 2 pixels, unaligned rows and skips that leave gaps
// between destination rows (whose random bytes must survive); the dispatchers with every mode
// from -2 to 6 against the plain dispatcher driving the models. The "Band" entries convert the
// rows of a 1920-wide picture in mode 2 (the benchmark's case).
#include <cstdint>
#include <sstream>

#include "tests/venc/dsp/check/core_scenario.h"

namespace orx::dsp::check {
namespace {

constexpr int kTrials = 1500;
constexpr const char* kModel = "exact, against the model of the mode's averages";

// Arguments: 0 rows, 1 width (pixels), 2 source skip, 3 luma skip, 4 chroma skip, 5-7 offsets
// of source, luma and chroma from a 16-byte boundary, 8 mode (the dispatchers: destination
// pitch in argument 3).
constexpr int kMaxRows = 6, kMaxWidth = 72, kMaxSkip = 40;
constexpr size_t kSourceBytes = kMaxRows * (2 * kMaxWidth + kMaxSkip) + 16;
constexpr size_t kPlaneBytes = kMaxRows * (2 * kMaxWidth + kMaxSkip) + 16;
constexpr int kBandRows = 16, kBandWidth = 1920, kBandSkip = 64;
constexpr size_t kBandSourceBytes = kBandRows * (2 * kBandWidth + kBandSkip);
constexpr size_t kBandPlaneBytes = kBandRows * (kBandWidth + kBandSkip);

void GenerateRows(Rng& rng, CoreCall& call, bool band, bool pairs) {
  call.arg[0] = band    ? kBandRows
                : pairs ? 2 * rng.Uniform(1, kMaxRows / 2)
                        : rng.Uniform(1, kMaxRows);
  call.arg[1] = band ? kBandWidth : 2 * rng.Uniform(1, kMaxWidth / 2);
  for (int i = 2; i < 5; ++i) call.arg[i] = band ? kBandSkip : rng.Uniform(0, kMaxSkip);
  for (int i = 5; i < 8; ++i) call.arg[i] = band ? 0 : rng.Uniform(0, 15);
}

std::string Describe(const CoreCall& c) {
  std::ostringstream out;
  out << "rows " << c.arg[0] << ", width " << c.arg[1] << ", skips " << c.arg[2] << '/' << c.arg[3]
      << '/' << c.arg[4] << ", offsets " << c.arg[5] << '/' << c.arg[6] << '/' << c.arg[7]
      << ", mode " << c.arg[8];
  return out.str();
}

int64_t RunKernel(CPreprocCore& core, CoreCall& c, bool uyvy, int mode) {
  const uint8_t* source = c.buffer[0] + c.arg[5];
  uint8_t* luma = c.buffer[1] + c.arg[6];
  uint8_t* chroma = c.buffer[2] + c.arg[7];
  const int rows = c.arg[0], width = c.arg[1], skip = c.arg[2], lumaSkip = c.arg[3],
            chromaSkip = c.arg[4];
  const uint8_t* end = nullptr;
  switch (mode + (uyvy ? 0 : 5)) {
    case 0:
      end = core.ConvertUYVYMode0(rows, width, skip, lumaSkip, source, luma);
      break;
    case 1:
      end = core.ConvertUYVYMode1(rows, width, skip, lumaSkip, chromaSkip, source, luma, chroma);
      break;
    case 2:
      end = core.ConvertUYVYMode2(rows, width, skip, lumaSkip, chromaSkip, source, luma, chroma);
      break;
    case 3:
      end = core.ConvertUYVYMode3(rows, width, skip, lumaSkip, chromaSkip, source, luma, chroma);
      break;
    case 4:
      end = core.ConvertUYVYMode4(rows, width, skip, lumaSkip, chromaSkip, source, luma, chroma);
      break;
    case 5:
      end = core.ConvertYUY2Mode0(rows, width, skip, lumaSkip, source, luma);
      break;
    case 6:
      end = core.ConvertYUY2Mode1(rows, width, skip, lumaSkip, chromaSkip, source, luma, chroma);
      break;
    case 7:
      end = core.ConvertYUY2Mode2(rows, width, skip, lumaSkip, chromaSkip, source, luma, chroma);
      break;
    case 8:
      end = core.ConvertYUY2Mode3(rows, width, skip, lumaSkip, chromaSkip, source, luma, chroma);
      break;
    case 9:
      end = core.ConvertYUY2Mode4(rows, width, skip, lumaSkip, chromaSkip, source, luma, chroma);
      break;
  }
  return end - source;
}

CoreScenario Kernel(bool uyvy, int mode, bool band) {
  CoreScenario s;
  s.buffers = {{band ? kBandSourceBytes : kSourceBytes},
               {band ? kBandPlaneBytes : kPlaneBytes, true},
               {band ? kBandPlaneBytes : kPlaneBytes, true}};
  s.generate = [mode, band](Rng& rng, CoreCall& call) {
    GenerateRows(rng, call, band, mode != 1);
    call.arg[8] = mode;
  };
  s.run = [uyvy, mode](CoreSet& cores, CoreCall& c) { return RunKernel(*cores.pp, c, uyvy, mode); };
  s.describe = Describe;
  return s;
}

CoreScenario Dispatcher(bool uyvy) {
  CoreScenario s;
  s.buffers = {{kSourceBytes}, {kPlaneBytes, true}, {kPlaneBytes, true}};
  s.generate = [](Rng& rng, CoreCall& call) {
    GenerateRows(rng, call, false, true);
    const int mode = rng.Uniform(-2, 6);
    // Mode 1 writes chroma rows half a pitch apart: the pitch holds two rows.
    call.arg[3] = (mode == 1 ? 2 : 1) * call.arg[1] + rng.Uniform(0, kMaxSkip / 2);
    call.arg[8] = mode;
  };
  s.run = [uyvy](CoreSet& cores, CoreCall& c) -> int64_t {
    const uint8_t* source = c.buffer[0] + c.arg[5];
    uint8_t* const destinations[2] = {c.buffer[1] + c.arg[6], c.buffer[2] + c.arg[7]};
    CPreprocCore& core = *cores.pp;
    const uint8_t* end = uyvy ? core.ConvertUYVY(c.arg[0], c.arg[1], c.arg[2], c.arg[3], source,
                                                 destinations, c.arg[8])
                              : core.ConvertYUY2(c.arg[0], c.arg[1], c.arg[2], c.arg[3], source,
                                                 destinations, c.arg[8]);
    return end - source;
  };
  s.describe = [](const CoreCall& c) {
    std::ostringstream out;
    out << "rows " << c.arg[0] << ", width " << c.arg[1] << ", source skip " << c.arg[2]
        << ", destination pitch " << c.arg[3] << ", mode " << c.arg[8];
    return out.str();
  };
  return s;
}

KernelEntry Entry(int slot, const char* operation, const char* label, CoreScenario scenario,
                  int trials = kTrials, const char* comparison = kModel) {
  return CoreScenarioEntry(Family::kPreprocCore, slot, operation, label, comparison, trials,
                           std::move(scenario));
}

constexpr const char* kDispatch =
    "exact, against the plain dispatcher driving the models of the mode kernels";

const KernelRegistrar kEntries[] = {
    KernelRegistrar(Entry(0, "ConvertUYVY", "", Dispatcher(true), kTrials, kDispatch)),
    KernelRegistrar(Entry(1, "ConvertYUY2", "", Dispatcher(false), kTrials, kDispatch)),
    KernelRegistrar(Entry(25, "ConvertUYVYMode0", "", Kernel(true, 0, false))),
    KernelRegistrar(Entry(26, "ConvertUYVYMode1", "", Kernel(true, 1, false))),
    KernelRegistrar(Entry(27, "ConvertUYVYMode2", "", Kernel(true, 2, false))),
    KernelRegistrar(Entry(27, "ConvertUYVYMode2", "Band", Kernel(true, 2, true), 3)),
    KernelRegistrar(Entry(28, "ConvertUYVYMode3", "", Kernel(true, 3, false))),
    KernelRegistrar(Entry(29, "ConvertUYVYMode4", "", Kernel(true, 4, false))),
    KernelRegistrar(Entry(30, "ConvertYUY2Mode0", "", Kernel(false, 0, false))),
    KernelRegistrar(Entry(31, "ConvertYUY2Mode1", "", Kernel(false, 1, false))),
    KernelRegistrar(Entry(32, "ConvertYUY2Mode2", "", Kernel(false, 2, false))),
    KernelRegistrar(Entry(32, "ConvertYUY2Mode2", "Band", Kernel(false, 2, true), 3)),
    KernelRegistrar(Entry(33, "ConvertYUY2Mode3", "", Kernel(false, 3, false))),
    KernelRegistrar(Entry(34, "ConvertYUY2Mode4", "", Kernel(false, 4, false))),
};

}  // namespace
}  // namespace orx::dsp::check
