#pragma once
// Raw planar 4:2:0 sources on disk for the encoder's tests and benchmark: tree.avi scaled to a
// size (each source frame one output frame, looped when more are asked for), or an ffmpeg lavfi
// graph. Frames are read one at a time, so 1080-line sources need no memory of their own.
#include <cstdint>
#include <string>
#include <vector>

namespace orx::venc::test {

struct SourceVideo {
  std::string path;  // raw yuv420p
  int width = 0;
  int height = 0;
  int frames = 0;
  size_t FrameBytes() const {
    return static_cast<size_t>(width) * height + 2 * (static_cast<size_t>(width / 2) * (height / 2));
  }
  // Frame index % frames (the source loops).
  void Read(int index, uint8_t* out) const;
  std::vector<uint8_t> Frame(int index) const;
};

// tree.avi scaled to width x height, at least `frames` frames (looped). A source made before in
// this process with as many frames or more serves again; the files go when the process ends.
SourceVideo TreeSource(int width, int height, int frames);
// An ffmpeg lavfi graph (e.g. "testsrc2=size=720x576:rate=50,tinterlace=mode=interleave_top"),
// kept like TreeSource's.
SourceVideo LavfiSource(const std::string& graph, int width, int height, int frames);

// Y-PSNR of a stream against the source, through ffmpeg's psnr filter with both sides numbered
// frame by frame (setpts=N/TB: frame n at n seconds on both sides); negative when ffmpeg fails.
double StreamLumaPsnr(const std::string& streamPath, const SourceVideo& source, int frames);

}  // namespace orx::venc::test
