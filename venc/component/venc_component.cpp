// The "VENC" component's private record and its format and parameter methods. They run on the
// caller's thread, so they touch the stored records only under the instance's records lock.
#include "venc/component/venc_component.h"

#include <cstring>
#include <new>

#include "media/media_codes.h"
#include "media/media_params.h"
#include "venc/component/bit_stream.h"
#include "venc/core/mpeg_video_encoder.h"

namespace orx::venc {
namespace {

constexpr uint32_t kDirectionInput = 0;
constexpr uint32_t kDirectionOutput = 1;

VEncPrivate* Private(ComponentInstance* instance) { return CompPrivate<VEncPrivate>(instance); }

bool AcceptedInputSubtype(uint32_t subtype) {
  return subtype == QVA_MSUBTYPE_YUV420 || subtype == QVA_MSUBTYPE_YUV444I || subtype == QVA_MSUBTYPE_NV12 ||
         subtype == QVA_MSUBTYPE_BGRA;
}

uint32_t SizeWord(const void* record) {
  uint32_t size;
  std::memcpy(&size, record, sizeof size);
  return size;
}

// What every format call answers before it looks at the records: only pin 0 of either direction
// exists, a record must be given and hold at least its 16-byte head.
QVAStatus CheckFormatCall(uint32_t direction, uint32_t pin, const void* record) {
  if (pin != 0 || (direction != kDirectionInput && direction != kDirectionOutput)) return QVA_ERR_UNSUPPORTED;
  if (record == nullptr) return QVA_ERR_BADARG;
  return SizeWord(record) < kMediaTypeHeaderSize ? QVA_ERR_TOOSMALL : QVA_SUCCESS;
}

// The defaults a new instance starts from.
void WriteDefaultFormats(VEncStoredRecords& r) {
  r.input = VideoMediaType{};
  r.input.size = sizeof(VideoMediaType);
  r.input.MType = QVA_MTYPE_VIDEO;
  r.input.subtype = QVA_MSUBTYPE_YUV420;
  r.output = VideoMediaType{};
  r.output.size = kMediaTypeHeaderSize;
  r.output.MType = QVA_MTYPE_VIDEO;
  r.output.subtype = QVA_MSUBTYPE_MPV2;
  r.output.width = r.output.secondWidth = 720;
  r.output.height = r.output.secondHeight = 480;
  r.output.FrameRate = 30000;
  r.output.sizeSubtype = QVA_MSUBTYPE_MPV2;
  r.output.secondSizeSubtype = QVA_MSUBTYPE_MPV2;
  r.output.BitrateAverage = r.output.BitrateMax = 4000000;
  r.params = VideoEncoderParams{};
  r.params.size = sizeof(VideoEncoderParams);
}

}  // namespace

void VEnc_InitPrivate(ComponentInstance* instance) {
  VEncPrivate* p = new (instance->privateArea) VEncPrivate{};
  p->recordsLock = new std::mutex();
  p->glueState = VENC_NO_ENCODER;
  p->inputBufferSize = kVEncInputBufferSize;
  p->inputBufferCount = kVEncInputBufferCount;
  p->outputBufferSize = kVEncOutputBufferSize;
  p->outputBufferCount = kVEncOutputBufferCount;
  WriteDefaultFormats(p->stored);
  p->bitStream = new CBitStream(instance, &p->frameInfo);
  p->settings.bitStream = p->bitStream;
  DeriveEncoderSettings(p->stored.params, p->stored.input, p->stored.output, p->settings, p->requestOptions);
}

void VEnc_ReleasePrivate(ComponentInstance* instance) {
  VEncPrivate* p = Private(instance);
  // An encoder that no End destroyed goes with the instance.
  if (p->encoder != nullptr) {
    p->encoder->Release();
    p->encoder = nullptr;
  }
  std::free(p->conversion);
  delete p->bitStream;
  delete p->recordsLock;
  p->~VEncPrivate();
}

QVAStatus VEnc_GetInputPin(ComponentInstance* instance, uint32_t pin, QVAGetEmptyBufferFn* outGet,
                           QVADeliverBufferFn* outDeliver) {
  VEncPrivate* p = Private(instance);
  uint32_t size, count;
  {
    std::lock_guard<std::mutex> hold(*p->recordsLock);
    size = p->inputBufferSize;
    count = p->inputBufferCount;
  }
  return CompBase_GetInputPin(instance, pin, outGet, outDeliver, size, count);
}

QVAStatus VEnc_GetParam(ComponentInstance* instance, uint32_t id, void* data, uint32_t size) {
  if (id != QVA_PARAM_VIDEOENCODER) return CompBase_GetParam(instance, id, data, size);
  if (data == nullptr) return QVA_ERR_BADARG;
  if (size < sizeof(VideoEncoderParams)) return QVA_ERR_TOOSMALL;
  VEncPrivate* p = Private(instance);
  std::lock_guard<std::mutex> hold(*p->recordsLock);
  std::memcpy(data, &p->stored.params, sizeof(VideoEncoderParams));
  return QVA_SUCCESS;
}

QVAStatus VEnc_SetParam(ComponentInstance* instance, uint32_t id, void* data, uint32_t size) {
  VEncPrivate* p = Private(instance);
  if (id == QVA_PARAM_BUFFERS && data != nullptr && size >= sizeof(PinBufferConfig)) {
    PinBufferConfig config;
    std::memcpy(&config, data, sizeof config);
    bool resizeOutput = false;
    uint32_t outputSize = 0, outputCount = 0;
    {
      std::lock_guard<std::mutex> hold(*p->recordsLock);
      if (config.pinIndex == 0) {
        if (config.bufferSize != 0) p->inputBufferSize = config.bufferSize;
        if (config.bufferCount != 0) p->inputBufferCount = config.bufferCount;
      } else if (config.pinIndex == 1) {
        if (config.bufferSize != 0 && config.bufferSize != p->outputBufferSize) {
          p->outputBufferSize = config.bufferSize;
          resizeOutput = true;
        }
        if (config.bufferCount != 0 && config.bufferCount != p->outputBufferCount) {
          p->outputBufferCount = config.bufferCount;
          resizeOutput = true;
        }
        outputSize = p->outputBufferSize;
        outputCount = p->outputBufferCount;
      }
    }
    if (resizeOutput) CompBase_SetupOutputPin(instance, 0, nullptr, nullptr, nullptr, outputSize, outputCount);
    return CompBase_SetParam(instance, id, data, size);
  }
  if (id == QVA_PARAM_VIDEOACCEL) {
    if (data == nullptr) return QVA_ERR_BADARG;
    return size < 80 ? QVA_ERR_TOOSMALL : QVA_SUCCESS;
  }
  if (id == QVA_PARAM_VIDEOENCODER) {
    if (data == nullptr) return QVA_ERR_BADARG;
    if (size < sizeof(VideoEncoderParams)) return QVA_ERR_TOOSMALL;
    std::lock_guard<std::mutex> hold(*p->recordsLock);
    if (std::memcmp(data, &p->stored.params, sizeof(VideoEncoderParams)) == 0) return QVA_SUCCESS;
    std::memcpy(&p->stored.params, data, sizeof(VideoEncoderParams));
    p->stored.paramsChanged = 1;
    return QVA_SUCCESS;
  }
  return CompBase_SetParam(instance, id, data, size);
}

QVAStatus VEnc_GetFormat(ComponentInstance* instance, uint32_t direction, uint32_t pin, void* record) {
  if (const QVAStatus refused = CheckFormatCall(direction, pin, record)) return refused;
  const uint32_t size = SizeWord(record);
  VEncPrivate* p = Private(instance);
  std::lock_guard<std::mutex> hold(*p->recordsLock);
  VEncStoredRecords& r = p->stored;
  const VideoMediaType& source = direction == kDirectionInput ? r.input : r.output;
  if (size < sizeof(VideoMediaType)) {
    std::memcpy(record, &source, kMediaTypeHeaderSize);
    const uint32_t headerSize = kMediaTypeHeaderSize;
    std::memcpy(record, &headerSize, sizeof headerSize);
    return QVA_SUCCESS;
  }
  VideoMediaType copy = source;
  if (copy.codecPrivateLength == 0 && r.codecPrivateRefresh != 0 && r.output.subtype != QVA_MSUBTYPE_MPV2) {
    // The codec's sequence header, from settings derived for this answer (the worker's own
    // settings are not touched from this thread).
    IMPEGVideoEncoder* encoder = p->encoder;
    const bool temporary = encoder == nullptr;
    if (temporary && !NewMPEGVideoEncoder(&encoder, 0)) {
      r.codecPrivateRefresh = 0;
      std::memcpy(record, &copy, sizeof copy);
      return QVA_SUCCESS;
    }
    EncoderSettings settings = p->settings;
    RequestOptions options{};
    DeriveEncoderSettings(r.params, r.input, r.output, settings, options);
    copy.codecPrivateLength = static_cast<uint32_t>(encoder->GetSequenceHeader(&settings, copy.codecPrivate));
    if (temporary) encoder->Release();  // the glue state stays "no encoder"
  }
  r.codecPrivateRefresh = 0;
  std::memcpy(record, &copy, sizeof copy);
  return QVA_SUCCESS;
}

QVAStatus VEnc_SetFormat(ComponentInstance* instance, uint32_t direction, uint32_t pin, void* record) {
  if (const QVAStatus refused = CheckFormatCall(direction, pin, record)) return refused;
  VEncPrivate* p = Private(instance);
  std::lock_guard<std::mutex> hold(*p->recordsLock);
  VEncStoredRecords& r = p->stored;
  const VideoMediaType previousOutput = r.output;
  bool changed = false;
  if (direction == kDirectionOutput) {
    ApplyReceivedMediaType(r.output, record);
    if (r.output.BitrateAverage == 0 && r.output.BitrateMax == 0) {
      r.output.BitrateAverage = previousOutput.BitrateAverage;
      r.output.BitrateMax = previousOutput.BitrateMax;
    }
    if (r.output.codecPrivateLength == 0 && previousOutput.codecPrivateLength != 0) {
      r.output.codecPrivateLength = previousOutput.codecPrivateLength;
      std::memcpy(r.output.codecPrivate, previousOutput.codecPrivate, sizeof r.output.codecPrivate);
    }
    r.outputFormatSet = 1;
    changed = std::memcmp(&previousOutput, &r.output, sizeof r.output) != 0;
  } else {
    MediaTypeHeader head;
    std::memcpy(&head, record, sizeof head);
    if (head.MType != QVA_MTYPE_VIDEO || !AcceptedInputSubtype(head.subtype)) return QVA_ERR_FORMAT;
    const VideoMediaType previous = r.input;
    ApplyReceivedMediaType(r.input, record);
    if (r.input.height == 0) r.input.height = previous.height;
    if (r.input.width == 0) r.input.width = previous.width;
    if (r.input.secondHeight == 0) r.input.secondHeight = r.input.height;
    if (r.input.secondWidth == 0) r.input.secondWidth = r.input.width;
    if (r.input.secondWidth != 0 && r.input.secondHeight != 0) r.ready = 1;
    changed = std::memcmp(&previous, &r.input, sizeof r.input) != 0;
  }
  if (r.outputFormatSet != 0 && changed) r.codecPrivateRefresh = 1;
  return QVA_SUCCESS;
}

}  // namespace orx::venc
