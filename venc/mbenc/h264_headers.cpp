// The H.264 units besides coded slices: Annex B framing, access unit delimiters, the sequence
// parameter set with its VUI and HRD parameters, the picture parameter set and the SEI
// messages, with the header state (frame-number counter, initial-QP base, the timing counts).
// Every unit opens with a four-byte start code through the escaped-unit writer, so every byte
// after it is emulation-prevented.
#include <algorithm>
#include <bit>
#include <cmath>

#include "venc/mbenc/h264_encoder.h"

namespace orx::venc {
namespace {

// NAL unit header bytes.
constexpr uint32_t kNalDelimiter = 0x09;
constexpr uint32_t kNalSequenceParameterSet = 0x67;
constexpr uint32_t kNalPictureParameterSet = 0x68;
constexpr uint32_t kNalSei = 0x06;
// The start-code word of an escaped unit: 00 00 00 01.
constexpr uint32_t kStartCodeWord = 1;

// SEI payload types.
constexpr uint32_t kSeiBufferingPeriod = 0;
constexpr uint32_t kSeiPictureTiming = 1;
constexpr uint32_t kSeiPanScanRect = 2;
constexpr uint32_t kSeiRecoveryPoint = 6;

// A bit packer into bytes, for units built from the settings alone.
class RbspBits {
 public:
  void Put(uint32_t value, int n) {
    for (int i = n - 1; i >= 0; --i) PutBit((value >> i) & 1);
  }
  void PutUe(uint64_t v) {
    const uint64_t codeNum = v + 1;
    const int len = std::bit_width(codeNum) - 1;
    for (int i = 0; i < len; ++i) PutBit(0);
    for (int i = len; i >= 0; --i) PutBit(static_cast<uint32_t>((codeNum >> i) & 1));
  }
  void TrailingBits() {
    PutBit(1);
    while (bits_ != 0) PutBit(0);
  }
  std::vector<uint8_t> Take() { return std::move(bytes_); }

