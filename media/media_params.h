#pragma once
// Component parameter ids of the media records (the framework's own ids live in the
// framework), and the two parameter records only the engine defines.
#include <cstdint>

#include "media/record_layout.h"

// 4 bytes, value 0: a writer or video renderer of a transcode target with QVA_TFLAG_NO_OUTPUT_FILE
// gets it instead of being opened on the output file.
inline constexpr uint32_t QVA_PARAM_NO_OUTPUT_FILE = 14;
inline constexpr uint32_t QVA_PARAM_DEMUX_SETTINGS = 0x20001;  // DemuxSettings
inline constexpr uint32_t QVA_PARAM_VIDEO_DISPLAY = 0x50001;
inline constexpr uint32_t QVA_PARAM_VIDEOACCEL = 0x50002;
inline constexpr uint32_t QVA_PARAM_TRACKS = 0x50003;
inline constexpr uint32_t QVA_PARAM_SOURCE_SETTINGS = 0x50004;  // SourceSettings
inline constexpr uint32_t QVA_PARAM_VIDEOENCODER = 0x50005;  // VideoEncoderParams, 212 bytes
// 4 bytes, 0 or 1: the audio encoder puts an ADTS header before every AAC frame. Our addition:
// the engine sets it when the audio encoder is the last component of its target (an elementary
// .aac file, which players cannot open as bare raw data blocks); into a multiplexer the frames
// stay raw.
inline constexpr uint32_t QVA_PARAM_AUDIOENCODER_ADTS = 0x40006;

// QVA_PARAM_SOURCE_SETTINGS: nine words sent unchanged to a file source's video component. No
// component reads it; the file-source path writes only ownEncoder, the other words stay 0.
struct SourceSettings {
  uint32_t reserved0[4];
  uint32_t ownEncoder;  // 1 when the file-source path gives a test source its own encoder
  uint32_t reserved20[4];
};

// QVA_PARAM_DEMUX_SETTINGS: sent to a file source's demultiplexer only when passThrough is 1.
struct DemuxSettings {
  uint32_t passThrough;  // 1 with transcode flag 0x2 or 0x4
  uint32_t reserved4[20];
};

static_assert(sizeof(SourceSettings) == 36);
ORX_ASSERT_FIELD(SourceSettings, reserved0, 0);
ORX_ASSERT_FIELD(SourceSettings, ownEncoder, 16);
ORX_ASSERT_FIELD(SourceSettings, reserved20, 20);
static_assert(sizeof(DemuxSettings) == 84);
ORX_ASSERT_FIELD(DemuxSettings, passThrough, 0);
ORX_ASSERT_FIELD(DemuxSettings, reserved4, 4);
