// The encoder's side roads, reached only through settings or request fields that an export
// never sets, driven on CVideoEncoder directly: horizontal halving, the vertical modes, the noise
// filter (through SetAuxParams), an overlay, the row road that reordering keeps (no-search
// records), and packed 4:2:2 input. Each gives a stream that ffmpeg decodes at the expected size.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "media/media_codes.h"
#include "tests/support/ffmpeg.h"
#include "tests/support/orx_test.h"
#include "tests/support/process.h"
#include "tests/venc/common/collecting_bit_stream.h"
#include "tests/venc/core/gop_plan.h"
#include "tests/venc/core/mpeg2_stream_reader.h"
#include "tests/venc/component/source_video.h"
#include "tests/venc/component/venc_host.h"
#include "venc/core/mpeg_video_encoder.h"
#include "venc/core/preprocessor.h"
#include "venc/core/video_encoder.h"

namespace orx::venc::test {
namespace {

constexpr int kFrames = 11;  // ends on a B picture of an M 3 plan

struct SideRoad {
  const char* name;
  int codedWidth, codedHeight;  // the settings' picture size (the input is 720x576)
  void (*adjust)(EncoderSettings& s);
  uint32_t fourcc;
  int32_t aux[3];  // SetAuxParams after Configure; aux[0] 0 leaves it
  bool overlay;
};

// The input frame in a kind: planar 4:2:0 as it is, or packed 4:2:2 with each chroma row used
// for both of its rows.
std::vector<uint8_t> InputFrame(const std::vector<uint8_t>& i420, uint32_t fourcc, int w, int h) {
  if (fourcc != FOURCC_UYVY && fourcc != FOURCC_YUY2) return i420;
  std::vector<uint8_t> packed(static_cast<size_t>(2) * w * h);
  const uint8_t* cb = i420.data() + static_cast<size_t>(w) * h;
  const uint8_t* cr = cb + static_cast<size_t>(w / 2) * (h / 2);
  for (int y = 0; y < h; ++y) {
    for (int k = 0; k < w / 2; ++k) {
      uint8_t* q = packed.data() + static_cast<size_t>(y) * 2 * w + 4 * k;
      const uint8_t y0 = i420[static_cast<size_t>(y) * w + 2 * k], y1 = i420[static_cast<size_t>(y) * w + 2 * k + 1];
      const uint8_t u = cb[(y / 2) * (w / 2) + k], v = cr[(y / 2) * (w / 2) + k];
      const uint8_t order[2][4] = {{u, y0, v, y1}, {y0, u, y1, v}};
      std::memcpy(q, order[fourcc == FOURCC_UYVY ? 0 : 1], 4);
    }
  }
  return packed;
}

std::vector<uint8_t> EncodeDirect(const SideRoad& road, const SourceVideo& source, bool* reordering) {
  VideoMediaType input = PlanarFormat(QVA_MSUBTYPE_YUV420, 720, 576, 25000);
  VideoMediaType output = Mpeg2Format(road.codedWidth, road.codedHeight, 25000, 5000000);
  EncoderSettings s = ComponentSettings(ExportParams(15, 3, 5000000), input, output);
  road.adjust(s);
  CollectingBitStream out;
  s.bitStream = &out;
  IMPEGVideoEncoder* encoder = nullptr;
  EXPECT_TRUE(NewMPEGVideoEncoder(&encoder, 0));
  if (encoder == nullptr) return {};
  EXPECT_TRUE(encoder->Configure(&s));
  if (road.aux[0] != 0) encoder->SetAuxParams(road.aux);
  EXPECT_TRUE(encoder->Open());
  *reordering = static_cast<CVideoEncoder*>(encoder)->Settings().reorderPictures != 0;
  // A 64x48 square of white on the luma plane, full weights, at (100, 200).
  std::vector<uint8_t> overlayLuma(64 * 48, 235), overlayChroma(64 * 24, 128), weights(64 * 48, 255);
  PictureOverlay overlay{64, 48, 64, 100, 200, overlayLuma.data(), overlayChroma.data(), weights.data(),
                         weights.data(), 255};
  for (int i = 0; i < kFrames; ++i) {
    const std::vector<uint8_t> frame = InputFrame(source.Frame(i), road.fourcc, 720, 576);
    EncodeFrameRequest request{};
    request.data = frame.data();
    request.fourcc = road.fourcc;
    request.timeStamp = 40 * i;
    request.width = 720;
    request.height = 576;
    request.flags = ENCODE_TOP_FIELD_FIRST | (s.progressiveSequence != 0 ? ENCODE_PROGRESSIVE_FRAME : 0);
    request.overlay = road.overlay ? &overlay : nullptr;
    EXPECT_GE(encoder->EncodeFrame(&request), 1) << i;
  }
  encoder->Drain();
  encoder->Finish();
  encoder->Close();
  encoder->Release();
  return out.Collected();
}

void NoChange(EncoderSettings&) {}
void Halving(EncoderSettings& s) { s.horizontalHalving = 1; }
void OneField(EncoderSettings& s) { s.verticalMode = 1; }
void VerticalHalf(EncoderSettings& s) { s.verticalMode = 2; }
void HalvingBothWays(EncoderSettings& s) {
  s.horizontalHalving = 1;
  s.verticalMode = 2;
}
// The derivation asks for reordering; the checks keep it only with both records searching nothing.
void NoSearch(EncoderSettings& s) {
  s.reorderPictures = 1;
  s.searchParams[0].noSearch = s.searchParams[1].noSearch = 1;
}

TEST(SideRoads, EachDecodesAtItsSize) {
  const SourceVideo source = TreeSource(720, 576, kFrames);
  const SideRoad roads[] = {
      {"halving", 360, 576, Halving, FOURCC_I420, {0, 0, 0}, false},
      {"vertical mode 1", 720, 288, OneField, FOURCC_I420, {0, 0, 0}, false},
      {"vertical mode 2", 720, 288, VerticalHalf, FOURCC_I420, {0, 0, 0}, false},
      {"halving and vertical mode 2", 360, 288, HalvingBothWays, FOURCC_I420, {0, 0, 0}, false},
      {"noise filter 1", 720, 576, NoChange, FOURCC_I420, {1, 40, -1}, false},
      {"noise filter 2", 720, 576, NoChange, FOURCC_I420, {2, 40, -1}, false},
      {"noise filter 2 on the right half", 720, 576, NoChange, FOURCC_I420, {2, 80, 2}, false},
      {"overlay", 720, 576, NoChange, FOURCC_I420, {0, 0, 0}, true},
      {"row road", 720, 576, NoSearch, FOURCC_I420, {0, 0, 0}, false},
      {"UYVY", 720, 576, NoChange, FOURCC_UYVY, {0, 0, 0}, false},
      {"YUY2", 720, 576, NoChange, FOURCC_YUY2, {0, 0, 0}, false},
  };
  for (const SideRoad& road : roads) {
    SCOPED_TRACE(road.name);
    bool reordering = false;
    const std::vector<uint8_t> stream = EncodeDirect(road, source, &reordering);
    ASSERT_FALSE(stream.empty());
    EXPECT_EQ(reordering, road.adjust == NoSearch);
    const std::string path = WriteStreamFile(stream, "venc_side_roads", "road.m2v");
    const orx::test::ProcessResult decode = orx::test::RunProcess(
        {orx::test::RequireProgram("ffmpeg"), "-nostdin", "-v", "error", "-xerror", "-i", path, "-f", "null", "-"});
    EXPECT_EQ(decode.exitCode, 0) << decode.err;
    orx::test::RawVideo decoded;
    std::string log;
    ASSERT_TRUE(orx::test::DecodeVideo(path, decoded, {}, &log)) << log;
    EXPECT_EQ(decoded.width, road.codedWidth);
    EXPECT_EQ(decoded.height, road.codedHeight);
    EXPECT_EQ(decoded.frames.size(), static_cast<size_t>(kFrames));
    if (road.codedWidth == 720 && road.codedHeight == 576 && !road.overlay && !decoded.frames.empty()) {
      // Full-size roads keep the picture: close to the source.
      orx::test::RawVideo original;
      original.width = 720;
      original.height = 576;
      for (int i = 0; i < kFrames; ++i) original.frames.push_back(source.Frame(i));
      const double psnr = orx::test::ComparePsnr(original, decoded).lumaAverage;
      EXPECT_GT(psnr, 30.0) << psnr;
    }
    if (road.overlay && !decoded.frames.empty()) {
      // The overlay's middle is white in every picture.
      for (const auto& f : decoded.frames) EXPECT_NEAR(f[(200 + 24) * 720 + 100 + 32], 235, 4);
    }
  }
}

}  // namespace
}  // namespace orx::venc::test
