// A recording double of the multiplexer (DOUBLE_ROLE_MUX), the audio encoder (DOUBLE_ROLE_AENC)
// or the scaler (DOUBLE_ROLE_SCALER), built on the framework: it records every call the engine
// makes and every buffer it receives, and passes its input on downstream. The multiplexer double
// takes input from both pins itself and, at the end of all its connected inputs, can write a
// trailer with a seek before its end of stream.
#include <algorithm>
#include <atomic>
#include <cstring>

#include "framework/component_library.h"
#include "framework/shipped_descriptors.h"
#include "media/media_params.h"
#include "media/media_type.h"
#include "tests/engine/transcode/double_support.h"

namespace {

using tengine_double::Behaviour;
using tengine_double::Record;

#if defined(DOUBLE_ROLE_MUX)
constexpr const char* kWho = "mux";
constexpr ComponentInfo kHead = kShippedCMUX;
constexpr bool kMux = true;
#elif defined(DOUBLE_ROLE_AENC)
constexpr const char* kWho = "aenc";
constexpr ComponentInfo kHead = kShippedAENC;
constexpr bool kMux = false;
#else
constexpr const char* kWho = "vscaler";
constexpr ComponentInfo kHead = kShippedVSCALER;
constexpr bool kMux = false;
#endif
constexpr bool kScaler = kHead.typeFlags & QVA_TYPE_SCALER;

constexpr uint32_t kDefaultInputSize = 65536;
constexpr uint32_t kTakeWaitMs = 20;
constexpr uint64_t kTrailerSeek = 0x100000010ull;

struct DoublePrivate {
  uint8_t outputFormat[160];
  std::atomic<uint32_t> connectedPins;
  std::atomic<uint32_t> endedPins;
  std::atomic<uint32_t> finished;
};

DoublePrivate* Private(ComponentInstance* instance) { return CompPrivate<DoublePrivate>(instance); }

uint32_t Word(const void* record, size_t offset) {
  uint32_t value;
  std::memcpy(&value, static_cast<const uint8_t*>(record) + offset, sizeof value);
  return value;
}

// Copies data downstream over as many empty buffers as it needs.
void Forward(ComponentInstance* instance, const uint8_t* data, uint32_t length, uint32_t flags, uint64_t time) {
  uint32_t offset = 0;
  do {
    ComponentBuffer* out = nullptr;
    if (CompBase_GetEmptyOutput(instance, 0, &out) != QVA_SUCCESS || out == nullptr) return;
    const uint32_t piece = std::min(length - offset, out->capacity);
    if (piece != 0) std::memcpy(out->data, data + offset, piece);
    out->length = piece;
    out->flags = offset == 0 ? flags : (flags & (QVA_BUFFLAG_VIDEO | QVA_BUFFLAG_AUDIO));
    out->timestamp = time;
    CompBase_DeliverOutput(instance, 0, out);
    offset += piece;
  } while (offset < length);
}

void WriteTrailer(ComponentInstance* instance) {
  static const uint8_t kFirst[] = "TRAILER1";
  static const uint8_t kSecond[] = "HEADER!!";
  Forward(instance, kFirst, 8, 0, 0);
  ComponentBuffer* out = nullptr;
  if (CompBase_GetEmptyOutput(instance, 0, &out) == QVA_SUCCESS && out != nullptr) {
    out->length = 0;
    out->flags = 0;
    out->SetSeekOffset(kTrailerSeek);
    CompBase_DeliverOutput(instance, 0, out);
  }
  Forward(instance, kSecond, 8, 0, 0);
}

QVAStatus GetInputPin(ComponentInstance* instance, uint32_t pin, QVAGetEmptyBufferFn* get, QVADeliverBufferFn* deliver) {
  if (get != nullptr || deliver != nullptr) {
    Record(kWho, "GetInputPin %u", pin);
    Private(instance)->connectedPins |= 1u << pin;
  }
  const uint32_t size = Behaviour(kWho).inputBufferSize != 0 ? Behaviour(kWho).inputBufferSize : kDefaultInputSize;
  return CompBase_GetInputPin(instance, pin, get, deliver, size, 8);
}

QVAStatus ConnectOutput(ComponentInstance* instance, uint32_t pin, QVAGetEmptyBufferFn get, QVADeliverBufferFn deliver,
                        void* context) {
  Record(kWho, "ConnectOutput %u %s", pin, get != nullptr ? "on" : "off");
  if (get != nullptr && Behaviour(kWho).connectOutputFails) return QVA_ERR_CONNECT;
  return CompBase_ConnectOutput(instance, pin, get, deliver, context);
}

QVAStatus SetFormat(ComponentInstance* instance, uint32_t direction, uint32_t pin, void* record) {
  if (record == nullptr) return QVA_ERR_BADARG;
  const uint32_t size = Word(record, 0);
  if (size < 16) return QVA_ERR_TOOSMALL;
  if (size >= 56 && Word(record, 4) == 0x40000) {
    Record(kWho, "SetFormat %u %u 0x%X/0x%X %ux%u %ux%u", direction, pin, Word(record, 4), Word(record, 8),
           Word(record, 28), Word(record, 32), Word(record, 48), Word(record, 52));
  } else {
    Record(kWho, "SetFormat %u %u 0x%X/0x%X", direction, pin, Word(record, 4), Word(record, 8));
  }
  if (direction == 1) {
    DoublePrivate* p = Private(instance);
    std::memset(p->outputFormat, 0, sizeof p->outputFormat);
    std::memcpy(p->outputFormat, record, std::min<uint32_t>(size, sizeof p->outputFormat));
  }
  return QVA_SUCCESS;
}

QVAStatus GetFormat(ComponentInstance* instance, uint32_t direction, uint32_t, void* record) {
  if (record == nullptr) return QVA_ERR_BADARG;
  const uint32_t size = Word(record, 0);
  if (direction != 1) return QVA_ERR_UNSUPPORTED;
  const DoublePrivate* p = Private(instance);
  std::memcpy(record, p->outputFormat, std::min<uint32_t>(size, sizeof p->outputFormat));
  std::memcpy(record, &size, sizeof size);
  return QVA_SUCCESS;
}

QVAStatus SetParam(ComponentInstance* instance, uint32_t id, void* data, uint32_t size) {
  if (id == QVA_PARAM_LOG && data != nullptr) {
    Record(kWho, "SetParam LOG level=%u", Word(data, 0));
  } else if (id == QVA_PARAM_VIDEOENCODER) {
    Record(kWho, "SetParam VIDEOENCODER %u", size);
    return data != nullptr && size >= 212 ? QVA_SUCCESS : QVA_ERR_TOOSMALL;
  } else {
    Record(kWho, "SetParam 0x%X %u", id, size);
  }
  return CompBase_SetParam(instance, id, data, size);
}

QVAStatus Start(ComponentInstance* instance) {
  Record(kWho, "Start");
  return CompLib_Start(instance);
}

QVAStatus SendCommand(ComponentInstance* instance, uint32_t command, uintptr_t p1, uintptr_t p2, uintptr_t p3,
                      uintptr_t p4, uint32_t timeout) {
  Record(kWho, "Command 0x%X 0x%X", command, static_cast<uint32_t>(p1));
  return CompBase_SendCommand(instance, command, p1, p2, p3, p4, timeout);
}

QVAStatus End(ComponentInstance* instance) {
  Record(kWho, "End");
  return CompLib_End(instance);
}

QVAStatus PushInput(ComponentInstance* instance, uint32_t pin, ComponentBuffer* buffer, uint32_t timeout,
                    uint32_t* taken) {
  if (buffer != nullptr) Record(kWho, "Push %u 0x%X %u", pin, buffer->flags, buffer->length);
  return CompBase_PushInput(instance, pin, buffer, timeout, taken);
}

QVAStatus SetPinCallback(ComponentInstance* instance, uint32_t direction, uint32_t pin, QVAPinCallbackFn callback,
                         void* user) {
  Record(kWho, "SetPinCallback %u %u", direction, pin);
  return CompBase_SetPinCallback(instance, direction, pin, callback, user);
}

constexpr QVACompMethods Methods() {
  QVACompMethods m = kCompLibDefaultMethods;
  m.QVAComp_GetInputPin = GetInputPin;
  m.QVAComp_ConnectOutput = ConnectOutput;
  m.QVAComp_GetFormat = GetFormat;
  m.QVAComp_SetParam = SetParam;
  m.QVAComp_Start = Start;
  m.QVAComp_SendCommand = SendCommand;
  m.QVAComp_End = End;
  m.QVAComp_PushInput = PushInput;
  m.QVAComp_SetFormat = SetFormat;
  m.QVAComp_SetPinCallback = SetPinCallback;
  return m;
}

const ComponentInfo kDescriptors[] = {QVAMakeDescriptor(kHead, Methods())};

void InitPrivate(ComponentInstance* instance) {
  if (kMux) CompBase_SetInputMode(instance, 3);  // takes input from both pins itself
}

const CompLibraryDefinition kLibrary = {kDescriptors, 1, sizeof(DoublePrivate), kDefaultInputSize, 8, 16384, 16,
                                        nullptr, nullptr, InitPrivate, nullptr};

void RecordInput(uint32_t pin, const ComponentBuffer& buffer) {
  Record(kWho, "In %u 0x%X %u %llu", pin, buffer.flags, buffer.length,
         static_cast<unsigned long long>(buffer.timestamp));
}

// The multiplexer double: one buffer from each connected pin per round.
QVAStatus MuxRound(ComponentInstance* instance) {
  DoublePrivate* p = Private(instance);
  const uint32_t connected = p->connectedPins.load();
  for (uint32_t pin = 0; pin < 2; ++pin) {
    if (!(connected & (1u << pin))) continue;
    ComponentBuffer* buffer = nullptr;
    if (CompBase_TakeInput(instance, pin, &buffer, kTakeWaitMs) != QVA_SUCCESS || buffer == nullptr) continue;
    RecordInput(pin, *buffer);
    if (buffer->length != 0 && !(buffer->flags & QVA_BUFFLAG_FORMAT)) {
      Forward(instance, buffer->data, buffer->length, buffer->flags & QVA_BUFFLAG_TIMESTAMP, buffer->timestamp);
    }
    if (buffer->flags & QVA_BUFFLAG_EOS) p->endedPins |= 1u << pin;
    CompBase_ReturnInput(instance, pin, buffer);
  }
  if (connected != 0 && (p->endedPins.load() & connected) == connected && !p->finished.exchange(1)) {
    if (Behaviour(kWho).trailer) WriteTrailer(instance);
    Record(kWho, "Finished");
    CompBase_SendEndMarker(instance, 0, 0);
    CompBase_SetState(instance, QVA_STATE_PAUSED);
  }
  return QVA_SUCCESS;
}

}  // namespace

