#pragma once
// CPreprocCore: input conversion, measures, filters and scalers of the input preprocessor, as
// virtual operations in fixed slot order. The class is abstract: slots 2, 3, 7-12 and 25-34
// have no reference body. Skips are the bytes added to a pointer after a row.
#include <cstdint>

namespace orx::dsp {

class CPreprocCore {
 public:
  CPreprocCore() = default;
  virtual ~CPreprocCore() = default;
  CPreprocCore(const CPreprocCore&) = delete;
  CPreprocCore& operator=(const CPreprocCore&) = delete;

  // Slots 0-3: packed 4:2:2 dispatchers (destinations: luma, chroma), plane copy, interleave.
  virtual const uint8_t* ConvertUYVY(int rows, int width, int sourceSkip, int destinationPitch,
                                     const uint8_t* source, uint8_t* const* destinations, int mode);
  virtual const uint8_t* ConvertYUY2(int rows, int width, int sourceSkip, int destinationPitch,
                                     const uint8_t* source, uint8_t* const* destinations, int mode);
  virtual const uint8_t* CopyPlane(int rows, int width, int sourceSkip, int destinationSkip,
                                   const uint8_t* source, uint8_t* destination) = 0;
  virtual void InterleaveUV(int rows, int width, int sourceSkip, int destinationSkip,
                            const uint8_t* first, const uint8_t* second, uint8_t* destination) = 0;
  // Slots 4-6: block statistics and interlace measure.
  virtual int BlockDeviation(const uint8_t* upper, const uint8_t* lower, int stride, int* smallest,
                             const void* prefetchHint);
  virtual int SubBlockMeans4x4(const uint8_t* macroblock, int stride, int* smallest,
                               const void* prefetchHint);
  virtual int FieldFrameDifference(const uint8_t* macroblock, int stride);
  // Slots 7-12: comb filters and noise gates.
  virtual void FilterCombRows(uint8_t* firstRow, int width, int stride, int rows) = 0;
  virtual void FilterCombBlock16(uint8_t* carryRow, uint8_t* macroblock, int rowPairs) = 0;
  virtual void NoiseGateRow(const uint8_t* source, uint8_t* gated, int length) = 0;
  virtual void NoiseGate16(uint8_t* destination, const uint8_t* sourcePair) = 0;
  virtual void FilterCombRowsTwoSource(uint8_t* carryRow, uint8_t* band, int width,
                                       int rowPairs) = 0;
  virtual void FilterCombRowsWithTop(uint8_t* firstRow, int width, int stride, int rows,
                                     uint8_t* carryRow) = 0;
  // Slot 13: fill.
  virtual void FillRows(uint8_t* destination, int width, int rows, int pitch, uint32_t value);
  // Slots 14-17: impulse filters.
  virtual void MedianFilter(uint8_t* firstRow, int width, int rows, int distance, int stride,
                            int strength);
  virtual void MedianFilterStep2(uint8_t* firstRow, int width, int rows, int distance, int stride,
                                 int strength);
  virtual void MedianFilterBounded(uint8_t* firstRow, const uint8_t* referenceRow, int width,
                                   int rows, int distance, int stride, int strength, int threshold,
                                   int limit, int gain);
  virtual void MedianFilterStep2Alt(uint8_t* firstRow, const uint8_t* referenceRow, int width,
                                    int rows, int distance, int stride, int strength, int threshold,
                                    int limit, int gain);
  // Slot 18: noise measure of a band.
  virtual int NeighbourhoodStats(const uint8_t* band, int macroblocks, int stride);
  // Slots 19-24: downscaling and blending.
  virtual void DownscaleHorz(uint8_t* destination, const uint8_t* source, int width, int rows,
                             int destinationSkip);
  virtual void DownscaleHorzChroma(uint8_t* destination, const uint8_t* source, int width, int rows,
                                   int destinationSkip);
  virtual void Downscale2x2(uint8_t* destination, const uint8_t* source, int width, int rows,
                            int destinationSkip);
  virtual void Downscale2x2Chroma(uint8_t* destination, const uint8_t* source, int width, int rows,
                                  int destinationSkip);
  virtual void DownscaleVert(uint8_t* destination, const uint8_t* source, int width, int rows,
                             int destinationSkip);
  virtual void BlendWeighted(uint8_t* picture, const uint8_t* overlay, const uint8_t* alpha,
                             int strength, int width, int rows, int overlayPitch, int picturePitch);
  // Slots 25-34: packed 4:2:2 conversion kernels by chroma mode; each returns the source
  // pointer after the last row read.
  virtual const uint8_t* ConvertUYVYMode0(int rows, int width, int sourceSkip, int lumaSkip,
                                          const uint8_t* source, uint8_t* luma) = 0;
  virtual const uint8_t* ConvertUYVYMode1(int rows, int width, int sourceSkip, int lumaSkip,
                                          int chromaSkip, const uint8_t* source, uint8_t* luma,
                                          uint8_t* chroma) = 0;
  virtual const uint8_t* ConvertUYVYMode2(int rows, int width, int sourceSkip, int lumaSkip,
                                          int chromaSkip, const uint8_t* source, uint8_t* luma,
                                          uint8_t* chroma) = 0;
  virtual const uint8_t* ConvertUYVYMode3(int rows, int width, int sourceSkip, int lumaSkip,
                                          int chromaSkip, const uint8_t* source, uint8_t* luma,
                                          uint8_t* chroma) = 0;
  virtual const uint8_t* ConvertUYVYMode4(int rows, int width, int sourceSkip, int lumaSkip,
                                          int chromaSkip, const uint8_t* source, uint8_t* luma,
                                          uint8_t* chroma) = 0;
  virtual const uint8_t* ConvertYUY2Mode0(int rows, int width, int sourceSkip, int lumaSkip,
                                          const uint8_t* source, uint8_t* luma) = 0;
  virtual const uint8_t* ConvertYUY2Mode1(int rows, int width, int sourceSkip, int lumaSkip,
                                          int chromaSkip, const uint8_t* source, uint8_t* luma,
                                          uint8_t* chroma) = 0;
  virtual const uint8_t* ConvertYUY2Mode2(int rows, int width, int sourceSkip, int lumaSkip,
                                          int chromaSkip, const uint8_t* source, uint8_t* luma,
                                          uint8_t* chroma) = 0;
  virtual const uint8_t* ConvertYUY2Mode3(int rows, int width, int sourceSkip, int lumaSkip,
                                          int chromaSkip, const uint8_t* source, uint8_t* luma,
                                          uint8_t* chroma) = 0;
  virtual const uint8_t* ConvertYUY2Mode4(int rows, int width, int sourceSkip, int lumaSkip,
                                          int chromaSkip, const uint8_t* source, uint8_t* luma,
                                          uint8_t* chroma) = 0;
};

}  // namespace orx::dsp
