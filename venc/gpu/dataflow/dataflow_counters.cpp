// CDataflow's performance counters: the runtime's private counters of one context, begun and
// ended around GPU work and read as four values. Only a GPU object with the counter entries
// bound and a counter bit (4-11) set in the debug control word uses them.
#include <cstdio>
#include <cstring>

#include "venc/common/dataflow_hooks.h"
#include "venc/gpu/dataflow/dataflow_device.h"
#include "venc/gpu/dataflow/dataflow_process_state.h"

namespace orx::dataflow {
namespace {

constexpr uint32_t kCounterBits = 0xff0;

}  // namespace

bool CDataflow::CountersEnabled() const {
  return IsGpuObject() && (g_dataflow_config_flags.load() & kCounterBits) != 0;
}

int32_t CDataflow::PCBegin() {
  const DataflowCounterEntries& counters = DataflowState().counters;
  if (!CountersEnabled() || counters.begin == nullptr) return 0;
  if (counters.begin(context_, counter_) != 0) {
    LogError("gcxCtxBeginCounter() failed in PCBegin()");
    return -1;
  }
  return 0;
}

int32_t CDataflow::PCEnd() {
  const DataflowCounterEntries& counters = DataflowState().counters;
  if (!CountersEnabled() || counters.end == nullptr) return 0;
  if (counters.end(context_, counter_) != 0) {
    LogError("gcxCtxEndCounter() failed in PCEnd()");
    return -1;
  }
  return 0;
}

int32_t CDataflow::PCGet(char* text, size_t size) {
  if (text != nullptr && size > 0) text[0] = '\0';
  const DataflowCounterEntries& counters = DataflowState().counters;
  if (!CountersEnabled() || counters.get == nullptr) return -1;
  std::memset(counterResults_, 0, sizeof(counterResults_));
  if (counters.get(counterResults_, context_, counter_) != 0) {
    LogError("gcxCtxGetPrivateCounter() failed for in PCGet()");
    return -1;
  }
  int32_t words[8];
  std::memcpy(words, counterResults_, sizeof(words));
  if (text != nullptr && size > 0)
    std::snprintf(text, size, "GRBM[%8d] TA_STALL[%8d] SQ_EMPTY_ALU[%8d] SQ_EMPTY_TF[%8d]", words[0], words[2],
                  words[4], words[6]);
  return 0;
}

}  // namespace orx::dataflow
