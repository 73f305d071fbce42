#pragma once
// The per-sample steps of the packed 4:2:2 conversions (UYVY, YUY2): where a pixel pair keeps
// its luma and chroma bytes, and how the paired chroma modes combine two rows. The SSE2 kernels
// convert the samples after their last whole step with these, and the preprocessor the columns
// a kernel cannot take (unaligned destinations, odd row counts), so both give the kernels' bytes.
#include <cstdint>

namespace orx::dsp::packed422 {

// Sample i of a row: luma at byte 2i + lumaByte, chroma (Cb, Cr alternating) at the other byte.
inline constexpr int kUyvyLumaByte = 1;
inline constexpr int kYuy2LumaByte = 0;

inline int Average(int a, int b) { return (a + b + 1) >> 1; }

// Chroma of a row pair in the paired modes: 2 the average, 3 weighted towards the first row,
// 4 towards the second (rounding-up byte averages, modes 3 and 4 in two steps).
inline int CombineChroma(int mode, int first, int second) {
  const int m = Average(first, second);
  if (mode == 2) return m;
  return mode == 3 ? Average(first, m) : Average(m, second);
}

// Samples [from, to) of one packed row: its luma, and its own chroma when `chroma` is given.
inline void ConvertRowSamples(const uint8_t* row, int lumaByte, int from, int to, uint8_t* luma,
                              uint8_t* chroma) {
  for (int i = from; i < to; ++i) luma[i] = row[2 * i + lumaByte];
  if (chroma == nullptr) return;
  for (int i = from; i < to; ++i) chroma[i] = row[2 * i + 1 - lumaByte];
}

// Samples [from, to) of the chroma row a row pair gives in a paired mode (2 to 4).
inline void CombineRowPairChroma(const uint8_t* first, const uint8_t* second, int lumaByte,
                                 int mode, int from, int to, uint8_t* chroma) {
  for (int i = from; i < to; ++i) {
    const int byte = 2 * i + 1 - lumaByte;
    chroma[i] = static_cast<uint8_t>(CombineChroma(mode, first[byte], second[byte]));
  }
}

}  // namespace orx::dsp::packed422
