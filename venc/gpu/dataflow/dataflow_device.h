#pragma once
// CDataflow: the device layer of the dataflow path. Only its device count and the
// runtime-initialised flag stand here; the devices, contexts and buffers come with the GPU
// devices work.
#include <cstdint>

namespace orx::dataflow {

class CDataflow {
 public:
  // Mode 0 (no GPU) -> 1. Mode 1 -> the number of GCX devices: the runtime is initialised first
  // when it is not yet (a failure logs "CDataflow::GetDeviceCount() *** gcxInit() failed" and
  // answers -1); a count that cannot be read answers 0. Any other mode -> 0.
  static int32_t GetDeviceCount(int32_t mode);

 private:
  static bool s_runtimeInitialised;
};

}  // namespace orx::dataflow
