#pragma once
// A scripted rate controller for the macroblock encoder tests: quantisers per picture, row and
// macroblock, the picture's coding flags, overflow on chosen macroblocks, vbv_delay and
// optional stuffing; it logs the bit counts it reads from the encoder.
#include <cstdint>
#include <functional>
#include <set>
#include <tuple>
#include <vector>

#include "venc/mbenc/mb_encoder.h"

namespace orx::venc::test {

class TestRateControl final : public IRateControl {
 public:
  // Where a quantiser is asked for: the picture (counted from 0 in coding order), row, column.
  struct Position {
    int picture;
    int row;
    int column;
  };

  // The encoder whose bit counts are read and logged (and which receives the stuffing).
  CMBEncoder* encoder = nullptr;

  // Quantiser of a row (quantiser_scale_code 1..31); the default is `quantiser`.
  int quantiser = 8;
  std::function<int(int picture, int row)> rowQuantiser;
  // Quantiser of a macroblock; the default keeps the row's.
  std::function<int(const Position&)> macroblockQuantiser;
  // Per-picture coding flags the controller chooses (q_scale_type is kept for MPEG-2 only).
  std::function<void(int picture, CPicture* p)> pictureFlags;
  int qScaleType = 0;
  int intraVlcFormat = 0;
  int alternateScan = 0;
  // Macroblocks whose overflow flag is set.
  std::set<std::tuple<int, int, int>> overflow;
  // Threshold words: inter = 8 x index + 1 (+ the row's index in B pictures), row = 8 x index
  // + 32, with index = the quantiser code unless these replace it.
  std::function<int(const Position&, int quantiser)> interThreshold;
  std::function<int(int picture, int row, int quantiser)> rowThreshold;
  int vbvDelay = 0xFFFF;
  int stuffingBytes = 0;  // zero bytes appended at every picture end
  int vbvFullness = 0;  // what GetVbvDelay answers (bits)
  int rowBitTarget = 0;  // what GetRowBitTarget answers
  // For H.264 every quantiser above is the internal QP (QP - 12, 0..39).

  // What was seen.
  struct Reading {
    int picture;
    int row;
    int column;  // -1 for row and picture calls
    int64_t bits;
  };
  std::vector<Reading> bitLog;
  std::vector<int> rowQuantisers;  // in call order
  int pictures = 0;                // StartPicture calls
  int gopStarts = 0;
  int endPictures = 0;
  int accumulated = 0;  // AccumulateMb calls

  void StartGop(CPicture* picture, uint32_t gopWord1, uint32_t gopWord2) override;
  int CheckVbv(CPicture* picture) override;
  void StartPicture(CPicture* picture) override;
  void EndPicture(CPicture* picture) override;
  int GetRowQuant(MBCodingState* position) override;
  void UpdateMbQuant(MBInfo* mb, MBCodingState* position) override;
  void AccumulateMb(MBInfo* mb) override;
  int GetVbvDelay() override { return vbvFullness; }
  int GetRowBitTarget() override { return rowBitTarget; }
  int GetActivityQuant(CPicture* picture, bool intraPicture, int* spread) override;

 private:
  void Log(int row, int column);
  int picture_ = -1;
  int rowQuant_ = 0;
};

}  // namespace orx::venc::test
