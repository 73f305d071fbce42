// Band costs in the spectral codebooks, and the choice of the cheapest.
#include "aenc/aac/aac_codebook_choice.h"

#include <cstdlib>
#include <initializer_list>

#include "aenc/aac/aac_tables.h"

namespace orx::aenc {
namespace {

constexpr int kSectionBits = 9;  // a new section: 4 bits of codebook, 5 of length

bool IsUnsigned(int book) { return book == 3 || book == 4 || book >= 7; }

int Magnitude(int32_t v) { return v < 0 ? -v : v; }

int QuadIndex(int book, const int32_t* q) {
  if (IsUnsigned(book)) return 27 * Magnitude(q[0]) + 9 * Magnitude(q[1]) + 3 * Magnitude(q[2]) + Magnitude(q[3]);
  return 27 * q[0] + 9 * q[1] + 3 * q[2] + q[3] + 40;
}

int PairIndex(int book, const int32_t* q) {
  switch (book) {
    case 5:
    case 6:
      return 9 * q[0] + q[1] + 40;
    case 7:
    case 8:
      return 8 * Magnitude(q[0]) + Magnitude(q[1]);
    case 9:
    case 10:
      return 13 * Magnitude(q[0]) + Magnitude(q[1]);
    default: {
      const int y = Magnitude(q[0]) < 16 ? Magnitude(q[0]) : 16;
      const int z = Magnitude(q[1]) < 16 ? Magnitude(q[1]) : 16;
      return 17 * y + z;
    }
  }
}

int SignBits(int book, const int32_t* q, int count) {
  if (!IsUnsigned(book)) return 0;
  int bits = 0;
  for (int i = 0; i < count; ++i) bits += q[i] != 0;
  return bits;
}

// The band's bits in one codebook (1 to 10).
int BandBits(int book, const int32_t* first, const int32_t* end) {
  const AacCode* codes = AacCodebook(book);
  int bits = 0;
  if (book <= 4) {
    for (const int32_t* q = first; q < end; q += 4) bits += codes[QuadIndex(book, q)].length + SignBits(book, q, 4);
  } else {
    for (const int32_t* q = first; q < end; q += 2) bits += codes[PairIndex(book, q)].length + SignBits(book, q, 2);
  }
  return bits;
}

int Choose(int previous, const int32_t* first, const int32_t* end, int* codebook,
           std::initializer_list<int> candidates) {
  int bestBits = 0, bestCost = 0, best = 0;
  for (int book : candidates) {
    const int bits = BandBits(book, first, end);
    const int cost = bits + (book != previous ? kSectionBits : 0);
    if (best == 0 || cost < bestCost) {
      best = book;
      bestBits = bits;
      bestCost = cost;
    }
  }
  *codebook = best;
  return bestBits;
}

}  // namespace

int ChooseCodebook1To3(int previous, const int32_t* first, const int32_t* end, int* codebook) {
  return Choose(previous, first, end, codebook, {1, 2, 3});
}
int ChooseCodebook3To5(int previous, const int32_t* first, const int32_t* end, int* codebook) {
  return Choose(previous, first, end, codebook, {3, 4, 5});
}
int ChooseCodebook5To7(int previous, const int32_t* first, const int32_t* end, int* codebook) {
  return Choose(previous, first, end, codebook, {5, 6, 7});
}
int ChooseCodebook7To9(int previous, const int32_t* first, const int32_t* end, int* codebook) {
  return Choose(previous, first, end, codebook, {7, 8, 9});
}
int ChooseCodebook9To10(int previous, const int32_t* first, const int32_t* end, int* codebook) {
  return Choose(previous, first, end, codebook, {9, 10});
}

int AacEscapeBits(int value) {
  int log = 0;
  while ((value >> (log + 1)) != 0) ++log;
  return 2 * log - 3;
}

int CountEscBookBits(const int32_t* firstPair, const int32_t* end) {
  const AacCode* codes = AacCodebook(11);
  int bits = 0;
  for (const int32_t* q = firstPair; q < end; q += 2) {
    const int y = Magnitude(q[0]), z = Magnitude(q[1]);
    if (y < 16 && z < 16) {
      bits += codes[17 * y + z].length + (y != 0) + (z != 0);
    } else if (z < 16) {
      bits += codes[17 * 16 + z].length + 1 + (z != 0) + AacEscapeBits(y);
    } else if (y < 16) {
      bits += codes[17 * y + 16].length + 1 + (y != 0) + AacEscapeBits(z);
    } else {
      bits += 7 + AacEscapeBits(y) + AacEscapeBits(z);
    }
  }
  return bits;
}

AacCodeword AacQuadCodeword(int book, const int32_t* quad) {
  const AacCode c = AacCodebook(book)[QuadIndex(book, quad)];
  return {c.length, c.code};
}

AacCodeword AacPairCodeword(int book, const int32_t* pair) {
  const AacCode c = AacCodebook(book)[PairIndex(book, pair)];
  return {c.length, c.code};
}

}  // namespace orx::aenc
