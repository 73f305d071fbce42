#include "tests/plugin/plugin_test_fixture.h"

#include <cstring>

#include "host/basic_suite.h"
#include "host/host_services.h"
#include "platform/debug_output.h"
#include "platform/processor_count.h"
#include "platform/registry.h"
#include "plugin/startup/capability_probe.h"
#include "plugin/params/export_state.h"
#include "plugin/startup/exporter_startup.h"
#include "plugin/properties/plugin_log_file.h"

namespace orx::plugin::test {
namespace {

int g_processors = 4;
int PresentedCount() { return g_processors; }

}  // namespace

std::vector<platform::CpuidTableEntry> GatePassingProcessor() {
  std::vector<platform::CpuidTableEntry> table;
  EXPECT_TRUE(platform::ParseCpuidTable(GatePassingProcessorTableText(), table));
  return table;
}

std::string GatePassingProcessorTableText() {
  return "0 0 0000000D 68747541 444D4163 69746E65\n"   // "AuthenticAMD"
         "1 0 00000F00 0 00000001 178BFBFF\n"
         "80000000 0 80000008 0 0 0\n"
         "80000001 0 0 0 000000C0 0\n";               // ECX bits 6 and 7
}

void PluginTest::SetUp() {
  dir_ = orx::test::MakeTempDir("plugin");
  registryEnv_ = std::make_unique<orx::test::ScopedEnv>("ORX_REGISTRY", (dir_ + "/registry").c_str());
  SetDword("Software\\ORX\\AdobePluginCS4", "GPUFlags", 0);
  ResetStartupStateForTest();
  ResetExportStateForTest();
  ResetCapabilityProbeForTest();
  SetLogOwner(nullptr);
  platform::SetCpuidTable(GatePassingProcessor());
  PresentProcessors(4);
  host::RegisterHostSuites();
  platform::SetMessageBoxCapture(
      [](void* ctx, const platform::MessageBoxRecord& r) {
        static_cast<PluginTest*>(ctx)->boxes_.push_back(r);
      },
      this);
  platform::SetDebugCapture(
      [](void* ctx, std::string_view text) { static_cast<PluginTest*>(ctx)->debugText_ += text; },
      this);
}

void PluginTest::TearDown() {
  if (instance_) Close();
  platform::SetMessageBoxCapture(nullptr, nullptr);
  platform::SetDebugCapture(nullptr, nullptr);
  platform::SetCpuidTable({});
  platform::SetProcessorCountHook(nullptr);
  registryEnv_.reset();
}

void PluginTest::SetDword(const char* key, const char* name, uint32_t value) {
  ASSERT_TRUE(platform::RegistryWriteDword(std::string("HKCU\\") + key, name, value));
}

void PluginTest::SetString(const char* key, const char* name, const std::string& value) {
  ASSERT_TRUE(platform::RegistryWriteString(std::string("HKCU\\") + key, name, value));
}

void PluginTest::RemoveValue(const char* key, const char* name) {
  ASSERT_TRUE(platform::RegistryDeleteValue(std::string("HKCU\\") + key, name));
}

void PluginTest::PresentProcessors(int count) {
  g_processors = count;
  platform::SetProcessorCountHook(&PresentedCount);
}

int32_t PluginTest::Call(int32_t selector, void* record) {
  return xSDKExport(selector, host::StandardParametersForPlugin(), record, nullptr);
}

void PluginTest::Open(uint32_t fileType, const host::SourceDescription& source) {
  host::SetCurrentSource(source);
  host::DropStore(exporterId_);
  fileType_ = fileType;
  host_sdk::InstanceRecord begin{exporterId_, fileType, nullptr};
  ASSERT_EQ(Call(host_sdk::kSelBeginInstance, &begin), 0);
  instance_ = begin.privateData;
  ASSERT_NE(instance_, nullptr);
  host_sdk::ParamsRecord params{exporterId_, instance_, fileType};
  EXPECT_EQ(Call(host_sdk::kSelGenerateDefaultParams, &params), 0);
  EXPECT_EQ(Call(host_sdk::kSelPostProcessParams, &params), 0);
}

int32_t PluginTest::Validate(const std::string& id, const std::string& value) {
  host::StoredParam& p = Param(id);
  host_sdk::ParamValue v{};
  EXPECT_TRUE(host::ParseParamValue(p.type, value, v)) << id << "=" << value;
  p.value = v;
  host_sdk::ValidateParamRecord record{};
  record.exporterId = exporterId_;
  record.privateData = instance_;
  record.fileType = fileType_;
  std::strncpy(record.changedIdentifier, id.c_str(), sizeof(record.changedIdentifier) - 1);
  return Call(host_sdk::kSelValidateParamChanged, &record);
}

host::StoredParam& PluginTest::Param(const std::string& id) {
  host::StoredParam* p = host::StoreFor(exporterId_).FindParam(0, id);
  if (p == nullptr) {
    ADD_FAILURE() << "no parameter " << id;
    static host::StoredParam none;
    return none;
  }
  return *p;
}

std::vector<std::string> PluginTest::ListNames(const std::string& id) {
  std::vector<std::string> names;
  for (const auto& entry : Param(id).list) names.push_back(entry.second);
  return names;
}

std::vector<int32_t> PluginTest::ListInts(const std::string& id) {
  std::vector<int32_t> values;
  for (const auto& entry : Param(id).list) values.push_back(entry.first.intValue);
  return values;
}

void PluginTest::Close() {
  host_sdk::InstanceRecord end{exporterId_, fileType_, instance_};
  EXPECT_EQ(Call(host_sdk::kSelEndInstance, &end), 0);
  EXPECT_EQ(end.privateData, nullptr);
  instance_ = nullptr;
  host::DropStore(exporterId_);
}

}  // namespace orx::plugin::test
