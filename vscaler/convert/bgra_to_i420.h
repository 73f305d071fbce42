#pragma once
// BGRA (32-bit B, G, R, A; the host's 0x40015 frames) to planar 4:2:0 with the BT.601
// studio-range matrix in 16-bit fixed point. The fixed-point steps define every output byte:
//   r = R * 128 (likewise g, b); term = mulhi(value, coefficient) (high half of the signed
//   16-bit product); s = bTerm + gTerm + rTerm + offset (16-bit); clamp; sample = s >> 6.
// Luma comes from every processed row; chroma only from even processed rows, as the truncated
// average of the two pixels of each horizontal pair. With bottomUp the first processed row is
// the last row in memory, so a bottom-up host frame comes out top row first.
//
// Widths: the kernels take 4-pixel groups; a remaining pixel pair (W = 4k + 2) runs through the
// same per-pixel steps; a last odd pixel gives luma only. An odd last row gives luma only. Nothing
// is written outside the three planes. Constants are built per call: no tables, no state, so any
// number of threads may convert at once.
#include <cstdint>

namespace orx::convert {

// Destination of the strided form: three planes with their own pitches (bytes per row).
struct I420Planes {
  uint8_t* y = nullptr;
  uint8_t* cb = nullptr;
  uint8_t* cr = nullptr;
  int yStride = 0;
  int cbStride = 0;
  int crStride = 0;
};

// The strided core: source rows sourceStride bytes apart in memory order. W <= 0 or H <= 0
// converts nothing.
void PreprocBgraToI420(const uint8_t* source, int sourceStride, int width, int height,
                       const I420Planes& destination, int bottomUp);

// The packed form: source rows of 4W bytes; destination planes back to back (Y pitch W at 0,
// Cb pitch W/2 at W*H, Cr pitch W/2 at W*H + (W*H)/4).
void PreprocBgraToI420(uint8_t* destination, const uint8_t* source, int width, int height,
                       int bottomUp);

// The video encoder's name for the same conversion (packed layout, the same bytes).
void ConvertBgraToI420(uint8_t* destination, const uint8_t* source, int width, int height,
                       int bottomUp);

// The plane layout of the packed form for a W x H frame.
I420Planes PackedI420Planes(uint8_t* destination, int width, int height);

// One implementation of the conversion over already-oriented rows: row i of the processed frame
// starts at firstRow + i * rowStep (rowStep is negative for bottom-up). The plain reference and
// the SSE2 kernel compute the same bytes; the public entries above use the SSE2 kernel
// (SSE2 is part of the x86-64 baseline).
using BgraToI420Kernel = void (*)(const uint8_t* firstRow, intptr_t rowStep, int width,
                                  int height, const I420Planes& destination);
void BgraToI420Plain(const uint8_t* firstRow, intptr_t rowStep, int width, int height,
                     const I420Planes& destination);
void BgraToI420Sse2(const uint8_t* firstRow, intptr_t rowStep, int width, int height,
                    const I420Planes& destination);

// Strided entry over a chosen kernel (tests and benchmarks compare the two).
void PreprocBgraToI420With(BgraToI420Kernel kernel, const uint8_t* source, int sourceStride,
                           int width, int height, const I420Planes& destination, int bottomUp);

}  // namespace orx::convert
