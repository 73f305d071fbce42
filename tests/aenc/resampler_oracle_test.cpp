// The resampler against an independent converter: sox's very-high-quality rate effect on the
// same tones and speech. After alignment by cross-correlation our output must stay close to
// sox's, and a tone must keep its frequency.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include "tests/aenc/audio_oracle.h"
#include "tests/aenc/resampler_driver.h"
#include "tests/support/orx_test.h"
#include "tests/support/process.h"

namespace orx::test {
namespace {

constexpr double kSeconds = 10;

bool SoxConvert(const Pcm& in, int outRate, Pcm& out) {
  if (RequireProgram("sox").empty()) return false;
  const std::string channels = std::to_string(in.channels);
  ProcessOptions options;
  options.input.assign(reinterpret_cast<const char*>(in.samples.data()), in.samples.size() * 2);
  // -D: no dither, so the reference is the converter's own output rounded.
  ProcessResult r = RunProcess({"sox", "-D", "-t", "raw", "-r", std::to_string(in.rate), "-e", "signed",
                                "-b", "16", "-c", channels, "-", "-t", "raw", "-e", "signed", "-b", "16",
                                "-c", channels, "-", "rate", "-v", std::to_string(outRate)},
                               options);
  if (r.exitCode != 0) {
    ADD_FAILURE() << "sox failed: " << r.err;
    return false;
  }
  out.rate = outRate;
  out.channels = in.channels;
  out.samples.resize(r.out.size() / 2);
  std::memcpy(out.samples.data(), r.out.data(), out.samples.size() * 2);
  return true;
}

Pcm OursConvert(const Pcm& in, int outRate) {
  Pcm out;
  out.rate = outRate;
  out.channels = in.channels;
  ResamplerPtr r = MakeResampler(false, static_cast<uint32_t>(in.channels), 16, static_cast<uint32_t>(in.rate),
                                 static_cast<uint32_t>(outRate));
  EXPECT_TRUE(r);
  if (r) {
    ConvertAll(*r, reinterpret_cast<const uint8_t*>(in.samples.data()), in.Frames(), FixedBlocks(4096),
               out.samples);
  }
  return out;
}

Pcm Tone(double frequency, int rate) {
  Pcm pcm;
  pcm.rate = rate;
  pcm.channels = 1;
  const size_t frames = static_cast<size_t>(kSeconds * rate);
  for (size_t i = 0; i < frames; ++i)
    pcm.samples.push_back(static_cast<int16_t>(std::lrint(16000 * std::sin(2 * M_PI * frequency * i / rate))));
  return pcm;
}

// SNR of `ours` against `reference` over the middle of the stream (the first and last 0.2 s
// left out), at the lag of the largest cross-correlation within two frames (both converters
// have no delay; a wider search would let a high tone's periodic correlation pick a wrong
// period).
double AlignedSnrDb(const Pcm& reference, const Pcm& ours, int* bestLag) {
  constexpr int kMaxLag = 2;
  const size_t channels = static_cast<size_t>(reference.channels);
  const size_t edge = static_cast<size_t>(0.2 * reference.rate);
  const size_t frames = std::min(reference.Frames(), ours.Frames());
  auto at = [&](const Pcm& p, size_t frame, size_t c) { return static_cast<double>(p.samples[frame * channels + c]); };
  double bestCorrelation = -1e300;
  int lag = 0;
  for (int l = -kMaxLag; l <= kMaxLag; ++l) {
    double sum = 0;
    for (size_t i = edge; i + edge < frames; ++i) sum += at(reference, i, 0) * at(ours, i + l, 0);
    if (sum > bestCorrelation) {
      bestCorrelation = sum;
      lag = l;
    }
  }
  double signal = 0, noise = 0;
  for (size_t i = edge; i + edge < frames; ++i) {
    for (size_t c = 0; c < channels; ++c) {
      const double r = at(reference, i, c), d = at(ours, i + lag, c);
      signal += r * r;
      noise += (r - d) * (r - d);
    }
  }
  *bestLag = lag;
  return noise > 0 ? 10 * std::log10(signal / noise) : 200;
}

// The frequency of a tone from its upward zero crossings (interpolated) over the middle of the
// stream.
double ToneFrequency(const Pcm& pcm) {
  const size_t edge = static_cast<size_t>(0.2 * pcm.rate);
  double first = -1, last = -1;
  int crossings = 0;
  for (size_t i = edge; i + 1 + edge < pcm.Frames(); ++i) {
    const double a = pcm.samples[i * pcm.channels], b = pcm.samples[(i + 1) * pcm.channels];
    if (a < 0 && b >= 0) {
      const double t = static_cast<double>(i) + a / (a - b);
      if (first < 0) first = t;
      last = t;
      ++crossings;
    }
  }
  return crossings > 1 ? (crossings - 1) * static_cast<double>(pcm.rate) / (last - first) : 0;
}

struct OracleRow {
  const char* name;
  int inRate, outRate;
  double frequency;  // 0: speech
  double minSnrDb;   // the floor, calibrated once
};

// Ten seconds of each conversion and two outside programs: the release configuration checks it;
// the sanitizers run the same code in the tests against the direct model.
TEST(ResamplerOracle, CloseToSox) {
  ORX_RELEASE_ONLY();
  // Floors calibrated once against sox 14.4. The aim is 40 dB for the 1 kHz tones and 30 dB for
  // speech; the 16.16 step is truncated and corrected once per second of output, so within each
  // second the read position falls behind by up to remainder / 65536 frames (0.15 frames at
  // 44100 -> 48000, 0.47 at 48000 -> 44100, 0.44 at 22050 -> 48000), a timing error that sets
  // these figures; 48000 -> 32000, whose step is exact, shows the filter itself. At 0.8 of the
  // Nyquist frequency the eight taps attenuate the tone: there only its frequency is held.
  const OracleRow rows[] = {
      {"1 kHz, 44100 -> 48000", 44100, 48000, 1000, 38},
      {"1 kHz, 48000 -> 44100", 48000, 44100, 1000, 28.5},
      {"1 kHz, 22050 -> 48000", 22050, 48000, 1000, 22.5},
      {"1 kHz, 48000 -> 32000", 48000, 32000, 1000, 60},
      {"0.8 Nyquist, 44100 -> 48000", 44100, 48000, 0.8 * 22050, 10},
      {"0.8 Nyquist, 48000 -> 44100", 48000, 44100, 0.8 * 22050, 4},
      {"speech, 44100 -> 48000", 44100, 48000, 0, 35},
      {"speech, 48000 -> 44100", 48000, 44100, 0, 25.5},
  };
  for (const OracleRow& row : rows) {
    SCOPED_TRACE(row.name);
    Pcm input;
    if (row.frequency > 0) input = Tone(row.frequency, row.inRate);
    else ASSERT_TRUE(MakeSpeech(row.inRate, 2, kSeconds, input));
    Pcm reference;
    ASSERT_TRUE(SoxConvert(input, row.outRate, reference));
    const Pcm ours = OursConvert(input, row.outRate);
    int lag = 0;
    const double snr = AlignedSnrDb(reference, ours, &lag);
    std::printf("%-32s SNR against sox %6.2f dB at lag %d", row.name, snr, lag);
    EXPECT_GE(snr, row.minSnrDb);
    if (row.frequency > 0) {
      const double frequency = ToneFrequency(ours);
      std::printf(", tone %.4f Hz", frequency);
      EXPECT_NEAR(frequency, row.frequency, 0.1);
    }
    std::printf("\n");
  }
}

}  // namespace
}  // namespace orx::test
