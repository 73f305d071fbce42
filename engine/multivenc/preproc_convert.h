#pragma once
// MULTIVENC's frame conversions: from the host's pixel formats into the planar 4:2:0 (or
// unchanged) frames its encoder instances take. Pure functions over buffers.
//
// Format codes name the frame layouts the conversions know; the media subtypes map to them in
// one table (kPreProcFormats). Codes 7 and 8 are packed layouts of 2 and 4 bytes a pixel that no
// subtype maps to.
#include <cstdint>

#include "framework/qva_status.h"
#include "media/media_codes.h"

inline constexpr uint32_t kPPCodeFloatVuya = 1;  // four 32-bit floats Cr, Cb, Y, A, bottom-up
inline constexpr uint32_t kPPCodeBgra = 2;
inline constexpr uint32_t kPPCodeI420 = 3;       // planar 4:2:0, Cb plane first
inline constexpr uint32_t kPPCodeYuy2 = 4;
inline constexpr uint32_t kPPCodeVuya = 5;       // bytes Cr, Cb, Y, A, bottom-up
inline constexpr uint32_t kPPCodeYv12 = 6;       // planar 4:2:0, Cr plane first
inline constexpr uint32_t kPPCodeSpare16Bit = 7;
inline constexpr uint32_t kPPCodeSpare32Bit = 8;
inline constexpr uint32_t kPPCodeNv12 = 9;

// The media subtypes of the input and encoder-input formats and their codes. A subtype not
// listed is float VUYA as an input (code 1) and planar 4:2:0 as an encoder input (code 3); the
// float VUYA subtype (0x81013) is not listed, so it is code 1 only as an input.
struct PreProcFormat {
  uint32_t subtype;
  uint32_t code;
};
inline constexpr PreProcFormat kPreProcFormats[] = {
    {QVA_MSUBTYPE_YUV411, kPPCodeI420},  {QVA_MSUBTYPE_YUV420, kPPCodeI420},
    {QVA_MSUBTYPE_NV12, kPPCodeNv12},    {QVA_MSUBTYPE_BGRA, kPPCodeBgra},
    {QVA_MSUBTYPE_YV12, kPPCodeYv12},    {QVA_MSUBTYPE_YV12_420, kPPCodeYv12},
    {QVA_MSUBTYPE_YUV444I, kPPCodeVuya}, {QVA_MSUBTYPE_YUV422I, kPPCodeYuy2},
};

// Bytes of a frame of that code: 1: 16 per pixel (four 32-bit floats); 2, 5, 8: 4; 3, 6, 9:
// 1.5; 4, 7: 2; any other code 0.
uint32_t PreProc_FrameBytes(uint32_t width, uint32_t code, uint32_t height);
// The code of an input subtype (1 for anything not listed) and of an encoder input subtype (3 for
// anything not listed).
uint32_t PreProc_InputCode(uint32_t subtype);
uint32_t PreProc_OutputCode(uint32_t subtype);

// One side of a conversion: the picture size and, for the planar codes 3, 6 and 9, the plane
// geometry (luma pitch strideWidth, planes strideHeight rows apart). Packed codes use
// width x height with rows of width pixels.
struct PreProcFrameGeometry {
  uint32_t width;
  uint32_t height;
  uint32_t strideWidth;
  uint32_t strideHeight;
};

// True when ConvertPixels has a conversion from in to out.
bool PreProc_CanConvert(uint32_t inputCode, uint32_t outputCode);

// Converts one frame. Source rows of the host's VUYA, float VUYA and BGRA frames are read from
// the bottom. The converted area is the smaller of the two pictures. 0, or 7 for a pair of codes
// without a conversion.
QVAStatus PreProc_ConvertPixels(const uint8_t* source, uint32_t inputCode, const PreProcFrameGeometry& in,
                                uint8_t* destination, uint32_t outputCode, const PreProcFrameGeometry& out);

// The float VUYA quantisers: luma clamp(round(Y x 876 + 64), 64, 940) / 4 and chroma
// clamp(round(C x 896 + 512), 64, 960) / 4; NaN gives the lower limit.
uint8_t FloatVuyaLuma(float y);
uint8_t FloatVuyaChroma(float c);
