// Refinements of the plain motion-estimation core (slots 12-14): the better of the two
// neighbours of a position on one axis, through the object's own cost slots, with a bias
// towards the predicted direction. Directions are -1 (left or up) and +1 (right or down); a tie
// chooses -1.
#include "venc/dsp/me_choices.h"
#include "venc/dsp/motion_estimation_core.h"

namespace orx::dsp {

int CMotionEstimationCore::RefineHalfPelHorz(const uint8_t* reference, int* direction,
                                             int predictedDirection, int bias) {
  int left = static_cast<int>(SadHalfPel16(reference - 1, 1, 0));
  int right = static_cast<int>(SadHalfPel16(reference, 1, 0));
  return me::ChooseRefinementSide(left, right, direction, predictedDirection, bias);
}

int CMotionEstimationCore::RefineHalfPelVert(const uint8_t* reference, int halfX, int* direction,
                                             int predictedDirection, int bias) {
  int up = static_cast<int>(SadHalfPel16(reference - stride, halfX, 1));
  int down = static_cast<int>(SadHalfPel16(reference, halfX, 1));
  return me::ChooseRefinementSide(up, down, direction, predictedDirection, bias);
}

int CMotionEstimationCore::RefineFullPelVert(const uint8_t* reference, int* direction) {
  int up = static_cast<int>(Sad16(reference - stride));
  int down = static_cast<int>(Sad16(reference + stride));
  return me::ChooseRefinementSide(up, down, direction, 0, 0);
}

}  // namespace orx::dsp
