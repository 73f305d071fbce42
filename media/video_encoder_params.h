#pragma once
// The video encoder's 212-byte parameter block, sent as QVA_PARAM_VIDEOENCODER to the video
// encoder, to MULTIVENC and to the multiplexer. It crosses library boundaries: the layout is
// fixed word for word (little-endian 32-bit words, no pointers).
#include <cstdint>

#include "media/record_layout.h"

struct VideoEncoderParams {
  uint32_t size;  // 212; receivers check the size argument of the call instead
  uint32_t rateControl;  // VEP_RATE_*
  uint32_t optionFlags;  // VEP_OPT_*
  uint32_t progressive;  // 0: progressive; otherwise bit 0 is progressive_sequence
  uint32_t reserved16;
  uint32_t reserved20;
  uint32_t gopLength;  // N; 0 gives 15
  uint32_t anchorDistance;  // M; 0 gives 1
  uint32_t averageBitRate;  // bit/s; 0 falls back to peakBitRate, then the output format
  uint32_t reserved36;
  uint32_t peakBitRate;  // bit/s
  uint32_t reserved44;
  uint32_t reserved48;
  uint32_t displayAspectX;  // used with displayAspectY when both are non-zero
  uint32_t displayAspectY;
  uint32_t vbvBufferSize;  // units of 16384 bits; 0 means derived
  uint32_t reserved64;
  uint32_t reserved68;
  uint32_t h264Slices;  // low byte: H.264 slices per picture, used when above 1
  uint32_t reserved76;
  uint32_t h264SliceSizeLimit;  // low 16 bits: bytes per H.264 slice, used when non-zero
  uint32_t engineFlags;  // VEP_ENGINE_*
  uint32_t encoderCount;  // MULTIVENC instances; with VEP_ENGINE_ACCELERATOR the ME workers
  uint32_t groupLength;  // MULTIVENC's rounded group length
  uint32_t gpuMask;  // GPUs per instance; with VEP_ENGINE_ACCELERATOR the second worker count
  uint32_t reserved100;
  uint32_t reserved104[8];  // +104 .. +132
  uint32_t frameCopy;  // MULTIVENC copies frames when non-zero and VEP_OPT_FRAME_COPIES is set
  uint32_t reserved140[18];  // +140 .. +208
};

// rateControl bits.
inline constexpr uint32_t VEP_RATE_VBR = 0x2;  // variable bit rate

// progressive word: bit 0 is progressive_sequence when the word is non-zero.
inline constexpr uint32_t VEP_PROGRESSIVE_SEQUENCE = 0x1;

// optionFlags bits.
inline constexpr uint32_t VEP_OPT_CLOSED_GOPS = 0x1;  // also implied for H.264 with M > 1
// A scene change may start a new GOP no earlier than min(N / 2, 8) pictures into it.
inline constexpr uint32_t VEP_OPT_SCENE_CHANGE_GOP = 0x2;
// Only the first (or a forced) anchor is an I picture.
inline constexpr uint32_t VEP_OPT_INTRA_ONLY_AT_START = 0x4;
// Carried into the encoder settings as carriedOption; no part of the encoder reads it.
inline constexpr uint32_t VEP_OPT_CARRIED = 0x8;
// The engine uses MULTIVENC, which takes the caller's frames by reference.
inline constexpr uint32_t VEP_OPT_MULTIVENC = 0x100;
// The encoder thread is bound to processor 1 << instance index at priority 15.
inline constexpr uint32_t VEP_OPT_BIND_THREAD = 0x200;
inline constexpr uint32_t VEP_OPT_FRAME_COPIES = 0x400;  // with a non-zero frameCopy
// qvavenc: an end of stream without end of input becomes a flush request;
// MULTIVENC: regular groups are N long (without it N + 1 - M).
inline constexpr uint32_t VEP_OPT_EOS_FLUSH = 0x800;
inline constexpr uint32_t VEP_OPT_EOS_KEEP_OPEN = 0x1000;  // an end of stream alone keeps it open
inline constexpr uint32_t VEP_OPT_ROUND_ROBIN = 0x2000;  // MULTIVENC's choice of the next instance
inline constexpr uint32_t VEP_OPT_DRAW_MARK = 0x100000;  // mark in the first 10 seconds
inline constexpr uint32_t VEP_OPT_DRAW_INSTANCE_BOX = 0x200000;  // box showing the instance

// engineFlags bits.
// qvavenc: encode accelerator with CPU worker threads (counts encoderCount, gpuMask);
// MULTIVENC clears it and encoderCount and runs a single instance.
inline constexpr uint32_t VEP_ENGINE_ACCELERATOR = 0x100;
inline constexpr uint32_t VEP_ENGINE_GPU = 0x200;  // use the GPU
// Several encoder instances: the engine uses MULTIVENC with encoderCount instances.
inline constexpr uint32_t VEP_ENGINE_MULTI_INSTANCE = 0x800;

static_assert(sizeof(VideoEncoderParams) == 212);
ORX_ASSERT_FIELD(VideoEncoderParams, size, 0);
ORX_ASSERT_FIELD(VideoEncoderParams, rateControl, 4);
ORX_ASSERT_FIELD(VideoEncoderParams, optionFlags, 8);
ORX_ASSERT_FIELD(VideoEncoderParams, progressive, 12);
ORX_ASSERT_FIELD(VideoEncoderParams, reserved16, 16);
ORX_ASSERT_FIELD(VideoEncoderParams, reserved20, 20);
ORX_ASSERT_FIELD(VideoEncoderParams, gopLength, 24);
ORX_ASSERT_FIELD(VideoEncoderParams, anchorDistance, 28);
ORX_ASSERT_FIELD(VideoEncoderParams, averageBitRate, 32);
ORX_ASSERT_FIELD(VideoEncoderParams, reserved36, 36);
ORX_ASSERT_FIELD(VideoEncoderParams, peakBitRate, 40);
ORX_ASSERT_FIELD(VideoEncoderParams, reserved44, 44);
ORX_ASSERT_FIELD(VideoEncoderParams, reserved48, 48);
ORX_ASSERT_FIELD(VideoEncoderParams, displayAspectX, 52);
ORX_ASSERT_FIELD(VideoEncoderParams, displayAspectY, 56);
ORX_ASSERT_FIELD(VideoEncoderParams, vbvBufferSize, 60);
ORX_ASSERT_FIELD(VideoEncoderParams, reserved64, 64);
ORX_ASSERT_FIELD(VideoEncoderParams, reserved68, 68);
ORX_ASSERT_FIELD(VideoEncoderParams, h264Slices, 72);
ORX_ASSERT_FIELD(VideoEncoderParams, reserved76, 76);
ORX_ASSERT_FIELD(VideoEncoderParams, h264SliceSizeLimit, 80);
ORX_ASSERT_FIELD(VideoEncoderParams, engineFlags, 84);
ORX_ASSERT_FIELD(VideoEncoderParams, encoderCount, 88);
ORX_ASSERT_FIELD(VideoEncoderParams, groupLength, 92);
ORX_ASSERT_FIELD(VideoEncoderParams, gpuMask, 96);
ORX_ASSERT_FIELD(VideoEncoderParams, reserved100, 100);
ORX_ASSERT_FIELD(VideoEncoderParams, reserved104, 104);
ORX_ASSERT_FIELD(VideoEncoderParams, frameCopy, 136);
ORX_ASSERT_FIELD(VideoEncoderParams, reserved140, 140);
