#pragma once
// The H.264 CAVLC residual coder: the level code tables (built once per process), the static
// coeff_token, total_zeros and run_before tables, the block writer, the coefficient cost of the
// luma decimation, and the scans the coder is handed.
#include <cstdint>

namespace orx::venc {

class CMBEncoder_H264;

// A code word: the code right-aligned and its length (0: no such code).
struct CavlcCode {
  uint32_t code;
  int length;
};

// ---- level tables ----
inline constexpr int kLevelTableWords = 2048;
inline constexpr int kLevelTableCount = 7;  // suffixLength 0..6
inline constexpr int kLevelEntryBase = 1028;  // word of level 0
// Header words of a level table.
inline constexpr int kLevelThreshold = 0;     // T: the next table follows when |level| > T
inline constexpr int kLevelThreshold2 = 1;    // 2T
inline constexpr int kLevelRange = 2;         // R: |level| < R has a direct entry
inline constexpr int kLevelRange2 = 3;        // 2R - 2

// Builds the seven level tables on the first call in the process; later calls return at once.
void BuildCavlcLevelTables();
// Table of suffixLength n (0..6); valid after BuildCavlcLevelTables. Entries 1028 + level hold
// the code left-aligned with its length in the low 5 bits.
const uint32_t* CavlcLevelTable(int suffixLength);
// How many times the tables were built in this process (the tests check it stays 1).
int CavlcLevelTableBuilds();

// The largest magnitude the escape of a table can write: R + 2047.
int CavlcLargestEscapedMagnitude(int suffixLength);

// ---- static code tables ----
// coeff_token of nC class 0..3 (nC 0-1, 2-3, 4-7, 8 and more) or 4 (chroma DC).
CavlcCode CoeffTokenCode(int ncClass, int totalCoeff, int trailingOnes);
// total_zeros of a 4x4 block (chromaDc false, TotalCoeff 1..15) or of chroma DC (1..3).
CavlcCode TotalZerosCode(bool chromaDc, int totalCoeff, int totalZeros);
// run_before for zerosLeft (7 and more share a row).
CavlcCode RunBeforeCode(int zerosLeft, int runBefore);

// ---- the coder ----
// Writes one residual block into the encoder's word buffer. levels[scan[i]] is the level at
// scan position i; totalCoeff the number of non-zero levels in positions 0..maxIndex; ncClass
// 0..3 from nC or 4 for chroma DC; maxIndex = maxNumCoeff - 1 (15, 14 for AC blocks, 3 for
// chroma DC). Magnitudes beyond the escape's reach are clamped (with a debug line).
void WriteCavlcBlock(CMBEncoder_H264* encoder, const int16_t* levels, const uint32_t* scan,
                     int totalCoeff, int ncClass, int maxIndex);

// The decimation cost of a block: 999999 for any magnitude of 2 or more, else the cost of the
// zero run before each 1. The fourth argument is not used.
int CoefficientCost(const int16_t* levels, const uint32_t* scan, int totalCoeff, int unused);

// nC (0..16) -> class 0..3.
inline int NcClass(int nC) { return nC < 2 ? 0 : nC < 4 ? 1 : nC < 8 ? 2 : 3; }

// ---- scans (coefficient indices; x2 tables address interleaved U/V chroma levels) ----
extern const uint32_t kH264FrameScan[16];         // column-major 4x4 block
extern const uint32_t kH264FieldScan[16];         // column-major 4x4 block
extern const uint32_t kH264ChromaFrameScan[16];   // x2
extern const uint32_t kH264ChromaFieldScan[16];   // x2
extern const uint32_t kH264LumaDcFrameScan[16];   // row-major DC block
extern const uint32_t kH264LumaDcFieldScan[16];   // row-major DC block
extern const uint32_t kH264ChromaDcScan[4];       // interleaved U/V DC levels

}  // namespace orx::venc
