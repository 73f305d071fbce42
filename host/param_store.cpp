#include "host/param_store.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "platform/host_sdk/utf16_text.h"

namespace orx::host {
namespace {

using host_sdk::ParamRecord;
using host_sdk::ParamValue;

std::map<uint32_t, std::unique_ptr<ParamStore>>& Stores() {
  static std::map<uint32_t, std::unique_ptr<ParamStore>> stores;
  return stores;
}

std::string Utf8(const char16_t* text) { return host_sdk::Utf16ToUtf8(text, host_sdk::kTextChars); }

std::string JsonString(const std::string& s) {
  std::string out = "\"";
  for (unsigned char c : s) {
    switch (c) {
      case '"': out += "\\\""; break;
      case '\\': out += "\\\\"; break;
      case '\n': out += "\\n"; break;
      case '\r': out += "\\r"; break;
      case '\t': out += "\\t"; break;
      default:
        if (c < 0x20) {
          char buf[8];
          std::snprintf(buf, sizeof(buf), "\\u%04x", c);
          out += buf;
        } else {
          out += static_cast<char>(c);
        }
    }
  }
  return out + "\"";
}

std::string Bool(int32_t v) { return v ? "true" : "false"; }

std::string DoubleJson(double v) {
  char buf[64];
  auto result = std::to_chars(buf, buf + sizeof(buf), v);
  return std::string(buf, result.ptr);
}

// ---- Export Param suite ----

int32_t AddMultiGroup(uint32_t exporterId, int32_t* index) {
  if (index == nullptr) return host_sdk::kSuiteErrorBadArgument;
  *index = StoreFor(exporterId).AddMultiGroup();
  return 0;
}

int32_t AddParamGroup(uint32_t exporterId, int32_t multiGroup, const char* parent, const char* id,
                      const char16_t* name, int32_t hidden, int32_t disabled, int32_t flags) {
  if (id == nullptr || parent == nullptr) return host_sdk::kSuiteErrorBadArgument;
  StoredGroup g;
  g.multiGroup = multiGroup;
  g.id = id;
  g.parent = parent;
  g.name = name ? Utf8(name) : "";
  g.hidden = hidden;
  g.disabled = disabled;
  g.flags = flags;
  return StoreFor(exporterId).AddGroup(g) ? 0 : host_sdk::kSuiteErrorBadArgument;
}

int32_t AddParam(uint32_t exporterId, int32_t multiGroup, const char* group,
                 const host_sdk::ParamDescription* d) {
  if (d == nullptr || group == nullptr) return host_sdk::kSuiteErrorBadArgument;
  StoredParam p;
  p.multiGroup = multiGroup;
  p.id = std::string(d->identifier, strnlen(d->identifier, sizeof(d->identifier)));
  p.group = group;
  p.type = d->type;
  p.flags = d->flags;
  p.hasRange = d->hasRange != 0;
  p.minimum = d->minimum;
  p.maximum = d->maximum;
  p.value = d->defaultValue;
  p.disabled = d->disabled;
  p.hidden = d->hidden;
  p.arbRoom = d->arbDataSize;
  return StoreFor(exporterId).AddParam(p) ? 0 : host_sdk::kSuiteErrorBadArgument;
}

int32_t SetParamsVersion(uint32_t exporterId, int32_t version) {
  StoreFor(exporterId).SetVersion(version);
  return 0;
}

int32_t SetParamName(uint32_t exporterId, int32_t multiGroup, const char* id,
                     const char16_t* name) {
  if (id == nullptr || name == nullptr) return host_sdk::kSuiteErrorBadArgument;
  StoreFor(exporterId).SetName(multiGroup, id, Utf8(name));
  return 0;
}

int32_t GetParamValue(uint32_t exporterId, int32_t multiGroup, const char* id, ParamRecord* out) {
  if (id == nullptr || out == nullptr) return host_sdk::kSuiteErrorBadArgument;
  ParamStore& store = StoreFor(exporterId);
  if (StoredParam* p = store.FindParam(multiGroup, id)) {
    *out = ParamRecord{};
    out->type = p->type;
    out->value = p->value;
    out->hasRange = p->hasRange ? 1 : 0;
    out->minimum = p->minimum;
    out->maximum = p->maximum;
    out->disabled = p->disabled;
    out->hidden = p->hidden;
    return 0;
  }
  if (StoredGroup* g = store.FindGroup(multiGroup, id)) {
    *out = ParamRecord{};
    out->disabled = g->disabled;
    out->hidden = g->hidden;
    return 0;
  }
  return host_sdk::kSuiteErrorNotFound;
}

int32_t ChangeParam(uint32_t exporterId, int32_t multiGroup, const char* id, const ParamRecord* in) {
  if (id == nullptr || in == nullptr) return host_sdk::kSuiteErrorBadArgument;
  ParamStore& store = StoreFor(exporterId);
  if (StoredParam* p = store.FindParam(multiGroup, id)) {
    p->value = in->value;
    p->hasRange = in->hasRange != 0;
    p->minimum = in->minimum;
    p->maximum = in->maximum;
    p->disabled = in->disabled;
    p->hidden = in->hidden;
    return 0;
  }
  if (StoredGroup* g = store.FindGroup(multiGroup, id)) {
    g->disabled = in->disabled;
    g->hidden = in->hidden;
    return 0;
  }
  return host_sdk::kSuiteErrorNotFound;
}

int32_t ClearValueList(uint32_t exporterId, int32_t multiGroup, const char* id) {
  StoredParam* p = id ? StoreFor(exporterId).FindParam(multiGroup, id) : nullptr;
  if (p == nullptr) return host_sdk::kSuiteErrorNotFound;
  p->list.clear();
  return 0;
}

int32_t AddValueListEntry(uint32_t exporterId, int32_t multiGroup, const char* id,
                          const ParamValue* value, const char16_t* name) {
  StoredParam* p = id ? StoreFor(exporterId).FindParam(multiGroup, id) : nullptr;
  if (p == nullptr) return host_sdk::kSuiteErrorNotFound;
  if (value == nullptr) return host_sdk::kSuiteErrorBadArgument;
  p->list.emplace_back(*value, name ? Utf8(name) : "");
  return 0;
}

int32_t GetValueListCount(uint32_t exporterId, int32_t multiGroup, const char* id,
                          int32_t* count) {
  StoredParam* p = id ? StoreFor(exporterId).FindParam(multiGroup, id) : nullptr;
  if (p == nullptr) return host_sdk::kSuiteErrorNotFound;
  if (count == nullptr) return host_sdk::kSuiteErrorBadArgument;
  *count = static_cast<int32_t>(p->list.size());
  return 0;
}

int32_t GetValueListEntry(uint32_t exporterId, int32_t multiGroup, const char* id, int32_t index,
                          ParamValue* value, char16_t* name) {
  StoredParam* p = id ? StoreFor(exporterId).FindParam(multiGroup, id) : nullptr;
  if (p == nullptr) return host_sdk::kSuiteErrorNotFound;
  if (index < 0 || static_cast<size_t>(index) >= p->list.size()) return host_sdk::kSuiteErrorBadArgument;
  if (value) *value = p->list[static_cast<size_t>(index)].first;
  if (name) host_sdk::CopyToUtf16(name, host_sdk::kTextChars, p->list[static_cast<size_t>(index)].second);
  return 0;
}

int32_t GetArbData(uint32_t exporterId, int32_t multiGroup, const char* id, int32_t* size,
                   void* data) {
  StoredParam* p = id ? StoreFor(exporterId).FindParam(multiGroup, id) : nullptr;
  if (p == nullptr) return host_sdk::kSuiteErrorNotFound;
  if (size == nullptr) return host_sdk::kSuiteErrorBadArgument;
  if (data != nullptr) {
    size_t n = std::min<size_t>(static_cast<size_t>(std::max<int32_t>(*size, 0)), p->arbData.size());
    std::memcpy(data, p->arbData.data(), n);
  }
  *size = static_cast<int32_t>(p->arbData.size());
  return 0;
}

int32_t SetArbData(uint32_t exporterId, int32_t multiGroup, const char* id, int32_t size,
                   const void* data) {
  StoredParam* p = id ? StoreFor(exporterId).FindParam(multiGroup, id) : nullptr;
  if (p == nullptr) return host_sdk::kSuiteErrorNotFound;
  if (size < 0 || (size > 0 && data == nullptr)) return host_sdk::kSuiteErrorBadArgument;
  const uint8_t* bytes = static_cast<const uint8_t*>(data);
  p->arbData.assign(bytes, bytes + size);
  return 0;
}

const host_sdk::ExportParamSuite kExportParamSuite{
    &AddMultiGroup,     &AddParamGroup, &AddParam,       &SetParamsVersion,  &SetParamName,
    &GetParamValue,     &ChangeParam,   &ClearValueList, &AddValueListEntry, &GetValueListCount,
    &GetValueListEntry, &GetArbData,    &SetArbData};

const char* TypeName(int32_t type) {
  switch (type) {
    case host_sdk::kParamInt: return "int";
    case host_sdk::kParamFloat: return "float";
    case host_sdk::kParamTime: return "time";
    case host_sdk::kParamString: return "string";
    case host_sdk::kParamButton: return "button";
    case host_sdk::kParamRatio: return "ratio";
    default: return "unknown";
  }
}

}  // namespace

int32_t ParamStore::AddMultiGroup() { return multiGroups_++; }

bool ParamStore::AddGroup(const StoredGroup& group) {
  if (group.multiGroup < 0 || group.multiGroup >= multiGroups_ ||
      FindGroup(group.multiGroup, group.id) || FindParam(group.multiGroup, group.id)) {
    return false;
  }
  StoredGroup g = group;
  auto orphan = orphanNames_.find({g.multiGroup, g.id});
  if (orphan != orphanNames_.end()) orphanNames_.erase(orphan);
  groups_.push_back(g);
  return true;
}

bool ParamStore::AddParam(const StoredParam& param) {
  if (param.multiGroup < 0 || param.multiGroup >= multiGroups_ ||
      FindParam(param.multiGroup, param.id) || FindGroup(param.multiGroup, param.id)) {
    return false;
  }
  params_.push_back(param);
  return true;
}

StoredParam* ParamStore::FindParam(int32_t multiGroup, const std::string& id) {
  for (StoredParam& p : params_) {
    if (p.multiGroup == multiGroup && p.id == id) return &p;
  }
  return nullptr;
}

StoredGroup* ParamStore::FindGroup(int32_t multiGroup, const std::string& id) {
  for (StoredGroup& g : groups_) {
    if (g.multiGroup == multiGroup && g.id == id) return &g;
  }
  return nullptr;
}

void ParamStore::SetName(int32_t multiGroup, const std::string& id, const std::string& name) {
  if (StoredParam* p = FindParam(multiGroup, id)) {
    p->name = name;
    p->named = true;
  } else if (StoredGroup* g = FindGroup(multiGroup, id)) {
    g->name = name;
  } else {
    orphanNames_[{multiGroup, id}] = name;
  }
}

std::string ParamValueJson(int32_t type, const ParamValue& v) {
  switch (type) {
    case host_sdk::kParamInt: return std::to_string(v.intValue);
    case host_sdk::kParamFloat: return DoubleJson(v.floatValue);
    case host_sdk::kParamTime: return std::to_string(v.timeValue);
    case host_sdk::kParamString: return JsonString(Utf8(v.text));
    case host_sdk::kParamRatio:
      return "[" + std::to_string(v.ratioValue.numerator) + ", " +
             std::to_string(v.ratioValue.denominator) + "]";
    default: return "null";
  }
}

namespace {

// A whole number in decimal, with an optional minus sign: no spaces, no other base.
bool ParseDecimalInteger(const std::string& text, int64_t low, int64_t high, int64_t& out) {
  size_t digits = !text.empty() && text[0] == '-' ? 1 : 0;
  if (text.size() == digits || text.size() - digits > 19 ||
      text.find_first_not_of("0123456789", digits) != std::string::npos) {
    return false;
  }
  errno = 0;
  long long v = std::strtoll(text.c_str(), nullptr, 10);
  if (errno != 0 || v < low || v > high) return false;
  out = v;
  return true;
}

// A finite decimal number: digits with an optional sign, fraction and exponent. Not "nan",
// "inf", a hexadecimal number or one with spaces around it, which the C library would read.
bool ParseDecimalNumber(const std::string& text, double& out) {
  size_t i = 0, n = text.size();
  if (i < n && (text[i] == '-' || text[i] == '+')) ++i;
  size_t mantissa = 0;
  while (i < n && std::isdigit(static_cast<unsigned char>(text[i]))) ++i, ++mantissa;
  if (i < n && text[i] == '.') {
    ++i;
    while (i < n && std::isdigit(static_cast<unsigned char>(text[i]))) ++i, ++mantissa;
  }
  if (mantissa == 0) return false;
  if (i < n && (text[i] == 'e' || text[i] == 'E')) {
    ++i;
    if (i < n && (text[i] == '-' || text[i] == '+')) ++i;
    size_t exponent = 0;
    while (i < n && std::isdigit(static_cast<unsigned char>(text[i]))) ++i, ++exponent;
    if (exponent == 0) return false;
  }
  if (i != n) return false;
  double v = std::strtod(text.c_str(), nullptr);
  if (!std::isfinite(v)) return false;
  out = v;
  return true;
}

}  // namespace

bool ParseParamValue(int32_t type, const std::string& text, ParamValue& out) {
  out = ParamValue{};
  switch (type) {
    case host_sdk::kParamInt: {
      int64_t v = 0;
      if (!ParseDecimalInteger(text, INT32_MIN, INT32_MAX, v)) return false;
      out.intValue = static_cast<int32_t>(v);
      return true;
    }
    case host_sdk::kParamFloat:
      return ParseDecimalNumber(text, out.floatValue);
    case host_sdk::kParamTime:
      return ParseDecimalInteger(text, INT64_MIN + 1, INT64_MAX, out.timeValue);
    case host_sdk::kParamRatio: {
      size_t sep = text.find_first_of(":/");
      if (sep == std::string::npos) return false;
      int64_t num = 0, den = 0;
      // A ratio of no parts or of negative parts is no aspect or rate a dialog offers.
      if (!ParseDecimalInteger(text.substr(0, sep), 1, INT32_MAX, num) ||
          !ParseDecimalInteger(text.substr(sep + 1), 1, INT32_MAX, den)) {
        return false;
      }
      out.ratioValue.numerator = static_cast<int32_t>(num);
      out.ratioValue.denominator = static_cast<int32_t>(den);
      return true;
    }
    case host_sdk::kParamString:
      // A text the parameter cannot hold whole is refused, not cut: a cut log file path
      // would name another file.
      if (host_sdk::Utf8ToUtf16(text).size() >= static_cast<size_t>(host_sdk::kTextChars)) {
        return false;
      }
      host_sdk::CopyToUtf16(out.text, host_sdk::kTextChars, text);
      return true;
    default:
      return false;
  }
}

namespace {

std::string ValueText(int32_t type, const ParamValue& v) {
  switch (type) {
    case host_sdk::kParamInt: return std::to_string(v.intValue);
    case host_sdk::kParamTime: return std::to_string(v.timeValue);
    case host_sdk::kParamFloat: {
      char text[64];
      std::snprintf(text, sizeof text, "%.17g", v.floatValue);
      return text;
    }
    case host_sdk::kParamRatio:
      return std::to_string(v.ratioValue.numerator) + ":" + std::to_string(v.ratioValue.denominator);
    default: return std::string();
  }
}

// -1, 0 or 1 as a is below, equal to or above b; 2 when the type has no order.
int Compare(int32_t type, const ParamValue& a, const ParamValue& b) {
  auto order = [](auto x, auto y) { return x < y ? -1 : x > y ? 1 : 0; };
  switch (type) {
    case host_sdk::kParamInt: return order(a.intValue, b.intValue);
    case host_sdk::kParamTime: return order(a.timeValue, b.timeValue);
    case host_sdk::kParamFloat: return order(a.floatValue, b.floatValue);
    case host_sdk::kParamRatio:
      return order(static_cast<int64_t>(a.ratioValue.numerator) * b.ratioValue.denominator,
                   static_cast<int64_t>(b.ratioValue.numerator) * a.ratioValue.denominator);
    default: return 2;
  }
}

bool SameListValue(int32_t type, const ParamValue& a, const ParamValue& b) {
  if (type == host_sdk::kParamRatio) {
    return a.ratioValue.numerator == b.ratioValue.numerator &&
           a.ratioValue.denominator == b.ratioValue.denominator;
  }
  return Compare(type, a, b) == 0;
}

}  // namespace

int64_t NearestListedFrameDuration(const StoredParam& param, int64_t ticks) {
  if (ticks <= 0) return ticks;
  int64_t best = ticks;
  double bestDistance = HUGE_VAL;
  for (const auto& [listed, name] : param.list) {
    if (listed.timeValue <= 0) continue;
    double distance = std::fabs(std::log(static_cast<double>(listed.timeValue) / ticks));
    if (distance < bestDistance) {
      best = listed.timeValue;
      bestDistance = distance;
    }
  }
  return best;
}

bool CheckParamValueAllowed(const StoredParam& param, const ParamValue& value, bool unlisted,
                            std::string& error) {
  const int32_t type = param.type;
  if (type != host_sdk::kParamInt && type != host_sdk::kParamFloat &&
      type != host_sdk::kParamTime && type != host_sdk::kParamRatio) {
    return true;
  }
  // A range the plug-in gave inverted is kept as given and not enforced: it allows nothing.
  bool ranged = param.hasRange && Compare(type, param.minimum, param.maximum) <= 0;
  if (ranged && (Compare(type, value, param.minimum) < 0 || Compare(type, value, param.maximum) > 0)) {
    error = param.id + " takes a value from " + ValueText(type, param.minimum) + " to " +
            ValueText(type, param.maximum) + ", not " + ValueText(type, value);
    return false;
  }
  if (param.list.empty() || unlisted) return true;
  for (const auto& [listed, name] : param.list) {
    if (SameListValue(type, listed, value)) return true;
  }
  error = param.id + " takes one of ";
  for (size_t i = 0; i < param.list.size(); ++i) {
    error += (i > 0 ? ", " : "") + ValueText(type, param.list[i].first);
    if (!param.list[i].second.empty()) error += " (" + param.list[i].second + ")";
  }
  error += ", not " + ValueText(type, value) + " (--unlisted lets a value inside the range through)";
  return false;
}

std::string ParamStore::ToJson(const std::string& fileType) const {
  std::string out = "{\n  \"fileType\": " + JsonString(fileType) + ",\n";
  out += "  \"paramsVersion\": " + std::to_string(version_) + ",\n";
  out += "  \"multiGroups\": [";
  for (int32_t mg = 0; mg < multiGroups_; ++mg) {
    out += mg == 0 ? "\n" : ",\n";
    out += "    {\"index\": " + std::to_string(mg) + ",\n     \"groups\": [";
    bool first = true;
    for (const StoredGroup& g : groups_) {
      if (g.multiGroup != mg) continue;
      out += first ? "\n" : ",\n";
      first = false;
      out += "      {\"id\": " + JsonString(g.id) + ", \"parent\": " + JsonString(g.parent) +
             ", \"name\": " + JsonString(g.name) + ", \"hidden\": " + Bool(g.hidden) +
             ", \"disabled\": " + Bool(g.disabled) + ", \"flags\": " + std::to_string(g.flags) + "}";
    }
    out += "],\n     \"params\": [";
    first = true;
    for (const StoredParam& p : params_) {
      if (p.multiGroup != mg) continue;
      out += first ? "\n" : ",\n";
      first = false;
      out += "      {\"id\": " + JsonString(p.id) + ", \"group\": " + JsonString(p.group) +
             ", \"type\": \"" + TypeName(p.type) + "\", \"flags\": " + std::to_string(p.flags) +
             ", \"name\": " + (p.named ? JsonString(p.name) : "null") +
             ", \"value\": " + ParamValueJson(p.type, p.value);
      if (p.hasRange) {
        out += ", \"min\": " + ParamValueJson(p.type, p.minimum) +
               ", \"max\": " + ParamValueJson(p.type, p.maximum);
      }
      out += ", \"hidden\": " + Bool(p.hidden) + ", \"disabled\": " + Bool(p.disabled);
      out += ", \"list\": [";
      for (size_t i = 0; i < p.list.size(); ++i) {
        if (i) out += ", ";
        out += "[" + ParamValueJson(p.type, p.list[i].first) + ", " + JsonString(p.list[i].second) + "]";
      }
      out += "]";
      if (p.type == host_sdk::kParamButton) {
        out += ", \"arbRoom\": " + std::to_string(p.arbRoom) + ", \"arbData\": \"";
        for (uint8_t b : p.arbData) {
          char hex[3];
          std::snprintf(hex, sizeof(hex), "%02x", b);
          out += hex;
        }
        out += "\"";
      }
      out += "}";
    }
    out += "],\n     \"otherNames\": {";
    first = true;
    for (const auto& [key, name] : orphanNames_) {
      if (key.first != mg) continue;
      out += first ? "" : ", ";
      first = false;
      out += JsonString(key.second) + ": " + JsonString(name);
    }
    out += "}}";
  }
  out += "\n  ]\n}\n";
  return out;
}

ParamStore& StoreFor(uint32_t exporterId) {
  auto& stores = Stores();
  auto& slot = stores[exporterId];
  if (!slot) slot = std::make_unique<ParamStore>();
  return *slot;
}

void DropStore(uint32_t exporterId) { Stores().erase(exporterId); }

const host_sdk::ExportParamSuite* ExportParamSuiteTable() { return &kExportParamSuite; }

}  // namespace orx::host
