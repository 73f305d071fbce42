#include "platform/cpuid.h"

#include <cpuid.h>

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <mutex>
#include <optional>
#include <sstream>

namespace orx::platform {
namespace {

std::atomic<CpuidFn> g_hook{nullptr};
std::mutex g_tableMutex;
std::vector<CpuidTableEntry> g_table;

CpuidRegs FromTable(const std::vector<CpuidTableEntry>& table, uint32_t leaf, uint32_t subleaf) {
  for (const auto& e : table) {
    if (e.leaf == leaf && e.subleaf == subleaf) return e.regs;
  }
  // A leaf listed without sub-leaves answers every sub-leaf alike.
  for (const auto& e : table) {
    if (e.leaf == leaf && e.subleaf == 0) return e.regs;
  }
  return {};
}

CpuidRegs TableHook(uint32_t leaf, uint32_t subleaf) {
  std::lock_guard<std::mutex> lock(g_tableMutex);
  return FromTable(g_table, leaf, subleaf);
}

// The environment table, read once. Held by value, so a library that is unloaded leaves
// nothing allocated behind.
const std::vector<CpuidTableEntry>* EnvironmentTable() {
  static const std::optional<std::vector<CpuidTableEntry>> table =
      []() -> std::optional<std::vector<CpuidTableEntry>> {
    const char* path = std::getenv("ORX_CPUID_TABLE");
    if (path == nullptr || *path == '\0') return std::nullopt;
    std::vector<CpuidTableEntry> t;
    if (!LoadCpuidTableFile(path, t)) t.clear();
    return t;
  }();
  return table ? &*table : nullptr;
}

}  // namespace

CpuidRegs HardwareCpuid(uint32_t leaf, uint32_t subleaf) {
  CpuidRegs r;
  __cpuid_count(leaf, subleaf, r.eax, r.ebx, r.ecx, r.edx);
  return r;
}

CpuidRegs Cpuid(uint32_t leaf, uint32_t subleaf) {
  if (CpuidFn hook = g_hook.load(std::memory_order_acquire)) return hook(leaf, subleaf);
  if (const auto* table = EnvironmentTable()) return FromTable(*table, leaf, subleaf);
  return HardwareCpuid(leaf, subleaf);
}

CpuidFn SetCpuidHook(CpuidFn hook) { return g_hook.exchange(hook, std::memory_order_acq_rel); }

void SetCpuidTable(std::vector<CpuidTableEntry> table) {
  bool empty = table.empty();
  {
    std::lock_guard<std::mutex> lock(g_tableMutex);
    g_table = std::move(table);
  }
  SetCpuidHook(empty ? nullptr : &TableHook);
}

bool ParseCpuidTable(const std::string& text, std::vector<CpuidTableEntry>& out) {
  out.clear();
  std::istringstream in(text);
  std::string line;
  while (std::getline(in, line)) {
    auto hash = line.find('#');
    if (hash != std::string::npos) line.erase(hash);
    std::istringstream fields(line);
    std::string word;
    uint32_t values[6];
    int n = 0;
    while (fields >> word) {
      if (n == 6) return false;
      char* end = nullptr;
      unsigned long v = std::strtoul(word.c_str(), &end, 16);
      if (end == word.c_str() || *end != '\0' || v > 0xFFFFFFFFul) return false;
      values[n++] = static_cast<uint32_t>(v);
    }
    if (n == 0) continue;
    if (n != 6) return false;
    out.push_back({values[0], values[1], {values[2], values[3], values[4], values[5]}});
  }
  return true;
}

bool LoadCpuidTableFile(const std::string& path, std::vector<CpuidTableEntry>& out) {
  std::ifstream f(path);
  if (!f) return false;
  std::stringstream ss;
  ss << f.rdbuf();
  return ParseCpuidTable(ss.str(), out);
}

std::string CpuVendorString() {
  CpuidRegs r = Cpuid(0, 0);
  char vendor[13];
  std::memcpy(vendor + 0, &r.ebx, 4);
  std::memcpy(vendor + 4, &r.edx, 4);
  std::memcpy(vendor + 8, &r.ecx, 4);
  vendor[12] = '\0';
  return vendor;
}

}  // namespace orx::platform
