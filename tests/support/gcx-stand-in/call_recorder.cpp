#include "tests/support/gcx-stand-in/call_recorder.h"

#include <cstdlib>
#include <cstring>
#include <map>
#include <mutex>
#include <string>

namespace orx::gcx::standin {
namespace {

std::mutex g_lock;
GcxStandInState g_state;
std::map<std::string, uint32_t, std::less<>> g_entryCalls;  // calls so far per entry
std::map<uint32_t, int> g_polls;                            // polls of each event while pending

}  // namespace

uint64_t Arg(const void* p) { return reinterpret_cast<uintptr_t>(p); }

int32_t ConfiguredResult(std::string_view entry, uint32_t extension, std::string_view function, uint32_t nth) {
  const char* text = std::getenv("GCXSTANDIN_FAIL");
  if (text == nullptr) return 0;
  std::string_view rest(text);
  while (!rest.empty()) {
    size_t comma = rest.find(',');
    std::string_view item = rest.substr(0, comma);
    rest = comma == std::string_view::npos ? std::string_view() : rest.substr(comma + 1);
    size_t eq = item.find('=');
    if (eq == std::string_view::npos) continue;
    std::string_view name = item.substr(0, eq);
    std::string code(item.substr(eq + 1));
    std::string_view qualifier;
    if (size_t at = name.find('@'); at != std::string_view::npos) {
      qualifier = name.substr(at + 1);
      name = name.substr(0, at);
    }
    if (size_t hash = name.find('#'); hash != std::string_view::npos) {
      const auto wanted = static_cast<uint32_t>(std::strtoul(std::string(name.substr(hash + 1)).c_str(), nullptr, 10));
      name = name.substr(0, hash);
      if (wanted != nth) continue;
    }
    if (name != entry) continue;
    if (!qualifier.empty()) {
      bool matches = qualifier == function;
      if (!matches && qualifier.starts_with("0x"))
        matches = std::strtoul(std::string(qualifier).c_str(), nullptr, 16) == extension;
      if (!matches) continue;
    }
    return static_cast<int32_t>(std::strtol(code.c_str(), nullptr, 0));
  }
  return 0;
}

int32_t Record(const char* entry, std::initializer_list<uint64_t> args, uint32_t extension, const char* function) {
  uint32_t nth;
  {
    std::lock_guard<std::mutex> hold(g_lock);
    nth = ++g_entryCalls[entry];
  }
  int32_t result = ConfiguredResult(entry, extension, function, nth);
  std::lock_guard<std::mutex> hold(g_lock);
  uint32_t index = g_state.callCount++;
  if (index < static_cast<uint32_t>(kMaxRecordedCalls)) {
    auto& call = g_state.calls[index];
    std::strncpy(call.entry, entry, sizeof(call.entry) - 1);
    call.argCount = 0;
    for (uint64_t a : args)
      if (call.argCount < static_cast<uint32_t>(kMaxRecordedArgs)) call.args[call.argCount++] = a;
    call.result = result;
  }
  return result;
}

GcxStandInState& RecordedState() { return g_state; }

void AddLive(int32_t& counter, int delta) {
  std::lock_guard<std::mutex> hold(g_lock);
  if (delta > 0 || counter > 0) counter += delta;
}

int32_t CountLive(int32_t result, int32_t& counter, int delta) {
  if (result == 0) AddLive(counter, delta);
  return result;
}

bool KeepPending(uint32_t event) {
  const char* pending = std::getenv("GCXSTANDIN_PENDING");
  if (pending == nullptr) return false;
  std::lock_guard<std::mutex> hold(g_lock);
  int& polls = g_polls[event];
  if (polls >= std::atoi(pending)) return false;
  ++polls;
  return true;
}

}  // namespace orx::gcx::standin