 private:
  void PutBit(uint32_t b) {
    current_ = static_cast<uint8_t>((current_ << 1) | b);
    if (++bits_ == 8) {
      bytes_.push_back(current_);
      current_ = 0;
      bits_ = 0;
    }
  }
  std::vector<uint8_t> bytes_;
  uint8_t current_ = 0;
  int bits_ = 0;
};

int ProfileIdc(const EncoderSettings& s) { return (s.profileLevel >> 8) & 0xFF; }

void PutSe(RbspBits& w, int32_t v) {
  w.PutUe(v > 0 ? static_cast<uint64_t>(2 * int64_t{v} - 1) : static_cast<uint64_t>(-2 * int64_t{v}));
}

bool DelimitedStream(const EncoderSettings& s) { return s.streamType == 5 || s.streamType == 7; }

void WriteHrdParameters(RbspBits& w, const EncoderSettings& s) {
  w.PutUe(0);   // cpb_cnt_minus1
  w.Put(0, 4);  // bit_rate_scale: units of 64 bit/s
  w.Put(0, 4);  // cpb_size_scale: units of 16 bits
  w.PutUe(static_cast<uint32_t>(std::max(s.maxBitRate >> 6, 1)) - 1u);
  w.PutUe(static_cast<uint64_t>(std::max(s.vbvBufferSize, 1)) * 1024u - 1u);
  w.Put(s.variableBitRate ? 0 : 1, 1);  // cbr_flag
  w.Put(23, 5);  // initial_cpb_removal_delay_length_minus1
  w.Put(23, 5);  // cpb_removal_delay_length_minus1
  w.Put(23, 5);  // dpb_output_delay_length_minus1
  w.Put(0, 5);   // time_offset_length
}

void WriteVui(RbspBits& w, const EncoderSettings& s) {
  const uint32_t aspect = static_cast<uint32_t>(s.aspectCode);
  w.Put(1, 1);  // aspect_ratio_info_present_flag
  w.Put(aspect & 0xFF, 8);
  if ((aspect & 0xFF) == 255) {
    w.Put((aspect >> 8) & 0xFF, 16);  // sar_width
    w.Put(aspect >> 16, 16);          // sar_height
  }
  w.Put(0, 1);  // overscan_info_present_flag
  w.Put(1, 1);  // video_signal_type_present_flag
  w.Put(static_cast<uint32_t>(s.videoFormat), 3);
  // The input conversions produce studio-range samples (16-235); nothing declares a full-range
  // input, so the stream says so for every stream type.
  w.Put(0, 1);  // video_full_range_flag
  const bool defaultColour =
      s.colourPrimaries == 2 && s.transferCharacteristics == 2 && s.matrixCoefficients == 2;
  w.Put(defaultColour ? 0 : 1, 1);
  if (!defaultColour) {
    w.Put(static_cast<uint32_t>(s.colourPrimaries), 8);
    w.Put(static_cast<uint32_t>(s.transferCharacteristics), 8);
    w.Put(static_cast<uint32_t>(s.matrixCoefficients), 8);
  }
  w.Put(0, 1);  // chroma_loc_info_present_flag
  w.Put(1, 1);  // timing_info_present_flag
  w.Put(static_cast<uint32_t>(kNumUnitsInTick[s.frameRateIndex]), 32);
  // One tick is a field period: time_scale is twice the rate's numerator.
  w.Put(static_cast<uint32_t>(2 * kFrameRateTable[s.frameRateIndex].rateX1000), 32);
  w.Put(1, 1);  // fixed_frame_rate_flag
  const bool hrd = s.streamType == 5;
  w.Put(hrd ? 1 : 0, 1);  // nal_hrd_parameters_present_flag
  if (hrd) WriteHrdParameters(w, s);
  w.Put(0, 1);  // vcl_hrd_parameters_present_flag
  if (hrd) w.Put(0, 1);  // low_delay_hrd_flag
  w.Put(hrd || !s.progressiveSequence ? 1 : 0, 1);  // pic_struct_present_flag
  w.Put(0, 1);  // bitstream_restriction_flag
}

}  // namespace

std::vector<uint8_t> H264SequenceParameterSetRbsp(const EncoderSettings& s,
                                                  bool mbAdaptiveFrameField) {
  RbspBits w;
  const bool progressive = s.progressiveSequence != 0;
  w.Put(kNalSequenceParameterSet, 8);
  w.Put(static_cast<uint32_t>(ProfileIdc(s)), 8);
  w.Put(static_cast<uint32_t>(s.constraintFlags) & 0xFF, 8);
  w.Put(static_cast<uint32_t>(s.profileLevel) & 0xFF, 8);
  w.PutUe(0);  // seq_parameter_set_id
  if (ProfileIdc(s) >= 100) {
    w.PutUe(static_cast<uint32_t>(s.chromaFormat));
    w.PutUe(0);   // bit_depth_luma_minus8
    w.PutUe(0);   // bit_depth_chroma_minus8
    w.Put(0, 1);  // qpprime_y_zero_transform_bypass_flag
    w.Put(0, 1);  // seq_scaling_matrix_present_flag
  }
  w.PutUe(0);  // log2_max_frame_num_minus4: frame_num has 4 bits
  w.PutUe(0);  // pic_order_cnt_type
  w.PutUe(2);  // log2_max_pic_order_cnt_lsb_minus4: 6 bits
  w.PutUe(2);  // num_ref_frames
  w.Put(0, 1);  // gaps_in_frame_num_value_allowed_flag
  w.PutUe(static_cast<uint32_t>(s.mbCols - 1));
  w.PutUe(static_cast<uint32_t>(progressive ? s.mbRows - 1 : s.mbRows / 2 - 1));
  w.Put(progressive ? 1 : 0, 1);  // frame_mbs_only_flag
  if (!progressive) w.Put(mbAdaptiveFrameField ? 1 : 0, 1);
  w.Put(1, 1);  // direct_8x8_inference_flag
  const bool crop = s.width + 1 < s.codedWidth || s.height + 1 < s.codedHeight;
  w.Put(crop ? 1 : 0, 1);
  if (crop) {
    w.PutUe(0);
    w.PutUe(static_cast<uint32_t>((s.codedWidth - s.width) >> 1));
    w.PutUe(0);
    // Vertical crop units: two lines in frames, four when frames hold two fields.
    w.PutUe(static_cast<uint32_t>((s.codedHeight - s.height) >> (progressive ? 1 : 2)));
  }
  w.Put(1, 1);  // vui_parameters_present_flag
  WriteVui(w, s);
  w.TrailingBits();
  return w.Take();
}

namespace {

// A unit's bytes after its header byte escaped: the NAL unit without start code.
std::vector<uint8_t> EscapeUnit(const std::vector<uint8_t>& rbsp) {
  std::vector<uint8_t> nal(rbsp.size() + rbsp.size() / 2 + 8);
  std::copy(rbsp.begin(), rbsp.end(), nal.begin());
  // The header byte is never escaped and ends no zero run.
  const int inserted = CMBEncoder::InsertEmulationPrevention(
      nal.data() + 1, static_cast<int>(rbsp.size()) - 1, 0);
  nal.resize(rbsp.size() + static_cast<size_t>(inserted));
  return nal;
}

}  // namespace

std::vector<uint8_t> H264SequenceParameterSetNal(const EncoderSettings& settings,
                                                 bool mbAdaptiveFrameField) {
  return EscapeUnit(H264SequenceParameterSetRbsp(settings, mbAdaptiveFrameField));
}

std::vector<uint8_t> H264PictureParameterSetRbsp(const EncoderSettings& s, int entropyMode,
                                                 int initialQpBase) {
  RbspBits w;
  w.Put(kNalPictureParameterSet, 8);
  w.PutUe(0);  // pic_parameter_set_id
  w.PutUe(0);  // seq_parameter_set_id
  w.Put(static_cast<uint32_t>(entropyMode), 1);
  w.Put(s.progressiveSequence ? 0 : 1, 1);  // pic_order_present_flag
  w.PutUe(0);  // num_slice_groups_minus1
  w.PutUe(0);  // num_ref_idx_l0_active_minus1
  w.PutUe(0);  // num_ref_idx_l1_active_minus1
  w.Put(0, 1);  // weighted_pred_flag
  w.Put(0, 2);  // weighted_bipred_idc
  PutSe(w, initialQpBase - kH264InitialQpBase);  // pic_init_qp_minus26
  PutSe(w, 0);  // pic_init_qs_minus26
  PutSe(w, 0);  // chroma_qp_index_offset
  // With the deblocking flag clear the slices say that they are not deblocked.
  w.Put(s.loopFilter ? 0 : 1, 1);  // deblocking_filter_control_present_flag
  w.Put(0, 1);  // constrained_intra_pred_flag
  w.Put(0, 1);  // redundant_pic_cnt_present_flag
  if (ProfileIdc(s) >= 100) {
    w.Put(0, 1);  // transform_8x8_mode_flag
    w.Put(0, 1);  // pic_scaling_matrix_present_flag
    PutSe(w, 0);  // second_chroma_qp_index_offset
  }
  w.TrailingBits();
  return w.Take();
}

std::vector<uint8_t> H264PictureParameterSetNal(const EncoderSettings& settings) {
  return EscapeUnit(H264PictureParameterSetRbsp(settings, 0, kH264InitialQpBase));
}

bool CMBEncoder_H264::StreamHasDelimiters() const { return DelimitedStream(*settings_); }

void CMBEncoder_H264::WriteNalHeader(int nalRefIdc, int nalUnitType) {
  BeginEscapedUnit(kStartCodeWord);
  PutBits(static_cast<uint32_t>(nalRefIdc << 5 | nalUnitType), 8);
}

void CMBEncoder_H264::WriteTrailingBits() {
  PutBits(1, 1);
  AlignToByte();
}

void CMBEncoder_H264::WriteAccessUnitDelimiter(int primaryPicType) {
  BeginEscapedUnit(kStartCodeWord);
  PutBits(kNalDelimiter, 8);
  PutBits(static_cast<uint32_t>(primaryPicType), 3);
  WriteTrailingBits();
}

void CMBEncoder_H264::OpenAccessUnit(int primaryPicType) {
  if (!StreamHasDelimiters() || delimiterWritten_) return;
  WriteAccessUnitDelimiter(primaryPicType);
  delimiterWritten_ = true;
}

void CMBEncoder_H264::WriteSequenceHeader(CPicture* picture) {
  // A sequence header opens an I picture's access unit.
  OpenAccessUnit(0);
  const bool mbAdaptive = !settings_->progressiveSequence && !picture->progressiveFrame;
  const std::vector<uint8_t> rbsp = H264SequenceParameterSetRbsp(*settings_, mbAdaptive);
  BeginEscapedUnit(kStartCodeWord);
  for (uint8_t b : rbsp) PutBits(b, 8);
}

void CMBEncoder_H264::WriteBufferingPeriod() {
  const int64_t fullness = std::max(rateControl_->GetVbvDelay(), 0);
  const double rate = static_cast<double>(settings_->bitRate >> 6) * 4.0;
  const int64_t cpbUnits = static_cast<int64_t>(settings_->vbvBufferSize) * 1024;
  const int64_t delay = std::llround(static_cast<double>(fullness >> 4) * 90000.0 / rate);
  const int64_t offset = std::llround(
      static_cast<double>(std::max<int64_t>(cpbUnits - (fullness >> 4), 0)) * 90000.0 / rate);
  PutBits(kSeiBufferingPeriod, 8);
  PutBits(7, 8);  // payloadSize
  PutUe(0);       // seq_parameter_set_id
  // A removal delay of 0 is not allowed: an empty buffer still waits one period.
  PutBits(static_cast<uint32_t>(std::clamp<int64_t>(delay, 1, 0xFFFFFF)), 24);
  PutBits(static_cast<uint32_t>(std::min<int64_t>(offset, 0xFFFFFF)), 24);
  WriteTrailingBits();  // the payload's alignment: a 1, then zeros
}

void CMBEncoder_H264::WriteGopHeader(CPicture* picture) {
  if (settings_->streamType != 5) return;
  OpenAccessUnit(picture->pictureType - 1);
  BeginEscapedUnit(kStartCodeWord);
  PutBits(kNalSei, 8);
  WriteBufferingPeriod();
  if (!picture->closedGop) {
    PutBits(kSeiRecoveryPoint, 8);
    PutBits(1, 8);
    PutUe(0);        // recovery_frame_cnt
    PutBits(1, 1);   // exact_match_flag
    PutBits(0, 1);   // broken_link_flag
    PutBits(0, 2);   // changing_slice_group_idc
    WriteTrailingBits();
  }
  WriteTrailingBits();  // rbsp_trailing_bits
  bufferingPeriodWritten_ = true;
}

void CMBEncoder_H264::WritePictureParameterSet() {
  const std::vector<uint8_t> rbsp =
      H264PictureParameterSetRbsp(*settings_, entropyMode_, initialQpBase_);
  BeginEscapedUnit(kStartCodeWord);
  for (uint8_t b : rbsp) PutBits(b, 8);
}

void CMBEncoder_H264::WritePictureTiming(const CPicture* picture) {
  const bool progressive = settings_->progressiveSequence != 0;
  const int picStruct = progressive ? 0 : picture->topFieldFirst ? 3 : 4;
  PutBits(kSeiPictureTiming, 8);
  if (settings_->streamType == 5) {
    // Removal: two ticks a frame, counted from the access unit of the previous buffering
    // period. Output: B pictures as they are decoded; anchors after the B pictures that
    // precede them in display order, so that pictures leave one frame apart in display order.
    const uint32_t cpbRemovalDelay = 2 * accessUnitsSinceBufferingPeriod_;
    uint32_t dpbOutputDelay = 0;
    if (picture->pictureType != PICTURE_B) {
      const int reorder = settings_->anchorDistance > 1 ? 1 : 0;
      const int ahead = (picture->displayNumber - firstDisplayNumber_) -
                        static_cast<int>(codedPictures_) + reorder;
      dpbOutputDelay = 2 * static_cast<uint32_t>(std::max(ahead, 0));
    }
    PutBits(7, 8);  // payloadSize
    PutBits(cpbRemovalDelay & 0xFFFFFF, 24);
    PutBits(dpbOutputDelay & 0xFFFFFF, 24);
    PutBits(static_cast<uint32_t>(picStruct), 4);
    // A frame has one clock timestamp, a frame of two fields two.
    PutBits(0, progressive ? 1 : 2);  // clock_timestamp_flag
  } else {
    PutBits(1, 8);  // payloadSize
    PutBits(static_cast<uint32_t>(picStruct), 4);
    PutBits(0, 2);  // clock_timestamp_flag, twice
  }
  WriteTrailingBits();
}

void CMBEncoder_H264::WritePictureHeader(CPicture* picture, int) {
  const int type = picture->pictureType;
  if (codedPictures_ == 0) firstDisplayNumber_ = picture->displayNumber;
  OpenAccessUnit(type - 1);

  if (picture->gopStart) {
    initialQpBase_ = kH264InitialQpBase;
    entropyMode_ = 0;
    if (picture->closedGop) {
      frameNumber_ = 0;
    } else if (type != PICTURE_B) {
      ++frameNumber_;
    }
    WritePictureParameterSet();
  } else if (type != PICTURE_B) {
    ++frameNumber_;
  }

  const int streamType = settings_->streamType;
  if (streamType == 5 || (streamType == 7 && !settings_->progressiveSequence)) {
    BeginEscapedUnit(kStartCodeWord);
    PutBits(kNalSei, 8);
    WritePictureTiming(picture);
    if (streamType == 5) {
      PutBits(kSeiPanScanRect, 8);
      PutBits(1, 8);
      PutUe(0);       // pan_scan_rect_id
      PutBits(1, 1);  // pan_scan_rect_cancel_flag
      WriteTrailingBits();
    }
    WriteTrailingBits();
  }

  // The next access unit starts afresh.
  accessUnitsSinceBufferingPeriod_ = bufferingPeriodWritten_ ? 1 : accessUnitsSinceBufferingPeriod_ + 1;
  bufferingPeriodWritten_ = false;
  delimiterWritten_ = false;
  ++codedPictures_;
}

}  // namespace orx::venc
