// The GPU half of the capability probe, with no runtime and with the stand-in runtime.
#include "plugin/startup/capability_probe.h"
#include "plugin/startup/gcx_probe.h"
#include "tests/plugin/plugin_test_fixture.h"

namespace orx::plugin::test {
namespace {

class GpuProbe : public PluginTest {
 protected:
  static std::string StandIn() { return std::string(ORX_GCX_STAND_IN_DIR) + "/second-names"; }
};

TEST_F(GpuProbe, NoRuntimeFindsNoDevice) {
  SetGcxRuntimeFolder(dir_.c_str());  // an empty folder
  CapabilityRecord record;
  EXPECT_EQ(ProbeGpu(&record, 0), 0);
  EXPECT_EQ(record.gpuCount, 0u);
  EXPECT_EQ(record.gpuPresent, 0u);
  EXPECT_EQ(record.valid & kProbedGpu, kProbedGpu);
  EXPECT_EQ(GcxRuntimeStart(nullptr, nullptr, nullptr), -1);
  GcxRuntimeStop();
}

TEST_F(GpuProbe, StandInRuntime) {
  struct Row {
    const char* what;
    const char* version;
    const char* fail;
    const char* devices;
    int probed;
    uint32_t gpuCount;
  };
  const Row rows[] = {
      {"two devices", "1.2.3", "", "2", 2, 2},
      {"version 1.0 is too old", "1.0.7", "", "2", -3, 0},
      {"device open answering 4 is accepted", "1.2.3", "gcxDeviceOpen=4", "3", 3, 3},
      {"device open failing", "1.2.3", "gcxDeviceOpen=5", "3", 0, 0},
      {"initialisation failing", "1.2.3", "gcxInit=2", "3", -1, 0},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    ResetCapabilityProbeForTest();
    orx::test::ScopedEnv version("GCXSTANDIN_VERSION", row.version);
    orx::test::ScopedEnv fail("GCXSTANDIN_FAIL", row.fail);
    orx::test::ScopedEnv devices("GCXSTANDIN_DEVICES", row.devices);
    EXPECT_EQ(GcxProbeDevices(StandIn().c_str()), row.probed);
    EXPECT_EQ(GcxOpenedDeviceCount(), 0);  // the probe always ends with the runtime stopped
    CapabilityRecord record;
    ProbeGpu(&record, 1);
    EXPECT_EQ(record.gpuCount, row.gpuCount);
    EXPECT_EQ(record.gpuPresent, row.gpuCount > 0 ? 1u : 0u);
    EXPECT_EQ(record.supported, row.gpuCount > 0 ? 1u : 0u);
  }
}

TEST_F(GpuProbe, VersionIsKeptAndQueriesCombineTheParts) {
  orx::test::ScopedEnv version("GCXSTANDIN_VERSION", "1.2.3");
  orx::test::ScopedEnv devices("GCXSTANDIN_DEVICES", "1");
  SetGcxRuntimeFolder(StandIn().c_str());
  CapabilityRecord record;
  EXPECT_EQ(ProbeAll(&record, 1), 0);
  EXPECT_EQ(record.valid, kProbedCpu | kProbedGpu);
  EXPECT_EQ(record.gcxVersionKnown, 1u);
  EXPECT_EQ(record.gcxVersion, 102003u);
  EXPECT_EQ(ProbeQuery(0x2), 1);
  EXPECT_EQ(ProbeQuery(0x1), 0);  // not the maker's processor
  EXPECT_EQ(IsMakerCpu(), 0);
  EXPECT_EQ(ProbeQuery(0xFFFF), 1);  // the GPU makes the system supported
}


// The device count starts the runtime when it is not started (and answers a failed start's
// negative answer), then reads the count from the started runtime.
TEST_F(GpuProbe, DeviceCountStartsTheRuntimeOnce) {
  SetGcxRuntimeFolder(dir_.c_str());  // an empty folder
  EXPECT_EQ(GcxGetDeviceCount(), -1);
  GcxRuntimeStop();
  orx::test::ScopedEnv version("GCXSTANDIN_VERSION", "1.2.3");
  orx::test::ScopedEnv devices("GCXSTANDIN_DEVICES", "2");
  SetGcxRuntimeFolder(StandIn().c_str());
  EXPECT_EQ(GcxGetDeviceCount(), 2);
  EXPECT_EQ(GcxGetDeviceCount(), 2);
  EXPECT_EQ(GcxOpenedDeviceCount(), 0);  // counting opens no device
  GcxRuntimeStop();
}

}  // namespace
}  // namespace orx::plugin::test
