// The integer-SSE class CMBCoreXMM's own VC-1 bodies (slots 51-56 and 59-62), written on the
// 64-bit multimedia registers: four 16-bit lanes or eight bytes a register, any alignment
// (loads and stores go through memcpy). The factories build this class only for processors
// without SSE2, so the running classes never execute these bodies; they give the plain class's
// results (overlap smoothing wraps in 16-bit lanes, which agrees for samples within
// -3276..3276). Every body ends with _mm_empty(), so floating-point code may follow.
#include <mmintrin.h>
#include <xmmintrin.h>

#include <cassert>
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "venc/dsp/mb_core_variants.h"
#include "venc/dsp/vc1_interpolation_tables.h"

namespace orx::dsp {
namespace {

__m64 Load64(const void* p) {
  int64_t v;
  std::memcpy(&v, p, 8);
  return _mm_cvtsi64_m64(v);
}
void Store64(void* p, __m64 v) {
  const int64_t bits = _mm_cvtm64_si64(v);
  std::memcpy(p, &bits, 8);
}
__m64 Load32(const void* p) {
  int32_t v;
  std::memcpy(&v, p, 4);
  return _mm_cvtsi32_si64(v);
}
void Store32(void* p, __m64 v) {
  const int32_t bits = _mm_cvtsi64_si32(v);
  std::memcpy(p, &bits, 4);
}
// Bytes 0-3 of a register as four 16-bit lanes.
__m64 BytesToLanes(__m64 v) { return _mm_unpacklo_pi8(v, _mm_setzero_si64()); }

// ---- Interpolation ------------------------------------------------------------------------

constexpr int kBlockWidth = 16;

struct Taps64 {
  __m64 c0, c1, c2, c3;
};

Taps64 TapsOf(int fraction) {
  const int8_t* t = Vc1BicubicTaps[fraction & 3];
  return {_mm_set1_pi16(t[0]), _mm_set1_pi16(t[1]), _mm_set1_pi16(t[2]), _mm_set1_pi16(t[3])};
}

__m64 Filter(const Taps64& t, __m64 a, __m64 b, __m64 c, __m64 d) {
  return _mm_add_pi16(_mm_add_pi16(_mm_mullo_pi16(t.c0, a), _mm_mullo_pi16(t.c1, b)),
                      _mm_add_pi16(_mm_mullo_pi16(t.c2, c), _mm_mullo_pi16(t.c3, d)));
}

// Four samples from p, p + step, p + 2 step and p - step as lanes, filtered.
__m64 FilterBytes(const Taps64& t, const uint8_t* p, std::ptrdiff_t step) {
  return Filter(t, BytesToLanes(Load32(p - step)), BytesToLanes(Load32(p)),
                BytesToLanes(Load32(p + step)), BytesToLanes(Load32(p + 2 * step)));
}

// One-dimensional bicubic filtering, four outputs a step.
void FilterOneDimension(const uint8_t* source, uint8_t* destination, int sourceStride,
                        int destinationStride, int rows, int fraction, std::ptrdiff_t tapStep,
                        int roundingTerm) {
  const Taps64 taps = TapsOf(fraction);
  const __m64 round = _mm_set1_pi16(static_cast<int16_t>(roundingTerm));
  for (int r = 0; r < rows; ++r) {
    const uint8_t* row = source + static_cast<std::ptrdiff_t>(r) * sourceStride;
    uint8_t* out = destination + static_cast<std::ptrdiff_t>(r) * destinationStride;
    for (int c = 0; c < kBlockWidth; c += 8) {
      const __m64 lo = _mm_srai_pi16(_mm_add_pi16(FilterBytes(taps, row + c, tapStep), round), 6);
      const __m64 hi =
          _mm_srai_pi16(_mm_add_pi16(FilterBytes(taps, row + c + 4, tapStep), round), 6);
      Store64(out + c, _mm_packs_pu16(lo, hi));
    }
  }
  _mm_empty();
}

// ---- Overlap smoothing --------------------------------------------------------------------

struct Lines64 {
  __m64 x0, x1, x2, x3;
};

__m64 Times7(__m64 v) { return _mm_sub_pi16(_mm_slli_pi16(v, 3), v); }

Lines64 Smooth(const Lines64& x, __m64 r0, __m64 r1) {
  Lines64 y;
  y.x0 = _mm_srai_pi16(_mm_add_pi16(_mm_add_pi16(Times7(x.x0), x.x3), r0), 3);
  y.x1 = _mm_srai_pi16(
      _mm_add_pi16(_mm_sub_pi16(_mm_add_pi16(Times7(x.x1), _mm_add_pi16(x.x2, x.x3)), x.x0), r1),
      3);
  y.x2 = _mm_srai_pi16(
      _mm_add_pi16(_mm_sub_pi16(_mm_add_pi16(Times7(x.x2), _mm_add_pi16(x.x0, x.x1)), x.x3), r0),
      3);
  y.x3 = _mm_srai_pi16(_mm_add_pi16(_mm_add_pi16(Times7(x.x3), x.x0), r1), 3);
  return y;
}

int16_t* RowAt(int16_t* base, std::ptrdiff_t bytes) {
  return reinterpret_cast<int16_t*>(reinterpret_cast<uint8_t*>(base) + bytes);
}

// Two rows of a vertical edge in lanes 0 and 1 (lanes 2 and 3 repeat them and are not stored):
// samples 6, 7 of the left rows and 0, 1 of the right rows.
void SmoothVerticalTwoRows(int16_t* left0, int16_t* left1, int16_t* right0, int16_t* right1,
                           __m64 r0, __m64 r1) {
  const __m64 leftPairs = _mm_unpacklo_pi32(Load32(left0 + 6), Load32(left1 + 6));
  const __m64 rightPairs = _mm_unpacklo_pi32(Load32(right0), Load32(right1));
  // [a0, b0, a1, b1] -> [a0, a1, a0, a1] and [b0, b1, b0, b1].
  const __m64 x0 = _mm_shuffle_pi16(leftPairs, 0x88), x1 = _mm_shuffle_pi16(leftPairs, 0xDD);
  const __m64 x2 = _mm_shuffle_pi16(rightPairs, 0x88), x3 = _mm_shuffle_pi16(rightPairs, 0xDD);
  const Lines64 y = Smooth({x0, x1, x2, x3}, r0, r1);
  const __m64 newLeft = _mm_unpacklo_pi16(y.x0, y.x1);  // row 0 pair, row 1 pair
  const __m64 newRight = _mm_unpacklo_pi16(y.x2, y.x3);
  Store32(left0 + 6, newLeft);
  Store32(left1 + 6, _mm_srli_si64(newLeft, 32));
  Store32(right0, newRight);
  Store32(right1, _mm_srli_si64(newRight, 32));
}

// ---- Deblocking ---------------------------------------------------------------------------

// P1..P8 of four lines (one segment), 16-bit lanes holding bytes.
struct Segment64 {
  __m64 p[8];
};

__m64 Abs16(__m64 v) { return _mm_max_pi16(v, _mm_sub_pi16(_mm_setzero_si64(), v)); }

__m64 EdgeActivity(__m64 a, __m64 b, __m64 c, __m64 d) {
  const __m64 twice = _mm_slli_pi16(_mm_sub_pi16(a, d), 1);
  const __m64 bc = _mm_sub_pi16(b, c);
  const __m64 fives = _mm_add_pi16(_mm_slli_pi16(bc, 2), bc);
  return _mm_srai_pi16(_mm_add_pi16(_mm_sub_pi16(twice, fives), _mm_set1_pi16(4)), 3);
}

// The new P4 and P5 of the four lines of one segment, the third line (lane 2) deciding.
void DeblockSegment(const Segment64& l, __m64 pquant, __m64* p4, __m64* p5) {
  const __m64 zero = _mm_setzero_si64();
  const __m64 a0 = EdgeActivity(l.p[2], l.p[3], l.p[4], l.p[5]);
  const __m64 a1 = EdgeActivity(l.p[0], l.p[1], l.p[2], l.p[3]);
  const __m64 a2 = EdgeActivity(l.p[4], l.p[5], l.p[6], l.p[7]);
  const __m64 absA0 = Abs16(a0);
  const __m64 a3 = _mm_min_pi16(Abs16(a1), Abs16(a2));
  const __m64 step = _mm_sub_pi16(l.p[3], l.p[4]);
  const __m64 clip = _mm_srli_pi16(Abs16(step), 1);
  const __m64 qualifies = _mm_and_si64(_mm_cmpgt_pi16(pquant, absA0), _mm_cmpgt_pi16(absA0, a3));
  const __m64 opens = _mm_andnot_si64(_mm_cmpeq_pi16(clip, zero), qualifies);
  const __m64 segmentOpen = _mm_shuffle_pi16(opens, 0xAA);
  const __m64 stepUp = _mm_cmpgt_pi16(step, zero);
  const __m64 against = _mm_xor_si64(stepUp, _mm_cmpgt_pi16(a0, zero));
  const __m64 apply = _mm_and_si64(_mm_and_si64(opens, against), segmentOpen);
  const __m64 gap = _mm_sub_pi16(absA0, a3);
  const __m64 magnitude =
      _mm_min_pi16(_mm_srai_pi16(_mm_add_pi16(_mm_slli_pi16(gap, 2), gap), 3), clip);
  const __m64 d = _mm_and_si64(magnitude, apply);
  const __m64 down = _mm_and_si64(d, stepUp), up = _mm_andnot_si64(stepUp, d);
  *p4 = _mm_add_pi16(_mm_sub_pi16(l.p[3], down), up);
  *p5 = _mm_sub_pi16(_mm_add_pi16(l.p[4], down), up);
}

// One component of interleaved chroma across a horizontal edge: `component` 0 for Cb (even
// bytes), 1 for Cr; a segment is eight bytes of each row.
void DeblockChromaComponent(uint8_t* pixels, std::ptrdiff_t stride, __m64 pquant, int segments,
                            int component) {
  const __m64 lowBytes = _mm_set1_pi16(0x00FF);
  for (int s = 0; s < segments; ++s) {
    uint8_t* column = pixels + 8 * s;
    Segment64 lines;
    for (int k = 0; k < 8; ++k) {
      const __m64 v = Load64(column + (k - 4) * stride);
      lines.p[k] = component == 0 ? _mm_and_si64(v, lowBytes) : _mm_srli_pi16(v, 8);
    }
    __m64 p4, p5;
    DeblockSegment(lines, pquant, &p4, &p5);
    const __m64 above = Load64(column - stride), below = Load64(column);
    if (component == 0) {
      Store64(column - stride, _mm_or_si64(_mm_andnot_si64(lowBytes, above), p4));
      Store64(column, _mm_or_si64(_mm_andnot_si64(lowBytes, below), p5));
    } else {
      Store64(column - stride, _mm_or_si64(_mm_and_si64(lowBytes, above), _mm_slli_pi16(p4, 8)));
      Store64(column, _mm_or_si64(_mm_and_si64(lowBytes, below), _mm_slli_pi16(p5, 8)));
    }
  }
}

}  // namespace

// ---- Interpolation slots ------------------------------------------------------------------

void CMBCoreXMM::InterpolateBilinearVc1(uint32_t weights, const uint8_t* source,
                                        uint8_t* destination, int sourceStride,
                                        int destinationStride, int rows, int rounding) {
  const __m64 w0 = _mm_set1_pi16(weights & 0xFF), w1 = _mm_set1_pi16((weights >> 8) & 0xFF),
              w2 = _mm_set1_pi16((weights >> 16) & 0xFF), w3 = _mm_set1_pi16(weights >> 24);
  const __m64 round = _mm_set1_pi16(static_cast<int16_t>(8 - rounding));
  for (int r = 0; r < rows; ++r) {
    const uint8_t* top = source + static_cast<std::ptrdiff_t>(r) * sourceStride;
    const uint8_t* bottom = top + sourceStride;
    uint8_t* out = destination + static_cast<std::ptrdiff_t>(r) * destinationStride;
    for (int c = 0; c < kBlockWidth; c += 4) {
      const __m64 sum =
          _mm_add_pi16(_mm_add_pi16(_mm_mullo_pi16(w0, BytesToLanes(Load32(top + c))),
                                    _mm_mullo_pi16(w1, BytesToLanes(Load32(top + c + 2)))),
                       _mm_add_pi16(_mm_mullo_pi16(w2, BytesToLanes(Load32(bottom + c))),
                                    _mm_mullo_pi16(w3, BytesToLanes(Load32(bottom + c + 2)))));
      const __m64 value = _mm_srli_pi16(_mm_add_pi16(sum, round), 4);
      Store32(out + c, _mm_packs_pu16(value, value));
    }
  }
  _mm_empty();
}

void CMBCoreXMM::InterpolateBicubicVertVc1(const uint8_t* source, uint8_t* destination,
                                           int sourceStride, int destinationStride, int rows,
                                           int fraction, int rounding) {
  FilterOneDimension(source, destination, sourceStride, destinationStride, rows, fraction,
                     sourceStride, 31 + rounding);
}

void CMBCoreXMM::InterpolateBicubicHorzVc1(const uint8_t* source, uint8_t* destination,
                                           int sourceStride, int destinationStride, int rows,
                                           int fraction, int rounding) {
  FilterOneDimension(source, destination, sourceStride, destinationStride, rows, fraction, 1,
                     32 - rounding);
}

// The vertical pass fills 20 first-pass values (columns -1..18) four at a time; the horizontal
// pass takes (h + 64 - rounding) >> 7 as the floor of the mean of two partial sums that each
// fit 16 bits, shifted by 6.
void CMBCoreXMM::InterpolateBicubic2DVc1(const uint8_t* source, uint8_t* destination,
                                         int sourceStride, int destinationStride, int rows,
                                         int fractionX, int fractionY, int rounding) {
  const Taps64 tapsX = TapsOf(fractionX), tapsY = TapsOf(fractionY);
  const int shift = (fractionX != 2 ? 6 : 4) + (fractionY != 2 ? 6 : 4) - 7;
  const __m64 firstRound = _mm_set1_pi16(static_cast<int16_t>((1 << (shift - 1)) + rounding - 1));
  const __m64 secondRound = _mm_set1_pi16(static_cast<int16_t>(64 - rounding));
  const __m64 one = _mm_set1_pi16(1);
  int16_t firstPass[20];
  for (int r = 0; r < rows; ++r) {
    const uint8_t* row = source + static_cast<std::ptrdiff_t>(r) * sourceStride;
    for (int c = -1; c < 19; c += 4) {
      const __m64 t =
          _mm_sra_pi16(_mm_add_pi16(FilterBytes(tapsY, row + c, sourceStride), firstRound),
                       _mm_cvtsi32_si64(shift));
      Store64(firstPass + c + 1, t);
    }
    uint8_t* out = destination + static_cast<std::ptrdiff_t>(r) * destinationStride;
    for (int c = 0; c < kBlockWidth; c += 4) {
      const int16_t* t = firstPass + c;  // t(c - 1)
      const __m64 first = _mm_add_pi16(_mm_mullo_pi16(tapsX.c0, Load64(t)),
                                       _mm_mullo_pi16(tapsX.c1, Load64(t + 1)));
      const __m64 second = _mm_add_pi16(_mm_add_pi16(_mm_mullo_pi16(tapsX.c2, Load64(t + 2)),
                                                     _mm_mullo_pi16(tapsX.c3, Load64(t + 3))),
                                        secondRound);
      const __m64 carry = _mm_and_si64(_mm_and_si64(first, second), one);
      const __m64 mean =
          _mm_add_pi16(_mm_add_pi16(_mm_srai_pi16(first, 1), _mm_srai_pi16(second, 1)), carry);
      const __m64 value = _mm_srai_pi16(mean, 6);
      Store32(out + c, _mm_packs_pu16(value, value));
    }
  }
  _mm_empty();
}

// ---- Overlap smoothing slots --------------------------------------------------------------

// Two rows a step: rows 0, 2, 4, 6 round with (4, 3), rows 1, 3, 5, 7 with (3, 4).
void CMBCoreXMM::OverlapSmoothVertEdge(int16_t* left, int16_t* right) {
  const __m64 r0 = _mm_setr_pi16(4, 3, 4, 3), r1 = _mm_setr_pi16(3, 4, 3, 4);
  for (int r = 0; r < 8; r += 2) {
    SmoothVerticalTwoRows(left + 8 * r, left + 8 * r + 8, right + 8 * r, right + 8 * r + 8, r0, r1);
  }
  _mm_empty();
}

// Two rows a step (an even row count); any non-zero rounding argument selects (4, 3).
void CMBCoreXMM::OverlapSmoothVertEdgeRows(int16_t* left, int16_t* right, int leftStride,
                                           int rightStride, int rows, int rounding) {
  assert(rows % 2 == 0 && "the integer-SSE class smooths two rows a step");
  const __m64 r0 = _mm_set1_pi16(rounding ? 4 : 3), r1 = _mm_set1_pi16(rounding ? 3 : 4);
  for (int r = 0; r + 1 < rows; r += 2) {
    int16_t* l = RowAt(left, static_cast<std::ptrdiff_t>(r) * leftStride);
    int16_t* q = RowAt(right, static_cast<std::ptrdiff_t>(r) * rightStride);
    SmoothVerticalTwoRows(l, RowAt(l, leftStride), q, RowAt(q, rightStride), r0, r1);
  }
  _mm_empty();
}

// Four columns a step; even columns round with (4, 3), odd ones with (3, 4).
void CMBCoreXMM::OverlapSmoothHorzEdge(int16_t* upperRows, int16_t* lower) {
  const __m64 r0 = _mm_setr_pi16(4, 3, 4, 3), r1 = _mm_setr_pi16(3, 4, 3, 4);
  for (int c = 0; c < 8; c += 4) {
    const Lines64 y = Smooth({Load64(upperRows + c), Load64(upperRows + 8 + c), Load64(lower + c),
                              Load64(lower + 8 + c)},
                             r0, r1);
    Store64(upperRows + c, y.x0);
    Store64(upperRows + 8 + c, y.x1);
    Store64(lower + c, y.x2);
    Store64(lower + 8 + c, y.x3);
  }
  _mm_empty();
}

void CMBCoreXMM::SaveOverlapContext(int16_t* context, const int16_t* source) {
  for (int block = 0; block < 4; ++block) {
    for (int i = 0; i < 16; i += 4) {
      Store64(context + 16 * block + i, Load64(source + 128 + 64 * block + i));
    }
  }
  _mm_empty();
}

// ---- Horizontal-edge deblocking slots -----------------------------------------------------

// One segment (four columns) a step.
void CMBCoreXMM::DeblockHorzEdgeVc1(uint8_t* pixels, int stride, int pquant, int segments) {
  const __m64 threshold = _mm_set1_pi16(static_cast<int16_t>(pquant));
  for (int s = 0; s < segments; ++s) {
    uint8_t* column = pixels + 4 * s;
    Segment64 lines;
    for (int k = 0; k < 8; ++k) lines.p[k] = BytesToLanes(Load32(column + (k - 4) * stride));
    __m64 p4, p5;
    DeblockSegment(lines, threshold, &p4, &p5);
    Store32(column - stride, _mm_packs_pu16(p4, p4));
    Store32(column, _mm_packs_pu16(p5, p5));
  }
  _mm_empty();
}

// One pass per selected component; acts on the masks 1 (Cr), 2 (Cb) and 3 (both) only.
void CMBCoreXMM::DeblockHorzEdgeMaskedVc1(uint8_t* pixels, int stride, int pquant,
                                          int componentMask, int segments) {
  if (componentMask < 1 || componentMask > 3) return;
  const __m64 threshold = _mm_set1_pi16(static_cast<int16_t>(pquant));
  if (componentMask & 2) DeblockChromaComponent(pixels, stride, threshold, segments, 0);
  if (componentMask & 1) DeblockChromaComponent(pixels, stride, threshold, segments, 1);
  _mm_empty();
}

}  // namespace orx::dsp
