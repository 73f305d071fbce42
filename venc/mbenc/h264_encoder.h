#pragma once
// CMBEncoder_H264: the macroblock encoder of codec code 5. It writes an Annex B byte stream
// with CAVLC entropy coding only (the entropy-mode flag stays 0). This header holds the class,
// its per-sequence set-up (slice layout, the CAVLC level tables) and the coding context it lays
// out in the context block: the coefficient-count grids that predict nC, the neighbour offset
// tables and the block tables. The headers are in h264_headers.cpp, the residual coder in
// h264_cavlc.cpp.
//
// Every QP the class handles is the internal one, the standard's QP minus 12 (0..39 for QP
// 12..51); the picture parameter set and the slice header turn it back.
#include <cstdint>
#include <vector>

#include "venc/mbenc/h264_cavlc.h"
#include "venc/mbenc/mb_encoder.h"

namespace orx::venc {

// Internal QP = QP - 12.
inline constexpr int kH264QpOffset = 12;
// The initial-QP base that every picture parameter set restores.
inline constexpr int kH264InitialQpBase = 14;

// Slice layout modes.
inline constexpr int kSlicesByCount = 1;
inline constexpr int kSlicesBySize = 2;

struct H264SliceLayout {
  int mode = kSlicesByCount;
  int slices = 0;       // slices per picture (0: one slice)
  int byteLimit = 0;    // slice size limit in bytes (mode 2)
  int rowsPerSlice = 0;
  int remainderRows = 0;
};

// The layout of the slice word (low byte slices per picture, bits 8..23 a byte limit) for a
// picture of mbRows macroblock rows. Interlaced sequences keep macroblock pairs in one slice.
H264SliceLayout ComputeH264SliceLayout(int32_t sliceWord, int mbRows, bool progressive);
// Macroblock rows of each slice of a count-mode layout: the first slices take one extra row
// (two in interlaced sequences, which code macroblock pairs) until the remainder is used up.
std::vector<int> H264SliceRows(const H264SliceLayout& layout, int mbRows, bool progressive);

// The sequence parameter set of the settings as a complete NAL unit without start code: the
// header byte and the escaped payload. A function of the settings alone, so that the
// component's codec-private header and the stream carry the same bytes.
// mbAdaptiveFrameField: the mark of the picture the set is written for (interlaced only).
std::vector<uint8_t> H264SequenceParameterSetNal(const EncoderSettings& settings,
                                                 bool mbAdaptiveFrameField);
// The same set before escaping, header byte first (what the stream writer sends through its
// escaped-unit writer).
std::vector<uint8_t> H264SequenceParameterSetRbsp(const EncoderSettings& settings,
                                                  bool mbAdaptiveFrameField);

// The picture parameter set before escaping, header byte first: a function of the settings,
// the entropy mode and the initial-QP base (internal QP).
std::vector<uint8_t> H264PictureParameterSetRbsp(const EncoderSettings& settings, int entropyMode,
                                                 int initialQpBase);
// The picture parameter set every stream opens with (CAVLC, the initial-QP base), escaped,
// without start code.
std::vector<uint8_t> H264PictureParameterSetNal(const EncoderSettings& settings);

// One entry of a block table: the block's luma (or chroma) grid offset relative to the
// macroblock's first entry, and its pixel offset relative to the macroblock's first sample.
struct H264BlockEntry {
  int32_t gridOffset;
  int32_t pixelOffset;
};

// The raster position of block k of the block order (self-inverse).
inline constexpr uint8_t kH264BlockToRaster[16] = {0, 1, 4, 5, 2, 3, 6, 7,
                                                  8, 9, 12, 13, 10, 11, 14, 15};

// Neighbour tables of the coding context: configurations x entries of 16-bit offsets.
inline constexpr int kNeighbourConfigs[8] = {8, 8, 8, 8, 8, 8, 16, 32};
enum H264NeighbourTable : int {
  kNeighbourLumaLeft = 0,
  kNeighbourLumaTop,
  kNeighbourChromaLeft,
  kNeighbourChromaTop,
  kNeighbourBlockLeft,
  kNeighbourBlockTop,
  kNeighbourBlockTopRight,
  kNeighbourBlockTopLeft,
};

// The (dx, dy) source pair, in 4x4-block units, of one neighbour table entry. Configuration 0
// (frame macroblocks) is filled here; the macroblock-pair configurations answer (0, 0) until
// their derivation is built, and this is the one place that will hold it.
struct NeighbourStep {
  int8_t dx;
  int8_t dy;
};
NeighbourStep H264NeighbourSource(H264NeighbourTable table, int configuration, int block);

class CMBEncoder_H264 : public CMBEncoder {
 public:
  CMBEncoder_H264() = default;

