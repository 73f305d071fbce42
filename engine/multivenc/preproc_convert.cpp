#include "engine/multivenc/preproc_convert.h"

#include <algorithm>
#include <cstring>

#include "media/media_codes.h"
#include "vscaler/convert/bgra_to_i420.h"
#include "vscaler/convert/yuv444_to_i420.h"

namespace {

// Plane addresses of a planar 4:2:0 frame: luma, then the first and second chroma planes.
struct Planes {
  uint8_t* y;
  uint8_t* first;
  uint8_t* second;
  uint32_t yPitch;
  uint32_t chromaPitch;
};

Planes PlanarLayout(uint8_t* frame, const PreProcFrameGeometry& g) {
  const uint32_t pitch = g.strideWidth != 0 ? g.strideWidth : g.width;
  const uint32_t rows = g.strideHeight != 0 ? g.strideHeight : g.height;
  const uint32_t chromaPitch = pitch / 2;
  uint8_t* first = frame + static_cast<size_t>(pitch) * rows;
  uint8_t* second = first + static_cast<size_t>(chromaPitch) * (rows / 2);
  return {frame, first, second, pitch, chromaPitch};
}

// Cb and Cr planes of a planar frame by its code (YV12 holds Cr first).
void ChromaPlanes(const Planes& p, uint32_t code, uint8_t** cb, uint8_t** cr) {
  *cb = code == kPPCodeYv12 ? p.second : p.first;
  *cr = code == kPPCodeYv12 ? p.first : p.second;
}

void CopyRows(uint8_t* dst, uint32_t dstPitch, const uint8_t* src, uint32_t srcPitch, uint32_t width, uint32_t rows) {
  for (uint32_t r = 0; r < rows; ++r) {
    std::memcpy(dst + static_cast<size_t>(r) * dstPitch, src + static_cast<size_t>(r) * srcPitch, width);
  }
}

int QuantiseFloat(float value, float scale, float offset, int low, int high) {
  const float s = value * scale + offset;
  if (!(s >= static_cast<float>(low))) return low;
  if (s >= static_cast<float>(high)) return high;
  return static_cast<int>(s);
}

uint8_t Average2(uint32_t a, uint32_t b) { return static_cast<uint8_t>((a + b + 1) >> 1); }

// Packed source row of processed row r: from the bottom when bottomUp.
const uint8_t* PackedRow(const uint8_t* source, uint32_t rowBytes, uint32_t height, uint32_t r, bool bottomUp) {
  return source + static_cast<size_t>(bottomUp ? height - 1 - r : r) * rowBytes;
}

// Float VUYA (Cr, Cb, Y, A floats), bottom-up: chroma row k from processed row 2k, the two
// horizontal neighbours averaged.
void FloatVuyaToI420(const uint8_t* source, const PreProcFrameGeometry& in, const Planes& p, uint32_t width,
                     uint32_t height) {
  const uint32_t rowBytes = in.width * 16;
  for (uint32_t r = 0; r < height; ++r) {
    const uint8_t* row = PackedRow(source, rowBytes, in.height, r, true);
    uint8_t* y = p.y + static_cast<size_t>(r) * p.yPitch;
    for (uint32_t x = 0; x < width; ++x) {
      float luma;
      std::memcpy(&luma, row + x * 16 + 8, sizeof luma);
      y[x] = FloatVuyaLuma(luma);
    }
    if (r % 2 != 0 || r / 2 >= height / 2) continue;
    uint8_t* cb = p.first + static_cast<size_t>(r / 2) * p.chromaPitch;
    uint8_t* cr = p.second + static_cast<size_t>(r / 2) * p.chromaPitch;
    for (uint32_t c = 0; c < width / 2; ++c) {
      float v[4];  // Cr, Cb of the left pixel, then of the right pixel
      std::memcpy(&v[0], row + (2 * c) * 16, 8);
      std::memcpy(&v[2], row + (2 * c + 1) * 16, 8);
      cr[c] = Average2(FloatVuyaChroma(v[0]), FloatVuyaChroma(v[2]));
      cb[c] = Average2(FloatVuyaChroma(v[1]), FloatVuyaChroma(v[3]));
    }
  }
}

// 8-bit VUYA (Cr, Cb, Y, A bytes), bottom-up: chroma the rounded average of each 2x2 block, by
// the scaler's row-pair step. One pass over each pair of rows, so the source is read once.
void VuyaToI420(const uint8_t* source, const PreProcFrameGeometry& in, const Planes& p, uint32_t width,
                uint32_t height) {
  const uint32_t rowBytes = in.width * 4;
  const uint32_t pairs = width / 2;
  for (uint32_t k = 0; k < height / 2; ++k) {
    const uint8_t* top = PackedRow(source, rowBytes, in.height, 2 * k, true);
    const uint8_t* bottom = PackedRow(source, rowBytes, in.height, 2 * k + 1, true);
    uint8_t* y0 = p.y + static_cast<size_t>(2 * k) * p.yPitch;
    uint8_t* y1 = y0 + p.yPitch;
    orx::convert::ConvertYuv444PackedRowPair(top, bottom, static_cast<int>(pairs), y0, y1,
                                             p.first + static_cast<size_t>(k) * p.chromaPitch,
                                             p.second + static_cast<size_t>(k) * p.chromaPitch, 2);
    if (width % 2 != 0) {
      y0[width - 1] = top[(width - 1) * 4 + 2];
      y1[width - 1] = bottom[(width - 1) * 4 + 2];
    }
  }
  if (height % 2 != 0) {
    const uint8_t* row = PackedRow(source, rowBytes, in.height, height - 1, true);
    uint8_t* y = p.y + static_cast<size_t>(height - 1) * p.yPitch;
    for (uint32_t x = 0; x < width; ++x) y[x] = row[x * 4 + 2];
  }
}

// YUY2 (Y0, Cb, Y1, Cr), top-down: chroma the average of the two rows of each row pair.
void Yuy2ToI420(const uint8_t* source, const PreProcFrameGeometry& in, const Planes& p, uint32_t width,
                uint32_t height) {
  const uint32_t rowBytes = in.width * 2;
  for (uint32_t r = 0; r < height; ++r) {
    const uint8_t* row = source + static_cast<size_t>(r) * rowBytes;
    uint8_t* y = p.y + static_cast<size_t>(r) * p.yPitch;
    for (uint32_t x = 0; x < width; ++x) y[x] = row[x * 2];
  }
  for (uint32_t k = 0; k < height / 2; ++k) {
    const uint8_t* top = source + static_cast<size_t>(2 * k) * rowBytes;
    const uint8_t* bottom = top + rowBytes;
    uint8_t* cb = p.first + static_cast<size_t>(k) * p.chromaPitch;
    uint8_t* cr = p.second + static_cast<size_t>(k) * p.chromaPitch;
    for (uint32_t c = 0; c < width / 2; ++c) {
      cb[c] = Average2(top[4 * c + 1], bottom[4 * c + 1]);
      cr[c] = Average2(top[4 * c + 3], bottom[4 * c + 3]);
    }
  }
}

void BgraToI420(const uint8_t* source, const PreProcFrameGeometry& in, const Planes& p, uint32_t width,
                uint32_t height) {
  // The converter reads processed row i from the bottom of the source's own height; a smaller
  // destination takes the first rows of that order.
  orx::convert::I420Planes planes;
  planes.y = p.y;
  planes.cb = p.first;
  planes.cr = p.second;
  planes.yStride = static_cast<int>(p.yPitch);
  planes.cbStride = planes.crStride = static_cast<int>(p.chromaPitch);
  const uint8_t* firstRow = source + static_cast<size_t>(in.height - height) * in.width * 4;
  orx::convert::PreprocBgraToI420(firstRow, static_cast<int>(in.width * 4), static_cast<int>(width),
                                  static_cast<int>(height), planes, 1);
}

// Planar to planar with each side's own geometry; swap exchanges the two chroma planes.
void CopyPlanar(const uint8_t* source, uint32_t inputCode, const PreProcFrameGeometry& in, uint8_t* destination,
                uint32_t outputCode, const PreProcFrameGeometry& out, uint32_t width, uint32_t height) {
  const Planes s = PlanarLayout(const_cast<uint8_t*>(source), in);
  const Planes d = PlanarLayout(destination, out);
  CopyRows(d.y, d.yPitch, s.y, s.yPitch, width, height);
  uint8_t *sCb, *sCr, *dCb, *dCr;
  ChromaPlanes(s, inputCode, &sCb, &sCr);
  ChromaPlanes(d, outputCode, &dCb, &dCr);
  CopyRows(dCb, d.chromaPitch, sCb, s.chromaPitch, width / 2, height / 2);
  CopyRows(dCr, d.chromaPitch, sCr, s.chromaPitch, width / 2, height / 2);
}

bool IsPlanar(uint32_t code) { return code == kPPCodeI420 || code == kPPCodeYv12; }

uint32_t CodeOf(uint32_t subtype, uint32_t unlisted) {
  for (const PreProcFormat& format : kPreProcFormats) {
    if (format.subtype == subtype) return format.code;
  }
  return unlisted;
}

}  // namespace

