#include "tests/venc/mbenc/test_rate_control.h"

namespace orx::venc::test {

void TestRateControl::Log(int row, int column) {
  if (encoder != nullptr) bitLog.push_back({picture_, row, column, encoder->GetPictureBits()});
}

void TestRateControl::StartGop(CPicture*, uint32_t, uint32_t) { ++gopStarts; }

int TestRateControl::CheckVbv(CPicture*) { return vbvDelay; }

void TestRateControl::StartPicture(CPicture* picture) {
  picture_ = pictures++;
  picture->qScaleType = qScaleType;
  picture->intraVlcFormat = intraVlcFormat;
  picture->alternateScan = alternateScan;
  // The H.264 loop's mode penalties read the picture's quantiser; the estimator tests on this
  // controller compare with paths that leave it unset.
  if (picture->settings != nullptr && picture->settings->codec == CODEC_H264) {
    picture->stats.quantiser = static_cast<float>(quantiser);
  }
  if (pictureFlags) pictureFlags(picture_, picture);
  // MPEG-1 has no q_scale_type, intra_vlc_format or alternate_scan.
  if (picture->settings != nullptr && picture->settings->codec == CODEC_MPEG1) {
    picture->qScaleType = picture->intraVlcFormat = picture->alternateScan = 0;
  }
  Log(-1, -1);
}

void TestRateControl::EndPicture(CPicture*) {
  ++endPictures;
  Log(-1, -1);
  for (int i = 0; i < stuffingBytes; ++i) encoder->PutBits(0, 8);
}

int TestRateControl::GetRowQuant(MBCodingState* position) {
  Log(position->mbY, -1);
  rowQuant_ = rowQuantiser ? rowQuantiser(picture_, position->mbY) : quantiser;
  rowQuantisers.push_back(rowQuant_);
  const int bIndex = position->picture->pictureType == PICTURE_B ? rowQuant_ : 0;
  position->interThreshold = 8 * rowQuant_ + 1 + bIndex;
  position->rowThreshold =
      rowThreshold ? rowThreshold(picture_, position->mbY, rowQuant_) : 8 * rowQuant_ + 32;
  return rowQuant_;
}

void TestRateControl::UpdateMbQuant(MBInfo*, MBCodingState* position) {
  Log(position->mbY, position->mbX);
  const Position at{picture_, position->mbY, position->mbX};
  const int q = macroblockQuantiser ? macroblockQuantiser(at) : rowQuant_;
  position->mbQuant = q;
  const int bIndex = position->picture->pictureType == PICTURE_B ? rowQuant_ : 0;
  position->interThreshold = interThreshold ? interThreshold(at, q) : 8 * q + 1 + bIndex;
  position->overflow = overflow.count({picture_, position->mbY, position->mbX}) ? 1 : 0;
}

void TestRateControl::AccumulateMb(MBInfo*) { ++accumulated; }

int TestRateControl::GetActivityQuant(CPicture*, bool, int* spread) {
  if (spread) *spread = 0;
  return 2 * quantiser;
}

}  // namespace orx::venc::test
