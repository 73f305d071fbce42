// The SSE2 VC-1 loop filters: CMBCoreXMM2's overlap smoothing (slots 51-54) and
// horizontal-edge deblocking (55, 56), and the vertical-edge deblocking of CMBCoreXMM (57, 58),
// which every running class inherits and which is written here with SSE2 intrinsics so that
// no MMX state is left behind. All give the reference class's results: the overlap sums are
// taken in 32-bit lanes and wrap to 16 bits as the reference's do.
#include <emmintrin.h>

#include <cassert>
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "venc/dsp/alignment.h"
#include "venc/dsp/mb_core_variants.h"
#include "venc/dsp/simd_loads.h"
#include "venc/dsp/vc1_deblock_lanes_sse2.h"

namespace orx::dsp {
namespace {

// ---- Overlap smoothing --------------------------------------------------------------------

// Four lines of the smoothing filter in 32-bit lanes; r0 is added to the first and third
// output, r1 to the second and fourth.
struct SmoothLines {
  __m128i x0, x1, x2, x3;
};

__m128i Times7(__m128i v) { return _mm_sub_epi32(_mm_slli_epi32(v, 3), v); }

SmoothLines Smooth(const SmoothLines& x, __m128i r0, __m128i r1) {
  SmoothLines y;
  y.x0 = _mm_srai_epi32(_mm_add_epi32(_mm_add_epi32(Times7(x.x0), x.x3), r0), 3);
  y.x1 = _mm_srai_epi32(
      _mm_add_epi32(_mm_sub_epi32(_mm_add_epi32(Times7(x.x1), _mm_add_epi32(x.x2, x.x3)), x.x0),
                    r1),
      3);
  y.x2 = _mm_srai_epi32(
      _mm_add_epi32(_mm_sub_epi32(_mm_add_epi32(Times7(x.x2), _mm_add_epi32(x.x0, x.x1)), x.x3),
                    r0),
      3);
  y.x3 = _mm_srai_epi32(_mm_add_epi32(_mm_add_epi32(Times7(x.x3), x.x0), r1), 3);
  return y;
}

// Sign-extended low and high 16-bit halves of each 32-bit lane.
__m128i LowHalves(__m128i v) { return _mm_srai_epi32(_mm_slli_epi32(v, 16), 16); }
__m128i HighHalves(__m128i v) { return _mm_srai_epi32(v, 16); }
// Two 32-bit lanes' low 16 bits joined into one lane (low, high).
__m128i JoinHalves(__m128i low, __m128i high) {
  return _mm_or_si128(_mm_and_si128(low, _mm_set1_epi32(0xFFFF)), _mm_slli_epi32(high, 16));
}
// Sign-extended 16-bit lanes 0-3 and 4-7 as 32-bit lanes.
__m128i WidenLow(__m128i v) { return _mm_srai_epi32(_mm_unpacklo_epi16(v, v), 16); }
__m128i WidenHigh(__m128i v) { return _mm_srai_epi32(_mm_unpackhi_epi16(v, v), 16); }
// 32-bit lanes wrapped to 16 bits and packed (lo lanes first).
__m128i PackWrapped(__m128i lo, __m128i hi) {
  return _mm_packs_epi32(LowHalves(lo), LowHalves(hi));
}

uint32_t Lane32(__m128i v, int i) {
  switch (i) {
    case 0:
      return static_cast<uint32_t>(_mm_cvtsi128_si32(v));
    case 1:
      return static_cast<uint32_t>(_mm_cvtsi128_si32(_mm_srli_si128(v, 4)));
    case 2:
      return static_cast<uint32_t>(_mm_cvtsi128_si32(_mm_srli_si128(v, 8)));
    default:
      return static_cast<uint32_t>(_mm_cvtsi128_si32(_mm_srli_si128(v, 12)));
  }
}

int16_t* RowAt(int16_t* base, std::ptrdiff_t bytes) {
  return reinterpret_cast<int16_t*>(reinterpret_cast<uint8_t*>(base) + bytes);
}

__m128i LoadRow(const int16_t* row) {
  return _mm_loadu_si128(reinterpret_cast<const __m128i*>(row));
}

// Four rows of a vertical edge: columns 6, 7 of the left rows and 0, 1 of the right rows.
// Rows 0 and 2 of the step round with (r0, r1) = `even`, rows 1 and 3 with `odd`.
void SmoothVerticalFourRows(int16_t* left, int16_t* right, std::ptrdiff_t leftStride,
                            std::ptrdiff_t rightStride, __m128i r0, __m128i r1) {
  int16_t* l[4];
  int16_t* q[4];
  for (int i = 0; i < 4; ++i) {
    l[i] = RowAt(left, i * leftStride);
    q[i] = RowAt(right, i * rightStride);
  }
  // Samples 6, 7 of each left row (its fourth 32-bit lane), 0, 1 of each right row.
  const __m128i l01 = _mm_unpackhi_epi32(LoadRow(l[0]), LoadRow(l[1]));
  const __m128i l23 = _mm_unpackhi_epi32(LoadRow(l[2]), LoadRow(l[3]));
  const __m128i leftPairs = _mm_unpackhi_epi64(l01, l23);
  const __m128i q01 = _mm_unpacklo_epi32(LoadRow(q[0]), LoadRow(q[1]));
  const __m128i q23 = _mm_unpacklo_epi32(LoadRow(q[2]), LoadRow(q[3]));
  const __m128i rightPairs = _mm_unpacklo_epi64(q01, q23);
  const SmoothLines y = Smooth(
      {LowHalves(leftPairs), HighHalves(leftPairs), LowHalves(rightPairs), HighHalves(rightPairs)},
      r0, r1);
  const __m128i newLeft = JoinHalves(y.x0, y.x1), newRight = JoinHalves(y.x2, y.x3);
  for (int i = 0; i < 4; ++i) {
    const uint32_t a = Lane32(newLeft, i), b = Lane32(newRight, i);
    std::memcpy(l[i] + 6, &a, 4);
    std::memcpy(q[i], &b, 4);
  }
}

}  // namespace

void CMBCoreXMM2::OverlapSmoothVertEdge(int16_t* left, int16_t* right) {
  const __m128i r0 = _mm_setr_epi32(4, 3, 4, 3), r1 = _mm_setr_epi32(3, 4, 3, 4);
  constexpr std::ptrdiff_t kRow = 16;
  SmoothVerticalFourRows(left, right, kRow, kRow, r0, r1);
  SmoothVerticalFourRows(RowAt(left, 4 * kRow), RowAt(right, 4 * kRow), kRow, kRow, r0, r1);
}

// Four rows a step; any non-zero rounding argument selects (4, 3), zero (3, 4).
void CMBCoreXMM2::OverlapSmoothVertEdgeRows(int16_t* left, int16_t* right, int leftStride,
                                            int rightStride, int rows, int rounding) {
  assert(rows > 0 && rows % 4 == 0 && "the SSE2 class smooths four rows a step");
  const __m128i r0 = _mm_set1_epi32(rounding ? 4 : 3), r1 = _mm_set1_epi32(rounding ? 3 : 4);
  for (int r = 0; r < rows; r += 4) {
    SmoothVerticalFourRows(RowAt(left, static_cast<std::ptrdiff_t>(r) * leftStride),
                           RowAt(right, static_cast<std::ptrdiff_t>(r) * rightStride), leftStride,
                           rightStride, r0, r1);
  }
}

// All eight columns at once; even columns round with (4, 3), odd ones with (3, 4).
void CMBCoreXMM2::OverlapSmoothHorzEdge(int16_t* upperRows, int16_t* lower) {
  assert(IsAligned16(upperRows) && IsAligned16(lower));
  auto* upper = reinterpret_cast<__m128i*>(upperRows);
  auto* below = reinterpret_cast<__m128i*>(lower);
  const __m128i x0 = _mm_load_si128(upper), x1 = _mm_load_si128(upper + 1);
  const __m128i x2 = _mm_load_si128(below), x3 = _mm_load_si128(below + 1);
  const __m128i r0 = _mm_setr_epi32(4, 3, 4, 3), r1 = _mm_setr_epi32(3, 4, 3, 4);
  const SmoothLines lo = Smooth({WidenLow(x0), WidenLow(x1), WidenLow(x2), WidenLow(x3)}, r0, r1);
  const SmoothLines hi =
      Smooth({WidenHigh(x0), WidenHigh(x1), WidenHigh(x2), WidenHigh(x3)}, r0, r1);
  _mm_store_si128(upper, PackWrapped(lo.x0, hi.x0));
  _mm_store_si128(upper + 1, PackWrapped(lo.x1, hi.x1));
  _mm_store_si128(below, PackWrapped(lo.x2, hi.x2));
  _mm_store_si128(below + 1, PackWrapped(lo.x3, hi.x3));
}

void CMBCoreXMM2::SaveOverlapContext(int16_t* context, const int16_t* source) {
  assert(IsAligned16(context) && IsAligned16(source));
  auto* to = reinterpret_cast<__m128i*>(context);
  for (int block = 0; block < 4; ++block) {
    const auto* from = reinterpret_cast<const __m128i*>(source + 128 + 64 * block);
    _mm_store_si128(to + 2 * block, _mm_load_si128(from));
    _mm_store_si128(to + 2 * block + 1, _mm_load_si128(from + 1));
  }
}

// ---- Horizontal edges ---------------------------------------------------------------------

namespace {

const __m128i kAllLanes = _mm_set1_epi16(-1);

// Columns of eight bytes (two segments) or four (the odd last segment) from rows -4..3.
template <int kWidth>
void DeblockLumaColumns(uint8_t* pixels, std::ptrdiff_t stride, __m128i pquant) {
  const __m128i zero = _mm_setzero_si128();
  DeblockLines lines;
  for (int k = 0; k < 8; ++k) {
    const uint8_t* row = pixels + (k - 4) * stride;
    lines.p[k] = _mm_unpacklo_epi8(kWidth == 8 ? Load8(row) : Load4(row), zero);
  }
  __m128i p4, p5;
  DeblockLanes(lines, pquant, kAllLanes, &p4, &p5);
  const __m128i bytes = _mm_packus_epi16(p4, p5);  // P4 in bytes 0-7, P5 in 8-15
  if constexpr (kWidth == 8) {
    Store8(pixels - stride, bytes);
    Store8(pixels, _mm_srli_si128(bytes, 8));
  } else {
    const uint32_t above = static_cast<uint32_t>(_mm_cvtsi128_si32(bytes));
    const uint32_t below = static_cast<uint32_t>(_mm_cvtsi128_si32(_mm_srli_si128(bytes, 8)));
    std::memcpy(pixels - stride, &above, 4);
    std::memcpy(pixels, &below, 4);
  }
}

// Sixteen interleaved bytes (two segments of each component) or eight (one of each) from rows
// -4..3; `cb` and `cr` enable the components.
template <int kWidth>
void DeblockChromaColumns(uint8_t* pixels, std::ptrdiff_t stride, __m128i pquant, __m128i cb,
                          __m128i cr) {
  const __m128i lowBytes = _mm_set1_epi16(0x00FF);
  DeblockLines cbLines, crLines;
  for (int k = 0; k < 8; ++k) {
    const uint8_t* row = pixels + (k - 4) * stride;
    const __m128i v = kWidth == 16 ? LoadA(row) : Load8(row);
    cbLines.p[k] = _mm_and_si128(v, lowBytes);
    crLines.p[k] = _mm_srli_epi16(v, 8);
  }
  __m128i cb4, cb5, cr4, cr5;
  DeblockLanes(cbLines, pquant, cb, &cb4, &cb5);
  DeblockLanes(crLines, pquant, cr, &cr4, &cr5);
  const __m128i above = _mm_or_si128(cb4, _mm_slli_epi16(cr4, 8));
  const __m128i below = _mm_or_si128(cb5, _mm_slli_epi16(cr5, 8));
  if constexpr (kWidth == 16) {
    StoreA(pixels - stride, above);
    StoreA(pixels, below);
  } else {
    Store8(pixels - stride, above);
    Store8(pixels, below);
  }
}

// Sixteen columns (four segments) from rows -4..3 in two halves of eight lanes.
void DeblockLumaColumns16(uint8_t* pixels, std::ptrdiff_t stride, __m128i pquant) {
  const __m128i zero = _mm_setzero_si128();
  DeblockLines left, right;
  for (int k = 0; k < 8; ++k) {
    const __m128i row = LoadU(pixels + (k - 4) * stride);
    left.p[k] = _mm_unpacklo_epi8(row, zero);
    right.p[k] = _mm_unpackhi_epi8(row, zero);
  }
  __m128i left4, left5, right4, right5;
  DeblockLanes(left, pquant, kAllLanes, &left4, &left5);
  DeblockLanes(right, pquant, kAllLanes, &right4, &right5);
  StoreU(pixels - stride, _mm_packus_epi16(left4, right4));
  StoreU(pixels, _mm_packus_epi16(left5, right5));
}

}  // namespace

// Four segments a step, then two, then the odd last segment alone, so every segment is
// filtered.
void CMBCoreXMM2::DeblockHorzEdgeVc1(uint8_t* pixels, int stride, int pquant, int segments) {
  const __m128i threshold = _mm_set1_epi16(static_cast<int16_t>(pquant));
  int s = 0;
  for (; s + 4 <= segments; s += 4) DeblockLumaColumns16(pixels + 4 * s, stride, threshold);
  if (s + 2 <= segments) {
    DeblockLumaColumns<8>(pixels + 4 * s, stride, threshold);
    s += 2;
  }
  if (s < segments) DeblockLumaColumns<4>(pixels + 4 * s, stride, threshold);
}

// Mask 2 filters Cb, 1 Cr, 3 both; any other value nothing.
void CMBCoreXMM2::DeblockHorzEdgeMaskedVc1(uint8_t* pixels, int stride, int pquant,
                                           int componentMask, int segments) {
  assert(IsAligned16(pixels) && stride % 16 == 0);
  if (componentMask < 1 || componentMask > 3) return;
  const __m128i threshold = _mm_set1_epi16(static_cast<int16_t>(pquant));
  const __m128i cb = componentMask & 2 ? kAllLanes : _mm_setzero_si128();
  const __m128i cr = componentMask & 1 ? kAllLanes : _mm_setzero_si128();
  int s = 0;
  for (; s + 2 <= segments; s += 2) {
    DeblockChromaColumns<16>(pixels + 8 * s, stride, threshold, cb, cr);
  }
  if (s < segments) DeblockChromaColumns<8>(pixels + 8 * s, stride, threshold, cb, cr);
}

// ---- Vertical edges (CMBCoreXMM, inherited by the running classes) -------------------------

// Four rows a step, transposed so that each row is a lane (lanes 0-3; lanes 4-7 carry a copy
// that is never stored). The threshold, the direction of each row's step P4 - P5 and the P5
// values of the segment pass through the first 24 bytes of the scratch area, which is why one
// core must not run this filter on two threads at once.
void CMBCoreXMM::DeblockVertEdgeVc1(uint8_t* pixels, int stride, int pquant, int segments) {
  assert(scratch != nullptr && "the scratch area is set up with the quantiser tables");
  const __m128i zero = _mm_setzero_si128();
  auto* spill = reinterpret_cast<__m128i*>(scratch);  // 8 bytes each: threshold, signs, P5
  _mm_storel_epi64(spill, _mm_set1_epi16(static_cast<int16_t>(pquant)));
  for (int s = 0; s < segments; ++s) {
    uint8_t* rows[4];
    for (int r = 0; r < 4; ++r) rows[r] = pixels + static_cast<std::ptrdiff_t>(4 * s + r) * stride;
    // Bytes k of the four rows next to each other: k = 0..3 in `front`, 4..7 in `back`.
    const __m128i r01 = _mm_unpacklo_epi8(Load8(rows[0]), Load8(rows[1]));
    const __m128i r23 = _mm_unpacklo_epi8(Load8(rows[2]), Load8(rows[3]));
    const __m128i front = _mm_unpacklo_epi16(r01, r23), back = _mm_unpackhi_epi16(r01, r23);
    // Byte k of rows 0-3 in lanes 0-3 and again in lanes 4-7.
    auto spread = [zero](__m128i v) { return _mm_unpacklo_epi8(_mm_unpacklo_epi32(v, v), zero); };
    DeblockLines lines = {{spread(front), spread(_mm_srli_si128(front, 4)),
                           spread(_mm_srli_si128(front, 8)), spread(_mm_srli_si128(front, 12)),
                           spread(back), spread(_mm_srli_si128(back, 4)),
                           spread(_mm_srli_si128(back, 8)), spread(_mm_srli_si128(back, 12))}};
    _mm_storel_epi64(reinterpret_cast<__m128i*>(scratch + 8),
                     _mm_cmpgt_epi16(lines.p[3], lines.p[4]));
    _mm_storel_epi64(reinterpret_cast<__m128i*>(scratch + 16), lines.p[4]);
    const __m128i threshold = _mm_unpacklo_epi64(_mm_loadl_epi64(spill), _mm_loadl_epi64(spill));
    const __m128i spilledP5 = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(scratch + 16));
    lines.p[4] = _mm_unpacklo_epi64(spilledP5, spilledP5);
    __m128i p4, p5;
    DeblockLanes(lines, threshold, kAllLanes, &p4, &p5);
    // Each row's new P4, P5 as one 16-bit word, bytes 3 and 4 of the row.
    const __m128i words = _mm_unpacklo_epi8(_mm_packus_epi16(p4, p4), _mm_packus_epi16(p5, p5));
    alignas(16) uint16_t rowWords[8];
    _mm_store_si128(reinterpret_cast<__m128i*>(rowWords), words);
    for (int r = 0; r < 4; ++r) std::memcpy(rows[r] + 3, &rowWords[r], 2);
  }
}

