#pragma once
// The host's basic suite: every service the plug-in acquires by name and version, with the
// counts that show that acquires and releases balance and that every block is freed.
#include <map>
#include <string>
#include <utility>

#include "platform/host_sdk/entry.h"

namespace orx::host {

class SuiteRegistry {
 public:
  static SuiteRegistry& Instance();

  void Register(const char* name, int32_t version, const void* suite);
  const host_sdk::BasicSuite* basicSuite() const;

  using Key = std::pair<std::string, int32_t>;
  // Acquires minus releases per suite (only suites that were acquired appear).
  std::map<Key, int> Outstanding() const;
  int acquires() const { return acquires_; }
  int releases() const { return releases_; }
  int liveBlocks() const { return liveBlocks_; }

 private:
  friend struct BasicSuiteCallbacks;
  std::map<Key, const void*> suites_;
  std::map<Key, int> outstanding_;
  int acquires_ = 0;
  int releases_ = 0;
  int liveBlocks_ = 0;
};

// The standard parameters handed to the plug-in with every selector.
host_sdk::StandardParameters* StandardParametersForPlugin();

}  // namespace orx::host
