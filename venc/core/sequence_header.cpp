#include "venc/core/sequence_header.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "platform/processor_features.h"
#include "venc/core/aspect_ratio.h"
#include "venc/core/profile_level.h"
#include "venc/core/sequence_setup.h"
#include "venc/mbenc/h264_encoder.h"
#include "venc/core/put_bits_at.h"
#include "venc/core/rounding.h"

namespace orx::venc {
namespace {

// Appends fields most significant bit first.
class HeaderWriter {
 public:
  explicit HeaderWriter(uint8_t* out) : out_(out) {}
  void Put(uint32_t value, int bits) {
    PutBitsAt(position_, out_, value, bits);
    position_ += bits;
  }
  void StartCode(uint8_t code) {
    Put(0x000001, 24);
    Put(code, 8);
  }
  // A stop bit 1, then zero bits up to the byte.
  void StopAndAlign() {
    Put(1, 1);
    Put(0, (8 - (position_ & 7)) & 7);
  }
  int Bytes() const { return (position_ + 7) >> 3; }

 private:
  uint8_t* out_;
  int position_ = 0;
};

int WriteVc1Header(const EncoderSettings& s, uint8_t* out, uint32_t cpuFeatures) {
  const int32_t profileLevel = SelectVC1ProfileLevel(s);
  const int profile = profileLevel & ~15;
  const int level = profileLevel & 15;
  const double rate = SequenceFrameRate(s);
  const uint32_t frameRateQ = static_cast<uint32_t>(std::clamp((RoundToInt(rate) - 2) >> 2, 0, 7));
  const uint32_t bitRateQ = static_cast<uint32_t>(std::clamp(s.maxBitRate / 64000, 0, 31));
  const double pixelRate = static_cast<double>(s.width) * s.height * rate;
  uint32_t loopFilter = ((pixelRate < 3041281.0 && (cpuFeatures & platform::kCpuSse) != 0) ||
                         (pixelRate < 10368001.0 && (cpuFeatures & platform::kCpuSse2) != 0))
                            ? 1
                            : 0;
  uint32_t maxBFrames = 0;
  uint32_t extended = 0;
  if (profile < VC1_PROFILE_MAIN) {
    loopFilter = 0;
  } else {
    maxBFrames = static_cast<uint32_t>(std::clamp(s.anchorDistance - 1, 0, 7));
    extended = 1;
  }
  const bool progressive = s.progressiveSequence != 0;

  HeaderWriter w(out);
  if (profile < VC1_PROFILE_ADVANCED) {
    w.Put(static_cast<uint32_t>(profile / 16), 2);  // PROFILE
    w.Put(0, 2);                                   // RES_SM
    w.Put(frameRateQ, 3);                          // FRMRTQ_POSTPROC
    w.Put(bitRateQ, 5);                            // BITRTQ_POSTPROC
    w.Put(loopFilter, 1);                          // LOOPFILTER
    w.Put(0, 1);                                   // RES_X8
    w.Put(0, 1);                                   // MULTIRES
    w.Put(1, 1);                                   // RES_FASTTX
    w.Put(1, 1);                                   // FASTUVMC
    w.Put(extended, 1);                            // EXTENDED_MV
    w.Put(extended, 2);                            // DQUANT
    w.Put(0, 1);                                   // VSTRANSFORM
    w.Put(0, 1);                                   // RES_TRANSTAB
    w.Put(1, 1);                                   // OVERLAP
    w.Put(0, 1);                                   // SYNCMARKER
    w.Put(0, 1);                                   // RANGERED
    w.Put(maxBFrames, 3);                          // MAXBFRAMES
    w.Put(2, 2);                                   // QUANTIZER
    w.Put(0, 1);                                   // FINTERPFLAG
    w.Put(1, 1);                                   // RES_RTM_FLAG
    return w.Bytes();
  }

  const uint32_t codedWidth = static_cast<uint32_t>((s.width + 15) & ~15);
  const uint32_t codedHeight =
      static_cast<uint32_t>(progressive ? (s.height + 15) & ~15 : (s.height + 31) & ~31);
  w.Put(0, 8);
  w.StartCode(0x0F);                       // sequence header
  w.Put(3, 2);                             // PROFILE
  w.Put(static_cast<uint32_t>(level), 3);  // LEVEL
  w.Put(1, 2);                             // COLORDIFF_FORMAT
  w.Put(frameRateQ, 3);                    // FRMRTQ_POSTPROC
  w.Put(bitRateQ, 5);                      // BITRTQ_POSTPROC
  w.Put(1, 1);                             // POSTPROCFLAG
  w.Put(codedWidth / 2 - 1, 12);           // MAX_CODED_WIDTH
  w.Put(codedHeight / 2 - 1, 12);          // MAX_CODED_HEIGHT
  w.Put(progressive ? 0 : 1, 1);           // PULLDOWN
  w.Put(progressive ? 0 : 1, 1);           // INTERLACE
  w.Put(0, 1);                             // TFCNTRFLAG
  w.Put(0, 1);                             // FINTERPFLAG
  w.Put(1, 1);                             // RESERVED
  w.Put(1, 1);                             // PSF
  w.Put(0, 1);                             // DISPLAY_EXT
  w.Put(0, 1);                             // HRD_PARAM_FLAG
  w.StopAndAlign();
  w.StartCode(0x0E);                           // entry-point header
  w.Put(0, 1);                                 // BROKEN_LINK
  w.Put(1, 1);                                 // CLOSED_ENTRY
  w.Put(0, 1);                                 // PANSCAN_FLAG
  w.Put(0, 1);                                 // REFDIST_FLAG
  w.Put(loopFilter, 1);                        // LOOPFILTER
  w.Put(s.anchorDistance > 1 ? 1 : 0, 1);      // FASTUVMC
  w.Put(extended, 1);                          // EXTENDED_MV
  w.Put(extended, 2);                          // DQUANT
  w.Put(0, 1);                                 // VSTRANSFORM
  w.Put(1, 1);                                 // OVERLAP
  w.Put(2, 2);                                 // QUANTIZER
  w.Put(0, 1);                                 // CODED_SIZE_FLAG
  if (extended != 0) w.Put(0, 1);              // EXTENDED_DMV
  w.Put(0, 1);                                 // RANGE_MAPY_FLAG
  w.Put(0, 1);                                 // RANGE_MAPUV_FLAG
  w.StopAndAlign();
  return w.Bytes();
}

// The parameter sets an encoder opened with these settings writes in its stream: the settings
// are configured and given their geometry and aspect code on a copy, so that a header asked
// for during a session leaves the live encoder alone. Annex B form with three-byte start codes
// (an access unit delimiter first for the stream types that delimit their access units); the
// units are escaped as in the stream. 0 when the sequence is refused or the sets do not fit.
int WriteH264Header(const EncoderSettings& settings, uint8_t* out, uint32_t cpuFeatures) {
  EncoderSettings s = settings;
  if (!ConfigureSequence(s, cpuFeatures)) return 0;
  SetCodedGeometry(s);
  s.noiseFilterRegion = 0;
  SetAspectRatio(s, s.aspectX, s.aspectY);
  std::vector<uint8_t> bytes;
  auto append = [&](const std::vector<uint8_t>& nal) {
    bytes.insert(bytes.end(), {0, 0, 1});
    bytes.insert(bytes.end(), nal.begin(), nal.end());
  };
  if (s.streamType == STREAM_TYPE_HD || s.streamType == STREAM_TYPE_7) {
    append({0x09, 0x10});  // access unit delimiter, primary_pic_type 0
  }
  append(H264SequenceParameterSetNal(s, s.progressiveSequence == 0));
  append(H264PictureParameterSetNal(s));
  if (bytes.size() > static_cast<size_t>(kSequenceHeaderCapacity)) return 0;
  std::copy(bytes.begin(), bytes.end(), out);
  return static_cast<int>(bytes.size());
}

}  // namespace

int GetSequenceHeader(const EncoderSettings& settings, uint8_t* out, uint32_t cpuFeatures) {
  if (settings.codec == CODEC_H264) {
    std::memset(out, 0, kSequenceHeaderCapacity);
    return WriteH264Header(settings, out, cpuFeatures);
  }
  if (settings.codec != CODEC_VC1) return 0;
  std::memset(out, 0, kSequenceHeaderCapacity);
  return WriteVc1Header(settings, out, cpuFeatures);
}

const uint8_t* FindVc1EntryPoint(const uint8_t* header, size_t size) {
  for (size_t i = 0; i + 4 < size; ++i) {
    if (header[i] == 0 && header[i + 1] == 0 && header[i + 2] == 1 && header[i + 3] == 0x0E) {
      return header + i + 4;
    }
  }
  return nullptr;
}

}  // namespace orx::venc
