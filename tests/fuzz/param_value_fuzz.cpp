// libFuzzer target: the --set value parser for every parameter type, and the range and list
// check of what it accepts.
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "host/param_store.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  for (int32_t type : {orx::host_sdk::kParamInt, orx::host_sdk::kParamFloat,
                       orx::host_sdk::kParamTime, orx::host_sdk::kParamRatio,
                       orx::host_sdk::kParamString}) {
    orx::host_sdk::ParamValue value;
    if (!orx::host::ParseParamValue(type, text, value)) continue;
    // What parses is a finite number, or a ratio of positive parts.
    if (type == orx::host_sdk::kParamFloat && !std::isfinite(value.floatValue)) std::abort();
    if (type == orx::host_sdk::kParamRatio &&
        (value.ratioValue.numerator <= 0 || value.ratioValue.denominator <= 0)) {
      std::abort();
    }
    orx::host::StoredParam param;
    param.id = "Fuzzed";
    param.type = type;
    param.hasRange = true;
    param.minimum.intValue = 1;
    param.maximum.intValue = 15;
    param.minimum.floatValue = 250.0;
    param.maximum.floatValue = 50000.0;
    param.minimum.timeValue = 1;
    param.maximum.timeValue = 1200000000;
    param.minimum.ratioValue = {1, 1};
    param.maximum.ratioValue = {40, 33};
    param.list.push_back({param.minimum, "low"});
    std::string error;
    orx::host::CheckParamValueAllowed(param, value, size % 2 == 0, error);
    orx::host::NearestListedFrameDuration(param, value.timeValue);
  }
  return 0;
}