uint8_t FloatVuyaLuma(float y) { return static_cast<uint8_t>(QuantiseFloat(y, 876.0f, 64.5f, 64, 940) / 4); }
uint8_t FloatVuyaChroma(float c) { return static_cast<uint8_t>(QuantiseFloat(c, 896.0f, 512.5f, 64, 960) / 4); }

uint32_t PreProc_FrameBytes(uint32_t width, uint32_t code, uint32_t height) {
  const uint32_t area = width * height;
  switch (code) {
    case kPPCodeFloatVuya:
      return area * 16;
    case kPPCodeBgra:
    case kPPCodeVuya:
    case kPPCodeSpare32Bit:
      return area * 4;
    case kPPCodeI420:
    case kPPCodeYv12:
    case kPPCodeNv12:
      return area * 3 / 2;
    case kPPCodeYuy2:
    case kPPCodeSpare16Bit:
      return area * 2;
    default:
      return 0;
  }
}

uint32_t PreProc_InputCode(uint32_t subtype) { return CodeOf(subtype, kPPCodeFloatVuya); }

uint32_t PreProc_OutputCode(uint32_t subtype) { return CodeOf(subtype, kPPCodeI420); }

bool PreProc_CanConvert(uint32_t inputCode, uint32_t outputCode) {
  if (inputCode == outputCode) return PreProc_FrameBytes(1, inputCode, 1) != 0;
  if (outputCode == kPPCodeI420) {
    return inputCode == kPPCodeFloatVuya || inputCode == kPPCodeVuya || inputCode == kPPCodeYuy2 ||
           inputCode == kPPCodeBgra || inputCode == kPPCodeYv12;
  }
  return outputCode == kPPCodeYv12 && inputCode == kPPCodeI420;
}

