#include "host/frame_source.h"

#include <fcntl.h>
#include <unistd.h>

#include <cstdio>

#include "support/test_pattern.h"
#include "support/y4m.h"

namespace orx::host {

FrameSource::~FrameSource() {
  if (fd_ >= 0) ::close(fd_);
}

bool FrameSource::OpenY4m(const std::string& path, std::string& error) {
  FILE* file = std::fopen(path.c_str(), "rb");
  if (file == nullptr) {
    error = "cannot open " + path;
    return false;
  }
  auto readLine = [file](std::string& line) {
    line.clear();
    for (int c; (c = std::fgetc(file)) != EOF;) {
      if (c == '\n') return true;
      if (line.size() > 4096) return false;
      line.push_back(static_cast<char>(c));
    }
    return false;
  };
  std::string line;
  support::Y4mHeader header;
  std::string why;
  if (!readLine(line) || !support::ParseY4mHeader(line, header, &why)) {
    std::fclose(file);
    error = path + " is not a Y4M file" + (why.empty() ? "" : ": " + why);
    return false;
  }
  if (header.chroma != support::Y4mChroma::k420) {
    std::fclose(file);
    error = path + ": only 4:2:0 Y4M files are read (convert with ffmpeg -pix_fmt yuv420p)";
    return false;
  }
  frameBytes_ = header.FrameBytes();
  offsets_.clear();
  while (readLine(line)) {
    if (line.compare(0, 5, "FRAME") != 0) {
      std::fclose(file);
      error = path + ": damaged frame header after frame " + std::to_string(offsets_.size());
      return false;
    }
    long at = std::ftell(file);
    if (std::fseek(file, static_cast<long>(frameBytes_), SEEK_CUR) != 0) break;
    // A last frame cut short is not a frame.
    if (std::fgetc(file) == EOF) {
      std::fseek(file, 0, SEEK_END);
      if (std::ftell(file) >= at + static_cast<long>(frameBytes_)) offsets_.push_back(at);
      break;
    }
    std::fseek(file, -1, SEEK_CUR);
    offsets_.push_back(at);
  }
  std::fclose(file);
  if (offsets_.empty()) {
    error = path + " has no frames";
    return false;
  }
  fd_ = ::open(path.c_str(), O_RDONLY);
  if (fd_ < 0) {
    error = "cannot open " + path;
    return false;
  }
  width_ = header.width;
  height_ = header.height;
  patternFrames_ = 0;
  return true;
}

void FrameSource::UsePattern(int width, int height, int64_t frames) {
  width_ = width;
  height_ = height;
  frameBytes_ = support::TestPatternFrameBytes(width, height);
  offsets_.clear();
  patternFrames_ = frames;
}

bool FrameSource::Read(int64_t index, uint8_t* out) const {
  if (frameCount() == 0) return false;
  if (index < 0) index = 0;
  if (index >= frameCount()) index = frameCount() - 1;
  if (offsets_.empty()) {
    support::RenderTestPattern(width_, height_, index, out);
    return true;
  }
  size_t done = 0;
  while (done < frameBytes_) {
    ssize_t n = ::pread(
        fd_, out + done, frameBytes_ - done,
        static_cast<off_t>(offsets_[static_cast<size_t>(index)] + static_cast<int64_t>(done)));
    if (n <= 0) return false;
    done += static_cast<size_t>(n);
  }
  return true;
}

}  // namespace orx::host
