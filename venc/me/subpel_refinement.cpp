// Quarter-pel refinements of CMotionSearch: one horizontal and one vertical step over the
// core's sub-pel cost sets, with a bonus for each component equal to the prediction (T >> 2
// for the 16x16 block, T >> 1 for the smaller shapes, whose vectors cost more to code).
#include "venc/me/motion_search.h"

namespace orx::venc {

namespace {

inline const uint8_t* At(const uint8_t* plane, int pitch, int x, int y) {
  return plane + static_cast<ptrdiff_t>(y) * pitch + x;
}

}  // namespace

int CMotionSearch::RefineQuarterPel(Position* position, int cost, const uint8_t* plane, int pitch,
                                    int predictedX, int predictedY, int bonus, SubPelFn horizontal,
                                    SubPelYFn vertical) {
  int qx = 4 * position->x;
  int qy = 4 * position->y;
  int c = cost - (qx == predictedX ? bonus : 0) - (qy == predictedY ? bonus : 0);
  int x = qx;
  int h = (core->*horizontal)(At(plane, pitch, position->x, position->y), subPelSums, &x,
                              predictedX, bonus);
  h -= qy == predictedY ? bonus : 0;
  if (h < c) {
    c = h;
    qx = x;
  }
  int y = qy;
  int v = (core->*vertical)(At(plane, pitch, qx >> 2, position->y), qx & 3, subPelSums, &y,
                            predictedY, bonus);
  v -= qx == predictedX ? bonus : 0;
  if (v < c) {
    c = v;
    qy = y;
  }
  *position = {qx, qy};
  return c + (qx == predictedX ? bonus : 0) + (qy == predictedY ? bonus : 0);
}

int CMotionSearch::RefineSubPel(Position* position, int cost, const uint8_t* plane, int pitch,
                                int predictedX, int predictedY) {
  return RefineQuarterPel(position, cost, plane, pitch, predictedX, predictedY, vectorPenalty >> 2,
                          &dsp::CMotionEstimationCore::SubPelSadsX16x16,
                          &dsp::CMotionEstimationCore::SubPelSadsY16x16);
}

int CMotionSearch::RefineSubPel8x8(Position* position, int cost, const uint8_t* plane, int pitch,
                                   int predictedX, int predictedY) {
  return RefineQuarterPel(position, cost, plane, pitch, predictedX, predictedY, vectorPenalty >> 1,
                          &dsp::CMotionEstimationCore::SubPelSadsX8x8,
                          &dsp::CMotionEstimationCore::SubPelSadsY8x8);
}

int CMotionSearch::RefineSubPel16x8(Position* position, int cost, const uint8_t* plane, int pitch,
                                    int predictedX, int predictedY) {
  return RefineQuarterPel(position, cost, plane, pitch, predictedX, predictedY, vectorPenalty >> 1,
                          &dsp::CMotionEstimationCore::SubPelSadsX16x8,
                          &dsp::CMotionEstimationCore::SubPelSadsY16x8);
}

int CMotionSearch::RefineSubPel8x16(Position* position, int cost, const uint8_t* plane, int pitch,
                                    int predictedX, int predictedY) {
  return RefineQuarterPel(position, cost, plane, pitch, predictedX, predictedY, vectorPenalty >> 1,
                          &dsp::CMotionEstimationCore::SubPelSadsXHalves,
                          &dsp::CMotionEstimationCore::SubPelSadsYHalves);
}

}  // namespace orx::venc
