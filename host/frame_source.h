#pragma once
// The pictures of the sequence the host exports: the frames of a Y4M file (4:2:0) or the
// built-in test pattern, as planar 4:2:0 at the source size. Frames are read by index from any
// thread.
//
// The Y4M input is opened once. A regular file is indexed and read at random; standard input
// ("-"), a FIFO or any other stream is read forward as the export asks for frames, keeping the
// last kStreamWindow frames for requests that come back (out-of-order completion, a frame
// shown twice when the export's rate is above the source's). A stream that ends early repeats
// its last frame to the sequence's end.
#include <cstdint>
#include <cstdio>
#include <deque>
#include <mutex>
#include <string>
#include <vector>

#include "support/y4m.h"

namespace orx::host {

class FrameSource {
 public:
  static constexpr int64_t kStreamWindow = 96;

  FrameSource() = default;
  ~FrameSource();
  FrameSource(const FrameSource&) = delete;
  FrameSource& operator=(const FrameSource&) = delete;

  // Opens the file ("-": standard input) and reads its header; a regular file is indexed too.
  // False with error set (naming the path and the reason) when it cannot be read.
  bool OpenY4m(const std::string& path, std::string& error);
  void UsePattern(int width, int height, int64_t frames);

  int width() const { return width_; }
  int height() const { return height_; }
  const support::Y4mHeader& header() const { return header_; }
  // Whether the frames come from a stream whose length is unknown before it ends.
  bool streamed() const { return stream_ != nullptr; }
  // Frames of an indexed file or the pattern; -1 for a stream.
  int64_t frameCount() const {
    return streamed() ? -1 : static_cast<int64_t>(offsets_.size()) + patternFrames_;
  }
  size_t frameBytes() const { return frameBytes_; }

  // Frame index (clamped to the last frame) into out (frameBytes bytes). False on a read error.
  bool Read(int64_t index, uint8_t* out) const;

 private:
  bool ReadStreamed(int64_t index, uint8_t* out) const;

  int fd_ = -1;
  FILE* stream_ = nullptr;  // the forward-only reader of a stream
  support::Y4mHeader header_;
  int width_ = 0;
  int height_ = 0;
  size_t frameBytes_ = 0;
  std::vector<int64_t> offsets_;  // file offset of each frame's planes
  int64_t patternFrames_ = 0;

  // A stream's recent frames: window_[0] is frame windowFirst_.
  mutable std::mutex streamMutex_;
  mutable std::deque<std::vector<uint8_t>> window_;
  mutable int64_t windowFirst_ = 0;
  mutable bool streamEnded_ = false;
  mutable std::string streamError_;
};

}  // namespace orx::host
