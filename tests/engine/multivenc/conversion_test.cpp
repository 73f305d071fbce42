// MULTIVENC's frame conversions against reference functions written from their definitions, the
// frame sizes and format codes, and the two overlays with their clipping.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include "engine/multivenc/multivenc.h"
#include "engine/multivenc/preproc_convert.h"
#include "media/media_codes.h"
#include "tests/engine/transcode/test_frames.h"
#include "vscaler/convert/bgra_to_i420.h"

namespace {

using orx::test::MakeTestFrame;

struct Size {
  uint32_t width;
  uint32_t height;
};

// The planar 4:2:0 destination with its own pitch, and the guard area behind it.
struct Planar {
  Planar(uint32_t w, uint32_t h, uint32_t pitch, uint32_t rows)
      : width(w), height(h), pitch(pitch), rows(rows), bytes(pitch * rows * 3 / 2 + kGuard, 0x5A) {}
  static constexpr uint32_t kGuard = 64;
  uint32_t width, height, pitch, rows;
  std::vector<uint8_t> bytes;
  uint8_t* y() { return bytes.data(); }
  uint8_t* u() { return bytes.data() + pitch * rows; }
  uint8_t* v() { return u() + (pitch / 2) * (rows / 2); }
  PreProcFrameGeometry Geometry() const { return {width, height, pitch, rows}; }
  bool GuardIntact() const {
    for (size_t i = bytes.size() - kGuard; i < bytes.size(); ++i) {
      if (bytes[i] != 0x5A) return false;
    }
    return true;
  }
};

int RefQuantise(float value, float scale, float offset, int low, int high) {
  const float s = std::floor(value * scale + offset);
  if (std::isnan(s) || s < static_cast<float>(low)) return low;
  if (s > static_cast<float>(high)) return high;
  return static_cast<int>(s);
}
uint8_t RefLuma(float y) { return static_cast<uint8_t>(RefQuantise(y, 876.0f, 64.5f, 64, 940) / 4); }
uint8_t RefChroma(float c) { return static_cast<uint8_t>(RefQuantise(c, 896.0f, 512.5f, 64, 960) / 4); }

// Source row of display row r.
size_t SourceRow(uint32_t subtype, uint32_t height, uint32_t r) {
  return orx::test::IsBottomUp(subtype) ? height - 1 - r : r;
}

// The reference of every conversion into planar 4:2:0, pixel by pixel from the definitions.
void ReferenceToI420(uint32_t subtype, const std::vector<uint8_t>& src, Size size, Planar& out) {
  const uint32_t w = size.width;
  const uint32_t h = size.height;
  auto at = [&](uint32_t bytesPerPixel, uint32_t r, uint32_t x) {
    return src.data() + (SourceRow(subtype, h, r) * w + x) * bytesPerPixel;
  };
  auto floatAt = [&](uint32_t r, uint32_t x, int component) {
    float value;
    std::memcpy(&value, at(16, r, x) + component * 4, sizeof value);
    return value;
  };
  for (uint32_t r = 0; r < h; ++r) {
    for (uint32_t x = 0; x < w; ++x) {
      uint8_t luma = 0;
      switch (subtype) {
        case QVA_MSUBTYPE_VUYA_FLOAT: luma = RefLuma(floatAt(r, x, 2)); break;
        case QVA_MSUBTYPE_YUV444I: luma = at(4, r, x)[2]; break;
        case QVA_MSUBTYPE_YUV422I: luma = src[(r * w + x) * 2]; break;
        default: luma = src[r * w + x]; break;
      }
      out.y()[r * out.pitch + x] = luma;
    }
  }
  for (uint32_t k = 0; k < h / 2; ++k) {
    for (uint32_t c = 0; c < w / 2; ++c) {
      uint8_t cb = 0;
      uint8_t cr = 0;
      switch (subtype) {
        case QVA_MSUBTYPE_VUYA_FLOAT:
          // Row 2k only; each value quantised, then the horizontal pair averaged.
          cr = static_cast<uint8_t>((RefChroma(floatAt(2 * k, 2 * c, 0)) + RefChroma(floatAt(2 * k, 2 * c + 1, 0)) + 1) / 2);
          cb = static_cast<uint8_t>((RefChroma(floatAt(2 * k, 2 * c, 1)) + RefChroma(floatAt(2 * k, 2 * c + 1, 1)) + 1) / 2);
          break;
        case QVA_MSUBTYPE_YUV444I: {
          uint32_t sumCr = 0, sumCb = 0;
          for (uint32_t dy = 0; dy < 2; ++dy) {
            for (uint32_t dx = 0; dx < 2; ++dx) {
              sumCr += at(4, 2 * k + dy, 2 * c + dx)[0];
              sumCb += at(4, 2 * k + dy, 2 * c + dx)[1];
            }
          }
          cr = static_cast<uint8_t>((sumCr + 2) / 4);
          cb = static_cast<uint8_t>((sumCb + 2) / 4);
          break;
        }
        case QVA_MSUBTYPE_YUV422I: {
          const uint8_t* top = src.data() + (2 * k * w + 2 * c) * 2;
          const uint8_t* bottom = top + w * 2;
          cb = static_cast<uint8_t>((top[1] + bottom[1] + 1) / 2);
          cr = static_cast<uint8_t>((top[3] + bottom[3] + 1) / 2);
          break;
        }
        case QVA_MSUBTYPE_YV12: {
          const uint8_t* crPlane = src.data() + w * h;
          const uint8_t* cbPlane = crPlane + (w / 2) * (h / 2);
          cr = crPlane[k * (w / 2) + c];
          cb = cbPlane[k * (w / 2) + c];
          break;
        }
        default: {
          const uint8_t* cbPlane = src.data() + w * h;
          const uint8_t* crPlane = cbPlane + (w / 2) * (h / 2);
          cb = cbPlane[k * (w / 2) + c];
          cr = crPlane[k * (w / 2) + c];
          break;
        }
      }
      out.u()[k * (out.pitch / 2) + c] = cb;
      out.v()[k * (out.pitch / 2) + c] = cr;
    }
  }
}

struct ConversionCase {
  uint32_t subtype;
  Size size;
  uint32_t extraPitch;  // the destination's pitch beyond the width
};

std::string CaseName(const testing::TestParamInfo<ConversionCase>& info) {
  return "s" + std::to_string(info.param.subtype) + "_" + std::to_string(info.param.size.width) + "x" +
         std::to_string(info.param.size.height) + "_p" + std::to_string(info.param.extraPitch);
}

class ConversionToI420 : public testing::TestWithParam<ConversionCase> {};

TEST_P(ConversionToI420, MatchesTheReferenceOnRandomFrames) {
  const ConversionCase& c = GetParam();
  const std::vector<uint8_t> frame = MakeTestFrame(c.subtype, c.size.width, c.size.height, 0xBEEF, 7 + c.size.width);
  Planar converted(c.size.width, c.size.height, c.size.width + c.extraPitch, c.size.height);
  Planar expected(c.size.width, c.size.height, c.size.width + c.extraPitch, c.size.height);
  const PreProcFrameGeometry in{c.size.width, c.size.height, c.size.width, c.size.height};
  ASSERT_EQ(PreProc_ConvertPixels(frame.data(), PreProc_InputCode(c.subtype), in, converted.y(), kPPCodeI420,
                                  converted.Geometry()),
            QVA_SUCCESS);
  if (c.subtype == QVA_MSUBTYPE_BGRA) {
    // The video scaler's converter, the same routine the scaler component uses.
    orx::convert::I420Planes planes{expected.y(), expected.u(), expected.v(), static_cast<int>(expected.pitch),
                                    static_cast<int>(expected.pitch / 2), static_cast<int>(expected.pitch / 2)};
    orx::convert::PreprocBgraToI420(frame.data(), static_cast<int>(c.size.width * 4), static_cast<int>(c.size.width),
                                    static_cast<int>(c.size.height), planes, 1);
  } else {
    ReferenceToI420(c.subtype, frame, c.size, expected);
  }
  EXPECT_EQ(converted.bytes, expected.bytes);
  EXPECT_TRUE(converted.GuardIntact());
  EXPECT_EQ(orx::test::ReadTestId(converted.y(), converted.pitch, c.size.width), 0xBEEFu);
}

INSTANTIATE_TEST_SUITE_P(
    EveryInput, ConversionToI420,
    testing::Values(ConversionCase{QVA_MSUBTYPE_VUYA_FLOAT, {720, 480}, 0}, ConversionCase{QVA_MSUBTYPE_VUYA_FLOAT, {90, 34}, 6},
                    ConversionCase{QVA_MSUBTYPE_YUV444I, {720, 480}, 0}, ConversionCase{QVA_MSUBTYPE_YUV444I, {130, 66}, 2},
                    ConversionCase{QVA_MSUBTYPE_YUV444I, {91, 35}, 3},
                    ConversionCase{QVA_MSUBTYPE_YUV422I, {720, 480}, 0}, ConversionCase{QVA_MSUBTYPE_YUV422I, {90, 34}, 10},
                    ConversionCase{QVA_MSUBTYPE_BGRA, {720, 480}, 0}, ConversionCase{QVA_MSUBTYPE_BGRA, {90, 34}, 6},
                    ConversionCase{QVA_MSUBTYPE_YV12, {720, 480}, 0}, ConversionCase{QVA_MSUBTYPE_YV12, {130, 66}, 14},
                    ConversionCase{QVA_MSUBTYPE_YUV420, {130, 66}, 0}, ConversionCase{QVA_MSUBTYPE_YUV420, {90, 34}, 6}),
    CaseName);

TEST(FloatVuya, QuantisesTheRangeEndsAndBeyond) {
  EXPECT_EQ(FloatVuyaLuma(1.0f), 235);
  EXPECT_EQ(FloatVuyaLuma(0.0f), 16);
  EXPECT_EQ(FloatVuyaChroma(0.5f), 240);
  EXPECT_EQ(FloatVuyaChroma(-0.5f), 16);
  EXPECT_EQ(FloatVuyaChroma(0.0f), 128);
  EXPECT_EQ(FloatVuyaLuma(7.0f), 235);
  EXPECT_EQ(FloatVuyaLuma(-3.0f), 16);
  EXPECT_EQ(FloatVuyaLuma(std::numeric_limits<float>::quiet_NaN()), 16);
  EXPECT_EQ(FloatVuyaChroma(std::numeric_limits<float>::infinity()), 240);
}

TEST(PlanarCopies, SwapTheChromaPlanesBetweenI420AndYv12) {
  const Size size{130, 66};
  const std::vector<uint8_t> frame = MakeTestFrame(QVA_MSUBTYPE_YUV420, size.width, size.height, 3, 11);
  const PreProcFrameGeometry in{size.width, size.height, size.width, size.height};
  Planar yv12(size.width, size.height, size.width, size.height);
  ASSERT_EQ(PreProc_ConvertPixels(frame.data(), kPPCodeI420, in, yv12.y(), kPPCodeYv12, yv12.Geometry()), QVA_SUCCESS);
  const size_t area = size.width * size.height;
  const size_t quarter = area / 4;
  EXPECT_EQ(0, std::memcmp(yv12.y(), frame.data(), area));
  EXPECT_EQ(0, std::memcmp(yv12.u(), frame.data() + area + quarter, quarter));  // Cr first
  EXPECT_EQ(0, std::memcmp(yv12.v(), frame.data() + area, quarter));
  // Equal codes copy the frame; the same memory is left alone.
  std::vector<uint8_t> nv12 = MakeTestFrame(QVA_MSUBTYPE_NV12, size.width, size.height, 5, 12);
  std::vector<uint8_t> copy(nv12.size());
  EXPECT_EQ(PreProc_ConvertPixels(nv12.data(), kPPCodeNv12, in, copy.data(), kPPCodeNv12, in), QVA_SUCCESS);
  EXPECT_EQ(copy, nv12);
  EXPECT_EQ(PreProc_ConvertPixels(nv12.data(), kPPCodeNv12, in, nv12.data(), kPPCodeNv12, in), QVA_SUCCESS);
}

TEST(PlanarCopies, RefuseCodePairsWithoutAConversion) {
  const PreProcFrameGeometry in{16, 16, 16, 16};
  std::vector<uint8_t> a(16 * 16 * 4), b(16 * 16 * 4);
  EXPECT_EQ(PreProc_ConvertPixels(a.data(), kPPCodeBgra, in, b.data(), kPPCodeYv12, in), QVA_ERR_NOTFOUND);
  EXPECT_EQ(PreProc_ConvertPixels(a.data(), kPPCodeYuy2, in, b.data(), kPPCodeNv12, in), QVA_ERR_NOTFOUND);
  EXPECT_EQ(PreProc_ConvertPixels(a.data(), 0, in, b.data(), 0, in), QVA_ERR_NOTFOUND);
}

TEST(FrameCodes, BytesAndCodesOfEverySubtype) {
  struct Row {
    uint32_t subtype;
    uint32_t inputCode;
    uint32_t outputCode;
    uint32_t bytes;  // of a 10 x 4 frame
  };
  const Row rows[] = {{QVA_MSUBTYPE_VUYA_FLOAT, 1, 3, 640}, {QVA_MSUBTYPE_BGRA, 2, 2, 160},
                      {QVA_MSUBTYPE_YUV420, 3, 3, 60},      {QVA_MSUBTYPE_YUV411, 3, 3, 60},
                      {QVA_MSUBTYPE_YUV422I, 4, 4, 80},     {QVA_MSUBTYPE_YUV444I, 5, 5, 160},
                      {QVA_MSUBTYPE_YV12, 6, 6, 60},        {QVA_MSUBTYPE_YV12_420, 6, 6, 60},
                      {QVA_MSUBTYPE_NV12, 9, 9, 60},        {QVA_MSUBTYPE_RGB888, 1, 3, 640}};
  for (const Row& row : rows) {
    SCOPED_TRACE(row.subtype);
    EXPECT_EQ(PreProc_InputCode(row.subtype), row.inputCode);
    EXPECT_EQ(PreProc_OutputCode(row.subtype), row.outputCode);
    EXPECT_EQ(PreProc_FrameBytes(10, row.inputCode, 4), row.bytes);
  }
  EXPECT_EQ(PreProc_FrameBytes(10, 7, 4), 80u);
  EXPECT_EQ(PreProc_FrameBytes(10, 8, 4), 160u);
  EXPECT_EQ(PreProc_FrameBytes(10, 0, 4), 0u);
}

// A luma plane with guard rows around it.
struct GuardedPlane {
  GuardedPlane(uint32_t w, uint32_t h) : width(w), height(h), bytes((h + 2) * w, 0x33) {}
  uint32_t width, height;
  std::vector<uint8_t> bytes;
  uint8_t* plane() { return bytes.data() + width; }
  bool GuardsIntact() const {
    for (uint32_t i = 0; i < width; ++i) {
      if (bytes[i] != 0x33 || bytes[bytes.size() - 1 - i] != 0x33) return false;
    }
    return true;
  }
  uint32_t Changed() const {
    uint32_t count = 0;
    for (uint8_t b : bytes) count += b != 0x33;
    return count;
  }
};

TEST(SlotMarker, IsClippedToTheLumaPlane) {
  // Slot 7 on a 64-line frame at 10 minutes: row 448, column 1200, far outside.
  GuardedPlane outside(720, 64);
  DrawSlotMarker(outside.plane(), 720, 720, 64, 600000 / 500, 64 * 7);
  EXPECT_EQ(outside.Changed(), 0u);
  // Half over the bottom-right corner: only the 8 x 8 quarter inside is written.
  GuardedPlane corner(64, 64);
  DrawSlotMarker(corner.plane(), 64, 64, 64, 56, 56);
  EXPECT_TRUE(corner.GuardsIntact());
  EXPECT_EQ(corner.Changed(), 64u);
  EXPECT_EQ(corner.plane()[56 * 64 + 56], 0xC8);  // the marker's top-left border
  EXPECT_EQ(corner.plane()[60 * 64 + 60], 0x8C);  // inside
  // Whole at the origin: border and inside.
  GuardedPlane origin(64, 64);
  DrawSlotMarker(origin.plane(), 64, 64, 64, 0, 0);
  EXPECT_EQ(origin.Changed(), 256u);
  EXPECT_EQ(origin.plane()[15 * 64 + 7], 0xC8);
  EXPECT_EQ(origin.plane()[7 * 64 + 7], 0x8C);
}

TEST(Mark, BlendsByTheFadeAndStaysInsideTheFrame) {
  GuardedPlane shown(128, 40);
  DrawMark(shown.plane(), 128, 128, 40, 8, 4, 0);
  const uint8_t* mark = MarkImage();
  for (uint32_t y = 0; y < kMarkHeight; ++y) {
    for (uint32_t x = 0; x < kMarkWidth; ++x) ASSERT_EQ(shown.plane()[(4 + y) * 128 + 8 + x], mark[y * kMarkWidth + x]);
  }
  GuardedPlane hidden(128, 40);
  DrawMark(hidden.plane(), 128, 128, 40, 8, 4, 255);
  EXPECT_EQ(hidden.Changed(), 0u);
  // Half faded: halfway between the picture (0x33) and the mark.
  GuardedPlane half(128, 40);
  DrawMark(half.plane(), 128, 128, 40, 8, 4, 128);
  const uint32_t expected = (mark[0] * 127 + 0x33 * 128 + 127) / 255;
  EXPECT_EQ(half.plane()[4 * 128 + 8], expected);
  // A frame smaller than the mark, and a position off its edges.
  GuardedPlane small(40, 10);
  DrawMark(small.plane(), 40, 40, 10, (40 - 88 - 8 + 7) & ~7, 10 - 23 - 8, 0);
  EXPECT_TRUE(small.GuardsIntact());
}

}  // namespace
