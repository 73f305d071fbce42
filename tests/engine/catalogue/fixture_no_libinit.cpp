// A library that exports a create entry but no QVACompLibInit: the loader refuses it.
#include <cstdint>

#include "platform/export.h"

extern "C" ORX_EXPORT uint32_t QVACompCreate(const uint8_t*, void** outInstance) {
  *outInstance = nullptr;
  return 1;
}
