#pragma once
// The scaler core: one VideoScaler per started component holds the input and output formats,
// the mode and the conversion buffer. Each frame is converted to planar 4:2:0 at the input size
// when the subtypes differ, then each plane's picture area is resized by nearest neighbour into
// the output frame. No threads, no queues: the component glue drives it.
#include <cstddef>
#include <cstdint>

#include "media/media_type.h"

namespace orx::vscaler {

// 1 resizes the planes (the only mode the system selects); any other value copies rows with
// crop and mid-grey padding.
enum ScaleMode : uint32_t { kScaleModeResize = 1 };

struct VideoScaler {
  uint32_t ready;  // 1 after the first Scaler_Setup; frames leave empty while 0
  uint32_t mode;   // ScaleMode
  VideoMediaType inputType;
  VideoMediaType outputType;
  uint32_t conversionSize;  // bytes of the conversion buffer
  uint8_t* conversion;      // input converted to planar 4:2:0 at the input size; owned
};

// Status words the scaler answers (the framework's values).
inline constexpr uint32_t kScalerOk = 0;
inline constexpr uint32_t kScalerNoMemory = 4;
inline constexpr uint32_t kScalerBufferTooSmall = 29;
inline constexpr uint32_t kScalerFormatNotSupported = 40;

// Bytes of a planar 4:2:0 frame of `area` samples: A + 2 * (A / 4).
inline size_t PlanarBytes(size_t area) { return area + 2 * (area / 4); }
// The conversion buffer's bytes per pixel, by the output subtype.
size_t ConversionBytes(uint32_t subtype, size_t area);
// The pin buffer size for a frame of this subtype.
size_t PinBufferBytes(uint32_t subtype, size_t area);
// The bytes a frame of the input format holds (its first size pair).
size_t InputFrameBytes(const VideoMediaType& input);

// Answers 40 for a pair of formats the scaler cannot serve, else 0: odd or zero frame sizes,
// odd picture sizes, a picture area larger than its frame, a conversion other than BGRA or
// packed 4:4:4 to planar 4:2:0, or an output that is neither planar 4:2:0 nor NV12 (NV12 only
// from NV12). An output of all zeros (not set) checks the input alone.
uint32_t Scaler_CheckFormats(const VideoMediaType& input, const VideoMediaType* output);

// A zero picture size takes the frame size, as the engine leaves the second size pair 0.
void Scaler_DefaultPictureSize(VideoMediaType& type);

VideoScaler* Scaler_Create();  // null when the allocation fails
void Scaler_FreeBuffers(VideoScaler* scaler);  // null accepted
void Scaler_Destroy(VideoScaler* scaler);      // frees the buffers and the object; null accepted

// Stores the mode and both formats, and (re)allocates the conversion buffer when the subtypes
// differ. 0, or 4 when the conversion buffer cannot be had (the scaler is then not ready).
uint32_t Scaler_Setup(VideoScaler* scaler, uint32_t mode, const VideoMediaType* input, const VideoMediaType* output);

enum class ScaleOutcome {
  kScaled,       // the output holds the frame
  kNotReady,     // no format change yet: the output leaves empty
  kShortInput,   // the input holds less than its format's frame: not read, output empty
  kShortOutput,  // the output buffer cannot hold the 4:2:0 frame: output empty
};

// Scales one frame. *outputLength is the frame's length, or 0 when the outcome is not kScaled.
ScaleOutcome Scaler_ScaleFrame(VideoScaler* scaler, const uint8_t* inputData, uint32_t inputLength,
                               uint8_t* outputData, uint32_t outputCapacity, uint32_t* outputLength);

// Test hook: replaces the conversion-buffer allocation (nullptr restores the default). The
// replacement answers memory that std::free releases, or null.
using ScalerAllocateFn = void* (*)(size_t bytes);
void Scaler_SetAllocatorForTesting(ScalerAllocateFn allocate);

}  // namespace orx::vscaler
