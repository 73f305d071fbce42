#pragma once
// The AAC code tables: sampling frequencies, long-window scalefactor bands, the eleven spectral
// Huffman codebooks and the scalefactor code of difference 0. aac_tables.cpp is generated from
// the standard's tables kept as CSV (scripts/generate-aac-tables.py).
#include <cstdint>

namespace orx::aenc {

constexpr int kAacRateCount = 12;
constexpr int kAacOffsetRow = 52;  // band offsets per rate, padded with 1024 after the last band
constexpr int kAacSpectrumCodeCount = 1241;

struct AacCode {
  uint16_t length;
  uint16_t code;
};

extern const uint32_t kAacSampleRates[kAacRateCount];
extern const uint8_t kAacBandCounts[kAacRateCount];
extern const uint16_t kAacSwbOffsets[kAacRateCount][kAacOffsetRow];
// Codebook b (1..11) holds entries kAacCodebookStart[b - 1] .. kAacCodebookStart[b] - 1, indexed
// as the codebook's own index: 27w + 9x + 3y + z + 40 (1, 2), 27|w| + 9|x| + 3|y| + |z| (3, 4),
// 9y + z + 40 (5, 6), 8|y| + |z| (7, 8), 13|y| + |z| (9, 10), 17|y| + |z| with 16 for 16 and
// above (11).
extern const AacCode kAacSpectrumCodes[kAacSpectrumCodeCount];
extern const uint16_t kAacCodebookStart[12];
extern const AacCode kAacScalefactorZero;

inline const AacCode* AacCodebook(int book) { return kAacSpectrumCodes + kAacCodebookStart[book - 1]; }

}  // namespace orx::aenc
