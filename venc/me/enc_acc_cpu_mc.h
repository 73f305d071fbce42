#pragma once
// CEncAccCPUMC: the prediction worker object of the encode accelerator. For one macroblock row
// of the picture being coded it writes the motion-compensated prediction of every non-intra
// macroblock into the row's prediction buffers (one pair for even rows, one for odd rows), so
// that the macroblock encoder can code row r while a worker predicts row r + 1.
#include <cstdint>

#include "venc/common/encode_accelerator.h"
#include "venc/dsp/mb_core.h"

namespace orx::venc {

class CEncAccCPUMC {
 public:
  // The core belongs to the accelerator's worker record; its kernel tables are set up here.
  explicit CEncAccCPUMC(dsp::CMBCore* core);
  CEncAccCPUMC(const CEncAccCPUMC&) = delete;
  CEncAccCPUMC& operator=(const CEncAccCPUMC&) = delete;

  // Takes the picture's geometry, references and prediction buffers (worker index unused).
  void Configure(const AccContext* context, int workerIndex);
  // Predicts every non-intra macroblock of the job's row; false for a null job or a row
  // outside the picture.
  bool CompensateRow(const EncAccJob* job);
  // One macroblock at (column, row) into the (luma, chroma) destination pair; nothing when
  // the reference it needs is missing.
  void CompensateMB(const MBInfo& mb, int column, int row, uint8_t* const* destination);

 private:
  dsp::CMBCore* core_;
  uint8_t* predictionLuma_[2] = {};  // even rows, odd rows
  uint8_t* predictionChroma_[2] = {};
  uint8_t* forward_[2] = {};  // reconstructions (luma, chroma)
  uint8_t* backward_[2] = {};
  int mbCols_ = 0;
  int mbRows_ = 0;
  int stride_ = 0;
};

}  // namespace orx::venc
