#include <algorithm>
#include <cstdlib>

#include "tests/venc/dsp/model/models.h"
#include "venc/dsp/ac_prediction_tables.h"

namespace orx::dsp::model {

void StoreAcPredRow(const int16_t* block, int16_t* store, int quantizer) {
  for (int k = 0; k < 8; ++k) store[k] = static_cast<int16_t>(block[k] * quantizer);
}

void StoreAcPredColumn(const int16_t* block, int16_t* store, int quantizer) {
  store[0] = 0;
  for (int k = 1; k < 8; ++k) store[k] = static_cast<int16_t>(block[8 * k] * quantizer);
}

int PredictAc(const int16_t* block, int16_t* output, int16_t* store, int available, int quantizer,
              bool column, bool vc1) {
  const AcPredScale scale = vc1 ? kVc1AcPredScale[quantizer] : kAcPredReciprocal[quantizer];
  std::copy(block, block + 64, output);
  int gain = 0;
  bool veto = false;
  for (int k = 1; k < 8; ++k) {
    const int position = column ? 8 * k : k;
    const int c = block[position];
    const int64_t p = available ? store[k] : 0;
    const int64_t half = int64_t{1} << (scale.shift - 1);
    const int t = static_cast<int>((p * scale.multiplier + half - (!vc1 && p < 0)) >> scale.shift);
    const int d = Wrap16(c - t);
    output[position] = static_cast<int16_t>(d);
    veto |= d >= 127 || d <= -127;
    gain += std::abs(std::clamp(c, -128, 127)) - std::abs(d);
  }
  if (column) {
    StoreAcPredColumn(block, store, quantizer);
  } else {
    StoreAcPredRow(block, store, quantizer);
  }
  return veto ? -32768 : gain;
}

}  // namespace orx::dsp::model
