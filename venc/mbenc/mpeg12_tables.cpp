#include "venc/mbenc/mpeg12_tables.h"

#include <cstdlib>
#include <mutex>

namespace orx::venc {
namespace {

constexpr DcSizeRow kDcSizeLuma[] = {
#include "venc/mbenc/mpeg12_dc_size_luma.inc"
};
constexpr DcSizeRow kDcSizeChroma[] = {
#include "venc/mbenc/mpeg12_dc_size_chroma.inc"
};
constexpr AcCodeRow kDctTableZero[] = {
#include "venc/mbenc/mpeg12_dct_table_zero.inc"
};
constexpr AcCodeRow kDctTableOne[] = {
#include "venc/mbenc/mpeg12_dct_table_one.inc"
};
static_assert(std::size(kDcSizeLuma) == 12 && std::size(kDcSizeChroma) == 12);
static_assert(std::size(kDctTableZero) == 111 && std::size(kDctTableOne) == 111);

// macroblock_address_increment 1..33, ISO/IEC 13818-2 Table B.1.
constexpr const char* kAddressIncrement[34] = {
    "",            "1",           "011",         "010",         "0011",
    "0010",        "0001 1",      "0001 0",      "0000 111",    "0000 110",
    "0000 1011",   "0000 1010",   "0000 1001",   "0000 1000",   "0000 0111",
    "0000 0110",   "0000 0101 11", "0000 0101 10", "0000 0101 01", "0000 0101 00",
    "0000 0100 11", "0000 0100 10", "0000 0100 011", "0000 0100 010", "0000 0100 001",
    "0000 0100 000", "0000 0011 111", "0000 0011 110", "0000 0011 101", "0000 0011 100",
    "0000 0011 011", "0000 0011 010", "0000 0011 001", "0000 0011 000",
};

// macroblock_type, ISO/IEC 13818-2 Tables B.2 (I), B.3 (P) and B.4 (B), by the flags
// intra (1), pattern (2), backward (4), forward (8) and quantiser (16).
struct MacroblockTypeRow {
  int pictureType;
  unsigned flags;
  const char* code;
};
constexpr unsigned kIntra = 1, kPattern = 2, kBackward = 4, kForward = 8, kQuant = 16;
constexpr MacroblockTypeRow kMacroblockTypes[] = {
    {1, kIntra, "1"},
    {1, kQuant | kIntra, "01"},
    {2, kForward | kPattern, "1"},
    {2, kPattern, "01"},
    {2, kForward, "001"},
    {2, kIntra, "0001 1"},
    {2, kQuant | kForward | kPattern, "0001 0"},
    {2, kQuant | kPattern, "0000 1"},
    {2, kQuant | kIntra, "0000 01"},
    {3, kForward | kBackward, "10"},
    {3, kForward | kBackward | kPattern, "11"},
    {3, kBackward, "010"},
    {3, kBackward | kPattern, "011"},
    {3, kForward, "0010"},
    {3, kForward | kPattern, "0011"},
    {3, kIntra, "0001 1"},
    {3, kQuant | kForward | kBackward | kPattern, "0001 0"},
    {3, kQuant | kForward | kPattern, "0000 11"},
    {3, kQuant | kBackward | kPattern, "0000 10"},
    {3, kQuant | kIntra, "0000 01"},
};

// coded_block_pattern 0..63, ISO/IEC 13818-2 Table B.9 (0 exists only in MPEG-2 syntax).
constexpr const char* kCodedBlockPattern[64] = {
    "0000 0000 1", "0101 1",     "0100 1",     "0011 01",    "1101",       "0010 111",
    "0010 011",    "0001 1111",  "1100",       "0010 110",   "0010 010",   "0001 1110",
    "1001 1",      "0001 1011",  "0001 0111",  "0001 0011",  "1011",       "0010 101",
    "0010 001",    "0001 1101",  "1000 1",     "0001 1001",  "0001 0101",  "0001 0001",
    "0011 11",     "0000 1111",  "0000 1101",  "0000 0001 1", "0111 1",    "0000 1011",
    "0000 0111",   "0000 0011 1", "1010",      "0010 100",   "0010 000",   "0001 1100",
    "0011 10",     "0000 1110",  "0000 1100",  "0000 0001 0", "1000 0",    "0001 1000",
    "0001 0100",   "0001 0000",  "0111 0",     "0000 1010",  "0000 0110",  "0000 0011 0",
    "1001 0",      "0001 1010",  "0001 0110",  "0001 0010",  "0110 1",     "0000 1001",
    "0000 0101",   "0000 0010 1", "0110 0",    "0000 1000",  "0000 0100",  "0000 0010 0",
    "111",         "0101 0",     "0100 0",     "0011 00",
};

// motion_code magnitudes 0..16 (ISO/IEC 13818-2 Table B.10, without the sign bit); MPEG-4
// callers go on to 32 with the codes of the MPEG-4 motion vector table, whose first 17 are the
// same (the generated rows hold all 33).
constexpr const char* kMotionCode[17] = {
    "1",              "01",             "001",            "0001",
    "0000 11",        "0000 101",       "0000 100",       "0000 011",
    "0000 0101 1",    "0000 0101 0",    "0000 0100 1",    "0000 0100 01",
    "0000 0100 00",   "0000 0011 11",   "0000 0011 10",   "0000 0011 01",
    "0000 0011 00",
};
constexpr const char* kMpeg4MotionCode[33] = {
#include "venc/mbenc/mpeg4_motion_code_rows.inc"
};

uint32_t PackLeftAligned(uint32_t code, int length) {
  return (code << (32 - length)) | static_cast<uint32_t>(length);
}

int DcSize(int magnitude) {
  int size = 0;
  while (magnitude >> size) ++size;
  return size;
}

void BuildDcTable(std::span<const DcSizeRow> rows, uint32_t* table) {
  for (int d = -kDcDifferentialLimit; d <= kDcDifferentialLimit; ++d) {
    const int size = DcSize(std::abs(d));
    const VlcCode sizeCode = ParseCodeString(rows[size].code);
    // dct_dc_differential: the value when positive, value + 2^size - 1 when negative.
    const uint32_t differential = d >= 0 ? static_cast<uint32_t>(d)
                                         : static_cast<uint32_t>(d + (1 << size) - 1);
    const uint32_t code = (sizeCode.code << size) | differential;
    table[d + kDcDifferentialLimit] = PackLeftAligned(code, sizeCode.length + size);
  }
}

void BuildAcTable(std::span<const AcCodeRow> rows, uint32_t* table) {
  for (const AcCodeRow& row : rows) {
    const VlcCode code = ParseCodeString(row.code);
    const int length = code.length + 1;
    table[AcIndex(row.level, row.run)] = PackLeftAligned(code.code << 1, length);
    table[AcIndex(-row.level, row.run)] = PackLeftAligned((code.code << 1) | 1, length);
  }
}

void BuildTables(Mpeg12Tables& t) {
  BuildDcTable(DcSizeLumaRows(), t.dcLuma);
  BuildDcTable(DcSizeChromaRows(), t.dcChroma);
  BuildAcTable(DctTableZeroRows(), t.acTableZero);
  BuildAcTable(DctTableOneRows(), t.acTableOne);
  for (int n = 1; n <= 33; ++n) t.addressIncrement[n] = ParseCodeString(kAddressIncrement[n]);
  for (const MacroblockTypeRow& row : kMacroblockTypes) {
    t.macroblockType[row.pictureType - 1][row.flags] = ParseCodeString(row.code);
  }
  for (int cbp = 0; cbp < 64; ++cbp) t.codedBlockPattern[cbp] = ParseCodeString(kCodedBlockPattern[cbp]);
  for (int m = 0; m <= 32; ++m) {
    t.motionCode[m] = ParseCodeString(m <= 16 ? kMotionCode[m] : kMpeg4MotionCode[m]);
  }
}

}  // namespace

std::span<const DcSizeRow> DcSizeLumaRows() { return kDcSizeLuma; }
std::span<const DcSizeRow> DcSizeChromaRows() { return kDcSizeChroma; }
std::span<const AcCodeRow> DctTableZeroRows() { return kDctTableZero; }
std::span<const AcCodeRow> DctTableOneRows() { return kDctTableOne; }

VlcCode ParseCodeString(const char* text) {
  VlcCode result;
  for (const char* c = text; *c; ++c) {
    if (*c != '0' && *c != '1') continue;
    result.code = (result.code << 1) | static_cast<uint32_t>(*c - '0');
    ++result.length;
  }
  return result;
}

const Mpeg12Tables& GetMpeg12Tables() {
  // Built by the first encoder of the process; every later reader sees the finished tables.
  static Mpeg12Tables tables;
  static std::once_flag built;
  std::call_once(built, [] { BuildTables(tables); });
  return tables;
}

}  // namespace orx::venc
