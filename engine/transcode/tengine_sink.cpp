// The transcode engine's sink on the last component (one lent output buffer, the write
// callback), the pin callback that hands lent input buffers back to their source, and the
// pull-side output functions.
#include "engine/catalogue/component_calls.h"
#include "engine/transcode/tengine_record.h"
#include "platform/entry_guard.h"

namespace {

// The notice of a full reorder window (MULTIVENC's preprocessing): no data, no reference handle,
// only QVA_BUFFLAG_EXTERNAL.
bool IsFullWindowNotice(const ComponentBuffer& buffer) {
  return buffer.flags == QVA_BUFFLAG_EXTERNAL && buffer.data == nullptr && buffer.length == 0;
}

}  // namespace

namespace {

QVAStatus LendOutputBuffer(ComponentBuffer** outBuffer) {
  QVATengine* engine = TengineFromHandle(TengineGlobalHandle());
  if (outBuffer == nullptr) return QVA_ERR_BADARG;
  *outBuffer = nullptr;
  if (engine == nullptr || engine->lentData == nullptr) return QVA_ERR_STOPPED;
  ComponentBuffer& lent = engine->lentBuffer;
  lent = ComponentBuffer{};
  lent.frameworkMark = 1;
  lent.data = engine->lentData;
  lent.capacity = engine->lentCapacity;
  *outBuffer = &lent;
  return QVA_SUCCESS;
}

}  // namespace

extern "C" QVAStatus tengine_GetOutputBuffer(void*, ComponentBuffer** outBuffer) {
  return orx::platform::GuardEntry("tengine_GetOutputBuffer", QVA_ERR_EXECUTION,
                                   [&] { return LendOutputBuffer(outBuffer); });
}

namespace {

QVAStatus WriteOutput(ComponentBuffer* buffer) {
  QVATengine* engine = TengineFromHandle(TengineGlobalHandle());
  if (engine == nullptr) return QVA_ERR_STOPPED;
  TengineStampActivity(engine);
  // A failed write is the caller's to report; the component is never failed for it.
  if (engine->write != nullptr && buffer != nullptr) {
    engine->write(engine->handle, buffer, engine->writeContext, engine->writeExtra);
  }
  return QVA_SUCCESS;
}

}  // namespace

// A write that throws has lost its piece of the output: the delivery answers a write error, so
// the component fails, and the pass with it.
extern "C" QVAStatus tengine_DeliverOutput(void*, ComponentBuffer* buffer) {
  return orx::platform::GuardEntry("tengine_DeliverOutput", QVA_ERR_WRITE, [&] { return WriteOutput(buffer); });
}

namespace {

void ReleaseLentInput(ComponentBuffer* buffer, void* user) {
  const auto* tag = static_cast<const TengineSourceTag*>(user);
  if (tag == nullptr || buffer == nullptr) return;
  QVATengine* engine = TengineFromHandle(tag->engine);
  if (engine == nullptr) return;
  // Only records lent by reference hold the source's memory; a copied record is the queue's.
  const bool lent = (buffer->flags & QVA_BUFFLAG_INPLACE) != 0;
  if (!lent && !IsFullWindowNotice(*buffer)) return;
  QVATengineReleaseFn release = tag->audio ? engine->audioRelease : engine->videoRelease;
  if (release == nullptr) return;
  void* reference = (buffer->flags & QVA_BUFFLAG_REFHANDLE) ? buffer->ReferenceHandle() : nullptr;
  release(engine->handle, buffer, engine->sourceContext, reference);
}

}  // namespace

extern "C" void tengine_OnInputReleased(ComponentInstance*, ComponentBuffer* buffer, uint32_t, void* user) {
  orx::platform::GuardEntryWithoutAnswer("tengine_OnInputReleased", [&] { ReleaseLentInput(buffer, user); });
}

QVAStatus QVATengine_ReadOutput(QVAHandle handle, uint32_t timeoutMs, PinBufferConfig* outConfig,
                                ComponentBuffer** outBuffer) {
  QVATengine* engine = TengineFromHandle(handle);
  if (engine == nullptr) return QVA_ERR_BADHANDLE;
  ComponentInstance* output = engine->outputComponent;
  if (output == nullptr) return QVA_ERR_UNSUPPORTED;
  TengineStampActivity(engine);
  QVAStatus status = QVA_SUCCESS;
  if (outConfig != nullptr) {
    *outConfig = PinBufferConfig{};
    outConfig->pinIndex = 1;
    status = comp::GetParam(output, QVA_PARAM_BUFFERS, outConfig, sizeof *outConfig);
  }
  if (outBuffer != nullptr) status = comp::PullOutput(output, 1, outBuffer, timeoutMs);
  return status;
}

QVAStatus QVATengine_ReleaseOutput(QVAHandle handle, ComponentBuffer* buffer) {
  QVATengine* engine = TengineFromHandle(handle);
  if (engine == nullptr) return QVA_ERR_BADHANDLE;
  if (buffer == nullptr) return QVA_ERR_BADARG;
  if (engine->outputComponent == nullptr) return QVA_ERR_UNSUPPORTED;
  return comp::ReleaseBuffer(engine->outputComponent, 1, buffer);
}
