#include "plugin/export/host_pixel_formats.h"

namespace orx::plugin {
namespace {

using namespace host_sdk;

const uint32_t kPrefer420[] = {kPixelFormatYvi2, kPixelFormatYv12, kPixelFormatVUya};
const uint32_t kPrefer422[] = {kPixelFormatYuy2, kPixelFormatVuya, kPixelFormatBgra,
                               kPixelFormatVUya};
const uint32_t kPrefer444[] = {kPixelFormatVuya, kPixelFormatYuy2, kPixelFormatBgra,
                               kPixelFormatVUya};
const uint32_t kPreferBgra[] = {kPixelFormatBgra, kPixelFormatYuy2, kPixelFormatVUya};
const uint32_t kPreferAny[] = {kPixelFormatYv12, kPixelFormatYvi2, kPixelFormatVUya,
                               kPixelFormatVuya, kPixelFormatYuy2, kPixelFormatBgra};

}  // namespace

uint32_t SubtypeForPixelFormat(uint32_t pixelFormat) {
  for (const HostPixelFormat& format : kHostPixelFormats) {
    if (format.pixelFormat == pixelFormat) return format.subtype;
  }
  return 0;
}

std::span<const uint32_t> PixelFormatPreferences(uint32_t sourceSubtype) {
  switch (sourceSubtype) {
    case QVA_MSUBTYPE_YUV420:
      return kPrefer420;
    case QVA_MSUBTYPE_YUV422I:
      return kPrefer422;
    case QVA_MSUBTYPE_YUV444I:
      return kPrefer444;
    case QVA_MSUBTYPE_BGRA:
      return kPreferBgra;
    default:
      return kPreferAny;
  }
}

}  // namespace orx::plugin
