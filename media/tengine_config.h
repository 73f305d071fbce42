#pragma once
// The transcode configuration the exporter plug-in fills and QVATengine_SetConfig copies whole.
// It never leaves the plug-in library. Its log file handle is pointer-sized, so on 64-bit the
// record is larger than the 1168 bytes of a 32-bit build and every field after the handle moves
// by the handle's extra bytes; the field order stays. Code addresses it only by field name.
#include <cstddef>
#include <cstdint>

#include "media/media_params.h"
#include "media/media_type.h"
#include "media/record_layout.h"
#include "media/video_encoder_params.h"

struct QVATengineConfig {
  uint32_t reserved0;
  uint32_t statsLevel;  // above 0: QVA_PARAM_LOG with this level to every component at run
  uint32_t reserved8;
  uint32_t statsHistory;
  char logFilePath[256];
  void* logFileHandle;  // the exporter's open log
  uint32_t videoEnabled;  // video input and target are set up only when non-zero
  uint32_t audioEnabled;
  uint32_t estimateBitrate;  // not 0: the plug-in's fixups estimate videoBitrate from the target
  uint32_t scalingMode;  // 1 by default
  uint32_t videoBitrate;  // the plug-in's estimate, or the target's average rate the dialog shows
  uint32_t reserved296[4];
  uint32_t audioCodecChoice;
  uint32_t containerChoice;
  uint32_t transcodeFlags;  // QVA_TFLAG_*
  uint32_t optionWords[3];  // option words 2, 3 and 4
  VideoMediaType sourceVideo;
  VideoMediaType targetVideo;  // its second size decides the scaler
  SourceSettings sourceSettings;  // sent as QVA_PARAM_SOURCE_SETTINGS
  VideoEncoderParams encoderParams;  // sent as QVA_PARAM_VIDEOENCODER
  AudioMediaType sourceAudio;
  AudioMediaType targetAudio;  // its subtype picks the audio component
};

// transcodeFlags bits.
// A writer or video renderer gets parameter 14 (value 0) instead of being opened on the file.
inline constexpr uint32_t QVA_TFLAG_NO_OUTPUT_FILE = 0x1;
// Video arrives encoded: the multiplexer takes the video input itself.
inline constexpr uint32_t QVA_TFLAG_ENCODED_VIDEO = 0x2;
// A target with neither an audio nor a video component is accepted.
inline constexpr uint32_t QVA_TFLAG_ACCEPT_EMPTY_TARGET = 0x4;
// File-source path only: a preview renderer is connected to a test source.
inline constexpr uint32_t QVA_TFLAG_PREVIEW_TEST_SOURCE = 0x100;

// Offsets up to the handle are those of the 32-bit record; after it each field sits where the
// 32-bit record has it plus the handle's growth.
inline constexpr std::size_t kTengineConfigHandleGrowth = sizeof(void*) - 4;
#define ORX_ASSERT_CONFIG_FIELD(field, offset32) \
  ORX_ASSERT_FIELD(QVATengineConfig, field, (offset32) + kTengineConfigHandleGrowth)

ORX_ASSERT_FIELD(QVATengineConfig, reserved0, 0);
ORX_ASSERT_FIELD(QVATengineConfig, statsLevel, 4);
ORX_ASSERT_FIELD(QVATengineConfig, reserved8, 8);
ORX_ASSERT_FIELD(QVATengineConfig, statsHistory, 12);
ORX_ASSERT_FIELD(QVATengineConfig, logFilePath, 16);
ORX_ASSERT_FIELD(QVATengineConfig, logFileHandle, 272);
ORX_ASSERT_CONFIG_FIELD(videoEnabled, 276);
ORX_ASSERT_CONFIG_FIELD(audioEnabled, 280);
ORX_ASSERT_CONFIG_FIELD(estimateBitrate, 284);
ORX_ASSERT_CONFIG_FIELD(scalingMode, 288);
ORX_ASSERT_CONFIG_FIELD(videoBitrate, 292);
ORX_ASSERT_CONFIG_FIELD(reserved296, 296);
ORX_ASSERT_CONFIG_FIELD(audioCodecChoice, 312);
ORX_ASSERT_CONFIG_FIELD(containerChoice, 316);
ORX_ASSERT_CONFIG_FIELD(transcodeFlags, 320);
ORX_ASSERT_CONFIG_FIELD(optionWords, 324);
ORX_ASSERT_CONFIG_FIELD(sourceVideo, 336);
ORX_ASSERT_CONFIG_FIELD(targetVideo, 492);
ORX_ASSERT_CONFIG_FIELD(sourceSettings, 648);
ORX_ASSERT_CONFIG_FIELD(encoderParams, 684);
ORX_ASSERT_CONFIG_FIELD(sourceAudio, 896);
ORX_ASSERT_CONFIG_FIELD(targetAudio, 1032);
// 1168 bytes in the 32-bit layout; on 64-bit the tail is padded to the handle's alignment.
static_assert(offsetof(QVATengineConfig, targetAudio) + sizeof(AudioMediaType) ==
              1168 + kTengineConfigHandleGrowth);
#undef ORX_ASSERT_CONFIG_FIELD
