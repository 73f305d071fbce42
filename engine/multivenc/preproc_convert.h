#pragma once
// MULTIVENC's frame conversions: from the host's pixel formats into the planar 4:2:0 (or
// unchanged) frames its encoder instances take. Pure functions over buffers.
//
// Format codes: 1 float VUYA (0x81013), 2 BGRA (0x40015), 3 planar 4:2:0 (0x80001, 0x80002 and
// the default), 4 YUY2 (0x80011), 5 8-bit VUYA (0x80012), 6 YV12 (0x81001, 0x81002), 7 and 8
// (no subtype maps to them), 9 NV12 (0x81015).
#include <cstdint>

#include "framework/qva_status.h"

inline constexpr uint32_t kPPCodeFloatVuya = 1;
inline constexpr uint32_t kPPCodeBgra = 2;
inline constexpr uint32_t kPPCodeI420 = 3;
inline constexpr uint32_t kPPCodeYuy2 = 4;
inline constexpr uint32_t kPPCodeVuya = 5;
inline constexpr uint32_t kPPCodeYv12 = 6;
inline constexpr uint32_t kPPCode7 = 7;
inline constexpr uint32_t kPPCode8 = 8;
inline constexpr uint32_t kPPCodeNv12 = 9;

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
