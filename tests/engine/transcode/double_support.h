#pragma once
// Inside a double or the mock encoder: recording lines and reading the behaviour the test asked
// for, through the test program's exported functions.
#include <cstdint>

#include "tests/engine/transcode/double_hooks.h"

namespace tengine_double {

// A formatted line recorded as coming from who.
void Record(const char* who, const char* format, ...) __attribute__((format(printf, 2, 3)));
// The behaviour for who; a default one when the test program offers none.
DoubleBehaviour& Behaviour(const char* who);

}  // namespace tengine_double
