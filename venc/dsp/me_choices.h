#pragma once
// The choice steps shared by the plain and the variant bodies: the side a refinement takes,
// and for the sub-pel cost sets the totals of the four positions -2, -1, +1, +2 quarter samples
// over the parts of the sums array, the bias at the predicted position, and the first lowest
// cost in that order.
#include <cstdint>

namespace orx::dsp::me {

// The refinements: the bias comes off the first side (left or up) when the predicted direction
// is -1 and off the second when it is +1; the second side wins only when strictly cheaper.
inline int ChooseRefinementSide(int first, int second, int* direction, int predictedDirection,
                                int bias) {
  if (predictedDirection == -1) {
    first -= bias;
  } else if (predictedDirection == 1) {
    second -= bias;
  }
  if (first > second) {
    *direction = 1;
    return second;
  }
  *direction = -1;
  return first;
}

inline constexpr int kSubPelOffsets[4] = {-2, -1, 1, 2};

// totals[k] = the sum of entry 4 * part + k over the parts.
inline void SubPelTotals(const uint16_t* sums, int parts, int32_t* totals) {
  for (int k = 0; k < 4; ++k) {
    totals[k] = 0;
    for (int part = 0; part < parts; ++part) totals[k] += sums[4 * part + k];
  }
}

// Takes `bias` off the cost of the position equal to `predicted` (positions around *component).
inline void ApplyBias(int32_t* costs, int component, int predicted, int bias) {
  for (int k = 0; k < 4; ++k) {
    if (component + kSubPelOffsets[k] == predicted) costs[k] -= bias;
  }
}

// The first lowest cost in the order -2, -1, +1, +2 (a later position must be strictly lower);
// moves *component there and answers its cost. The position itself is never a candidate.
inline int ChooseSubPelPosition(const int32_t* costs, int* component) {
  int best = 0;
  for (int k = 1; k < 4; ++k) {
    if (costs[k] < costs[best]) best = k;
  }
  *component += kSubPelOffsets[best];
  return costs[best];
}

// The usual ending of a cost set: totals, bias at the predicted position, choice.
inline int ChooseWithBias(const uint16_t* sums, int parts, int* component, int predicted,
                          int bias) {
  int32_t costs[4];
  SubPelTotals(sums, parts, costs);
  ApplyBias(costs, *component, predicted, bias);
  return ChooseSubPelPosition(costs, component);
}

}  // namespace orx::dsp::me
