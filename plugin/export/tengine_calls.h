#pragma once
// The transcode engine functions the export bridge calls, as one table: the engine library's
// own functions, or, in tests, a scripted engine that shows what the bridge does when the
// engine stalls, refuses or gives frames back in odd ways.
#include <cstdint>

#include "framework/component_buffer.h"
#include "framework/qva_os.h"
#include "framework/qva_status.h"
#include "media/media_type.h"
#include "media/tengine_config.h"

namespace orx::plugin {

// (engine, buffer, source context, the buffer's reference handle or none).
using TengineReleaseFn = QVAStatus (*)(QVAHandle engine, ComponentBuffer* buffer, void* context,
                                       void* referenceHandle);
// (engine, buffer, the write context and extra value given to OpenTarget): one output piece,
// seek request or end of stream.
using TengineWriteFn = QVAStatus (*)(QVAHandle engine, ComponentBuffer* buffer, void* writeContext,
                                     void* writeExtra);

struct TengineCalls {
  QVAStatus (*Create)(QVAHandle* engine);
  QVAStatus (*SetConfig)(QVAHandle engine, const QVATengineConfig* config);
  QVAStatus (*OpenVideoSource)(QVAHandle engine, const VideoMediaType* format,
                               TengineReleaseFn release, void* context);
  QVAStatus (*OpenAudioSource)(QVAHandle engine, const AudioMediaType* format,
                               TengineReleaseFn release, void* context);
  QVAStatus (*OpenTarget)(QVAHandle engine, const StreamMediaType* target, uint32_t targetWord,
                          TengineWriteFn write, void* writeContext, void* writeExtra, uint32_t reserved);
  QVAStatus (*Control)(QVAHandle engine, uint32_t command, void* block);
  QVAStatus (*Run)(QVAHandle engine, uint32_t traceWord);
  QVAStatus (*DeliverVideo)(QVAHandle engine, ComponentBuffer* buffer, uint32_t reserved,
                            void* referenceHandle, uint32_t timeoutMs);
  QVAStatus (*DeliverAudio)(QVAHandle engine, ComponentBuffer* buffer, uint32_t reserved,
                            void* reservedHandle, uint32_t timeoutMs);
  QVAStatus (*Flush)(QVAHandle engine, uint32_t parameter);
  QVAStatus (*Wait)(QVAHandle engine, uint32_t traceWord, uint32_t timeoutMs);
  QVAStatus (*Release)(QVAHandle engine);
};

// The table in use: the engine library's, unless a test put its own in place.
const TengineCalls& Tengine();
// calls null restores the engine library's table.
void SetTengineCallsForTest(const TengineCalls* calls);

}  // namespace orx::plugin
