#pragma once
// The buffer record that pins exchange, and its flags. On x86-64 the record keeps its field
// order with a pointer for the data and a pointer-sized "bytes read" word, which with
// QVA_BUFFLAG_REFHANDLE carries the sender's reference handle (a host pointer) and with
// QVA_BUFFLAG_SEEKHIGH the high word of a seek offset; 56 bytes instead of 44.
#include <cstddef>
#include <cstdint>

// --- Flags the framework and its queues set or test ---
inline constexpr uint32_t QVA_BUFFLAG_UNITEND = 0x1;     // last piece of a unit split over slots
inline constexpr uint32_t QVA_BUFFLAG_EXTERNAL = 0x4;    // not one of the receiving queue's slots
inline constexpr uint32_t QVA_BUFFLAG_INPLACE = 0x8;     // data lent by reference: the record is queued, not copied
inline constexpr uint32_t QVA_BUFFLAG_ENDTIME = 0x20;    // an end marker carries the last presentation time
inline constexpr uint32_t QVA_BUFFLAG_PARTIAL = 0x100;   // a read has taken part of this slot
inline constexpr uint32_t QVA_BUFFLAG_EOI = 0x4000;      // end of input
inline constexpr uint32_t QVA_BUFFLAG_EOS = 0x10000;     // end of stream
inline constexpr uint32_t QVA_BUFFLAG_STREAMSTART = 0x20000;  // a new stream begins with this buffer
inline constexpr uint32_t QVA_BUFFLAG_FORMAT = 0x40000;  // the data is a media type record
inline constexpr uint32_t QVA_BUFFLAG_FLUSH = 0x80000;   // the video encoder flushes its output queues
inline constexpr uint32_t QVA_BUFFLAG_VIDEO = 0x100000;
inline constexpr uint32_t QVA_BUFFLAG_AUDIO = 0x200000;
inline constexpr uint32_t QVA_BUFFLAG_TIMESTAMP = 0x1000000;
inline constexpr uint32_t QVA_BUFFLAG_KEEP = 0x4000000;  // set by a process hook that keeps the buffer
inline constexpr uint32_t QVA_BUFFLAG_SEQUENCE = 0x10000000;  // the sequence field is valid

// --- Component-defined bits the framework carries without interpreting ---
inline constexpr uint32_t QVA_BUFFLAG_REFHANDLE = 0x2;   // bytesRead holds the sender's reference handle
inline constexpr uint32_t QVA_BUFFLAG_SYNCPOINT = 0x10;  // a key or sync sample
// The component word is given (the video encoder takes it as the picture's time word); a split
// write carries the word into every piece.
inline constexpr uint32_t QVA_BUFFLAG_COMPONENTWORD = 0x40;
inline constexpr uint32_t QVA_BUFFLAG_SEEK = 0x200;      // seek request: offset low word in unitTag
inline constexpr uint32_t QVA_BUFFLAG_SEEKHIGH = 0x400;  // the seek offset's high word is in bytesRead
inline constexpr uint32_t QVA_BUFFLAG_FORCEKEYFRAME = 0x1000;  // the video encoder codes this picture as a key
inline constexpr uint32_t QVA_BUFFLAG_RESUME = 0x2000;   // pass-through marker: clears an input's ended state
inline constexpr uint32_t QVA_BUFFLAG_BATCHSTART = 0x8000;  // pass-through marker: first frame of a batch
// A further request to the queue's split write to carry the component word into every piece.
inline constexpr uint32_t QVA_BUFFLAG_COPYCOMPONENTWORD = 0x20000000;
// A further sequence-copy request of the queue's split write (with QVA_BUFFLAG_SEQUENCE).
inline constexpr uint32_t QVA_BUFFLAG_COPYSEQUENCE = 0x40000000;

// Flag words of the records the framework builds.
inline constexpr uint32_t QVA_BUFFLAG_FORMAT_VIDEO = QVA_BUFFLAG_FORMAT | QVA_BUFFLAG_VIDEO;  // 0x140000
inline constexpr uint32_t QVA_BUFFLAG_FORMAT_AUDIO = QVA_BUFFLAG_FORMAT | QVA_BUFFLAG_AUDIO;  // 0x240000
inline constexpr uint32_t QVA_MARKER_EOS = QVA_BUFFLAG_EOS | QVA_BUFFLAG_EXTERNAL;          // 0x10004
inline constexpr uint32_t QVA_MARKER_EOI = QVA_MARKER_EOS | QVA_BUFFLAG_EOI;               // 0x14004
inline constexpr uint32_t QVA_FORMATRECORD_VIDEO = QVA_BUFFLAG_FORMAT_VIDEO | QVA_BUFFLAG_EXTERNAL;  // 0x140004
inline constexpr uint32_t QVA_FORMATRECORD_AUDIO = QVA_BUFFLAG_FORMAT_AUDIO | QVA_BUFFLAG_EXTERNAL;  // 0x240004
inline constexpr uint32_t QVA_FORMATRECORD_OTHER = QVA_BUFFLAG_FORMAT | QVA_BUFFLAG_EXTERNAL;       // 0x40004

struct ComponentBuffer {
  uint32_t flags;          // QVA_BUFFLAG_*
  uint32_t frameworkMark;  // 1 in every record the framework builds; carried along, not read
  uint64_t timestamp;      // ms, valid with QVA_BUFFLAG_TIMESTAMP
  uint8_t* data;
  uint32_t capacity;       // bytes available at data
  uint32_t length;         // bytes of data
  uint32_t unitTag;        // tag the queue matches when joining slots; seek offset low word
  uintptr_t bytesRead;     // bytes taken by a partial delivery or read; see the accessors
  uint32_t sequence;       // queue sequence number, valid with QVA_BUFFLAG_SEQUENCE
  uint32_t componentWord;  // component-defined (the video encoder's time word), carried along

  // The sender's reference handle of a record lent by reference (valid with 0x2).
  void* ReferenceHandle() const { return reinterpret_cast<void*>(bytesRead); }
  void SetReferenceHandle(void* handle) {
    bytesRead = reinterpret_cast<uintptr_t>(handle);
    flags |= QVA_BUFFLAG_REFHANDLE;
  }
  // The 64-bit offset of a seek request: low word in unitTag, high word in bytesRead with 0x400.
  uint64_t SeekOffset() const {
    uint64_t high = (flags & QVA_BUFFLAG_SEEKHIGH) ? static_cast<uint32_t>(bytesRead) : 0;
    return (high << 32) | unitTag;
  }
  void SetSeekOffset(uint64_t offset) {
    unitTag = static_cast<uint32_t>(offset);
    bytesRead = static_cast<uint32_t>(offset >> 32);
    flags |= QVA_BUFFLAG_SEEK | QVA_BUFFLAG_SEEKHIGH;
  }
};
static_assert(sizeof(ComponentBuffer) == 56);
static_assert(offsetof(ComponentBuffer, flags) == 0);
static_assert(offsetof(ComponentBuffer, frameworkMark) == 4);
static_assert(offsetof(ComponentBuffer, timestamp) == 8);
static_assert(offsetof(ComponentBuffer, data) == 16);
static_assert(offsetof(ComponentBuffer, capacity) == 24);
static_assert(offsetof(ComponentBuffer, length) == 28);
static_assert(offsetof(ComponentBuffer, unitTag) == 32);
static_assert(offsetof(ComponentBuffer, bytesRead) == 40);
static_assert(offsetof(ComponentBuffer, sequence) == 48);
static_assert(offsetof(ComponentBuffer, componentWord) == 52);
