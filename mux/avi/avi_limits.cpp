#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <mutex>

#include "mux/avi/avi_file_state.h"

namespace orx::mux {
namespace {

std::mutex g_limitsLock;
bool g_testLimitsSet = false;
AviLimits g_testLimits;

}  // namespace

AviLimits AviLimits::Current() {
  {
    std::lock_guard<std::mutex> lock(g_limitsLock);
    if (g_testLimitsSet) return g_testLimits;
  }
  AviLimits limits;
  const char* text = std::getenv("ORX_TEST_AVI_LIMITS");
  if (text == nullptr || *text == '\0') return limits;
  unsigned long long segment = 0;
  unsigned stdEntries = 0, legacy = 0, super = 0;
  if (std::sscanf(text, "%llu,%u,%u,%u", &segment, &stdEntries, &legacy, &super) == 4) {
    if (segment > 0) limits.segmentBytes = segment;
    if (stdEntries > 0) limits.stdIndexEntries = stdEntries;
    if (legacy > 0) limits.legacyEntries = legacy;
    if (super > 0 && super <= kAviSuperIndexSlots) limits.superIndexEntries = super;
  }
  return limits;
}

void AviLimits::SetForTest(const AviLimits* limits) {
  std::lock_guard<std::mutex> lock(g_limitsLock);
  g_testLimitsSet = limits != nullptr;
  if (limits) g_testLimits = *limits;
}

}  // namespace orx::mux
