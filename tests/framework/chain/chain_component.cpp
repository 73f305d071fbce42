// A video-class test component that passes its input on: built three times (source, pass and
// sink) as three libraries, so every delivery between them crosses a library boundary. It sets
// PLAYING and sends its format on when a format record arrives, counts frames, and in input mode
// 3 takes its input itself and declares the ends of its streams, as the multiplexer does.
#include <atomic>
#include <cstring>
#include <new>

#include "framework/component_library.h"
#include "tests/framework/chain/chain_component.h"

namespace {

constexpr uint32_t kFormatSize = 156;
constexpr uint32_t kTakeWaitMs = 20;

struct ChainPrivate {
  std::atomic<uint32_t> keep;
  std::atomic<uint32_t> failAt;
  std::atomic<uint32_t> failResult;
  std::atomic<uint32_t> buffers;
  std::atomic<uint32_t> formats;
  std::atomic<uint32_t> endMarkers;
  uint8_t format[kFormatSize];
  bool formatKnown;
  ComponentBuffer* kept;
};

std::atomic<uint32_t> g_foreignHookCalls{0};

ChainPrivate* Private(ComponentInstance* instance) { return CompPrivate<ChainPrivate>(instance); }

uint32_t ByValue(void* data) { return static_cast<uint32_t>(reinterpret_cast<uintptr_t>(data)); }

QVAStatus GetParam(ComponentInstance* instance, uint32_t id, void* data, uint32_t size) {
  if (id != kChainReport) return CompBase_GetParam(instance, id, data, size);
  if (data == nullptr || size < sizeof(ChainReport)) return QVA_ERR_BADARG;
  ChainPrivate* p = Private(instance);
  ChainReport report{p->buffers, p->formats, p->endMarkers, g_foreignHookCalls};
  std::memcpy(data, &report, sizeof report);
  return QVA_SUCCESS;
}

QVAStatus SetParam(ComponentInstance* instance, uint32_t id, void* data, uint32_t size) {
  ChainPrivate* p = Private(instance);
  switch (id) {
    case kChainInputMode: CompBase_SetInputMode(instance, ByValue(data)); return QVA_SUCCESS;
    case kChainKeep: p->keep = ByValue(data); return QVA_SUCCESS;
    case kChainFailAt: p->failAt = ByValue(data); return QVA_SUCCESS;
    case kChainFailResult: p->failResult = ByValue(data); return QVA_SUCCESS;
    default: return CompBase_SetParam(instance, id, data, size);
  }
}

QVAStatus GetFormat(ComponentInstance* instance, uint32_t direction, uint32_t, void* mediaType) {
  if (mediaType == nullptr) return QVA_ERR_BADARG;
  ChainPrivate* p = Private(instance);
  if (direction != 1 || !p->formatKnown) return QVA_ERR_FORMAT;
  std::memcpy(mediaType, p->format, kFormatSize);
  return QVA_SUCCESS;
}

constexpr QVACompMethods Methods() {
  QVACompMethods methods = kCompLibDefaultMethods;
  methods.QVAComp_GetParam = GetParam;
  methods.QVAComp_SetParam = SetParam;
  methods.QVAComp_GetFormat = GetFormat;
  return methods;
}

const ComponentInfo kDescriptors[] = {QVAMakeDescriptor(
    {QVA_INTERFACE_VERSION, QVA_TYPES_VERSION, QVA_TYPE_VIDEO | QVA_TYPE_SCALER, 1, 1,
     {0x00, 0x10, 0xEF, 0x00, 0x00, 0x00, 0x7C, CHAIN_ROLE_ID}, CHAIN_ROLE_NAME, "Chain " CHAIN_ROLE_NAME, 1, 1, 0,
     {}, {}},
    Methods())};

void InitPrivate(ComponentInstance* instance) { new (instance->privateArea) ChainPrivate{}; }

const CompLibraryDefinition kLibrary = {kDescriptors, 1,       sizeof(ChainPrivate), kChainSlotSize, 2, kChainSlotSize,
                                        16,           nullptr, nullptr,              InitPrivate,    nullptr};

// Passes one buffer on: into an empty buffer of the next component when it fits, else as a
// foreign record that the next queue copies (and splits).
QVAStatus Forward(ComponentInstance* instance, const ComponentBuffer& in) {
  const uint32_t flags = (in.flags & ~(QVA_BUFFLAG_INPLACE | QVA_BUFFLAG_REFHANDLE | QVA_BUFFLAG_KEEP));
  ComponentBuffer* out = nullptr;
  if (in.length <= kChainSlotSize && CompBase_GetEmptyOutput(instance, 0, &out) == QVA_SUCCESS && out != nullptr &&
      in.length <= out->capacity) {
    std::memcpy(out->data, in.data, in.length);
    out->flags = flags & ~QVA_BUFFLAG_EXTERNAL;
    out->timestamp = in.timestamp;
    out->length = in.length;
    out->unitTag = in.unitTag;
    return CompBase_DeliverOutput(instance, 0, out);
  }
  ComponentBuffer copy = in;
  copy.flags = flags | QVA_BUFFLAG_EXTERNAL;
  copy.bytesRead = 0;
  return CompBase_DeliverOutput(instance, 0, &copy);
}

void TakeFormat(ComponentInstance* instance, const ComponentBuffer& in) {
  ChainPrivate* p = Private(instance);
  p->formats++;
  std::memset(p->format, 0, kFormatSize);
  std::memcpy(p->format, in.data, in.length < kFormatSize ? in.length : kFormatSize);
  p->formatKnown = true;
  if (CompBase_IsRunning(instance)) CompBase_SetState(instance, QVA_STATE_PLAYING);
  CompBase_SendFormatChange(instance, 0);
}

// One buffer as both modes handle it; answers the hook's status.
QVAStatus Handle(ComponentInstance* instance, ComponentBuffer& in, bool declaresEnds) {
  ChainPrivate* p = Private(instance);
  const uint32_t n = ++p->buffers;
  if (p->failAt != 0 && n == p->failAt) return p->failResult;
  if (in.flags & QVA_BUFFLAG_FORMAT) {
    if (declaresEnds) CompBase_SetEOS(instance, 0);  // a new stream begins
    TakeFormat(instance, in);
    return QVA_SUCCESS;
  }
  if (in.flags & (QVA_BUFFLAG_EOS | QVA_BUFFLAG_EOI)) {
    p->endMarkers++;
    if (declaresEnds) {
      if (CompBase_GetEOS(instance) == 0) CompBase_SetEOS(instance, 0x10);
      if (in.flags & QVA_BUFFLAG_EOI) CompBase_SetEOI(instance, 0x1000);
      CompBase_UpdateProgress(instance);
    }
    return QVA_SUCCESS;
  }
  const QVAStatus status = Forward(instance, in);
  CompBase_CountFrame(instance, 0, QVA_PROGRESS_KIND_VIDEO, QVA_COUNT_DONE);
  return status;
}

QVAStatus ProcessTakingInput(ComponentInstance* instance) {
  ComponentBuffer* in = nullptr;
  const QVAStatus taken = CompBase_TakeInput(instance, 0, &in, kTakeWaitMs);
  if (taken == QVA_ERR_STOPPED) return QVA_ERR_STOPPED;
  if (taken != QVA_SUCCESS || in == nullptr) return QVA_ERR_NOBUFFER;
  const QVAStatus status = Handle(instance, *in, true);
  CompBase_ReturnInput(instance, 0, in);
  return status;
}

void ReturnKept(ComponentInstance* instance) {
  ChainPrivate* p = Private(instance);
  if (p->kept == nullptr) return;
  CompBase_ReturnInput(instance, 0, p->kept);
  p->kept = nullptr;
}

}  // namespace

