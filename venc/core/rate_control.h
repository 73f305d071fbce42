#pragma once
// Rate control and the VBV model of one video encoder: picture, row and macroblock quantisers
// that keep the stream at its bit rate without emptying or overfilling the decoder buffer, and
// the vbv_delay of every picture. Three modes: constant rate (0), variable rate (1) and a fixed
// quantiser (a negative mode whose negation is the quantiser).
#include <cstdint>
#include <vector>

#include "venc/common/encoder_settings.h"
#include "venc/common/picture.h"
#include "venc/mbenc/mb_coding_state.h"
#include "venc/common/rate_control_interface.h"

namespace orx::venc {

// What the controller reads and writes of the macroblock encoder's bit writer.
class IRateControlOutput {
 public:
  // Bits of the current picture so far (headers included).
  virtual int64_t PictureBits() = 0;
  // All bits of the stream so far.
  virtual int64_t StreamBits() = 0;
  // Appends bits to the picture (zero-byte stuffing).
  virtual void PutBits(uint32_t value, int bits) = 0;

 protected:
  ~IRateControlOutput() = default;
};

// The encoder's statistics words the controller keeps.
struct RateControlStatistics {
  uint32_t vbvUnderflows;
  uint32_t stuffingBytes;
  uint32_t reserved[3];
};

// A row decision: the code to write, and the words for the coding position.
struct RowQuantDecision {
  int code;
  int quantWord;  // 8q + the add value (the inter threshold word)
  int rowWord;  // 8q + 32 (the row threshold word)
};

// A macroblock decision.
struct MbQuantDecision {
  int code;
  int quantWord;  // 8q + the add value
  bool panic;  // the picture's bits passed panic level B
};

class CRateControl final : public IRateControl {
 public:
  CRateControl() = default;

  // Sequence set-up. settings stays in use (SetBitRate writes its bitRate and pelRateToBits).
  bool Init(EncoderSettings* settings, IRateControlOutput* output, RateControlStatistics* stats);
  void SetBitRate(EncoderSettings* settings, int bitRate);
  void TuneWeights(const EncoderSettings* settings);

  // ---- the macroblock encoders' calls ----
  void StartGop(CPicture* picture, uint32_t pPictures, uint32_t bPictures) override;
  // vbv_delay of the picture (65535 with a variable rate); called before its header.
  int CheckVbv(CPicture* picture) override;
  void StartPicture(CPicture* picture) override;
  void EndPicture(CPicture* picture) override;
  // Fixes the row quantiser: writes the inter and row threshold words and the code into the
  // coding position and answers the code.
  int GetRowQuant(MBCodingState* position) override;
  // Writes the macroblock's code and inter threshold word, and sets or clears the panic flag.
  void UpdateMbQuant(MBInfo* mb, MBCodingState* position) override;
  void AccumulateMb(MBInfo* mb) override;
  // The first plan level's per-row step: the bits the row plan allows one macroblock row.
  int GetRowBitTarget() override;
  // Decoder-buffer fullness in bits, clamped to 0 .. the buffer size.
  int GetVbvDelay() override;
  // Twice the picture quantiser plus a half-step bit (VC-1).
  int GetActivityQuant(CPicture* picture, bool halfStep, int* spread) override;

  void PlanPicture(CPicture* picture);
  // The row decision for macroblock row `row`.
  RowQuantDecision DecideRowQuant(int row);
  // The decision for the macroblock mb (in its row's MBInfo records) at `column`, after a
  // macroblock that took previousCode.
  MbQuantDecision DecideMbQuant(const MBInfo* mb, int column, int previousCode);

  // The decoder-buffer fullness ratio a picture of this type aims at, from the current ratio f.
  double TargetFullness(int pictureType, double f) const;
  // 1 + d: the factor of the VBR floor for an intra complexity a per macroblock and the last
  // planning value t.
  static double VbrFloorFactor(double a, double t);
  // The integer quantiser of a row: the fraction of q spread so that the outer rows take the
  // next step up (with a code table, the next entry).
  static int SpreadRowQuant(double q, int row, int mbRows, const std::vector<int>* qToCode,
                            int maxQuant);

  // Read by tests and the component.
  int Mode() const { return mode_; }
  double Fullness() const { return fullness_; }
  int64_t DecodingTime() const { return decodingTime_; }
  int64_t VbvSize() const { return vbvSize_; }
  double PictureQuant() const { return pictureQuant_; }
  int MaxQuant() const { return maxQuant_; }
  double QScale() const { return qScale_; }
  double QStart() const { return qStart_; }
  double VbrFloor() const { return vbrFloor_; }
  double VbrQuant() const { return vbrQuant_; }
  double Gain() const { return gain_; }
  int64_t MinPictureBits() const { return minPictureBits_; }
  double PanicLevelA() const { return levelA_; }
  double PanicLevelB() const { return levelB_; }
  int64_t VirtualStuffing() const { return virtualStuffing_; }
  int LastDuration() const { return lastDuration_; }

