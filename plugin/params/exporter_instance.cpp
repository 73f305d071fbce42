#include "plugin/params/exporter_instance.h"

#include <cstring>
#include <new>

#include "platform/host_sdk/utf16_text.h"
#include "plugin/params/export_choices.h"
#include "plugin/params/exporter_file_type.h"
#include "plugin/params/param_access.h"
#include "plugin/params/param_ids.h"

namespace orx::plugin {
namespace {

using host_sdk::SuiteName;

// The instance's suites in acquisition order, with where each is kept.
template <typename Fn>
void ForEachInstanceSuite(ExporterInstance& instance, Fn&& fn) {
  fn(host_sdk::kExportParamSuite, reinterpret_cast<const void**>(&instance.paramSuite));
  fn(host_sdk::kExportFileSuite, reinterpret_cast<const void**>(&instance.fileSuite));
  fn(host_sdk::kExportInfoSuite, reinterpret_cast<const void**>(&instance.infoSuite));
  fn(host_sdk::kPPixSuite, reinterpret_cast<const void**>(&instance.ppixSuite));
  fn(host_sdk::kTimeSuite, reinterpret_cast<const void**>(&instance.timeSuite));
  fn(host_sdk::kMemoryManagerSuite, reinterpret_cast<const void**>(&instance.memorySuite));
  fn(host_sdk::kWindowSuite, reinterpret_cast<const void**>(&instance.windowSuite));
}

// The extension of the output file (without a dot), null for an unknown file type.
const char* ExtensionFor(uint32_t fileType, ContainerChoice container) {
  const bool elementary = container == ContainerChoice::kElementary;
  switch (fileType) {
    case kFileTypeMpg2: return elementary ? "m2v" : "mpg";
    case kFileTypeMp2b: return "mpg";
    case kFileTypeH264: return elementary ? "264" : container == ContainerChoice::kMp4 ? "mp4" : "mov";
    case kFileType264b: return "264";
    case kFileTypeF4v: return "f4v";
    default: return nullptr;
  }
}

}  // namespace

const host_sdk::BasicSuite* BasicSuiteOf(const host_sdk::StandardParameters* standard) {
  if (standard == nullptr || standard->GetBasicSuite == nullptr) return nullptr;
  return standard->GetBasicSuite();
}

int32_t Exporter_BeginInstance(host_sdk::StandardParameters* standard,
                               host_sdk::InstanceRecord* record) {
  if (record->privateData != nullptr) return 0;
  auto* instance = new (std::nothrow) ExporterInstance{};
  if (instance == nullptr) return host_sdk::kResultOutOfMemory;
  std::memcpy(instance->tag, kInstanceTag, sizeof(instance->tag));
  if (const host_sdk::BasicSuite* basic = BasicSuiteOf(standard)) {
    ForEachInstanceSuite(*instance, [basic](const SuiteName& suite, const void** slot) {
      basic->AcquireSuite(suite.name, suite.version, slot);
    });
  }
  record->privateData = instance;
  return 0;
}

int32_t Exporter_EndInstance(host_sdk::StandardParameters* standard,
                             host_sdk::InstanceRecord* record) {
  const host_sdk::BasicSuite* basic = BasicSuiteOf(standard);
  ExporterInstance* instance = InstanceOf(record->privateData);
  if (basic == nullptr || instance == nullptr) return 0;
  int32_t result = 0;
  ForEachInstanceSuite(*instance, [basic, &result](const SuiteName& suite, const void** slot) {
    if (*slot != nullptr) result = basic->ReleaseSuite(suite.name, suite.version);
  });
  delete instance;
  record->privateData = nullptr;
  return result;
}

int32_t Exporter_QueryExportFileExtension(host_sdk::StandardParameters* /*standard*/,
                                          host_sdk::FileExtensionRecord* record) {
  ExporterInstance* instance = InstanceOf(record->privateData);
  int32_t container = 0;
  if (instance != nullptr) {
    container = ParamAccess(instance->paramSuite, record->exporterId).GetInt(ORXMultiplexerContainer);
  }
  const char* extension = ExtensionFor(record->fileType, ChoiceOf<ContainerChoice>(container));
  if (extension == nullptr) return host_sdk::kResultUnknownFileType;
  host_sdk::CopyToUtf16(record->extension, 8, extension);
  return 0;
}

}  // namespace orx::plugin
