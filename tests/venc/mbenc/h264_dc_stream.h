#pragma once
// A test-only H.264 picture writer on top of CMBEncoder_H264, for checking the headers and the
// CAVLC coder before the real macroblock layer exists: I pictures of Intra 16x16 macroblocks
// (DC prediction, chroma DC prediction) that carry scripted luma DC and chroma DC levels only,
// and P and B pictures that are skipped whole. One slice per picture. It also computes what a
// decoder must reconstruct from such pictures, sample for sample.
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "tests/venc/mbenc/memory_bit_stream.h"
#include "tests/venc/mbenc/test_planner.h"
#include "tests/venc/mbenc/test_rate_control.h"
#include "venc/mbenc/h264_encoder.h"

namespace orx::venc::test {

// The levels of one intra macroblock: luma DC row-major (entry 4y + x for the 4x4 block at
// column x, row y), chroma DC of U and V in raster order of their 2x2 blocks.
struct DcLevels {
  int16_t luma[16] = {};
  int16_t chroma[2][4] = {};
};

class H264DcStreamEncoder : public CMBEncoder_H264 {
 public:
  // Levels of macroblock (x, y) of the picture coded n-th; unset: all zero.
  std::function<DcLevels(int picture, int x, int y)> levels;
  // The standard's QP of every slice (12..51).
  int sliceQp = 12;

  void EncodePictureBody(CPicture* picture) override;

 private:
  void WriteSliceHeader(const CPicture* picture);
  int codedIndex_ = 0;
  int idrDisplay_ = 0;
  int idrCount_ = 0;
};

// Settings of an H.264 sequence of width x height (main profile, level 3.0 unless changed).
EncoderSettings MakeH264Settings(int width, int height, IVideoBitStream* output, bool progressive = true);

// The encoder, its output and rate controller, and the planned pictures of a small clip.
struct H264DcRig {
  MemoryBitStream output;
  TestRateControl rateControl;
  EncoderSettings settings;
  H264DcStreamEncoder encoder;
  orx::test::RawVideo clip;
  std::unique_ptr<TestPlanner> planner;

  H264DcRig(int width, int height, bool progressive = true);
  // Initialises the encoder, plans `frames` flat frames with the options and codes them all;
  // answers the bytes written.
  std::vector<uint8_t> Encode(int frames, const PlanOptions& options);
};

// What a decoder reconstructs from the rig's pictures, in display order, as planar 4:2:0 at
// the display size: I pictures from their DC levels, skipped P pictures as copies of the
// previous anchor, skipped B pictures as the rounded average of their two anchors.
orx::test::RawVideo ReconstructDcStream(const H264DcRig& rig);

// Random levels covering coeff_token class 0 and the chroma DC class, escapes included, whose
// dequantised values stay in the 16-bit range at QP 12.
DcLevels RandomDcLevels(uint32_t seed);

}  // namespace orx::venc::test
