// A test build of the scaler library with one extra export that makes every later
// conversion-buffer allocation fail, so a test can reach that failure through the component.
#include "platform/export.h"
#include "vscaler/video_scaler.h"

extern "C" ORX_EXPORT void VScalerStarveConversionBuffers() {
  orx::vscaler::Scaler_SetAllocatorForTesting([](size_t) -> void* { return nullptr; });
}
