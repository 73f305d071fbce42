// Harness entries of the motion-compensation kernel tables: every entry of the running
// variant's table (installed by slot 35) against the same entry of the plain class's table,
// on random padded sources at every alignment 0-15, with 16, 8 or 4 rows and destination row
// steps of 16 or 32.
#include <cstdint>
#include <sstream>

#include "tests/venc/dsp/check/core_scenario.h"

namespace orx::dsp::check {
namespace {

constexpr int kTrials = 400;
constexpr const char* kEqual = "exact, against the plain class's table";

// Sources: rows -1 .. rows + 1 and columns -1 .. 17 around the block are readable.
constexpr size_t kSourceSize = 64 * 24;
constexpr size_t kDestinationSize = 32 * 16;

enum class Group { kLuma, kChroma, kVc1, kBidir };

// Arguments: 0 source stride, 1 destination stride, 2 rows, 3 offset of the first source,
// 4 offset of the second source, 5 bidirectional step.
// The first trial is a macroblock's luma: 16 rows, destination stride 16, step 1.
void GenerateGeometry(Rng& rng, CoreCall& call) {
  static const int kRows[] = {16, 8, 4};
  const int stride = rng.Uniform(32, 64);
  call.arg[0] = stride;
  call.arg[1] = call.first || rng.Chance(75) ? 16 : 32;
  call.arg[2] = call.first ? 16 : kRows[rng.Uniform(0, 2)];
  call.arg[3] = 2 * stride + 2 + rng.Uniform(0, 15);
  call.arg[4] = 2 * stride + 2 + rng.Uniform(0, 15);
  call.arg[5] = call.first || rng.Chance(50) ? 1 : 2;
}

std::string Describe(const CoreCall& c) {
  std::ostringstream out;
  out << "source stride " << c.arg[0] << ", destination stride " << c.arg[1] << ", rows "
      << c.arg[2] << ", source alignment " << (c.arg[3] - 2 * c.arg[0] - 2) << "/"
      << (c.arg[4] - 2 * c.arg[0] - 2) << ", step " << c.arg[5];
  return out.str();
}

CoreScenario KernelScenario(Group group, int index) {
  CoreScenario s;
  if (group == Group::kBidir) {
    s.buffers = {{kSourceSize}, {kSourceSize}, {kDestinationSize, true}};
  } else {
    s.buffers = {{kSourceSize}, {kDestinationSize, true}};
  }
  s.generate = [](Rng& rng, CoreCall& call) {
    GenerateGeometry(rng, call);
    // Extreme samples now and then, where sums overflow 8 bits or filters leave 0..255.
    if (!call.first && rng.Chance(10)) {
      for (size_t i = 0; i < kSourceSize; ++i) call.buffer[0][i] = rng.Chance(50) ? 0 : 255;
    }
  };
  s.run = [group, index](CoreSet& cores, CoreCall& call) -> int64_t {
    CMBCore& core = *cores.mb;
    core.InitMcTables();
    const int stride = call.arg[0], dstStride = call.arg[1], rows = call.arg[2];
    const uint8_t* first = call.buffer[0] + call.arg[3];
    switch (group) {
      case Group::kLuma:
        core.lumaKernels[index](first, call.buffer[1], stride, dstStride, rows);
        break;
      case Group::kChroma:
        core.chromaKernels[index](first, call.buffer[1], stride, dstStride, rows);
        break;
      case Group::kVc1:
        core.vc1FourTapKernels[index](first, call.buffer[1], stride, dstStride, rows);
        break;
      case Group::kBidir:
        core.bidirKernels[index](first, call.buffer[1] + call.arg[4], call.buffer[2], stride,
                                 dstStride, rows, call.arg[5]);
        break;
    }
    return 0;
  };
  s.describe = Describe;
  return s;
}

std::vector<KernelEntry> Entries() {
  static const char* const kLuma[] = {"luma0", "luma1", "luma2", "luma3",
                                      "luma4", "luma5", "luma6", "luma7"};
  static const char* const kChroma[] = {"chroma8",  "chroma9",  "chroma10", "chroma11",
                                        "chroma12", "chroma13", "chroma14", "chroma15"};
  static const char* const kVc1[] = {"vc1_16", "vc1_17", "vc1_18", "vc1_19",
                                     "vc1_20", "vc1_21", "vc1_22", "vc1_23"};
  static const char* const kBidir[] = {"bidir24", "bidir25", "bidir26", "bidir27",
                                       "bidir28", "bidir29", "bidir30", "bidir31",
                                       "bidir32", "bidir33", "bidir34", "bidir35",
                                       "bidir36", "bidir37", "bidir38", "bidir39"};
  std::vector<KernelEntry> entries;
  auto add = [&](Group group, const char* label, int index) {
    entries.push_back(CoreScenarioEntry(Family::kMBCore, 35, "McKernelTable", label, kEqual,
                                        kTrials, KernelScenario(group, index)));
  };
  for (int i = 0; i < 8; ++i) add(Group::kLuma, kLuma[i], i);
  for (int i = 0; i < 8; ++i) add(Group::kChroma, kChroma[i], i);
  for (int i = 0; i < 8; ++i) add(Group::kVc1, kVc1[i], i);
  for (int i = 0; i < 16; ++i) add(Group::kBidir, kBidir[i], i);
  return entries;
}

const bool kRegistered = RegisterKernels(Entries());

}  // namespace
}  // namespace orx::dsp::check
