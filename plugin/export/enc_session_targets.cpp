#include "plugin/export/enc_session_targets.h"

#include "media/media_codes.h"

namespace orx::plugin {

uint32_t VideoSubtypeForChoice(uint32_t choice) {
  switch (choice) {
    case 1:
      return QVA_MSUBTYPE_MPV4;
    case 2:
      return QVA_MSUBTYPE_H264;
    case 3:
      return QVA_MSUBTYPE_WMV9;
    case 5:
      return QVA_MSUBTYPE_VC1;
    default:
      return QVA_MSUBTYPE_MPV2;
  }
}

uint32_t AudioSubtypeForChoice(uint32_t choice) {
  switch (choice) {
    case 0:
      return QVA_MSUBTYPE_PCM;
    case 2:
      return QVA_MSUBTYPE_MPA3;
    case 3:
      return QVA_MSUBTYPE_WMA;
    case 4:
      return QVA_MSUBTYPE_AAC;
    default:
      return QVA_MSUBTYPE_MPA2;
  }
}

StreamMediaType TargetStreamType(uint32_t c, bool v, bool a, uint32_t vs, uint32_t as) {
  StreamMediaType t{};
  auto set = [&t](uint32_t major, uint32_t subtype) {
    t.MType = major;
    t.subtype = subtype;
  };
  switch (c) {
    case 0:
      if (!v && a)
        set(QVA_MTYPE_AUDIO, as);
      else
        set(QVA_MTYPE_VIDEO, vs);
      break;
    case 7:
      if (!v && a)
        set(QVA_MTYPE_AUDIO, as);
      else
        set(QVA_MTYPE_VIDEO, QVA_MSUBTYPE_MPV2);
      break;
    case 1:
      set(QVA_MTYPE_MPEG2_PS, 0);
      break;
    default:
      if (v && vs == QVA_MSUBTYPE_MPV2)
        set(QVA_MTYPE_MPEG2_PS, 0);
      else if (c == 2 || vs == QVA_MSUBTYPE_H264)
        set(QVA_MTYPE_MP4, 0);
      else if (c == 4 || vs == QVA_MSUBTYPE_WMV9 || vs == QVA_MSUBTYPE_VC1)
        set(QVA_MTYPE_ASF, vs);
      else
        set(v ? QVA_MTYPE_VIDEO : QVA_MTYPE_NONE, vs);
      break;
  }
  return t;
}

}  // namespace orx::plugin
