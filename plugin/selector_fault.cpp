#include "plugin/selector_fault.h"

#include <atomic>
#include <stdexcept>

namespace orx::plugin {
namespace {

std::atomic<int32_t> g_armedSelector{kNoSelectorFault};

}  // namespace

void ArmSelectorFaultForTest(int32_t selector) { g_armedSelector.store(selector); }

void ThrowIfSelectorFaultArmed(int32_t selector) {
  int32_t armed = selector;
  if (selector != kNoSelectorFault && g_armedSelector.compare_exchange_strong(armed, kNoSelectorFault)) {
    throw std::runtime_error("selector fault armed by a test");
  }
}

}  // namespace orx::plugin
