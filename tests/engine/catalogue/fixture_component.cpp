// A component library for the loader tests, built on the framework; the tests copy it into a
// search folder under the file names the catalogue tries. FIXTURE_INTERFACE_VERSION gives a
// variant that announces another interface version.
#include <atomic>

#include "framework/component_library.h"
#include "tests/engine/catalogue/fixture_component.h"

#ifndef FIXTURE_INTERFACE_VERSION
#define FIXTURE_INTERFACE_VERSION QVA_INTERFACE_VERSION
#endif

namespace {

std::atomic<uint32_t> g_libReleaseCalls{0};

QVAStatus GetParam(ComponentInstance* instance, uint32_t id, void* data, uint32_t size) {
  if (id != kFixtureReportParam) return CompBase_GetParam(instance, id, data, size);
  if (data == nullptr || size < sizeof(FixtureReport)) return QVA_ERR_BADARG;
  FixtureReport* report = static_cast<FixtureReport*>(data);
  *report = FixtureReport{};
  CompBase_LibIsInit(&report->liveCount);
  const QVAMemCounters memory = QVAGetMemCounters();
  report->allocations = memory.allocations;
  report->releases = memory.releases;
  report->libReleaseCalls = g_libReleaseCalls;
  return QVA_SUCCESS;
}

constexpr QVACompMethods Methods() {
  QVACompMethods methods = kCompLibDefaultMethods;
  methods.QVAComp_GetParam = GetParam;
  return methods;
}

const ComponentInfo kDescriptors[] = {QVAMakeDescriptor(
    {FIXTURE_INTERFACE_VERSION, QVA_TYPES_VERSION, QVA_TYPE_VIDEO | QVA_TYPE_ENCODER, 2, 5,
     {0x00, 0x10, 0xEF, 0x00, 0x00, 0x00, 0x7E, 0x51}, "FIXT", "Engine fixture", 1, 1, 0, {}, {}},
    Methods())};

void CountLibRelease() { g_libReleaseCalls++; }

const CompLibraryDefinition kLibrary = {kDescriptors, 1, 16, 4096, 2, 4096, 4, nullptr, CountLibRelease, nullptr, nullptr};

}  // namespace

QVAStatus CompCreateHook(ComponentInstance* instance) {
  if (!CompBase_IsState(instance, QVA_STATE_NONE)) return QVA_ERR_WRONGSTATE;
  return CompBase_Init(instance);
}

QVAStatus CompProcessHook(ComponentInstance*, ComponentBuffer*) { return QVA_SUCCESS; }

QVAStatus CompDestroyHook(ComponentInstance* instance) { return CompBase_Deinit(instance); }

QVA_COMPONENT_LIBRARY(kLibrary)
