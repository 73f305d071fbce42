// The one core both libraries share: built into the state library, which the runtime and the
// compiler library both depend on, so an image linked by one is loaded by the other.
#include "platform/export.h"
#include "platform/gcx-soft/soft_runtime.h"

extern "C" ORX_EXPORT orx::gcxsoft::SoftCore* orxGcxSoftCore() {
  static orx::gcxsoft::SoftCore core;
  return &core;
}
