#pragma once
// The plug-in as the host drives it: loading, startup with registration, and one exporter
// instance's selector sequence.
#include <cstdint>
#include <string>
#include <vector>

#include "platform/host_sdk/entry.h"
#include "platform/host_sdk/records.h"

namespace orx::host {

struct RegisteredExporter {
  uint32_t exporterId = 0;
  uint32_t fileType = 0;
  uint32_t classId = 0;
  std::string name;
  std::string extension;
  int32_t answer = 0;
};

std::string FourCcText(uint32_t code);
bool ParseFourCc(const std::string& text, uint32_t& code);

class PluginHost {
 public:
  PluginHost() = default;
  ~PluginHost();
  PluginHost(const PluginHost&) = delete;
  PluginHost& operator=(const PluginHost&) = delete;

  bool Load(const std::string& path, std::string& error);
  // Drives a plug-in linked into the process instead of a loaded one.
  void UseEntry(host_sdk::ExporterEntryFn entry) { entry_ = entry; }
  int32_t Call(int32_t selector, void* record);

  // Calls the startup selector until it stops answering 16; every answer is kept.
  std::vector<RegisteredExporter> Startup(int32_t& finalAnswer);

 private:
  void* library_ = nullptr;
  host_sdk::ExporterEntryFn entry_ = nullptr;
};

// One exporter instance, from begin to end.
class ExporterSession {
 public:
  ExporterSession(PluginHost& host, const RegisteredExporter& exporter)
      : host_(host), exporter_(exporter) {}

  int32_t Begin();
  int32_t GenerateDefaults();
  int32_t PostProcess();
  // Stores the value as the user's edit, then asks the plug-in to validate the change. A text
  // that is no value of the parameter's type, or a value outside its range or (unless
  // unlisted) off its list, is refused with error set and the plug-in is not asked.
  bool SetAndValidate(const std::string& id, const std::string& valueText, int32_t& answer,
                      std::string& error, bool unlisted = false);
  int32_t Summary(host_sdk::ParamSummaryRecord& record, bool audio, bool video);
  int32_t OutputSettings(host_sdk::OutputSettingsRecord& record);
  int32_t Extension(std::string& extension);
  int32_t Button(const std::string& id);
  // Selector 9: the record's exporter id and private data are filled in here.
  int32_t Export(host_sdk::ExportRecord& record);
  int32_t End();

  const RegisteredExporter& exporter() const { return exporter_; }

 private:
  PluginHost& host_;
  RegisteredExporter exporter_;
  void* privateData_ = nullptr;
};

}  // namespace orx::host
