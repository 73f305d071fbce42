#pragma once
// The pictures of the sequence the host exports: the frames of a Y4M file (4:2:0) or the
// built-in test pattern, as planar 4:2:0 at the source size. Frames are read by index from any
// thread.
#include <cstdint>
#include <string>
#include <vector>

namespace orx::host {

class FrameSource {
 public:
  FrameSource() = default;
  ~FrameSource();
  FrameSource(const FrameSource&) = delete;
  FrameSource& operator=(const FrameSource&) = delete;

  // Indexes every frame of the file. False with error set when it cannot be read.
  bool OpenY4m(const std::string& path, std::string& error);
  void UsePattern(int width, int height, int64_t frames);

  int width() const { return width_; }
  int height() const { return height_; }
  int64_t frameCount() const { return static_cast<int64_t>(offsets_.size()) + patternFrames_; }
  size_t frameBytes() const { return frameBytes_; }

  // Frame index (clamped to the last frame) into out (frameBytes bytes). False on a read error.
  bool Read(int64_t index, uint8_t* out) const;

 private:
  int fd_ = -1;
  int width_ = 0;
  int height_ = 0;
  size_t frameBytes_ = 0;
  std::vector<int64_t> offsets_;  // file offset of each frame's planes
  int64_t patternFrames_ = 0;
};

}  // namespace orx::host
