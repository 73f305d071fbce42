#pragma once
// The quantiser table block of a macroblock core and the constant tables it is built from.
//
// Coefficient layout of every 8x8 entry: index = 8 x horizontal frequency + vertical
// frequency (the transposed layout of the transforms). Raster matrices (weighting matrices,
// pixel blocks) are 8 x row + column.
#include <cstddef>
#include <cstdint>

namespace orx::dsp {

// One quantiser index n = 32 x quantiser-scale type + quantiser (1..31); 64 indices in all.
inline constexpr int kQuantIndexCount = 64;

struct QuantRow {
  uint16_t intraReciprocal[64];  // read unsigned: entries may reach 65535
  uint16_t interReciprocal[64];
  int16_t deadZoneThreshold[64];
};
static_assert(sizeof(QuantRow) == 384);

struct DequantRow {
  int32_t intraMultiplier[64];
  int32_t interMultiplier[64];
};
static_assert(sizeof(DequantRow) == 512);

struct DcQuantPair {
  int32_t luma;
  int32_t chroma;
};

struct DcMultiplierPair {
  int32_t luma;
  int32_t chroma;
};

// The table block of MPEG-1, MPEG-2, the Kalder stream, MPEG-4 Part 2 and VC-1. The caller owns
// it (128-byte aligned); an H.264 sequence holds 120 H264QuantRecords in the same storage.
struct alignas(128) QuantTableBlock {
  QuantRow quant[kQuantIndexCount];
  DequantRow dequant[kQuantIndexCount];
  DcQuantPair dcQuant[kQuantIndexCount];
  DcMultiplierPair dcMultiplier[kQuantIndexCount];
};
static_assert(offsetof(QuantTableBlock, quant) == 0);
static_assert(offsetof(QuantTableBlock, dequant) == 24576);
static_assert(offsetof(QuantTableBlock, dcQuant) == 57344);
static_assert(offsetof(QuantTableBlock, dcMultiplier) == 57856);
static_assert(sizeof(QuantTableBlock) == 58368);

// H.264 quantiser record of one internal QP (QP - 12) and kind (0 intra in I pictures,
// 1 intra in other pictures, 2 inter). Values in the H.264 column order of 4x4 coefficient
// blocks; the record is symmetric under transposition, so the order never changes a value.
struct alignas(16) H264QuantRecord {
  int16_t multiplier[16];
  int16_t threshold[16];
  int16_t levelScale[16];
  int16_t unused[16];
};
static_assert(sizeof(H264QuantRecord) == 128);
inline constexpr int kH264QuantRecordCount = 120;  // 40 QPs x 3 kinds
inline constexpr int kH264MaxInternalQp = 39;       // QP 51; internal QP = QP - 12
static_assert(kH264QuantRecordCount * sizeof(H264QuantRecord) <= sizeof(QuantTableBlock));

// Size of the work area handed to InitQuantTables; its 128-aligned start becomes the scratch area.
inline constexpr size_t kQuantWorkAreaSize = 1024;

// What InitQuantTables needs from the encoder's settings.
struct QuantTableParams {
  int32_t codec = 1;  // the settings' codec code: 0 MPEG-1, 1 MPEG-2, 2 Kalder, 3 MPEG-4,
                      // 4 VC-1, 5 H.264
  uint8_t intraMatrix[64] = {};  // raster order, weights 1..255
  uint8_t interMatrix[64] = {};
  bool mpegQuantisation = false;  // MPEG-4: MPEG-style quantisation with weighting matrices
};

// MPEG-2 non-linear quantiser scale for codes 1..31 (entry 0 unused).
extern const int kNonLinearQuantScale[32];
// Default intra_quantiser_matrix of MPEG-1/2, raster order. The default non-intra matrix is
// flat 16.
extern const uint8_t kDefaultIntraQuantMatrix[64];
// AAN scale factor of frequency k: sqrt(1/8) for 0, 1 / (4 cos(k pi / 16)) otherwise, with
// pi = 4 atan(1).
double AanScale(int k);
// VC-1 per-position scale (value x 2^-20) at 4 x (vertical frequency mod 4) + (horizontal mod 4).
extern const int32_t kVc1QuantScale[16];
// MPEG-4 luma and chroma dc_scaler for quantisers 1..31 (entry 0 unused).
extern const int kMpeg4LumaDcScaler[32];
extern const int kMpeg4ChromaDcScaler[32];
// VC-1 DC step size for quantisers 1..31 (entry 0 unused).
extern const int kVc1DcStep[32];
// H.264 forward multipliers and level scales by QP mod 6, for the position classes
// (both frequencies even, both odd, one odd).
extern const int32_t kH264ForwardMultiplier[6][3];
extern const int32_t kH264LevelScale[6][3];

// The position class of a 4x4 position: 0 both frequencies even, 1 both odd, 2 one odd.
int H264PositionClass(int row, int column);

// Rounds to the nearest integer, ties to even, and keeps the low 16 bits. Nothing calls it.
int16_t RoundToShort(double value);

}  // namespace orx::dsp
