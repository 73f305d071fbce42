#pragma once
// Variable-length code tables of the MPEG-4 Part 2 style macroblock layer that the Kalder and
// MPEG-4 encoders share: intra DC sizes, TCOEF run/level/last codes of intra and inter blocks
// with their escape limits, MCBPC, CBPY, and the B-VOP and quantiser-change codes. The source
// rows are text (the generated mpeg4_*.inc files beside this header); the lookup tables are
// built from them once per process.
#include <cstdint>
#include <span>

#include "venc/mbenc/mpeg12_tables.h"

namespace orx::venc {

// One TCOEF code word with its meaning in the intra and in the inter table.
struct Mpeg4TcoefRow {
  int intraLast, intraRun, intraLevel;
  int interLast, interRun, interLevel;
  const char* code;  // without the sign bit
};
// One dct_dc_size code: component 0 luminance, 1 chrominance.
struct Mpeg4DcSizeRow {
  int component;
  int size;
  const char* code;
};
// One macroblock-level code: table 0 MCBPC of I-VOPs, 1 MCBPC of P-VOPs (by mb_type and cbpc),
// 2 CBPY (by the intra luma pattern).
struct Mpeg4MbCodeRow {
  int table;
  int type;
  int cbpc;
  const char* code;
};

std::span<const Mpeg4TcoefRow> Mpeg4TcoefRows();    // 102 rows
std::span<const Mpeg4DcSizeRow> Mpeg4DcSizeRows();  // sizes 0..12 of both components
std::span<const Mpeg4MbCodeRow> Mpeg4MbCodeRows();

// Turns a string of '0' and '1' into a value and a length (other characters are skipped).
void ParseBitString(const char* text, uint32_t* value, int* length);

// Scans by scan position: the raster position (8 x row + column) of each position.
enum Mpeg4Scan { kScanZigzag = 0, kScanAlternateHorizontal = 1, kScanAlternateVertical = 2 };
const uint8_t* Mpeg4ScanRaster(Mpeg4Scan scan);
// The default intra and non-intra matrices of MPEG-4 quantisation, raster order.
const uint8_t* Mpeg4DefaultIntraMatrix();
const uint8_t* Mpeg4DefaultNonIntraMatrix();

// DC differentials cover the whole range of quantised DC levels.
inline constexpr int kMpeg4DcLimit = 2047;

// Escape limits: largest level coded for each run, largest run coded for each level.
inline constexpr int kLmaxIntra[15] = {27, 10, 5, 4, 3, 3, 3, 3, 2, 2, 1, 1, 1, 1, 1};
inline constexpr int kLmaxIntraLast[21] = {8, 3, 2, 2, 2, 2, 2, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1};
inline constexpr int kLmaxInter[27] = {12, 6, 4, 3, 3, 3, 3, 2, 2, 2, 2, 1, 1, 1,
                                       1,  1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1};
inline constexpr int kLmaxInterLast[41] = {3, 2, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1,
                                           1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1,
                                           1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1};
// Index level - 1.
inline constexpr int kRmaxIntra[27] = {14, 9, 7, 3, 2, 1, 1, 1, 1, 1, 0, 0, 0, 0,
                                       0,  0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0};
inline constexpr int kRmaxIntraLast[8] = {20, 6, 1, 0, 0, 0, 0, 0};
inline constexpr int kRmaxInter[12] = {26, 10, 6, 2, 1, 1, 0, 0, 0, 0, 0, 0};
inline constexpr int kRmaxInterLast[3] = {40, 1, 0};

// One of the four TCOEF lookup tables: packed entries (code with its sign bit left-aligned,
// length in the low 8 bits; 0 where the table has no code), index (level + levelLimit) x
// runStride + run.
struct Mpeg4TcoefTable {
  const uint32_t* entries;
  int levelLimit;
  int runLimit;
  int runStride;
  const int* lmax;
  int lmaxCount;
  const int* rmax;
  int rmaxCount;
  int last;
  uint32_t Entry(int level, int run) const {
    if (run > runLimit || level < -levelLimit || level > levelLimit) return 0;
    return entries[(level + levelLimit) * runStride + run];
  }
};

struct Mpeg4Tables {
  // Indexed by differential + 2047: the dct_dc_size code, the differential's bits and, above
  // size 8, the marker bit; right-aligned code and its length.
  VlcCode dcLuma[2 * kMpeg4DcLimit + 1];
  VlcCode dcChroma[2 * kMpeg4DcLimit + 1];
  uint32_t intraNotLast[55 * 16];  // level -27..27, run 0..14
  uint32_t intraLast[17 * 32];     // level -8..8, run 0..20
  uint32_t interNotLast[25 * 32];  // level -12..12, run 0..26
  uint32_t interLast[7 * 64];      // level -3..3, run 0..40
  Mpeg4TcoefTable intra[2];        // by last
  Mpeg4TcoefTable inter[2];
  VlcCode mcbpcIntra[8];           // I-VOPs: cbpc + 4 when the quantiser changes
  VlcCode mcbpcP[5][4];            // P-VOPs: mb_type 0..4, cbpc
  VlcCode cbpy[16];                // by the intra luma pattern (bit 3 = Y0)
};

// The process-wide tables, built on the first call (thread-safe).
const Mpeg4Tables& GetMpeg4Tables();

// The escape family: the code of (last, run, level) when the table has none, as the shortest
// of the three escape modes (a tie between modes 1 and 2 gives mode 2). Left-aligned code.
uint32_t Mpeg4Escape(const Mpeg4TcoefTable& table, int level, int run, int* length);
uint32_t Mpeg4EscapeIntra(int level, int run, int* length);
uint32_t Mpeg4EscapeIntraLast(int level, int run, int* length);
uint32_t Mpeg4EscapeInter(int level, int run, int* length);
uint32_t Mpeg4EscapeInterLast(int level, int run, int* length);

inline constexpr VlcCode kMpeg4Escape{0x3, 7};  // 0000011
inline constexpr int kMpeg4EscapeMode3Bits = 30;

// B-VOP mb_type lengths by (forward, backward): value 1 in that many bits.
inline constexpr int kBMbTypeBidirectionalLength = 2;  // 01
inline constexpr int kBMbTypeBackwardLength = 3;       // 001
inline constexpr int kBMbTypeForwardLength = 4;        // 0001

// dquant codes by quantiser change + 2 (-2..+2; 0 has none).
inline constexpr uint32_t kDquantCode[5] = {1, 0, 0, 2, 3};

}  // namespace orx::venc
