// The component's input kinds: planar 4:2:0 in its three layouts gives one stream; 32-bit input
// (BGRA, packed 4:4:4) is converted by the shared converters, bottom-up, into the same stream
// their 4:2:0 output gives; flat BGRA colours come out at their exact studio-range values; and an
// odd-sized BGRA picture converts completely.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "tests/support/ffmpeg.h"
#include "tests/support/orx_test.h"
#include "tests/support/process.h"
#include "tests/support/test_paths.h"
#include "tests/venc/core/mpeg2_stream_reader.h"
#include "tests/venc/component/source_video.h"
#include "tests/venc/component/venc_host.h"
#include "vscaler/convert/bgra_to_i420.h"
#include "vscaler/convert/yuv444_to_i420.h"

namespace orx::venc::test {
namespace {

constexpr uint32_t kYv12Subtype = 0x80003;  // the component names this subtype's layout "YV12"

class VencInputs : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(library.Loaded()) << library.Error(); }

  // Encodes frames given in the input kind `subtype`; a subtype SetFormat refuses is announced by
  // an in-band format record instead.
  HostResult Encode(uint32_t subtype, int width, int height, const std::vector<std::vector<uint8_t>>& frames) {
    HostResult result;
    VencRun run(library);
    EXPECT_EQ(run.Create(), QVA_SUCCESS);
    const VideoMediaType format = PlanarFormat(subtype, width, height, 25000);
    if (run.SetInput(format) != QVA_SUCCESS) {
      run.SetInput(PlanarFormat(QVA_MSUBTYPE_YUV420, width, height, 25000));
      run.PushFormat(format);
    }
    run.SetOutput(Mpeg2Format(width, height, 25000, 4000000));
    run.SetParams(ExportParams(15, 3, 4000000));
    EXPECT_EQ(run.Start(), QVA_SUCCESS);
    for (size_t i = 0; i < frames.size(); ++i) run.PushFrame(frames[i].data(), frames[i].size(), 40 * i);
    run.PushMarker(QVA_MARKER_EOI);
    result.ended = run.sink.WaitForEnd();
    run.EndAndRelease();
    result.stream = run.sink.Stream();
    result.errors = run.Errors();
    return result;
  }

  VencLibrary library;
};

struct Planes {
  const uint8_t* y;
  const uint8_t* cb;
  const uint8_t* cr;
};

Planes I420Planes(const std::vector<uint8_t>& frame, int width, int height) {
  const size_t area = static_cast<size_t>(width) * height;
  const size_t quarter = static_cast<size_t>(width / 2) * (height / 2);
  return {frame.data(), frame.data() + area, frame.data() + area + quarter};
}

TEST_F(VencInputs, PlanarLayoutsGiveOneStream) {
  const int w = 352, h = 288;
  const SourceVideo source = TreeSource(w, h, 8);
  const size_t area = static_cast<size_t>(w) * h;
  const size_t quarter = area / 4;
  std::vector<std::vector<uint8_t>> i420, yv12, nv12;
  for (int i = 0; i < 8; ++i) {
    std::vector<uint8_t> f = source.Frame(i);
    const Planes p = I420Planes(f, w, h);
    i420.push_back(f);
    std::vector<uint8_t> v(f.size()), n(f.size());
    std::memcpy(v.data(), p.y, area);
    std::memcpy(v.data() + area, p.cr, quarter);
    std::memcpy(v.data() + area + quarter, p.cb, quarter);
    std::memcpy(n.data(), p.y, area);
    for (size_t k = 0; k < quarter; ++k) {
      n[area + 2 * k] = p.cb[k];
      n[area + 2 * k + 1] = p.cr[k];
    }
    yv12.push_back(v);
    nv12.push_back(n);
  }
  const HostResult a = Encode(QVA_MSUBTYPE_YUV420, w, h, i420);
  const HostResult b = Encode(kYv12Subtype, w, h, yv12);
  const HostResult c = Encode(QVA_MSUBTYPE_NV12, w, h, nv12);
  ASSERT_TRUE(a.ended && b.ended && c.ended);
  ASSERT_FALSE(a.stream.empty());
  EXPECT_TRUE(a.stream == b.stream) << "YV12 differs from I420";
  EXPECT_TRUE(a.stream == c.stream) << "NV12 differs from I420";
}

