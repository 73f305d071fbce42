// Harness entries of the comb filters, noise gates and impulse filters (slots 7-12, 14-17)
// against the models of the running class: planes of 16-byte aligned rows of 16 to 96 bytes
// (32 and up for the impulse filters) with the rows above and below that the filters read, all
// of which must come out as the model leaves them; strengths, thresholds and limits beyond a
// byte and gains beyond 16 bits. The "Band" entry filters the rows of a 1920-wide picture.
#include <algorithm>
#include <cstdint>
#include <sstream>

#include "tests/venc/dsp/check/core_scenario.h"
#include "tests/venc/dsp/model/preproc_models.h"

namespace orx::dsp::check {
namespace {

constexpr int kTrials = 1500;
constexpr const char* kModel = "exact, against the model of the running class";

// Picture content: random bytes, or a smooth ramp with sparse impulses and combing, where the
// filters' ranges and strengths decide.
void FillPicture(Rng& rng, uint8_t* p, size_t n) {
  if (rng.Chance(40)) return;  // the random bytes as generated
  const int base = rng.Uniform(0, 255), comb = rng.Uniform(0, 30), noise = rng.Uniform(0, 12);
  for (size_t i = 0; i < n; ++i) {
    int v = base + static_cast<int>(i % 7) + ((i / 16) % 2 ? comb : 0) + rng.Uniform(-noise, noise);
    if (rng.Chance(3)) v = rng.Uniform(0, 255);
    p[i] = static_cast<uint8_t>(std::clamp(v, 0, 255));
  }
}

// Arguments of the plane filters: 0 width, 1 stride, 2 rows, 3 row pairs / vertical distance.
constexpr int kMaxWidth = 96, kMaxStride = 128, kMaxRows = 8;
constexpr size_t kPlaneBytes = (kMaxRows + 4) * kMaxStride;

void GeneratePlane(Rng& rng, CoreCall& call, int minimumWidth) {
  FillPicture(rng, call.buffer[0], kPlaneBytes);
  const int width = 16 * rng.Uniform(minimumWidth / 16, kMaxWidth / 16);
  call.arg[0] = width;
  call.arg[1] = 16 * rng.Uniform(width / 16, kMaxStride / 16);
  call.arg[2] = rng.Uniform(1, kMaxRows);
}

std::string DescribePlane(const CoreCall& c) {
  std::ostringstream out;
  out << "width " << c.arg[0] << ", stride " << c.arg[1] << ", rows " << c.arg[2] << ", argument "
      << c.arg[3];
  return out.str();
}

CoreScenario CombRows(bool withTop) {
  CoreScenario s;
  s.buffers = {{kPlaneBytes, true}, {kMaxStride, true}};
  s.generate = [withTop](Rng& rng, CoreCall& call) {
    GeneratePlane(rng, call, 16);
    if (!withTop) call.arg[2] = std::max(call.arg[2], 2);
  };
  s.run = [withTop](CoreSet& cores, CoreCall& c) -> int64_t {
    if (withTop) {
      cores.pp->FilterCombRowsWithTop(c.buffer[0], c.arg[0], c.arg[1], c.arg[2], c.buffer[1]);
    } else {
      cores.pp->FilterCombRows(c.buffer[0], c.arg[0], c.arg[1], c.arg[2]);
    }
    return 0;
  };
  s.describe = DescribePlane;
  return s;
}

// Buffer 0 the carry row, buffer 1 the contiguous rows; arguments 0 width, 3 row pairs.
CoreScenario CombContiguous(bool block16) {
  CoreScenario s;
  s.buffers = {{kMaxWidth, true}, {16 * kMaxWidth, true}};
  s.generate = [block16](Rng& rng, CoreCall& call) {
    FillPicture(rng, call.buffer[1], 16 * kMaxWidth);
    call.arg[0] = block16 ? 16 : 16 * rng.Uniform(1, kMaxWidth / 16);
    call.arg[3] = rng.Uniform(1, 8);
  };
  s.run = [block16](CoreSet& cores, CoreCall& c) -> int64_t {
    if (block16) {
      cores.pp->FilterCombBlock16(c.buffer[0], c.buffer[1], c.arg[3]);
    } else {
      cores.pp->FilterCombRowsTwoSource(c.buffer[0], c.buffer[1], c.arg[0], c.arg[3]);
    }
    return 0;
  };
  s.describe = DescribePlane;
  return s;
}

// New bytes within about 8 of the old ones, so that the gate opens and closes.
void NearBytes(Rng& rng, const uint8_t* old, uint8_t* fresh, int count) {
  for (int i = 0; i < count; ++i) {
    fresh[i] = static_cast<uint8_t>(std::clamp(old[i] + rng.Uniform(-10, 10), 0, 255));
  }
}

// Buffer 0 the new row, buffer 1 the gated row; arguments 0 length, 4 and 5 offsets.
CoreScenario GateRow() {
  CoreScenario s;
  s.buffers = {{kMaxWidth + 16}, {kMaxWidth + 16, true}};
  s.generate = [](Rng& rng, CoreCall& call) {
    NearBytes(rng, call.buffer[1], call.buffer[0], kMaxWidth + 16);
    call.arg[0] = rng.Uniform(0, kMaxWidth);
    call.arg[4] = rng.Uniform(0, 15);
    call.arg[5] = rng.Uniform(0, 15);
  };
  s.run = [](CoreSet& cores, CoreCall& c) -> int64_t {
    cores.pp->NoiseGateRow(c.buffer[0] + c.arg[4], c.buffer[1] + c.arg[5], c.arg[0]);
    return 0;
  };
  return s;
}

CoreScenario Gate16() {
  CoreScenario s;
  s.buffers = {{32}, {16, true}};
  s.generate = [](Rng& rng, CoreCall& call) {
    NearBytes(rng, call.buffer[0], call.buffer[0] + 16, 16);
  };
  s.run = [](CoreSet& cores, CoreCall& c) -> int64_t {
    cores.pp->NoiseGate16(c.buffer[1], c.buffer[0]);
    return 0;
  };
  return s;
}

// Impulse filters. Buffer 0 the plane (the filtered rows start two strides in, so that a
// vertical distance of two rows stays inside), buffer 1 the reference picture; arguments 0
// width, 1 stride, 2 rows, 3 distance, 4 strength, 5 threshold, 6 limit, 7 gain.
enum class Impulse { kLuma, kChroma, kBoundedLuma, kBoundedChroma };

void GenerateImpulse(Rng& rng, CoreCall& call, bool band) {
  if (band) {
    call.arg[0] = call.arg[1] = 1920;
    call.arg[2] = 16;
  } else {
    GeneratePlane(rng, call, 32);
  }
  call.arg[3] = call.arg[1] * rng.Uniform(1, 2);
  call.arg[4] = rng.Chance(70) ? rng.Uniform(0, 40) : rng.Uniform(-5, 600);
  // Threshold and limit as the preprocessor derives them, or anything.
  const bool typical = band || rng.Chance(60);
  call.arg[5] = typical ? rng.Uniform(0, 15) : rng.Uniform(-5, 600);
  call.arg[6] = typical ? rng.Uniform(5, 127) : rng.Uniform(-5, 600);
  call.arg[7] = typical ? rng.Uniform(0, 49152 / 5) : rng.Uniform(-5, 200000);
}

int64_t RunImpulse(CPreprocCore& core, CoreCall& c, Impulse kind) {
  uint8_t* first = c.buffer[0] + 2 * c.arg[1];
  const uint8_t* reference = c.buffer[1] + 2 * c.arg[1];
  const int* a = c.arg;
  switch (kind) {
    case Impulse::kLuma:
      core.MedianFilter(first, a[0], a[2], a[3], a[1], a[4]);
      break;
    case Impulse::kChroma:
      core.MedianFilterStep2(first, a[0], a[2], a[3], a[1], a[4]);
      break;
    case Impulse::kBoundedLuma:
      core.MedianFilterBounded(first, reference, a[0], a[2], a[3], a[1], a[4], a[5], a[6], a[7]);
      break;
    case Impulse::kBoundedChroma:
      core.MedianFilterStep2Alt(first, reference, a[0], a[2], a[3], a[1], a[4], a[5], a[6], a[7]);
      break;
  }
  return 0;
}

CoreScenario ImpulseFilter(Impulse kind, bool band = false) {
  const size_t bytes = band ? (16 + 4) * 1920 : kPlaneBytes;
  const bool bounded = kind == Impulse::kBoundedLuma || kind == Impulse::kBoundedChroma;
  CoreScenario s;
  s.buffers = {{bytes, true}, {bytes}};
  s.generate = [band, bytes](Rng& rng, CoreCall& call) {
    GenerateImpulse(rng, call, band);
    if (band) FillPicture(rng, call.buffer[0], bytes);
    // A reference picture near the filtered one, so that the blend weights vary.
    NearBytes(rng, call.buffer[0], call.buffer[1], static_cast<int>(bytes));
  };
  s.run = [kind](CoreSet& cores, CoreCall& c) { return RunImpulse(*cores.pp, c, kind); };
  s.reference = [kind, bounded](CoreSet&, CoreCall& c) -> int64_t {
    const int step = kind == Impulse::kLuma || kind == Impulse::kBoundedLuma ? 1 : 2;
    model::BoundedBlend blend;
    if (bounded) blend = {c.buffer[1] + 2 * c.arg[1], c.arg[5], c.arg[6], c.arg[7]};
    model::ImpulseFilter(step, c.buffer[0] + 2 * c.arg[1], c.arg[0], c.arg[2], c.arg[3], c.arg[1],
                         c.arg[4], blend);
    return 0;
  };
  s.describe = [](const CoreCall& c) {
    std::ostringstream out;
    out << DescribePlane(c) << ", strength " << c.arg[4] << ", threshold " << c.arg[5] << ", limit "
        << c.arg[6] << ", gain " << c.arg[7];
    return out.str();
  };
  return s;
}

KernelEntry Entry(int slot, const char* operation, const char* label, CoreScenario scenario,
                  int trials = kTrials) {
  return CoreScenarioEntry(Family::kPreprocCore, slot, operation, label, kModel, trials,
                           std::move(scenario));
}

const KernelRegistrar kEntries[] = {
    KernelRegistrar(Entry(7, "FilterCombRows", "", CombRows(false))),
    KernelRegistrar(Entry(8, "FilterCombBlock16", "", CombContiguous(true))),
    KernelRegistrar(Entry(9, "NoiseGateRow", "", GateRow())),
    KernelRegistrar(Entry(10, "NoiseGate16", "", Gate16())),
    KernelRegistrar(Entry(11, "FilterCombRowsTwoSource", "", CombContiguous(false))),
    KernelRegistrar(Entry(12, "FilterCombRowsWithTop", "", CombRows(true))),
    KernelRegistrar(Entry(14, "MedianFilter", "", ImpulseFilter(Impulse::kLuma))),
    KernelRegistrar(Entry(14, "MedianFilter", "Band", ImpulseFilter(Impulse::kLuma, true), 3)),
    KernelRegistrar(Entry(15, "MedianFilterStep2", "", ImpulseFilter(Impulse::kChroma))),
    KernelRegistrar(Entry(16, "MedianFilterBounded", "", ImpulseFilter(Impulse::kBoundedLuma))),
    KernelRegistrar(Entry(17, "MedianFilterStep2Alt", "", ImpulseFilter(Impulse::kBoundedChroma))),
};

}  // namespace
}  // namespace orx::dsp::check
