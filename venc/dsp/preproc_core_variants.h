#pragma once
// The preprocessing core variant classes; each overrides exactly the slots it supplies.
#include "venc/dsp/preproc_core.h"

namespace orx::dsp {

class CPreprocCoreMMX : public CPreprocCore {
 public:
  const uint8_t* CopyPlane(int rows, int width, int sourceSkip, int destinationSkip,
                           const uint8_t* source, uint8_t* destination) override;
  void InterleaveUV(int rows, int width, int sourceSkip, int destinationSkip, const uint8_t* first,
                    const uint8_t* second, uint8_t* destination) override;
  int BlockDeviation(const uint8_t* upper, const uint8_t* lower, int stride, int* smallest,
                     const void* prefetchHint) override;
  int FieldFrameDifference(const uint8_t* macroblock, int stride) override;
  void FilterCombRows(uint8_t* firstRow, int width, int stride, int rows) override;
  void FilterCombBlock16(uint8_t* carryRow, uint8_t* macroblock, int rowPairs) override;
  void NoiseGateRow(const uint8_t* source, uint8_t* gated, int length) override;
  void NoiseGate16(uint8_t* destination, const uint8_t* sourcePair) override;
  void FilterCombRowsTwoSource(uint8_t* carryRow, uint8_t* band, int width, int rowPairs) override;
  void FilterCombRowsWithTop(uint8_t* firstRow, int width, int stride, int rows,
                             uint8_t* carryRow) override;
  void FillRows(uint8_t* destination, int width, int rows, int pitch, uint32_t value) override;
  void DownscaleHorz(uint8_t* destination, const uint8_t* source, int width, int rows,
                     int destinationSkip) override;
  void DownscaleHorzChroma(uint8_t* destination, const uint8_t* source, int width, int rows,
                           int destinationSkip) override;
  void Downscale2x2(uint8_t* destination, const uint8_t* source, int width, int rows,
                    int destinationSkip) override;
  void Downscale2x2Chroma(uint8_t* destination, const uint8_t* source, int width, int rows,
                          int destinationSkip) override;
  void DownscaleVert(uint8_t* destination, const uint8_t* source, int width, int rows,
                     int destinationSkip) override;
  const uint8_t* ConvertUYVYMode0(int rows, int width, int sourceSkip, int lumaSkip,
                                  const uint8_t* source, uint8_t* luma) override;
  const uint8_t* ConvertUYVYMode1(int rows, int width, int sourceSkip, int lumaSkip, int chromaSkip,
                                  const uint8_t* source, uint8_t* luma, uint8_t* chroma) override;
  const uint8_t* ConvertUYVYMode2(int rows, int width, int sourceSkip, int lumaSkip, int chromaSkip,
                                  const uint8_t* source, uint8_t* luma, uint8_t* chroma) override;
  const uint8_t* ConvertUYVYMode3(int rows, int width, int sourceSkip, int lumaSkip, int chromaSkip,
                                  const uint8_t* source, uint8_t* luma, uint8_t* chroma) override;
  const uint8_t* ConvertUYVYMode4(int rows, int width, int sourceSkip, int lumaSkip, int chromaSkip,
                                  const uint8_t* source, uint8_t* luma, uint8_t* chroma) override;
  const uint8_t* ConvertYUY2Mode0(int rows, int width, int sourceSkip, int lumaSkip,
                                  const uint8_t* source, uint8_t* luma) override;
  const uint8_t* ConvertYUY2Mode1(int rows, int width, int sourceSkip, int lumaSkip, int chromaSkip,
                                  const uint8_t* source, uint8_t* luma, uint8_t* chroma) override;
  const uint8_t* ConvertYUY2Mode2(int rows, int width, int sourceSkip, int lumaSkip, int chromaSkip,
                                  const uint8_t* source, uint8_t* luma, uint8_t* chroma) override;
  const uint8_t* ConvertYUY2Mode3(int rows, int width, int sourceSkip, int lumaSkip, int chromaSkip,
                                  const uint8_t* source, uint8_t* luma, uint8_t* chroma) override;
  const uint8_t* ConvertYUY2Mode4(int rows, int width, int sourceSkip, int lumaSkip, int chromaSkip,
                                  const uint8_t* source, uint8_t* luma, uint8_t* chroma) override;
};

class CPreprocCoreXMM : public CPreprocCoreMMX {
 public:
  const uint8_t* CopyPlane(int rows, int width, int sourceSkip, int destinationSkip,
                           const uint8_t* source, uint8_t* destination) override;
  void InterleaveUV(int rows, int width, int sourceSkip, int destinationSkip, const uint8_t* first,
                    const uint8_t* second, uint8_t* destination) override;
  int BlockDeviation(const uint8_t* upper, const uint8_t* lower, int stride, int* smallest,
                     const void* prefetchHint) override;
  int SubBlockMeans4x4(const uint8_t* macroblock, int stride, int* smallest,
                       const void* prefetchHint) override;
  int FieldFrameDifference(const uint8_t* macroblock, int stride) override;
  void FilterCombRows(uint8_t* firstRow, int width, int stride, int rows) override;
  void FilterCombBlock16(uint8_t* carryRow, uint8_t* macroblock, int rowPairs) override;
  void FilterCombRowsTwoSource(uint8_t* carryRow, uint8_t* band, int width, int rowPairs) override;
  void FilterCombRowsWithTop(uint8_t* firstRow, int width, int stride, int rows,
                             uint8_t* carryRow) override;
  void MedianFilter(uint8_t* firstRow, int width, int rows, int distance, int stride,
                    int strength) override;
  void MedianFilterStep2(uint8_t* firstRow, int width, int rows, int distance, int stride,
                         int strength) override;
  void MedianFilterBounded(uint8_t* firstRow, const uint8_t* referenceRow, int width, int rows,
                           int distance, int stride, int strength, int threshold, int limit,
                           int gain) override;
  void DownscaleHorz(uint8_t* destination, const uint8_t* source, int width, int rows,
                     int destinationSkip) override;
  void DownscaleHorzChroma(uint8_t* destination, const uint8_t* source, int width, int rows,
                           int destinationSkip) override;
  void DownscaleVert(uint8_t* destination, const uint8_t* source, int width, int rows,
                     int destinationSkip) override;
  const uint8_t* ConvertUYVYMode0(int rows, int width, int sourceSkip, int lumaSkip,
                                  const uint8_t* source, uint8_t* luma) override;
  const uint8_t* ConvertUYVYMode1(int rows, int width, int sourceSkip, int lumaSkip, int chromaSkip,
                                  const uint8_t* source, uint8_t* luma, uint8_t* chroma) override;
  const uint8_t* ConvertUYVYMode2(int rows, int width, int sourceSkip, int lumaSkip, int chromaSkip,
                                  const uint8_t* source, uint8_t* luma, uint8_t* chroma) override;
  const uint8_t* ConvertUYVYMode3(int rows, int width, int sourceSkip, int lumaSkip, int chromaSkip,
                                  const uint8_t* source, uint8_t* luma, uint8_t* chroma) override;
  const uint8_t* ConvertUYVYMode4(int rows, int width, int sourceSkip, int lumaSkip, int chromaSkip,
                                  const uint8_t* source, uint8_t* luma, uint8_t* chroma) override;
  const uint8_t* ConvertYUY2Mode0(int rows, int width, int sourceSkip, int lumaSkip,
                                  const uint8_t* source, uint8_t* luma) override;
  const uint8_t* ConvertYUY2Mode1(int rows, int width, int sourceSkip, int lumaSkip, int chromaSkip,
                                  const uint8_t* source, uint8_t* luma, uint8_t* chroma) override;
  const uint8_t* ConvertYUY2Mode2(int rows, int width, int sourceSkip, int lumaSkip, int chromaSkip,
                                  const uint8_t* source, uint8_t* luma, uint8_t* chroma) override;
  const uint8_t* ConvertYUY2Mode3(int rows, int width, int sourceSkip, int lumaSkip, int chromaSkip,
                                  const uint8_t* source, uint8_t* luma, uint8_t* chroma) override;
  const uint8_t* ConvertYUY2Mode4(int rows, int width, int sourceSkip, int lumaSkip, int chromaSkip,
                                  const uint8_t* source, uint8_t* luma, uint8_t* chroma) override;
};

class CPreprocCoreXMM2 : public CPreprocCoreXMM {
 public:
  const uint8_t* CopyPlane(int rows, int width, int sourceSkip, int destinationSkip,
                           const uint8_t* source, uint8_t* destination) override;
  void InterleaveUV(int rows, int width, int sourceSkip, int destinationSkip, const uint8_t* first,
                    const uint8_t* second, uint8_t* destination) override;
  int BlockDeviation(const uint8_t* upper, const uint8_t* lower, int stride, int* smallest,
                     const void* prefetchHint) override;
  int SubBlockMeans4x4(const uint8_t* macroblock, int stride, int* smallest,
                       const void* prefetchHint) override;
  int FieldFrameDifference(const uint8_t* macroblock, int stride) override;
  void FilterCombRows(uint8_t* firstRow, int width, int stride, int rows) override;
  void FilterCombBlock16(uint8_t* carryRow, uint8_t* macroblock, int rowPairs) override;
  void FilterCombRowsTwoSource(uint8_t* carryRow, uint8_t* band, int width, int rowPairs) override;
  void FilterCombRowsWithTop(uint8_t* firstRow, int width, int stride, int rows,
                             uint8_t* carryRow) override;
  void MedianFilter(uint8_t* firstRow, int width, int rows, int distance, int stride,
                    int strength) override;
  void MedianFilterStep2(uint8_t* firstRow, int width, int rows, int distance, int stride,
                         int strength) override;
  void MedianFilterBounded(uint8_t* firstRow, const uint8_t* referenceRow, int width, int rows,
                           int distance, int stride, int strength, int threshold, int limit,
                           int gain) override;
  void MedianFilterStep2Alt(uint8_t* firstRow, const uint8_t* referenceRow, int width, int rows,
                            int distance, int stride, int strength, int threshold, int limit,
                            int gain) override;
  int NeighbourhoodStats(const uint8_t* band, int macroblocks, int stride) override;
  void DownscaleHorz(uint8_t* destination, const uint8_t* source, int width, int rows,
                     int destinationSkip) override;
  void DownscaleHorzChroma(uint8_t* destination, const uint8_t* source, int width, int rows,
                           int destinationSkip) override;
  void Downscale2x2(uint8_t* destination, const uint8_t* source, int width, int rows,
                    int destinationSkip) override;
  void DownscaleVert(uint8_t* destination, const uint8_t* source, int width, int rows,
                     int destinationSkip) override;
  const uint8_t* ConvertUYVYMode0(int rows, int width, int sourceSkip, int lumaSkip,
                                  const uint8_t* source, uint8_t* luma) override;
  const uint8_t* ConvertUYVYMode1(int rows, int width, int sourceSkip, int lumaSkip, int chromaSkip,
                                  const uint8_t* source, uint8_t* luma, uint8_t* chroma) override;
  const uint8_t* ConvertUYVYMode2(int rows, int width, int sourceSkip, int lumaSkip, int chromaSkip,
                                  const uint8_t* source, uint8_t* luma, uint8_t* chroma) override;
  const uint8_t* ConvertUYVYMode3(int rows, int width, int sourceSkip, int lumaSkip, int chromaSkip,
                                  const uint8_t* source, uint8_t* luma, uint8_t* chroma) override;
  const uint8_t* ConvertUYVYMode4(int rows, int width, int sourceSkip, int lumaSkip, int chromaSkip,
                                  const uint8_t* source, uint8_t* luma, uint8_t* chroma) override;
  const uint8_t* ConvertYUY2Mode0(int rows, int width, int sourceSkip, int lumaSkip,
                                  const uint8_t* source, uint8_t* luma) override;
  const uint8_t* ConvertYUY2Mode1(int rows, int width, int sourceSkip, int lumaSkip, int chromaSkip,
                                  const uint8_t* source, uint8_t* luma, uint8_t* chroma) override;
  const uint8_t* ConvertYUY2Mode2(int rows, int width, int sourceSkip, int lumaSkip, int chromaSkip,
                                  const uint8_t* source, uint8_t* luma, uint8_t* chroma) override;
  const uint8_t* ConvertYUY2Mode3(int rows, int width, int sourceSkip, int lumaSkip, int chromaSkip,
                                  const uint8_t* source, uint8_t* luma, uint8_t* chroma) override;
  const uint8_t* ConvertYUY2Mode4(int rows, int width, int sourceSkip, int lumaSkip, int chromaSkip,
                                  const uint8_t* source, uint8_t* luma, uint8_t* chroma) override;
};

}  // namespace orx::dsp
