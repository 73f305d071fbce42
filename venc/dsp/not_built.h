#pragma once
// Bodies that a later step builds report themselves and stop, rather than fall back silently
// to a base-class body with other results.

namespace orx::dsp {

// Writes "<className>::<operation> is not built" to standard error and aborts.
[[noreturn]] void ReportNotBuilt(const char* className, const char* operation);

}  // namespace orx::dsp
