#include "tests/support/ffmpeg.h"

#include <cmath>
#include <fstream>
#include <sstream>

#include "support/y4m.h"
#include "tests/support/process.h"

namespace orx::test {
namespace {

std::map<std::string, std::string> ParseKeyValues(const std::string& text) {
  std::map<std::string, std::string> out;
  std::istringstream in(text);
  std::string line;
  while (std::getline(in, line)) {
    size_t eq = line.find('=');
    if (eq == std::string::npos) continue;
    std::string key = line.substr(0, eq);
    if (out.count(key)) continue;  // keep the first section's value
    out[key] = line.substr(eq + 1);
  }
  return out;
}

bool SplitFrames(const std::string& bytes, RawVideo& out) {
  size_t frameBytes = out.FrameBytes();
  if (frameBytes == 0 || bytes.size() % frameBytes != 0) return false;
  out.frames.clear();
  for (size_t off = 0; off < bytes.size(); off += frameBytes)
    out.frames.emplace_back(bytes.begin() + off, bytes.begin() + off + frameBytes);
  return true;
}

}  // namespace

std::map<std::string, std::string> ProbeStream(const std::string& path, const std::string& stream,
                                               bool countFrames) {
  if (RequireProgram("ffprobe").empty()) return {};
  std::vector<std::string> args = {"ffprobe", "-v", "error", "-select_streams", stream};
  if (countFrames) args.push_back("-count_frames");
  args.insert(args.end(), {"-show_streams", "-of", "default=noprint_wrappers=1", path});
  ProcessResult r = RunProcess(args);
  if (r.exitCode != 0) return {};
  return ParseKeyValues(r.out);
}

std::map<std::string, std::string> ProbeFormat(const std::string& path) {
  if (RequireProgram("ffprobe").empty()) return {};
  ProcessResult r = RunProcess({"ffprobe", "-v", "error", "-show_format", "-of",
                                "default=noprint_wrappers=1", path});
  if (r.exitCode != 0) return {};
  return ParseKeyValues(r.out);
}

bool DecodeVideo(const std::string& path, RawVideo& out, const DecodeOptions& options,
                 std::string* log) {
  if (RequireProgram("ffmpeg").empty()) return false;
  std::vector<std::string> args = {"ffmpeg", "-nostdin", "-hide_banner", "-v", "error"};
  if (options.xerror) args.push_back("-xerror");
  args.insert(args.end(), options.inputArgs.begin(), options.inputArgs.end());
  args.insert(args.end(), {"-i", path, "-map", "0:v:0", "-fps_mode", "passthrough"});
  args.insert(args.end(), options.outputArgs.begin(), options.outputArgs.end());
  // Probe the size through a first tiny pass over the same filters: the raw output has no header.
  std::vector<std::string> probeArgs = args;
  probeArgs.insert(probeArgs.end(), {"-frames:v", "1", "-f", "image2pipe", "-c:v", "ppm", "-"});
  ProcessResult probe = RunProcess(probeArgs);
  if (probe.exitCode != 0 || probe.out.size() < 16) {
    if (log) *log = probe.err;
    return false;
  }
  std::istringstream header(probe.out);
  std::string magic;
  header >> magic >> out.width >> out.height;
  if (magic != "P6" || out.width <= 0 || out.height <= 0) {
    if (log) *log = "cannot read the decoded size";
    return false;
  }
  args.insert(args.end(), {"-f", "rawvideo", "-pix_fmt", "yuv420p", "-"});
  ProcessResult r = RunProcess(args);
  if (log) *log = r.err;
  if (r.exitCode != 0) return false;
  return SplitFrames(r.out, out);
}

bool GenerateLavfiVideo(const std::string& source, int frames, RawVideo& out, std::string* log) {
  DecodeOptions options;
  options.xerror = false;
  options.inputArgs = {"-f", "lavfi"};
  options.outputArgs = {"-frames:v", std::to_string(frames)};
  return DecodeVideo(source, out, options, log);
}

double PlanePsnr(const uint8_t* a, const uint8_t* b, size_t bytes) {
  if (bytes == 0) return 100.0;
  uint64_t sse = 0;
  for (size_t i = 0; i < bytes; ++i) {
    int d = int(a[i]) - int(b[i]);
    sse += static_cast<uint64_t>(d * d);
  }
  if (sse == 0) return 100.0;
  double mse = double(sse) / double(bytes);
  return 10.0 * std::log10(255.0 * 255.0 / mse);
}

PsnrReport ComparePsnr(const RawVideo& reference, const RawVideo& test) {
  PsnrReport report;
  if (reference.width != test.width || reference.height != test.height) return report;
  size_t n = std::min(reference.frames.size(), test.frames.size());
  size_t luma = static_cast<size_t>(reference.width) * reference.height;
  size_t chroma = (reference.FrameBytes() - luma);
  double sumY = 0, sumC = 0, minY = 1e9;
  for (size_t i = 0; i < n; ++i) {
    const auto& a = reference.frames[i];
    const auto& b = test.frames[i];
    double y = PlanePsnr(a.data(), b.data(), luma);
    double c = PlanePsnr(a.data() + luma, b.data() + luma, chroma);
    report.lumaPerFrame.push_back(y);
    sumY += y;
    sumC += c;
    minY = std::min(minY, y);
  }
  report.frames = n;
  if (n) {
    report.lumaAverage = sumY / n;
    report.chromaAverage = sumC / n;
    report.lumaMinimum = minY;
  }
  return report;
}

bool WriteRawFile(const std::string& path, const RawVideo& video) {
  std::ofstream f(path, std::ios::binary | std::ios::trunc);
  for (const auto& frame : video.frames)
    f.write(reinterpret_cast<const char*>(frame.data()), static_cast<std::streamsize>(frame.size()));
  return static_cast<bool>(f);
}

bool WriteY4mFile(const std::string& path, const RawVideo& video, int rateNum, int rateDen) {
  support::Y4mHeader h;
  h.width = video.width;
  h.height = video.height;
  h.rateNum = rateNum;
  h.rateDen = rateDen;
  support::Y4mWriter w;
  if (!w.Open(path, h)) return false;
  for (const auto& frame : video.frames)
    if (!w.WriteFrame(frame.data(), frame.size())) return false;
  return w.Close();
}

bool ReadFileBytes(const std::string& path, std::string& out) {
  std::ifstream f(path, std::ios::binary);
  if (!f) return false;
  std::stringstream ss;
  ss << f.rdbuf();
  out = ss.str();
  return true;
}

}  // namespace orx::test
