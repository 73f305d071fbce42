#pragma once
// MPEG-1/2 encoders that record what they decide: every macroblock they write (flags, coded
// block pattern, quantisers, address increment, the coefficients it carries) and, through a
// core that counts, which core paths ran. The core can also replace the largest level a
// clip-255 quantiser reports, to reach the quantiser retry on purpose.
#include <functional>
#include <memory>
#include <vector>

#include "tests/venc/mbenc/test_encoders.h"
#include "venc/dsp/mb_core_variants.h"

namespace orx::venc::test {

struct CoreCounters {
  int deadZoneCalls = 0;
  int deadZoneActive = 0;  // calls with a dead-zone record selected
  int dcOnlyPairs = 0;
  int inverseDcts = 0;
  int intraDcOnly = 0;
  int clip255Calls = 0;
  int interClip255Calls = 0;
  // Replaces the largest level of clip-255 quantiser call n (from 1); 0 keeps the kernel's.
  std::function<int(int call)> intraLargest;
  std::function<int(int call)> interLargest;
};

class CountingCore : public dsp::CMBCoreXMM2 {
 public:
  explicit CountingCore(CoreCounters* counters) : counters_(counters) {}
  void ApplyDeadZone(int16_t* block) override;
  void CodeIntraDcOnlyPair(int16_t* destination, const uint8_t* source, int stride) override;
  void InverseDct(int16_t* block) override;
  void ReconstructIntraDcOnly(int16_t* block, int blockIndex) override;
  int QuantizeClip255(const int16_t* source, int16_t* destination) override;
  int QuantizeInterClip255(const int16_t* source, int16_t* destination, int* overflow) override;

 private:
  CoreCounters* counters_;
};

struct MacroblockRecord {
  int display;
  int row;
  int column;
  uint32_t flags;
  int cbp;
  int mbQuant;
  int lastQuant;
  int addressIncrement;
  int dc[6];
  bool acCoded[6];  // any AC level in the block
};

template <class Base>
class RecordingEncoder : public InjectableEncoder<Base> {
 public:
  RecordingEncoder(std::vector<MacroblockRecord>* log, CoreCounters* counters)
      : log_(log), counters_(counters) {}

  void WriteMacroblock(MBInfo* mb, int cbp, int mbX) override {
    MacroblockRecord r{};
    r.display = this->state_.picture->displayNumber;
    r.row = this->state_.mbY;
    r.column = mbX;
    r.flags = mb->flags;
    r.cbp = cbp;
    r.mbQuant = this->state_.mbQuant;
    r.lastQuant = this->state_.lastQuant;
    r.addressIncrement = this->state_.addressIncrement;
    for (int b = 0; b < 6; ++b) {
      const int16_t* block = this->coefficients_ + 64 * b;
      r.dc[b] = block[0];
      r.acCoded[b] = false;
      for (int i = 1; i < 64; ++i) r.acCoded[b] = r.acCoded[b] || block[i] != 0;
    }
    log_->push_back(r);
    Base::WriteMacroblock(mb, cbp, mbX);
  }

 protected:
  bool CreateCore(dsp::CMBCore** core) override {
    *core = new CountingCore(counters_);
    return true;
  }

 private:
  std::vector<MacroblockRecord>* log_;
  CoreCounters* counters_;
};

}  // namespace orx::venc::test
