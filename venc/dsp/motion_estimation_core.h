#pragma once
// CMotionEstimationCore: block-matching costs, window searches, sub-pel cost sets and
// decimation, as virtual operations in fixed slot order. The owner writes the three fields
// (current block, stride, rows) before each batch of calls; reference positions are read with
// the same stride. Costs are sums of absolute (or absolute transformed) differences.
#include <cstdint>

#include "venc/dsp/clipping.h"

namespace orx::dsp {

class CMotionEstimationCore {
 public:
  CMotionEstimationCore() = default;
  virtual ~CMotionEstimationCore() = default;
  CMotionEstimationCore(const CMotionEstimationCore&) = delete;
  CMotionEstimationCore& operator=(const CMotionEstimationCore&) = delete;

  // Slots 0-11: block costs against the current block.
  virtual uint32_t Satd16(const uint8_t* reference);
  virtual uint32_t Satd8x16(const uint8_t* reference);
  virtual uint32_t SatdSubPel(const uint8_t* reference, int fraction, int positionIndex);
  virtual uint32_t QuarterPelSads16(const uint8_t* reference, int fractionX, int fractionY);
  virtual uint32_t QuarterPelSads8(const uint8_t* reference, int fraction, int positionIndex);
  virtual uint32_t Sad16Packed(const uint8_t* packed);
  virtual uint32_t Sad16(const uint8_t* reference);
  virtual uint32_t Sad16Prefetch(const uint8_t* reference);
  virtual uint32_t SadHalfPel16(const uint8_t* reference, int halfX, int halfY);
  virtual uint32_t Sad8(const uint8_t* reference);
  virtual uint32_t SadHalfPel8(const uint8_t* reference, int halfX, int halfY);
  virtual uint32_t SadBidirHalfPel16(const uint8_t* referenceA, const uint8_t* referenceB,
                                     int halfXA, int halfYA, int halfXB, int halfYB);
  // Slots 12-14: refinements; direction -1 (left or up) or +1 (right or down).
  virtual int RefineHalfPelHorz(const uint8_t* reference, int* direction, int predictedDirection,
                                int bias);
  virtual int RefineHalfPelVert(const uint8_t* reference, int halfX, int* direction,
                                int predictedDirection, int bias);
  virtual int RefineFullPelVert(const uint8_t* reference, int* direction);
  // Slots 15-20: window searches; x and y are in/out positions from the window origin.
  virtual int SearchWindow8x4Stride2(const uint8_t* window, const uint8_t* block, int stride,
                                     int nx, int ny, int* x, int* y);
  virtual int SearchWindow4x4Threshold(const uint8_t* window, const uint8_t* block, int stride,
                                       int nx, int ny, int* x, int* y, int threshold);
  virtual int SearchWindow8x4Stride4(const uint8_t* window, const uint8_t* block, int stride,
                                     int nx, int ny, int* x, int* y);
  virtual int SearchWindow4x4(const uint8_t* window, const uint8_t* block, int stride, int nx,
                              int ny, int* x, int* y);
  virtual int SearchWindowRowPairs(const uint8_t* window, const uint8_t* block, int stride, int nx,
                                   int ny, int* x, int* y, int threshold);
  virtual int SearchWindowThreshold(const uint8_t* window, const uint8_t* block, int stride, int nx,
                                    int ny, int* x, int* y, int threshold);
  // Slots 21-22: block decimation.
  virtual void DecimateBlock(uint8_t* destination, const uint8_t* source, int stride);
  virtual int DecimateQuadrants(uint8_t* destination, const uint8_t* source, int stride);
  // Slots 23-30: sub-pel neighbour cost sets (sums: 16-byte aligned, four per 8x8 part).
  virtual int SubPelSadsX16x16(const uint8_t* reference, uint16_t* sums, int* component,
                               int predicted, int bias);
  virtual int SubPelSadsY16x16(const uint8_t* reference, int fraction, uint16_t* sums,
                               int* component, int predicted, int bias);
  virtual int SubPelSadsX8x8(const uint8_t* reference, uint16_t* sums, int* component,
                             int predicted, int bias);
  virtual int SubPelSadsY8x8(const uint8_t* reference, int fraction, uint16_t* sums, int* component,
                             int predicted, int bias);
  virtual int SubPelSadsX16x8(const uint8_t* reference, uint16_t* sums, int* component,
                              int predicted, int bias);
  virtual int SubPelSadsY16x8(const uint8_t* reference, int fraction, uint16_t* sums,
                              int* component, int predicted, int bias);
  virtual int SubPelSadsXHalves(const uint8_t* reference, uint16_t* sums, int* component,
                                int predicted, int bias);
  virtual int SubPelSadsYHalves(const uint8_t* reference, int fraction, uint16_t* sums,
                                int* component, int predicted, int bias);
  // Slots 31-37: plane and block decimation.
  virtual void DecimatePlane(uint8_t* destination, const uint8_t* source, int width, int height,
                             int sourceStride, int sourceSkip);
  virtual void DecimatePlane4x2(uint8_t* destination, const uint8_t* source, int width, int height,
                                int sourceStride);
  virtual void DecimatePlaneAlt(uint8_t* destination, const uint8_t* source, int width, int height,
                                int sourceStride, int sourceSkip);
  virtual void DecimateHorz(uint8_t* destination, const uint8_t* source, int width, int height,
                            int unused);
  virtual void DecimateVert(uint8_t* destination, const uint8_t* source, int width, int height,
                            int sourceStride, int sourceSkip);
  virtual void DecimateBlockHorz(uint8_t* destination, const uint8_t* source);
  virtual void DecimateBlockVert(uint8_t* destination, const uint8_t* source);
  // Slot 38: threshold window search over a packed 4x4 block.
  virtual int SearchWindowThreshold2(const uint8_t* window, const uint8_t* block, int stride,
                                     int nx, int ny, int* x, int* y, int threshold);
  // Slots 39-40: VC-1 4-tap sub-pel cost sets.
  virtual int SubPelSadsXVc1(const uint8_t* reference, uint16_t* sums, int* component,
                             int predicted, int bias);
  virtual int SubPelSadsYVc1(const uint8_t* reference, int fraction, uint16_t* sums, int* component,
                             int predicted, int bias);

