#include "tests/aenc/resampler_driver.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "aenc/simd/audio_factories.h"

namespace orx::test {

ResamplerPtr MakeResampler(bool plain, uint32_t channels, uint32_t bits, uint32_t inRate,
                           uint32_t outRate) {
  aenc::CResampler* resampler = nullptr;
  if (plain) {
    resampler = new aenc::CResampler();
  } else {
    aenc::IResampler* built = nullptr;
    if (!aenc::NewResampler(&built)) return nullptr;
    resampler = static_cast<aenc::CResampler*>(built);
  }
  ResamplerPtr owned(resampler);
  if (!owned->Setup(channels, bits) || !owned->SetRates(inRate, outRate)) return nullptr;
  return owned;
}

bool ConvertAll(aenc::CResampler& resampler, const uint8_t* input, size_t frames,
                const FeedPlan& plan, std::vector<int16_t>& out) {
  const size_t frameBytes = resampler.channels() * resampler.bits() / 8;
  const size_t channels = resampler.channels();
  std::vector<int16_t> buffer;
  out.reserve(out.size() + (frames * resampler.outRate() / resampler.inRate() + 64) * channels);
  size_t at = 0;
  int stalls = 0;
  auto call = [&](uint32_t offered, uint32_t room) {
    const size_t need = static_cast<size_t>(room) * channels + 1;
    if (buffer.size() < need) buffer.resize(need);
    uint32_t consumed = offered;
    const uint8_t* in = input ? input + at * frameBytes : nullptr;
    uint32_t written = resampler.Process(buffer.data(), in, &consumed, room);
    EXPECT_LE(consumed, offered);
    EXPECT_LE(written, room);
    out.insert(out.end(), buffer.begin(), buffer.begin() + static_cast<ptrdiff_t>(written * channels));
    at += consumed;
    stalls = (consumed == 0 && written == 0) ? stalls + 1 : 0;
    return written;
  };
  while (at < frames) {
    const uint32_t offered = static_cast<uint32_t>(std::min<size_t>(plan.nextBlock(), frames - at));
    call(offered, plan.nextRoom());
    if (stalls > 64) {
      ADD_FAILURE() << "no progress at input frame " << at;
      return false;
    }
  }
  // Empty what is held: calls without input until nothing more comes out.
  while (call(0, 1u << 16) > 0) {
  }
  return true;
}

FeedPlan OneCall() {
  return {[] { return UINT32_MAX; }, [] { return 1u << 20; }};
}

FeedPlan FixedBlocks(uint32_t block) {
  return {[block] { return block; }, [] { return 1u << 16; }};
}

}  // namespace orx::test