QVAStatus CompCreateHook(ComponentInstance* instance) {
  if (!CompBase_IsState(instance, QVA_STATE_NONE)) return QVA_ERR_WRONGSTATE;
  return CompBase_Init(instance);
}

QVAStatus CompProcessHook(ComponentInstance* instance, ComponentBuffer* buffer) {
  if (std::strcmp(instance->shortName, CHAIN_ROLE_NAME) != 0) g_foreignHookCalls++;
  if (instance->inputMode.load() == 3) return ProcessTakingInput(instance);
  if (buffer == nullptr) return QVA_ERR_NOBUFFER;
  ChainPrivate* p = Private(instance);
  // A buffer kept in the last round goes back now, one round late.
  ReturnKept(instance);
  const QVAStatus status = Handle(instance, *buffer, false);
  if (status == QVA_SUCCESS && p->keep && !(buffer->flags & (QVA_BUFFLAG_FORMAT | QVA_BUFFLAG_EOS | QVA_BUFFLAG_EOI))) {
    buffer->flags |= QVA_BUFFLAG_KEEP;
    p->kept = buffer;
  }
  return status;
}

QVAStatus CompDestroyHook(ComponentInstance* instance) {
  ReturnKept(instance);
  const bool wasNone = CompBase_IsState(instance, QVA_STATE_NONE);
  CompBase_Deinit(instance);
  return wasNone ? QVA_ERR_WRONGSTATE : QVA_SUCCESS;
}

QVA_COMPONENT_LIBRARY(kLibrary)
