#pragma once
// The kernel's own reading of the processor: the flags of the first processor in /proc/cpuinfo,
// an independent check of what our CPUID reading finds.
#include <set>
#include <string>

namespace orx::test {

// Empty when the file has no flags line.
std::set<std::string> ProcCpuinfoFlags();

}  // namespace orx::test
