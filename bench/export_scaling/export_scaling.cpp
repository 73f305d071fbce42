// The MPEG-2 export as a user runs it (`orx-export export --type MPG2`, an elementary stream
// from a 4:2:0 Y4M file) against `ffmpeg -c:v mpeg2video -g 15 -bf 2` on the same file, in one
// run. ffmpeg encodes first at the clip's rate; ours is then set to the rate ffmpeg reached, so
// that both spend the same bits. Two clips: 720x480, 339 frames of lavfi testsrc2 (flat,
// animated-looking), and 1920x1080, 480 frames of ../shared/media/tree.avi scaled and looped.
//
// For each: one processor (the process bound to processor 0, ORX_PROCESSOR_COUNT=1; ffmpeg
// -threads 1), in the host's default pixel format and in 'yv12'; then at 1080p, 1, 2, 4 and all
// processors (bound to the first N; ffmpeg -threads 0 at all), ours with the default settings
// (one encoder instance unless the hidden encoder count is shown) and with N encoder instances
// (at most 7, "ShowOnGUI" bit 0 shows the count). Printed: frames per second, CPU seconds, busy
// processors (CPU time / wall time), the bit rate reached, PSNR-Y against the source, and the
// average bytes of I, P and B pictures. Times are the best of the runs (ORX_BENCH_RUNS, 2).
// The load of the machine before the run is printed with the figures.
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "tests/support/process.h"
#include "tests/support/test_paths.h"

