#include "tests/aenc/audio_oracle.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <complex>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <random>

#include "tests/support/process.h"

namespace orx::test {
namespace {

const char* kSpeechFolder = "/usr/share/sounds/alsa";
const char* kSpeechFiles[] = {"Front_Center.wav", "Front_Left.wav", "Front_Right.wav",
                              "Rear_Center.wav",  "Rear_Left.wav",  "Rear_Right.wav",
                              "Side_Left.wav",    "Side_Right.wav"};

bool BytesToPcm(const std::string& bytes, int rate, int channels, Pcm& out) {
  out.rate = rate;
  out.channels = channels;
  out.samples.resize(bytes.size() / 2);
  std::memcpy(out.samples.data(), bytes.data(), out.samples.size() * 2);
  return !out.samples.empty();
}

}  // namespace

bool MakePcm(const std::vector<std::string>& inputArgs, int rate, int channels, Pcm& out,
             std::string* log, const std::vector<std::string>& filterArgs) {
  if (RequireProgram("ffmpeg").empty()) return false;
  std::vector<std::string> args = {"ffmpeg", "-nostdin", "-hide_banner", "-v", "error"};
  args.insert(args.end(), inputArgs.begin(), inputArgs.end());
  args.insert(args.end(), filterArgs.begin(), filterArgs.end());
  args.insert(args.end(), {"-f", "s16le", "-acodec", "pcm_s16le", "-ar", std::to_string(rate),
                           "-ac", std::to_string(channels), "-"});
  ProcessResult r = RunProcess(args);
  if (log) *log = r.err;
  if (r.exitCode != 0) return false;
  return BytesToPcm(r.out, rate, channels, out);
}

bool MakeTone(double frequency, int rate, int channels, double seconds, Pcm& out) {
  char source[160];
  std::snprintf(source, sizeof source, "aevalsrc=0.5*sin(2*PI*%.6f*t):s=%d:d=%.3f", frequency, rate,
                seconds);
  return MakePcm({"-f", "lavfi", "-i", source}, rate, channels, out);
}

Pcm NoisePcm(size_t frames, int channels, unsigned seed, int amplitude) {
  Pcm pcm;
  pcm.rate = 48000;
  pcm.channels = channels;
  pcm.samples.resize(frames * static_cast<size_t>(channels));
  std::mt19937 random(seed);
  for (size_t i = 0; i < pcm.samples.size(); ++i) {
    double t = static_cast<double>(i / static_cast<size_t>(channels)) / 48000.0;
    pcm.samples[i] = static_cast<int16_t>(amplitude * std::sin(2 * M_PI * 700 * t) +
                                          static_cast<int>(random() % 2001) - 1000);
  }
  return pcm;
}

bool MakeSweep(int rate, int channels, double seconds, Pcm& out) {
  char source[200];
  double top = rate / 2.0 - 500;
  std::snprintf(source, sizeof source, "aevalsrc=0.5*sin(2*PI*(50*t+(%.1f-50)*t*t/(2*%.3f))):s=%d:d=%.3f", top,
                seconds, rate, seconds);
  return MakePcm({"-f", "lavfi", "-i", source}, rate, channels, out);
}

bool MakeSpeech(int rate, int channels, double seconds, Pcm& out) {
  std::vector<std::string> files;
  for (const char* name : kSpeechFiles) {
    std::string path = std::string(kSpeechFolder) + "/" + name;
    if (std::filesystem::exists(path)) files.push_back(path);
  }
  if (files.size() < 2) {
    ADD_FAILURE() << "the speech recordings of " << kSpeechFolder
                  << " are missing: install the Debian package alsa-utils (see packages.txt)";
    return false;
  }
  // Each channel is the recordings joined in a different order, looped to the length.
  std::vector<std::string> args;
  std::string filter;
  int inputs = 0;
  for (int ch = 0; ch < channels; ++ch) {
    std::string labels;
    for (size_t i = 0; i < files.size(); ++i) {
      args.insert(args.end(), {"-i", files[(i + ch * 3) % files.size()]});
      labels += "[" + std::to_string(inputs++) + ":a]";
    }
    filter += labels + "concat=n=" + std::to_string(files.size()) + ":v=0:a=1,aloop=loop=-1:size=2e9," +
              "atrim=duration=" + std::to_string(seconds) + "[c" + std::to_string(ch) + "];";
  }
  if (channels == 2) {
    filter += "[c0][c1]join=inputs=2:channel_layout=stereo[out]";
  } else {
    filter += "[c0]anull[out]";
  }
  return MakePcm(args, rate, channels, out, nullptr,
                 {"-filter_complex", filter, "-map", "[out]"});
}

bool DecodeAudio(const std::string& path, Pcm& out, std::string* log,
                 const std::vector<std::string>& inputArgs) {
  if (RequireProgram("ffmpeg").empty()) return false;
  std::vector<std::string> args = {"ffmpeg", "-nostdin", "-hide_banner", "-v", "error", "-xerror"};
  args.insert(args.end(), inputArgs.begin(), inputArgs.end());
  args.insert(args.end(), {"-i", path, "-f", "s16le", "-acodec", "pcm_s16le", "-"});
  ProcessResult r = RunProcess(args);
  if (log) *log = r.err;
  if (r.exitCode != 0 || !r.err.empty()) return false;
  ProcessResult probe = RunProcess({"ffprobe", "-v", "error", "-select_streams", "a:0",
                                    "-show_entries", "stream=sample_rate,channels", "-of",
                                    "csv=p=0", path});
  int rate = 0, channels = 0;
  if (std::sscanf(probe.out.c_str(), "%d,%d", &rate, &channels) != 2) return false;
  return BytesToPcm(r.out, rate, channels, out);
}

bool WriteBytes(const std::string& path, const std::vector<uint8_t>& bytes) {
  std::ofstream file(path, std::ios::binary);
  file.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  return static_cast<bool>(file);
}

bool WritePcm(const std::string& path, const Pcm& pcm) {
  std::ofstream file(path, std::ios::binary);
  file.write(reinterpret_cast<const char*>(pcm.samples.data()),
             static_cast<std::streamsize>(pcm.samples.size() * 2));
  return static_cast<bool>(file);
}

int AlignmentLag(const Pcm& reference, const Pcm& decoded, int maxLag) {
  size_t frames = reference.Frames();
  size_t start = std::min<size_t>(frames / 4, 4096);
  size_t length = std::min<size_t>(16384, frames > start ? frames - start : 0);
  int best = 0;
  double bestValue = -1e300;
  for (int lag = 0; lag <= maxLag; ++lag) {
    if (start + length + lag > decoded.Frames()) break;
    double sum = 0;
    for (size_t i = start; i < start + length; ++i)
      sum += double(reference.samples[i * reference.channels]) *
             decoded.samples[(i + lag) * decoded.channels];
    if (sum > bestValue) {
      bestValue = sum;
      best = lag;
    }
  }
  return best;
}

double SnrDb(const Pcm& reference, const Pcm& decoded, int lag, size_t first, size_t last) {
  double signal = 0, noise = 0;
  int channels = std::min(reference.channels, decoded.channels);
  last = std::min(last, decoded.Frames() > size_t(lag) ? decoded.Frames() - lag : 0);
  for (size_t i = first; i < last; ++i) {
    for (int ch = 0; ch < channels; ++ch) {
      double r = reference.samples[i * reference.channels + ch];
      double d = decoded.samples[(i + lag) * decoded.channels + ch];
      signal += r * r;
      noise += (r - d) * (r - d);
    }
  }
  if (noise <= 0) return 200;
  return 10 * std::log10(signal / noise);
}

double SegmentalSnrDb(const Pcm& reference, const Pcm& decoded, int lag) {
  size_t segment = static_cast<size_t>(reference.rate / 50);
  size_t frames = std::min(reference.Frames(), decoded.Frames() > size_t(lag) ? decoded.Frames() - lag : 0);
  double total = 0;
  int counted = 0;
  double silence = segment * reference.channels * std::pow(32768.0 * 0.001, 2);
  for (size_t begin = 0; begin + segment <= frames; begin += segment) {
    double signal = 0;
    for (size_t i = begin * reference.channels; i < (begin + segment) * reference.channels; ++i)
      signal += double(reference.samples[i]) * reference.samples[i];
    if (signal < silence) continue;
    double snr = SnrDb(reference, decoded, lag, begin, begin + segment);
    total += std::clamp(snr, 0.0, 60.0);
    ++counted;
  }
  return counted ? total / counted : 0;
}

double SpectralBandwidthHz(const Pcm& pcm, double fraction) {
  // Power spectrum summed over Hann-windowed blocks of 2048 samples of every channel.
  constexpr int kSize = 2048;
  std::vector<double> power(kSize / 2 + 1, 0.0);
  std::vector<std::complex<double>> block(kSize);
  for (int ch = 0; ch < pcm.channels; ++ch) {
    for (size_t start = 0; start + kSize <= pcm.Frames(); start += kSize) {
      for (int n = 0; n < kSize; ++n) {
        const double hann = 0.5 - 0.5 * std::cos(2 * M_PI * n / kSize);
        block[n] = hann * pcm.samples[(start + n) * pcm.channels + ch];
      }
      // In-place radix-2 FFT.
      for (int i = 1, j = 0; i < kSize; ++i) {
        int bit = kSize >> 1;
        for (; j & bit; bit >>= 1) j ^= bit;
        j ^= bit;
        if (i < j) std::swap(block[i], block[j]);
      }
      for (int len = 2; len <= kSize; len <<= 1) {
        const std::complex<double> w = std::polar(1.0, -2 * M_PI / len);
        for (int i = 0; i < kSize; i += len) {
          std::complex<double> t = 1;
          for (int k = 0; k < len / 2; ++k, t *= w) {
            const std::complex<double> a = block[i + k], b = block[i + k + len / 2] * t;
            block[i + k] = a + b;
            block[i + k + len / 2] = a - b;
          }
        }
      }
      for (int k = 0; k <= kSize / 2; ++k) power[k] += std::norm(block[k]);
    }
  }
  double total = 0;
  for (double p : power) total += p;
  double above = 0;
  for (int k = kSize / 2; k >= 0; --k) {
    above += power[k];
    if (above >= fraction * total) return double(k) * pcm.rate / kSize;
  }
  return 0;
}

}  // namespace orx::test
