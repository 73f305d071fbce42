// Headers of an MPEG-4 Part 2 visual stream: visual object sequence, visual object, video
// object and video object layer, group of VOPs, the VOP header and the end code. Every start
// code is preceded by stuffing (a 0 and ones to the byte boundary).
#include <algorithm>

#include "venc/mbenc/mb_encoder_mpeg4.h"

namespace orx::venc {
namespace {

constexpr uint32_t kVisualObjectSequenceStartCode = 0x1B0;
constexpr uint32_t kGroupOfVopStartCode = 0x1B3;
constexpr uint32_t kVisualObjectStartCode = 0x1B5;
constexpr uint32_t kVopStartCode = 0x1B6;
constexpr uint32_t kVideoObjectStartCode = 0x100;
constexpr uint32_t kVideoObjectLayerStartCode = 0x120;

// The stream type whose streams carry neither the video signal type nor VBV parameters.
constexpr int32_t kStreamTypeBare = 6;

// vop_time_increment_resolution and ticks per frame by frame-rate index.
constexpr int kTimeResolution[12] = {12000, 12500, 15000, 15000, 24000, 24000,
                                     25000, 30000, 30000, 50000, 60000, 60000};
constexpr int kTicksPerFrame[12] = {1000, 1000, 1001, 1000, 1001, 1000,
                                    1000, 1001, 1000, 1000, 1001, 1000};

int BitLength(int v) {
  int n = 0;
  while (v != 0) {
    ++n;
    v >>= 1;
  }
  return n;
}

// Seconds of a time code word (hours 5 bits, minutes 6, marker, seconds 6, pictures 6).
int64_t TimeCodeSeconds(int32_t timeCode) {
  const int hours = (timeCode >> 19) & 31;
  const int minutes = (timeCode >> 13) & 63;
  const int seconds = (timeCode >> 6) & 63;
  return seconds + 60 * (minutes + 60 * int64_t{hours});
}

}  // namespace

int CMBEncoder_MPEG4::TimeResolution() const { return kTimeResolution[settings_->frameRateIndex]; }
int CMBEncoder_MPEG4::TicksPerFrame() const { return kTicksPerFrame[settings_->frameRateIndex]; }
int CMBEncoder_MPEG4::TimeIncrementBits() const {
  const int r = TimeResolution();
  return r >= 32768 ? 16 : BitLength(r);
}

int CMBEncoder_MPEG4::VopFCode(int fCodeX, int fCodeY) const {
  return std::clamp(std::max(fCodeX, fCodeY) - 1, 1, 7);
}

void CMBEncoder_MPEG4::DefaultQuantMatrices(uint8_t* intra, uint8_t* nonIntra) {
  std::copy_n(Mpeg4DefaultIntraMatrix(), 64, intra);
  std::copy_n(Mpeg4DefaultNonIntraMatrix(), 64, nonIntra);
}

void CMBEncoder_MPEG4::WriteSequenceHeader(CPicture* picture) {
  const EncoderSettings& s = *settings_;
  if (picture->displayNumber == 0) {
    timeOriginSet_ = false;
    StuffToByte();
    PutBits(kVisualObjectSequenceStartCode, 32);
    PutBits(static_cast<uint32_t>(s.profileLevel) & 0xFF, 8);
    StuffToByte();
    PutBits(kVisualObjectStartCode, 32);
    PutBits(0, 1);  // is_visual_object_identifier
    PutBits(1, 4);  // visual_object_type: video
    if (s.streamType != kStreamTypeBare) {
      PutBits(1, 1);  // video_signal_type
      PutBits(static_cast<uint32_t>(s.videoFormat), 3);
      // The encoder's pictures are studio range (the converters apply the BT.601 offsets).
      PutBits(0, 1);  // video_range
      PutBits(1, 1);  // colour_description
      PutBits(static_cast<uint32_t>(s.colourPrimaries), 8);
      PutBits(static_cast<uint32_t>(s.transferCharacteristics), 8);
      PutBits(static_cast<uint32_t>(s.matrixCoefficients), 8);
    } else {
      PutBits(0, 1);
    }
  }

  StuffToByte();
  const uint32_t occupancy = (static_cast<uint32_t>(rateControl_->GetVbvDelay()) >> 6) & 0x3FFFFFF;
  PutBits(kVideoObjectStartCode, 32);
  PutBits(kVideoObjectLayerStartCode, 32);
  PutBits(0, 1);  // random_accessible_vol
  PutBits((s.profileLevel & 0xFF) < 4 ? 1 : 17, 8);  // Simple or Advanced Simple object
  PutBits(0, 1);  // is_object_layer_identifier
  const uint32_t aspect = static_cast<uint32_t>(s.aspectCode);
  PutBits(aspect & 15, 4);
  if ((aspect & 15) == 15) {
    PutBits((aspect >> 8) & 0xFF, 8);
    PutBits((aspect >> 16) & 0xFF, 8);
  }
  const bool control = s.variableBitRate == 0 && s.streamType != kStreamTypeBare;
  PutBits(control ? 1 : 0, 1);  // vol_control_parameters
  if (control) {
    const uint32_t rate = static_cast<uint32_t>(s.bitRate) / 400;
    const uint32_t buffer = static_cast<uint32_t>(s.vbvBufferSize);
    PutBits(1, 2);  // chroma_format 4:2:0
    PutBits(0, 1);  // low_delay
    PutBits(1, 1);  // vbv_parameters
    PutBits((rate >> 15) & 0x7FFF, 15);
    PutBits(1, 1);
    PutBits(rate & 0x7FFF, 15);
    PutBits(1, 1);
    PutBits((buffer >> 3) & 0x7FFF, 15);
    PutBits(1, 1);
    PutBits(buffer & 7, 3);
    PutBits((occupancy >> 15) & 0x7FF, 11);
    PutBits(1, 1);
    PutBits(occupancy & 0x7FFF, 15);
    PutBits(1, 1);
  }
  PutBits(0, 2);  // video_object_layer_shape: rectangular
  PutBits(1, 1);
  PutBits(static_cast<uint32_t>(TimeResolution()), 16);
  PutBits(1, 1);
  PutBits(1, 1);  // fixed_vop_rate
  PutBits(static_cast<uint32_t>(TicksPerFrame()), TimeIncrementBits());
  PutBits(1, 1);
  PutBits(static_cast<uint32_t>(s.width), 13);
  PutBits(1, 1);
  PutBits(static_cast<uint32_t>(s.height), 13);
  PutBits(1, 1);
  PutBits(s.progressiveSequence ? 0 : 1, 1);  // interlaced
  PutBits(1, 1);  // obmc_disable
  PutBits(0, 1);  // sprite_enable
  PutBits(0, 1);  // not_8_bit
  PutBits(s.useMpegQuant ? 1 : 0, 1);  // quant_type
  if (s.useMpegQuant) {
    const uint8_t* zigzag = Mpeg4ScanRaster(kScanZigzag);
    const struct {
      int32_t load;
      const uint8_t* matrix;
    } matrices[2] = {{s.loadIntraMatrix, s.intraMatrix}, {s.loadNonIntraMatrix, s.nonIntraMatrix}};
    for (const auto& m : matrices) {
      PutBits(m.load ? 1 : 0, 1);
      if (!m.load) continue;
      for (int p = 0; p < 64; ++p) PutBits(m.matrix[zigzag[p]], 8);
    }
  }
  PutBits(1, 1);  // complexity_estimation_disable
  PutBits(1, 1);  // resync_marker_disable
  PutBits(0, 1);  // data_partitioned
  PutBits(0, 1);  // scalability
}

void CMBEncoder_MPEG4::WriteGopHeader(CPicture* picture) {
  StuffToByte();
  PutBits(kGroupOfVopStartCode, 32);
  PutBits((static_cast<uint32_t>(picture->timeCode) >> 6) & 0x3FFFF, 18);
  PutBits(picture->closedGop ? 1 : 0, 1);
  PutBits(0, 1);  // broken_link
  // The decoder counts VOP times from the time code's whole second.
  const int64_t seconds = TimeCodeSeconds(picture->timeCode);
  timeBase_ = seconds;
  if (!timeOriginSet_) {
    const int64_t gopFirst = picture->displayNumber - picture->temporalReference;
    timeOrigin_ = seconds * TimeResolution() - gopFirst * TicksPerFrame();
    timeOriginSet_ = true;
  }
}

void CMBEncoder_MPEG4::WritePictureHeader(CPicture*, int) { StuffToByte(); }

void CMBEncoder_MPEG4::WriteSequenceEnd() {
  // No visual_object_sequence_end_code: players split an elementary stream into pictures at
  // start codes, and a last piece holding only the end code is reported as a damaged picture
  // (ffmpeg fails the whole decode on it with -xerror). The stream simply ends after the last
  // VOP's stuffing.
  StuffToByte();
}

CMBEncoder_MPEG4::VopTime CMBEncoder_MPEG4::NextVopTime(const CPicture& picture) {
  // A decoder keeps the second of the latest I/P-VOP as its time base (the time code's second
  // after a group of VOPs): an I/P-VOP counts its seconds from the time base it finds, a B-VOP
  // from the one before the latest I/P-VOP, i.e. that of its forward reference.
  const int64_t r = TimeResolution();
  const int64_t ticks = timeOrigin_ + int64_t{TicksPerFrame()} * picture.displayNumber;
  const int64_t second = ticks >= 0 ? ticks / r : 0;
  int64_t modulo;
  if (picture.pictureType == PICTURE_B) {
    modulo = second - lastTimeBase_;
  } else {
    modulo = second - timeBase_;
    lastTimeBase_ = timeBase_;
    timeBase_ = second;
  }
  return {static_cast<int>(std::max<int64_t>(modulo, 0)),
          static_cast<int>(std::max<int64_t>(ticks - second * r, 0))};
}

void CMBEncoder_MPEG4::WriteVopHeader(int quantiser) {
  if (state_.mbY != 0) return;
  const CPicture& picture = *state_.picture;
  vopFCodeForward_ = VopFCode(picture.forwardFCodeX, picture.forwardFCodeY);
  vopFCodeBackward_ = VopFCode(picture.backwardFCodeX, picture.backwardFCodeY);
  StuffToByte();
  PutBits(kVopStartCode, 32);
  PutBits(static_cast<uint32_t>(picture.pictureType - 1), 2);
  const VopTime time = NextVopTime(picture);
  for (int i = 0; i < time.moduloTimeBase; ++i) PutBits(1, 1);
  PutBits(0, 1);
  PutBits(1, 1);
  PutBits(static_cast<uint32_t>(time.increment), TimeIncrementBits());
  PutBits(1, 1);
  PutBits(1, 1);  // vop_coded
  if (picture.pictureType == PICTURE_P) PutBits(roundingControl_ & 1, 1);
  PutBits(0, 3);  // intra_dc_vlc_thr: DC always with the DC size codes
  if (!settings_->progressiveSequence) {
    PutBits(picture.topFieldFirst ? 1 : 0, 1);
    PutBits(picture.alternateScan ? 1 : 0, 1);
  }
  PutBits(static_cast<uint32_t>(quantiser), 5);
  if (picture.pictureType != PICTURE_I) PutBits(static_cast<uint32_t>(vopFCodeForward_), 3);
  if (picture.pictureType == PICTURE_B) PutBits(static_cast<uint32_t>(vopFCodeBackward_), 3);
  state_.lastQuant = quantiser;
}

}  // namespace orx::venc
