#pragma once
// The cheapest spectral codebook of one band of signed codes: each chooser counts the band in
// its candidate codebooks (code lengths, plus a sign bit per non-zero value in the unsigned
// ones), adds the 9 bits of a new section to each candidate other than the previous band's
// codebook, and takes the smallest (on equal cost the lower codebook). The bits answered leave
// the 9 out.
#include <cstdint>

namespace orx::aenc {

int ChooseCodebook1To3(int previous, const int32_t* first, const int32_t* end, int* codebook);  // largest 1
int ChooseCodebook3To5(int previous, const int32_t* first, const int32_t* end, int* codebook);  // largest 2
int ChooseCodebook5To7(int previous, const int32_t* first, const int32_t* end, int* codebook);  // 3, 4
int ChooseCodebook7To9(int previous, const int32_t* first, const int32_t* end, int* codebook);  // 5 to 7
int ChooseCodebook9To10(int previous, const int32_t* first, const int32_t* end, int* codebook);  // 8 to 12
// Codebook 11, pairs from `firstPair` to `end`, magnitudes of 16 and more escaped.
int CountEscBookBits(const int32_t* firstPair, const int32_t* end);
// The escape's length for a magnitude of 16 or more: 2 floor(log2 v) - 3.
int AacEscapeBits(int value);

// The codeword of a quad (codebooks 1 to 4) or a pair (5 to 11) and its sign bits' count.
struct AacCodeword {
  uint32_t length;  // codeword bits
  uint32_t code;
};
AacCodeword AacQuadCodeword(int book, const int32_t* quad);
AacCodeword AacPairCodeword(int book, const int32_t* pair);

}  // namespace orx::aenc
