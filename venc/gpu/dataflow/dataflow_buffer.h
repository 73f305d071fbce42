#pragma once
// The buffer record of the dataflow path and its eight element formats. Frame buffers, search
// buffers and kernel constant buffers are all such records; they are copied by value between
// the frame-buffer interface and the motion search.
#include <cstdint>

#include "platform/gcx/gcx_api.h"

namespace orx::dataflow {

// Dataflow element formats (the u32 code in every buffer).
enum DataflowFormat : uint32_t {
  kDataflowU8x1 = 0,    // one 8-bit component
  kDataflowU8x4 = 1,    // four 8-bit components
  kDataflowU16x1 = 2,   // one 16-bit component
  kDataflowU16x4 = 3,   // four 16-bit components
  kDataflowS16x1 = 4,   // one 16-bit component, another GCX format than 2
  kDataflowS16x4 = 5,   // four 16-bit components, another GCX format than 3
  kDataflowF32x1 = 6,   // one 32-bit float
  kDataflowF32x4 = 7,   // four 32-bit floats
  kDataflowFormatCount = 8,
};

// Bytes per element of a format; 0 outside 0..7.
uint32_t GetDataflowElementSize(uint32_t format);
// The GCX format code of a format; -1 outside 0..7.
int32_t GetDataflowGcxFormat(uint32_t format);

struct DataflowBuffer {
  uint32_t width;        // elements per row
  uint32_t height;       // rows
  uint32_t format;       // DataflowFormat
  uint32_t pitch;        // elements from one row to the next in CPU memory (0 for GPU-local buffers)
  uint16_t reserved;     // always 0
  uint16_t elementSize;  // bytes per element, from the format
  gcx::GcxResource resource;  // 0 when none
  gcx::GcxMemory memory;      // the resource bound into one context; 0 when not bound
  void* cpuAddress;           // row 0 in CPU memory; null for GPU-local buffers
};

}  // namespace orx::dataflow
