#pragma once
// The plug-in's core linked into the test with the host's own suites in the same process: each
// case starts from a freshly loaded plug-in, a temporary registry with "GPUFlags" = 0, a
// processor that passes the registration gate and four usable processors.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "host/param_store.h"
#include "host/source_description.h"
#include "platform/cpuid.h"
#include "platform/host_sdk/entry.h"
#include "platform/host_sdk/records.h"
#include "platform/message_box.h"
#include "tests/support/test_paths.h"

extern "C" int32_t xSDKExport(int32_t selector, orx::host_sdk::StandardParameters* standard,
                              void* record, void* unusedRecord);

namespace orx::plugin::test {

// CPUID leaves of a processor with leaf 0x80000001 ECX bits 6 and 7.
std::vector<platform::CpuidTableEntry> GatePassingProcessor();
// The same leaves as a file for ORX_CPUID_TABLE.
std::string GatePassingProcessorTableText();

class PluginTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  // Writes a DWORD or string into the case's registry (key relative to HKCU\).
  void SetDword(const char* key, const char* name, uint32_t value);
  void SetString(const char* key, const char* name, const std::string& value);
  void RemoveValue(const char* key, const char* name);
  static void PresentProcessors(int count);

  int32_t Call(int32_t selector, void* record);
  // Begin instance, default parameters and post-processing of one exporter.
  void Open(uint32_t fileType, const host::SourceDescription& source = {});
  int32_t Validate(const std::string& id, const std::string& value);
  host::StoredParam& Param(const std::string& id);
  std::vector<std::string> ListNames(const std::string& id);
  std::vector<int32_t> ListInts(const std::string& id);
  void Close();

  std::string dir_;
  std::unique_ptr<orx::test::ScopedEnv> registryEnv_;
  uint32_t exporterId_ = 7;
  uint32_t fileType_ = 0;
  void* instance_ = nullptr;
  std::vector<platform::MessageBoxRecord> boxes_;
  std::string debugText_;
};

}  // namespace orx::plugin::test
