#include "tests/venc/component/source_video.h"

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <mutex>

#include "tests/support/process.h"
#include "tests/support/test_paths.h"

namespace orx::venc::test {
namespace {

// The sources made by this process, by what they show; their files (raw video, up to 600 MB at
// 1080 lines) go when the process ends.
struct MadeSources {
  std::mutex lock;
  std::map<std::string, SourceVideo> byKey;
  std::vector<std::string> folders;
  ~MadeSources() {
    for (const std::string& folder : folders) std::filesystem::remove_all(folder);
  }
};
MadeSources g_sources;

bool RunFfmpeg(const std::vector<std::string>& args, std::string* log) {
  std::vector<std::string> argv = {orx::test::RequireProgram("ffmpeg"), "-nostdin", "-v", "error"};
  argv.insert(argv.end(), args.begin(), args.end());
  const orx::test::ProcessResult run = orx::test::RunProcess(argv);
  if (log != nullptr) *log = run.err;
  return run.exitCode == 0;
}

// A source of `frames` frames of what `key` names: one made before with at least as many frames
// serves (its first frames are the same), else ffmpeg makes it.
SourceVideo Made(const std::string& key, const std::vector<std::string>& inputArgs, int width, int height,
                 int frames) {
  std::lock_guard<std::mutex> hold(g_sources.lock);
  auto found = g_sources.byKey.find(key);
  if (found != g_sources.byKey.end() && found->second.frames >= frames) return found->second;
  SourceVideo source;
  source.width = width;
  source.height = height;
  const std::string folder = orx::test::MakeTempDir("venc_source");
  g_sources.folders.push_back(folder);
  source.path = folder + "/source.yuv";
  std::vector<std::string> args = inputArgs;
  const std::string size = std::to_string(width) + ":" + std::to_string(height);
  args.insert(args.end(), {"-vf", "scale=" + size, "-frames:v", std::to_string(frames), "-pix_fmt", "yuv420p", "-f",
                           "rawvideo", "-y", source.path});
  std::string log;
  if (!RunFfmpeg(args, &log)) {
    std::fprintf(stderr, "source %s: %s\n", key.c_str(), log.c_str());
    return source;
  }
  std::ifstream file(source.path, std::ios::binary | std::ios::ate);
  source.frames = static_cast<int>(static_cast<size_t>(file.tellg()) / source.FrameBytes());
  g_sources.byKey[key] = source;
  return source;
}

}  // namespace

void SourceVideo::Read(int index, uint8_t* out) const {
  std::ifstream file(path, std::ios::binary);
  file.seekg(static_cast<std::streamoff>(FrameBytes() * static_cast<size_t>(index % frames)));
  file.read(reinterpret_cast<char*>(out), static_cast<std::streamsize>(FrameBytes()));
}

std::vector<uint8_t> SourceVideo::Frame(int index) const {
  std::vector<uint8_t> frame(FrameBytes());
  Read(index, frame.data());
  return frame;
}

SourceVideo TreeSource(int width, int height, int frames) {
  const std::string key = "tree " + std::to_string(width) + "x" + std::to_string(height);
  // Each source frame is one frame of ours; the source loops to reach the count.
  return Made(key, {"-stream_loop", "-1", "-i", orx::test::MediaPath("tree.avi"), "-fps_mode", "passthrough"}, width,
              height, frames);
}

SourceVideo LavfiSource(const std::string& graph, int width, int height, int frames) {
  return Made("lavfi " + graph + " " + std::to_string(width) + "x" + std::to_string(height), {"-f", "lavfi", "-i", graph},
              width, height, frames);
}

double StreamLumaPsnr(const std::string& streamPath, const SourceVideo& source, int frames) {
  const std::string size = std::to_string(source.width) + "x" + std::to_string(source.height);
  const orx::test::ProcessResult run = orx::test::RunProcess(
      {orx::test::RequireProgram("ffmpeg"), "-nostdin", "-hide_banner", "-i", streamPath, "-f", "rawvideo",
       "-pix_fmt", "yuv420p", "-s", size, "-i", source.path, "-lavfi",
       "[0:v]setpts=N/TB[a];[1:v]setpts=N/TB,trim=end_frame=" + std::to_string(frames) + "[b];[a][b]psnr", "-f", "null",
       "-"});
  if (run.exitCode != 0) return -1.0;
  const size_t at = run.err.rfind("PSNR y:");
  if (at == std::string::npos) return -1.0;
  return std::stod(run.err.substr(at + 7));
}

}  // namespace orx::venc::test
