#pragma once
// The transcode engine: what the exporter plug-in drives. It takes one configuration block,
// opens a video and an audio source that the caller feeds buffer by buffer, builds a target
// graph of components for the requested output stream, runs it, hands the last component's
// output to the caller's write callback through one lent buffer and reports each lent input
// buffer back through the source's release callback. One engine per process at a time: the
// newest handle is kept in a process global, which the sink functions use.
//
// Every function takes the engine handle first and answers 28 for a handle that is not a
// transcode engine.
#include <cstdint>

#include "framework/qva_component.h"
#include "media/media_type.h"
#include "media/tengine_config.h"

inline constexpr uint32_t QVA_HANDLE_PLAYBACK_ENGINE = 0x80001;
inline constexpr uint32_t QVA_HANDLE_TENGINE = 0x80003;

// Called when a component is done with an input buffer the caller lent: (engine, the buffer,
// the source context, the buffer's reference handle or none).
using QVATengineReleaseFn = QVAStatus (*)(QVAHandle engine, ComponentBuffer* buffer, void* context,
                                          void* referenceHandle);
// Called on the last component's worker thread for every output piece: data, seek requests
// (QVA_BUFFLAG_SEEK with the offset) and the end-of-stream marker, with the two values the
// caller gave QVATengine_OpenTarget. Its answer is ignored.
using QVATengineWriteFn = QVAStatus (*)(QVAHandle engine, ComponentBuffer* buffer, void* writeContext,
                                        void* writeExtra);

// The 112-byte statistics record of QVATengine_GetStatistics.
struct TengineStatistics {
  uint32_t size;           // 112
  uint32_t leafStates;     // OR of the source graph's leaf states
  uint64_t time;           // ms of the framework clock when taken
  ProgressInfo progress;   // "vtarget" (else "vsource") answer of QVA_PARAM_PROGRESS
  uint8_t reserved[32];
};
static_assert(sizeof(TengineStatistics) == 112);

// QVATengine_Control command bits.
inline constexpr uint32_t QVA_TCONTROL_WATCHDOG = 0x10;      // with a block of level >= 2
inline constexpr uint32_t QVA_TCONTROL_TRACE = 0x100;        // with 0x10: trace set-up; with 0x200: dump
inline constexpr uint32_t QVA_TCONTROL_DUMP = 0x200;
inline constexpr uint32_t QVA_TCONTROL_STATS_SET = 1;        // low byte
inline constexpr uint32_t QVA_TCONTROL_STATS_GET = 2;
inline constexpr uint32_t QVA_TCONTROL_STATS_START = 16;
inline constexpr uint32_t QVA_TCONTROL_STATS_STOP = 32;

// The state mask QVATengine_Wait waits for: any state but NONE, PREROLL, STARTING, PLAYING,
// PAUSING and SEEKING.
inline constexpr uint32_t kTengineWaitMask =
    ~(QVA_STATE_PREROLL | QVA_STATE_STARTING | QVA_STATE_PLAYING | QVA_STATE_PAUSING | QVA_STATE_SEEKING);  // 0xFFFFBFC3

// Name kinds of QVATengine_OpenSourceFile.
inline constexpr uint32_t kTengineNameNarrow = 1;
inline constexpr uint32_t kTengineNameUtf16 = 2;

// --- Set-up ---
QVAStatus QVATengine_Create(QVAHandle* outHandle);
QVAStatus QVATengine_SetConfig(QVAHandle engine, const QVATengineConfig* config);
QVAStatus QVATengine_GetConfig(QVAHandle engine, QVATengineConfig* config);
QVAStatus QVATengine_OpenVideoSource(QVAHandle engine, const VideoMediaType* format, QVATengineReleaseFn callback,
                                     void* context);
QVAStatus QVATengine_OpenAudioSource(QVAHandle engine, const AudioMediaType* format, QVATengineReleaseFn callback,
                                     void* context);
// A non-zero targetWord asks for the engine's sink like a write callback does; reserved is not read.
QVAStatus QVATengine_OpenTarget(QVAHandle engine, const StreamMediaType* target, uint32_t targetWord,
                                QVATengineWriteFn writeCallback, void* writeContext, void* writeExtra,
                                uint32_t reserved);
QVAStatus QVATengine_OpenTargetFile(QVAHandle engine, const char* fileName, uint32_t mode,
                                    const StreamMediaType* target);
