#pragma once
// The process-wide state behind CDataflow: the device table, the runtime-initialised flag and
// the extension entries the layer binds for itself at InitDevices. Written only by
// InitDevices and ShutdownDevices (under the encoder's set-up lock); read by the objects.
#include "platform/gcx/gcx_api.h"
#include "venc/gpu/dataflow/dataflow_device.h"

namespace orx::dataflow {

struct DataflowCounterEntries {
  gcx::PfnGcxCtxCreatePrivateCounter create;
  gcx::PfnGcxCtxDestroyCounter destroy;
  gcx::PfnGcxCtxConfigPrivateCounter config;
  gcx::PfnGcxCtxBeginCounter begin;
  gcx::PfnGcxCtxEndCounter end;
  gcx::PfnGcxCtxGetPrivateCounter get;
};

struct DataflowProcessState {
  DataflowDevice devices[kDataflowMaxDevices];
  bool runtimeInitialised;
  gcx::PfnGcxCtxSetSamplerParameter setSamplerParameter;
  DataflowCounterEntries counters;  // all null unless the private-counter extension exists
};

DataflowProcessState& DataflowState();

}  // namespace orx::dataflow
