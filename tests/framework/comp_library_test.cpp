#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "framework/shipped_descriptors.h"
#include "platform/heap.h"
#include "tests/framework/isolation_component.h"
#include "tests/framework/python_check.h"
#include "tests/framework/test_component.h"
#include "tests/support/component_library.h"
#include "tests/support/orx_test.h"
#include "tests/support/process.h"
#include "tests/support/test_paths.h"
#include "tests/support/waiting.h"

namespace orx::test {
namespace {

using CompLibrary = TestLibrary;

// A descriptor of a type no shipped component has, version 1 build 1.
ComponentInfo OtherDescriptor(uint32_t typeFlags, const char* shortName, uint32_t in, uint32_t out) {
  ComponentInfo d{};
  d.interfaceVersion = 0x40001;
  d.typesVersion = 0x10001;
  d.typeFlags = typeFlags;
  d.compVersion = 1;
  d.compBuild = 1;
  std::snprintf(d.shortName, sizeof d.shortName, "%s", shortName);
  d.inputPins = in;
  d.outputPins = out;
  return d;
}

TEST_F(CompLibrary, ShippedDescriptorsAndTheirDefaultPriorities) {
  struct Row {
    const ComponentInfo* descriptor = nullptr;
    ComponentInfo synthetic = {};  // used when descriptor is null
    const char* shortName;
    const char* longName;
    uint8_t idLast[2] = {};  // the last two bytes of the component id
    uint32_t typeFlags, version, build, in, out, maxInstances;
    int32_t priority;
    uint32_t progressKind;
  };
  const Row rows[] = {
      {.descriptor = &kShippedVENC, .shortName = "VENC", .longName = "Video Encoder", .idLast = {0x00, 0x22},
       .typeFlags = 0x200010, .version = 2, .build = 1, .in = 1, .out = 1, .maxInstances = 0, .priority = 14,
       .progressKind = 1},
      {.descriptor = &kShippedCMUX, .shortName = "CMUX", .longName = "Pelkor Mux Writer", .idLast = {0x00, 0x07},
       .typeFlags = 0x800080, .version = 1, .build = 1, .in = 2, .out = 1, .maxInstances = 16, .priority = 0,
       .progressKind = 0},
      {.descriptor = &kShippedAENC, .shortName = "AENC", .longName = "Pelkor Audio Encoder", .idLast = {0x00, 0x23},
       .typeFlags = 0x100010, .version = 1, .build = 1, .in = 1, .out = 1, .maxInstances = 0, .priority = 14,
       .progressKind = 0x100},
      {.descriptor = &kShippedVSCALER, .shortName = "VSCALER", .longName = "Video Scaler", .idLast = {0x02, 0x01},
       .typeFlags = 0x200020, .version = 1, .build = 1, .in = 1, .out = 1, .maxInstances = 0, .priority = 14,
       .progressKind = 1},
      {.descriptor = &kShippedMULTIVENC, .shortName = "MULTIVENC", .longName = "Multi Video Encoder",
       .idLast = {0x00, 0x72}, .typeFlags = 0x200010, .version = 1, .build = 1, .in = 1, .out = 1,
       .maxInstances = 0, .priority = 14, .progressKind = 1},
      // Descriptors of types no shipped component has: a reader and a demultiplexer.
      {.synthetic = OtherDescriptor(0x200001, "READER", 0, 1),
       .shortName = "READER", .longName = "", .typeFlags = 0x200001, .version = 1, .build = 1, .in = 0, .out = 1,
       .maxInstances = 0, .priority = 14, .progressKind = 0},
      {.synthetic = OtherDescriptor(0x100084, "DEMUX", 1, 2),
       .shortName = "DEMUX", .longName = "", .typeFlags = 0x100084, .version = 1, .build = 1, .in = 1, .out = 2,
       .maxInstances = 0, .priority = 14, .progressKind = 0},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.shortName);
    const ComponentInfo& d = row.descriptor ? *row.descriptor : row.synthetic;
    EXPECT_EQ(d.interfaceVersion, 0x40001u);
    EXPECT_EQ(d.typesVersion, 0x10001u);
    EXPECT_STREQ(d.shortName, row.shortName);
    EXPECT_STREQ(d.longName, row.longName);
    if (row.descriptor) {
      const uint8_t id[8] = {0x00, 0x10, 0xEF, 0x00, 0x00, 0x00, row.idLast[0], row.idLast[1]};
      EXPECT_EQ(std::memcmp(d.compId, id, 8), 0);
    }
    EXPECT_EQ(d.typeFlags, row.typeFlags);
    EXPECT_EQ(d.compVersion, row.version);
    EXPECT_EQ(d.compBuild, row.build);
    EXPECT_EQ(d.inputPins, row.in);
    EXPECT_EQ(d.outputPins, row.out);
    EXPECT_EQ(d.maxInstances, row.maxInstances);
    ComponentInstance* instance = nullptr;
    ASSERT_EQ(CompBase_CreateInstance(&d, 0, &instance), QVA_SUCCESS);
    EXPECT_EQ(instance->workerPriority, row.priority);
    EXPECT_EQ(instance->progressKind.load(), row.progressKind);
    EXPECT_EQ(std::memcmp(static_cast<ComponentInfo*>(instance), &d, offsetof(ComponentInfo, methods)), 0);
    EXPECT_EQ(CompBase_Release(instance), QVA_SUCCESS);
  }
}

void* RefuseSmall(size_t size) { return size < 256 ? nullptr : std::malloc(size); }

TEST_F(CompLibrary, InstancesAsATable) {
  uint32_t live = 0;
  // Unknown id: 7, nothing made.
  const uint8_t unknown[8] = {1, 2, 3, 4, 5, 6, 7, 8};
  ComponentInstance* instance = nullptr;
  EXPECT_EQ(CompBase_Create(unknown, 0, &instance), QVA_ERR_NOTFOUND);
  CompBase_LibIsInit(&live);
  EXPECT_EQ(live, 0u);

  // No id: the first descriptor, with a zeroed private area and the defaults.
  ASSERT_EQ(CompBase_Create(nullptr, 40, &instance), QVA_SUCCESS);
  EXPECT_STREQ(instance->shortName, "TENC");
  EXPECT_STREQ(CompBase_GetLibraryName(), "TENC");
  EXPECT_EQ(reinterpret_cast<uintptr_t>(instance->privateArea) % 16, 0u);
  for (int i = 0; i < 40; ++i) EXPECT_EQ(static_cast<uint8_t*>(instance->privateArea)[i], 0);
  EXPECT_EQ(instance->state.load(), QVA_STATE_NONE);
  EXPECT_EQ(instance->progressInterval.load(), 250u);
  EXPECT_EQ(instance->inputMode.load(), 1u);
  EXPECT_EQ(instance->inputPin[0].bufferSize, 8192u);
  EXPECT_EQ(instance->inputPin[0].bufferCount, 2u);
  EXPECT_EQ(instance->outputPin[3].bufferCount, 64u);
  EXPECT_EQ(instance->statistics.stateBits, QVA_STATS_RESET);
  EXPECT_EQ(instance->statistics.blockMarker, 129);
  EXPECT_EQ(instance->methods.QVAComp_PushInput, kCompLibDefaultMethods.QVAComp_PushInput);
  EXPECT_EQ(CompBase_Release(instance), QVA_SUCCESS);
  // A double release is answered without touching the freed block.
  EXPECT_EQ(CompBase_Release(instance), QVA_ERR_BADHANDLE);

  // The instance limit.
  std::vector<ComponentInstance*> muxers;
  for (int i = 0; i < 16; ++i) muxers.push_back(Create(kTestMuxer));
  EXPECT_EQ(CompBase_Create(kTestMuxer.compId, 0, &instance), QVA_ERR_BUSY);
  EXPECT_STREQ(CompBase_GetLibraryName(), "TMUX");
  for (ComponentInstance* m : muxers) CompBase_Release(m);

  // Remembered instances: a released one is never handed out.
  ComponentInstance* a = Create(kTestEncoder);
  ComponentInstance* b = Create(kTestEncoder);
  EXPECT_EQ(CompBase_GetInstance(0), a);
  EXPECT_EQ(CompBase_GetInstance(1), b);
  CompBase_Release(a);
  ComponentInstance* c = Create(kTestEncoder);
  EXPECT_EQ(CompBase_GetIndex(c), 1u);
  EXPECT_EQ(CompBase_GetInstance(0), nullptr);
  EXPECT_EQ(CompBase_GetInstance(1), c);
  CompBase_Release(b);
  CompBase_Release(c);
  std::vector<ComponentInstance*> many;
  for (int i = 0; i < 33; ++i) many.push_back(Create(kTestEncoder));
  EXPECT_EQ(CompBase_GetInstance(31), many[31]);
  EXPECT_EQ(CompBase_GetInstance(32), nullptr);
  for (ComponentInstance* m : many) CompBase_Release(m);

  // A refused lock fails the creation as a whole.
  auto previous = platform::SetHeapAllocateHook(RefuseSmall);
  EXPECT_EQ(CompBase_Create(nullptr, 0, &instance), QVA_ERR_NOMEMORY);
  platform::SetHeapAllocateHook(previous);
  CompBase_LibIsInit(&live);
  EXPECT_EQ(live, 0u);

  // Descriptor queries.
  EXPECT_EQ(CompBase_LibGetCount(), 3u);
  uint8_t record[112];
  EXPECT_EQ(CompBase_GetInfo(2, record), QVA_SUCCESS);
  EXPECT_STREQ(reinterpret_cast<char*>(record + 28), "TSINK");
  EXPECT_EQ(CompBase_GetInfo(3, record), QVA_ERR_BADARG);
  EXPECT_EQ(CompBase_GetInfo(0, nullptr), QVA_ERR_BADARG);
}

TEST(CompExports, EachTestLibraryExportsExactlyTheSixEntryPoints) {
  for (const char* file : {"libframework_iso_a.so", "libframework_iso_b.so"}) {
    const std::string path = TestLibraryDir() + "/" + file;
    ProcessResult nm = RunProcess({RequireProgram("nm"), "-D", "--defined-only", path});
    ASSERT_EQ(nm.exitCode, 0) << nm.err;
    std::set<std::string> names;
    std::istringstream lines(nm.out);
    std::string address, kind, name;
    while (lines >> address >> kind >> name) {
      if (kind != "A") names.insert(name.substr(0, name.find('@')));
    }
    EXPECT_EQ(names, (std::set<std::string>{"QVACompCreate", "QVACompGetInfo", "QVACompLibGetCount",
                                            "QVACompLibInit", "QVACompLibRelease", "QVACompRelease"}))
        << file;
  }
}

TEST(CompExports, PythonReadsTheInformationRecord) {
  // A sanitized library cannot be loaded into an uninstrumented interpreter.
  ORX_RELEASE_ONLY();
  const std::string out = RunPython(
      "import ctypes,struct,sys\n"
      "lib=ctypes.CDLL(sys.argv[1])\n"
      "print(lib.QVACompLibGetCount())\n"
      "record=ctypes.create_string_buffer(112)\n"
      "print(lib.QVACompGetInfo(0, record))\n"
      "iv,tv,flags,ver,build=struct.unpack_from('<5I', record.raw)\n"
      "name=record.raw[28:44].split(b'\\0')[0].decode()\n"
      "pins=struct.unpack_from('<3I', record.raw, 76)\n"
      "print(hex(iv), hex(tv), hex(flags), ver, build, name, pins)\n"
      "print(lib.QVACompGetInfo(1, record))\n",
      {TestLibraryDir() + "/libframework_iso_a.so"});
  EXPECT_EQ(out, "1\n0\n0x40001 0x10001 0x200020 3 7 ISOA (1, 1, 0)\n3\n");
}

IsolationReport Report(ComponentInstance* instance) {
  IsolationReport report{};
  EXPECT_EQ(instance->methods.QVAComp_GetParam(instance, kIsolationReportParam, &report, sizeof report), QVA_SUCCESS);
  return report;
}

TEST(CompIsolation, TwoLibrariesKeepTheirOwnRecordsCountersAndHooks) {
  for (bool aFirst : {true, false}) {
    SCOPED_TRACE(aFirst ? "A loaded first, globally" : "B loaded first, globally");
    ComponentLibrary first(aFirst ? "libframework_iso_a.so" : "libframework_iso_b.so",
                           {.folder = LibraryFolder::kTestLibraries, .global = true});
    ComponentLibrary second(aFirst ? "libframework_iso_b.so" : "libframework_iso_a.so",
                            {.folder = LibraryFolder::kTestLibraries});
    ASSERT_TRUE(first.Loaded() && second.Loaded());
    ComponentLibrary* a = aFirst ? &first : &second;
    ComponentLibrary* b = aFirst ? &second : &first;
    ComponentInstance *a1, *a2, *b1;
    ASSERT_EQ(a->create(nullptr, &a1), QVA_SUCCESS);
    ASSERT_EQ(a->create(nullptr, &a2), QVA_SUCCESS);
    ASSERT_EQ(b->create(nullptr, &b1), QVA_SUCCESS);
    a1->methods.QVAComp_SetParam(a1, kIsolationTraceParam, reinterpret_cast<void*>(1), 0);
    ASSERT_EQ(a1->methods.QVAComp_Start(a1), QVA_SUCCESS);
    ASSERT_EQ(b1->methods.QVAComp_Start(b1), QVA_SUCCESS);
    // Each worker runs its own library's process hook.
    for (ComponentInstance* c : {a1, b1}) {
      uint8_t data[16] = {};
      ComponentBuffer buffer{};
      buffer.flags = QVA_BUFFLAG_EXTERNAL;
      buffer.data = data;
      buffer.length = buffer.capacity = sizeof data;
      ASSERT_EQ(c->methods.QVAComp_SendCommand(c, CMD_PLAY, 1, 0, 0, 0, 0), QVA_SUCCESS);
      ASSERT_EQ(c->methods.QVAComp_PushInput(c, 0, &buffer, QVA_INFINITE, nullptr), QVA_SUCCESS);
      // The report is the loaded library's; it says when its worker has run the hook.
      EXPECT_TRUE(PollUntil([c] { return Report(c).processCalls != 0; }));
    }
    ASSERT_EQ(a1->methods.QVAComp_End(a1), QVA_SUCCESS);
    ASSERT_EQ(b1->methods.QVAComp_End(b1), QVA_SUCCESS);

    const IsolationReport ra = Report(a1);
    const IsolationReport rb = Report(b1);
    EXPECT_EQ(ra.liveCount, 2u);
    EXPECT_EQ(rb.liveCount, 1u);
    EXPECT_STREQ(ra.compName, "ISOA");
    EXPECT_STREQ(rb.compName, "ISOB");
    EXPECT_NE(ra.currentManager, nullptr);
    EXPECT_EQ(rb.currentManager, nullptr);
    EXPECT_EQ(ra.createCalls, 1u);
    EXPECT_EQ(rb.createCalls, 1u);
    EXPECT_EQ(ra.destroyCalls, 1u);
    EXPECT_EQ(rb.destroyCalls, 1u);
    EXPECT_EQ(ra.processCalls, 1u);
    EXPECT_EQ(rb.processCalls, 1u);
    EXPECT_EQ(ra.foreignProcessCalls + rb.foreignProcessCalls, 0u);
    EXPECT_GT(ra.memory.allocations, rb.memory.allocations);
    EXPECT_NE(ra.memory.liveBytes, rb.memory.liveBytes);
    // Each library recognises only its own instances.
    EXPECT_EQ(b->release(a1), QVA_ERR_BADHANDLE);
    a1->methods.QVAComp_SetParam(a1, kIsolationTraceParam, nullptr, 0);
    EXPECT_EQ(a->release(a1), QVA_SUCCESS);
    EXPECT_EQ(a->release(a2), QVA_SUCCESS);
    EXPECT_EQ(b->release(b1), QVA_SUCCESS);
    EXPECT_EQ(a->release(a1), QVA_ERR_BADHANDLE);
  }
}

}  // namespace
}  // namespace orx::test
