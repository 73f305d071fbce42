#include "venc/gpu/dataflow/dataflow_buffer.h"

namespace orx::dataflow {
namespace {

struct FormatRow {
  uint32_t elementSize;
  int32_t gcxFormat;
};

// Indexed by the dataflow format code.
constexpr FormatRow kFormats[kDataflowFormatCount] = {
    {1, 0}, {4, 2}, {2, 3}, {8, 5}, {2, 8}, {8, 10}, {4, 11}, {16, 13},
};

}  // namespace

uint32_t GetDataflowElementSize(uint32_t format) {
  return format < kDataflowFormatCount ? kFormats[format].elementSize : 0;
}

int32_t GetDataflowGcxFormat(uint32_t format) {
  return format < kDataflowFormatCount ? kFormats[format].gcxFormat : -1;
}

}  // namespace orx::dataflow
