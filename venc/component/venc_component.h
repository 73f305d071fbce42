#pragma once
// The "VENC" component's glue between the framework and CVideoEncoder: its private record, the
// method-table entries of its own, and the hooks the framework calls. The glue only translates
// buffers, formats and parameters into encoder calls.
#include <cstdint>
#include <mutex>

#include "framework/qva_component.h"
#include "media/media_type.h"
#include "media/video_encoder_params.h"
#include "venc/core/derive_settings.h"
#include "venc/common/encoder_settings.h"
#include "venc/component/frame_info_ring.h"

namespace orx::venc {

class CBitStream;
class IMPEGVideoEncoder;

// VEncGlueState: how far the encoder object has come.
inline constexpr uint32_t VENC_NO_ENCODER = 1;
inline constexpr uint32_t VENC_CREATED = 2;
inline constexpr uint32_t VENC_CONFIGURED = 4;
inline constexpr uint32_t VENC_OPEN = 8;

inline constexpr uint32_t kVEncInputBufferSize = 622080;
inline constexpr uint32_t kVEncInputBufferCount = 2;
inline constexpr uint32_t kVEncOutputBufferSize = 8192;
inline constexpr uint32_t kVEncOutputBufferCount = 64;

// The records a control call may write while the worker encodes, and the flags about them.
// They are read and written under the instance's records lock; the worker takes a copy of what
// it needs for each buffer.
struct VEncStoredRecords {
  VideoEncoderParams params;
  VideoMediaType input;
  VideoMediaType output;  // codecPrivateLength/codecPrivate double as the sequence header
  uint32_t paramsChanged;
  uint32_t ready;  // the input size is known
  uint32_t outputFormatSet;
  uint32_t codecPrivateRefresh;
};

// The component's private area (zeroed with the instance by the framework).
struct VEncPrivate {
  IMPEGVideoEncoder* encoder;  // null when none exists
  EncoderSettings settings;  // worker's; its bitStream is this instance's CBitStream
  EncoderSettings configured;  // the settings of the last Configure that passed
  uint32_t formatChanged;  // a new input format waits for the next picture's Configure
  VEncStoredRecords stored;
  std::mutex* recordsLock;  // guards `stored` and glueState against the control calls
  uint32_t flushRequest;  // the next picture restarts the encoder's counters
  uint32_t fourcc;  // of the input kind
  uint32_t framesEncoded;  // EncodeFrame calls that made a picture
  RequestOptions requestOptions;
  uint32_t glueState;  // VENC_*
  uint32_t inputBufferSize, inputBufferCount;
  uint32_t outputBufferSize, outputBufferCount;
  uint8_t* conversion;  // planar 4:2:0 copy of 32-bit input, made on first need
  size_t conversionSize;
  uint64_t lastTimestamp;  // ms
  FrameInfoRing frameInfo;
  CBitStream* bitStream;
};

// Private defaults and the bit stream at creation; their release.
void VEnc_InitPrivate(ComponentInstance* instance);
void VEnc_ReleasePrivate(ComponentInstance* instance);

// Method-table entries (slots 0, 2, 3, 4 and 16); the others are the framework's.
QVAStatus VEnc_GetInputPin(ComponentInstance* instance, uint32_t pin, QVAGetEmptyBufferFn* outGet,
                           QVADeliverBufferFn* outDeliver);
QVAStatus VEnc_GetFormat(ComponentInstance* instance, uint32_t direction, uint32_t pin, void* record);
QVAStatus VEnc_GetParam(ComponentInstance* instance, uint32_t id, void* data, uint32_t size);
QVAStatus VEnc_SetParam(ComponentInstance* instance, uint32_t id, void* data, uint32_t size);
QVAStatus VEnc_SetFormat(ComponentInstance* instance, uint32_t direction, uint32_t pin, void* record);

// Hooks.
QVAStatus CreateVideoEncoder(ComponentInstance* instance);
QVAStatus DestroyVideoEncoder(ComponentInstance* instance);
QVAStatus VideoEncoderProcessBuf(ComponentInstance* instance, ComponentBuffer* buffer);

}  // namespace orx::venc
