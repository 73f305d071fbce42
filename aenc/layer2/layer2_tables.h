#pragma once
// Constant tables of Layer II coding: scalefactors, quantization classes, bit-allocation
// tables (ISO/IEC 11172-3 Annex B and ISO/IEC 13818-3 Table B.1) and transmission patterns.
#include <cstdint>

namespace orx::aenc {

// Scalefactor B1[i] = 2^(1 - i/3) for i = 0..62, and 1.0e-20 at index 63.
extern const float kScalefactorB1[64];

struct Layer2QuantClass {
  uint16_t steps;
  uint16_t msb;       // M: ORed into the code of a non-negative sample
  uint16_t bits;      // bits per codeword
  bool grouped;       // three samples in one codeword
  double cPrime;      // C' = 1 / C
  double dPrime;      // D'
  float snrDb;        // signal-to-noise ratio of the class
};
extern const Layer2QuantClass kLayer2QuantClasses[17];

struct Layer2AllocEntry {
  uint16_t steps;
  uint16_t msb;
  uint16_t bits;
  uint8_t codewords;   // codewords per three samples: 1 grouped, 3 one per sample
  uint8_t quantClass;
};

struct Layer2AllocRow {
  int nbal;                         // bits of the allocation field; 0 for rows past sblimit
  Layer2AllocEntry entries[16];     // entry a (a >= 1) describes allocation index a
};

struct Layer2AllocTable {
  const char* name;
  int sblimit;
  Layer2AllocRow rows[32];
};

extern const Layer2AllocTable kAllocTableB2a;  // 27 subbands
extern const Layer2AllocTable kAllocTableB2b;  // 30 subbands
extern const Layer2AllocTable kAllocTableB2c;  // 8 subbands
extern const Layer2AllocTable kAllocTableB2d;  // 12 subbands
extern const Layer2AllocTable kAllocTableLsf;  // ISO/IEC 13818-3 Table B.1, 30 subbands

// The table for a header ID, sample rate and total bit rate (kbit/s) over `channels`.
const Layer2AllocTable* SelectAllocTable(int id, int sampleRate, int bitrateKbps, int channels);

// Scalefactors transmitted for scfsi 0..3.
extern const int kScalefactorsPerScfsi[4];

}  // namespace orx::aenc
