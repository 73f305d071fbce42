#pragma once
// Processor identification: answers any CPUID leaf and sub-leaf. Tests replace the
// processor with a hook or a table of leaves; the environment variable ORX_CPUID_TABLE names
// a table file that a built library reads once (a test facility for whole-program tests).
#include <cstdint>
#include <string>
#include <vector>

namespace orx::platform {

struct CpuidRegs {
  uint32_t eax = 0;
  uint32_t ebx = 0;
  uint32_t ecx = 0;
  uint32_t edx = 0;
};

// Answers through the hook when one is set, else from the ORX_CPUID_TABLE table when the
// variable is set, else from the real processor.
CpuidRegs Cpuid(uint32_t leaf, uint32_t subleaf = 0);

// The real processor, whatever hook is set.
CpuidRegs HardwareCpuid(uint32_t leaf, uint32_t subleaf = 0);

using CpuidFn = CpuidRegs (*)(uint32_t leaf, uint32_t subleaf);
// Installs a replacement (nullptr restores the default path); answers the previous hook.
CpuidFn SetCpuidHook(CpuidFn hook);

struct CpuidTableEntry {
  uint32_t leaf = 0;
  uint32_t subleaf = 0;
  CpuidRegs regs;
};

// A table of leaves presented as the processor: a leaf the table lacks answers zeros.
// Installing a table replaces any hook; an empty table restores the default path.
void SetCpuidTable(std::vector<CpuidTableEntry> table);

// Reads "leaf subleaf eax ebx ecx edx" lines (hexadecimal, '#' starts a comment).
bool ParseCpuidTable(const std::string& text, std::vector<CpuidTableEntry>& out);
bool LoadCpuidTableFile(const std::string& path, std::vector<CpuidTableEntry>& out);

// The 12-character vendor string of leaf 0.
std::string CpuVendorString();

}  // namespace orx::platform
