#pragma once
// The motion-search interface of the dataflow path, as far as the encoder's GPU set-up reaches it.
#include <cstdint>

namespace orx::dataflow {

// Placeholder until the motion-search kernels exist: answers 0.
int32_t MSAPI_LibInit();

}  // namespace orx::dataflow