namespace {

using Clock = std::chrono::steady_clock;

struct Clip {
  std::string name;
  std::string path;
  int width;
  int height;
  int frames;
  double fps;
  uint32_t rateKbps;  // ffmpeg's target; ours takes what ffmpeg reached
};

struct Measure {
  double wall = 1e30;
  double cpu = 0;
  bool ok = false;
  std::string err;
};

double ChildCpuSeconds() {
  rusage u{};
  getrusage(RUSAGE_CHILDREN, &u);
  return u.ru_utime.tv_sec + u.ru_stime.tv_sec + (u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

int Runs() {
  const char* text = std::getenv("ORX_BENCH_RUNS");
  int n = text != nullptr ? std::atoi(text) : 2;
  return n < 1 ? 1 : n;
}

// Runs argv bound to processors 0 .. cpus-1, best wall time of the runs with its CPU time.
Measure Timed(const std::vector<std::string>& argv, int cpus,
              const std::map<std::string, std::string>& env = {}) {
  std::vector<std::string> bound = {"taskset", "-c", cpus == 1 ? "0" : "0-" + std::to_string(cpus - 1)};
  bound.insert(bound.end(), argv.begin(), argv.end());
  orx::test::ProcessOptions options;
  options.setEnv = env;
  Measure best;
  for (int run = 0; run < Runs(); ++run) {
    double cpu0 = ChildCpuSeconds();
    Clock::time_point start = Clock::now();
    orx::test::ProcessResult r = orx::test::RunProcess(bound, options);
    double wall = std::chrono::duration<double>(Clock::now() - start).count();
    double cpu = ChildCpuSeconds() - cpu0;
    if (r.exitCode != 0) {
      best.ok = false;
      best.err = r.err;
      return best;
    }
    best.ok = true;
    if (wall < best.wall) {
      best.wall = wall;
      best.cpu = cpu;
    }
  }
  return best;
}

// Per picture type (I, P, B, and '*' for the whole stream): pictures, their average bytes and
// PSNR-Y against the source from the mean squared error of every luma sample. ffprobe lists the
// types and sizes in display order; ffmpeg decodes the stream and the source through pipes, frame
// n against frame n.
struct TypeFigures {
  int count = 0;
  double bytes = 0;
  double squares = 0;
  double samples = 0;
  double AverageBytes() const { return count ? bytes / count : 0.0; }
  double Psnr() const {
    if (samples == 0) return 0.0;
    double mse = squares / samples;
    return mse <= 0 ? 99.0 : 10.0 * std::log10(255.0 * 255.0 / mse);
  }
};

std::map<char, TypeFigures> StreamFigures(const std::string& stream, const std::string& source, int width,
                                          int height) {
  std::map<char, TypeFigures> figures;
  orx::test::ProcessResult probe = orx::test::RunProcess(
      {"ffprobe", "-v", "error", "-select_streams", "v:0", "-show_entries", "frame=pict_type,pkt_size",
       "-of", "default=nw=1", stream});
  std::vector<std::pair<char, double>> pictures;  // display order
  std::istringstream lines(probe.out);
  std::string line;
  double size = 0;
  while (std::getline(lines, line)) {
    if (line.rfind("pkt_size=", 0) == 0) size = std::atof(line.c_str() + 9);
    if (line.rfind("pict_type=", 0) == 0 && line.size() > 10) pictures.emplace_back(line[10], size);
  }
  auto open = [](const std::string& path) {
    std::string command = "ffmpeg -nostdin -v error -i '" + path + "' -f rawvideo -pix_fmt yuv420p -";
    return popen(command.c_str(), "r");
  };
  FILE* a = open(stream);
  FILE* b = open(source);
  if (a == nullptr || b == nullptr) return figures;
  const size_t luma = static_cast<size_t>(width) * height;
  const size_t frame = luma + 2 * static_cast<size_t>((width + 1) / 2) * ((height + 1) / 2);
  std::vector<uint8_t> fa(frame), fb(frame);
  for (size_t n = 0; std::fread(fa.data(), 1, frame, a) == frame && std::fread(fb.data(), 1, frame, b) == frame;
       ++n) {
    double squares = 0;
    for (size_t i = 0; i < luma; ++i) {
      double d = static_cast<double>(fa[i]) - fb[i];
      squares += d * d;
    }
    char type = n < pictures.size() ? pictures[n].first : '?';
    for (char key : {type, '*'}) {
      TypeFigures& f = figures[key];
      f.count++;
      f.bytes += n < pictures.size() ? pictures[n].second : 0.0;
      f.squares += squares;
      f.samples += static_cast<double>(luma);
    }
  }
  pclose(a);
  pclose(b);
  return figures;
}

double FileBytes(const std::string& path) {
  std::ifstream f(path, std::ios::binary | std::ios::ate);
  return f ? static_cast<double>(f.tellg()) : 0.0;
}

std::vector<std::string> OursArgs(const Clip& clip, double kbps, const std::string& out,
                                  const std::vector<std::string>& extra) {
  std::vector<std::string> a = {orx::test::ProgramDir() + "/orx-export", "export", "--type", "MPG2",
                                "--input", clip.path, "--frames", std::to_string(clip.frames),
                                "--set", "ORXMultiplexerContainer=0", "--set",
                                "ORXAverageBitrate=" + std::to_string(kbps), "--no-progress",
                                "--output", out};
  a.insert(a.end(), extra.begin(), extra.end());
  return a;
}

std::vector<std::string> FfmpegArgs(const Clip& clip, const std::string& threads, const std::string& out) {
  std::string rate = std::to_string(clip.rateKbps) + "k";
  return {"ffmpeg", "-nostdin", "-v", "error", "-i", clip.path, "-threads", threads, "-c:v", "mpeg2video",
          "-b:v", rate, "-g", "15", "-bf", "2", "-y", out};
}

void PrintRow(const char* what, const Clip& clip, const Measure& m) {
  if (!m.ok) {
    std::printf("  %-34s failed: %s\n", what, m.err.c_str());
    return;
  }
  std::printf("  %-34s %7.1f frames/s  %6.2f s wall  %6.2f CPU-s  %4.1f busy\n", what,
              clip.frames / m.wall, m.wall, m.cpu, m.cpu / m.wall);
}

void PrintQuality(const char* what, const Clip& clip, const std::string& stream) {
  std::map<char, TypeFigures> f = StreamFigures(stream, clip.path, clip.width, clip.height);
  double kbps = FileBytes(stream) * 8.0 * clip.fps / clip.frames / 1000.0;
  std::printf("  %-7s %7.1f kbit/s  PSNR-Y %6.2f dB", what, kbps, f['*'].Psnr());
  for (char type : {'I', 'P', 'B'}) {
    std::printf("  %c %3d x %6.0f B %5.2f dB", type, f[type].count, f[type].AverageBytes(), f[type].Psnr());
  }
  std::printf("\n");
}

}  // namespace

int main() {
  std::setvbuf(stdout, nullptr, _IOLBF, 0);  // each figure as soon as it is measured
  for (const char* program : {"ffmpeg", "ffprobe", "taskset"}) {
    if (orx::test::FindProgram(program).empty()) {
      std::fprintf(stderr, "export_scaling: %s is missing\n", program);
      return 1;
    }
  }
  const int all = static_cast<int>(sysconf(_SC_NPROCESSORS_ONLN));
  std::string dir = orx::test::MakeTempDir("export_scaling");
  // The machine settings: no GPU request; a second registry also shows the encoder count.
  std::ofstream(dir + "/registry") << "HKCU\\Software\\ORX\\AdobePluginCS4\\GPUFlags = dword:0x00000000\n";
  std::ofstream(dir + "/registry-count")
      << "HKCU\\Software\\ORX\\AdobePluginCS4\\GPUFlags = dword:0x00000000\n"
      << "HKCU\\Software\\ORX\\AdobePluginCS4\\ShowOnGUI = dword:0x00020111\n";
  const std::map<std::string, std::string> oneEnv = {{"ORX_REGISTRY", dir + "/registry"},
                                                     {"ORX_PROCESSOR_COUNT", "1"}};

  std::vector<Clip> clips = {
      {"720x480 testsrc2", dir + "/synthetic480.y4m", 720, 480, 339, 30000.0 / 1001, 1840},
      {"1920x1080 tree.avi", dir + "/tree1080.y4m", 1920, 1080, 480, 30000.0 / 1001, 7500},
  };
  orx::test::ProcessResult made = orx::test::RunProcess(
      {"ffmpeg", "-nostdin", "-v", "error", "-f", "lavfi", "-i", "testsrc2=size=720x480:rate=30000/1001",
       "-frames:v", "339", "-pix_fmt", "yuv420p", "-y", clips[0].path});
  if (made.exitCode != 0) return std::fprintf(stderr, "export_scaling: %s\n", made.err.c_str()), 1;
  made = orx::test::RunProcess(
      {"ffmpeg", "-nostdin", "-v", "error", "-stream_loop", "7", "-i", orx::test::MediaPath("tree.avi"),
       "-vf", "setpts=N/(30000/1001)/TB,scale=1920:1080:flags=bicubic", "-r", "30000/1001", "-frames:v", "480",
       "-pix_fmt", "yuv420p", "-y", clips[1].path});
  if (made.exitCode != 0) return std::fprintf(stderr, "export_scaling: %s\n", made.err.c_str()), 1;

  double load[3] = {0, 0, 0};
  getloadavg(load, 3);
  std::printf("%d processors, load average %.2f %.2f %.2f before the run\n", all, load[0], load[1], load[2]);

  double oursOneHd = 0;
  double ffmpegOneHd = 0;
  double hdKbps = 0;
  for (size_t c = 0; c < clips.size(); ++c) {
    const Clip& clip = clips[c];
    std::printf("\n%s, %d frames, ffmpeg aimed at %u kbit/s\n", clip.name.c_str(), clip.frames, clip.rateKbps);
    std::string ffOut = dir + "/ffmpeg" + std::to_string(c) + ".m2v";
    Measure ff = Timed(FfmpegArgs(clip, "1", ffOut), 1);
    double kbps = FileBytes(ffOut) * 8.0 * clip.fps / clip.frames / 1000.0;
    std::string ours = dir + "/ours" + std::to_string(c) + ".m2v";
    Measure def = Timed(OursArgs(clip, kbps, ours, {}), 1, oneEnv);
    Measure yv12 = Timed(OursArgs(clip, kbps, dir + "/yv12.m2v", {"--pixel-format", "yv12"}), 1, oneEnv);
    std::printf(" one processor:\n");
    PrintRow("ffmpeg -threads 1", clip, ff);
    PrintRow("ours, default pixel format", clip, def);
    PrintRow("ours, --pixel-format yv12", clip, yv12);
    if (ff.ok && def.ok) std::printf("  ours / ffmpeg (default format)     %6.2fx\n", ff.wall / def.wall);
    if (ff.ok && yv12.ok) std::printf("  ours / ffmpeg (yv12)               %6.2fx\n", ff.wall / yv12.wall);
    std::printf(" equal bits:\n");
    PrintQuality("ffmpeg", clip, ffOut);
    PrintQuality("ours", clip, ours);
    if (c == 1) {
      oursOneHd = def.ok ? def.wall : 0;
      ffmpegOneHd = ff.ok ? ff.wall : 0;
      hdKbps = kbps;
    }
  }

  const Clip& hd = clips[1];
  std::printf("\n%s at %.0f kbit/s by processors\n", hd.name.c_str(), hdKbps);
  std::vector<int> counts = {1, 2, 4};
  if (all > 4) counts.push_back(all);
  double oursAll = 0;
  for (int n : counts) {
    std::map<std::string, std::string> env = {{"ORX_REGISTRY", dir + "/registry"}};
    Measure def = Timed(OursArgs(hd, hdKbps, dir + "/n.m2v", {}), n, env);
    env["ORX_REGISTRY"] = dir + "/registry-count";
    int instances = std::min(n, 7);
    Measure many = Timed(
        OursArgs(hd, hdKbps, dir + "/m.m2v", {"--set", "ORXNumEncoders=" + std::to_string(instances)}), n, env);
    std::printf(" %d processor%s:\n", n, n == 1 ? "" : "s");
    PrintRow("ours, default settings", hd, def);
    std::string label = "ours, " + std::to_string(instances) + " encoder instance" + (instances == 1 ? "" : "s");
    PrintRow(label.c_str(), hd, many);
    if (n == all) oursAll = std::min(def.ok ? def.wall : 1e30, many.ok ? many.wall : 1e30);
  }
  Measure ffAll = Timed(FfmpegArgs(hd, "0", dir + "/ffall.m2v"), all);
  std::printf(" %d processors:\n", all);
  PrintRow("ffmpeg -threads 0", hd, ffAll);
  if (ffAll.ok && oursAll < 1e30) {
    std::printf("\nall processors: ours / ffmpeg -threads 0        %6.2fx (2x asked)\n", ffAll.wall / oursAll);
    std::printf("all processors: ours / our one-processor figure %6.2fx (5x asked)\n", oursOneHd / oursAll);
  }
  if (ffmpegOneHd > 0 && oursOneHd > 0) {
    std::printf("one processor at 1080p: ours / ffmpeg -threads 1 %6.2fx (1.2x asked)\n", ffmpegOneHd / oursOneHd);
  }
  getloadavg(load, 3);
  std::printf("load average %.2f %.2f %.2f after the run\n", load[0], load[1], load[2]);
  return 0;
}
