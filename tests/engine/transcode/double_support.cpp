#include "tests/engine/transcode/double_support.h"

#include <dlfcn.h>

#include <cstdarg>
#include <cstdio>

namespace tengine_double {
namespace {

TengineDoubleRecordFn RecordHook() {
  static const auto hook = reinterpret_cast<TengineDoubleRecordFn>(dlsym(RTLD_DEFAULT, kDoubleRecordSymbol));
  return hook;
}

TengineDoubleBehaviourFn BehaviourHook() {
  static const auto hook = reinterpret_cast<TengineDoubleBehaviourFn>(dlsym(RTLD_DEFAULT, kDoubleBehaviourSymbol));
  return hook;
}

}  // namespace

void Record(const char* who, const char* format, ...) {
  TengineDoubleRecordFn hook = RecordHook();
  if (hook == nullptr) return;
  char line[256];
  va_list args;
  va_start(args, format);
  std::vsnprintf(line, sizeof line, format, args);
  va_end(args);
  hook(who, line);
}

DoubleBehaviour& Behaviour(const char* who) {
  static DoubleBehaviour plain{};
  TengineDoubleBehaviourFn hook = BehaviourHook();
  DoubleBehaviour* behaviour = hook != nullptr ? hook(who) : nullptr;
  return behaviour != nullptr ? *behaviour : plain;
}

}  // namespace tengine_double
