// The qvaaenc library: the "AENC" component's descriptor, method table and exports, and the
// methods that read and write its formats and parameters.
#include <cstring>
#include <new>

#include "aenc/component/aenc_component.h"
#include "aenc/component/audio_encoder_setup.h"
#include "aenc/core/mpeg_audio_tables.h"
#include "framework/component_library.h"
#include "framework/shipped_descriptors.h"
#include "media/media_codes.h"

namespace orx::aenc {
namespace {

AudioMediaType* PinType(AudioEncComponentState& s, uint32_t direction, uint32_t pin) {
  if (pin != 0) return nullptr;
  if (direction == 0) return &s.inputType;
  if (direction == 1) return &s.outputType;
  return nullptr;
}

// The bit rate the encoder codes at: the frame headers' rate once an encoder is built.
uint32_t CodingBitrate(const AudioEncComponentState& s) {
  if (s.encoder && s.encoderOpen)
    return static_cast<uint32_t>(MpegBitrateKbps(s.encoder->id, s.encoder->layer, s.encoder->bitrateIndex)) * 1000;
  return s.config.bitrate;
}

void InitPrivate(ComponentInstance* instance) {
  auto* s = new (instance->privateArea) AudioEncComponentState();
  s->inputType.size = sizeof(AudioMediaType);
  s->inputType.MType = QVA_MTYPE_AUDIO;
  s->inputType.subtype = QVA_MSUBTYPE_PCM;
  s->outputType.size = kMediaTypeHeaderSize;
  s->outputType.MType = QVA_MTYPE_AUDIO;
  s->outputType.subtype = QVA_MSUBTYPE_MPA2;
  s->outputType.secondBitrate = 128000;
  s->bitstream = new (std::nothrow) CBitStream(instance);
  MakeAudioEncoderConfig(s->inputType, s->outputType, s->config);
}

void ReleasePrivate(ComponentInstance* instance) {
  AudioEncComponentState& s = AencState(instance);
  delete s.bitstream;
  s.~AudioEncComponentState();
}

}  // namespace

extern "C" {

QVAStatus AEnc_GetInputPin(ComponentInstance* instance, uint32_t pin, QVAGetEmptyBufferFn* outGet,
                           QVADeliverBufferFn* outDeliver) {
  AudioEncComponentState& s = AencState(instance);
  return CompBase_GetInputPin(instance, pin, outGet, outDeliver, s.inputBufferSize, s.inputBufferCount);
}

QVAStatus AEnc_GetFormat(ComponentInstance* instance, uint32_t direction, uint32_t pin, void* record) {
  AudioEncComponentState& s = AencState(instance);
  const AudioMediaType* type = PinType(s, direction, pin);
  if (!type) return QVA_ERR_UNSUPPORTED;
  if (!record) return QVA_ERR_BADARG;
  uint32_t size;
  std::memcpy(&size, record, sizeof size);
  if (size < kMediaTypeHeaderSize) return QVA_ERR_TOOSMALL;
  if (size < sizeof(AudioMediaType)) {
    std::memcpy(record, type, kMediaTypeHeaderSize);
    uint32_t headerSize = kMediaTypeHeaderSize;
    std::memcpy(record, &headerSize, sizeof headerSize);
    return QVA_SUCCESS;
  }
  AudioMediaType out = *type;
  if (direction == 1) {
    // The multiplexer takes an AAC or WMA-style rate from +52: it carries the coding rate too.
    out.secondBitrate = CodingBitrate(s);
    // The codec-private block belongs to the WMA-style codec alone.
    if (s.config.codec >= kCodecWmaStyle) {
      uint32_t samples, bytes;
      WmaBlockInfo(out.SamplRate, out.Bitrate, samples, bytes);
      WriteWmaCodecPrivate(out, samples, bytes);
    } else {
      out.codecPrivateLength = 0;
    }
  }
  std::memcpy(record, &out, sizeof out);
  return QVA_SUCCESS;
}

QVAStatus AEnc_SetFormat(ComponentInstance* instance, uint32_t direction, uint32_t pin, void* record) {
  AudioEncComponentState& s = AencState(instance);
  AudioMediaType* type = PinType(s, direction, pin);
  if (!type) return QVA_ERR_UNSUPPORTED;
  if (!record) return QVA_ERR_BADARG;
  MediaTypeHeader head;
  std::memcpy(&head, record, sizeof head);
  if (head.size < kMediaTypeHeaderSize) return QVA_ERR_TOOSMALL;
  if (direction == 0) {
    if (head.MType != QVA_MTYPE_AUDIO ||
        (head.subtype != QVA_MSUBTYPE_PCM && head.subtype != QVA_MSUBTYPE_YUV444I && head.subtype != QVA_MSUBTYPE_BGRA))
      return QVA_ERR_FORMAT;
    ApplyReceivedMediaType(*type, record);
    return QVA_SUCCESS;
  }
  if (!IsCodableOutputSubtype(head.subtype)) return QVA_ERR_FORMAT;
  AudioMediaType received = *type;
  ApplyReceivedMediaType(received, record);
  // Layer III at a rate it cannot code (the rate given, else the input's) is refused here
  // already, as the open would refuse it.
  const uint32_t rate = received.SamplRate != 0 ? received.SamplRate : s.inputType.SamplRate;
  if (received.subtype == QVA_MSUBTYPE_MPA3 && rate != 0 && !IsLayer3Rate(rate)) return QVA_ERR_FORMAT;
  uint32_t keptSecondBitrate = type->secondBitrate;
  *type = received;
  if (type->secondBitrate == 0) type->secondBitrate = keptSecondBitrate;
  s.formatSet = 1;
  return QVA_SUCCESS;
}

QVAStatus AEnc_GetParam(ComponentInstance* instance, uint32_t id, void* data, uint32_t size) {
  if (id == QVA_PARAM_AUDIOENCODER_ADTS) {
    if (size < sizeof(uint32_t)) return QVA_ERR_TOOSMALL;
    if (!data) return QVA_ERR_BADARG;
    std::memcpy(data, &AencState(instance).adts, sizeof(uint32_t));
    return QVA_SUCCESS;
  }
  if (id != QVA_PARAM_AUDIOENCODER) return CompBase_GetParam(instance, id, data, size);
  if (size < sizeof(AudioEncoderParams)) return QVA_ERR_TOOSMALL;
  if (!data) return QVA_ERR_BADARG;
  std::memcpy(data, &AencState(instance).params, sizeof(AudioEncoderParams));
  return QVA_SUCCESS;
}

QVAStatus AEnc_SetParam(ComponentInstance* instance, uint32_t id, void* data, uint32_t size) {
  AudioEncComponentState& s = AencState(instance);
  if (id == QVA_PARAM_BUFFERS && data && size >= sizeof(PinBufferConfig)) {
    PinBufferConfig config;
    std::memcpy(&config, data, sizeof config);
    bool outputChanged = false;
    if (config.bufferSize != 0) {
      if (config.pinIndex == 0) {
        s.inputBufferSize = config.bufferSize;
      } else if (config.pinIndex == 1 && config.bufferSize != s.outputBufferSize) {
        s.outputBufferSize = config.bufferSize;
        outputChanged = true;
      }
    }
    if (config.bufferCount != 0) {
      if (config.pinIndex == 0) {
        s.inputBufferCount = config.bufferCount;
      } else if (config.pinIndex == 1 && config.bufferCount != s.outputBufferCount) {
        s.outputBufferCount = config.bufferCount;
        outputChanged = true;
      }
    }
    if (outputChanged)
      CompBase_SetupOutputPin(instance, 0, nullptr, nullptr, instance, s.outputBufferSize, s.outputBufferCount);
    return CompBase_SetParam(instance, id, data, size);
  }
  if (id == QVA_PARAM_AUDIOENCODER_ADTS) {
    if (size < sizeof(uint32_t)) return QVA_ERR_TOOSMALL;
    if (!data) return QVA_ERR_BADARG;
    uint32_t value;
    std::memcpy(&value, data, sizeof value);
    if (value > 1) return QVA_ERR_BADARG;
    s.adts = value;
    return QVA_SUCCESS;
  }
  if (id == QVA_PARAM_AUDIOENCODER) {
    if (size < sizeof(AudioEncoderParams)) return QVA_ERR_TOOSMALL;
    if (!data) return QVA_ERR_BADARG;
    std::memcpy(&s.params, data, sizeof(AudioEncoderParams));
    s.reconfigure = 1;
    return QVA_SUCCESS;
  }
  return CompBase_SetParam(instance, id, data, size);
}

}  // extern "C"

namespace {

QVACompMethods AencMethods() {
  QVACompMethods methods = kCompLibDefaultMethods;
  methods.QVAComp_GetInputPin = QVA_GUARDED(AEnc_GetInputPin);
  methods.QVAComp_GetFormat = QVA_GUARDED(AEnc_GetFormat);
  methods.QVAComp_GetParam = QVA_GUARDED(AEnc_GetParam);
  methods.QVAComp_SetParam = QVA_GUARDED(AEnc_SetParam);
  methods.QVAComp_SetFormat = QVA_GUARDED(AEnc_SetFormat);
  return methods;
}

const ComponentInfo kAencDescriptors[] = {QVAMakeDescriptor(kShippedAENC, AencMethods())};

const CompLibraryDefinition kAencLibrary = {
    kAencDescriptors, 1, sizeof(AudioEncComponentState),
    16000, 32,  // input pin 0 (slot 0 reads the private area's values)
    4096, 32,   // output pin 0
    nullptr, nullptr, InitPrivate, ReleasePrivate};

}  // namespace
}  // namespace orx::aenc

QVA_COMPONENT_LIBRARY(orx::aenc::kAencLibrary)
