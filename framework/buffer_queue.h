#pragma once
// The per-pin queue of fixed-size, 16-byte aligned slots with one lock and two auto-reset events
// (a slot freed, a slot filled). The upstream side fills free slots and commits them full; the
// downstream worker takes full slots and commits them free. The queue also copies foreign
// records in (splitting them over slots) and copies queued data out (joining slots of a unit).
// It is built for one producer thread and one consumer thread at a time.
//
// A slot that a producer or consumer holds (acquired, not yet committed) is never freed or
// reused under it: a flush or a resize leaves it (and its memory) alone until the holder
// commits it; that commit is accepted, counted and reported to the free callback once.
#include <cstdint>

#include "framework/component_buffer.h"
#include "framework/qva_os.h"

struct ComponentInstance;

extern "C" {
// Buffer callback of a pin's queue: called for each full commit of a producer's slot, each free
// commit and each flushed slot, and in input mode 3 after a push; so not only for lent records.
// A callback that releases lent frames acts only on records carrying QVA_BUFFLAG_INPLACE and
// reads the reference handle only with QVA_BUFFLAG_REFHANDLE. A lent record reaches the free
// callback exactly once, after its consumer committed it. Runs with the queue's lock held, so it
// must not wait for another thread that uses the queue.
typedef void (*QVAPinCallbackFn)(ComponentInstance* instance, ComponentBuffer* buffer, uint32_t pin, void* user);
}

// Slot states, also the modes of BufferQueue_Acquire and BufferQueue_Commit.
inline constexpr uint32_t QVA_SLOT_WRITING = 1;
inline constexpr uint32_t QVA_SLOT_FULL = 2;
inline constexpr uint32_t QVA_SLOT_READING = 3;
inline constexpr uint32_t QVA_SLOT_FREE = 4;

// Direction flags of BufferQueue_SetName.
inline constexpr uint32_t QVA_QUEUE_INPUT = 2;
inline constexpr uint32_t QVA_QUEUE_OUTPUT = 4;

// Flags of BufferQueue_SetLimit.
inline constexpr uint32_t QVA_QUEUE_LIMIT_ONE = 0x1;
inline constexpr uint32_t QVA_QUEUE_LIMIT_NONE = 0x2;
inline constexpr uint32_t QVA_QUEUE_LIMIT_COUNT = 0x100;

// Called (queue, new wait state, context) when the queue's wait state switches: 4 when a taker
// of full slots has to wait, 2 when a taker of free slots has to wait.
typedef void (*BufferQueueStateFn)(QVAHandle queue, uint32_t waitState, void* context);

// 0; 3 without outQueue; 1 when the queue record cannot be allocated; 4 when the slots cannot.
QVAStatus BufferQueue_Create(uint32_t slotSize, uint32_t slotCount, QVAHandle* outQueue);
// "i:" (direction 2) and/or "o:" (direction 4) and the name, at most 31 characters.
QVAStatus BufferQueue_SetName(QVAHandle queue, const char* name, uint32_t direction);
QVAStatus BufferQueue_SetLimit(QVAHandle queue, uint32_t flags, uint32_t reserved, uint32_t count,
                               uint32_t reserved2);
QVAStatus BufferQueue_SetStateCallback(QVAHandle queue, BufferQueueStateFn callback, void* context);
QVAStatus BufferQueue_SetBufferCallback(QVAHandle queue, QVAPinCallbackFn callback, ComponentInstance* instance,
                                        uint32_t pin, void* user);
// Refuses further acquisitions and wakes every waiter; with wait, first waits (polling every
// 50 ms) until no slot is held: then 22.
QVAStatus BufferQueue_Close(QVAHandle queue, uint32_t wait);
QVAStatus BufferQueue_Open(QVAHandle queue);
// Frees every full slot (reporting each to the free callback); held slots stay with their holder.
QVAStatus BufferQueue_Flush(QVAHandle queue);
QVAStatus BufferQueue_GetStatus(QVAHandle queue, uint32_t* slotCount, uint32_t* slotSize, uint32_t* slotsInUse,
                                uint32_t* bytesQueued);
uint32_t BufferQueue_IsOwnBuffer(QVAHandle queue, const ComponentBuffer* buffer);
// mode QVA_SLOT_FULL takes the next full slot (waiting up to the time-out: 6 when none came);
// mode QVA_SLOT_FREE hands out the free slot at the write position (time-out 0: 6 at once;
// any other time-out waits until a slot is freed or the queue closes). 24 when closed.
QVAStatus BufferQueue_Acquire(QVAHandle queue, uint32_t mode, ComponentBuffer** outBuffer, uint32_t timeoutMs);
// The next full slot without taking it; 6 when closed or none with time-out 0, 26 after a wait.
QVAStatus BufferQueue_Peek(QVAHandle queue, ComponentBuffer** outBuffer, uint32_t timeoutMs);
// mode QVA_SLOT_FULL: a slot being written becomes full, or a foreign record (0x4) is placed in
// the free slot at the write position; any other mode frees a taken slot. 26 when no slot fits.
QVAStatus BufferQueue_Commit(QVAHandle queue, uint32_t mode, ComponentBuffer* buffer, uint32_t timeoutMs);
// BufferQueue_IsOwnBuffer and, for an own slot, BufferQueue_Commit with QVA_SLOT_FULL, under one
// taking of the lock; *outOwn says which it was (nothing is done with a buffer not its own).
QVAStatus BufferQueue_CommitOwn(QVAHandle queue, ComponentBuffer* buffer, uint32_t* outOwn);
// Commits a record lent by reference (0x8) or one of the queue's own slots unchanged, else copies
// the record's data into free slots, splitting it as needed.
QVAStatus BufferQueue_Write(QVAHandle queue, ComponentBuffer* buffer, uint32_t timeoutMs, uint32_t* outBytesQueued);
// Copies queued data into the caller's record (data and capacity set), joining the slots of one
// unit, or taking part of a slot that does not fit.
QVAStatus BufferQueue_Read(QVAHandle queue, ComponentBuffer* buffer, uint32_t timeoutMs);
// New slot size and count. Full slots move into the new slots in order and held slots stay with
// their holders; 22 when the queued records do not fit the new slots, 4 when memory fails (the
// queue is then unchanged).
QVAStatus BufferQueue_Resize(QVAHandle queue, uint32_t slotSize, uint32_t slotCount);
QVAStatus BufferQueue_Destroy(QVAHandle queue, uint32_t wait);