QVAStatus QVATengine_GetFormats(QVAHandle engine, StreamMediaType* outStream, AudioMediaType* outAudio,
                                VideoMediaType* outVideo);
// The file-source path (no caller of the system reaches it).
QVAStatus QVATengine_OpenSource(QVAHandle engine, const char* name, QVATengineReleaseFn callback, void* context,
                                uint32_t flags);
QVAStatus QVATengine_OpenSourceFile(QVAHandle engine, const void* name, uint32_t nameKind,
                                    const StreamMediaType* container, uint32_t flags);

// Formats and parameters pushed into the target's components (31 until a configuration is set).
QVAStatus tengine_ApplyVideoConfig(QVAHandle engine, ComponentInstance* scaler, uint32_t pin,
                                   ComponentInstance* encoder);
QVAStatus tengine_ApplyAudioConfig(QVAHandle engine, uint32_t pin, ComponentInstance* component);
QVAStatus tengine_ApplyMuxConfig(QVAHandle engine, ComponentInstance* mux);
QVAStatus tengine_ApplyDemuxConfig(QVAHandle engine, ComponentInstance* demux);
// "major/subtype" from the display tables; one name when the other code is 0; empty for both 0.
// out holds at least outSize characters.
QVAStatus tengine_MediaTypeName(uint32_t majorType, uint32_t subtype, char* out, uint32_t outSize);

// --- Run, delivery and tear-down ---
// traceWord is only traced; the reserved words are not read.
QVAStatus QVATengine_Run(QVAHandle engine, uint32_t traceWord);
QVAStatus QVATengine_DeliverVideo(QVAHandle engine, ComponentBuffer* buffer, uint32_t reserved,
                                  void* referenceHandle, uint32_t timeoutMs);
QVAStatus QVATengine_DeliverAudio(QVAHandle engine, ComponentBuffer* buffer, uint32_t reserved,
                                  void* reservedHandle, uint32_t timeoutMs);
// Waits for the graph's ends; a component of the graphs that reported an error since Run makes
// the answer that error (its output is incomplete, so the stream is).
QVAStatus QVATengine_Wait(QVAHandle engine, uint32_t traceWord, uint32_t timeoutMs);
QVAStatus QVATengine_Stop(QVAHandle engine, uint32_t traceWord);
QVAStatus QVATengine_Flush(QVAHandle engine, uint32_t flushParameter);
QVAStatus QVATengine_Disconnect(QVAHandle engine, uint32_t traceWord);
QVAStatus QVATengine_Release(QVAHandle engine);
QVAStatus QVATengine_Control(QVAHandle engine, uint32_t command, void* statisticsBlock);
QVAStatus QVATengine_StartWatchdog(QVAHandle engine, uint32_t pollMs, uint32_t idleLimitMs, uint32_t traceWord);
QVAStatus QVATengine_StopWatchdog(QVAHandle engine, uint32_t traceWord);

// --- Side roads ---
QVAStatus QVATengine_GetStatistics(QVAHandle engine, TengineStatistics* out);
QVAStatus QVATengine_GetTargetVideoFormat(QVAHandle engine, VideoMediaType* out, uint32_t size);
QVAStatus QVATengine_ReadOutput(QVAHandle engine, uint32_t timeoutMs, PinBufferConfig* outConfig,
                                ComponentBuffer** outBuffer);
QVAStatus QVATengine_ReleaseOutput(QVAHandle engine, ComponentBuffer* buffer);
QVAStatus tengine_StartStatistics(QVAHandle engine);
QVAStatus tengine_StopStatistics(QVAHandle engine);

// --- The sink and the pin callback (entry points handed to components) ---
extern "C" {
QVAStatus tengine_GetOutputBuffer(void* context, ComponentBuffer** outBuffer);
QVAStatus tengine_DeliverOutput(void* context, ComponentBuffer* buffer);
void tengine_OnInputReleased(ComponentInstance* component, ComponentBuffer* buffer, uint32_t pin, void* engine);
// The error callback of every component of the graphs (set at Run): keeps the first error.
void tengine_OnComponentError(ComponentInstance* component, QVAStatus status, uint32_t detail, void* engine);
}

// The configuration loader of the playback engine as far as the transcode engine reaches it:
// it reads files only for playback-engine handles (type 0x80001). 28 for any other handle, 3
// without a path.
QVAStatus QVAengine_LoadConfig(QVAHandle engine, const char* path);
