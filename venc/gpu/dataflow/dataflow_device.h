#pragma once
// CDataflow: the device and memory layer of the dataflow path. A process-wide table of up to 8
// devices (mode 1: GPUs opened through the GCX runtime; mode 0: the CPU, no runtime at all),
// one GCX context per object on one of them, 2D buffers in the eight dataflow formats, the wait
// for queued GPU work and the optional performance counters. The table and the debug control
// word are written only by InitDevices and ShutdownDevices, which run under the encoder's set-up
// lock; every other operation runs under the frame-buffer interface's process lock, except
// WaitForEvent, which touches only its own object.
#include <cstdarg>
#include <cstddef>
#include <cstdint>

#include "platform/gcx/gcx_api.h"
#include "venc/gpu/dataflow/dataflow_buffer.h"

namespace orx::dataflow {

inline constexpr int kDataflowMaxDevices = 8;

enum DataflowDeviceMode : int32_t {
  kDataflowDeviceCpu = 0,  // buffers on the heap, kernels through their CPU forms
  kDataflowDeviceGcx = 1,  // a GPU of the GCX runtime
};

// One row of the device table, one per GCX device ordinal 0..7.
struct DataflowDevice {
  int32_t mode;       // DataflowDeviceMode
  int32_t index;      // -1 not open; else its number among the devices that opened, in ordinal order
  int32_t openCount;  // CDataflow objects that opened it
  gcx::GcxDeviceInfo deviceInfo;  // word 0 is the device target code
  gcx::GcxDevice deviceHandle;
};

// The row when it is open (index >= 0), else null; null outside 0..7.
DataflowDevice* GetDataflowDevice(int32_t row);

class CDataflow {
 public:
  CDataflow();

  // Mode 0 (no GPU) -> 1. Mode 1 -> the number of GCX devices: the runtime is initialised first
  // when it is not yet (a failure logs "CDataflow::GetDeviceCount() *** gcxInit() failed" and
  // answers -1); a count that cannot be read answers 0. Any other mode -> 0.
  static int32_t GetDeviceCount(int32_t mode);
  // Stores the debug control word and opens the devices of the mode; answers how many opened,
  // or -1. Mode 0 marks one CPU row without any GCX call.
  static int32_t InitDevices(int32_t mode, uint32_t configWord);
  // Closes the open GPU rows and ends the runtime when this layer started it. Always 0.
  static int32_t ShutdownDevices();

  // A buffer in system memory visible to every open device whose bit (1 << index) is set in
  // deviceMask; the mode of row 0 decides. Its CPU address stays good for the buffer's life.
  static int32_t AllocCommonBuffer(DataflowBuffer* buffer, uint32_t width, uint32_t height, uint32_t format,
                                   uint32_t deviceMask);
  static int32_t FreeCommonBuffer(DataflowBuffer* buffer);

  // Takes the device whose index field equals index: a GCX context with sampler 1 in four-texel
  // mode (and a performance counter when the extension exists) on a GPU row; nothing on a CPU row.
  int32_t OpenDevice(int32_t index);
  int32_t CloseDevice();
  int32_t GetDeviceType() const { return deviceType_; }
  // Where a program run stores its event; the wait waits for the last one.
  gcx::GcxEvent* GetEventSlot() { return &lastEvent_; }
  int32_t GetDeviceRow() const { return row_; }
  gcx::GcxContext GetContext() const { return context_; }

  // Binds a common buffer into this object's context (GPU objects; others answer 0).
  int32_t UseCommonBuffer(DataflowBuffer* buffer);
  int32_t UnuseCommonBuffer(DataflowBuffer* buffer);
  // System memory of this object's device alone, bound into its context.
  int32_t AllocSysBuffer(DataflowBuffer* buffer, uint32_t width, uint32_t height, uint32_t format);
  // GPU-local memory: no pitch and no CPU address on a GPU object.
  int32_t AllocGpuBuffer(DataflowBuffer* buffer, uint32_t width, uint32_t height, uint32_t format);
  int32_t FreeBuffer(DataflowBuffer* buffer);

  // Waits for the last queued program (0 at once when none); a failed wait keeps the event.
  int32_t WaitForEvent(void* user);
  int32_t Flush();

  // Performance counters: only on a GPU object whose counter entries are bound and with
  // g_dataflow_config_flags & 0xff0 set.
  int32_t PCBegin();
  int32_t PCEnd();
  // Empties text, then formats the four counters into it (text holds size bytes).
  int32_t PCGet(char* text, size_t size);

  // Sets the error flag, formats errorText, logs it and writes it with a line break to standard
  // error; the long form flushes standard error, the short form does not.
  void LogError(const char* format, ...) __attribute__((format(printf, 2, 3)));
  void LogErrorShort(const char* format, ...) __attribute__((format(printf, 2, 3)));
  void ClearError() { errorFlag_ = 0; }
  bool HasError() const { return errorFlag_ != 0; }
  const char* GetErrorText() const { return errorText_; }

 private:
  bool IsGpuObject() const { return deviceType_ == kDataflowDeviceGcx; }
  bool CountersEnabled() const;
  void ReportError(bool flush, const char* format, va_list args);
  // The shape and format check of an object's allocation, and on a CPU object the heap block:
  // kBufferOnGpu when a GPU object goes on to make the resource, else the allocation's answer.
  static constexpr int32_t kBufferOnGpu = 1;
  int32_t BeginObjectBuffer(const char* operation, DataflowBuffer* buffer, uint32_t width, uint32_t height,
                            uint32_t format);

  int32_t deviceType_;
  int32_t row_;
  uint8_t errorFlag_;
  char errorText_[1024];
  gcx::GcxEvent lastEvent_;
  gcx::GcxContext context_;
  gcx::GcxCounter counter_;
  uint8_t counterResults_[512];
};

}  // namespace orx::dataflow
