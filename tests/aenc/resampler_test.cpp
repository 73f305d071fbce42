// The resampler: its rates and filter table, whole streams against a direct model of the
// output, independence of the block sizes a caller feeds, rate accuracy, and its refusals.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "aenc/core/aligned_block.h"
#include "aenc/simd/audio_factories.h"
#include "tests/aenc/resampler_driver.h"
#include "tests/support/orx_test.h"

namespace orx::test {
namespace {

using aenc::CResampler;

struct RatePair {
  uint32_t in, out;
};
struct Format {
  uint32_t channels, bits;
};

constexpr RatePair kPairs[] = {{44100, 48000}, {48000, 44100}, {48000, 32000}, {22050, 48000}};
constexpr Format kFormats[] = {{1, 8}, {2, 8}, {1, 16}, {2, 16}};

std::string Name(RatePair pair, Format format) {
  return std::to_string(pair.in) + " -> " + std::to_string(pair.out) + ", " +
         std::to_string(format.channels) + " ch " + std::to_string(format.bits) + " bit";
}

// Interleaved input bytes: a loud tone over noise, with full-scale stretches that drive the
// filter into its clamp.
std::vector<uint8_t> MakeInput(Format format, uint32_t rate, size_t frames, unsigned seed) {
  std::mt19937 random(seed);
  std::vector<uint8_t> bytes(frames * format.channels * format.bits / 8);
  for (size_t i = 0; i < frames; ++i) {
    for (uint32_t c = 0; c < format.channels; ++c) {
      double value = 0.6 * std::sin(2 * M_PI * (440.0 + 300 * c) * static_cast<double>(i) / rate) +
                     0.2 * (static_cast<double>(random() % 2001) / 1000 - 1);
      if ((i / 3000) % 7 == 3) value = (i % 2) ? 1.0 : -1.0;  // full-scale square stretch
      const size_t at = i * format.channels + c;
      if (format.bits == 8) {
        bytes[at] = static_cast<uint8_t>(std::clamp(128 + std::lround(127.5 * value), 0L, 255L));
      } else {
        const int16_t s = static_cast<int16_t>(std::clamp(std::lround(32767.5 * value), -32768L, 32767L));
        std::memcpy(&bytes[2 * at], &s, 2);
      }
    }
  }
  return bytes;
}

// The output of a whole input computed directly from its definition: output frame k sits at
// the 16.16 position P(k) of the input (three frames of silence before it); P(k + 1) = P(k) +
// step, plus the remainder of a second after the frame that completes each second of output. A
// frame comes out when the eight input frames around its position exist. `saturatingShift`: the packed
// kernels' sums, shifted without the rounding term.
std::vector<int16_t> ModelOutput(const CResampler& r, const std::vector<uint8_t>& bytes,
                                 bool saturatingShift) {
  const uint32_t channels = r.channels(), bits = r.bits();
  const int64_t frames = static_cast<int64_t>(bytes.size() / (channels * bits / 8));
  auto sample = [&](int64_t frame, uint32_t c) -> int32_t {
    if (frame < 0) return 0;
    const size_t at = static_cast<size_t>(frame) * channels + c;
    if (bits == 8) return int32_t{bytes[at]} - 128;
    int16_t s;
    std::memcpy(&s, &bytes[2 * at], 2);
    return s;
  };
  const int shift = bits == 8 ? 6 : 14;
  std::vector<int16_t> out;
  uint64_t position = 0;
  uint32_t made = 0;
  while (static_cast<int64_t>(position >> 16) + 4 < frames) {
    const int64_t first = static_cast<int64_t>(position >> 16) - 3;
    const int16_t* taps = r.table() + 8 * ((position >> 4) & 0xFFF);
    for (uint32_t c = 0; c < channels; ++c) {
      int32_t sum = 0;
      for (int j = 0; j < 8; ++j) sum += taps[j] * sample(first + j, c);
      const int32_t rounded = saturatingShift ? sum >> shift : (sum + (1 << (shift - 1))) >> shift;
      out.push_back(static_cast<int16_t>(std::clamp(rounded, -32768, 32767)));
    }
    position += r.step();
    if (++made == r.outRate()) {
      made = 0;
      position += r.remainder();
    }
  }
  return out;
}

// The kernels' own table, rebuilt here from the filter's definition with the library's
// Bessel function.
std::vector<int> IndependentTable(double beta, double fc) {
  std::vector<int> table(32768);
  const double window0 = std::cyl_bessel_i(0.0, beta);
  for (int p = 0; p < 4096; ++p) {
    for (int j = 0; j < 8; ++j) {
      const double t = (3 - j) + p / 4096.0;
      const double sinc = t == 0 ? 1.0 : std::sin(M_PI * fc * t) / (M_PI * fc * t);
      const double window = std::cyl_bessel_i(0.0, beta * std::sqrt(std::max(0.0, 1 - t * t / 16))) / window0;
      table[8 * p + j] = static_cast<int>(std::lrint(fc * sinc * window * 16384));
    }
  }
  return table;
}

int MaxTableDifference(const CResampler& r, const std::vector<int>& expected) {
  int worst = 0;
  for (size_t i = 0; i < expected.size(); ++i) worst = std::max(worst, std::abs(r.table()[i] - expected[i]));
  return worst;
}

TEST(Resampler, RatesAndFilterTable) {
  struct Row {
    const char* name;
    RatePair pair;
    uint32_t step, remainder;  // floor(in 65536 / out), in 65536 - step out
    double beta, fc;
  };
  // One object through every row: the table is rebuilt when the rates change.
  const Row rows[] = {
      {.name = "upsampling 44100 -> 48000", .pair = {44100, 48000}, .step = 60211, .remainder = 9600,
       .beta = 5.7, .fc = 1.0},
      {.name = "downsampling 48000 -> 44100", .pair = {48000, 44100}, .step = 71331, .remainder = 30900,
       .beta = 8.5, .fc = 0.91875},
      {.name = "downsampling 48000 -> 32000", .pair = {48000, 32000}, .step = 98304, .remainder = 0,
       .beta = 8.5, .fc = 32000.0 / 48000},
      {.name = "upsampling 22050 -> 48000", .pair = {22050, 48000}, .step = 30105, .remainder = 28800,
       .beta = 5.7, .fc = 1.0},
      {.name = "slightly down 44100 -> 44056", .pair = {44100, 44056}, .step = 65601, .remainder = 19944,
       .beta = 8.5, .fc = 44056.0 / 44100},
  };
  ResamplerPtr r = MakeResampler(true, 2, 16, 44100, 44100);
  ASSERT_TRUE(r);
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    ASSERT_TRUE(r->SetRates(row.pair.in, row.pair.out));
    EXPECT_EQ(r->step(), row.step);
    EXPECT_EQ(r->step(), uint64_t{row.pair.in} * 65536 / row.pair.out);
    EXPECT_EQ(r->remainder(), row.remainder);
    EXPECT_EQ(uint64_t{r->remainder()}, uint64_t{row.pair.in} * 65536 - uint64_t{r->step()} * row.pair.out);
    // The table is the filter of this row's beta and fc (within one of the rounding, which the
    // truncated Bessel series may move), and far from the other beta's.
    EXPECT_LE(MaxTableDifference(*r, IndependentTable(row.beta, row.fc)), 1);
    EXPECT_GT(MaxTableDifference(*r, IndependentTable(row.beta == 5.7 ? 8.5 : 5.7, row.fc)), 20);
    // Phase 0: the centre tap is fc; for fc 1 every other tap falls on a zero of the sinc.
    EXPECT_EQ(r->table()[3], std::lrint(16384 * row.fc));
    if (row.fc == 1.0) {
      for (int j : {0, 1, 2, 4, 5, 6, 7}) EXPECT_EQ(r->table()[j], 0) << "tap " << j;
    }
  }
}

// With fc 1 and the unit step, both kernel forms give back their input exactly.
TEST(Resampler, UnitStepTableReproducesTheInput) {
  for (bool plain : {true, false}) {
    for (Format format : kFormats) {
      ResamplerPtr r = MakeResampler(plain, format.channels, format.bits, 44100, 48000);
      ASSERT_TRUE(r);
      std::vector<uint8_t> bytes = MakeInput(format, 44100, 64, 7);
      r->SetKernelPosition(3 << 16, 0x10000);
      const size_t samples = 50 * format.channels;
      std::vector<int16_t> out(samples);
      const uint32_t frameBytes = format.channels * format.bits / 8;
      if (format.bits == 8) {
        if (format.channels == 1) r->FilterMono8(out.data(), bytes.data(), 50);
        else r->FilterStereo8(out.data(), bytes.data(), 50);
      } else {
        const int16_t* in = reinterpret_cast<const int16_t*>(bytes.data());
        if (format.channels == 1) r->FilterMono16(out.data(), in, 50);
        else r->FilterStereo16(out.data(), in, 50);
      }
      for (size_t i = 0; i < samples; ++i) {
        const size_t at = 3 * frameBytes / (format.bits / 8) + i;
        int32_t expected;
        if (format.bits == 8) {
          expected = (int32_t{bytes[at]} - 128) * 256;
        } else {
          int16_t s;
          std::memcpy(&s, &bytes[2 * at], 2);
          expected = s;
        }
        ASSERT_EQ(out[i], expected) << (plain ? "plain " : "packed ") << Name({44100, 44100}, format) << " at " << i;
      }
    }
  }
}

TEST(Resampler, SetupRefusesOtherFormatsAndChangesNothing) {
  ResamplerPtr r = MakeResampler(true, 1, 8, 48000, 44100);
  ASSERT_TRUE(r);
  std::vector<uint8_t> bytes = MakeInput({1, 8}, 48000, 1003, 3);
  std::vector<int16_t> out(4096);
  uint32_t frames = 1003;
  r->Process(out.data(), bytes.data(), &frames, 4096);
  uint8_t history[CResampler::kHistoryBytes];
  std::memcpy(history, r->history(), sizeof history);
  const uint32_t position = r->position(), held = r->heldFrames(), step = r->step();
  struct Refused {
    uint32_t channels, bits;
  };
  for (Refused refused : {Refused{3, 16}, Refused{2, 24}, Refused{0, 16}, Refused{1, 12}}) {
    SCOPED_TRACE(std::to_string(refused.channels) + " ch " + std::to_string(refused.bits) + " bit");
    EXPECT_FALSE(r->Setup(refused.channels, refused.bits));
    EXPECT_EQ(r->channels(), 1u);
    EXPECT_EQ(r->bits(), 8u);
    EXPECT_EQ(r->inRate(), 48000u);
    EXPECT_EQ(r->outRate(), 44100u);
    EXPECT_EQ(r->step(), step);
    EXPECT_EQ(r->position(), position);
    EXPECT_EQ(r->heldFrames(), held);
    EXPECT_EQ(0, std::memcmp(history, r->history(), sizeof history));
  }
  // Setup resets the stream: 44100 -> 44100, unit step, silent history.
  ASSERT_TRUE(r->Setup(2, 16));
  EXPECT_EQ(r->inRate(), 44100u);
  EXPECT_EQ(r->outRate(), 44100u);
  EXPECT_EQ(r->step(), 0x10000u);
  EXPECT_EQ(r->heldFrames(), 0u);
  for (size_t i = 0; i < CResampler::kHistoryBytes; ++i) ASSERT_EQ(r->history()[i], 0) << i;
}

// 8-bit silence (128) is 0 on every road: the copy at 1:1 and the filter otherwise.
TEST(Resampler, EightBitSilenceGivesZero) {
  for (RatePair pair : {RatePair{44100, 44100}, RatePair{44100, 48000}, RatePair{48000, 44100}}) {
    for (uint32_t channels : {1u, 2u}) {
      ResamplerPtr r = MakeResampler(false, channels, 8, pair.in, pair.out);
      ASSERT_TRUE(r);
      std::vector<uint8_t> silence(20000 * channels, 128);
      std::vector<int16_t> out;
      ASSERT_TRUE(ConvertAll(*r, silence.data(), 20000, FixedBlocks(777), out));
      EXPECT_GT(out.size(), 10000u * channels);
      EXPECT_EQ(std::count(out.begin(), out.end(), 0), static_cast<ptrdiff_t>(out.size()))
          << Name(pair, {channels, 8});
    }
  }
}

// The same whole stream, whatever blocks and output room the caller gives: compared with the
// direct model, byte for byte, for every pair and format and every way of feeding it.
TEST(Resampler, OutputDoesNotDependOnTheBlocks) {
  const double seconds = kOrxSanitizedBuild ? 2 : 10;
  unsigned seed = std::random_device{}();
  std::printf("seed %u\n", seed);
  struct Plan {
    std::string name;
    FeedPlan feed;
  };
  std::vector<Plan> plans = {{"one call", OneCall()}};
  for (uint32_t block : {1u, 2u, 3u, 5u, 8u, 9u, 17u, 1000u, 16384u})
    plans.push_back({"blocks of " + std::to_string(block), FixedBlocks(block)});
  auto random = std::make_shared<std::mt19937>(seed);
  plans.push_back({"seeded random blocks and room",
                   {[random] { return (*random)() % 3 == 0 ? 1 + (*random)() % 12 : 1 + (*random)() % 20000; },
                    [random] { return (*random)() % 4 == 0 ? 1 + (*random)() % 8 : 1 + (*random)() % 40000; }}});
  // Output room of one frame with blocks of eight: the held frames pile up in the history.
  plans.push_back({"room of one frame, blocks of 8", {[] { return 8u; }, [] { return 1u; }}});
  for (RatePair pair : kPairs) {
    for (Format format : kFormats) {
      const size_t frames = static_cast<size_t>(seconds * pair.in);
      std::vector<uint8_t> input = MakeInput(format, pair.in, frames, seed);
      ResamplerPtr probe = MakeResampler(false, format.channels, format.bits, pair.in, pair.out);
      ASSERT_TRUE(probe);
      const std::vector<int16_t> expected = ModelOutput(*probe, input, true);
      for (const Plan& plan : plans) {
        SCOPED_TRACE(Name(pair, format) + ", " + plan.name + ", seed " + std::to_string(seed));
        ResamplerPtr r = MakeResampler(false, format.channels, format.bits, pair.in, pair.out);
        std::vector<int16_t> out;
        ASSERT_TRUE(ConvertAll(*r, input.data(), frames, plan.feed, out));
        ASSERT_EQ(out.size(), expected.size());
        const auto mismatch = std::mismatch(out.begin(), out.end(), expected.begin());
        ASSERT_TRUE(mismatch.first == out.end())
            << "first difference at sample " << (mismatch.first - out.begin()) << " of " << out.size();
      }
    }
  }
}

// The plain class over whole streams: its rounding, against the model's.
TEST(Resampler, PlainClassMatchesTheModel) {
  for (RatePair pair : kPairs) {
    for (Format format : kFormats) {
      SCOPED_TRACE(Name(pair, format));
      std::vector<uint8_t> input = MakeInput(format, pair.in, pair.in / 2, 11);
      ResamplerPtr r = MakeResampler(true, format.channels, format.bits, pair.in, pair.out);
      ASSERT_TRUE(r);
      const std::vector<int16_t> expected = ModelOutput(*r, input, false);
      std::vector<int16_t> out;
      ASSERT_TRUE(ConvertAll(*r, input.data(), pair.in / 2, FixedBlocks(333), out));
      ASSERT_EQ(out, expected);
    }
  }
}

// A null input stands for silence: a stream fed with null blocks in its silent stretches gives
// exactly the output of the same stream fed with silent samples.
TEST(Resampler, NullInputIsSilence) {
  for (RatePair pair : kPairs) {
    for (Format format : kFormats) {
      SCOPED_TRACE(Name(pair, format));
      const size_t frames = pair.in;  // one second: alternating stretches of 1000 frames
      std::vector<uint8_t> input = MakeInput(format, pair.in, frames, 5);
      const uint32_t frameBytes = format.channels * format.bits / 8;
      auto silent = [](size_t frame) { return (frame / 1000) % 2 == 1; };
      for (size_t frame = 0; frame < frames; ++frame) {
        if (silent(frame)) std::memset(&input[frame * frameBytes], format.bits == 8 ? 128 : 0, frameBytes);
      }
      std::vector<int16_t> expected, out;
      ResamplerPtr a = MakeResampler(false, format.channels, format.bits, pair.in, pair.out);
      ResamplerPtr b = MakeResampler(false, format.channels, format.bits, pair.in, pair.out);
      ASSERT_TRUE(ConvertAll(*a, input.data(), frames, FixedBlocks(250), expected));
      // The same blocks, each silent one passed as null.
      size_t at = 0, nulls = 0;
      std::vector<int16_t> buffer(1 << 16);
      auto call = [&](uint32_t offered, bool null) {
        uint32_t consumed = offered;
        const uint32_t written = b->Process(buffer.data(), null ? nullptr : &input[at * frameBytes], &consumed, 1 << 15);
        out.insert(out.end(), buffer.begin(), buffer.begin() + written * format.channels);
        at += consumed;
        return written;
      };
      while (at < frames) {
        const uint32_t offered = static_cast<uint32_t>(std::min<size_t>(250, frames - at));
        const bool null = silent(at) && silent(at + offered - 1);
        nulls += null;
        call(offered, null);
      }
      while (call(0, false) > 0) {
      }
      EXPECT_GT(nulls, 20u);
      ASSERT_EQ(out, expected);
    }
  }
}

// Over 60 s the output keeps the rate: the frames whose positions fall inside the input (the
// four frames after it that the filter reads are given as silence) number input x out / in
// within 2, thanks to the correction of the step once per second of output.
TEST(Resampler, OutputKeepsTheRate) {
  struct Row {
    const char* name;
    RatePair pair;
  };
  const Row rows[] = {
      {"44100 -> 48000", {44100, 48000}},
      {"48000 -> 44100", {48000, 44100}},
      {"48000 -> 32000", {48000, 32000}},
      {"22050 -> 48000", {22050, 48000}},
      {"44100 -> 44056 (a large remainder)", {44100, 44056}},
      // Within 1/65536 of 1:1 the step rounds to the unit: converted, not copied.
      {"96001 -> 96000 (the unit step with a remainder)", {96001, 96000}},
  };
  for (const Row& row : rows) {
    for (Format format : {Format{1, 16}, Format{2, 8}}) {
      SCOPED_TRACE(std::string(row.name) + ", " + Name(row.pair, format));
      const size_t frames = 60 * size_t{row.pair.in};
      ResamplerPtr r = MakeResampler(false, format.channels, format.bits, row.pair.in, row.pair.out);
      ASSERT_TRUE(r);
      std::vector<int16_t> out;
      ASSERT_TRUE(ConvertAll(*r, nullptr, frames + 4, OneCall(), out));
      const double made = static_cast<double>(out.size() / format.channels);
      const double expected = static_cast<double>(frames) * row.pair.out / row.pair.in;
      EXPECT_NEAR(made, expected, 2.0);
    }
  }
}

// Rates changed to 1:1 while frames are held: the held frames go out first, then the input is
// copied; the history keeps the last three frames that went out.
TEST(Resampler, UnitRateOutputsHeldFramesFirst) {
  ResamplerPtr r = MakeResampler(false, 1, 16, 48000, 44100);
  ASSERT_TRUE(r);
  std::vector<int16_t> input(40);
  for (size_t i = 0; i < input.size(); ++i) input[i] = static_cast<int16_t>(100 * (i + 1));
  std::vector<int16_t> out(64);
  uint32_t frames = 6;
  EXPECT_EQ(r->Process(out.data(), input.data(), &frames, 64), 0u);
  EXPECT_EQ(frames, 6u);
  EXPECT_EQ(r->heldFrames(), 6u);
  ASSERT_TRUE(r->SetRates(44100, 44100));
  frames = 10;
  // Room for four: four held frames now, then the other two, then the input.
  EXPECT_EQ(r->Process(out.data(), &input[6], &frames, 4), 4u);
  EXPECT_EQ(frames, 0u);
  EXPECT_EQ(std::vector<int16_t>(out.begin(), out.begin() + 4), std::vector<int16_t>(input.begin(), input.begin() + 4));
  const int16_t* history = reinterpret_cast<const int16_t*>(r->history());
  EXPECT_EQ(std::vector<int16_t>(history, history + 5), (std::vector<int16_t>{200, 300, 400, 500, 600}));
  frames = 10;
  EXPECT_EQ(r->Process(out.data(), &input[6], &frames, 64), 2u);
  EXPECT_EQ(frames, 0u);
  EXPECT_EQ(out[0], 500);
  EXPECT_EQ(out[1], 600);
  EXPECT_EQ(r->heldFrames(), 0u);
  frames = 10;
  EXPECT_EQ(r->Process(out.data(), &input[6], &frames, 64), 10u);
  EXPECT_EQ(frames, 10u);
  EXPECT_EQ(std::vector<int16_t>(out.begin(), out.begin() + 10), std::vector<int16_t>(input.begin() + 6, input.begin() + 16));
  EXPECT_EQ(std::vector<int16_t>(history, history + 3), (std::vector<int16_t>{1400, 1500, 1600}));
}

TEST(Resampler, MonoStereoConversionsInPlace) {
  std::mt19937 random(9);
  for (uint32_t n : {0u, 1u, 2u, 7u, 8u, 63u, 64u}) {
    SCOPED_TRACE(n);
    ResamplerPtr r = MakeResampler(false, 2, 16, 44100, 44100);
    std::vector<int16_t> samples(2 * n + 16);
    for (auto& s : samples) s = static_cast<int16_t>(random());
    samples[0] = samples[1] = -32768;  // the sum that needs 17 bits
    std::vector<int16_t> stereo = samples;
    EXPECT_EQ(r->StereoToMono(samples.data(), n), n);
    for (uint32_t i = 0; i < n; ++i)
      ASSERT_EQ(samples[i], static_cast<int16_t>(std::floor((stereo[2 * i] + stereo[2 * i + 1]) / 2.0))) << i;
    for (size_t i = 2 * n; i < samples.size(); ++i) ASSERT_EQ(samples[i], stereo[i]) << "guard " << i;
    std::vector<int16_t> mono = samples;
    r->MonoToStereo(samples.data(), n);
    for (uint32_t i = 0; i < n; ++i) {
      ASSERT_EQ(samples[2 * i], mono[i]) << i;
      ASSERT_EQ(samples[2 * i + 1], mono[i]) << i;
    }
    for (size_t i = 2 * n; i < samples.size(); ++i) ASSERT_EQ(samples[i], stereo[i]) << "guard " << i;
  }
}

// Faults: what the resampler must refuse or survive.
TEST(Resampler, FailedTableAllocation) {
  // The factory hands out no resampler without its table.
  aenc::FailAlignedAllocationsAfter(0);
  aenc::IResampler* built = reinterpret_cast<aenc::IResampler*>(1);
  const bool made = aenc::NewResampler(&built);
  auto* bare = new CResampler();
  aenc::FailAlignedAllocationsAfter(-1);
  EXPECT_FALSE(made);
  EXPECT_EQ(built, nullptr);
  // An object built without it answers false or 0 and touches nothing.
  ResamplerPtr r(bare);
  EXPECT_FALSE(r->Constructed());
  EXPECT_FALSE(r->Setup(1, 16));
  EXPECT_FALSE(r->SetRates(48000, 44100));
  std::vector<int16_t> out(64, 0x5A5A), input(64, 1000);
  uint32_t frames = 64;
  EXPECT_EQ(r->Process(out.data(), input.data(), &frames, 64), 0u);
  EXPECT_EQ(frames, 0u);
  EXPECT_EQ(std::count(out.begin(), out.end(), 0x5A5A), 64);
  ASSERT_TRUE(aenc::NewResampler(&built));
  built->Release();
}

TEST(Resampler, RefusedRates) {
  struct Row {
    const char* name;
    RatePair pair;
  };
  const Row rows[] = {
      {"zero input rate (a zero step)", {0, 48000}},
      {"zero output rate (a division by zero)", {48000, 0}},
      {"a step below one 65536th (never moves)", {1, 70000}},
      {"a step of 2^31 (the block position wraps)", {32768, 1}},
  };
  ResamplerPtr r = MakeResampler(false, 2, 16, 48000, 44100);
  ASSERT_TRUE(r);
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    EXPECT_FALSE(r->SetRates(row.pair.in, row.pair.out));
    EXPECT_EQ(r->inRate(), 48000u);
    EXPECT_EQ(r->outRate(), 44100u);
    EXPECT_EQ(r->step(), 71331u);
  }
  EXPECT_TRUE(r->SetRates(32767, 1));  // the largest step that still fits
}

