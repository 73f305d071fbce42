#pragma once
// The guarded allocator and the framework's memory routines. Every library carries its own
// copy with its own counters and its own registry of live blocks: a block must be released by
// the library that allocated it; another library's copy answers 56 for it.
#include <cstddef>
#include <cstdint>

#include "framework/qva_status.h"

// Block layout around the address p that QVAMalloc returns (p is 16-byte aligned):
//   p - 8: u16 mark kQVABlockMark; p - 6: u16 offset of p - 8 from the heap block;
//   p - 4: u32 size asked for; p + size rounded up to 4: u32 trailer, "ALLC" or "FREE".
inline constexpr uint16_t kQVABlockMark = 0xA11D;
inline constexpr uint32_t kQVATrailerLive = 0x434C4C41;   // "ALLC" in memory order
inline constexpr uint32_t kQVATrailerFreed = 0x45455246;  // "FREE" in memory order

// QVACheckMem answers.
inline constexpr uint32_t QVA_MEM_LIVE = 0;
inline constexpr uint32_t QVA_MEM_RELEASED = 1;
inline constexpr uint32_t QVA_MEM_NOMARK = 2;
inline constexpr uint32_t QVA_MEM_DAMAGED = 3;

// 16-byte aligned block, data not cleared; nullptr when the heap refuses (or the size does not
// fit the block header's 32-bit size word).
void* QVAMalloc(size_t size);
// Looks the address up in this library's registry before reading any header: unknown addresses
// answer 2 and released ones 1 without being touched; a live block answers 0, or 3 when its
// trailer was overwritten.
uint32_t QVACheckMem(const void* block);
// 0 released; 57 already released; 56 not a live block of this library, or damaged (a damaged
// block stays allocated). Only live blocks are read.
QVAStatus QVAFree(void* block);

// The six library-wide counters (all start at 0).
struct QVAMemCounters {
  uint32_t liveBytes;
  uint32_t peakBytes;
  uint32_t allocations;
  uint32_t failures;
  uint32_t releases;
  uint32_t releaseErrors;
};
QVAMemCounters QVAGetMemCounters();

void QVAMemSet(void* destination, int value, size_t count);
// Copies forwards, byte after byte in effect, also when the regions overlap.
void QVAMemCpy(void* destination, const void* source, size_t count);
// With both addresses 16-byte aligned, streams 64-byte blocks past the cache (prefetching 320
// bytes ahead) and fences the stores before it returns; otherwise QVAMemCpy.
void QVAMemCpyFast(void* destination, const void* source, size_t count);
void QVAMemMove(void* destination, const void* source, size_t count);
// 0 when equal, 1 otherwise (no ordering).
uint32_t QVAMemCmp(const void* first, const void* second, size_t count);
// XOR of the whole little-endian 32-bit words of the data, aligned or not; a 1-3 byte tail
// does not count.
uint32_t QVAChecksum(const void* data, size_t length);
// Eight upper-case hexadecimal digits and a NUL; answer 8.
uint32_t QVAFormatHex(uint32_t value, char* out);
// The same text; the digit cap never shortens it.
uint32_t BufferQueue_FormatId(uint32_t value, char* out, uint32_t digitCap);