// Both components of the four rows of a segment in the eight lanes: Cb of rows 0-3 in lanes
// 0-3, Cr in lanes 4-7, so lanes 2 and 6 (the third row) decide for each component. Mask bit 1
// enables Cb, bit 0 Cr.
void CMBCoreXMM::DeblockVertEdgeMaskedVc1(uint8_t* pixels, int stride, int pquant,
                                          int componentMask, int segments) {
  const __m128i threshold = _mm_set1_epi16(static_cast<int16_t>(pquant));
  const __m128i enabled = _mm_setr_epi16(componentMask & 2 ? -1 : 0, componentMask & 2 ? -1 : 0,
                                         componentMask & 2 ? -1 : 0, componentMask & 2 ? -1 : 0,
                                         componentMask & 1 ? -1 : 0, componentMask & 1 ? -1 : 0,
                                         componentMask & 1 ? -1 : 0, componentMask & 1 ? -1 : 0);
  if ((componentMask & 3) == 0) return;
  const __m128i lowBytes = _mm_set1_epi16(0x00FF);
  for (int s = 0; s < segments; ++s) {
    uint8_t* rows[4];
    for (int r = 0; r < 4; ++r) rows[r] = pixels + static_cast<std::ptrdiff_t>(4 * s + r) * stride;
    // Word k of a row is the (Cb, Cr) pair of sample k; gather word k of the four rows.
    const __m128i v0 = LoadU(rows[0]), v1 = LoadU(rows[1]), v2 = LoadU(rows[2]),
                  v3 = LoadU(rows[3]);
    const __m128i a = _mm_unpacklo_epi16(v0, v1), b = _mm_unpacklo_epi16(v2, v3);
    const __m128i c = _mm_unpackhi_epi16(v0, v1), d = _mm_unpackhi_epi16(v2, v3);
    const __m128i pairs[4] = {_mm_unpacklo_epi32(a, b), _mm_unpackhi_epi32(a, b),
                              _mm_unpacklo_epi32(c, d), _mm_unpackhi_epi32(c, d)};
    DeblockLines lines;
    for (int k = 0; k < 8; ++k) {
      const __m128i words =
          (k & 1) ? _mm_unpackhi_epi64(pairs[k >> 1], pairs[k >> 1]) : pairs[k >> 1];
      lines.p[k] = _mm_unpacklo_epi64(_mm_and_si128(words, lowBytes), _mm_srli_epi16(words, 8));
    }
    __m128i p4, p5;
    DeblockLanes(lines, threshold, enabled, &p4, &p5);
    // Per row: the (Cb, Cr) words of P4 and P5, bytes 6-9 of the row.
    const __m128i p4Words = _mm_or_si128(p4, _mm_slli_epi16(_mm_srli_si128(p4, 8), 8));
    const __m128i p5Words = _mm_or_si128(p5, _mm_slli_epi16(_mm_srli_si128(p5, 8), 8));
    const __m128i rowWords = _mm_unpacklo_epi16(p4Words, p5Words);
    for (int r = 0; r < 4; ++r) {
      const uint32_t w = Lane32(rowWords, r);
      std::memcpy(rows[r] + 6, &w, 4);
    }
  }
}

}  // namespace orx::dsp
