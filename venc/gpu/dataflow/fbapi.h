#pragma once
// The frame-buffer interface of the dataflow path, as far as the encoder's GPU set-up reaches it.
// FBAPI_Initialize and FBAPI_Shutdown are placeholders until the GPU devices work replaces them:
// with no runtime they are never reached.
#include <cstdint>

namespace orx::dataflow {

// CDataflow::GetDeviceCount without a lock.
int32_t FBAPI_GetDeviceCount(int32_t mode);
// Placeholder: opens nothing and answers -1 (the caller falls back on the CPU).
int32_t FBAPI_Initialize(int32_t mode, uint32_t configWord);
// Placeholder: answers 0.
int32_t FBAPI_Shutdown();

}  // namespace orx::dataflow
