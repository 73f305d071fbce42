// CEncAccCPUMC: one row of motion-compensated predictions.
#include "venc/me/enc_acc_cpu_mc.h"

#include "venc/common/picture.h"

namespace orx::venc {

CEncAccCPUMC::CEncAccCPUMC(dsp::CMBCore* core) : core_(core) { core_->InitMcTables(); }

void CEncAccCPUMC::Configure(const AccContext* context, int /*workerIndex*/) {
  if (context == nullptr) return;
  const AccConfig& c = context->config;
  mbCols_ = static_cast<int>(c.mbCols);
  mbRows_ = static_cast<int>(c.mbRows);
  stride_ = static_cast<int>(c.stride);
  forward_[0] = context->forwardRecon.luma;
  forward_[1] = context->forwardRecon.chroma;
  backward_[0] = context->backwardRecon.luma;
  backward_[1] = context->backwardRecon.chroma;
  // The macroblock encoder's layout: even luma, even chroma, odd luma, odd chroma, each row
  // pair of buffers mbCols macroblocks long.
  predictionLuma_[0] = c.evenRowPredLuma;
  predictionChroma_[0] = c.evenRowPredChroma;
  predictionLuma_[1] =
      c.evenRowPredChroma != nullptr ? c.evenRowPredChroma + 128 * mbCols_ : nullptr;
  predictionChroma_[1] =
      predictionLuma_[1] != nullptr ? predictionLuma_[1] + 256 * mbCols_ : nullptr;
}

bool CEncAccCPUMC::CompensateRow(const EncAccJob* job) {
  if (job == nullptr || job->mbInfo == nullptr || mbCols_ <= 0) return false;
  const int row = job->tag / mbCols_;
  if (row >= mbRows_) return false;
  uint8_t* destination[2] = {predictionLuma_[row & 1], predictionChroma_[row & 1]};
  if (destination[0] == nullptr || destination[1] == nullptr) return false;
  const MBInfo* mbs = job->mbInfo + row * mbCols_;
  for (int column = 0; column < mbCols_; ++column) {
    if ((mbs[column].flags & MBINFO_INTRA) == 0) {
      CompensateMB(mbs[column], column, row, destination);
    }
    destination[0] += 256;
    destination[1] += 128;
  }
  return true;
}

void CEncAccCPUMC::CompensateMB(const MBInfo& mb, int column, int row,
                                uint8_t* const* destination) {
  const PackedMV f = mb.mv[0].forward;
  const PackedMV b = mb.mv[0].backward;
  const int x = 16 * column;
  const int y = 16 * row;
  if ((mb.flags & MBINFO_BIDIRECTIONAL) == MBINFO_BIDIRECTIONAL) {
    if (forward_[0] == nullptr || backward_[0] == nullptr) return;
    core_->MotionCompensateMBBidir(forward_, backward_, destination, stride_, x, y, f.x, f.y, b.x,
                                   b.y);
  } else if ((mb.flags & MBINFO_BACKWARD) != 0) {
    if (backward_[0] == nullptr) return;
    core_->MotionCompensateMB(backward_, destination, stride_, x, y, b.x, b.y);
  } else {
    if (forward_[0] == nullptr) return;
    core_->MotionCompensateMB(forward_, destination, stride_, x, y, f.x, f.y);
  }
}

}  // namespace orx::venc