// 32-bit input goes through the shared converters (bottom-up): the stream is the one their 4:2:0
// output gives as planar input.
TEST_F(VencInputs, ThirtyTwoBitInputIsTheConvertersOutput) {
  const int w = 352, h = 288;
  const SourceVideo source = TreeSource(w, h, 6);
  std::vector<std::vector<uint8_t>> bgra, packed444, fromBgra, from444;
  for (int i = 0; i < 6; ++i) {
    const std::vector<uint8_t> f = source.Frame(i);
    const Planes p = I420Planes(f, w, h);
    std::vector<uint8_t> b(static_cast<size_t>(4) * w * h), v(static_cast<size_t>(4) * w * h);
    for (int y = 0; y < h; ++y) {
      for (int x = 0; x < w; ++x) {
        // Arbitrary but deterministic pixels: the source's samples as colour and 4:4:4 bytes.
        const size_t o = 4 * (static_cast<size_t>(y) * w + x);
        const uint8_t luma = p.y[y * w + x];
        const uint8_t cb = p.cb[(y / 2) * (w / 2) + x / 2];
        const uint8_t cr = p.cr[(y / 2) * (w / 2) + x / 2];
        b[o] = cb;
        b[o + 1] = luma;
        b[o + 2] = cr;
        b[o + 3] = 255;
        v[o] = cr;
        v[o + 1] = static_cast<uint8_t>(cb ^ (x & 7));
        v[o + 2] = luma;
        v[o + 3] = 0;
      }
    }
    std::vector<uint8_t> converted(f.size()), converted444(f.size());
    convert::ConvertBgraToI420(converted.data(), b.data(), w, h, 1);
    convert::ConvertYuv444PackedToI420(v.data(), h, converted444.data(), w, 1);
    bgra.push_back(std::move(b));
    packed444.push_back(std::move(v));
    fromBgra.push_back(std::move(converted));
    from444.push_back(std::move(converted444));
  }
  const HostResult viaBgra = Encode(QVA_MSUBTYPE_BGRA, w, h, bgra);
  const HostResult expectedBgra = Encode(QVA_MSUBTYPE_YUV420, w, h, fromBgra);
  const HostResult via444 = Encode(QVA_MSUBTYPE_YUV444I, w, h, packed444);
  const HostResult expected444 = Encode(QVA_MSUBTYPE_YUV420, w, h, from444);
  ASSERT_FALSE(viaBgra.stream.empty());
  EXPECT_TRUE(viaBgra.stream == expectedBgra.stream);
  EXPECT_TRUE(via444.stream == expected444.stream);
}

// Flat colours come out exactly: white 235/128/128, black 16/128/128; rows go bottom-up (a frame
// whose memory starts black and ends white shows white at the top).
TEST_F(VencInputs, BgraWhiteBlackAndOrientation) {
  const int w = 352, h = 288;
  auto solid = [&](uint8_t value) { return std::vector<uint8_t>(static_cast<size_t>(4) * w * h, value); };
  std::vector<uint8_t> ramp = solid(0);
  for (int y = h / 2; y < h; ++y) std::memset(ramp.data() + static_cast<size_t>(4) * w * y, 255, 4 * w);
  const HostResult run = Encode(QVA_MSUBTYPE_BGRA, w, h, {solid(255), solid(0), ramp});
  ASSERT_TRUE(run.ended);
  orx::test::RawVideo decoded;
  std::string log;
  ASSERT_TRUE(orx::test::DecodeVideo(WriteStreamFile(run.stream, "venc_bgra", "flat.m2v"), decoded, {}, &log)) << log;
  ASSERT_EQ(decoded.frames.size(), 3u);
  const size_t area = static_cast<size_t>(w) * h;
  struct Expect {
    int frame;
    uint8_t y;
  };
  for (const Expect e : {Expect{0, 235}, Expect{1, 16}}) {
    const std::vector<uint8_t>& f = decoded.frames[e.frame];
    for (size_t i = 0; i < area; ++i) ASSERT_EQ(f[i], e.y) << "frame " << e.frame << " sample " << i;
    for (size_t i = area; i < f.size(); ++i) ASSERT_EQ(f[i], 128) << "frame " << e.frame << " chroma " << i;
  }
  const std::vector<uint8_t>& r = decoded.frames[2];
  EXPECT_EQ(r[0], 235);                // top row: the last rows in memory, white
  EXPECT_EQ(r[area - 1], 16);          // bottom row: the first rows in memory, black
}

