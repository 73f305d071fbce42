#pragma once
// The independent check of everything we write: ffmpeg decodes it, ffprobe describes it, and
// the decoded pictures are compared with what went in.
#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace orx::test {

// Planar 4:2:0 frames (Y, then Cb, then Cr, tightly packed).
struct RawVideo {
  int width = 0;
  int height = 0;
  std::vector<std::vector<uint8_t>> frames;

  size_t FrameBytes() const {
    return static_cast<size_t>(width) * height + 2 * static_cast<size_t>((width + 1) / 2) * ((height + 1) / 2);
  }
};

struct DecodeOptions {
  bool xerror = true;                      // fail on the first decoding error
  std::vector<std::string> inputArgs;      // placed before -i (e.g. -f rawvideo -s WxH)
  std::vector<std::string> outputArgs;     // placed before the output (e.g. -vf ...)
};

// Decodes a file's first video stream to planar 4:2:0 at its own size, one frame per coded
// picture (-fps_mode passthrough). On failure answers false and puts ffmpeg's text in log.
bool DecodeVideo(const std::string& path, RawVideo& out, const DecodeOptions& options = {},
                 std::string* log = nullptr);

// Generates frames from an ffmpeg lavfi source, e.g. "testsrc2=size=720x480:rate=25".
bool GenerateLavfiVideo(const std::string& source, int frames, RawVideo& out,
                        std::string* log = nullptr);

// ffprobe's key=value description of one stream ("v:0", "a:0"), with -count_frames when asked
// (then nb_read_frames holds the decoded count). Empty on failure.
std::map<std::string, std::string> ProbeStream(const std::string& path, const std::string& stream,
                                               bool countFrames = false);

// ffprobe's format section (format_name, duration, ...).
std::map<std::string, std::string> ProbeFormat(const std::string& path);

struct PsnrReport {
  std::vector<double> lumaPerFrame;
  double lumaAverage = 0;
  double lumaMinimum = 0;
  double chromaAverage = 0;  // over both chroma planes
  size_t frames = 0;         // frames compared (the shorter count)
};

// PSNR of an 8-bit plane pair; identical planes give 100 dB.
double PlanePsnr(const uint8_t* a, const uint8_t* b, size_t bytes);
PsnrReport ComparePsnr(const RawVideo& reference, const RawVideo& test);

bool WriteRawFile(const std::string& path, const RawVideo& video);
bool WriteY4mFile(const std::string& path, const RawVideo& video, int rateNum, int rateDen);
bool ReadFileBytes(const std::string& path, std::string& out);

}  // namespace orx::test
