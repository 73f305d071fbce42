#pragma once
// The frame-buffer interface of the dataflow path: the process-wide set-up of the devices and
// the encoder's picture memory (frame buffers in system memory that one GPU reads directly).
// It owns the process lock that every FBAPI and MSAPI call takes, except FBAPI_GetDeviceCount,
// FBAPI_GetBuffer and MSAPI_WaitForCompletion. FBAPI_Initialize and FBAPI_Shutdown create and
// delete that lock under the encoder's set-up lock; no other call may run outside that span
// (one that does finds no lock and answers -1).
#include <cstdint>

#include "venc/gpu/dataflow/dataflow_buffer.h"

namespace orx::dataflow {

// Filled partly by the caller, partly by FBAPI_Alloc.
struct FbapiFrameBuffers {
  int32_t deviceIndex;   // caller: the index of an open device; the buffers are visible to it alone
  int32_t count;         // caller: frame buffers, at least 1
  int32_t width;         // caller: picture width, 16..2048
  int32_t height;        // caller: picture height, 16..2048
  int32_t padX;          // caller: border left and right of the picture
  int32_t padY;          // caller: border above and below the picture
  int32_t pitch;         // bytes from one row to the next (the first buffer's)
  int32_t lumaOrigin;    // byte offset of the top-left luma sample: pitch x padY + padX
  int32_t chromaOrigin;  // byte offset of the chroma area: (H2 + padY / 2) x pitch + padX
  int32_t planeSize;     // bytes of one frame buffer: rows x pitch
  DataflowBuffer* buffers;  // count records, one per frame buffer
};

// CDataflow::GetDeviceCount without the lock.
int32_t FBAPI_GetDeviceCount(int32_t mode);
// Creates the lock, then CDataflow::InitDevices; the number of devices opened, or -1. A failed
// set-up leaves nothing behind: the devices it opened are shut down and the lock is deleted.
int32_t FBAPI_Initialize(int32_t mode, uint32_t configWord);
// CDataflow::ShutdownDevices, then the lock is deleted. 0.
int32_t FBAPI_Shutdown();

// One common buffer of format 0 per frame: W2 = width + 2 padX elements wide, rows = H2 +
// (H2 + 1) / 2 high with H2 = height + 2 padY (padded luma, then the 4:2:0 chroma area).
// Sizes or count out of range answer -1 without a message and allocate nothing; a buffer that
// cannot be made answers -1 with the buffers made so far and the array freed (buffers null).
int32_t FBAPI_Alloc(FbapiFrameBuffers* frames);
// Frees each buffer in order (the first failure stops, -1), then the array; buffers null.
int32_t FBAPI_Free(FbapiFrameBuffers* frames);
// The CPU address of frame buffer i, null outside 0..count-1. No lock.
uint8_t* FBAPI_GetBuffer(const FbapiFrameBuffers* frames, int32_t i);

void FBAPI_Lock();
void FBAPI_Unlock();
// Whether the lock exists (between a successful FBAPI_Initialize and FBAPI_Shutdown).
bool FBAPI_LockExists();

}  // namespace orx::dataflow
