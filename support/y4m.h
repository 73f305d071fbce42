#pragma once
// YUV4MPEG2 files: the host's video input and the tests' raw frame exchange with ffmpeg.
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace orx::support {

enum class Y4mChroma { k420, k422, k444, kMono };

struct Y4mHeader {
  int width = 0;
  int height = 0;
  int rateNum = 25;
  int rateDen = 1;
  int aspectNum = 0;  // 0:0 means unknown
  int aspectDen = 0;
  char interlace = 'p';  // p, t, b or m
  Y4mChroma chroma = Y4mChroma::k420;
  std::string colorspace = "420jpeg";  // the C tag as read or written

  // Bytes of one frame's planes (Y, then Cb, then Cr).
  size_t FrameBytes() const;
  size_t LumaBytes() const { return static_cast<size_t>(width) * height; }
  // Width and height of one chroma plane (0 for monochrome).
  int ChromaWidth() const;
  int ChromaHeight() const;
};

class Y4mReader {
 public:
  Y4mReader() = default;
  ~Y4mReader();
  Y4mReader(const Y4mReader&) = delete;
  Y4mReader& operator=(const Y4mReader&) = delete;

  bool Open(const std::string& path);
  void Close();
  const Y4mHeader& header() const { return header_; }
  // Reads the next frame into frame (resized to FrameBytes). False at the end or on error.
  bool ReadFrame(std::vector<uint8_t>& frame);
  // Why the last call failed ("" at a clean end of file).
  const std::string& error() const { return error_; }

 private:
  FILE* file_ = nullptr;
  Y4mHeader header_;
  std::string error_;
};

class Y4mWriter {
 public:
  Y4mWriter() = default;
  ~Y4mWriter();
  Y4mWriter(const Y4mWriter&) = delete;
  Y4mWriter& operator=(const Y4mWriter&) = delete;

  bool Open(const std::string& path, const Y4mHeader& header);
  bool WriteFrame(const uint8_t* planes, size_t bytes);
  bool Close();

 private:
  FILE* file_ = nullptr;
  Y4mHeader header_;
};

// Parses the text of a stream header line (without the trailing line break).
bool ParseY4mHeader(const std::string& line, Y4mHeader& out, std::string* error = nullptr);
std::string FormatY4mHeader(const Y4mHeader& header);

}  // namespace orx::support
