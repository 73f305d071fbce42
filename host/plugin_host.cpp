#include "host/plugin_host.h"

#include <cstring>

#include "host/basic_suite.h"
#include "host/param_store.h"
#include "platform/host_sdk/utf16_text.h"
#include "platform/library_loader.h"

namespace orx::host {

using namespace host_sdk;

std::string FourCcText(uint32_t code) {
  std::string s(4, ' ');
  for (int i = 0; i < 4; ++i) s[i] = static_cast<char>((code >> (24 - 8 * i)) & 0xFF);
  return s;
}

bool ParseFourCc(const std::string& text, uint32_t& code) {
  if (text.size() != 4) return false;
  code = 0;
  for (char c : text) code = (code << 8) | static_cast<unsigned char>(c);
  return true;
}

PluginHost::~PluginHost() {
  if (library_) platform::FreeLibrary(library_);
}

bool PluginHost::Load(const std::string& path, std::string& error) {
  library_ = platform::LoadLibrary(path.c_str());
  if (!library_) {
    error = "cannot load the plug-in " + path + ": " + platform::LastLibraryError();
    return false;
  }
  entry_ = reinterpret_cast<ExporterEntryFn>(platform::GetLibrarySymbol(library_, kExporterEntryName));
  if (!entry_) {
    error = path + " has no " + std::string(kExporterEntryName);
    return false;
  }
  return true;
}

int32_t PluginHost::Call(int32_t selector, void* record) {
  return entry_(selector, StandardParametersForPlugin(), record, nullptr);
}

std::vector<RegisteredExporter> PluginHost::Startup(int32_t& finalAnswer) {
  std::vector<RegisteredExporter> exporters;
  // A plug-in that keeps answering 16 is stopped after more exporters than any plug-in has.
  for (int call = 0; call < 64; ++call) {
    ExporterInfoRecord info{};
    int32_t answer = Call(kSelStartup, &info);
    finalAnswer = answer;
    if (answer != kResultExporterFollows) break;
    RegisteredExporter e;
    e.exporterId = static_cast<uint32_t>(exporters.size()) + 1;
    e.fileType = info.fileType;
    e.classId = info.classId;
    e.name = Utf16ToUtf8(info.fileTypeName, kTextChars);
    e.extension = Utf16ToUtf8(info.defaultExtension, kTextChars);
    e.answer = answer;
    exporters.push_back(e);
  }
  return exporters;
}

int32_t ExporterSession::Begin() {
  InstanceRecord record{exporter_.exporterId, exporter_.fileType, nullptr};
  int32_t answer = host_.Call(kSelBeginInstance, &record);
  privateData_ = record.privateData;
  return answer;
}

int32_t ExporterSession::GenerateDefaults() {
  ParamsRecord record{exporter_.exporterId, privateData_, exporter_.fileType};
  return host_.Call(kSelGenerateDefaultParams, &record);
}

int32_t ExporterSession::PostProcess() {
  ParamsRecord record{exporter_.exporterId, privateData_, exporter_.fileType};
  return host_.Call(kSelPostProcessParams, &record);
}

bool ExporterSession::SetAndValidate(const std::string& id, const std::string& valueText,
                                     int32_t& answer, std::string& error, bool unlisted) {
  ParamStore& store = StoreFor(exporter_.exporterId);
  StoredParam* param = store.FindParam(0, id);
  if (param == nullptr) {
    error = "no parameter " + id;
    return false;
  }
  ParamValue value{};
  if (!ParseParamValue(param->type, valueText, value)) {
    error = param->type == host_sdk::kParamString
                ? id + " takes a text of at most " + std::to_string(host_sdk::kTextChars - 1) +
                      " characters"
                : "cannot read \"" + valueText + "\" as a value of " + id;
    return false;
  }
  if (!CheckParamValueAllowed(*param, value, unlisted, error)) return false;
  param->value = value;
  ValidateParamRecord record{};
  record.exporterId = exporter_.exporterId;
  record.privateData = privateData_;
  record.fileType = exporter_.fileType;
  record.multiGroupIndex = 0;
  std::strncpy(record.changedIdentifier, id.c_str(), sizeof(record.changedIdentifier) - 1);
  answer = host_.Call(kSelValidateParamChanged, &record);
  return true;
}

int32_t ExporterSession::Summary(ParamSummaryRecord& record, bool audio, bool video) {
  record = ParamSummaryRecord{};
  record.exporterId = exporter_.exporterId;
  record.privateData = privateData_;
  record.exportAudio = audio ? 1 : 0;
  record.exportVideo = video ? 1 : 0;
  return host_.Call(kSelGetParamSummary, &record);
}

int32_t ExporterSession::OutputSettings(OutputSettingsRecord& record) {
  record = OutputSettingsRecord{};
  record.exporterId = exporter_.exporterId;
  record.privateData = privateData_;
  record.fileType = exporter_.fileType;
  return host_.Call(kSelQueryOutputSettings, &record);
}

int32_t ExporterSession::Extension(std::string& extension) {
  FileExtensionRecord record{};
  record.exporterId = exporter_.exporterId;
  record.privateData = privateData_;
  record.fileType = exporter_.fileType;
  int32_t answer = host_.Call(kSelQueryExportFileExtension, &record);
  extension = Utf16ToUtf8(record.extension, kTextChars);
  return answer;
}

int32_t ExporterSession::Button(const std::string& id) {
  ParamButtonRecord record{};
  record.exporterId = exporter_.exporterId;
  record.privateData = privateData_;
  record.multiGroupIndex = 0;
  std::strncpy(record.buttonIdentifier, id.c_str(), sizeof(record.buttonIdentifier) - 1);
  return host_.Call(kSelParamButton, &record);
}

int32_t ExporterSession::Export(ExportRecord& record) {
  record.exporterId = exporter_.exporterId;
  record.privateData = privateData_;
  record.fileType = exporter_.fileType;
  return host_.Call(kSelExport, &record);
}

int32_t ExporterSession::End() {
  InstanceRecord record{exporter_.exporterId, exporter_.fileType, privateData_};
  int32_t answer = host_.Call(kSelEndInstance, &record);
  privateData_ = record.privateData;
  return answer;
}

}  // namespace orx::host
