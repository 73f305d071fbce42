#pragma once
// The framework's operations on libraries, instances, pins, states, input, parameters,
// statistics, progress and output (the CompBase_* routines), and the three hooks every component
// library defines. Included through framework/qva_component.h.
#include <atomic>
#include <cstdint>

#include "framework/qva_component.h"

// --- The hooks: each component library defines exactly one of each (hidden, bound at link time).
// Answers 24 unless the state is NONE; otherwise makes the component's processing objects and
// runs CompBase_Init.
QVAStatus CompCreateHook(ComponentInstance* instance);
// Processes one buffer (NULL for a round without one). Results: 0 done; 19 pause 50 ms; 30 no
// output this round; any other stops the worker through the error path (41 included).
QVAStatus CompProcessHook(ComponentInstance* instance, ComponentBuffer* buffer);
// Releases the processing objects and runs CompBase_Deinit.
QVAStatus CompDestroyHook(ComponentInstance* instance);

extern "C" {

// --- Library and instances ---
QVAStatus CompBase_LibInit(const ComponentInfo* table, uint32_t count);
uint32_t CompBase_LibIsInit(uint32_t* outLiveCount);  // 1 when initialised
QVAStatus CompBase_LibRelease();
uint32_t CompBase_LibGetCount();
// Copies the first 112 bytes of descriptor index; 3 for a bad index or no record.
QVAStatus CompBase_GetInfo(uint32_t index, void* outRecord);
// id NULL takes the first descriptor; 7 when none matches; 22 at the instance limit; 4 when
// memory or the instance's locks cannot be had.
QVAStatus CompBase_Create(const uint8_t* componentId, uint32_t privateSize, ComponentInstance** outInstance);
QVAStatus CompBase_CreateInstance(const ComponentInfo* descriptor, uint32_t privateSize, ComponentInstance** outInstance);
// 28 for a block that is not a live instance.
QVAStatus CompBase_Release(ComponentInstance* instance);
// The live instance created with that index (NULL once released).
ComponentInstance* CompBase_GetInstance(uint32_t index);
uint32_t CompBase_GetIndex(ComponentInstance* instance);
// The short name of the descriptor of the instance created last; names queues and managers.
const char* CompBase_GetLibraryName();

// --- Pins ---
QVAStatus CompBase_GetInputPin(ComponentInstance* instance, uint32_t pin, QVAGetEmptyBufferFn* outGet,
                               QVADeliverBufferFn* outDeliver, uint32_t bufferSize, uint32_t bufferCount);
QVAStatus CompBase_ConnectOutput(ComponentInstance* instance, uint32_t pin, QVAGetEmptyBufferFn get,
                                 QVADeliverBufferFn deliver, void* context);
uint32_t CompBase_IsPinConnected(ComponentInstance* instance, uint32_t direction, uint32_t pin);
QVAHandle CompBase_GetInputQueue(ComponentInstance* instance, uint32_t pin);
QVAStatus CompBase_SetPinCallback(ComponentInstance* instance, uint32_t direction, uint32_t pin,
                                  QVAPinCallbackFn callback, void* user);
QVAStatus CompBase_SetupInputPin(ComponentInstance* instance, uint32_t pin, QVAGetEmptyBufferFn get,
                                 QVADeliverBufferFn deliver, uint32_t bufferSize, uint32_t bufferCount);
QVAStatus CompBase_SetupOutputPin(ComponentInstance* instance, uint32_t pin, QVAGetEmptyBufferFn get,
                                  QVADeliverBufferFn deliver, void* context, uint32_t bufferSize, uint32_t bufferCount);
// Method slot 12 of every shipped component: 2.
QVAStatus CompBase_Unsupported(ComponentInstance* instance, ComponentInstance* upstream, uintptr_t reserved,
                               uint32_t pin, uintptr_t reserved2);

// --- States, commands and the worker ---
uint32_t CompBase_IsState(ComponentInstance* instance, uint32_t mask);
QVAStatus CompBase_GetState(ComponentInstance* instance, uint32_t* outState);
uint32_t CompBase_GetStateWord(ComponentInstance* instance);
// 1 once the state test is true, 0 when the time runs out (polls every 30 ms).
uint32_t CompBase_WaitForState(ComponentInstance* instance, uint32_t mask, uint32_t timeoutMs);
uint32_t CompBase_IsRunning(ComponentInstance* instance);
void CompBase_AttachThread(ComponentInstance* instance, QVAHandle thread);
void CompBase_SetState(ComponentInstance* instance, uint32_t state);
uint32_t CompBase_ChangeState(ComponentInstance* instance, uint32_t fromMask, uint32_t state);
void CompBase_SetStreamStart(ComponentInstance* instance, uint32_t value);
uint32_t CompBase_GetStreamStart(ComponentInstance* instance);
void CompBase_SetEOS(ComponentInstance* instance, uint32_t value);
uint32_t CompBase_GetEOS(ComponentInstance* instance);
void CompBase_SetEOI(ComponentInstance* instance, uint32_t value);
uint32_t CompBase_GetEOI(ComponentInstance* instance);
void CompBase_SetInputEnd(ComponentInstance* instance, uint32_t value);
uint32_t CompBase_GetInputEnd(ComponentInstance* instance);
void CompBase_SetFlushRequest(ComponentInstance* instance, uint32_t value);
uint32_t CompBase_IsFlushRequest(ComponentInstance* instance, uint32_t mask);
QVAStatus CompBase_UpdateFlushRequest(ComponentInstance* instance, uint32_t mask, uint32_t value);
void CompBase_LockProcessing(ComponentInstance* instance);
void CompBase_UnlockProcessing(ComponentInstance* instance);
QVAStatus CompBase_Init(ComponentInstance* instance);
QVAStatus CompBase_Deinit(ComponentInstance* instance);
QVAStatus CompBase_StartThread(ComponentInstance* instance, QVAThreadFn worker, uintptr_t reserved);
QVAStatus CompBase_StopThread(ComponentInstance* instance, uint32_t timeoutMs);
QVAStatus CompBase_SetPriority(ComponentInstance* instance, int32_t priority);
QVAStatus CompBase_SendCommand(ComponentInstance* instance, uint32_t command, uintptr_t param1, uintptr_t param2,
                               uintptr_t param3, uintptr_t param4, uint32_t timeoutMs);

// --- Input delivery ---
// The default entry points of input pins 0 and 1 (context: the instance, NULL for the
// library's first live instance).
QVAStatus CompBase_GetEmptyInput(ComponentInstance* instance, uint32_t pin, ComponentBuffer** outBuffer);
QVAStatus CompBase_GetEmptyInput0(void* context, ComponentBuffer** outBuffer);
QVAStatus CompBase_GetEmptyInput1(void* context, ComponentBuffer** outBuffer);
QVAStatus CompBase_DeliverInput(ComponentInstance* instance, uint32_t pin, ComponentBuffer* buffer);
QVAStatus CompBase_DeliverInput0(void* context, ComponentBuffer* buffer);
QVAStatus CompBase_DeliverInput1(void* context, ComponentBuffer* buffer);
QVAStatus CompBase_TakeInput(ComponentInstance* instance, uint32_t pin, ComponentBuffer** outBuffer, uint32_t timeoutMs);
QVAStatus CompBase_ReturnInput(ComponentInstance* instance, uint32_t pin, ComponentBuffer* buffer);
// direction 0 input, 1 output; pin 0xFFFFFFFF for all.
QVAStatus CompBase_FlushQueues(ComponentInstance* instance, uint32_t direction, uint32_t pin, uint32_t reserved);
QVAStatus CompBase_CloseInputs(ComponentInstance* instance, uint32_t direction, uint32_t pin, uint32_t close,
                               uint32_t wait);
ComponentInstance* CompBase_SetInputMode(ComponentInstance* instance, uint32_t mode);
QVAStatus CompBase_GetInputBuffer(ComponentInstance* instance, uint32_t pin, ComponentBuffer** outBuffer,
                                  uint32_t timeoutMs);
QVAStatus CompBase_ReleaseBuffer(ComponentInstance* instance, uint32_t pin, ComponentBuffer* buffer);
QVAStatus CompBase_PushInput(ComponentInstance* instance, uint32_t pin, ComponentBuffer* buffer, uint32_t timeoutMs,
                             uint32_t* outBytesTaken);

// --- Parameters, statistics and progress ---
QVAStatus CompBase_GetParam(ComponentInstance* instance, uint32_t id, void* data, uint32_t size);
QVAStatus CompBase_SetParam(ComponentInstance* instance, uint32_t id, void* data, uint32_t size);
QVAStatus CompBase_SetErrorCallback(ComponentInstance* instance, QVAErrorCallbackFn callback, void* user);
QVAStatus CompBase_SetEventCallback(ComponentInstance* instance, QVAEventCallbackFn callback, uint32_t eventMask,
                                    void* user);
void CompBase_ReportError(ComponentInstance* instance, QVAStatus status, uint32_t detail);
QVAStatus CompBase_ResetStatistics(ComponentInstance* instance);
QVAStatus CompBase_StartStatistics(ComponentInstance* instance, uint32_t reserved);
QVAStatus CompBase_SnapshotStatistics(ComponentInstance* instance);
QVAStatus CompBase_PauseStatistics(ComponentInstance* instance);
QVAStatus CompBase_StopStatistics(ComponentInstance* instance);
// Flags of CompBase_CountFrame; value is the progress kind a finished or skipped frame sets.
inline constexpr uint32_t QVA_COUNT_INPUT = 0x1;       // a frame came in
inline constexpr uint32_t QVA_COUNT_START = 0x2;       // a frame's processing starts (timed)
inline constexpr uint32_t QVA_COUNT_FINISHED = 0x4;    // a frame's processing ends
inline constexpr uint32_t QVA_COUNT_RENDERED = 0x8;    // a frame went out
inline constexpr uint32_t QVA_COUNT_SKIPPED = 0x10;
inline constexpr uint32_t QVA_COUNT_NEW_STREAM = 0x1000;  // ends a running stream, starts a new one
inline constexpr uint32_t QVA_COUNT_STREAM_ENDS = 0x2000;
inline constexpr uint32_t QVA_COUNT_DONE = QVA_COUNT_FINISHED | QVA_COUNT_RENDERED;  // 12
void CompBase_CountFrame(ComponentInstance* instance, uint32_t pin, uint32_t value, uint32_t flags);
void CompBase_CountOutput(ComponentInstance* instance, uint32_t bytes, uint32_t bytes2);
void CompBase_SetTimestamp(ComponentInstance* instance, uint32_t pin, uint32_t low, uint32_t high);
QVAStatus CompBase_GetTimestamp(ComponentInstance* instance, uint32_t pin, uint64_t* outTimestamp);
QVAStatus CompBase_SendProgress(ComponentInstance* instance, uint32_t outputPin);
void CompBase_SetProgressPending(ComponentInstance* instance, uint32_t value);
// With a non-zero value, a format record that arrives while the output stream runs is handed to
// the process hook without counting a new stream, so the stream is not ended downstream: for a
// component whose output goes on unchanged when its input format changes (MULTIVENC, whose
// instances keep their sequence when only the source's pixel layout changes).
void CompBase_SetFormatKeepsStream(ComponentInstance* instance, uint32_t value);
uint32_t CompBase_GetProgressPending(ComponentInstance* instance);
std::atomic<uint32_t>* CompBase_GetLogSettings(ComponentInstance* instance);
void CompBase_SendStreamEvent(ComponentInstance* instance, uint32_t flags);
void CompBase_SendBufferEvent(ComponentInstance* instance);
void CompBase_SendBufferLevel(ComponentInstance* instance, uint32_t slotCount, uint32_t slotSize, uint32_t slotsInUse,
                              uint32_t bytesUsed);
// The state callback of input queues; context is the instance.
void CompBase_OnQueueState(QVAHandle queue, uint32_t waitState, void* context);

// --- Processing loop and output ---
// The worker: the thread-entry form, argument the instance.
uint32_t ProcessBuf(QVAHandle thread, void* instance);
void CompBase_UpdateProgress(ComponentInstance* instance);
QVAStatus CompBase_GetEmptyOutput(ComponentInstance* instance, uint32_t pin, ComponentBuffer** outBuffer);
QVAStatus CompBase_DeliverOutput(ComponentInstance* instance, uint32_t pin, ComponentBuffer* buffer);
// extraFlags 0 or QVA_BUFFLAG_EOI.
QVAStatus CompBase_SendEndMarker(ComponentInstance* instance, uint32_t pin, uint32_t extraFlags);
QVAStatus CompBase_SendFormatChange(ComponentInstance* instance, uint32_t pin);
// The default entry points of an output pin without a peer (context: the instance).
QVAStatus CompBase_GetFreeOutputSlot(void* context, ComponentBuffer** outBuffer);
QVAStatus CompBase_QueueOutput(void* context, ComponentBuffer* buffer);
QVAStatus CompBase_PullOutput(ComponentInstance* instance, uint32_t pin, ComponentBuffer** buffer, uint32_t timeoutMs);

}  // extern "C"
