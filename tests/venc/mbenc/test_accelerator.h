#pragma once
// A stand-in for the encode accelerator's prediction workers: one worker thread that predicts
// macroblock rows into the encoder's row buffers, as the accelerator's motion-compensation
// worker does, with the same core drivers. It counts what the protocol asks of the encoder.
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <utility>

#include "venc/common/encode_accelerator.h"
#include "venc/dsp/mb_core.h"

namespace orx::venc::test {

class TestAccelerator final : public IEncodeAccelerator {
 public:
  // planes(reconstruction index) -> (luma, chroma) of that reconstruction buffer.
  using PlaneLookup = std::function<std::pair<uint8_t*, uint8_t*>(int reconIndex)>;
  explicit TestAccelerator(PlaneLookup planes);
  ~TestAccelerator();

  void ConfigureME(const AccConfig*) override {}
  void ConfigureMCP(const AccConfig* config) override;
  void SetPreprocessConfig(const AccConfig*) override {}
  void Reset(int pictureIndex) override;
  bool PostJob(const EncAccJob* job) override;
  int WaitJob(EncAccJob* job) override;

  // Refuses to post the jobs of rows this answers true for.
  std::function<bool(int row)> refuse;

  int JobsPosted() const { return posted_; }
  int MaxOutstanding() const { return maxOutstanding_; }
  int Resets() const { return resets_; }
  int Configurations() const { return configurations_; }
  // Jobs that were waited for before being posted, or posted twice.
  int ProtocolErrors() const { return protocolErrors_; }

 private:
  struct Slot {
    EncAccJob job;
    bool done = false;
  };
  void Run();
  void PredictRow(const EncAccJob& job);

  PlaneLookup planes_;
  dsp::CMBCore* core_ = nullptr;
  AccConfig config_{};
  std::mutex mutex_;
  std::condition_variable changed_;
  std::deque<Slot> slots_;
  bool stopping_ = false;
  int posted_ = 0;
  int maxOutstanding_ = 0;
  int resets_ = 0;
  int configurations_ = 0;
  int protocolErrors_ = 0;
  std::thread worker_;
};

}  // namespace orx::venc::test
