// One qvavenc H.264 instance against the x264 program on tree.avi decoded to 4:2:0 and looped:
// 720x576 (272 frames) at 2 Mbit/s and 1920x1080 (120 frames) at 8 Mbit/s, progressive, N 15,
// M 3. References, single-threaded CAVLC at the same rate and key interval:
//   x264 --preset veryfast --no-cabac --threads 1 --bframes 2 --b-pyramid none
//   x264 --preset ultrafast --no-cabac --threads 1
// Prints frames per second, bytes and Y-PSNR (ffmpeg's psnr filter against the source) of each
// and the ratios. Asked for: against veryfast a speed ratio of at least 1.0, Y-PSNR at most
// 0.5 dB below and bytes at most 1.03 times; against ultrafast Y-PSNR at or above and a speed
// ratio of at least 0.5. Times are user CPU seconds of the encoding process (ours: the whole
// test host, frames lent from memory), the best of three runs.

#include <sys/resource.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "tests/support/cpu_time.h"
#include "tests/support/ffmpeg.h"
#include "tests/support/process.h"
#include "tests/support/test_paths.h"
#include "tests/venc/component/source_video.h"
#include "tests/venc/component/venc_host.h"

namespace orx::venc::bench {
namespace {

constexpr int kRuns = 3;

struct Row {
  const char* name;
  int width, height, frames;
  uint32_t bitRate;
};

struct Result {
  double seconds = -1.0;
  size_t bytes = 0;
  double psnr = 0.0;
};

double ChildrenUserSeconds() {
  rusage usage{};
  getrusage(RUSAGE_CHILDREN, &usage);
  return static_cast<double>(usage.ru_utime.tv_sec) + static_cast<double>(usage.ru_utime.tv_usec) / 1e6;
}

bool WriteFile(const std::string& path, const std::vector<uint8_t>& bytes) {
  std::FILE* file = std::fopen(path.c_str(), "wb");
  if (file == nullptr) return false;
  const bool ok = std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
  return std::fclose(file) == 0 && ok;
}

Result RunOurs(test::VencLibrary& library, const Row& row, const test::SourceVideo& source,
               const std::string& path) {
  test::HostEncode setup;
  setup.input = test::PlanarFormat(QVA_MSUBTYPE_YUV420, row.width, row.height, 25000);
  setup.output = test::Mpeg2Format(row.width, row.height, 25000, row.bitRate);
  setup.output.subtype = QVA_MSUBTYPE_H264;
  setup.params = test::ExportParams(15, 3, row.bitRate, 1);
  const size_t frameBytes = static_cast<size_t>(row.width) * row.height * 3 / 2;
  Result result;
  std::vector<uint8_t> stream;
  for (int run = 0; run < kRuns; ++run) {
    const double start = orx::test::UserCpuSeconds();
    test::HostResult encoded = test::EncodeThroughHost(
        library, setup, row.frames, frameBytes,
        [&](int i, uint8_t* to) {
          const std::vector<uint8_t> frame = source.Frame(i);
          std::copy(frame.begin(), frame.end(), to);
        });
    const double seconds = orx::test::UserCpuSeconds() - start;
    result.seconds = run == 0 ? seconds : std::min(result.seconds, seconds);
    stream = std::move(encoded.stream);
  }
  if (!WriteFile(path, stream)) return {};
  result.bytes = stream.size();
  result.psnr = test::StreamLumaPsnr(path, source, row.frames);
  return result;
}

Result RunX264(const Row& row, const test::SourceVideo& source, const std::string& y4m,
               const std::string& path, const std::vector<std::string>& preset) {
  std::vector<std::string> argv = {orx::test::RequireProgram("x264")};
  argv.insert(argv.end(), preset.begin(), preset.end());
  for (const std::string& a :
       {std::string("--no-cabac"), std::string("--threads"), std::string("1"), std::string("--bitrate"),
        std::to_string(row.bitRate / 1000), std::string("--keyint"), std::string("15"),
        std::string("--min-keyint"), std::string("15"), std::string("--no-scenecut"),
        std::string("--quiet"), std::string("-o"), path, y4m}) {
    argv.push_back(a);
  }
  Result result;
  for (int run = 0; run < kRuns; ++run) {
    const double start = ChildrenUserSeconds();
    const orx::test::ProcessResult r = orx::test::RunProcess(argv);
    const double seconds = ChildrenUserSeconds() - start;
    if (r.exitCode != 0) {
      std::fprintf(stderr, "x264 failed: %s\n", r.err.c_str());
      return {};
    }
    result.seconds = run == 0 ? seconds : std::min(result.seconds, seconds);
  }
  std::string bytes;
  orx::test::ReadFileBytes(path, bytes);
  result.bytes = bytes.size();
  result.psnr = test::StreamLumaPsnr(path, source, row.frames);
  return result;
}

void Print(const char* name, const Row& row, const Result& r) {
  std::printf("  %-34s %7.3f s  %6.1f frames/s  %9zu bytes  Y-PSNR %.2f dB\n", name, r.seconds,
              row.frames / r.seconds, r.bytes, r.psnr);
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
  const bench::Row rows[] = {{"720x576, 2 Mbit/s", 720, 576, 272, 2000000},
                             {"1920x1080, 8 Mbit/s", 1920, 1080, 120, 8000000}};
  const std::string dir = orx::test::MakeTempDir("venc_h264_bench");
  for (const bench::Row& row : rows) {
    const test::SourceVideo source = test::TreeSource(row.width, row.height, row.frames);
    if (source.frames < row.frames) {
      std::fprintf(stderr, "cannot make the tree.avi source\n");
      return 1;
    }
    orx::test::RawVideo raw;
    raw.width = row.width;
    raw.height = row.height;
    for (int i = 0; i < row.frames; ++i) raw.frames.push_back(source.Frame(i));
    const std::string y4m = dir + "/in.y4m";
    if (!orx::test::WriteY4mFile(y4m, raw, 25, 1)) return 1;
    raw.frames.clear();
    const bench::Result ours = bench::RunOurs(library, row, source, dir + "/qvavenc.264");
    const bench::Result veryfast =
        bench::RunX264(row, source, y4m, dir + "/veryfast.264",
                       {"--preset", "veryfast", "--bframes", "2", "--b-pyramid", "none"});
    const bench::Result ultrafast =
        bench::RunX264(row, source, y4m, dir + "/ultrafast.264", {"--preset", "ultrafast"});
    if (ours.seconds <= 0 || veryfast.seconds <= 0 || ultrafast.seconds <= 0) return 1;
    std::printf("H.264 %s, %d frames of tree.avi, progressive, N 15, M 3:\n", row.name, row.frames);
    bench::Print("x264 veryfast (CAVLC, 1 thread)", row, veryfast);
    bench::Print("x264 ultrafast (CAVLC, 1 thread)", row, ultrafast);
    bench::Print("qvavenc (one instance)", row, ours);
    std::printf("  against veryfast: speed %.2f (at least 1.0), Y-PSNR %+.2f dB (at least -0.5), "
                "bytes %.3f (at most 1.03)\n",
                veryfast.seconds / ours.seconds, ours.psnr - veryfast.psnr,
                static_cast<double>(ours.bytes) / static_cast<double>(veryfast.bytes));
    std::printf("  against ultrafast: speed %.2f (at least 0.5), Y-PSNR %+.2f dB (at least 0)\n",
                ultrafast.seconds / ours.seconds, ours.psnr - ultrafast.psnr);
  }
  return 0;
}
