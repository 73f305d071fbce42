// 60 s of 48 kHz stereo speech (the alsa-utils recordings, looped) converted to 44.1 kHz: the
// factory's CResampler_MMX and the plain CResampler, fed in blocks of 4096 frames, against
// `ffmpeg -af aresample=44100` on the same samples. Every time is user CPU time (ffmpeg's from
// its -benchmark line), the best of three runs; the figure of interest is the speed ratio to
// ffmpeg (the system asks for at least 1.0). ffmpeg's time includes its start, which a run over
// one second of the input shows; the ratio without it is printed too.
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "aenc/resample/resampler.h"
#include "aenc/simd/audio_factories.h"
#include "tests/aenc/audio_oracle.h"
#include "tests/support/cpu_time.h"
#include "tests/support/process.h"

namespace {

constexpr int kInRate = 48000;
constexpr int kOutRate = 44100;
constexpr int kSeconds = 60;
constexpr int kRuns = 3;
constexpr uint32_t kBlock = 4096;

double TimeOurs(const orx::test::Pcm& pcm, bool plain, size_t* made) {
  double best = 1e30;
  std::vector<int16_t> out(2 * (kBlock * 2 + 64));
  for (int run = 0; run < kRuns; ++run) {
    orx::aenc::CResampler* resampler = nullptr;
    if (plain) {
      resampler = new orx::aenc::CResampler();
    } else {
      orx::aenc::IResampler* built = nullptr;
      if (!orx::aenc::NewResampler(&built)) std::exit(1);
      resampler = static_cast<orx::aenc::CResampler*>(built);
    }
    if (!resampler->Setup(2, 16) || !resampler->SetRates(kInRate, kOutRate)) std::exit(1);
    const size_t frames = pcm.Frames();
    size_t at = 0, total = 0;
    const double start = orx::test::UserCpuSeconds();
    while (at < frames) {
      uint32_t consumed = static_cast<uint32_t>(std::min<size_t>(kBlock, frames - at));
      total += resampler->Process(out.data(), &pcm.samples[2 * at], &consumed, kBlock * 2);
      at += consumed;
    }
    best = std::min(best, orx::test::UserCpuSeconds() - start);
    *made = total;
    resampler->Release();
  }
  return best;
}

// Best user time of ffmpeg converting the first `duration` seconds of the input (all of it when 0).
double TimeFfmpeg(const std::string& input, int duration) {
  double best = 1e30;
  for (int run = 0; run < kRuns; ++run) {
    std::vector<std::string> args = {"ffmpeg", "-nostdin", "-benchmark", "-f", "s16le", "-ar",
                                     std::to_string(kInRate), "-ac", "2", "-i", input};
    if (duration > 0) args.insert(args.end(), {"-t", std::to_string(duration)});
    args.insert(args.end(), {"-af", "aresample=" + std::to_string(kOutRate), "-c:a", "pcm_s16le", "-f", "null", "-"});
    const orx::test::ProcessResult r = orx::test::RunProcess(args);
    const double seconds = orx::test::FfmpegBenchmarkUserSeconds(r.err);
    if (r.exitCode != 0 || seconds < 0) {
      std::fprintf(stderr, "ffmpeg failed: %s\n", r.err.c_str());
      std::exit(1);
    }
    best = std::min(best, seconds);
  }
  return best;
}

}  // namespace

int main() {
  orx::test::Pcm pcm;
  if (!orx::test::MakeSpeech(kInRate, 2, kSeconds, pcm)) return 1;
  pcm.samples.resize(size_t{kSeconds} * kInRate * 2);
  char input[] = "/tmp/resample_speed_XXXXXX";
  const int fd = mkstemp(input);
  if (fd < 0) return 1;
  close(fd);
  if (!orx::test::WritePcm(input, pcm)) return 1;

  size_t madePacked = 0, madePlain = 0;
  const double ffmpeg = TimeFfmpeg(input, 0);
  const double ffmpegOneSecond = TimeFfmpeg(input, 1);
  const double ffmpegConverting = (ffmpeg - ffmpegOneSecond) * kSeconds / (kSeconds - 1);
  const double packed = TimeOurs(pcm, false, &madePacked);
  const double plain = TimeOurs(pcm, true, &madePlain);
  unlink(input);

  std::printf("%d s of 48 kHz stereo speech to 44.1 kHz, user seconds (best of %d):\n", kSeconds, kRuns);
  std::printf("  ffmpeg -af aresample=44100      %7.3f s\n", ffmpeg);
  std::printf("  CResampler_MMX                  %7.3f s   speed vs ffmpeg %.2f   (%zu frames)\n", packed,
              ffmpeg / packed, madePacked);
  std::printf("  plain CResampler                %7.3f s   CResampler_MMX is %.2fx faster\n", plain,
              plain / packed);
  std::printf("ffmpeg without its start-up: %.3f s; CResampler_MMX against that: %.2f\n", ffmpegConverting,
              ffmpegConverting / packed);
  return 0;
}