  // Test seams for the planning state.
  void SetFullness(double fullness) { fullness_ = fullness; }
  void SetPlanningValue(double t) { lastValue_ = t; }
  void SetScaleBounds(double qScale, double qStart) {
    qScale_ = qScale;
    qStart_ = qStart;
  }

 private:
  int CodeOf(int q) const;
  int QuantOf(int code) const;
  void ChooseScale(CPicture* picture, double& q);
  void SetCodingOptions(CPicture* picture, double q, double f, double Y);
  void PlanRows(CPicture* picture, double f);

  // Sequence.
  EncoderSettings* settings_ = nullptr;
  IRateControlOutput* output_ = nullptr;
  RateControlStatistics* stats_ = nullptr;
  int mode_ = 0;
  int codec_ = 0;
  int pictureType_ = 0;
  bool reorder_ = false;
  int mbCols_ = 0;
  int mbRows_ = 0;
  int mbCount_ = 0;
  double bitRate_ = 0;
  double frameRate_ = 0;
  double bitsPerPicture_ = 0;
  int twoFrameRate_ = 0;
  int headerBits_ = 144;

  // VBV.
  int64_t vbvSize_ = 0;
  double fullness_ = 0;
  int64_t decodingTime_ = 0;
  int64_t previousDecodingTime_ = 0;
  int64_t bitsWritten_ = 0;
  int64_t virtualStuffing_ = 0;
  int64_t minPictureBits_ = 0;
  double lastAnchorDuration_ = 0;
  int lastDuration_ = 0;
  bool firstPicture_ = true;

  // Quantisers.
  double pictureQuant_ = 0;
  double panicQuant_ = 0;
  int rowQuant_ = 0;
  float rowQuantF_ = 0;
  int maxQuant_ = 62;
  const std::vector<int>* qToCode_ = nullptr;  // null on the linear scale
  const std::vector<int>* codeToQ_ = nullptr;
  int addValue_ = 1;
  double quantSum_ = 0;
  int quantCount_ = 0;
  bool quantChanged_ = false;
  float activityStrength_ = 0;
  bool activityOn_ = false;

  // Panic levels and the row plan.
  double levelA_ = 0;
  double levelB_ = 0;
  int allowanceA_ = 144;
  static constexpr int kAllowanceB = 112;
  double planLevel1_ = 0;
  double planLevel2_ = 0;
  double planStep1_ = 0;
  double planStep2_ = 0;
  double accumulatedActivity_ = 0;

  // Complexity model. The short names follow the rate-control notation: X_ the intra
  // complexity of the current or last picture; s1_ and s2_ the slowly and quickly smoothed
  // buffer fullness (as fractions of the VBV size); r0_ the activity-floor ratio and r1_ the
  // lowest target fullness, both from the pixels per VBV bit.
  double estimate_[4] = {};  // by picture type: E_I, E_P, E_B
  double stored_[4] = {};  // with reordering
  double X_ = 0;
  double intraRatio_ = 0;
  double motion_ = 400;
  double smoothedActivity_ = 1600;
  bool mostlyIntra_ = false;
  double s1_ = 0.75;
  double s2_ = 0.75;
  double bToIntra_ = 0.5;
  double previousQuant_ = 0;

  // Bounds from TuneWeights; the two ratios r0_, r1_ from Init.
  double qScale_ = 0;
  double qScaleCopy_ = 0;
  double qStart_ = 0;
  double qLow_ = 0;
  double qMax_ = 0;
  double r0_ = 2;
  double r1_ = 0.4;

  // Variable-rate accounting.
  double vbrTarget_ = 0;
  double vbrPictureTarget_ = 0;
  double deviation_ = 0;
  double trend_ = 0;
  double lastValue_ = 0;
  double deviationBound_ = 0;
  double gain_ = 0;
  double vbrQuant_ = 0;
  double vbrBase_ = 0;
  double vbrStart_ = 0;
  double vbrFloor_ = 0;
  int planInterval_ = 1;
  int planCounter_ = 0;
  int planPeriod_ = 1;
  int lastPlanDisplay_ = 0;

  // The GOP plan: planned and coded pictures per type.
  int planned_[4] = {};
  int coded_[4] = {};
};

}  // namespace orx::venc