  // ---- codec operations, in slot order ----
  void EncodePictureBody(CPicture* picture) override;
  void EncodeRow() override {}  // never row by row
  void WriteSequenceHeader(CPicture* picture) override;
  void WriteGopHeader(CPicture* picture) override;
  void WritePictureHeader(CPicture* picture, int vbvDelay) override;
  void WriteSequenceEnd() override {}  // no end-of-sequence unit
  void InitTables() override;
  uint32_t GetContextSize() override;
  void SetContext(uint8_t* context) override;

  // ---- header helpers ----
  void PutSe(int32_t v) { PutUe(v > 0 ? static_cast<uint32_t>(2 * v - 1) : static_cast<uint32_t>(-2 * v)); }
  // Long form: a four-byte start code and the header byte, opening an escaped unit.
  void WriteNalHeader(int nalRefIdc, int nalUnitType);
  void WriteTrailingBits();
  void WriteAccessUnitDelimiter(int primaryPicType);

  // ---- slice layer and picture loop (h264_picture.cpp) ----
  // One slice header; firstRow in macroblock rows, the first macroblock's column is the coding
  // position's. sliceQp is internal and becomes the loop's previous QP.
  void WriteSliceHeader(CPicture* picture, int firstRow, int sliceQp);
  // The trailing mb_skip_run (P and B pictures with a pending run) and the slice's trailing bits.
  void WriteSliceEnd();

  // ---- macroblock layer (h264_macroblock.cpp) ----
  // Writes the complete macroblock layer of one coded macroblock; sets MBINFO_QUANT when it
  // sends mb_qp_delta. The grids point at the macroblock's first entry.
  void WriteMBResidual(MBInfo* mb, const uint8_t* lumaGrid, const uint8_t* chromaGrid,
                       int firstOfPair, const H264BlockEntry* lumaBlocks,
                       const H264BlockEntry* chromaBlocks);

  // ---- intra coding (h264_intra.cpp) ----
  void CodeIntra4x4MB(uint8_t* recon, MBInfo* mb, uint8_t* lumaGrid, const H264BlockEntry* blocks);
  void CodeIntra16x16MB(uint8_t* recon, MBInfo* mb, uint8_t* lumaGrid, const H264BlockEntry* blocks);
  void CodeIntraChroma(uint8_t* recon, MBInfo* mb, uint8_t* chromaGrid, const H264BlockEntry* blocks);

  // ---- inter coding (h264_inter.cpp) ----
  void CodeInterLuma(uint8_t* recon, MBInfo* mb, uint8_t* lumaGrid, const H264BlockEntry* blocks);
  // Reconstructs the quadrants of the mask (bit q: quadrant q) from their prediction alone and
  // clears their counts; their levels stay in the buffer unwritten.
  void DropLumaQuadrants(uint8_t* recon, MBInfo* mb, uint8_t* lumaGrid,
                         const H264BlockEntry* blocks, int unused, uint32_t mask);
  void CodeInterChroma(uint8_t* recon, MBInfo* mb, uint8_t* chromaGrid, const H264BlockEntry* blocks);
  // Removes the chroma residual of a coded inter macroblock and reconstructs the prediction.
  void DropChromaResidual(uint8_t* recon, MBInfo* mb, uint8_t* chromaGrid,
                          const H264BlockEntry* blocks);

