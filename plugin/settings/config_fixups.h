#pragma once
// Two configuration routines nothing in the system calls: a bit-rate estimate from the target
// format and the fixups of the fit mode.
#include <cstdint>

#include "media/tengine_config.h"

namespace orx::plugin {

uint32_t EstimateBitrate(const QVATengineConfig* config);
void ApplyConfigFixups(QVATengineConfig* config);

}  // namespace orx::plugin
