#pragma once
// The host's pixel formats (platform/host_sdk/suites.h) in the system's own vocabulary, the
// media subtypes (media/media_codes.h): the subtype a rendered frame of each format is given to
// the engine as, and the formats a render request asks for, in order, for a source subtype.
#include <cstdint>
#include <span>

#include "media/media_codes.h"
#include "platform/host_sdk/suites.h"

namespace orx::plugin {

struct HostPixelFormat {
  uint32_t pixelFormat;
  uint32_t subtype;
};

// Every host format the engine takes. 'VUya' is not among them: a frame rendered in it keeps
// the source subtype it would be misread with, so it is not delivered.
inline constexpr HostPixelFormat kHostPixelFormats[] = {
    {host_sdk::kPixelFormatYv12, QVA_MSUBTYPE_YUV420},
    {host_sdk::kPixelFormatYvi2, QVA_MSUBTYPE_YUV420},
    {host_sdk::kPixelFormatYuy2, QVA_MSUBTYPE_YUV422I},
    {host_sdk::kPixelFormatVuya, QVA_MSUBTYPE_YUV444I},
    {host_sdk::kPixelFormatBgra, QVA_MSUBTYPE_BGRA},
};

// The engine subtype of a host pixel format, 0 when there is none.
uint32_t SubtypeForPixelFormat(uint32_t pixelFormat);

// The formats a render request lists for frames of the source subtype, most wanted first.
std::span<const uint32_t> PixelFormatPreferences(uint32_t sourceSubtype);

}  // namespace orx::plugin
