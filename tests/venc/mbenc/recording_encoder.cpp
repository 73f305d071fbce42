#include "tests/venc/mbenc/recording_encoder.h"

namespace orx::venc::test {

void CountingCore::ApplyDeadZone(int16_t* block) {
  ++counters_->deadZoneCalls;
  if (currentDeadZone != nullptr) ++counters_->deadZoneActive;
  CMBCoreXMM2::ApplyDeadZone(block);
}

void CountingCore::CodeIntraDcOnlyPair(int16_t* destination, const uint8_t* source, int stride) {
  ++counters_->dcOnlyPairs;
  CMBCoreXMM2::CodeIntraDcOnlyPair(destination, source, stride);
}

void CountingCore::InverseDct(int16_t* block) {
  ++counters_->inverseDcts;
  CMBCoreXMM2::InverseDct(block);
}

void CountingCore::ReconstructIntraDcOnly(int16_t* block, int blockIndex) {
  ++counters_->intraDcOnly;
  CMBCoreXMM2::ReconstructIntraDcOnly(block, blockIndex);
}

int CountingCore::QuantizeClip255(const int16_t* source, int16_t* destination) {
  const int largest = CMBCoreXMM2::QuantizeClip255(source, destination);
  const int replaced = counters_->intraLargest ? counters_->intraLargest(++counters_->clip255Calls) : 0;
  return replaced != 0 ? replaced : largest;
}

int CountingCore::QuantizeInterClip255(const int16_t* source, int16_t* destination, int* overflow) {
  const int coded = CMBCoreXMM2::QuantizeInterClip255(source, destination, overflow);
  const int replaced = counters_->interLargest ? counters_->interLargest(++counters_->interClip255Calls) : 0;
  if (replaced != 0) *overflow = replaced;
  return coded;
}

}  // namespace orx::venc::test
