// The component's output: its own file when one is open, else buffers lent by the peer of
// output pin 0, as many as a write needs.
#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "framework/qva_os.h"
#include "mux/component/mux_component.h"
#include "platform/debug_output.h"

namespace orx::mux {

void MuxDebugLine(ComponentInstance* instance, const char* format, ...) {
  char text[512];
  const int prefix = std::snprintf(text, sizeof(text), "CMUX[%u]: ", instance ? instance->index : 0u);
  va_list args;
  va_start(args, format);
  std::vsnprintf(text + prefix, sizeof(text) - static_cast<size_t>(prefix), format, args);
  va_end(args);
  orx::platform::DebugOutput(text);
}

QVAStatus OpenMuxOutputFile(ComponentInstance* instance) {
  MuxComponentState& state = MuxState(instance);
  state.outputFile = QVAOpenFileWrite(state.fileName, 1);
  if (state.outputFile == nullptr) {
    state.lastError = QVA_ERR_OPEN;
    CompBase_ReportError(instance, QVA_ERR_OPEN, 0);
    return QVA_ERR_OPEN;
  }
  state.bytesWritten = 0;
  return QVA_SUCCESS;
}

void CloseMuxOutputFile(ComponentInstance* instance) {
  MuxComponentState& state = MuxState(instance);
  if (state.outputFile == nullptr) return;
  QVACloseFile(state.outputFile);
  state.outputFile = nullptr;
}

QVAStatus WriteMuxOutput(ComponentInstance* instance, const uint8_t* data, uint32_t count, uint64_t timeMs) {
  MuxComponentState& state = MuxState(instance);
  if (state.outputFile != nullptr) {
    uint32_t written = 0;
    const QVAStatus status = QVAWriteFile(state.outputFile, data, count, &written);
    state.bytesWritten += written;
    if (status == QVA_SUCCESS && written != count) return QVA_ERR_WRITE;
    return status;
  }
  if (!CompBase_IsPinConnected(instance, 1, 0)) return QVA_ERR_NOTOPEN;
  // A write larger than one lent buffer continues in the next ones.
  uint32_t done = 0;
  while (done < count) {
    ComponentBuffer* buffer = nullptr;
    QVAStatus status = CompBase_GetEmptyOutput(instance, 0, &buffer);
    if (status != QVA_SUCCESS) return status;
    if (buffer == nullptr || buffer->data == nullptr || buffer->capacity == 0) return QVA_ERR_TOOSMALL;
    const uint32_t piece = std::min(count - done, buffer->capacity);
    std::memcpy(buffer->data, data + done, piece);
    buffer->flags = QVA_BUFFLAG_TIMESTAMP;
    buffer->timestamp = timeMs;
    buffer->length = piece;
    status = CompBase_DeliverOutput(instance, 0, buffer);
    if (status != QVA_SUCCESS) return status;
    done += piece;
  }
  return QVA_SUCCESS;
}

QVAStatus SeekMuxOutput(ComponentInstance* instance, uint64_t offset) {
  MuxComponentState& state = MuxState(instance);
  if (state.outputFile != nullptr) return QVASeekFile(state.outputFile, offset);
  if (!CompBase_IsPinConnected(instance, 1, 0)) return QVA_ERR_NOTOPEN;
  ComponentBuffer* buffer = nullptr;
  const QVAStatus status = CompBase_GetEmptyOutput(instance, 0, &buffer);
  if (status != QVA_SUCCESS) return status;
  if (buffer == nullptr) return QVA_ERR_TOOSMALL;
  buffer->flags = 0;
  buffer->length = 0;
  buffer->SetSeekOffset(offset);
  return CompBase_DeliverOutput(instance, 0, buffer);
}

}  // namespace orx::mux
