#pragma once
// The host's exporter parameter store, one per exporter: groups, typed parameters with ranges
// kept exactly as the plug-in gave them (inverted or empty ones too), value lists, display
// names (also for identifiers that were never created), visibility flags and private data.
// The Export Param suite answers from it.
#include <cstdint>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "platform/host_sdk/suites.h"

namespace orx::host {

struct StoredGroup {
  int32_t multiGroup = 0;
  std::string id;
  std::string parent;
  std::string name;
  int32_t hidden = 0;
  int32_t disabled = 0;
  int32_t flags = 0;
};

struct StoredParam {
  int32_t multiGroup = 0;
  std::string id;
  std::string group;
  int32_t type = 0;
  int32_t flags = 0;
  bool hasRange = false;
  host_sdk::ParamValue minimum{};
  host_sdk::ParamValue maximum{};
  host_sdk::ParamValue value{};
  int32_t disabled = 0;
  int32_t hidden = 0;
  std::string name;
  bool named = false;
  std::vector<std::pair<host_sdk::ParamValue, std::string>> list;
  int32_t arbRoom = 0;
  std::vector<uint8_t> arbData;
};

class ParamStore {
 public:
  int32_t AddMultiGroup();
  int32_t version() const { return version_; }
  void SetVersion(int32_t v) { version_ = v; }

  bool AddGroup(const StoredGroup& group);
  bool AddParam(const StoredParam& param);
  StoredParam* FindParam(int32_t multiGroup, const std::string& id);
  StoredGroup* FindGroup(int32_t multiGroup, const std::string& id);
  void SetName(int32_t multiGroup, const std::string& id, const std::string& name);

  const std::vector<StoredGroup>& groups() const { return groups_; }
  const std::vector<StoredParam>& params() const { return params_; }

  // The store as JSON, one line per group and parameter.
  std::string ToJson(const std::string& fileType) const;

 private:
  int32_t multiGroups_ = 0;
  int32_t version_ = 0;
  std::vector<StoredGroup> groups_;
  std::vector<StoredParam> params_;
  std::map<std::pair<int32_t, std::string>, std::string> orphanNames_;
};

// The store of an exporter (created on first use); cleared when its instance ends.
ParamStore& StoreFor(uint32_t exporterId);
void DropStore(uint32_t exporterId);

const host_sdk::ExportParamSuite* ExportParamSuiteTable();

// Reads a user's text as a value of the parameter's type, strictly as a dialog's field would
// take it (int and time in ticks: decimal; float: a finite decimal number; ratio "n:d" or
// "n/d" of positive parts; string as given). False when it does not parse.
bool ParseParamValue(int32_t type, const std::string& text, host_sdk::ParamValue& out);
// Whether a value lies in the parameter's range and, unless unlisted, in its value list (when
// it has one). False with error naming the parameter and what it takes.
bool CheckParamValueAllowed(const StoredParam& param, const host_sdk::ParamValue& value,
                            bool unlisted, std::string& error);
// The frame duration (in ticks) in the time parameter's list nearest to the given one, by the
// ratio of their rates; the given one when the list is empty or it is not positive.
int64_t NearestListedFrameDuration(const StoredParam& param, int64_t ticks);
// A value as JSON text.
std::string ParamValueJson(int32_t type, const host_sdk::ParamValue& value);

}  // namespace orx::host