// The BGRA conversion the component runs (bottom-up host frames) on real pictures: luma within 1
// of ffmpeg's BT.601 studio-range conversion, chroma within 1 of the BT.601 matrix in double
// precision over each horizontal pair of the even rows. A width of 4k + 2 takes the tail step.
TEST_F(VencInputs, BgraConversionFollowsBt601) {
  const int w = 718, h = 576, count = 3;
  const std::string dir = orx::test::MakeTempDir("venc_bgra_bt601");
  const std::string bgraPath = dir + "/frames.bgra", yuvPath = dir + "/ffmpeg.yuv";
  const std::string size = std::to_string(w) + "x" + std::to_string(h);
  const std::string ffmpeg = orx::test::RequireProgram("ffmpeg");
  const orx::test::ProcessResult decode = orx::test::RunProcess(
      {ffmpeg, "-nostdin", "-v", "error", "-i", orx::test::MediaPath("tree.avi"), "-frames:v", std::to_string(count),
       "-vf", "scale=" + size, "-f", "rawvideo", "-pix_fmt", "bgra", "-y", bgraPath});
  ASSERT_EQ(decode.exitCode, 0) << decode.err;
  const orx::test::ProcessResult reference = orx::test::RunProcess(
      {ffmpeg, "-nostdin", "-v", "error", "-f", "rawvideo", "-pix_fmt", "bgra", "-s", size, "-i", bgraPath, "-vf",
       "scale=out_color_matrix=bt601:out_range=tv", "-pix_fmt", "yuv420p", "-f", "rawvideo", "-y", yuvPath});
  ASSERT_EQ(reference.exitCode, 0) << reference.err;
  std::string bgraBytes, yuvBytes;
  ASSERT_TRUE(orx::test::ReadFileBytes(bgraPath, bgraBytes));
  ASSERT_TRUE(orx::test::ReadFileBytes(yuvPath, yuvBytes));
  const size_t area = static_cast<size_t>(w) * h, frameIn = 4 * area, frameOut = area + 2 * (area / 4);
  ASSERT_EQ(bgraBytes.size(), frameIn * count);
  ASSERT_EQ(yuvBytes.size(), frameOut * count);

  // BT.601 studio range from 8-bit R, G, B.
  auto cbOf = [](const uint8_t* p) { return 128.0 + (-37.797 * p[2] - 74.203 * p[1] + 112.0 * p[0]) / 255.0; };
  auto crOf = [](const uint8_t* p) { return 128.0 + (112.0 * p[2] - 93.786 * p[1] - 18.214 * p[0]) / 255.0; };
  int worstLuma = 0, worstChroma = 0;
  std::vector<uint8_t> bottomUp(frameIn), ours(frameOut);
  for (int f = 0; f < count; ++f) {
    const auto* topDown = reinterpret_cast<const uint8_t*>(bgraBytes.data()) + f * frameIn;
    const auto* theirs = reinterpret_cast<const uint8_t*>(yuvBytes.data()) + f * frameOut;
    // The host hands frames bottom-up: the last row in memory is the picture's top row.
    const size_t rowBytes = 4 * static_cast<size_t>(w);
    for (int y = 0; y < h; ++y) std::memcpy(&bottomUp[(h - 1 - y) * rowBytes], topDown + y * rowBytes, rowBytes);
    convert::ConvertBgraToI420(ours.data(), bottomUp.data(), w, h, 1);
    for (size_t i = 0; i < area; ++i) worstLuma = std::max(worstLuma, std::abs(ours[i] - theirs[i]));
    for (int k = 0; k < h / 2; ++k) {
      for (int j = 0; j < w / 2; ++j) {
        const uint8_t* left = topDown + (static_cast<size_t>(2 * k) * w + 2 * j) * 4;
        const uint8_t* right = left + 4;
        const size_t at = static_cast<size_t>(k) * (w / 2) + j;
        const long cb = std::lround((cbOf(left) + cbOf(right)) / 2), cr = std::lround((crOf(left) + crOf(right)) / 2);
        worstChroma = std::max(worstChroma, static_cast<int>(std::abs(ours[area + at] - cb)));
        worstChroma = std::max(worstChroma, static_cast<int>(std::abs(ours[area + area / 4 + at] - cr)));
      }
    }
  }
  std::printf("BGRA %dx%d: luma within %d of ffmpeg, chroma within %d of BT.601\n", w, h, worstLuma, worstChroma);
  EXPECT_LE(worstLuma, 1);
  EXPECT_LE(worstChroma, 1);
}

// A width that is not a multiple of 16 (nor of 4 after halving): the converter and the
// preprocessor take every column, within the buffers (the sanitizers watch).
TEST_F(VencInputs, OddWidthBgraConvertsCompletely) {
  const int w = 718, h = 576;
  std::vector<std::vector<uint8_t>> frames;
  for (int i = 0; i < 6; ++i) {
    std::vector<uint8_t> f(static_cast<size_t>(4) * w * h);
    for (size_t k = 0; k < f.size(); ++k) f[k] = static_cast<uint8_t>((k * 7 + i * 31) >> 5);
    frames.push_back(std::move(f));
  }
  // Only exactly as many bytes as the frame: a read past them is a sanitizer report.
  const HostResult run = Encode(QVA_MSUBTYPE_BGRA, w, h, frames);
  ASSERT_TRUE(run.ended);
  EXPECT_TRUE(run.errors.empty());
  const std::string path = WriteStreamFile(run.stream, "venc_bgra", "odd.m2v");
  const auto probe = orx::test::ProbeStream(path, "v:0", true);
  EXPECT_EQ(probe.count("width") ? probe.at("width") : "", "718");
  EXPECT_EQ(probe.count("nb_read_frames") ? probe.at("nb_read_frames") : "", "6");
}

}  // namespace
}  // namespace orx::venc::test
