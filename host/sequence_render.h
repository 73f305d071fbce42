#pragma once
// The host's Sequence Render suite (version 3): video renderers that render frames of the
// source asynchronously on a pool of render threads and hand each finished frame to the
// plug-in's completion callback, in one of three orders:
//   in order         completions in the order of the requests;
//   shuffled         finished frames are held until a window of them is ready (or the pool
//                    runs dry) and completed in a random order;
//   early final      as in order, but the final frame is rendered and completed inside the
//                    queue call, before the call returns.
// The host counts the frames it has outstanding (requests accepted and frames not yet
// disposed of) and records a fault when more than 30 are.
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "host/frame_source.h"
#include "platform/host_sdk/suites.h"

namespace orx::host {

enum class CompletionOrder { kInOrder, kShuffled, kEarlyFinal };

struct RenderSettings {
  const FrameSource* source = nullptr;
  int threads = 2;
  CompletionOrder order = CompletionOrder::kInOrder;
  int shuffleWindow = 8;
  uint32_t seed = 1;
  // From a frame index on, render this format whatever the plug-in prefers (sorted by index).
  std::vector<std::pair<int64_t, uint32_t>> forcedFormats;
  int64_t startTime = 0;
  int64_t endTime = 0;
  int64_t ticksPerFrame = 1;
};

struct RenderStatistics {
  int64_t requests = 0;  // accepted render requests
  int64_t completions = 0;
  int64_t highestFrame = -1;  // highest frame index requested
  int maxOutstanding = 0;
  bool overLimit = false;         // more than 30 frames were outstanding
  std::vector<uint32_t> formats;  // the formats rendered, in order of first use
};

inline constexpr int kMaxOutstandingFrames = 30;

void SetRenderSettings(const RenderSettings& settings);
const host_sdk::SequenceRenderSuite* SequenceRenderSuiteTable();
RenderStatistics CurrentRenderStatistics();
// Renderers not yet released (their threads still run).
int LiveVideoRenderers();

}  // namespace orx::host
