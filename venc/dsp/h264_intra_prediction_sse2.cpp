// SSE2 H.264 intra prediction of CMBCoreXMM2 (slots 72, 75, 79; CMBCoreXMM3 inherits them).
// The 16x16 and chroma kernels build the prediction a raster row per register, measure it with
// packed sums of absolute differences and reorder it into 4x4 blocks with 32-bit unpacks; their DC
// modes read the row above and the 16 bytes left of every row before they look at the
// availability bits (the block must lie inside a padded plane: IntraPositionReadable). The 4x4
// decision filters the whole edge at once and forms every candidate from shifted edge vectors.
#include <emmintrin.h>

#include <cassert>
#include <cstdint>
#include <cstring>

#include "venc/dsp/alignment.h"
#include "venc/dsp/h264_blocks.h"
#include "venc/dsp/mb_core_variants.h"

namespace orx::dsp {
namespace {

inline __m128i Load(const void* p) { return _mm_load_si128(static_cast<const __m128i*>(p)); }
inline void Store(void* p, __m128i v) { _mm_store_si128(static_cast<__m128i*>(p), v); }
inline int SadTotal(__m128i sums) {
  return _mm_cvtsi128_si32(sums) + _mm_cvtsi128_si32(_mm_srli_si128(sums, 8));
}

// Stores four raster rows of 16 bytes as four 4x4 blocks (16 bytes each, in block order).
inline void StoreBlockRows(uint8_t* out, __m128i r0, __m128i r1, __m128i r2, __m128i r3) {
  __m128i a = _mm_unpacklo_epi32(r0, r1), b = _mm_unpacklo_epi32(r2, r3);
  __m128i c = _mm_unpackhi_epi32(r0, r1), d = _mm_unpackhi_epi32(r2, r3);
  Store(out, _mm_unpacklo_epi64(a, b));
  Store(out + 16, _mm_unpackhi_epi64(a, b));
  Store(out + 32, _mm_unpacklo_epi64(c, d));
  Store(out + 48, _mm_unpackhi_epi64(c, d));
}

// The column left of 16 (or 8) rows: byte y of the result is the last byte of the aligned
// 16 bytes ending at row y's left edge.
inline __m128i LeftColumn(const uint8_t* n, int stride, int rows) {
  __m128i column = _mm_setzero_si128();
  for (int y = rows - 1; y >= 0; --y) {
    column = _mm_or_si128(_mm_slli_si128(column, 1), _mm_srli_si128(Load(n + y * stride - 16), 15));
  }
  return column;
}

// Rows of plane prediction: (sum >> 5) limited to 0..255, where the 16-bit sums of the first row
// are `low` (bytes 0-7) and `high` (bytes 8-15) and each row adds `step`.
inline void PlaneRows(__m128i* rows, int count, __m128i low, __m128i high, __m128i step) {
  for (int y = 0; y < count; ++y) {
    rows[y] = _mm_packus_epi16(_mm_srai_epi16(low, 5), _mm_srai_epi16(high, 5));
    low = _mm_add_epi16(low, step);
    high = _mm_add_epi16(high, step);
  }
}

// Sum of absolute differences of predicted rows against the current block (0 without one).
inline int RowsSad(const __m128i* rows, int count, const uint8_t* current, int stride) {
  if (current == nullptr) return 0;
  __m128i sums = _mm_setzero_si128();
  for (int y = 0; y < count; ++y) sums = _mm_add_epi64(sums, _mm_sad_epu8(rows[y], Load(current + y * stride)));
  return SadTotal(sums);
}

// Filter3 (a + 2b + c + 2) >> 2 of byte vectors without widening.
inline __m128i Filter3(__m128i a, __m128i b, __m128i c) {
  __m128i ac = _mm_sub_epi8(_mm_avg_epu8(a, c), _mm_and_si128(_mm_xor_si128(a, c), _mm_set1_epi8(1)));
  return _mm_avg_epu8(ac, b);
}

inline uint32_t Bytes4(__m128i v) { return static_cast<uint32_t>(_mm_cvtsi128_si32(v)); }
template <int kShift>
inline uint32_t Bytes4At(__m128i v) {
  return Bytes4(_mm_srli_si128(v, kShift));
}
inline __m128i Rows(uint32_t r0, uint32_t r1, uint32_t r2, uint32_t r3) {
  return _mm_setr_epi32(static_cast<int>(r0), static_cast<int>(r1), static_cast<int>(r2),
                        static_cast<int>(r3));
}

}  // namespace

int CMBCoreXMM2::PredictIntra16x16(const uint8_t* neighbours, const uint8_t* current, int stride,
                                   uint32_t flags, uint8_t* output) {
  assert(IsAligned16(neighbours) && stride % 16 == 0);
  assert(current == nullptr || IsAligned16(current));
  assert(output == nullptr || IsAligned16(output));
  const uint8_t* n = neighbours;
  int mode = static_cast<int>(flags & 3);
  __m128i rows[16];
  if (mode == 0) {
    __m128i top = Load(n - stride);
    for (__m128i& row : rows) row = top;
  } else if (mode == 1) {
    for (int y = 0; y < 16; ++y) rows[y] = _mm_set1_epi8(static_cast<char>(n[y * stride - 1]));
  } else if (mode == 2) {
    // Both sides are read first; the availability bits decide what counts.
    __m128i zero = _mm_setzero_si128();
    int sumTop = SadTotal(_mm_sad_epu8(Load(n - stride), zero));
    int sumLeft = SadTotal(_mm_sad_epu8(LeftColumn(n, stride, 16), zero));
    bool left = flags & kIntraLeftAvailable, top = flags & kIntraTopAvailable;
    int dc = left && top ? (sumTop + sumLeft + 16) >> 5 : left ? (sumLeft + 8) >> 4
                                                         : top ? (sumTop + 8) >> 4 : 128;
    __m128i value = _mm_set1_epi8(static_cast<char>(dc));
    for (__m128i& row : rows) row = value;
  } else {
    int h = 0, v = 0;
    for (int i = 0; i < 8; ++i) {
      h += (i + 1) * (n[8 + i - stride] - n[6 - i - stride]);
      v += (i + 1) * (n[(8 + i) * stride - 1] - n[(6 - i) * stride - 1]);
    }
    int a = 16 * (n[15 * stride - 1] + n[15 - stride]);
    int b = (5 * h + 32) >> 6, c = (5 * v + 32) >> 6;
    int16_t base = static_cast<int16_t>(a - 7 * b - 7 * c + 16);
    __m128i lane = _mm_setr_epi16(0, 1, 2, 3, 4, 5, 6, 7);
    __m128i low = _mm_add_epi16(_mm_set1_epi16(base), _mm_mullo_epi16(lane, _mm_set1_epi16(static_cast<int16_t>(b))));
    __m128i high = _mm_add_epi16(low, _mm_set1_epi16(static_cast<int16_t>(8 * b)));
    PlaneRows(rows, 16, low, high, _mm_set1_epi16(static_cast<int16_t>(c)));
  }
  int sad = RowsSad(rows, 16, current, stride);
  if (output != nullptr) {
    for (int g = 0; g < 4; ++g) {
      StoreBlockRows(output + 64 * g, rows[4 * g], rows[4 * g + 1], rows[4 * g + 2], rows[4 * g + 3]);
    }
  }
  return sad;
}

int CMBCoreXMM2::PredictIntraChroma(const uint8_t* neighbours, const uint8_t* current, int stride,
                                    uint32_t flags, uint8_t* output) {
  assert(IsAligned16(neighbours) && stride % 16 == 0);
  assert(current == nullptr || IsAligned16(current));
  assert(output == nullptr || IsAligned16(output));
  const uint8_t* n = neighbours;
  int mode = static_cast<int>(flags & 3);
  __m128i rows[8];
  if (mode == 0) {
    // Read both sides first; each 4x4 block then takes the sums the availability bits allow.
    __m128i top = Load(n - stride);
    __m128i leftPairs = _mm_setzero_si128();  // 16-bit lane y: the Cb, Cr pair left of row y
    for (int y = 7; y >= 0; --y) {
      leftPairs = _mm_or_si128(_mm_slli_si128(leftPairs, 2), _mm_srli_si128(Load(n + y * stride - 16), 14));
    }
    alignas(16) uint8_t above[16], left[16];
    Store(above, top);
    Store(left, leftPairs);
    bool hasLeft = flags & kIntraLeftAvailable, hasTop = flags & kIntraTopAvailable;
    alignas(16) uint8_t row[2][16];  // the rows of block rows 0 and 1
    for (int p = 0; p < 2; ++p) {
      int st[2], sl[2];
      for (int half = 0; half < 2; ++half) {
        st[half] = sl[half] = 0;
        for (int i = 0; i < 4; ++i) {
          st[half] += above[8 * half + 2 * i + p];
          sl[half] += left[2 * (4 * half + i) + p];
        }
      }
      for (int by = 0; by < 2; ++by) {
        for (int bx = 0; bx < 2; ++bx) {
          int dc;
          if (bx == by) {
            dc = hasLeft && hasTop ? (st[bx] + sl[by] + 4) >> 3 : hasLeft ? (sl[by] + 2) >> 2
                                                              : hasTop ? (st[bx] + 2) >> 2 : 128;
          } else if (bx == 1) {
            dc = hasTop ? (st[1] + 2) >> 2 : hasLeft ? (sl[0] + 2) >> 2 : 128;
          } else {
            dc = hasLeft ? (sl[1] + 2) >> 2 : hasTop ? (st[0] + 2) >> 2 : 128;
          }
          for (int i = 0; i < 4; ++i) row[by][8 * bx + 2 * i + p] = static_cast<uint8_t>(dc);
        }
      }
    }
    for (int y = 0; y < 8; ++y) rows[y] = Load(row[y / 4]);
  } else if (mode == 1) {
    for (int y = 0; y < 8; ++y) {
      int16_t pair;
      std::memcpy(&pair, n + y * stride - 2, 2);
      rows[y] = _mm_set1_epi16(pair);
    }
  } else if (mode == 2) {
    __m128i top = Load(n - stride);
    for (__m128i& row : rows) row = top;
  } else {
    int16_t base[2], b[2], c[2];
    for (int p = 0; p < 2; ++p) {
      const uint8_t* q = n + p;
      int h = 0, v = 0;
      for (int i = 0; i < 4; ++i) {
        h += (i + 1) * (q[2 * (4 + i) - stride] - q[2 * (2 - i) - stride]);
        v += (i + 1) * (q[(4 + i) * stride - 2] - q[(2 - i) * stride - 2]);
      }
      int a = 16 * (q[7 * stride - 2] + q[14 - stride]);
      b[p] = static_cast<int16_t>((34 * h + 32) >> 6);
      c[p] = static_cast<int16_t>((34 * v + 32) >> 6);
      base[p] = static_cast<int16_t>(a - 3 * b[p] - 3 * c[p] + 16);
    }
    // Lanes alternate Cb, Cr; lane 2x + p carries sample x of component p.
    __m128i bases = _mm_setr_epi16(base[0], base[1], base[0], base[1], base[0], base[1], base[0], base[1]);
    __m128i slopes = _mm_setr_epi16(b[0], b[1], b[0], b[1], b[0], b[1], b[0], b[1]);
    __m128i low = _mm_add_epi16(bases, _mm_mullo_epi16(slopes, _mm_setr_epi16(0, 0, 1, 1, 2, 2, 3, 3)));
    __m128i high = _mm_add_epi16(low, _mm_slli_epi16(slopes, 2));
    PlaneRows(rows, 8, low, high, _mm_setr_epi16(c[0], c[1], c[0], c[1], c[0], c[1], c[0], c[1]));
  }
  int sad = RowsSad(rows, 8, current, stride);
  if (output != nullptr) {
    for (int g = 0; g < 2; ++g) {
      const __m128i* r = rows + 4 * g;
      Store(output + 64 * g, _mm_unpacklo_epi64(r[0], r[1]));
      Store(output + 64 * g + 16, _mm_unpacklo_epi64(r[2], r[3]));
      Store(output + 64 * g + 32, _mm_unpackhi_epi64(r[0], r[1]));
      Store(output + 64 * g + 48, _mm_unpackhi_epi64(r[2], r[3]));
    }
  }
  return sad;
}

int CMBCoreXMM2::PredictIntra4x4Best(int16_t* residual, uint8_t* prediction,
                                     const uint8_t* neighbours, const uint8_t* current,
                                     int stride, uint32_t flags) {
  assert(IsAligned16(residual) && IsAligned16(prediction) && IsAligned16(scratch));
  const uint8_t* b = neighbours;
  bool left = flags & kIntraLeftAvailable, top = flags & kIntraTopAvailable;
  bool diagonals = top && (flags & kIntraTopLeftAvailable);
  __m128i zero = _mm_setzero_si128();
  __m128i block = Rows(0, 0, 0, 0);
  {
    uint32_t r[4];
    for (int y = 0; y < 4; ++y) std::memcpy(&r[y], current + y * stride, 4);
    block = Rows(r[0], r[1], r[2], r[3]);
  }
  int chosen = 2;
  if (!left && !top) {
    Store(scratch + 32, _mm_set1_epi8(static_cast<char>(128)));
  } else {
    // The edge from the bottom-left sample to the last top-right one: L3 L2 L1 L0 corner
    // T0..T7, then T7 repeated; unavailable samples are 0, missing top-right samples T3.
    alignas(16) uint8_t edge[16] = {};
    uint32_t above = 0;
    if (top) {
      std::memcpy(&above, b - stride, 4);
      uint32_t aboveRight = (above >> 24) * 0x01010101u;
      if (flags & kIntraTopRightAvailable) std::memcpy(&aboveRight, b - stride + 4, 4);
      std::memcpy(edge + 5, &above, 4);
      std::memcpy(edge + 9, &aboveRight, 4);
      std::memset(edge + 13, edge[12], 3);
    }
    if (left) {
      for (int y = 0; y < 4; ++y) edge[3 - y] = b[y * stride - 1];
    }
    if (diagonals) edge[4] = b[-1 - stride];
    __m128i e = Load(edge);
    __m128i e1 = _mm_srli_si128(e, 1), e2 = _mm_srli_si128(e, 2);
    __m128i filtered = Filter3(e, e1, e2);  // filtered[i] = F(e[i], e[i+1], e[i+2])
    __m128i averaged = _mm_avg_epu8(e, e1);  // averaged[i] = avg(e[i], e[i+1])
    // The left column downwards, L3 repeated: L0 L1 L2 L3 L3 L3 ...
    uint32_t leftDown = uint32_t{edge[3]} | uint32_t{edge[2]} << 8 | uint32_t{edge[1]} << 16 |
                        uint32_t{edge[0]} << 24;
    __m128i down = _mm_or_si128(_mm_cvtsi32_si128(static_cast<int>(leftDown)),
                                _mm_slli_si128(_mm_set1_epi8(static_cast<char>(edge[0])), 4));
    __m128i down1 = _mm_srli_si128(down, 1);
    __m128i upInterleaved = _mm_unpacklo_epi8(_mm_avg_epu8(down, down1),
                                              Filter3(down, down1, _mm_srli_si128(down, 2)));
    int st = edge[5] + edge[6] + edge[7] + edge[8], sl = edge[0] + edge[1] + edge[2] + edge[3];
    int dc = left && top ? (st + sl + 4) >> 3 : left ? (sl + 2) >> 2 : (st + 2) >> 2;

    __m128i candidates[9];
    bool allowed[9] = {top, left, true, top, diagonals, diagonals, diagonals, top, left};
    candidates[0] = _mm_set1_epi32(static_cast<int>(above));
    candidates[1] = Rows(edge[3] * 0x01010101u, edge[2] * 0x01010101u, edge[1] * 0x01010101u,
                         edge[0] * 0x01010101u);
    candidates[2] = _mm_set1_epi8(static_cast<char>(dc));
    // Diagonal down-left: rows are the filtered top row from T(y) on.
    __m128i ft = _mm_srli_si128(filtered, 5), at = _mm_srli_si128(averaged, 5);
    candidates[3] = Rows(Bytes4(ft), Bytes4At<1>(ft), Bytes4At<2>(ft), Bytes4At<3>(ft));
    // Diagonal down-right: row y starts 3 - y samples along the filtered edge.
    candidates[4] = Rows(Bytes4At<3>(filtered), Bytes4At<2>(filtered), Bytes4At<1>(filtered),
                         Bytes4(filtered));
    // Vertical-right and horizontal-down mix averaged and filtered edge samples.
    candidates[5] = Rows(Bytes4At<4>(averaged), Bytes4At<3>(filtered),
                         (Bytes4At<2>(filtered) & 0xFF) | Bytes4At<4>(averaged) << 8,
                         (Bytes4At<1>(filtered) & 0xFF) | Bytes4At<3>(filtered) << 8);
    __m128i hd = _mm_unpacklo_epi8(averaged, filtered);  // A0 F0 A1 F1 ...
    candidates[6] = Rows((Bytes4At<6>(hd) & 0xFFFF) | Bytes4At<4>(filtered) << 16, Bytes4At<4>(hd),
                         Bytes4At<2>(hd), Bytes4(hd));
    candidates[7] = Rows(Bytes4(at), Bytes4(ft), Bytes4At<1>(at), Bytes4At<1>(ft));
    candidates[8] = Rows(Bytes4(upInterleaved), Bytes4At<2>(upInterleaved), Bytes4At<4>(upInterleaved),
                         Bytes4At<6>(upInterleaved));
    uint32_t predicted = flags & 0xF;
    uint32_t penalty = (flags >> kIntraBiasShift) & 0xFFF;
    uint32_t bestKey = 0xFFFFFFFFu;
    for (uint32_t m = 0; m < 9; ++m) {
      if (!allowed[m]) continue;
      Store(scratch + 16 * m, candidates[m]);
      uint32_t cost = static_cast<uint32_t>(SadTotal(_mm_sad_epu8(candidates[m], block))) +
                      (m != predicted ? penalty : 0);
      uint32_t key = 16 * cost + m;
      if (key < bestKey) {
        bestKey = key;
        chosen = static_cast<int>(m);
      }
    }
  }
  __m128i winner = Load(scratch + 16 * chosen);
  Store(prediction, winner);
  Store(residual, _mm_sub_epi16(_mm_unpacklo_epi8(block, zero), _mm_unpacklo_epi8(winner, zero)));
  Store(residual + 8, _mm_sub_epi16(_mm_unpackhi_epi8(block, zero), _mm_unpackhi_epi8(winner, zero)));
  return chosen;
}

}  // namespace orx::dsp
