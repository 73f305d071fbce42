// The runtime's object model, the core linked directly: handles, the counted start, devices and
// their records, plane pitches and mappings, bindings a run checks, and runs of two contexts in
// two threads.
#include <gtest/gtest.h>

#include <cstring>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "platform/gcx-soft/gcx_soft_codes.h"
#include "platform/gcx-soft/texel_format.h"
#include "tests/gcx-soft/soft_gpu.h"
#include "tests/support/test_paths.h"

namespace orx::test::gcxsoft {
namespace {

using namespace orx::gcxsoft;

// Copies resource 0 to output 0 element by element (unsigned bytes read as v/255, stored back).
const char* kCopy =
    " il_ps_2_0 \n dcl_input_position_interp(linear_noperspective) v0.xy__ \n"
    " dcl_resource_id(0)_type(2d,unnorm)_fmtx(uint)_fmty(uint)_fmtz(uint)_fmtw(uint) \n dcl_output_generic o0 \n"
    " sample_resource(0)_sampler(0) r0, v0.xyxx \n mov o0, r0 \n ret_dyn \n end \n";

TEST(GcxSoftObjects, HandlesAreNonZeroDistinctAndStaleIdsAreRefused) {
  size_t before = Core().LiveObjects();
  std::vector<uint32_t> ids;
  {
    SoftGpu gpu;
    ids = {gpu.device(), gpu.context()};
    Plane a = gpu.NewPlane(16, 16, 0);
    Plane b = gpu.NewPlane(16, 16, 0);
    ids.insert(ids.end(), {a.resource, a.memory, b.resource, b.memory});
    uint32_t object = 0, image = 0, module = 0, function = 0, input = 0, output = 0;
    ASSERT_EQ(Core().ClCompile(&object, 1, kCopy, kDeviceTarget), 0);
    ASSERT_EQ(Core().ClLink(&image, &object, 1), 0);
    ASSERT_EQ(Core().ModuleLoad(&module, gpu.context(), image), 0);
    ASSERT_EQ(Core().ModuleGetEntry(&function, gpu.context(), module, "main"), 0);
    ASSERT_EQ(Core().ModuleGetName(&input, gpu.context(), module, "i0"), 0);
    ASSERT_EQ(Core().ModuleGetName(&output, gpu.context(), module, "o0"), 0);
    ids.insert(ids.end(), {object, image, module, function, input, output});
    EXPECT_EQ(std::set<uint32_t>(ids.begin(), ids.end()).size(), ids.size());
    for (uint32_t id : ids) EXPECT_NE(id, 0u);

    // An id of another kind, an unknown id and 0 are refused.
    EXPECT_EQ(Core().DeviceClose(a.resource), kGcxSoftInvalidHandle);
    EXPECT_EQ(Core().CtxFlush(0), kGcxSoftInvalidHandle);
    EXPECT_EQ(Core().ResFree(0x7FFFFFF0u), kGcxSoftInvalidHandle);
    EXPECT_EQ(Core().ModuleGetName(&input, gpu.context(), module, "i1"), kGcxSoftInvalidArgument);
    EXPECT_EQ(Core().ModuleGetName(&input, gpu.context(), module, "cb0"), kGcxSoftInvalidArgument);
    EXPECT_EQ(Core().ModuleGetEntry(&function, gpu.context(), module, "other"), kGcxSoftInvalidArgument);
    EXPECT_NE(RuntimeError(), "");

    // Freed ids stay refused.
    EXPECT_EQ(Core().ClFreeObject(object), 0);
    EXPECT_EQ(Core().ClFreeObject(object), kGcxSoftInvalidHandle);
    EXPECT_EQ(Core().ClFreeImage(image), 0);
    EXPECT_EQ(Core().ModuleLoad(&module, gpu.context(), image), kGcxSoftInvalidHandle);
    EXPECT_EQ(Core().ModuleUnload(gpu.context(), module), 0);
    EXPECT_EQ(Core().ModuleGetEntry(&function, gpu.context(), module, "main"), kGcxSoftInvalidHandle);
    EXPECT_EQ(Core().CtxSetMem(gpu.context(), input, a.memory), kGcxSoftInvalidHandle);  // the module's names went with it
    EXPECT_EQ(Core().CtxReleaseMem(gpu.context(), b.memory), 0);
    EXPECT_EQ(Core().CtxReleaseMem(gpu.context(), b.memory), kGcxSoftInvalidHandle);
  }
  EXPECT_EQ(Core().LiveObjects(), before);  // nothing left behind
}

TEST(GcxSoftObjects, CountedStartAndDevices) {
  while (Core().Shutdown() == 0) {
  }
  EXPECT_EQ(Core().Shutdown(), kGcxSoftFailed);
  uint32_t count = 0, device = 0;
  EXPECT_EQ(Core().DeviceGetCount(&count), kGcxSoftFailed);
  struct Row {
    const char* devices;
    uint32_t count;
  };
  for (Row row : {Row{nullptr, 1}, Row{"3", 3}, Row{"8", 8}, Row{"9", 1}, Row{"0", 1}, Row{"many", 1}}) {
    SCOPED_TRACE(row.devices ? row.devices : "unset");
    ScopedEnv env("ORX_GCX_SOFT_DEVICES", row.devices);
    ASSERT_EQ(Core().Init(), 0);
    ASSERT_EQ(Core().Init(), 0);
    EXPECT_EQ(Core().DeviceGetCount(&count), 0);
    EXPECT_EQ(count, row.count);
    EXPECT_EQ(Core().DeviceOpen(&device, row.count), kGcxSoftInvalidArgument);
    ASSERT_EQ(Core().DeviceOpen(&device, row.count - 1), 0);
    EXPECT_EQ(Core().DeviceClose(device), 0);
    EXPECT_EQ(Core().Shutdown(), 0);
    EXPECT_EQ(Core().Shutdown(), 0);  // counted: the second one ends it
    EXPECT_EQ(Core().Shutdown(), kGcxSoftFailed);
  }
  int32_t major = 0, minor = 0, build = -1;
  EXPECT_EQ(Core().GetVersion(&major, &minor, &build), 0);
  EXPECT_EQ(major * 100 + minor, 102);
  EXPECT_EQ(Core().ExtSupported(gcx::GCX_EXT_SAMPLER_PARAM), 0);
  EXPECT_EQ(Core().ExtSupported(gcx::GCX_EXT_RES_CREATE), 0);
  EXPECT_NE(Core().ExtSupported(gcx::GCX_EXT_PRIVATE_COUNTERS), 0);
  EXPECT_NE(Core().ExtSupported(gcx::GCX_EXT_COUNTERS), 0);
}

// The caller's size word decides how much of the record is written; nothing lands past it.
TEST(GcxSoftObjects, AttributeRecordSizes) {
  SoftGpu gpu;
  struct Row {
    uint32_t size;
    GcxResult result;
  };
  for (Row row : {Row{68, 0}, Row{28, 0}, Row{3, kGcxSoftInvalidArgument}, Row{72, kGcxSoftInvalidArgument}}) {
    SCOPED_TRACE(row.size);
    uint32_t words[20];
    std::memset(words, 0xCD, sizeof(words));
    words[0] = row.size;
    EXPECT_EQ(Core().DeviceGetAttribs(reinterpret_cast<gcx::GcxDeviceAttribs*>(words), 0), row.result);
    uint32_t written = row.result == 0 ? row.size / 4 : 1;
    EXPECT_EQ(words[0], row.size);
    for (uint32_t i = written; i < 20; ++i) EXPECT_EQ(words[i], 0xCDCDCDCDu) << "word " << i;
    if (row.size == 68) {
      gcx::GcxDeviceAttribs a;
      std::memcpy(&a, words, sizeof(a));
      EXPECT_EQ(a.target, kDeviceTarget);
      EXPECT_EQ(a.wavefrontSize, 64u);
      EXPECT_EQ(a.computeShader, 1u);
      EXPECT_EQ(a.memExport, 1u);
      EXPECT_EQ(a.pitchAlign, 64u);
      EXPECT_EQ(a.addrAlign, 256u);
      EXPECT_GT(a.engineClockMHz, 0u);
      EXPECT_GT(a.gpuMemMB, 0u);
    }
    if (row.size == 28) {
      EXPECT_GT(words[5], 0u);  // the engine clock is within the 28 bytes
    }
  }
  gcx::GcxDeviceStatus status{16, 0, 0, 0};
  EXPECT_EQ(Core().DeviceGetStatus(&status, gpu.device()), 0);
  EXPECT_GT(status.freeLocalMB, 0u);
  status.size = 20;
  EXPECT_EQ(Core().DeviceGetStatus(&status, gpu.device()), kGcxSoftInvalidArgument);
}

TEST(GcxSoftObjects, PlanePitches) {
  SoftGpu gpu;
  struct Row {
    uint32_t width, format, pitch;
  };
  for (Row row : {Row{720, 0, 768}, Row{64, 0, 256}, Row{352, 0, 512}, Row{720, 13, 768}, Row{100, 9, 128},
                  Row{1, 3, 128}, Row{300, 14, 320}}) {
    SCOPED_TRACE(std::to_string(row.width) + " of format " + std::to_string(row.format));
    EXPECT_EQ(gpu.NewPlane(row.width, 4, row.format).pitch, row.pitch);
    EXPECT_EQ(AlignedPitch(row.width, FindTexelFormat(row.format)->ElementBytes()), row.pitch);
  }
  uint32_t resource = 0;
  uint32_t device = gpu.device();
  EXPECT_EQ(Core().ResAlloc2D(&resource, &device, 1, 16, 16, 23), kGcxSoftInvalidArgument);
  EXPECT_EQ(Core().ResAlloc2D(&resource, &device, 1, 0, 16, 0), kGcxSoftInvalidArgument);
}

// Callers keep the one mapping's address for the plane's life and write through it after the
// unmap: a program run afterwards reads what they wrote.
TEST(GcxSoftObjects, MappedAddressStaysGoodAfterUnmap) {
  SoftGpu gpu;
  Plane in = gpu.NewPlane(100, 10, 0);  // mapped and unmapped once
  Plane out = gpu.NewPlane(100, 10, 0);
  uint32_t module = gpu.Load(kCopy);
  gpu.Bind(module, "i0", in);
  gpu.Bind(module, "o0", out);
  for (int round = 0; round < 2; ++round) {
    for (uint32_t y = 0; y < 10; ++y)
      for (uint32_t x = 0; x < 100; ++x) *in.Element(x, y) = static_cast<uint8_t>(x * 3 + y * 7 + round);
    ASSERT_EQ(gpu.Run(module, 0, 0, 100, 10), 0) << RuntimeError();
    for (uint32_t y = 0; y < 10; ++y)
      for (uint32_t x = 0; x < 100; ++x) ASSERT_EQ(*out.Element(x, y), static_cast<uint8_t>(x * 3 + y * 7 + round));
  }
  // Freeing the plane while a memory handle names it keeps the storage for that handle.
  EXPECT_EQ(Core().ResFree(in.resource), 0);
  EXPECT_EQ(gpu.Run(module, 0, 0, 100, 10), 0);
  void* address = nullptr;
  uint32_t pitch = 0;
  EXPECT_EQ(Core().ResMap(&address, &pitch, in.resource), kGcxSoftInvalidHandle);
}

TEST(GcxSoftObjects, RunsCheckBindingsAndDomain) {
  SoftGpu gpu;
  Plane in = gpu.NewPlane(32, 8, 0);
  Plane out = gpu.NewPlane(32, 8, 0);
  uint32_t module = gpu.Load(kCopy);
  gpu.Bind(module, "o0", out);
  EXPECT_EQ(gpu.Run(module, 0, 0, 32, 8), kGcxSoftNotReady);  // i0 unbound
  EXPECT_NE(RuntimeError().find("i0"), std::string::npos);
  gpu.Bind(module, "i0", in);
  EXPECT_EQ(gpu.Run(module, 0, 0, 32, 8), 0);
  EXPECT_EQ(gpu.Run(module, 1, 0, 32, 8), kGcxSoftNotReady);  // one column past the output
  EXPECT_EQ(gpu.Run(module, 0, 4, 32, 5), kGcxSoftNotReady);
  EXPECT_EQ(gpu.Run(module, 0xFFFFFFFFu, 0, 2, 1), kGcxSoftNotReady);
  EXPECT_EQ(gpu.Run(module, 16, 4, 16, 4), 0);
  EXPECT_EQ(gpu.RunGrid(module, 64, 1), kGcxSoftInvalidArgument);  // a pixel program
  uint32_t name = 0;
  ASSERT_EQ(Core().ModuleGetName(&name, gpu.context(), module, "o0"), 0);
  ASSERT_EQ(Core().CtxSetMem(gpu.context(), name, 0), 0);  // unbinds
  EXPECT_EQ(gpu.Run(module, 0, 0, 32, 8), kGcxSoftNotReady);
  // A constant block smaller than the program declares is refused too.
  uint32_t withConstants = gpu.Load(
      " il_ps_2_0 \n dcl_cb cb0[2] \n dcl_input_position_interp(linear_noperspective) v0.xy__ \n"
      " dcl_output_generic o0 \n mov o0, cb0[1] \n end \n");
  gpu.Bind(withConstants, "o0", out);
  EXPECT_EQ(gpu.Run(withConstants, 0, 0, 1, 1), kGcxSoftNotReady);
  Plane small = gpu.NewPlane(1, 1, 13);  // 16 bytes
  gpu.Bind(withConstants, "cb0", small);
  EXPECT_EQ(gpu.Run(withConstants, 0, 0, 1, 1), 0);  // the aligned pitch holds two entries
}

TEST(GcxSoftObjects, MemCopyAndWrappedMemory) {
  SoftGpu gpu;
  Plane a = gpu.NewPlane(40, 3, 0);
  Plane b = gpu.NewPlane(40, 3, 0);
  Plane c = gpu.NewPlane(41, 3, 0);
  for (uint32_t y = 0; y < 3; ++y)
    for (uint32_t x = 0; x < 40; ++x) *a.Element(x, y) = static_cast<uint8_t>(x + 50 * y);
  uint32_t event = 0;
  ASSERT_EQ(Core().MemCopy(&event, gpu.context(), a.memory, b.memory), 0);
  EXPECT_EQ(Core().CtxIsEventDone(gpu.context(), event), 0);
  for (uint32_t y = 0; y < 3; ++y) EXPECT_EQ(std::memcmp(a.Element(0, y), b.Element(0, y), 40), 0);
  EXPECT_EQ(Core().MemCopy(&event, gpu.context(), a.memory, c.memory), kGcxSoftInvalidArgument);

  // Caller memory: a 2-D plane needs the aligned pitch's bytes.
  std::vector<uint8_t> memory(256 * 4);
  uint32_t resource = 0;
  EXPECT_EQ(Core().ResCreate(&resource, gpu.device(), memory.data(), 200, 5, true, 0, 256 * 4),
            kGcxSoftInvalidArgument);
  ASSERT_EQ(Core().ResCreate(&resource, gpu.device(), memory.data(), 200, 4, true, 0, 256 * 4), 0);
  void* address = nullptr;
  uint32_t pitch = 0;
  ASSERT_EQ(Core().ResMap(&address, &pitch, resource), 0);
  EXPECT_EQ(address, memory.data());
  EXPECT_EQ(pitch, 256u);
  EXPECT_EQ(Core().ResFree(resource), 0);
}

// Two threads, each with its own context, program and planes, run at the same time.
TEST(GcxSoftThreads, TwoContextsRunInParallel) {
  SoftGpu owner;  // keeps the runtime started
  auto work = [](int seed, bool* ok) {
    SoftGpu gpu;
    Plane in = gpu.NewPlane(96, 24, 0);
    Plane out = gpu.NewPlane(96, 24, 0);
    uint32_t module = gpu.Load(kCopy);
    gpu.Bind(module, "i0", in);
    gpu.Bind(module, "o0", out);
    *ok = true;
    for (int round = 0; round < 20; ++round) {
      for (uint32_t y = 0; y < 24; ++y)
        for (uint32_t x = 0; x < 96; ++x) *in.Element(x, y) = static_cast<uint8_t>(x + y + round + seed);
      if (gpu.Run(module, 0, 0, 96, 24) != 0) *ok = false;
      for (uint32_t y = 0; y < 24; ++y)
        for (uint32_t x = 0; x < 96; ++x)
          if (*out.Element(x, y) != static_cast<uint8_t>(x + y + round + seed)) *ok = false;
    }
  };
  bool ok1 = false, ok2 = false;
  std::thread t1(work, 1, &ok1), t2(work, 100, &ok2);
  t1.join();
  t2.join();
  EXPECT_TRUE(ok1);
  EXPECT_TRUE(ok2);
}

}  // namespace
}  // namespace orx::test::gcxsoft
