// Headers of MPEG-1 (ISO/IEC 11172-2) and MPEG-2 (ISO/IEC 13818-2) video streams. Each writer
// starts on a byte boundary with its start code; every field is written at its exact width,
// so a value is cut to the field. Codec code 0 writes MPEG-1 syntax, 1 MPEG-2, 2 (the Kalder
// stream) MPEG-2 headers with chroma_format 0.
#include <algorithm>

#include "venc/dsp/mpeg_scans.h"
#include "venc/mbenc/mb_encoder_mpeg12.h"

namespace orx::venc {
namespace {

constexpr uint32_t kPictureStartCode = 0x100;
constexpr uint32_t kSliceStartCode = 0x101;
constexpr uint32_t kUserDataStartCode = 0x1B2;
constexpr uint32_t kSequenceHeaderCode = 0x1B3;
constexpr uint32_t kExtensionStartCode = 0x1B5;
constexpr uint32_t kSequenceEndCode = 0x1B7;
constexpr uint32_t kGroupStartCode = 0x1B8;

constexpr uint32_t kSequenceExtensionId = 1;
constexpr uint32_t kSequenceDisplayExtensionId = 2;
constexpr uint32_t kPictureCodingExtensionId = 8;

constexpr uint32_t kAtscIdentifier = 0x47413934;  // "GA94"
constexpr uint32_t kAtscCaptionDataType = 3;

// The four rates below 23.976 frames/s are half of 24, 25, 29.97 and 30: MPEG-2 codes them
// with the code of the full rate and frame_rate_extension_d 1.
int FrameRateCode(int index) { return index < 4 ? index + 2 : index - 3; }
int FrameRateExtensionD(int index) { return index < 4 ? 1 : 0; }

// Slices start a new row of macroblocks; above 2800 lines the row needs the 3-bit extension.
constexpr int kSliceExtensionHeight = 2800;

}  // namespace

void CMBEncoder_MPEG1::WriteSequenceHeader(CPicture*) {
  const EncoderSettings& s = *settings_;
  const uint32_t bitRateUnits = static_cast<uint32_t>(s.bitRate) / 400;
  AlignToByte();
  PutBits(kSequenceHeaderCode, 32);
  PutBits(static_cast<uint32_t>(s.width), 12);
  PutBits(static_cast<uint32_t>(s.height), 12);
  PutBits(static_cast<uint32_t>(s.aspectCode), 4);
  PutBits(static_cast<uint32_t>(FrameRateCode(s.frameRateIndex)), 4);
  PutBits(bitRateUnits, 18);
  PutBits(1, 1);  // marker_bit
  PutBits(static_cast<uint32_t>(s.vbvBufferSize), 10);
  PutBits(static_cast<uint32_t>(s.constraintFlags), 1);
  // User matrices go out in zig-zag order with every sequence header; defaults never do.
  const struct {
    int32_t load;
    const uint8_t* matrix;
  } matrices[2] = {{s.loadIntraMatrix, s.intraMatrix}, {s.loadNonIntraMatrix, s.nonIntraMatrix}};
  for (const auto& m : matrices) {
    PutBits(m.load ? 1 : 0, 1);
    if (!m.load) continue;
    for (int p = 0; p < 64; ++p) PutBits(m.matrix[dsp::kZigzagScan[p]], 8);
  }
  if (codec_ != CODEC_MPEG1) {
    WriteSequenceExtension();
    WriteSequenceDisplayExtension();
  }
}

void CMBEncoder_MPEG1::WriteSequenceExtension() {
  const EncoderSettings& s = *settings_;
  const uint32_t bitRateUnits = static_cast<uint32_t>(s.bitRate) / 400;
  AlignToByte();
  PutBits(kExtensionStartCode, 32);
  PutBits(kSequenceExtensionId, 4);
  PutBits(static_cast<uint32_t>(s.profileLevel), 8);
  PutBits(static_cast<uint32_t>(s.progressiveSequence), 1);
  PutBits(codec_ == CODEC_KALDER ? 0 : static_cast<uint32_t>(s.chromaFormat), 2);
  PutBits(static_cast<uint32_t>(s.width) >> 12, 2);
  PutBits(static_cast<uint32_t>(s.height) >> 12, 2);
  PutBits(bitRateUnits >> 18, 12);
  PutBits(1, 1);  // marker_bit
  PutBits(static_cast<uint32_t>(s.vbvBufferSize) >> 10, 8);
  PutBits(0, 1);  // low_delay
  PutBits(0, 2);  // frame_rate_extension_n
  PutBits(static_cast<uint32_t>(FrameRateExtensionD(s.frameRateIndex)), 5);
}

void CMBEncoder_MPEG1::WriteSequenceDisplayExtension() {
  const EncoderSettings& s = *settings_;
  if (s.videoFormat < 0 || s.videoFormat > 4) return;
  AlignToByte();
  PutBits(kExtensionStartCode, 32);
  PutBits(kSequenceDisplayExtensionId, 4);
  PutBits(static_cast<uint32_t>(s.videoFormat), 3);
  PutBits(1, 1);  // colour_description
  PutBits(static_cast<uint32_t>(s.colourPrimaries), 8);
  PutBits(static_cast<uint32_t>(s.transferCharacteristics), 8);
  PutBits(static_cast<uint32_t>(s.matrixCoefficients), 8);
  PutBits(static_cast<uint32_t>(s.width), 14);
  PutBits(1, 1);  // marker_bit
  PutBits(static_cast<uint32_t>(s.height), 14);
}

void CMBEncoder_MPEG1::WriteGopHeader(CPicture* picture) {
  AlignToByte();
  PutBits(kGroupStartCode, 32);
  PutBits(static_cast<uint32_t>(picture->timeCode), 25);
  PutBits(picture->closedGop ? 1 : 0, 1);
  PutBits(0, 1);  // broken_link
}

void CMBEncoder_MPEG1::WritePictureHeader(CPicture* picture, int vbvDelay) {
  const bool mpeg1 = codec_ == CODEC_MPEG1;
  AlignToByte();
  PutBits(kPictureStartCode, 32);
  PutBits(static_cast<uint32_t>(picture->temporalReference), 10);
  PutBits(static_cast<uint32_t>(picture->pictureType), 3);
  PutBits(static_cast<uint32_t>(vbvDelay), 16);
  // MPEG-1 carries one f_code per direction here; MPEG-2 writes 7 and the real codes in the
  // picture coding extension.
  if (picture->pictureType == PICTURE_P || picture->pictureType == PICTURE_B) {
    PutBits(0, 1);  // full_pel_forward_vector
    PutBits(mpeg1 ? static_cast<uint32_t>(picture->forwardFCodeX) : 7, 3);
  }
  if (picture->pictureType == PICTURE_B) {
    PutBits(0, 1);  // full_pel_backward_vector
    PutBits(mpeg1 ? static_cast<uint32_t>(picture->backwardFCodeX) : 7, 3);
  }
  PutBits(0, 1);  // extra_bit_picture
  if (!mpeg1) WritePictureCodingExtension(picture);
  WritePictureUserData(picture);
}

void CMBEncoder_MPEG1::WritePictureCodingExtension(CPicture* picture) {
  AlignToByte();
  PutBits(kExtensionStartCode, 32);
  PutBits(kPictureCodingExtensionId, 4);
  PutBits(static_cast<uint32_t>(picture->forwardFCodeX), 4);
  PutBits(static_cast<uint32_t>(picture->forwardFCodeY), 4);
  PutBits(static_cast<uint32_t>(picture->backwardFCodeX), 4);
  PutBits(static_cast<uint32_t>(picture->backwardFCodeY), 4);
  PutBits(static_cast<uint32_t>(picture->intraDcPrecision), 2);
  PutBits(3, 2);  // picture_structure: frame
  PutBits(static_cast<uint32_t>(picture->topFieldFirst), 1);
  PutBits(static_cast<uint32_t>(picture->framePredFrameDct), 1);
  PutBits(0, 1);  // concealment_motion_vectors
  PutBits(static_cast<uint32_t>(picture->qScaleType), 1);
  PutBits(static_cast<uint32_t>(picture->intraVlcFormat), 1);
  PutBits(static_cast<uint32_t>(picture->alternateScan), 1);
  PutBits(static_cast<uint32_t>(picture->repeatFirstField), 1);
  PutBits(static_cast<uint32_t>(picture->progressiveFrame), 1);  // chroma_420_type
  PutBits(static_cast<uint32_t>(picture->progressiveFrame), 1);
  PutBits(0, 1);  // composite_display_flag
}

void CMBEncoder_MPEG1::WritePictureUserData(CPicture* picture) {
  const int count = std::min<int>(picture->userDataCount, std::size(picture->userData));
  if (count < 1) return;
  AlignToByte();
  PutBits(kUserDataStartCode, 32);
  const int streamType = settings_->streamType;
  if (codec_ == CODEC_MPEG2 && streamType != STREAM_TYPE_MPEG1_SIF &&
      streamType != STREAM_TYPE_MPEG1_LARGE) {
    // ATSC A/53 caption data: process_em_data and process_cc_data set, then the pairs as
    // valid field-1 captions.
    PutBits(kAtscIdentifier, 32);
    PutBits(kAtscCaptionDataType, 8);
    PutBits(0xC0 | static_cast<uint32_t>(count), 8);
    PutBits(0xFF, 8);  // em_data
    for (int i = 0; i < count; ++i) {
      PutBits(0xFC, 8);
      PutBits(picture->userData[i] & 0xFF, 8);
      PutBits(picture->userData[i] >> 8, 8);
    }
    PutBits(0xFF, 8);  // marker
  } else {
    PutBits(0x11, 8);
    PutBits(static_cast<uint32_t>(2 * count + 2), 8);
    for (int i = 0; i < count; ++i) {
      PutBits(picture->userData[i] & 0xFF, 8);
      PutBits(picture->userData[i] >> 8, 8);
    }
  }
}

void CMBEncoder_MPEG1::WriteSliceHeader(int row, int quantiserScaleCode) {
  AlignToByte();
  if (codec_ != CODEC_MPEG1 && settings_->height > kSliceExtensionHeight) {
    PutBits(kSliceStartCode + static_cast<uint32_t>(row % 128), 32);
    PutBits(static_cast<uint32_t>(row >> 7), 3);  // slice_vertical_position_extension
  } else {
    PutBits(kSliceStartCode + static_cast<uint32_t>(row), 32);
  }
  PutBits(static_cast<uint32_t>(quantiserScaleCode), 5);
  PutBits(0, 1);  // extra_bit_slice
}

void CMBEncoder_MPEG1::WriteSequenceEnd() {
  AlignToByte();
  PutBits(kSequenceEndCode, 32);
}

}  // namespace orx::venc
