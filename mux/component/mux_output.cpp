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
namespace {

constexpr uint32_t kNotOpen = 11;
constexpr uint32_t kUnableToOpen = 8;
constexpr uint32_t kBufferTooSmall = 29;

}  // namespace

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
    state.lastError = kUnableToOpen;
    CompBase_ReportError(instance, kUnableToOpen, 0);
    return kUnableToOpen;
  }
  state.bytesWritten = 0;
  return 0;
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
    if (status == 0 && written != count) return 9;
    return status;
  }
  if (!CompBase_IsPinConnected(instance, 1, 0)) return kNotOpen;
  // A write larger than one lent buffer continues in the next ones.
  uint32_t done = 0;
  while (done < count) {
    ComponentBuffer* buffer = nullptr;
    QVAStatus status = CompBase_GetEmptyOutput(instance, 0, &buffer);
    if (status != 0) return status;
    if (buffer == nullptr || buffer->data == nullptr || buffer->capacity == 0) return kBufferTooSmall;
    const uint32_t piece = std::min(count - done, buffer->capacity);
    std::memcpy(buffer->data, data + done, piece);
    buffer->flags = QVA_BUFFLAG_TIMESTAMP;
    buffer->timestamp = timeMs;
    buffer->length = piece;
    status = CompBase_DeliverOutput(instance, 0, buffer);
    if (status != 0) return status;
    done += piece;
  }
  return 0;
}

QVAStatus SeekMuxOutput(ComponentInstance* instance, uint64_t offset) {
  MuxComponentState& state = MuxState(instance);
  if (state.outputFile != nullptr) return QVASeekFile(state.outputFile, offset);
  if (!CompBase_IsPinConnected(instance, 1, 0)) return kNotOpen;
  ComponentBuffer* buffer = nullptr;
  QVAStatus status = CompBase_GetEmptyOutput(instance, 0, &buffer);
  if (status != 0) return status;
  if (buffer == nullptr) return kBufferTooSmall;
  buffer->flags = 0;
  buffer->length = 0;
  buffer->SetSeekOffset(offset);
  return CompBase_DeliverOutput(instance, 0, buffer);
}

}  // namespace orx::mux
