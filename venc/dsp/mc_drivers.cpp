// The motion-compensation drivers of CMBCore: they turn the macroblock position and the vectors
// into source addresses, derive the chroma vector by the rule of their codec and call one
// kernel of the installed groups (slot 35 must have run) for the 16x16 luma block and one for
// the 16-byte by 8-row interleaved chroma block. Prediction blocks have a row step of 16. The
// drivers read the rounding control; the kernels take none.
#include <cstddef>
#include <cstdint>

#include "venc/dsp/mb_core.h"
#include "venc/dsp/mc_kernels.h"
#include "venc/dsp/vc1_interpolation_tables.h"

namespace orx::dsp {
namespace {

constexpr int kBlockStride = 16;
constexpr int kLumaRows = 16;
constexpr int kChromaRows = 8;
constexpr int kLumaStep = 1;
constexpr int kChromaStep = 2;  // the next sample of the same chroma component

// Half-sample kernel index of a vector in half samples: 2 * xHalf + yHalf.
inline int HalfIndex(int vx, int vy) { return 2 * (vx & 1) + (vy & 1); }

// The rounding-control half of an 8-entry group, kept inside the group.
inline int RoundingIndex(int roundingControl, int halfIndex) {
  return (4 * roundingControl + halfIndex) & 7;
}

// MPEG-1/2 (and VC-1 half-sample bidirectional): half the luma component, truncated towards
// zero, in half chroma samples.
inline int ChromaTruncated(int v) { return v / 2; }

// MPEG-4 with rounding control: (v >> 1) | (v & 1), so odd halves stay half positions.
inline int ChromaMpeg4(int v) { return (v >> 1) | (v & 1); }

// VC-1 quarter samples: three-quarter positions round up before halving; with fast chroma the
// result is halved again towards zero, into half chroma samples.
inline int ChromaVc1(int v, int fastChroma) {
  int c = ((v & 3) == 3 ? v + 1 : v) >> 1;
  return fastChroma ? c / 2 : c;
}

struct Vector {
  int x, y;
};

const uint8_t* LumaSource(const uint8_t* plane, int stride, int x, int y, Vector halfSamples) {
  return plane + static_cast<std::ptrdiff_t>(y + (halfSamples.y >> 1)) * stride + x +
         (halfSamples.x >> 1);
}

// The chroma plane interleaves Cb and Cr, two bytes per chroma sample position.
const uint8_t* ChromaSource(const uint8_t* plane, int stride, int x, int y, Vector halfSamples) {
  return plane + static_cast<std::ptrdiff_t>((y >> 1) + (halfSamples.y >> 1)) * stride +
         2 * static_cast<std::ptrdiff_t>((x >> 1) + (halfSamples.x >> 1));
}

Vector Truncated(Vector v) { return {ChromaTruncated(v.x), ChromaTruncated(v.y)}; }
Vector Mpeg4(Vector v) { return {ChromaMpeg4(v.x), ChromaMpeg4(v.y)}; }

// One-direction prediction of the macroblock, in the rounding half `roundingControl` of the
// luma and chroma groups (0 for the MPEG-1/2 drivers, which always round up).
void PredictOneDirection(const CMBCore& core, uint8_t* const* reference,
                         uint8_t* const* prediction, int stride, int x, int y, Vector luma,
                         Vector chroma, int roundingControl) {
  core.lumaKernels[RoundingIndex(roundingControl, HalfIndex(luma.x, luma.y))](
      LumaSource(reference[0], stride, x, y, luma), prediction[0], stride, kBlockStride,
      kLumaRows);
  core.chromaKernels[RoundingIndex(roundingControl, HalfIndex(chroma.x, chroma.y))](
      ChromaSource(reference[1], stride, x, y, chroma), prediction[1], stride, kBlockStride,
      kChromaRows);
}

// Prediction from two references through the bidirectional group, which always rounds up.
void PredictBothDirections(const CMBCore& core, uint8_t* const* first, uint8_t* const* second,
                           uint8_t* const* prediction, int stride, int x, int y, Vector luma1,
                           Vector luma2, Vector chroma1, Vector chroma2) {
  core.bidirKernels[4 * HalfIndex(luma1.x, luma1.y) + HalfIndex(luma2.x, luma2.y)](
      LumaSource(first[0], stride, x, y, luma1), LumaSource(second[0], stride, x, y, luma2),
      prediction[0], stride, kBlockStride, kLumaRows, kLumaStep);
  core.bidirKernels[4 * HalfIndex(chroma1.x, chroma1.y) + HalfIndex(chroma2.x, chroma2.y)](
      ChromaSource(first[1], stride, x, y, chroma1), ChromaSource(second[1], stride, x, y, chroma2),
      prediction[1], stride, kBlockStride, kChromaRows, kChromaStep);
}

// Field prediction: 8 luma rows and 4 chroma rows of one field at a destination row step of 32,
// so that two calls (destination offsets 0 and 16) fill the 16 luma and 8 chroma rows of the
// prediction blocks.
constexpr int kFieldBlockStride = 32;
constexpr int kFieldLumaRows = 8;
constexpr int kFieldChromaRows = 4;

struct FieldSources {
  const uint8_t* luma;
  const uint8_t* chroma;
  int lumaIndex;
  int chromaIndex;
};

FieldSources FieldAddress(uint8_t* const* reference, int bottomField, int fieldStride, int x,
                          int fieldRow, int mvx, int mvy) {
  const std::ptrdiff_t fieldOffset = bottomField ? fieldStride >> 1 : 0;
  const Vector luma{mvx, mvy}, chroma = Truncated(luma);
  FieldSources s;
  s.luma = reference[0] + static_cast<std::ptrdiff_t>(fieldRow + (luma.y >> 1)) * fieldStride +
           x + (luma.x >> 1) + fieldOffset;
  s.chroma = reference[1] +
             static_cast<std::ptrdiff_t>((fieldRow >> 1) + (chroma.y >> 1)) * fieldStride +
             2 * static_cast<std::ptrdiff_t>((x >> 1) + (chroma.x >> 1)) + fieldOffset;
  s.lumaIndex = HalfIndex(luma.x, luma.y);
  s.chromaIndex = HalfIndex(chroma.x, chroma.y);
  return s;
}

}  // namespace

void CMBCore::MotionCompensateMB(uint8_t* const* reference, uint8_t* const* prediction,
                                 int stride, int x, int y, int mvx, int mvy) {
  const Vector luma{mvx, mvy};
  PredictOneDirection(*this, reference, prediction, stride, x, y, luma, Truncated(luma), 0);
}

void CMBCore::MotionCompensateMBBidir(uint8_t* const* first, uint8_t* const* second,
                                      uint8_t* const* prediction, int stride, int x, int y,
                                      int mv1x, int mv1y, int mv2x, int mv2y) {
  const Vector luma1{mv1x, mv1y}, luma2{mv2x, mv2y};
  PredictBothDirections(*this, first, second, prediction, stride, x, y, luma1, luma2,
                        Truncated(luma1), Truncated(luma2));
}

void CMBCore::MotionCompensateMBRounded(uint8_t* const* reference, uint8_t* const* prediction,
                                        int stride, int x, int y, int mvx, int mvy) {
  const Vector luma{mvx, mvy};
  PredictOneDirection(*this, reference, prediction, stride, x, y, luma, Mpeg4(luma),
                      roundingControl);
}

// The bidirectional group always rounds up, so the rounding control plays no part.
void CMBCore::MotionCompensateMBRoundedBidir(uint8_t* const* first, uint8_t* const* second,
                                             uint8_t* const* prediction, int stride, int x, int y,
                                             int mv1x, int mv1y, int mv2x, int mv2y) {
  const Vector luma1{mv1x, mv1y}, luma2{mv2x, mv2y};
  PredictBothDirections(*this, first, second, prediction, stride, x, y, luma1, luma2,
                        Mpeg4(luma1), Mpeg4(luma2));
}

void CMBCore::MotionCompensateMBVc1HalfPel(uint8_t* const* reference, uint8_t* const* prediction,
                                           int stride, int x, int y, int mvx, int mvy, int cmvx,
                                           int cmvy) {
  PredictOneDirection(*this, reference, prediction, stride, x, y, {mvx, mvy}, {cmvx, cmvy},
                      roundingControl);
}

void CMBCore::MotionCompensateMBVc1HalfPelBidir(uint8_t* const* first, uint8_t* const* second,
                                                uint8_t* const* prediction, int stride, int x,
                                                int y, int mv1x, int mv1y, int mv2x, int mv2y) {
  MotionCompensateMBBidir(first, second, prediction, stride, x, y, mv1x, mv1y, mv2x, mv2y);
}

void CMBCore::MotionCompensateMBVc1(uint8_t* const* reference, uint8_t* const* prediction,
                                    int stride, int x, int y, int mvx, int mvy, int cmvx, int cmvy,
                                    int fastChroma) {
  const int rc = roundingControl;
  const uint8_t* luma =
      reference[0] + static_cast<std::ptrdiff_t>(y + (mvy >> 2)) * stride + x + (mvx >> 2);
  const int fx = mvx & 3, fy = mvy & 3;
  if ((fx & 1) == 0 && (fy & 1) == 0) {
    vc1FourTapKernels[RoundingIndex(rc, 2 * (fx >> 1) + (fy >> 1))](luma, prediction[0], stride,
                                                                     kBlockStride, kLumaRows);
  } else if (fx == 0) {
    InterpolateBicubicVertVc1(luma, prediction[0], stride, kBlockStride, kLumaRows, fy, rc);
  } else if (fy == 0) {
    InterpolateBicubicHorzVc1(luma, prediction[0], stride, kBlockStride, kLumaRows, fx, rc);
  } else {
    InterpolateBicubic2DVc1(luma, prediction[0], stride, kBlockStride, kLumaRows, fx, fy, rc);
  }

  if (fastChroma) {
    Vector chroma{cmvx, cmvy};
    chromaKernels[RoundingIndex(rc, HalfIndex(chroma.x, chroma.y))](
        ChromaSource(reference[1], stride, x, y, chroma), prediction[1], stride, kBlockStride,
        kChromaRows);
    return;
  }
  const uint8_t* chroma = reference[1] +
                          static_cast<std::ptrdiff_t>((y >> 1) + (cmvy >> 2)) * stride +
                          2 * static_cast<std::ptrdiff_t>((x >> 1) + (cmvx >> 2));
  if ((cmvx & 1) == 0 && (cmvy & 1) == 0) {
    chromaKernels[RoundingIndex(rc, 2 * ((cmvx >> 1) & 1) + ((cmvy >> 1) & 1))](
        chroma, prediction[1], stride, kBlockStride, kChromaRows);
  } else {
    InterpolateBilinearVc1(Vc1BilinearWeights[4 * (cmvy & 3) + (cmvx & 3)], chroma,
                           prediction[1], stride, kBlockStride, kChromaRows, rc);
  }
}

// The second prediction goes to the scratch area (luma at offset 0, chroma at 512), then the
// reference class's full-sample bidirectional kernel averages it into the first, rounding up.
void CMBCore::MotionCompensateMBVc1Bidir(uint8_t* const* first, uint8_t* const* second,
                                         uint8_t* const* prediction, int stride, int x, int y,
                                         int mv1x, int mv1y, int mv2x, int mv2y, int fastChroma) {
  constexpr int kScratchChroma = 512;
  MotionCompensateMBVc1(first, prediction, stride, x, y, mv1x, mv1y, ChromaVc1(mv1x, fastChroma),
                        ChromaVc1(mv1y, fastChroma), fastChroma);
  uint8_t* const secondPrediction[2] = {scratch, scratch + kScratchChroma};
  MotionCompensateMBVc1(second, secondPrediction, stride, x, y, mv2x, mv2y,
                        ChromaVc1(mv2x, fastChroma), ChromaVc1(mv2y, fastChroma), fastChroma);
  const McBidirKernel average = kReferenceMcKernels.bidir[0];
  average(prediction[0], secondPrediction[0], prediction[0], kBlockStride, kBlockStride,
          kLumaRows, kLumaStep);
  average(prediction[1], secondPrediction[1], prediction[1], kBlockStride, kBlockStride,
          kChromaRows, kChromaStep);
}

void CMBCore::MotionCompensateFieldMB(uint8_t* const* reference, uint8_t* const* prediction,
                                      int bottomField, int destinationOffset, int fieldStride,
                                      int x, int fieldRow, int mvx, int mvy) {
  FieldSources s = FieldAddress(reference, bottomField, fieldStride, x, fieldRow, mvx, mvy);
  lumaKernels[s.lumaIndex](s.luma, prediction[0] + destinationOffset, fieldStride,
                           kFieldBlockStride, kFieldLumaRows);
  chromaKernels[s.chromaIndex](s.chroma, prediction[1] + destinationOffset, fieldStride,
                               kFieldBlockStride, kFieldChromaRows);
}

void CMBCore::MotionCompensateFieldMBBidir(uint8_t* const* first, uint8_t* const* second,
                                           uint8_t* const* prediction, int firstBottomField,
                                           int secondBottomField, int destinationOffset,
                                           int fieldStride, int x, int fieldRow, int mv1x,
                                           int mv1y, int mv2x, int mv2y) {
  FieldSources a = FieldAddress(first, firstBottomField, fieldStride, x, fieldRow, mv1x, mv1y);
  FieldSources b = FieldAddress(second, secondBottomField, fieldStride, x, fieldRow, mv2x, mv2y);
  bidirKernels[4 * a.lumaIndex + b.lumaIndex](a.luma, b.luma, prediction[0] + destinationOffset,
                                              fieldStride, kFieldBlockStride, kFieldLumaRows,
                                              kLumaStep);
  bidirKernels[4 * a.chromaIndex + b.chromaIndex](a.chroma, b.chroma,
                                                  prediction[1] + destinationOffset, fieldStride,
                                                  kFieldBlockStride, kFieldChromaRows,
                                                  kChromaStep);
}

}  // namespace orx::dsp
