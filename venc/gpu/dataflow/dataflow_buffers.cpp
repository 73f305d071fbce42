// CDataflow's buffers: common buffers shared by devices (the encoder's frame buffers), system
// buffers of one device, GPU-local buffers, and their CPU-device forms on the heap. Every
// allocation fills the record's shape first and refuses a format outside 0..7 before anything
// is made.
#include <cstdlib>

#include "venc/gpu/dataflow/dataflow_device.h"
#include "venc/gpu/dataflow/dataflow_log.h"
#include "venc/gpu/dataflow/dataflow_process_state.h"
#include "venc/gpu/dataflow/gcx_binding.h"

namespace orx::dataflow {
namespace {

constexpr uint32_t kRemoteResourceFlags = 2;

// Width, height, format and element size; false for a format outside 0..7.
bool FillShape(DataflowBuffer* buffer, uint32_t width, uint32_t height, uint32_t format) {
  buffer->width = width;
  buffer->height = height;
  buffer->format = format;
  buffer->reserved = 0;
  buffer->elementSize = static_cast<uint16_t>(GetDataflowElementSize(format));
  return buffer->elementSize != 0;
}

// A zeroed heap block of width x height elements with pitch = width (the CPU device's buffers).
bool AllocHeapBlock(DataflowBuffer* buffer) {
  buffer->pitch = buffer->width;
  buffer->resource = 0;
  buffer->memory = 0;
  buffer->cpuAddress = std::calloc(static_cast<size_t>(buffer->width) * buffer->height, buffer->elementSize);
  return buffer->cpuAddress != nullptr;
}

void FreeHeapBlock(DataflowBuffer* buffer) {
  std::free(buffer->cpuAddress);
  *buffer = DataflowBuffer{};
}

int32_t RowZeroMode() { return DataflowState().devices[0].mode; }

}  // namespace

int32_t CDataflow::AllocCommonBuffer(DataflowBuffer* buffer, uint32_t width, uint32_t height, uint32_t format,
                                     uint32_t deviceMask) {
  const int w = static_cast<int>(width), h = static_cast<int>(height), f = static_cast<int>(format);
  if (!FillShape(buffer, width, height, format)) {
    DataflowLogf("CDataflow::AllocCommonBuffer(%dx%d,%d) invalid format", w, h, f);
    return -1;
  }
  const int32_t mode = RowZeroMode();
  if (mode == kDataflowDeviceCpu) {
    if (!AllocHeapBlock(buffer)) {
      DataflowLogf("CDataflow::AllocCommonBuffer(%dx%d,%d) calloc failed", w, h, f);
      return -1;
    }
    return 0;
  }
  if (mode != kDataflowDeviceGcx) return 0;

  gcx::GcxDevice handles[kDataflowMaxDevices];
  uint32_t handleCount = 0;
  for (const DataflowDevice& device : DataflowState().devices) {
    if (device.index >= 0 && device.index < 32 && (deviceMask & (1u << device.index)) != 0)
      handles[handleCount++] = device.deviceHandle;
  }
  if (handleCount == 0) {
    DataflowLogf("CDataflow::AllocCommonBuffer(%dx%d,%d) iDevMask(0x%x) is not valid", w, h, f, deviceMask);
    return -1;
  }
  buffer->resource = 0;
  if (gcx::gcxResAllocRemote2D(&buffer->resource, handles, handleCount, width, height,
                               static_cast<uint32_t>(GetDataflowGcxFormat(format)), kRemoteResourceFlags) != 0) {
    DataflowLogf("CDataflow::AllocCommonBuffer(%dx%d,%d) gcxResAllocRemote2D() failed", w, h, f);
    return -1;
  }
  buffer->memory = 0;
  // One mapping for the buffer's life: the runtime keeps system memory in place.
  if (gcx::gcxResMap(&buffer->cpuAddress, &buffer->pitch, buffer->resource, 0) != 0) {
    DataflowLogf("CDataflow::AllocCommonBuffer(%dx%d,%d) gcxResMap() failed", w, h, f);
    return -1;
  }
  if (gcx::gcxResUnmap(buffer->resource) != 0) {
    DataflowLogf("CDataflow::AllocCommonBuffer(%dx%d,%d) gcxResUnmap() failed", w, h, f);
    return -1;
  }
  return 0;
}

int32_t CDataflow::FreeCommonBuffer(DataflowBuffer* buffer) {
  const int32_t mode = RowZeroMode();
  if (mode == kDataflowDeviceCpu) {
    FreeHeapBlock(buffer);
    return 0;
  }
  if (mode != kDataflowDeviceGcx) return 0;
  if (gcx::gcxResFree(buffer->resource) != 0) {
    DataflowLog("CDataflow::FreeCommonBuffer() gcxResFree() failed");
    return -1;
  }
  buffer->resource = 0;
  return 0;
}

int32_t CDataflow::UseCommonBuffer(DataflowBuffer* buffer) {
  if (!IsGpuObject()) return 0;
  const int w = static_cast<int>(buffer->width), h = static_cast<int>(buffer->height),
            f = static_cast<int>(buffer->format);
  if (gcx::gcxCtxGetMem(&buffer->memory, context_, buffer->resource) != 0) {
    LogError("CDataflow::UseCommonBuffer(%dx%d,%d) gcxCtxGetMem() failed", w, h, f);
    return -1;
  }
  if (gcx::gcxResMap(&buffer->cpuAddress, &buffer->pitch, buffer->resource, 0) != 0) {
    LogError("CDataflow::UseCommonBuffer(%dx%d,%d) gcxResMap() failed", w, h, f);
    return -1;
  }
  if (gcx::gcxResUnmap(buffer->resource) != 0) {
    LogError("CDataflow::UseCommonBuffer(%dx%d,%d) gcxResUnmap() failed", w, h, f);
    return -1;
  }
  return 0;
}

int32_t CDataflow::UnuseCommonBuffer(DataflowBuffer* buffer) {
  if (!IsGpuObject()) return 0;
  if (gcx::gcxCtxReleaseMem(context_, buffer->memory) != 0) {
    LogError("CDataflow::UnuseCommonBuffer() gcxCtxReleaseMem() failed");
    return -1;
  }
  buffer->memory = 0;
  return 0;
}

int32_t CDataflow::BeginObjectBuffer(const char* operation, DataflowBuffer* buffer, uint32_t width, uint32_t height,
                                     uint32_t format) {
  const int w = static_cast<int>(width), h = static_cast<int>(height), f = static_cast<int>(format);
  if (!FillShape(buffer, width, height, format)) {
    LogError("CDataflow::%s(%dx%d,%d) invalid format", operation, w, h, f);
    return -1;
  }
  if (IsGpuObject()) {
    buffer->resource = 0;
    buffer->memory = 0;
    return kBufferOnGpu;
  }
  if (AllocHeapBlock(buffer)) return 0;
  LogError("CDataflow::%s(%dx%d,%d) calloc failed", operation, w, h, f);
  return -1;
}

int32_t CDataflow::AllocSysBuffer(DataflowBuffer* buffer, uint32_t width, uint32_t height, uint32_t format) {
  if (int32_t begun = BeginObjectBuffer("AllocSysBuffer", buffer, width, height, format); begun != kBufferOnGpu)
    return begun;
  const int w = static_cast<int>(width), h = static_cast<int>(height), f = static_cast<int>(format);
  const gcx::GcxDevice device = DataflowState().devices[row_].deviceHandle;
  if (gcx::gcxResAllocRemote2D(&buffer->resource, &device, 1, width, height,
                               static_cast<uint32_t>(GetDataflowGcxFormat(format)), kRemoteResourceFlags) != 0) {
    LogError("CDataflow::AllocSysBuffer(%dx%d,%d) gcxResAllocRemote2D() failed", w, h, f);
    return -1;
  }
  return UseCommonBuffer(buffer);
}

int32_t CDataflow::AllocGpuBuffer(DataflowBuffer* buffer, uint32_t width, uint32_t height, uint32_t format) {
  if (int32_t begun = BeginObjectBuffer("AllocGpuBuffer", buffer, width, height, format); begun != kBufferOnGpu)
    return begun;
  const int w = static_cast<int>(width), h = static_cast<int>(height), f = static_cast<int>(format);
  const gcx::GcxDevice device = DataflowState().devices[row_].deviceHandle;
  if (gcx::gcxResAllocLocal2D(&buffer->resource, device, width, height,
                              static_cast<uint32_t>(GetDataflowGcxFormat(format)), 0) != 0) {
    LogError("CDataflow::AllocGpuBuffer(%dx%d,%d) gcxResAllocLocal2D() failed", w, h, f);
    return -1;
  }
  if (gcx::gcxCtxGetMem(&buffer->memory, context_, buffer->resource) != 0) {
    LogError("CDataflow::AllocGpuBuffer(%dx%d,%d) gcxCtxGetMem() failed", w, h, f);
    return -1;
  }
  // GPU-local memory is never read by the CPU.
  buffer->pitch = 0;
  buffer->cpuAddress = nullptr;
  return 0;
}

int32_t CDataflow::FreeBuffer(DataflowBuffer* buffer) {
  if (!IsGpuObject()) {
    FreeHeapBlock(buffer);
    return 0;
  }
  // The resource goes even when its binding could not be released: nothing else would free it.
  int32_t result = UnuseCommonBuffer(buffer);
  if (gcx::gcxResFree(buffer->resource) != 0) {
    LogError("CDataflow::FreeBuffer() gcxResFree() failed");
    return -1;
  }
  buffer->resource = 0;
  return result;
}

}  // namespace orx::dataflow
