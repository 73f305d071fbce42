#pragma once
// Variable-length code tables of the MPEG-1 and MPEG-2 macroblock layer. The source rows of the
// DC size and DCT coefficient tables are text (one data file each, beside this header); the
// lookup tables the writers use are built from them once per process.
#include <cstdint>
#include <span>

namespace orx::venc {

// A code of up to 32 bits, right-aligned, with its length; length 0 means "no code".
struct VlcCode {
  uint32_t code = 0;
  uint8_t length = 0;
};

// One row of a dct_dc_size table: the size and its code as a string of 0 and 1 (other
// characters are ignored).
struct DcSizeRow {
  int size;
  const char* code;
};

// One row of a DCT coefficient table: run, positive level and the code without its sign bit.
struct AcCodeRow {
  int run;
  int level;
  const char* code;
};

std::span<const DcSizeRow> DcSizeLumaRows();    // 12 rows, sizes 0..11
std::span<const DcSizeRow> DcSizeChromaRows();  // 12 rows
std::span<const AcCodeRow> DctTableZeroRows();  // 111 rows
std::span<const AcCodeRow> DctTableOneRows();   // 111 rows

// Reads a code string; the characters other than 0 and 1 are skipped.
VlcCode ParseCodeString(const char* text);

inline constexpr int kDcDifferentialLimit = 2047;
inline constexpr int kAcLevelLimit = 40;  // the tables hold levels -40..40
inline constexpr int kAcRunLimit = 31;    // and runs 0..31
inline constexpr int kAcRuns = 32;

// Index of (level, run) in an AC table.
constexpr int AcIndex(int level, int run) { return (level + kAcLevelLimit) * kAcRuns + run; }

// Packed entries of the DC and AC tables: the code left-aligned in the high bits and a
// length in the low 8 bits.
constexpr uint32_t PackedLength(uint32_t entry) { return entry & 0xFF; }
constexpr uint32_t PackedBits(uint32_t entry) { return entry >> (32 - PackedLength(entry)); }

struct Mpeg12Tables {
  // Indexed by differential + 2047: the dct_dc_size code followed by dct_dc_differential,
  // length in the low byte.
  uint32_t dcLuma[2 * kDcDifferentialLimit + 1];
  uint32_t dcChroma[2 * kDcDifferentialLimit + 1];
  // Indexed by AcIndex(level, run): code with its sign bit, and the code length + 1 (the sign)
  // in the low byte; 0 where the pair has no code (escape).
  uint32_t acTableZero[(2 * kAcLevelLimit + 1) * kAcRuns];
  uint32_t acTableOne[(2 * kAcLevelLimit + 1) * kAcRuns];
  VlcCode addressIncrement[34];  // index 1..33
  // Indexed by picture type - 1 (I, P, B) and the macroblock flags bits 0..4 (intra, pattern,
  // backward, forward, quantiser); length 0 where the type does not exist.
  VlcCode macroblockType[3][32];
  VlcCode codedBlockPattern[64];
  VlcCode motionCode[33];  // magnitude 0..32 (17..32 continue the code for MPEG-4 callers)
};

inline constexpr VlcCode kMacroblockEscape{0x08, 11};  // 0000 0001 000
inline constexpr VlcCode kEndOfBlockZero{0x2, 2};      // 10
inline constexpr VlcCode kEndOfBlockOne{0x6, 4};       // 0110
inline constexpr VlcCode kDctEscape{0x1, 6};           // 0000 01

// The process-wide tables, built on the first call (thread-safe).
const Mpeg12Tables& GetMpeg12Tables();

}  // namespace orx::venc
