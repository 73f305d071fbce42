#pragma once
// The VC-1 pixel filters as the standard states them, written here independently of the
// encoder's kernels: bicubic luma and bilinear chroma sub-sample interpolation (per output
// sample, each fraction pair in its own case), overlap smoothing as a matrix with its rounding
// vector, and the loop filter's pixel-pair procedure with its "filter the other three" flag.
// The tests hold the plain class to these.
#include <cstddef>
#include <cstdint>

namespace orx::dsp::model {

// One luma sample at quarter fractions (dx, dy) from the integer-position sample p; rnd is the
// picture's rounding control.
uint8_t Vc1BicubicSample(const uint8_t* p, std::ptrdiff_t stride, int dx, int dy, int rnd);

// One bilinear sample at quarter fractions (dx, dy); `next` is the distance in bytes to the
// horizontally neighbouring sample of the same component (1 for luma, 2 for interleaved
// chroma).
uint8_t Vc1BilinearSample(const uint8_t* p, std::ptrdiff_t stride, std::ptrdiff_t next, int dx,
                          int dy, int rnd);

// The chroma vector component of a luma one (quarter samples), rounded towards zero to a
// half-sample position when fastChroma is set (the result stays in quarter samples).
int Vc1ChromaVector(int lumaVector, bool fastChroma);

// Overlap smoothing of the four samples x[0..3] across one edge (x[1] and x[2] next to it);
// rnd 1 gives the rounding vector (4, 3, 4, 3), 0 gives (3, 4, 3, 4).
void Vc1OverlapFilter(int x[4], int rnd);

// The loop filter of one segment of four pixel pairs: line i's P1..P8 at
// lines + i * lineStep + (k - 1) * sampleStep.
void Vc1LoopFilterSegment(uint8_t* lines, std::ptrdiff_t lineStep, std::ptrdiff_t sampleStep,
                          int pquant);

}  // namespace orx::dsp::model
