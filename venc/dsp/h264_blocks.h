#pragma once
// The H.264 kernels of the macroblock core (slots 63-73, 75, 77, 79, 80, 82): the orders of
// their blocks, the words they take, and the sequences in which the macroblock coders call them.
//
// Orders (every H.264 kernel, quantiser record and scan table uses these):
// - Coefficient block: 16 int16 stored by columns, word 4u + v holds the coefficient of
//   horizontal frequency u and vertical frequency v; words 0-3 are the left column (u = 0) from
//   top to bottom. Levels and dequantised values use the same order. 16-byte aligned.
// - Residual block: 16 int16, row-major, word 4y + x is row y, column x. The 16 luma DC levels
//   of an intra 16x16 macroblock (the luma DC record) are row-major too: word 4v + u.
// - Chroma coefficient pair: 32 int16, word 2n + p is coefficient n (order above) of component
//   p (0 Cb, 1 Cr); before the transform word 8r + 2c + p is the residual at row r, column c.
// - Chroma DC record: 16 int16; word 2k + p is DC level k of component p (k: 0 DC, 1 horizontal,
//   2 vertical, 3 diagonal frequency), word 8 + 2k + p the dequantised DC of 4x4 pair k (0
//   top-left, 1 top-right, 2 bottom-left, 3 bottom-right).
// - Predictions: 4x4 is 16 bytes, 4 per row; an 8x4 luma pair or a chroma pair is 32 bytes, 8 per
//   row; the 16x16 intra prediction is 256 bytes as sixteen 4x4 blocks in raster block order;
//   the chroma intra prediction is 128 bytes as four 32-byte pairs in raster order.
//
// Calling sequences of the macroblock coders (the current quantiser record chosen first with
// CMBCore::SelectQuantRecord for the macroblock's QP, or the chroma QP, and kind):
// - intra 4x4 luma, per block in coding order: PredictIntra4x4Best (prediction and residual),
//   TransformQuant4x4 from word 0, Reconstruct4x4 with start 0 and the block's level count as
//   coded flag.
// - intra 16x16 luma: PredictIntra16x16 per candidate mode without output buffer (costs), once
//   more with the chosen mode into the output buffer; per block Subtract4x4 and
//   TransformQuant4x4 from word 1; TransformQuantLumaDc once; Reconstruct4x4 with start 1 per
//   block.
// - inter luma, per 8x8 quadrant: InterpolateLumaQpel8x8 (and for two references a second
//   prediction averaged in with AverageInPlace64), TransformQuant4x4Pair on the upper and the
//   lower 8x4 half, Reconstruct4x4Pair on each half with the sum of its two counts as coded
//   flag (a quadrant without residual is only reconstructed).
// - chroma: PredictIntraChroma (intra) or McChromaEighthPel per 4x4 pair (inter, averaged with
//   AverageInPlace32 for two references); TransformQuantChromaAc on each of the four pairs,
//   TransformQuantChromaDc once, ReconstructChroma per pair with the pair's Cb and Cr counts
//   summed as coded flag (chroma without residual is only reconstructed, with zero DCs).
//
// Which class supplies which H.264 body: the plain CMBCore has all of them (the reference);
// CMBCoreXMM2 (inherited by CMBCoreXMM3) overrides 63-66, 69-73, 75, 77 and 79; slots 67, 68, 80
// and 82 run as CMBCoreXMM supplies them (h264_transform_xmm.cpp, prediction_average_xmm.cpp),
// in every SSE2 and SSE3 encode. The other CMBCoreXMM and CMBCoreMMX H.264 bodies run only on
// processors without SSE2 and are built with those variants.
#include <cstddef>
#include <cstdint>

namespace orx::dsp {

// Flags word of PredictIntra16x16, PredictIntraChroma and PredictIntra4x4Best.
inline constexpr uint32_t kIntraModeMask = 0xFF;         // mode to build (4x4: predicted mode)
inline constexpr uint32_t kIntraLeftAvailable = 0x100;
inline constexpr uint32_t kIntraTopAvailable = 0x200;
inline constexpr uint32_t kIntraTopLeftAvailable = 0x400;
inline constexpr uint32_t kIntraTopRightAvailable = 0x800;  // 4x4 only
inline constexpr int kIntraBiasShift = 16;                  // 4x4 only: the mode penalty

// Where a 16x16 or chroma intra prediction may be asked for. The SSE2 DC modes read the row above
// the block and the 16 bytes left of its rows before they look at the availability bits, so the
// neighbour pointer must lie inside a reconstruction plane with replicated borders of at least
// kIntraPlaneBorderBytes left and right and kIntraPlaneBorderRows above and below.
inline constexpr int kIntraPlaneBorderBytes = 32;
inline constexpr int kIntraPlaneBorderRows = 16;

// A reconstruction plane as the intra coder addresses it: the memory that holds it, the
// picture's first sample, its row pitch, and the picture's width (bytes) and rows.
struct IntraPlane {
  const uint8_t* memory;
  size_t bytes;
  const uint8_t* origin;
  int stride;
  int width;
  int rows;
};

// True when the block at `neighbours` (its top-left sample, `blockRows` rows of `blockBytes`
// bytes) lies in the picture, the plane keeps borders of kIntraPlaneBorderBytes on both sides
// and kIntraPlaneBorderRows above, and every byte the SSE2 intra kernels read lies in the
// plane's memory. The intra coder asserts it before slots 72 and 75.
bool IntraPositionReadable(const IntraPlane& plane, const uint8_t* neighbours, int blockBytes,
                           int blockRows);

}  // namespace orx::dsp
