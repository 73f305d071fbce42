#pragma once
// Scalar models of the running (SSE2) variants where their results differ from the plain
// class. Each is written from the arithmetic the variant is defined by, independently of the
// SIMD code, and is the harness reference for its slot.
#include <cstdint>

#include "venc/dsp/mb_core.h"

namespace orx::dsp::model {

// 16-bit two's-complement wrap-around, as packed 16-bit lanes compute.
inline int Wrap16(int v) { return static_cast<int16_t>(static_cast<uint16_t>(v)); }

// Transforms, in place on 64 values.
void ForwardDct16(int16_t* block);               // AAN in 16-bit lanes, vertical pass first
void ForwardTransformVc1Bits16(int16_t* block);  // VC-1 1-D pass in 16 bits, columns first
void InverseDct13(int16_t* block);               // 13-bit constants, 32-bit sums, saturated passes
void InverseTransformVc1Bits16(int16_t* block);  // halved column stage, every sum modulo 2^16

// Quantisation where the running variant rounds differently from the plain class.
// Slot 8: a negative exact multiple of 65536 comes out one step nearer zero.
int QuantizeInterClip2047(const CMBCore& core, int16_t* block);
// Slot 15: no [0, 2047] limit before the rounding.
void ReconstructIntraDcOnly(const CMBCore& core, int16_t* block, int blockIndex);

// Residual slots decide the coded flags by the threshold.
int SubtractBlock(int16_t* block, const uint8_t* current, const uint8_t* prediction,
                  int currentStride, int predictionStride, int threshold);
int SubtractChromaPair(int16_t* blocks, const uint8_t* current, const uint8_t* prediction,
                       int currentStride, int predictionStride, int threshold);

// AC prediction of the running variant: the plain outputs, store[0] written (row: block[0] x
// quantiser; column: 0), and the gain with its -32768 veto.
void StoreAcPredRow(const int16_t* block, int16_t* store, int quantizer);
void StoreAcPredColumn(const int16_t* block, int16_t* store, int quantizer);
int PredictAc(const int16_t* block, int16_t* output, int16_t* store, int available, int quantizer,
              bool column, bool vc1);

}  // namespace orx::dsp::model
