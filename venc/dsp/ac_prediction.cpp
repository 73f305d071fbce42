// Plain intra AC prediction (MPEG-4 and VC-1): a block's first stored row (entries 1-7) or
// first stored column (entries 8, 16, ..., 56) predicted from the neighbour's scaled edge, and
// the gain the prediction brings.
#include <cstdlib>

#include "venc/dsp/ac_prediction_tables.h"
#include "venc/dsp/mb_core.h"

namespace orx::dsp {
namespace {

// Position of the k-th edge coefficient (k = 1..7) of a row or a column.
int EdgePosition(int k, bool column) { return column ? 8 * k : k; }

void StoreEdge(const int16_t* block, int16_t* store, int quantizer, bool column) {
  for (int k = 1; k < 8; ++k) {
    store[k] = static_cast<int16_t>(block[EdgePosition(k, column)] * quantizer);
  }
}

int Predict(const int16_t* block, int16_t* output, int16_t* store, int available, int quantizer,
            bool column, bool vc1) {
  const AcPredScale scale = vc1 ? kVc1AcPredScale[quantizer] : kAcPredReciprocal[quantizer];
  for (int i = 0; i < 64; ++i) output[i] = block[i];
  int gain = 0;
  for (int k = 1; k < 8; ++k) {
    const int position = EdgePosition(k, column);
    const int c = block[position];
    const int64_t p = available ? store[k] : 0;
    const int64_t rounding = (int64_t{1} << (scale.shift - 1)) - (!vc1 && p < 0 ? 1 : 0);
    const int t = static_cast<int>((p * scale.multiplier + rounding) >> scale.shift);
    const int difference = static_cast<int16_t>(c - t);
    output[position] = static_cast<int16_t>(difference);
    store[k] = static_cast<int16_t>(c * quantizer);
    gain += std::abs(c) - std::abs(difference);
  }
  return gain;
}

}  // namespace

void CMBCore::StoreAcPredRow(const int16_t* block, int16_t* store, int quantizer) {
  StoreEdge(block, store, quantizer, false);
}

void CMBCore::StoreAcPredColumn(const int16_t* block, int16_t* store, int quantizer) {
  StoreEdge(block, store, quantizer, true);
}

int CMBCore::PredictAcRow(const int16_t* block, int16_t* output, int16_t* store, int available,
                          int quantizer) {
  return Predict(block, output, store, available, quantizer, false, false);
}

int CMBCore::PredictAcColumn(const int16_t* block, int16_t* output, int16_t* store, int available,
                             int quantizer) {
  return Predict(block, output, store, available, quantizer, true, false);
}

int CMBCore::PredictAcRowVc1(const int16_t* block, int16_t* output, int16_t* store, int available,
                             int quantizer) {
  return Predict(block, output, store, available, quantizer, false, true);
}

int CMBCore::PredictAcColumnVc1(const int16_t* block, int16_t* output, int16_t* store,
                                int available, int quantizer) {
  return Predict(block, output, store, available, quantizer, true, true);
}

}  // namespace orx::dsp
