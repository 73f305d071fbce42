#pragma once
// Typed handles and the operating-system objects of the framework: threads with a stage
// protocol and a deferred priority, events, counted re-entrant locks, files, named shared
// memory and run-time loaded libraries. Every object is one block of the guarded allocator
// whose first 32-bit word is its type code; the object's data starts at handle + 16, so the
// pointers and 64-bit fields inside are aligned. Operations detect only a NULL handle (28);
// QVAGetTypedHandle alone checks the type word.
#include <cstdint>

#include "framework/qva_status.h"

using QVAHandle = void*;

inline constexpr uint32_t QVA_HANDLE_EVENT = 0x10001;
inline constexpr uint32_t QVA_HANDLE_LOCK = 0x10002;
inline constexpr uint32_t QVA_HANDLE_THREAD = 0x10003;
inline constexpr uint32_t QVA_HANDLE_FILE = 0x10004;
inline constexpr uint32_t QVA_HANDLE_SHAREDMEM = 0x10005;
inline constexpr uint32_t QVA_HANDLE_QUEUE = 0x20001;

// Offset of a handle's data from the handle.
inline constexpr uint32_t kQVAHandleDataOffset = 16;

inline constexpr uint32_t QVA_INFINITE = 0xFFFFFFFFu;  // time-out without limit

// --- Handles ---
// A new handle of type with size bytes of data: a copy of the template, zero-filled without
// one. nullptr when memory fails.
QVAHandle QVAAllocHandle(uint32_t type, const void* templateData, uint32_t size);
QVAHandle QVACreateHandle(uint32_t type, const void* templateData, uint32_t size);
// The data address and (when outType is given) the type word; nullptr for a NULL handle.
void* QVAHandleData(QVAHandle handle, uint32_t* outType);
void* QVAGetHandleData(QVAHandle handle, uint32_t* outType);
// The data address when the handle's type word equals type, else nullptr.
void* QVAGetTypedHandle(QVAHandle handle, uint32_t type);
// Frees the block when the handle is not NULL; 0.
QVAStatus QVAFreeHandleBlock(QVAHandle handle);
QVAStatus QVAReleaseHandle(QVAHandle handle);
// value when the handle is not NULL, else 0.
uintptr_t QVAHandleValue(QVAHandle handle, uintptr_t value);
QVAStatus QVAReturnZero();

// --- Threads ---
// Stages: 0 created, 2 running, 4 asked to stop, 255 ended.
inline constexpr uint32_t QVA_THREAD_CREATED = 0;
inline constexpr uint32_t QVA_THREAD_RUNNING = 2;
inline constexpr uint32_t QVA_THREAD_STOPPING = 4;
inline constexpr uint32_t QVA_THREAD_ENDED = 255;

// Called on the new thread with (thread handle, argument); the result is the exit code.
using QVAThreadFn = uint32_t (*)(QVAHandle thread, void* argument);

// A thread handle, not started; stackSize 0 for the default. nullptr when memory fails.
QVAHandle QVACreateThread(QVAThreadFn entry, void* argument, uint32_t stackSize);
// 0 after starting it; 42 while a run is under way; 1 when the system refuses (stage stays 0);
// 28. A thread that has ended (stage 255) is joined and started again.
QVAStatus QVAStartThread(QVAHandle thread);
// The procedure every thread runs: stage 2, the deferred priority, the entry, stage 255.
uint32_t QVAThreadEntry(QVAHandle thread);
uint32_t QVAThreadGetStage(QVAHandle thread);  // 255 for NULL
uint32_t QVAThreadSetStage(QVAHandle thread, uint32_t stage);  // 1, or 0 for NULL
// 0 once the stage is reached (checked every 100 ms), else 26.
QVAStatus QVAWaitThreadStage(QVAHandle thread, uint32_t stage, uint32_t timeoutMs);
// Win32 priority levels (-15, -2..2, 15) become per-thread nice values; applied at once on a
// running thread (0, or 1 when refused), else kept for the start. 28.
QVAStatus QVASetThreadPriority(QVAHandle thread, int32_t priority);
// With wait, asks a running thread to stop (stage 4) and waits until it ended; always joins
// the system thread before the handle is freed. 0, also for NULL.
QVAStatus QVADestroyThread(QVAHandle thread, uint32_t wait);

// --- Events ---
// nullptr when memory fails or the system refuses the event.
QVAHandle QVACreateEvent(uint32_t manualReset, uint32_t initiallySignalled, const char* name);
QVAHandle QVACreateEvent2(uint32_t reserved, uint32_t manualReset, uint32_t initiallySignalled, const char* name);
QVAStatus QVASetEvent(QVAHandle event);  // 0; 28
// 0 signalled; 26 timed out; 28. (No abandoned state exists, so never 27.)
QVAStatus QVAWaitEvent(QVAHandle event, uint32_t timeoutMs);
QVAStatus QVADestroyEvent(QVAHandle event);  // 0; 28

// --- Locks ---
// 0 with a new re-entrant lock; 4 with *outLock NULL when it cannot be made; 3 without outLock.
QVAStatus QVACreateLock(QVAHandle* outLock);
QVAStatus QVALock(QVAHandle lock);    // 0; 28
QVAStatus QVAUnlock(QVAHandle lock);  // 0; 28
uint32_t QVAGetLockCount(QVAHandle lock);  // enter count; 0x80000000 for NULL
QVAStatus QVADestroyLock(QVAHandle lock);  // 0; 28

// --- Files ---
QVAHandle QVAOpenFileRead(const char* name);       // an existing file; nullptr on failure
QVAHandle QVAOpenFileReadWrite(const char* name);  // an existing file
// With truncate an existing file is emptied; without, writes go to its end. A missing file is
// created either way.
QVAHandle QVAOpenFileWrite(const char* name, uint32_t truncate);
QVAStatus QVAReadFile(QVAHandle file, void* buffer, uint32_t count, uint32_t* bytesRead);  // 0; 9; 28
// Writes everything; 10 when the system fails (bytes written still reported); 2 for NULL.
QVAStatus QVAWriteFile(QVAHandle file, const void* data, uint32_t count, uint32_t* bytesWritten);
// 0; 9 when the position reached differs from the one asked for (all 64 bits); 28.
QVAStatus QVASeekFile(QVAHandle file, uint64_t position);
QVAStatus QVAGetFileSize(QVAHandle file, uint64_t* size);  // 0; 28
// Formats at most 512 characters and writes them; the write's status.
QVAStatus QVAFilePrintf(QVAHandle file, const char* format, ...) __attribute__((format(printf, 2, 3)));
QVAStatus QVACloseFile(QVAHandle file);  // 0; 28

// --- Shared memory, named "/" + QVAFormatHex(id) ---
QVAHandle QVACreateSharedMemory(uint32_t id, uint32_t size);
// Read and write, or read only when writing is refused; its size reads 0.
QVAHandle QVAOpenSharedMemory(uint32_t id);
void* QVASharedMemPointer(QVAHandle memory, uint32_t offset);  // nullptr for NULL
uint32_t QVASharedMemSize(QVAHandle memory);
uint32_t QVASharedMemId(QVAHandle memory);
QVAStatus QVACloseSharedMemory(QVAHandle memory);  // 0, also for NULL

// --- Libraries ---
void* QVALoadLibrary(const char* fileName);
void* QVAGetProcAddress(void* module, const char* name);
QVAStatus QVAFreeLibrary(void* module);  // 0, or 1 on failure
