#include "vscaler/video_scaler.h"

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <new>

#include "media/media_codes.h"
#include "vscaler/convert/bgra_to_i420.h"
#include "vscaler/convert/yuv444_to_i420.h"
#include "vscaler/plane_copy.h"
#include "vscaler/plane_resize.h"

namespace orx::vscaler {
namespace {

std::atomic<ScalerAllocateFn> g_allocate{nullptr};

void* AllocateConversion(size_t bytes) {
  ScalerAllocateFn allocate = g_allocate.load();
  return allocate != nullptr ? allocate(bytes) : std::malloc(bytes);
}

bool IsPlanarOutput(uint32_t subtype) { return subtype == QVA_MSUBTYPE_YUV420 || subtype == QVA_MSUBTYPE_NV12; }

bool SizesValid(const VideoMediaType& t) {
  if (t.width == 0 || t.height == 0 || t.secondWidth == 0 || t.secondHeight == 0) return false;
  if ((t.width | t.height | t.secondWidth | t.secondHeight) & 1) return false;
  if (t.secondWidth > t.width || t.secondHeight > t.height) return false;
  // Keeps every byte count of a frame within 32 bits (and every offset within int).
  return static_cast<uint64_t>(t.width) * t.height <= 0x1FFFFFFFu / 2;
}

struct Plane {
  size_t offset;
  int pictureWidth, pictureHeight, pitch;
};

// The three planes of a planar 4:2:0 frame of the given format (NV12: Y and one CbCr plane of
// byte pairs, described in pairs).
void PlanesOf(const VideoMediaType& t, Plane planes[3]) {
  const size_t area = static_cast<size_t>(t.width) * t.height;
  const int w = static_cast<int>(t.width), pw = static_cast<int>(t.secondWidth), ph = static_cast<int>(t.secondHeight);
  planes[0] = {0, pw, ph, w};
  planes[1] = {area, pw / 2, ph / 2, w / 2};
  planes[2] = {area + area / 4, pw / 2, ph / 2, w / 2};
}

}  // namespace

size_t ConversionBytes(uint32_t subtype, size_t area) {
  switch (subtype) {
    case QVA_MSUBTYPE_BGRA:
    case QVA_MSUBTYPE_YUV444I:
    case QVA_MSUBTYPE_VUYA_FLOAT:
      return 4 * area;
    case QVA_MSUBTYPE_YUV422I:
      return 2 * area;
    default:
      return PlanarBytes(area);
  }
}

size_t PinBufferBytes(uint32_t subtype, size_t area) {
  return subtype == QVA_MSUBTYPE_BGRA || subtype == QVA_MSUBTYPE_YUV444I ? 4 * area : PlanarBytes(area);
}

size_t InputFrameBytes(const VideoMediaType& input) {
  return PinBufferBytes(input.subtype, static_cast<size_t>(input.width) * input.height);
}

void Scaler_DefaultPictureSize(VideoMediaType& type) {
  if (type.secondWidth == 0) type.secondWidth = type.width;
  if (type.secondHeight == 0) type.secondHeight = type.height;
}

uint32_t Scaler_CheckFormats(const VideoMediaType& input, const VideoMediaType* output) {
  if (!SizesValid(input)) return kScalerFormatNotSupported;
  if (output == nullptr) return kScalerOk;
  if (!SizesValid(*output) || !IsPlanarOutput(output->subtype)) return kScalerFormatNotSupported;
  if (input.subtype == output->subtype) return kScalerOk;
  // Only the two 4-byte host formats have a converter, and it writes planar 4:2:0.
  const bool convertible = input.subtype == QVA_MSUBTYPE_BGRA || input.subtype == QVA_MSUBTYPE_YUV444I;
  return convertible && output->subtype == QVA_MSUBTYPE_YUV420 ? kScalerOk : kScalerFormatNotSupported;
}

VideoScaler* Scaler_Create() {
  VideoScaler* scaler = new (std::nothrow) VideoScaler{};
  if (scaler != nullptr) scaler->mode = kScaleModeResize;
  return scaler;
}

void Scaler_FreeBuffers(VideoScaler* scaler) {
  if (scaler == nullptr) return;
  std::free(scaler->conversion);
  scaler->conversion = nullptr;
  scaler->conversionSize = 0;
}

void Scaler_Destroy(VideoScaler* scaler) {
  Scaler_FreeBuffers(scaler);
  delete scaler;
}

uint32_t Scaler_Setup(VideoScaler* scaler, uint32_t mode, const VideoMediaType* input, const VideoMediaType* output) {
  scaler->mode = mode;
  scaler->inputType = *input;
  scaler->outputType = *output;
  Scaler_FreeBuffers(scaler);
  if (input->subtype != output->subtype) {
    const size_t bytes = ConversionBytes(output->subtype, static_cast<size_t>(input->width) * input->height);
    scaler->conversion = static_cast<uint8_t*>(AllocateConversion(bytes));
    if (scaler->conversion == nullptr) {
      // Every later frame would leave empty while everything reports success: fail the change.
      scaler->ready = 0;
      return kScalerNoMemory;
    }
    scaler->conversionSize = static_cast<uint32_t>(bytes);
  }
  scaler->ready = 1;
  return kScalerOk;
}

ScaleOutcome Scaler_ScaleFrame(VideoScaler* scaler, const uint8_t* inputData, uint32_t inputLength,
                               uint8_t* outputData, uint32_t outputCapacity, uint32_t* outputLength) {
  *outputLength = 0;
  if (!scaler->ready) return ScaleOutcome::kNotReady;
  const VideoMediaType& in = scaler->inputType;
  const VideoMediaType& out = scaler->outputType;
  if (inputData == nullptr || inputLength < InputFrameBytes(in)) return ScaleOutcome::kShortInput;

  const uint8_t* source = inputData;
  if (in.subtype != out.subtype) {
    // Host frames are stored bottom-up: the converter takes the last row first.
    const int w = static_cast<int>(in.width), h = static_cast<int>(in.height);
    if (in.subtype == QVA_MSUBTYPE_BGRA) convert::PreprocBgraToI420(scaler->conversion, inputData, w, h, 1);
    else convert::ConvertYuv444PackedToI420(inputData, h, scaler->conversion, w, 1);
    source = scaler->conversion;
  }

  const size_t outputBytes = PlanarBytes(static_cast<size_t>(out.width) * out.height);
  if (outputData == nullptr || outputCapacity < outputBytes) return ScaleOutcome::kShortOutput;

  Plane from[3], to[3];
  PlanesOf(in, from);
  PlanesOf(out, to);
  if (scaler->mode == kScaleModeResize) {
    if (out.subtype == QVA_MSUBTYPE_NV12) {
      // NV12 keeps its chroma interleaved: resize Y, then the CbCr plane as byte pairs.
      ResizePlaneNearest(1, source, from[0].pictureWidth, from[0].pictureHeight, from[0].pitch, outputData,
                         to[0].pictureWidth, to[0].pictureHeight, to[0].pitch);
      ResizePlaneNearest(2, source + from[1].offset, from[1].pictureWidth, from[1].pictureHeight, from[1].pitch,
                         outputData + to[1].offset, to[1].pictureWidth, to[1].pictureHeight, 2 * to[1].pitch);
    } else {
      for (int p = 0; p < 3; ++p)
        ResizePlaneNearest(1, source + from[p].offset, from[p].pictureWidth, from[p].pictureHeight, from[p].pitch,
                           outputData + to[p].offset, to[p].pictureWidth, to[p].pictureHeight, to[p].pitch);
    }
  } else {
    // Copy mode: the output frame's rows take the converted source's picture rows, cropped to
    // the output width and padded below with mid-grey.
    const int outHeights[3] = {static_cast<int>(out.height), static_cast<int>(out.height) / 2,
                               static_cast<int>(out.height) / 2};
    const int outWidths[3] = {static_cast<int>(out.width), static_cast<int>(out.width) / 2,
                              static_cast<int>(out.width) / 2};
    const int planes = out.subtype == QVA_MSUBTYPE_NV12 ? 2 : 3;
    for (int p = 0; p < planes; ++p) {
      const int scale = (planes == 2 && p == 1) ? 2 : 1;  // NV12's CbCr rows hold byte pairs
      CopyPlaneRows(source + from[p].offset, from[p].pictureHeight, scale * from[p].pitch, outputData + to[p].offset,
                    outHeights[p], scale * outWidths[p], scale * outWidths[p], scale * from[p].pictureWidth);
    }
  }
  *outputLength = static_cast<uint32_t>(outputBytes);
  return ScaleOutcome::kScaled;
}

void Scaler_SetAllocatorForTesting(ScalerAllocateFn allocate) { g_allocate.store(allocate); }

}  // namespace orx::vscaler