  // ---- vector prediction, skip and direct (h264_mv_prediction.cpp) ----
  void PredictMvP16x16(MBInfo* mb);
  // One partition of a P macroblock: first 4x4 block and the block whose top-right neighbour
  // is C (block order); the fourth argument is not read.
  void PredictMvPartition(MBInfo* mb, int firstBlock, int topRightBlock, int unused);
  // Every partition of the macroblock's kind, in order.
  void PredictMvPartitions(MBInfo* mb);
  void PredictMvB(MBInfo* mb);

  // The partition kind the coder and the writer use: MBINFO_PART_16X16 unless a P picture
  // with partition search names 16x8, 8x16 or 8x8. B macroblocks are always coded as 16x16.
  uint32_t PartitionKind(const MBInfo* mb) const;
  // The list-0 (list 0) or list-1 vector that the 8x8 quadrant q is predicted with.
  PackedMV QuadrantVector(const MBInfo* mb, int list, int quadrant) const;

  // Predictors kept for the writer: slot 0 of list 0, slot 0 of list 1, then list 0 of slots
  // 1, 2 and 3 (slot = first 4x4 block of the partition / 4).
  const PackedMV* VectorPredictors() const { return mvPredictors_; }
  PackedMV SkipVector() const { return skipVector_; }
  const PackedMV* DirectVectors() const { return directVectors_; }
  // Mode penalties of the current picture: intra 4x4 (already shifted left by 16), chroma.
  uint32_t Intra4x4Penalty() const { return intra4x4Penalty_; }
  int ChromaPenalty() const { return chromaPenalty_; }

  // Luma decimation of an inter macroblock: the summed cost of its coded 8x8 blocks; the blocks
  // to zero are ORed into *mask (bit b for 8x8 block b in raster order).
  int DecimateBlocks(const MBInfo* mb, const uint8_t* lumaGrid, const H264BlockEntry* lumaBlocks,
                     uint32_t* mask);

  // ---- state the picture loop and the tests read ----
  const H264SliceLayout& SliceLayout() const { return sliceLayout_; }
  uint32_t FrameNumberCounter() const { return frameNumber_; }
  int InitialQpBase() const { return initialQpBase_; }
  int EntropyMode() const { return entropyMode_; }
  uint8_t* LumaCountGrid() const { return lumaGrid_; }
  uint8_t* ChromaCountGrid() const { return chromaGrid_; }
  const int16_t* NeighbourTable(H264NeighbourTable table) const { return neighbour_[table]; }
  const H264BlockEntry* LumaBlocks(bool field) const { return lumaBlocks_[field ? 1 : 0]; }
  const H264BlockEntry* ChromaBlocks(bool field) const { return chromaBlocks_[field ? 1 : 0]; }
  int16_t* DcArea() const { return dcArea_; }
  uint8_t* SecondWorkArea() const { return secondWorkArea_; }

  // The luma levels the decimation reads: 16 blocks of 16 levels, block b at raster position
  // b, each column-major (the inter luma coding leaves them there).
  int16_t* LumaLevels() const { return coefficients_; }
  // Chroma levels: four 4x4 pairs of 32 levels, U and V interleaved.
  int16_t* ChromaLevels() const { return coefficients_ + 256; }
  // Chroma DC record: 8 levels (U0 V0 .. U3 V3), then the 8 dequantised DCs.
  int16_t* ChromaDcRecord() const { return dcArea_ + 16; }

 protected:
  friend void WriteCavlcBlock(CMBEncoder_H264* encoder, const int16_t* levels,
                              const uint32_t* scan, int totalCoeff, int ncClass, int maxIndex);

