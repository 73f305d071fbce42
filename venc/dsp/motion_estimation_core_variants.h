#pragma once
// The motion-estimation core variant classes; each overrides exactly the slots it supplies.
#include "venc/dsp/motion_estimation_core.h"

namespace orx::dsp {

class CMotionEstimationCoreMMX : public CMotionEstimationCore {
 public:
  uint32_t Sad16Packed(const uint8_t* packed) override;
  uint32_t Sad16(const uint8_t* reference) override;
  uint32_t Sad16Prefetch(const uint8_t* reference) override;
  uint32_t SadHalfPel16(const uint8_t* reference, int halfX, int halfY) override;
};

class CMotionEstimationCoreXMM : public CMotionEstimationCoreMMX {
 public:
  uint32_t Sad16Packed(const uint8_t* packed) override;
  uint32_t Sad16(const uint8_t* reference) override;
  uint32_t Sad16Prefetch(const uint8_t* reference) override;
  uint32_t SadHalfPel16(const uint8_t* reference, int halfX, int halfY) override;
  uint32_t SadBidirHalfPel16(const uint8_t* referenceA, const uint8_t* referenceB, int halfXA,
                             int halfYA, int halfXB, int halfYB) override;
  int RefineHalfPelHorz(const uint8_t* reference, int* direction, int predictedDirection,
                        int bias) override;
  int SearchWindow8x4Stride2(const uint8_t* window, const uint8_t* block, int stride, int nx,
                             int ny, int* x, int* y) override;
  int SearchWindow4x4Threshold(const uint8_t* window, const uint8_t* block, int stride, int nx,
                               int ny, int* x, int* y, int threshold) override;
  int SearchWindow8x4Stride4(const uint8_t* window, const uint8_t* block, int stride, int nx,
                             int ny, int* x, int* y) override;
  int SearchWindowRowPairs(const uint8_t* window, const uint8_t* block, int stride, int nx, int ny,
                           int* x, int* y, int threshold) override;
  void DecimateBlock(uint8_t* destination, const uint8_t* source, int stride) override;
  void DecimatePlane(uint8_t* destination, const uint8_t* source, int width, int height,
                     int sourceStride, int sourceSkip) override;
  void DecimatePlane4x2(uint8_t* destination, const uint8_t* source, int width, int height,
                        int sourceStride) override;
  void DecimatePlaneAlt(uint8_t* destination, const uint8_t* source, int width, int height,
                        int sourceStride, int sourceSkip) override;
};

class CMotionEstimationCoreXMM2 : public CMotionEstimationCoreXMM {
 public:
  uint32_t Sad16Packed(const uint8_t* packed) override;
  uint32_t Sad16(const uint8_t* reference) override;
  uint32_t Sad16Prefetch(const uint8_t* reference) override;
  uint32_t SadHalfPel16(const uint8_t* reference, int halfX, int halfY) override;
  uint32_t Sad8(const uint8_t* reference) override;
  uint32_t SadBidirHalfPel16(const uint8_t* referenceA, const uint8_t* referenceB, int halfXA,
                             int halfYA, int halfXB, int halfYB) override;
  int RefineHalfPelHorz(const uint8_t* reference, int* direction, int predictedDirection,
                        int bias) override;
  int RefineHalfPelVert(const uint8_t* reference, int halfX, int* direction, int predictedDirection,
                        int bias) override;
  int RefineFullPelVert(const uint8_t* reference, int* direction) override;
  int SearchWindow8x4Stride2(const uint8_t* window, const uint8_t* block, int stride, int nx,
                             int ny, int* x, int* y) override;
  int SearchWindow4x4Threshold(const uint8_t* window, const uint8_t* block, int stride, int nx,
                               int ny, int* x, int* y, int threshold) override;
  int SearchWindowRowPairs(const uint8_t* window, const uint8_t* block, int stride, int nx, int ny,
                           int* x, int* y, int threshold) override;
  void DecimateBlock(uint8_t* destination, const uint8_t* source, int stride) override;
  int DecimateQuadrants(uint8_t* destination, const uint8_t* source, int stride) override;
  int SubPelSadsX16x16(const uint8_t* reference, uint16_t* sums, int* component, int predicted,
                       int bias) override;
  int SubPelSadsY16x16(const uint8_t* reference, int fraction, uint16_t* sums, int* component,
                       int predicted, int bias) override;
  int SubPelSadsX16x8(const uint8_t* reference, uint16_t* sums, int* component, int predicted,
                      int bias) override;
  int SubPelSadsY16x8(const uint8_t* reference, int fraction, uint16_t* sums, int* component,
                      int predicted, int bias) override;
  int SubPelSadsXHalves(const uint8_t* reference, uint16_t* sums, int* component, int predicted,
                        int bias) override;
  int SubPelSadsYHalves(const uint8_t* reference, int fraction, uint16_t* sums, int* component,
                        int predicted, int bias) override;
  void DecimatePlane(uint8_t* destination, const uint8_t* source, int width, int height,
                     int sourceStride, int sourceSkip) override;
  void DecimatePlaneAlt(uint8_t* destination, const uint8_t* source, int width, int height,
                        int sourceStride, int sourceSkip) override;
  void DecimateHorz(uint8_t* destination, const uint8_t* source, int width, int height,
                    int unused) override;
  void DecimateVert(uint8_t* destination, const uint8_t* source, int width, int height,
                    int sourceStride, int sourceSkip) override;
  void DecimateBlockHorz(uint8_t* destination, const uint8_t* source) override;
  void DecimateBlockVert(uint8_t* destination, const uint8_t* source) override;
  int SearchWindowThreshold2(const uint8_t* window, const uint8_t* block, int stride, int nx,
                             int ny, int* x, int* y, int threshold) override;
};

class CMotionEstimationCoreXMM3 : public CMotionEstimationCoreXMM2 {
 public:
  uint32_t Sad16(const uint8_t* reference) override;
  uint32_t Sad16Prefetch(const uint8_t* reference) override;
  uint32_t SadHalfPel16(const uint8_t* reference, int halfX, int halfY) override;
  int RefineHalfPelHorz(const uint8_t* reference, int* direction, int predictedDirection,
                        int bias) override;
  int RefineHalfPelVert(const uint8_t* reference, int halfX, int* direction, int predictedDirection,
                        int bias) override;
  int RefineFullPelVert(const uint8_t* reference, int* direction) override;
};

}  // namespace orx::dsp
