#include "plugin/export/enc_session_targets.h"

#include "media/media_codes.h"

namespace orx::plugin {

uint32_t VideoSubtypeForChoice(VideoCodecChoice choice) {
  switch (choice) {
    case VideoCodecChoice::kMpeg4:
      return QVA_MSUBTYPE_MPV4;
    case VideoCodecChoice::kH264:
      return QVA_MSUBTYPE_H264;
    case VideoCodecChoice::kWmv9:
      return QVA_MSUBTYPE_WMV9;
    case VideoCodecChoice::kVc1:
      return QVA_MSUBTYPE_VC1;
    default:
      return QVA_MSUBTYPE_MPV2;
  }
}

uint32_t AudioSubtypeForChoice(AudioCodecChoice choice) {
  switch (choice) {
    case AudioCodecChoice::kPcm:
      return QVA_MSUBTYPE_PCM;
    case AudioCodecChoice::kMpegLayer3:
      return QVA_MSUBTYPE_MPA3;
    case AudioCodecChoice::kWma:
      return QVA_MSUBTYPE_WMA;
    case AudioCodecChoice::kAac:
      return QVA_MSUBTYPE_AAC;
    default:
      return QVA_MSUBTYPE_MPA2;
  }
}

StreamMediaType TargetStreamType(ContainerChoice c, bool v, bool a, uint32_t vs, uint32_t as) {
  StreamMediaType t{};
  auto set = [&t](uint32_t major, uint32_t subtype) {
    t.MType = major;
    t.subtype = subtype;
  };
  switch (c) {
    case ContainerChoice::kElementary:
      if (!v && a)
        set(QVA_MTYPE_AUDIO, as);
      else
        set(QVA_MTYPE_VIDEO, vs);
      break;
    case ContainerChoice::kEncoreCompatible:
      if (!v && a)
        set(QVA_MTYPE_AUDIO, as);
      else
        set(QVA_MTYPE_VIDEO, QVA_MSUBTYPE_MPV2);
      break;
    case ContainerChoice::kMpeg2Program:
      set(QVA_MTYPE_MPEG2_PS, 0);
      break;
    default:
      if (v && vs == QVA_MSUBTYPE_MPV2)
        set(QVA_MTYPE_MPEG2_PS, 0);
      else if (c == ContainerChoice::kMp4 || vs == QVA_MSUBTYPE_H264)
        set(QVA_MTYPE_MP4, 0);
      else if (c == ContainerChoice::kAsf || vs == QVA_MSUBTYPE_WMV9 || vs == QVA_MSUBTYPE_VC1)
        set(QVA_MTYPE_ASF, vs);
      else
        set(v ? QVA_MTYPE_VIDEO : QVA_MTYPE_NONE, vs);
      break;
  }
  return t;
}

}  // namespace orx::plugin
