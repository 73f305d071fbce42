#pragma once
// Picture buffers in the encoder's layouts for the tests: raster planes (luma, and chroma with
// U and V interleaved, one stride) and the block-ordered layout of the row-pipelined mode,
// with conversions from and to ffmpeg's planar 4:2:0 frames.
#include <cstdint>
#include <memory>
#include <vector>

namespace orx::venc::test {

// One frame: a luma plane of codedHeight rows and an interleaved chroma plane of
// codedHeight / 2 rows, both `stride` bytes a row, 128-byte aligned, with guard space above
// and below (the prediction kernels may read a little beyond a 16 x 16 area). With padX and padY
// the planes have borders around the picture (stride codedWidth + 2 padX, padY luma and padY / 2
// chroma rows above and below), as the MPEG-4 loop fills them and as the H.264 encoder's padded
// pictures have them (32 bytes left and right, 16 luma and 8 chroma rows).
class FrameBuffer {
 public:
  FrameBuffer(int codedWidth, int codedHeight, int padX = 0, int padY = 0);
  uint8_t* Luma() { return luma_; }
  uint8_t* Chroma() { return chroma_; }
  const uint8_t* Luma() const { return luma_; }
  const uint8_t* Chroma() const { return chroma_; }
  int Stride() const { return stride_; }
  int Width() const { return width_; }
  int Height() const { return height_; }

  // From a planar 4:2:0 frame of width x height; the coded area beyond it repeats the edge.
  void FromPlanar(const uint8_t* frame, int width, int height);
  // To a planar 4:2:0 frame of width x height.
  std::vector<uint8_t> ToPlanar(int width, int height) const;
  // The same picture in the block-ordered layout (per row: luma blocks, then chroma blocks).
  std::vector<uint8_t> ToBlockOrdered() const;
  void FromBlockOrdered(const uint8_t* blocks);

 private:
  struct Free {
    void operator()(uint8_t* p) const;
  };
  std::unique_ptr<uint8_t, Free> memory_;
  int width_;
  int height_;
  int stride_;
  uint8_t* luma_;
  uint8_t* chroma_;
};

}  // namespace orx::venc::test