QVAStatus CompCreateHook(ComponentInstance* instance) {
  if (!CompBase_IsState(instance, QVA_STATE_NONE)) return QVA_ERR_WRONGSTATE;
  // Configured at once: the first round after play announces progress and plays.
  CompBase_SetProgressPending(instance, 1);
  return CompBase_Init(instance);
}

QVAStatus CompProcessHook(ComponentInstance* instance, ComponentBuffer* buffer) {
  if (buffer == nullptr) return kMux ? MuxRound(instance) : QVA_SUCCESS;
  RecordInput(0, *buffer);
  if (buffer->flags & QVA_BUFFLAG_FORMAT) {
    if (kScaler) CompBase_SendFormatChange(instance, 0);
    return QVA_SUCCESS;
  }
  if (buffer->length != 0) {
    const uint32_t kind = buffer->flags & (QVA_BUFFLAG_VIDEO | QVA_BUFFLAG_AUDIO | QVA_BUFFLAG_TIMESTAMP);
    Forward(instance, buffer->data, buffer->length, kind, buffer->timestamp);
  }
  if (buffer->flags & QVA_BUFFLAG_EOS) CompBase_SetState(instance, QVA_STATE_PAUSED);
  return QVA_SUCCESS;
}

QVAStatus CompDestroyHook(ComponentInstance* instance) { return CompBase_Deinit(instance); }

QVA_COMPONENT_LIBRARY(kLibrary)