// The output frames that n input frames allow, at its smallest arguments, and the Process
// roads that ask for them: held frames 4 (no frame yet) and 5, and a run straight from the
// input with 4 or 5 frames left.
TEST(Resampler, SmallestFrameCounts) {
  ResamplerPtr probe = MakeResampler(false, 1, 16, 44100, 48000);
  ASSERT_TRUE(probe);
  EXPECT_EQ(probe->OutputFramesFor(0), 0u);  // the plain quotient would say 1
  EXPECT_EQ(probe->OutputFramesFor(1), 2u);  // positions 0 and 60211 of 65536
  struct Row {
    const char* name;
    RatePair pair;
    std::vector<uint32_t> blocks;
    uint32_t heldAfter;  // held frames after the blocks
  };
  const Row rows[] = {
      {.name = "held 4: nothing to output", .pair = {44100, 48000}, .blocks = {4, 0}, .heldAfter = 4},
      {.name = "held 5: the frames before position 1", .pair = {44100, 48000}, .blocks = {5, 0}, .heldAfter = 4},
      {.name = "held 4 downsampling", .pair = {48000, 22050}, .blocks = {4, 0, 0}, .heldAfter = 4},
      {.name = "held 5 downsampling", .pair = {48000, 22050}, .blocks = {5, 0}, .heldAfter = 3},
      {.name = "R = 5 from the input after a skip", .pair = {48000, 22050}, .blocks = {9, 0}, .heldAfter = 3},
      {.name = "R = 4 left after a skip: held", .pair = {48000, 19200}, .blocks = {9, 0}, .heldAfter = 4},
      {.name = "eight frames held, then held 4", .pair = {48000, 22050}, .blocks = {8, 0}, .heldAfter = 4},
      {.name = "R = 5 upsampling", .pair = {44100, 48000}, .blocks = {9, 5, 4, 0}, .heldAfter = 4},
      {.name = "R = 4 and 5 strongly downsampling", .pair = {48000, 8000}, .blocks = {9, 4, 5, 13, 0}, .heldAfter = 1},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    size_t total = 0;
    for (uint32_t b : row.blocks) total += b;
    std::vector<uint8_t> input = MakeInput({1, 16}, row.pair.in, total, 21);
    ResamplerPtr r = MakeResampler(false, 1, 16, row.pair.in, row.pair.out);
    ASSERT_TRUE(r);
    std::vector<int16_t> out, buffer(1024);
    size_t at = 0;
    for (uint32_t b : row.blocks) {
      uint32_t frames = b;
      const uint32_t written = r->Process(buffer.data(), &input[2 * at], &frames, 1024);
      EXPECT_EQ(frames, b);
      at += frames;
      out.insert(out.end(), buffer.begin(), buffer.begin() + written);
    }
    EXPECT_EQ(r->heldFrames(), row.heldAfter);
    // Everything that came out is the start of the model's stream, and all of it that the
    // input allows has come out.
    const std::vector<int16_t> expected = ModelOutput(*r, input, true);
    EXPECT_EQ(out, expected);
  }
}

}  // namespace
}  // namespace orx::test
