#pragma once
// Drives a resampler over a whole input the way a caller feeding blocks would: each call is
// offered the next block (input frames it left unconsumed are offered again), with a given
// output room; a last call without input empties what the resampler holds.
#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include "aenc/resample/resampler.h"

namespace orx::test {

struct ReleaseResampler {
  void operator()(aenc::IResampler* r) const { r->Release(); }
};
using ResamplerPtr = std::unique_ptr<aenc::CResampler, ReleaseResampler>;

// The plain class, or the factory's processor variant.
ResamplerPtr MakeResampler(bool plain, uint32_t channels, uint32_t bits, uint32_t inRate,
                           uint32_t outRate);

struct FeedPlan {
  std::function<uint32_t()> nextBlock;   // input frames offered by the next call
  std::function<uint32_t()> nextRoom;    // output frames allowed to the next call
};

// `input` holds frames x bytes per frame, or is null for silence of `frames` frames. The
// output is 16-bit interleaved. False (with a failed assertion) when the resampler stops
// making progress.
bool ConvertAll(aenc::CResampler& resampler, const uint8_t* input, size_t frames,
                const FeedPlan& plan, std::vector<int16_t>& out);

// Every input frame at once, with room for everything.
FeedPlan OneCall();
FeedPlan FixedBlocks(uint32_t block);

}  // namespace orx::test
