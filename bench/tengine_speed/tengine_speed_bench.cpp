// The transcode engine's speed with the real qvavenc: box.mp4 (hand-held camera footage) scaled to
// 720x480, 300 frames of
// planar 4:2:0 lent by reference, 6 Mbit/s, N 15, M 3, elementary MPEG-2 target, at 1, 2, 4 and 8
// MULTIVENC instances (wall time from Run to the last picture written, best of three; the end of
// stream follows once every instance has ended). The same
// frames through `ffmpeg -threads 1 -c:v mpeg2video` at the same bit rate give the reference
// (ffmpeg's own real time). Then MULTIVENC's VUYA to 4:2:0 conversion of a 1920x1080 frame
// against a memcpy of that frame (best of many). The system asks for four instances at least
// 3x one instance on a machine with at least four cores, and the conversion at most 3x the copy.

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "engine/catalogue/component_catalogue.h"
#include "engine/multivenc/preproc_convert.h"
#include "media/media_codes.h"
#include "tests/support/cpu_time.h"
#include "tests/support/ffmpeg.h"
#include "tests/support/process.h"
#include "tests/support/test_paths.h"
#include "tests/engine/transcode/real_encode.h"

namespace orx::test {
namespace {

constexpr int kWidth = 720;
constexpr int kHeight = 480;
constexpr uint32_t kFrames = 300;
constexpr uint32_t kBitRate = 6000000;
constexpr int kRuns = 3;

struct EngineTiming {
  double toLastPicture = 1e30;  // from Run to the last picture written
  double toEnd = 0;             // from Run to the end of stream (the instances ended)
  double busy = 0;              // processor time over wall time: the processors the encode kept busy
};

// The best of the runs by the time to the last picture.
EngineTiming BestEngineTiming(const RawVideo& clip, uint32_t instances, const std::string& folder) {
  EngineTiming best;
  for (int run = 0; run < kRuns; ++run) {
    InstallRealComponents(folder, false);
    RealEncodeJob job;
    job.source = &clip;
    job.frames = kFrames;
    job.subtype = QVA_MSUBTYPE_YUV420;
    job.instances = instances;
    job.bitRate = kBitRate;
    const double cpuBefore = orx::test::ProcessCpuSeconds();
    const RealEncodeResult result = EncodeThroughEngine(job);
    const double cpu = orx::test::ProcessCpuSeconds() - cpuBefore;
    if (!result.ended) return {};
    if (result.secondsToLastPicture < best.toLastPicture) {
      best = {result.secondsToLastPicture, result.seconds, cpu / result.seconds};
    }
  }
  return best;
}

double BestFfmpegSeconds(const std::string& rawPath, const std::string& out) {
  const std::string rate = std::to_string(kBitRate);
  double best = 1e30;
  for (int run = 0; run < kRuns; ++run) {
    const ProcessResult r = RunProcess(
        {RequireProgram("ffmpeg"), "-nostdin", "-benchmark", "-hide_banner", "-nostats", "-f", "rawvideo", "-pix_fmt",
         "yuv420p", "-s", std::to_string(kWidth) + "x" + std::to_string(kHeight), "-r", "30000/1001", "-i", rawPath,
         "-threads", "1", "-c:v", "mpeg2video", "-b:v", rate, "-minrate", rate, "-maxrate", rate, "-bufsize",
         std::to_string(112 * 16384), "-g", "15", "-bf", "2", "-y", out});
    const size_t at = r.err.find("rtime=");
    if (r.exitCode != 0 || at == std::string::npos) {
      std::fprintf(stderr, "ffmpeg failed: %s\n", r.err.c_str());
      return -1.0;
    }
    best = std::min(best, std::stod(r.err.substr(at + 6)));
  }
  return best;
}

template <typename Work>
double BestSeconds(int repeats, Work work) {
  double best = 1e30;
  for (int i = 0; i < repeats; ++i) {
    const auto start = std::chrono::steady_clock::now();
    work();
    best = std::min(best, std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
  }
  return best;
}

void ConversionAgainstCopy() {
  constexpr uint32_t kHdWidth = 1920;
  constexpr uint32_t kHdHeight = 1080;
  const size_t sourceBytes = size_t{kHdWidth} * kHdHeight * 4;
  std::vector<uint8_t> source(sourceBytes);
  std::mt19937 random(7);
  for (uint8_t& byte : source) byte = static_cast<uint8_t>(random());
  std::vector<uint8_t> copy(sourceBytes);
  std::vector<uint8_t> planar(size_t{kHdWidth} * kHdHeight * 3 / 2);
  const PreProcFrameGeometry in{kHdWidth, kHdHeight, kHdWidth, kHdHeight};
  const PreProcFrameGeometry out{kHdWidth, kHdHeight, kHdWidth, kHdHeight};
  const double convert = BestSeconds(50, [&] {
    PreProc_ConvertPixels(source.data(), kPPCodeVuya, in, planar.data(), kPPCodeI420, out);
  });
  const double memcpyTime = BestSeconds(50, [&] {
    std::memcpy(copy.data(), source.data(), sourceBytes);
    asm volatile("" : : "r"(copy.data()) : "memory");
  });
  std::printf("VUYA -> 4:2:0 of 1920x1080: %.3f ms, memcpy of the source frame %.3f ms, ratio %.2f (at most 3 asked)\n",
              convert * 1e3, memcpyTime * 1e3, convert / memcpyTime);
}

}  // namespace
}  // namespace orx::test

int main(int argc, char** argv) {
  using namespace orx::test;
  // Instance counts to run: the arguments, else 1, 2, 4 and 8.
  std::vector<uint32_t> counts;
  for (int i = 1; i < argc; ++i) {
    char* end = nullptr;
    const unsigned long count = std::strtoul(argv[i], &end, 10);
    if (end == argv[i] || *end != '\0' || count == 0 || count > 64) {
      std::fprintf(stderr, "usage: %s [instances...] (each 1 to 64), not \"%s\"\n", argv[0], argv[i]);
      return 2;
    }
    counts.push_back(static_cast<uint32_t>(count));
  }
  if (counts.empty()) counts = {1, 2, 4, 8};
  ConversionAgainstCopy();
  RawVideo clip;
  DecodeOptions options;
  options.xerror = false;
  options.outputArgs = {"-vf", "scale=720:480", "-frames:v", std::to_string(kFrames)};
  std::string log;
  if (!DecodeVideo(MediaPath("box.mp4"), clip, options, &log) || clip.frames.size() != kFrames) {
    std::fprintf(stderr, "cannot make the box.mp4 source: %s\n", log.c_str());
    return 1;
  }
  const std::string folder = MakeTempDir("tengine_speed_bench");
  CatalogueRestoreBuiltIn();
  const std::string rawPath = folder + "/source.yuv";
  if (!WriteRawFile(rawPath, clip)) return 1;
  const double ffmpeg = BestFfmpegSeconds(rawPath, folder + "/ffmpeg.m2v");
  if (ffmpeg <= 0) return 1;
  std::printf("%u frames of box.mp4 at 720x480, 6 Mbit/s, N 15, M 3, %u processors:\n", kFrames,
              std::thread::hardware_concurrency());
  std::printf("  ffmpeg -threads 1        %7.3f s  %7.1f frames/s\n", ffmpeg, kFrames / ffmpeg);
  double one = 0;
  for (uint32_t instances : counts) {
    const EngineTiming timing = BestEngineTiming(clip, instances, folder);
    const double seconds = timing.toLastPicture;
    if (timing.toEnd <= 0) {
      std::fprintf(stderr, "the engine encode with %u instances did not end\n", instances);
      return 1;
    }
    if (one == 0) one = seconds;
    std::printf(
        "  engine, %u instance(s)  %7.3f s  %7.1f frames/s  x%.2f of the first  x%.2f of ffmpeg  (end of stream "
        "after %.3f s, %.1f processors busy)\n",
        instances, seconds, kFrames / seconds, one / seconds, ffmpeg / seconds, timing.toEnd, timing.busy);
  }
  return 0;
}
