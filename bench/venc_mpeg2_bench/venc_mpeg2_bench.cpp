// One qvavenc instance against `ffmpeg -threads 1 -c:v mpeg2video` on tree.avi decoded to raw
// 4:2:0 at 720x576 (each source frame one 25 fps frame, looped to 272 frames): 6 Mbit/s constant,
// VBV 112 units, N 15, M 3, interlaced (ffmpeg: -g 15 -bf 2 -flags +ildct+ilme). Reports the
// frames per second and the Y-PSNR of both and the speed ratio ours / ffmpeg; the system asks for
// a ratio of at least 1.0 at equal or better Y-PSNR. Times are user CPU seconds of the encoding
// process (ours: the whole test host, frames lent from memory), the best of three runs.

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "tests/support/cpu_time.h"
#include "tests/support/process.h"
#include "tests/support/test_paths.h"
#include "tests/venc/component/source_video.h"
#include "tests/venc/component/venc_host.h"

namespace orx::venc::bench {
namespace {

constexpr int kWidth = 720;
constexpr int kHeight = 576;
constexpr int kFrames = 272;
constexpr uint32_t kBitRate = 6000000;
constexpr int kRuns = 3;

double TimeOurs(test::VencLibrary& library, const std::vector<std::vector<uint8_t>>& frames,
                std::vector<uint8_t>* stream) {
  test::HostEncode setup;
  setup.input = test::PlanarFormat(QVA_MSUBTYPE_YUV420, kWidth, kHeight, 25000);
  setup.output = test::Mpeg2Format(kWidth, kHeight, 25000, kBitRate);
  setup.params = test::ExportParams(15, 3, kBitRate);
  double best = 1e30;
  for (int run = 0; run < kRuns; ++run) {
    const double start = orx::test::UserCpuSeconds();
    test::HostResult result = test::EncodeThroughHost(library, setup, frames);
    best = std::min(best, orx::test::UserCpuSeconds() - start);
    *stream = std::move(result.stream);
  }
  return best;
}

double TimeFfmpeg(const test::SourceVideo& source, const std::string& out) {
  const std::string rate = std::to_string(kBitRate);
  double best = 1e30;
  for (int run = 0; run < kRuns; ++run) {
    const orx::test::ProcessResult r = orx::test::RunProcess(
        {orx::test::RequireProgram("ffmpeg"), "-nostdin", "-benchmark", "-hide_banner", "-nostats", "-f", "rawvideo", "-pix_fmt",
         "yuv420p", "-s", std::to_string(kWidth) + "x" + std::to_string(kHeight), "-r", "25", "-i", source.path,
         "-frames:v", std::to_string(kFrames), "-threads", "1", "-c:v", "mpeg2video", "-b:v", rate, "-minrate",
         rate, "-maxrate", rate, "-bufsize", std::to_string(112 * 16384), "-g", "15", "-bf", "2", "-flags",
         "+ildct+ilme", "-top", "1", "-y", out});
    const size_t at = r.err.find("utime=");
    if (r.exitCode != 0 || at == std::string::npos) {
      std::fprintf(stderr, "ffmpeg failed: %s\n", r.err.c_str());
      return -1.0;
    }
    best = std::min(best, std::stod(r.err.substr(at + 6)));
  }
  return best;
}

}  // namespace
}  // namespace orx::venc::bench

int main() {
  using namespace orx::venc;
  test::VencLibrary library;
  if (!library.Loaded()) {
    std::fprintf(stderr, "cannot load %s: %s\n", library.Path().c_str(), library.Error().c_str());
    return 1;
  }
  const test::SourceVideo source = test::TreeSource(bench::kWidth, bench::kHeight, bench::kFrames);
  if (source.frames < bench::kFrames) {
    std::fprintf(stderr, "cannot make the tree.avi source\n");
    return 1;
  }
  std::vector<std::vector<uint8_t>> frames;
  for (int i = 0; i < bench::kFrames; ++i) frames.push_back(source.Frame(i));
  std::vector<uint8_t> stream;
  const double ours = bench::TimeOurs(library, frames, &stream);
  const std::string dir = orx::test::MakeTempDir("venc_mpeg2_bench");
  const std::string oursPath = dir + "/qvavenc.m2v";
  const std::string ffmpegPath = dir + "/ffmpeg.m2v";
  std::FILE* file = std::fopen(oursPath.c_str(), "wb");
  if (file == nullptr) return 1;
  std::fwrite(stream.data(), 1, stream.size(), file);
  std::fclose(file);
  const double ffmpeg = bench::TimeFfmpeg(source, ffmpegPath);
  if (ffmpeg <= 0) return 1;
  const double oursPsnr = test::StreamLumaPsnr(oursPath, source, bench::kFrames);
  const double ffmpegPsnr = test::StreamLumaPsnr(ffmpegPath, source, bench::kFrames);
  std::printf("MPEG-2 720x576 interlaced, %d frames of tree.avi, 6 Mbit/s CBR, VBV 112, N 15, M 3:\n", bench::kFrames);
  std::printf("  ffmpeg -threads 1 mpeg2video  %7.3f s  %6.1f frames/s  Y-PSNR %.2f dB\n", ffmpeg,
              bench::kFrames / ffmpeg, ffmpegPsnr);
  std::printf("  qvavenc (one instance)        %7.3f s  %6.1f frames/s  Y-PSNR %.2f dB  (%zu bytes)\n", ours,
              bench::kFrames / ours, oursPsnr, stream.size());
  std::printf("  speed ratio ours/ffmpeg %.2f (at least 1.0 asked), Y-PSNR difference %+.2f dB\n", ffmpeg / ours,
              oursPsnr - ffmpegPsnr);
  return 0;
}