  // Sub-pel cost sets with per-position costs instead of a bias (no caller): the X form adds
  // costs[k] to every position k, the Y form only to the position equal to `predicted`.
  int SubPelSadsX16x16WithCosts(const uint8_t* reference, uint16_t* sums, int* component,
                                int predicted, const int32_t* costs);
  int SubPelSadsY16x16WithCosts(const uint8_t* reference, int fraction, uint16_t* sums,
                                int* component, int predicted, const int32_t* costs);

  // The owners' settings of the three fields for the macroblock at p of a picture with row
  // pitch s. SetBlock(buffer, 16) aims the core at a packed 16x16 copy.
  void SetBlock(const uint8_t* p, int s) { Aim(p, s, 16); }
  void SetTopHalf(const uint8_t* p, int s) { Aim(p, s, 8); }
  void SetBottomHalf(const uint8_t* p, int s) { Aim(p + 8 * s, s, 8); }
  void SetRightHalf(const uint8_t* p, int s) { Aim(p + 8, s, 16); }
  void SetFieldTop(const uint8_t* p, int s) { Aim(p, 2 * s, 8); }
  void SetFieldBottom(const uint8_t* p, int s) { Aim(p + s, 2 * s, 8); }

  // Limits v to 0..255 (a helper of the core; no operation needs it).
  static int ClampToByte(int v) { return ClipToByte(v); }

  // Fields, written by the owner before its calls.
  const uint8_t* block = nullptr;  // top-left pixel of the current block
  int32_t stride = 0;              // bytes between rows of the block and of every reference
  int32_t rows = 0;                // 16 or 8

 private:
  void Aim(const uint8_t* p, int s, int r) {
    block = p;
    stride = s;
    rows = r;
  }
};

}  // namespace orx::dsp
