#include "host/basic_suite.h"

#include <cstdlib>

namespace orx::host {

struct BasicSuiteCallbacks {
  static int32_t Acquire(const char* name, int32_t version, const void** suite) {
    SuiteRegistry& r = SuiteRegistry::Instance();
    if (suite == nullptr || name == nullptr) return host_sdk::kSuiteErrorBadArgument;
    auto it = r.suites_.find({name, version});
    if (it == r.suites_.end()) {
      *suite = nullptr;
      return host_sdk::kSuiteErrorUnknownSuite;
    }
    *suite = it->second;
    ++r.acquires_;
    ++r.outstanding_[it->first];
    return 0;
  }
  static int32_t Release(const char* name, int32_t version) {
    SuiteRegistry& r = SuiteRegistry::Instance();
    if (name == nullptr) return host_sdk::kSuiteErrorBadArgument;
    auto it = r.suites_.find({name, version});
    if (it == r.suites_.end()) return host_sdk::kSuiteErrorUnknownSuite;
    ++r.releases_;
    --r.outstanding_[it->first];
    return 0;
  }
  static int32_t Allocate(size_t size, void** block) {
    if (block == nullptr) return host_sdk::kSuiteErrorBadArgument;
    *block = std::calloc(1, size == 0 ? 1 : size);
    if (*block == nullptr) return host_sdk::kResultOutOfMemory;
    ++SuiteRegistry::Instance().liveBlocks_;
    return 0;
  }
  static int32_t Free(void* block) {
    if (block == nullptr) return 0;
    std::free(block);
    --SuiteRegistry::Instance().liveBlocks_;
    return 0;
  }
};

namespace {

const host_sdk::BasicSuite kBasicSuite{&BasicSuiteCallbacks::Acquire, &BasicSuiteCallbacks::Release,
                                       &BasicSuiteCallbacks::Allocate, &BasicSuiteCallbacks::Free};

const host_sdk::BasicSuite* GetBasicSuite() { return &kBasicSuite; }

void* HostNewPtr(size_t size) { return std::calloc(1, size == 0 ? 1 : size); }
void HostDisposePtr(void* block) { std::free(block); }
const host_sdk::HostMemoryFunctions kMemoryFunctions{&HostNewPtr, &HostDisposePtr};
const host_sdk::HostUtilityFunctions kUtilities{nullptr, &kMemoryFunctions};

host_sdk::StandardParameters g_standard{1, &GetBasicSuite, &kUtilities};

}  // namespace

SuiteRegistry& SuiteRegistry::Instance() {
  static SuiteRegistry registry;
  return registry;
}

void SuiteRegistry::Register(const char* name, int32_t version, const void* suite) {
  suites_[{name, version}] = suite;
}

const host_sdk::BasicSuite* SuiteRegistry::basicSuite() const { return &kBasicSuite; }

std::map<SuiteRegistry::Key, int> SuiteRegistry::Outstanding() const { return outstanding_; }

host_sdk::StandardParameters* StandardParametersForPlugin() { return &g_standard; }

}  // namespace orx::host
