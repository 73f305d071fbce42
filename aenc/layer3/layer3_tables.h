#pragma once
// The Layer III code tables: the big-value Huffman tables with their linbits, the two count1
// tables and the scalefactor band boundaries. layer3_tables.cpp is generated from the standard's
// tables kept as CSV (scripts/generate-layer3-tables.py).
#include <cstdint>

namespace orx::aenc {

// A big-value table: entry [x * size + y] = (codeword << 8) | length for magnitudes below size.
// Tables 16-23 share one code table and 24-31 another, with different linbits; tables 0, 4 and
// 14 have none.
struct Layer3HuffmanTable {
  int size;
  int linbits;
  const uint32_t* codes;
};

extern const Layer3HuffmanTable kLayer3HuffmanTables[32];
// [table A = 0, B = 1][8v + 4w + 2x + y] = (codeword << 8) | length.
extern const uint32_t kLayer3Count1Codes[2][16];
// Band boundaries by ID x 3 + sampling index (22050, 24000, 16000, 44100, 48000, 32000 Hz): 22
// long-block bands of a granule and 13 short-block bands of a window. Only the MPEG-1 long-block
// rows are coded with; the others complete the table.
extern const uint16_t kLayer3SfbBoundsLong[6][23];
extern const uint16_t kLayer3SfbBoundsShort[6][14];

inline int HuffmanLength(uint32_t entry) { return static_cast<int>(entry & 0xFF); }
inline uint32_t HuffmanCode(uint32_t entry) { return entry >> 8; }

}  // namespace orx::aenc
