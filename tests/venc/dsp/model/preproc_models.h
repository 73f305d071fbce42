#pragma once
// Scalar models of the running preprocessing core's results, written sample by sample from
// the arithmetic the kernels are defined by. They stand in for the slots that the plain class
// leaves pure, and for the slots whose plain bodies differ from the running class.
#include <cstdint>
#include <memory>

#include "venc/dsp/preproc_core.h"

namespace orx::dsp::model {

// Packed 4:2:2 conversion of chroma mode 0-4; UYVY when `uyvy`, else YUY2.
const uint8_t* ConvertPacked(bool uyvy, int mode, int rows, int width, int sourceSkip, int lumaSkip,
                             int chromaSkip, const uint8_t* source, uint8_t* luma, uint8_t* chroma);

// Every byte (sample) of every row, advancing by width (2 x width) + skip.
const uint8_t* CopyPlane(int rows, int width, int sourceSkip, int destinationSkip,
                         const uint8_t* source, uint8_t* destination);
void InterleaveUV(int rows, int width, int sourceSkip, int destinationSkip, const uint8_t* first,
                  const uint8_t* second, uint8_t* destination);

// Comb filters with the fold's middle (lo + hi + 1) >> 1.
void FilterCombRows(uint8_t* firstRow, int width, int stride, int rows);
void FilterCombRowsTwoSource(uint8_t* carryRow, uint8_t* band, int width, int rowPairs);
void FilterCombRowsWithTop(uint8_t* firstRow, int width, int stride, int rows, uint8_t* carryRow);

// Noise gates: the old byte stays where the new one differs by less than 8.
void NoiseGateRow(const uint8_t* source, uint8_t* gated, int length);
void NoiseGate16(uint8_t* destination, const uint8_t* sourcePair);

// The fill value's bytes in memory order, repeated from each row's start.
void FillRows(uint8_t* destination, int width, int rows, int pitch, uint32_t value);

// Impulse filters as the running class computes them: every sample filtered, the group-start
// left neighbour already filtered, the strength modulo 256 (bounded forms: limited to 127,
// threshold and limit as bytes, a 16-bit gain and the blend in 32 bits). `step` is 1 for
// luma and 2 for interleaved chroma; `reference` is null for the unbounded forms.
struct BoundedBlend {
  const uint8_t* reference = nullptr;
  int threshold = 0;
  int limit = 0;
  int gain = 0;
};
void ImpulseFilter(int step, uint8_t* firstRow, int width, int rows, int distance, int stride,
                   int strength, const BoundedBlend& blend);
// The blended sample: y moved towards r by the weight of threshold, limit and gain.
int BlendTowardsReference(int y, int r, int threshold, int limit, int gain);

// ((256 - w) x picture + w x overlay) >> 8 with w = (alpha x (strength + 1)) >> 8.
void BlendWeighted(uint8_t* picture, const uint8_t* overlay, const uint8_t* alpha, int strength,
                   int width, int rows, int overlayPitch, int picturePitch);

// The reference preprocessing core of the harness: the plain class with the models above in
// its pure slots.
std::unique_ptr<CPreprocCore> MakeReferencePreprocCore();

}  // namespace orx::dsp::model
