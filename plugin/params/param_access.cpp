#include "plugin/params/param_access.h"

#include <array>
#include <cstring>

#include "platform/host_sdk/utf16_text.h"

namespace orx::plugin {

using host_sdk::ParamRecord;
using host_sdk::ParamValue;

ParamValue IntValue(int32_t v) {
  ParamValue p{};
  p.intValue = v;
  return p;
}

ParamValue FloatValue(double v) {
  ParamValue p{};
  p.floatValue = v;
  return p;
}

ParamValue TimeValue(int64_t v) {
  ParamValue p{};
  p.timeValue = v;
  return p;
}

ParamValue RatioValue(int32_t num, int32_t den) {
  ParamValue p{};
  p.ratioValue = {num, den};
  return p;
}

ParamValue TextValue(const char* utf8) {
  ParamValue p{};
  host_sdk::CopyToUtf16(p.text, host_sdk::kTextChars, utf8);
  return p;
}

ParamRecord ParamAccess::Get(const char* id) const {
  ParamRecord record{};
  if (suite_ && suite_->GetParamValue(exporterId_, multiGroup_, id, &record) != 0) record = {};
  return record;
}

std::u16string ParamAccess::GetText(const char* id) const {
  ParamRecord record = Get(id);
  return std::u16string(record.value.text, host_sdk::Utf16Length(record.value.text, host_sdk::kTextChars));
}

void ParamAccess::Change(const char* id, const ParamRecord& record) const {
  if (suite_) suite_->ChangeParam(exporterId_, multiGroup_, id, &record);
}

void ParamAccess::SetName(const char* id, const char* utf8Name) const {
  if (!suite_) return;
  std::array<char16_t, host_sdk::kTextChars> name{};
  host_sdk::CopyToUtf16(name.data(), name.size(), utf8Name);
  suite_->SetParamName(exporterId_, multiGroup_, id, name.data());
}

void ParamAccess::ClearList(const char* id) const {
  if (suite_) suite_->ClearValueList(exporterId_, multiGroup_, id);
}

void ParamAccess::AddEntry(const char* id, const ParamValue& value, const char* utf8Name) const {
  if (!suite_) return;
  std::array<char16_t, host_sdk::kTextChars> name{};
  host_sdk::CopyToUtf16(name.data(), name.size(), utf8Name);
  suite_->AddValueListEntry(exporterId_, multiGroup_, id, &value, name.data());
}

void ParamAccess::AddIntEntry(const char* id, int32_t value, const char* utf8Name) const {
  AddEntry(id, IntValue(value), utf8Name);
}

void ParamAccess::AddFloatEntry(const char* id, double value, const char* utf8Name) const {
  AddEntry(id, FloatValue(value), utf8Name);
}

void ParamAccess::AddTimeEntry(const char* id, int64_t value, const char* utf8Name) const {
  AddEntry(id, TimeValue(value), utf8Name);
}

void ParamAccess::AddRatioEntry(const char* id, int32_t num, int32_t den,
                                const char* utf8Name) const {
  AddEntry(id, RatioValue(num, den), utf8Name);
}

int32_t ParamAccess::ListCount(const char* id) const {
  int32_t count = 0;
  if (suite_ && suite_->GetValueListCount(exporterId_, multiGroup_, id, &count) != 0) count = 0;
  return count;
}

ParamValue ParamAccess::ListEntry(const char* id, int32_t index) const {
  ParamValue value{};
  std::array<char16_t, host_sdk::kTextChars> name{};
  if (suite_ &&
      suite_->GetValueListEntry(exporterId_, multiGroup_, id, index, &value, name.data()) != 0) {
    value = {};
  }
  return value;
}

int32_t ParamAccess::ArbDataSize(const char* id) const {
  int32_t size = 0;
  if (!suite_ || suite_->GetArbData(exporterId_, multiGroup_, id, &size, nullptr) != 0) return 0;
  return size;
}

bool ParamAccess::GetArbData(const char* id, void* data, int32_t size) const {
  if (!suite_) return false;
  int32_t room = size;
  return suite_->GetArbData(exporterId_, multiGroup_, id, &room, data) == 0;
}

void ParamAccess::SetArbData(const char* id, const void* data, int32_t size) const {
  if (suite_) suite_->SetArbData(exporterId_, multiGroup_, id, size, data);
}

}  // namespace orx::plugin
