// Harness entries of the VC-1 slots 51-62 against the plain class: overlap smoothing of 16-bit
// samples, deblocking of 8-bit edges built so that segments open and stay shut in about equal
// numbers, and sub-sample interpolation from padded sources at every alignment 0-15 with odd
// source strides. Arguments follow the callers' contract: fractions 1 and 3 for the
// one-dimensional bicubic slots, 1-3 for the two-dimensional one, weights words of the
// bilinear table, row counts 4 and 8 for slot 52, segment counts 1-8, masks 0-3, PQUANT 1-31.
#include <cstdint>
#include <cstring>
#include <sstream>

#include "tests/venc/dsp/check/core_scenario.h"
#include "tests/venc/dsp/check/vc1_edges.h"
#include "venc/dsp/vc1_interpolation_tables.h"

namespace orx::dsp::check {
namespace {

constexpr int kTrials = 400;
constexpr const char* kEqual = "exact, against the plain class";

// ---- Interpolation (59-62) ----------------------------------------------------------------

// Sources: two rows above and below and 16 bytes either side of the block are readable.
constexpr int kMaxSourceStride = 63;
constexpr size_t kSourceSize = kMaxSourceStride * 22;
constexpr size_t kDestinationSize = 32 * 16;

enum class Interpolation { kBilinear, kVertical, kHorizontal, kTwoDimensional };

// Arguments: 0 source stride, 1 destination stride, 2 rows, 3 source offset, 4 rounding,
// 5 fraction x (or bilinear weights index), 6 fraction y. The first trial is a macroblock's.
CoreScenario InterpolationScenario(Interpolation kind) {
  CoreScenario s;
  s.buffers = {{kSourceSize}, {kDestinationSize, true}};
  s.generate = [kind](Rng& rng, CoreCall& call) {
    static const int kBilinearIndex[] = {1, 3, 4, 5, 6, 7, 9, 11, 12, 13, 14, 15};
    const int stride = rng.Uniform(35, kMaxSourceStride);
    const bool pitchOnly =
        kind == Interpolation::kVertical || kind == Interpolation::kTwoDimensional;
    call.arg[0] = stride;
    call.arg[1] = pitchOnly || call.first || rng.Chance(50) ? 16 : 32;
    call.arg[2] = call.first ? (kind == Interpolation::kBilinear ? 8 : 16) : rng.Uniform(1, 16);
    call.arg[3] = 2 * stride + 16 + rng.Uniform(0, 15);
    call.arg[4] = rng.Uniform(0, 1);
    switch (kind) {
      case Interpolation::kBilinear:
        call.arg[5] = kBilinearIndex[rng.Uniform(0, 11)];
        break;
      case Interpolation::kTwoDimensional:
        call.arg[5] = rng.Uniform(1, 3);
        call.arg[6] = rng.Uniform(1, 3);
        break;
      default:
        call.arg[5] = rng.Chance(50) ? 1 : 3;
        break;
    }
    // Extreme samples now and then, where the negative taps leave 0..255.
    if (!call.first && rng.Chance(15)) {
      for (size_t i = 0; i < kSourceSize; ++i) call.buffer[0][i] = rng.Chance(50) ? 0 : 255;
    }
  };
  s.run = [kind](CoreSet& cores, CoreCall& call) -> int64_t {
    CMBCore& core = *cores.mb;
    const uint8_t* source = call.buffer[0] + call.arg[3];
    uint8_t* destination = call.buffer[1];
    const int stride = call.arg[0], pitch = call.arg[1], rows = call.arg[2], rc = call.arg[4];
    switch (kind) {
      case Interpolation::kBilinear:
        core.InterpolateBilinearVc1(Vc1BilinearWeights[call.arg[5]], source, destination, stride,
                                    pitch, rows, rc);
        break;
      case Interpolation::kVertical:
        core.InterpolateBicubicVertVc1(source, destination, stride, pitch, rows, call.arg[5], rc);
        break;
      case Interpolation::kHorizontal:
        core.InterpolateBicubicHorzVc1(source, destination, stride, pitch, rows, call.arg[5], rc);
        break;
      case Interpolation::kTwoDimensional:
        core.InterpolateBicubic2DVc1(source, destination, stride, pitch, rows, call.arg[5],
                                     call.arg[6], rc);
        break;
    }
    return 0;
  };
  s.describe = [](const CoreCall& c) {
    std::ostringstream out;
    out << "source stride " << c.arg[0] << ", destination stride " << c.arg[1] << ", rows "
        << c.arg[2] << ", source alignment " << (c.arg[3] - 2 * c.arg[0] - 16) << ", rounding "
        << c.arg[4] << ", fractions/weights " << c.arg[5] << " " << c.arg[6];
    return out.str();
  };
  return s;
}

// ---- Overlap smoothing (51-54) ------------------------------------------------------------

// Samples of reconstructed blocks, mostly in -512..767, now and then anywhere in the range the
// variants promise (-3276..3276).
void FillSamples(Rng& rng, uint8_t* bytes, size_t size) {
  auto* samples = reinterpret_cast<int16_t*>(bytes);
  const bool wide = rng.Chance(20);
  for (size_t i = 0; i < size / 2; ++i) {
    samples[i] = static_cast<int16_t>(wide ? rng.Uniform(-3276, 3276) : rng.Uniform(-512, 767));
  }
}

enum class Overlap { kVertical, kVerticalRows, kHorizontal, kContext };

// Arguments: 0 left stride, 1 right stride, 2 rows, 3 rounding (slot 52).
CoreScenario OverlapScenario(Overlap kind) {
  CoreScenario s;
  switch (kind) {
    case Overlap::kVertical:
      s.buffers = {{128, true}, {128, true}};
      break;
    case Overlap::kVerticalRows:
      s.buffers = {{256, true}, {256, true}};
      break;
    case Overlap::kHorizontal:
      s.buffers = {{32, true}, {128, true}};
      break;
    case Overlap::kContext:
      s.buffers = {{128, true}, {768}};
      break;
  }
  s.generate = [kind](Rng& rng, CoreCall& call) {
    static const size_t kSizes[][2] = {{128, 128}, {256, 256}, {32, 128}, {128, 768}};
    const size_t* sizes = kSizes[static_cast<int>(kind)];
    FillSamples(rng, call.buffer[0], sizes[0]);
    FillSamples(rng, call.buffer[1], sizes[1]);
    call.arg[0] = call.first || rng.Chance(50) ? 16 : 32;
    call.arg[1] = call.first || rng.Chance(50) ? 16 : 32;
    call.arg[2] = call.first || rng.Chance(50) ? 8 : 4;
    call.arg[3] = rng.Uniform(0, 1);
  };
  s.run = [kind](CoreSet& cores, CoreCall& call) -> int64_t {
    CMBCore& core = *cores.mb;
    int16_t* first = call.as<int16_t>(0);
    int16_t* second = call.as<int16_t>(1);
    switch (kind) {
      case Overlap::kVertical:
        core.OverlapSmoothVertEdge(first, second);
        break;
      case Overlap::kVerticalRows:
        core.OverlapSmoothVertEdgeRows(first, second, call.arg[0], call.arg[1], call.arg[2],
                                       call.arg[3]);
        break;
      case Overlap::kHorizontal:
        core.OverlapSmoothHorzEdge(first, second);
        break;
      case Overlap::kContext:
        core.SaveOverlapContext(first, second + 48);
        break;
    }
    return 0;
  };
  s.describe = [](const CoreCall& c) {
    std::ostringstream out;
    out << "strides " << c.arg[0] << "/" << c.arg[1] << ", rows " << c.arg[2] << ", rounding "
        << c.arg[3];
    return out.str();
  };
  return s;
}

// ---- Deblocking (55-58) -------------------------------------------------------------------

// The plane around an edge: 8 rows of up to 96 bytes for a horizontal edge, up to 32 rows of
// up to 48 bytes for a vertical one (kept small: the benchmark copies it before every call).
constexpr size_t kHorizontalPlaneSize = 96 * 8;
constexpr size_t kVerticalPlaneSize = 48 * 32;

enum class Deblock { kHorizontal, kHorizontalMasked, kVertical, kVerticalMasked };

// Arguments: 0 stride, 1 pointer offset, 2 PQUANT, 3 segments, 4 mask.
CoreScenario DeblockScenario(Deblock kind) {
  CoreScenario s;
  const bool horizontal = kind == Deblock::kHorizontal || kind == Deblock::kHorizontalMasked;
  s.buffers = {{horizontal ? kHorizontalPlaneSize : kVerticalPlaneSize, true}};
  s.generate = [kind, horizontal](Rng& rng, CoreCall& call) {
    const bool chroma = kind == Deblock::kHorizontalMasked || kind == Deblock::kVerticalMasked;
    const int segments = call.first ? (chroma ? 2 : 4) : rng.Uniform(1, 8);
    int stride, offset;
    if (kind == Deblock::kHorizontalMasked) {
      stride = 16 * rng.Uniform(4, 6);  // aligned rows of up to 64 bytes of edge
      offset = 4 * stride + 16 * rng.Uniform(0, (stride - 8 * segments) / 16);
    } else if (horizontal) {
      stride = rng.Uniform(48, 96);  // odd strides and alignments
      offset = 4 * stride + rng.Uniform(0, stride - 4 * segments);
    } else {
      stride = rng.Uniform(chroma ? 24 : 12, chroma ? 48 : 24);
      offset = rng.Uniform(0, stride - (chroma ? 16 : 8));
    }
    call.arg[0] = stride;
    call.arg[1] = offset;
    call.arg[2] = call.first ? 12 : rng.Uniform(1, 31);
    call.arg[3] = segments;
    call.arg[4] = call.first ? 3 : rng.Uniform(0, 3);
    uint8_t* p1 = call.buffer[0] + offset - (horizontal ? 4 * stride : 0);
    const int lines = 4 * segments;
    const int lineStep = horizontal ? (chroma ? 2 : 1) : stride;
    const int sampleStep = horizontal ? stride : (chroma ? 2 : 1);
    if (!call.first && rng.Chance(10)) return;  // random bytes: segments rarely open
    DrawEdges(rng, p1, lineStep, sampleStep, lines, call.arg[2]);
    if (chroma) DrawEdges(rng, p1 + 1, lineStep, sampleStep, lines, call.arg[2]);
  };
  s.run = [kind](CoreSet& cores, CoreCall& call) -> int64_t {
    alignas(128) static uint8_t workArea[1024];
    CMBCore& core = *cores.mb;
    if (core.scratch == nullptr) core.scratch = workArea;
    uint8_t* p = call.buffer[0] + call.arg[1];
    const int stride = call.arg[0], pquant = call.arg[2], segments = call.arg[3];
    switch (kind) {
      case Deblock::kHorizontal:
        core.DeblockHorzEdgeVc1(p, stride, pquant, segments);
        break;
      case Deblock::kHorizontalMasked:
        core.DeblockHorzEdgeMaskedVc1(p, stride, pquant, call.arg[4], segments);
        break;
      case Deblock::kVertical:
        core.DeblockVertEdgeVc1(p, stride, pquant, segments);
        break;
      case Deblock::kVerticalMasked:
        core.DeblockVertEdgeMaskedVc1(p, stride, pquant, call.arg[4], segments);
        break;
    }
    return 0;
  };
  s.describe = [](const CoreCall& c) {
    std::ostringstream out;
    out << "stride " << c.arg[0] << ", offset " << c.arg[1] << ", PQUANT " << c.arg[2]
        << ", segments " << c.arg[3] << ", mask " << c.arg[4];
    return out.str();
  };
  return s;
}

std::vector<KernelEntry> Entries() {
  std::vector<KernelEntry> e;
  auto add = [&](int slot, const char* operation, CoreScenario scenario) {
    e.push_back(CoreScenarioEntry(Family::kMBCore, slot, operation, "", kEqual, kTrials,
                                  std::move(scenario)));
  };
  add(51, "OverlapSmoothVertEdge", OverlapScenario(Overlap::kVertical));
  add(52, "OverlapSmoothVertEdgeRows", OverlapScenario(Overlap::kVerticalRows));
  add(53, "OverlapSmoothHorzEdge", OverlapScenario(Overlap::kHorizontal));
  add(54, "SaveOverlapContext", OverlapScenario(Overlap::kContext));
  add(55, "DeblockHorzEdgeVc1", DeblockScenario(Deblock::kHorizontal));
  add(56, "DeblockHorzEdgeMaskedVc1", DeblockScenario(Deblock::kHorizontalMasked));
  add(57, "DeblockVertEdgeVc1", DeblockScenario(Deblock::kVertical));
  add(58, "DeblockVertEdgeMaskedVc1", DeblockScenario(Deblock::kVerticalMasked));
  add(59, "InterpolateBilinearVc1", InterpolationScenario(Interpolation::kBilinear));
  add(60, "InterpolateBicubicVertVc1", InterpolationScenario(Interpolation::kVertical));
  add(61, "InterpolateBicubicHorzVc1", InterpolationScenario(Interpolation::kHorizontal));
  add(62, "InterpolateBicubic2DVc1", InterpolationScenario(Interpolation::kTwoDimensional));
  return e;
}

const bool kRegistered = RegisterKernels(Entries());

}  // namespace
}  // namespace orx::dsp::check
