#include "venc/core/derive_settings.h"

#include <algorithm>
#include <iterator>

#include "media/media_codes.h"

namespace orx::venc {
namespace {

constexpr SearchParams kDefaultSearch = {20, 12, 0, 1, 5, 1};

bool IsStandardDefinitionMpeg2(uint32_t width, uint32_t height) {
  if (width == 720 || width == 704) return height == 480 || height == 576;
  if (width == 352) return height == 480 || height == 240 || height == 576 || height == 288;
  return false;
}

bool IsHighDefinition(uint32_t width, uint32_t height) {
  if (width == 1280) return height == 720;
  if (width == 1440 || width == 1920) return height == 1080 || height == 1088;
  return false;
}

// width x aspect numerator / denominator; a zero denominator leaves the width (a format record
// may carry a pixel aspect whose second word is 0).
int32_t AspectWidth(uint32_t width, uint32_t numerator, uint32_t denominator) {
  if (denominator == 0) return static_cast<int32_t>(width);
  return static_cast<int32_t>(static_cast<uint64_t>(width) * numerator / denominator);
}

void DefaultOutputFromInput(const VideoMediaType& input, VideoMediaType& output) {
  if (output.secondPARh == 0 && output.secondPARv == 0) {
    output.secondPARh = input.secondPARh;
    output.secondPARv = input.secondPARv;
  }
  if (output.PARh == 0 && output.PARv == 0) {
    output.PARh = input.PARh;
    output.PARv = input.PARv;
  }
  if (output.FrameRate == 0) output.FrameRate = input.FrameRate;
  if (output.secondWidth == 0 && output.secondHeight == 0) {
    if (output.width != 0 && output.height != 0) {
      output.secondWidth = output.width;
      output.secondHeight = output.height;
    } else {
      output.width = output.secondWidth = input.secondWidth;
      output.height = output.secondHeight = input.secondHeight;
    }
  }
}

void SetCodecFromSubtype(uint32_t subtype, EncoderSettings& settings) {
  switch (subtype) {
    case QVA_MSUBTYPE_MPV: settings.codec = CODEC_MPEG1; break;
    case QVA_MSUBTYPE_MPV2: settings.codec = CODEC_MPEG2; break;
    case QVA_MSUBTYPE_MPV4: settings.codec = CODEC_MPEG4; break;
    case QVA_MSUBTYPE_WMV9: settings.codec = CODEC_VC1; break;
    case QVA_MSUBTYPE_VC1:
      settings.codec = CODEC_VC1;
      settings.streamType = STREAM_TYPE_HD;
      break;
    case QVA_MSUBTYPE_H264: settings.codec = CODEC_H264; break;
    default: break;
  }
}

void SetStreamTypeFromSize(uint32_t width, uint32_t height, EncoderSettings& settings) {
  if (settings.codec == CODEC_MPEG1) {
    if (((width == 720 || width == 704) && (height == 480 || height == 576)) ||
        (width == 352 && (height == 480 || height == 576))) {
      settings.streamType = STREAM_TYPE_MPEG1_LARGE;
    } else if (width == 352 && (height == 240 || height == 288)) {
      settings.streamType = STREAM_TYPE_MPEG1_SIF;
    }
  } else if (settings.codec == CODEC_MPEG2) {
    if (IsStandardDefinitionMpeg2(width, height)) {
      settings.streamType = STREAM_TYPE_MPEG2_SD;
    } else if (IsHighDefinition(width, height)) {
      settings.streamType = STREAM_TYPE_HD;
    }
  }
}

void SetAspect(const VideoEncoderParams& params, const VideoMediaType& input,
               const VideoMediaType& output, EncoderSettings& settings) {
  if (params.displayAspectX != 0 && params.displayAspectY != 0) {
    settings.aspectX = static_cast<int32_t>(params.displayAspectX);
    settings.aspectY = static_cast<int32_t>(params.displayAspectY);
  } else if (output.secondPARh != 0 || output.secondPARv != 0) {
    settings.aspectX = AspectWidth(output.secondWidth, output.secondPARh, output.secondPARv);
    settings.aspectY = static_cast<int32_t>(output.secondHeight);
  } else if ((input.PARh != 0 || input.PARv != 0) && input.width != 0 &&
             input.secondHeight != 0) {
    settings.aspectX = AspectWidth(input.width, input.PARh, input.PARv);
    settings.aspectY = static_cast<int32_t>(input.height);
  } else {
    settings.aspectX = 4;
    settings.aspectY = 3;
  }
}

uint32_t ChooseBitRate(const VideoEncoderParams& params, const VideoMediaType& output) {
  if (params.averageBitRate != 0) return params.averageBitRate;
  if (params.peakBitRate != 0) return params.peakBitRate;
  if (output.BitrateAverage != 0) return output.BitrateAverage;
  return output.BitrateMax;
}

}  // namespace

void DeriveEncoderSettings(const VideoEncoderParams& params, const VideoMediaType& input,
                           VideoMediaType& output, EncoderSettings& settings,
                           RequestOptions& requestOptions) {
  // DeriveEncoderSettings, the sequence settings from the parameter block and the formats:
  // 1. Output-format defaults from the input.
  DefaultOutputFromInput(input, output);

  // 2. Fixed values and the codec.
  settings.pictureCallback = nullptr;
  settings.startFrameNumber = 0;
  settings.gopLength = params.gopLength != 0 ? static_cast<int32_t>(params.gopLength) : 15;
  settings.anchorDistance =
      params.anchorDistance != 0 ? static_cast<int32_t>(params.anchorDistance) : 1;
  settings.reorderPictures = 1;
  settings.quietChecks = 0;
  settings.streamType = STREAM_TYPE_UNSPECIFIED;
  settings.videoFormat = 2;
  SetCodecFromSubtype(output.subtype, settings);

  // 3. Stream type from the output size.
  SetStreamTypeFromSize(output.width, output.height, settings);
  const bool sd = settings.streamType == STREAM_TYPE_MPEG2_SD;
  if (sd) settings.videoFormat = 5;

  // 4. Display aspect.
  SetAspect(params, input, output, settings);
  settings.frameRateIndex = 8;

  // 5. Bit rate.
  const auto bitRate = static_cast<int32_t>(ChooseBitRate(params, output));
  settings.bitRate = bitRate;
  settings.maxBitRate = bitRate;

  // 6. Sequence words.
  const uint32_t options = params.optionFlags;
  settings.vbvBufferSize = static_cast<int32_t>(params.vbvBufferSize);
  std::fill(std::begin(settings.reserved21), std::end(settings.reserved21), 0);
  settings.progressiveSequence =
      params.progressive != 0 ? static_cast<int32_t>(params.progressive & VEP_PROGRESSIVE_SEQUENCE)
                              : 1;
  settings.chromaFormat = 1;
  // The input conversions use BT.601 coefficients: H.264 at standard definition says so as
  // the MPEG-2 standard-definition streams do.
  const bool sdH264 = settings.codec == CODEC_H264 && output.height <= 576;
  const int32_t colour = sd || sdH264 ? 6 : 1;
  settings.colourPrimaries = colour;
  settings.transferCharacteristics = colour;
  settings.matrixCoefficients = colour;
  settings.closedGops =
      (options & VEP_OPT_CLOSED_GOPS) != 0 ||
      (settings.codec == CODEC_H264 && settings.anchorDistance > 1);
  settings.sceneChangeMinDistance =
      (options & VEP_OPT_SCENE_CHANGE_GOP) != 0 ? std::min(settings.gopLength / 2, 8) : 0x7FFFFFF;
  settings.intraOnlyAtStart = (options & VEP_OPT_INTRA_ONLY_AT_START) != 0;
  settings.carriedOption = (options & VEP_OPT_CARRIED) != 0;
  settings.variableBitRate =
      (params.rateControl & VEP_RATE_VBR) != 0 || (output.VideoFlags & QVA_VIDEOFLAG_VBR) != 0;
  settings.vbvInitialFullness = 0.0f;
  settings.carriedFloats[0] = settings.carriedFloats[1] = 1.0f;
  settings.activityStrength = 1.0f;
  int32_t sliceLayout = 0;
  if (params.h264Slices > 1) sliceLayout = static_cast<int32_t>(params.h264Slices & 0xFF);
  if (params.h264SliceSizeLimit != 0) {
    sliceLayout |= static_cast<int32_t>((params.h264SliceSizeLimit & 0xFFFF) << 8);
  }
  settings.sliceLayout = sliceLayout;
  settings.loopFilterMode = 0;
  settings.reserved62 = 0;
  settings.subEncoderCount = 0;
  requestOptions = {5, {0, 0}};

  // 7. Worker threads.
  if ((params.engineFlags & VEP_ENGINE_ACCELERATOR) != 0) {
    const uint32_t first = params.encoderCount != 0 ? params.encoderCount : 2;
    const uint32_t second = params.gpuMask != 0 ? params.gpuMask : first;
    settings.workerFlags = WORKER_ACCELERATOR;
    settings.workerCounts = static_cast<int32_t>((second << 24) | first);
  } else {
    settings.workerCounts = 0;
    settings.gpuDeviceWord = 0;
    settings.workerFlags = (params.engineFlags & VEP_ENGINE_GPU) != 0 ? WORKER_GPU : 0;
  }

  // 8. Search, crop and preprocessing words; the size.
  settings.searchParams[0] = kDefaultSearch;
  settings.searchParams[1] = kDefaultSearch;
  settings.estimatorFlags = 0;
  settings.cropX = settings.cropY = settings.borderX = settings.borderY = 0;
  settings.horizontalHalving = settings.verticalMode = settings.pulldownMode = 0;
  settings.noiseFilterMode = settings.noiseFilterLevel = 0;
  settings.searchRangeX = 63;
  settings.searchRangeY = 31;
  settings.width = static_cast<int32_t>(input.secondWidth);
  settings.height = static_cast<int32_t>(input.secondHeight);
}

}  // namespace orx::venc
