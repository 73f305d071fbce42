#pragma once
// Scalar models of the SSE2 motion-estimation bodies where they differ from the plain class:
// diagonal half samples and two-by-two means rounded in two steps, and the predictor rules and
// scan orders of the variant window searches. Each is written from the arithmetic the variant
// is defined by, independently of the library's code.
#include <cstdint>

namespace orx::dsp::model {

inline int Avg(int a, int b) { return (a + b + 1) >> 1; }
// Diagonal half sample of a, b (upper row) and c, d (lower row): horizontal means first.
inline int DiagonalTwoStep(int a, int b, int c, int d) { return Avg(Avg(a, b), Avg(c, d)); }
// Two-by-two decimation of the same samples: vertical means first.
inline int DecimateTwoStep(int a, int b, int c, int d) { return Avg(Avg(a, c), Avg(b, d)); }

// The half-sample value at (y, x) of a reference with flags h and v (any non-zero is set).
int HalfSample(const uint8_t* reference, int stride, int y, int x, int h, int v);

uint32_t SadHalfPel16(const uint8_t* block, int stride, int rows, const uint8_t* reference,
                      int halfX, int halfY);
uint32_t SadBidirHalfPel16(const uint8_t* block, int stride, int rows, const uint8_t* a,
                           const uint8_t* b, int halfXA, int halfYA, int halfXB, int halfYB);
int RefineHalfPelVert(const uint8_t* block, int stride, int rows, const uint8_t* reference,
                      int halfX, int* direction, int predictedDirection, int bias);

void DecimateBlock(uint8_t* destination, const uint8_t* source, int stride);
int DecimateQuadrants(uint8_t* destination, const uint8_t* source, int stride);
void DecimatePlane(uint8_t* destination, const uint8_t* source, int width, int height,
                   int sourceStride, int sourceSkip);

int SearchWindow8x4Stride2(const uint8_t* window, const uint8_t* block, int stride, int nx,
                           int ny, int* x, int* y);
int SearchWindow8x4Stride4(const uint8_t* window, const uint8_t* block, int stride, int nx,
                           int ny, int* x, int* y);
int SearchWindow4x4Threshold(const uint8_t* window, const uint8_t* block, int stride, int nx,
                             int ny, int* x, int* y, int threshold);
int SearchWindowRowPairs(const uint8_t* window, const uint8_t* block, int stride, int nx, int ny,
                         int* x, int* y, int threshold);
int SearchWindowThreshold2(const uint8_t* window, const uint8_t* block, int stride, int nx,
                           int ny, int* x, int* y, int threshold);

}  // namespace orx::dsp::model
