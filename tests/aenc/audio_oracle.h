#pragma once
// The independent check of the audio we write: ffmpeg makes the input PCM, decodes our MPEG audio
// back to PCM, and the decoded samples are aligned with the input and compared.
#include <cstdint>
#include <string>
#include <vector>

namespace orx::test {

struct Pcm {
  int rate = 0;
  int channels = 0;
  std::vector<int16_t> samples;  // interleaved
  size_t Frames() const { return channels ? samples.size() / channels : 0; }
};

// Runs ffmpeg with the given input arguments and converts to 16-bit PCM at rate and channels.
bool MakePcm(const std::vector<std::string>& inputArgs, int rate, int channels, Pcm& out,
             std::string* log = nullptr, const std::vector<std::string>& filterArgs = {});

// A tone of `frequency` Hz at -6 dBFS in every channel.
bool MakeTone(double frequency, int rate, int channels, double seconds, Pcm& out);

// 48 kHz: a 700 Hz tone of `amplitude` over noise of +-1000.
Pcm NoisePcm(size_t frames, int channels, unsigned seed, int amplitude = 6000);

// A sweep from 50 Hz to 500 Hz below half the rate at -6 dBFS.
bool MakeSweep(int rate, int channels, double seconds, Pcm& out);

// The speech recordings of /usr/share/sounds/alsa (48 kHz mono), joined (stereo: two different
// recordings side by side), looped to at least `seconds` and resampled to rate. Fails the
// running test with a clear message when the recordings are missing.
bool MakeSpeech(int rate, int channels, double seconds, Pcm& out);

// Decodes a file with ffmpeg -xerror (extra input arguments before -i). False on any error
// output or exit status; the text goes to log.
bool DecodeAudio(const std::string& path, Pcm& out, std::string* log = nullptr,
                 const std::vector<std::string>& inputArgs = {});

bool WriteBytes(const std::string& path, const std::vector<uint8_t>& bytes);
bool WritePcm(const std::string& path, const Pcm& pcm);  // raw s16le

// The delay (samples per channel) of `decoded` against `reference` in 0..maxLag, by the largest
// cross-correlation of channel 0 over a stretch of the reference.
int AlignmentLag(const Pcm& reference, const Pcm& decoded, int maxLag);

// SNR in dB of decoded (shifted by lag) against reference over the reference's frames
// [first, last), all channels.
double SnrDb(const Pcm& reference, const Pcm& decoded, int lag, size_t first, size_t last);

// Segmental SNR: mean over 20 ms segments of the per-segment SNR clamped to 0..60 dB; segments
// whose reference is silent (below -60 dBFS) are skipped.
double SegmentalSnrDb(const Pcm& reference, const Pcm& decoded, int lag);

// The highest frequency (Hz) at or above which `fraction` of the signal's energy lies: 0.01
// gives the frequency holding the top 1 % (the 99th-percentile spectral bandwidth).
double SpectralBandwidthHz(const Pcm& pcm, double fraction);

}  // namespace orx::test
