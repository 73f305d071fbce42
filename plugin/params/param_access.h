#pragma once
// The exporter's view of one instance's parameters in the host's store (Export Param suite),
// for one multi-group. Failed host calls read as zeroed records and are otherwise ignored, as
// the handlers ignore the host's answers.
#include <cstdint>
#include <string>

#include "platform/host_sdk/suites.h"

namespace orx::plugin {

class ParamAccess {
 public:
  ParamAccess(const host_sdk::ExportParamSuite* suite, uint32_t exporterId,
              int32_t multiGroupIndex = 0)
      : suite_(suite), exporterId_(exporterId), multiGroup_(multiGroupIndex) {}

  bool available() const { return suite_ != nullptr; }
  const host_sdk::ExportParamSuite* suite() const { return suite_; }
  uint32_t exporterId() const { return exporterId_; }
  int32_t multiGroup() const { return multiGroup_; }

  host_sdk::ParamRecord Get(const char* id) const;
  int32_t GetInt(const char* id) const { return Get(id).value.intValue; }
  double GetFloat(const char* id) const { return Get(id).value.floatValue; }
  int64_t GetTime(const char* id) const { return Get(id).value.timeValue; }
  host_sdk::ParamRatio GetRatio(const char* id) const { return Get(id).value.ratioValue; }
  std::u16string GetText(const char* id) const;

  void Change(const char* id, const host_sdk::ParamRecord& record) const;
  void SetName(const char* id, const char* utf8Name) const;

  void ClearList(const char* id) const;
  void AddEntry(const char* id, const host_sdk::ParamValue& value, const char* utf8Name) const;
  void AddIntEntry(const char* id, int32_t value, const char* utf8Name) const;
  void AddFloatEntry(const char* id, double value, const char* utf8Name) const;
  void AddTimeEntry(const char* id, int64_t value, const char* utf8Name) const;
  void AddRatioEntry(const char* id, int32_t num, int32_t den, const char* utf8Name) const;
  int32_t ListCount(const char* id) const;
  host_sdk::ParamValue ListEntry(const char* id, int32_t index) const;

  // Size of the private data (0 when none or refused).
  int32_t ArbDataSize(const char* id) const;
  bool GetArbData(const char* id, void* data, int32_t size) const;
  void SetArbData(const char* id, const void* data, int32_t size) const;

 private:
  const host_sdk::ExportParamSuite* suite_;
  uint32_t exporterId_;
  int32_t multiGroup_;
};

host_sdk::ParamValue IntValue(int32_t v);
host_sdk::ParamValue FloatValue(double v);
host_sdk::ParamValue TimeValue(int64_t v);
host_sdk::ParamValue RatioValue(int32_t num, int32_t den);
host_sdk::ParamValue TextValue(const char* utf8);

}  // namespace orx::plugin