  // Access unit delimiter when the stream type asks for one and the unit has none yet.
  void OpenAccessUnit(int primaryPicType);
  bool StreamHasDelimiters() const;
  void WriteBufferingPeriod();
  void WritePictureTiming(const CPicture* picture);
  void WritePictureParameterSet();

  // ---- picture loop state ----
  void EncodeFrameRows(CPicture* picture);
  void StartSlice(CPicture* picture, int row, MBInfo* record, int qp);
  void CodeMacroblock(CPicture* picture, MBInfo* mb, int row, int column);
  void PadRow(CPicture* picture, int row);
  // Total coefficient count of the macroblock's residual (luma 8x8, chroma AC and DC).
  bool HasNoCoefficients() const;
  int Nc(const uint8_t* grid, int entry, bool leftInside, bool topInside, int leftStep,
         int topStep) const;
  uint8_t* CurrentSourceLuma() const { return state_.srcLuma; }
  // The chroma residual of the prediction in the chroma prediction buffer: coded (AC, then
  // the 2x2 DCs) or, when keep is false, none; then the reconstruction of the four pairs.
  void CodeChromaResidual(uint8_t* recon, uint8_t* chromaGrid, const H264BlockEntry* blocks, bool keep);
  // The 8x8 luma prediction of quadrant q from one reference plane.
  void PredictLumaQuadrant(uint8_t* destination, const uint8_t* plane, PackedMV mv, int quadrant);

  int sliceStartRow_ = 0;
  int sliceStartAddress_ = 0;
  MBInfo* sliceStartRecord_ = nullptr;
  int leftBoundary_ = 0;  // 4 x the first column of the slice in the slice's first row
  int remainderLeft_ = 0;
  int sliceLength_ = 0;
  bool sliceHasMacroblock_ = false;
  bool leftAvailable_ = false;
  bool aboveAvailable_ = false;
  bool aboveRightAvailable_ = false;
  bool aboveLeftAvailable_ = false;
  int skipRun_ = 0;
  int previousQp_ = 0;
  int currentQp_ = 0;
  int intraMbTypeOffset_ = 0;
  bool noPartition_ = true;
  uint32_t intra4x4Penalty_ = 0;
  int chromaPenalty_ = 0;
  const MBInfo* colocated_ = nullptr;
  int decimationScore_ = 9999;

  // Results of the macroblock analysis for the writer.
  uint8_t intra4x4Codes_[16] = {};
  int intra16x16Mode_ = 2;
  int chromaMode_ = 0;
  int lumaDcCount_ = 0;
  int chromaDcCount_[2] = {};
  int chromaAcCount_[2] = {};
  int luma8x8Count_[4] = {};
  PackedMV mvPredictors_[5] = {};
  PackedMV skipVector_ = {};
  PackedMV directVectors_[2] = {};
  int directRefs_[2] = {};

  H264SliceLayout sliceLayout_;
  int32_t limiterEstimate_ = 0;
  int32_t sliceStartBits_ = 0;

  int32_t entropyMode_ = 0;
  int32_t initialQpBase_ = kH264InitialQpBase;
  int32_t sliceQp_ = 0;
  uint32_t frameNumber_ = 0;

  // Access-unit bookkeeping of the delimiters and timing messages.
  bool delimiterWritten_ = false;
  bool bufferingPeriodWritten_ = false;
  uint32_t accessUnitsSinceBufferingPeriod_ = 0;
  uint32_t codedPictures_ = 0;
  int32_t firstDisplayNumber_ = 0;

  uint8_t* lumaGrid_ = nullptr;
  uint8_t* chromaGrid_ = nullptr;
  int16_t* dcArea_ = nullptr;
  uint8_t* secondWorkArea_ = nullptr;
  int16_t* neighbour_[8] = {};
  H264BlockEntry lumaBlocks_[2][16] = {};
  H264BlockEntry chromaBlocks_[2][4] = {};
};

}  // namespace orx::venc