QVAStatus PreProc_ConvertPixels(const uint8_t* source, uint32_t inputCode, const PreProcFrameGeometry& in,
                                uint8_t* destination, uint32_t outputCode, const PreProcFrameGeometry& out) {
  if (!PreProc_CanConvert(inputCode, outputCode)) return QVA_ERR_NOTFOUND;
  const uint32_t width = std::min(in.width, out.width);
  const uint32_t height = std::min(in.height, out.height);
  if (inputCode == outputCode) {
    if (source == destination) return QVA_SUCCESS;
    if (IsPlanar(inputCode)) {
      CopyPlanar(source, inputCode, in, destination, outputCode, out, width, height);
    } else {
      std::memcpy(destination, source, PreProc_FrameBytes(width, inputCode, height));
    }
    return QVA_SUCCESS;
  }
  if (IsPlanar(inputCode)) {
    CopyPlanar(source, inputCode, in, destination, outputCode, out, width, height);
    return QVA_SUCCESS;
  }
  const Planes p = PlanarLayout(destination, out);
  switch (inputCode) {
    case kPPCodeFloatVuya:
      FloatVuyaToI420(source, in, p, width, height);
      break;
    case kPPCodeVuya:
      VuyaToI420(source, in, p, width, height);
      break;
    case kPPCodeYuy2:
      Yuy2ToI420(source, in, p, width, height);
      break;
    default:
      BgraToI420(source, in, p, width, height);
      break;
  }
  return QVA_SUCCESS;
}
