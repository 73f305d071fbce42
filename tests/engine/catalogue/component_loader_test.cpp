// The catalogue and the loader with fixture component libraries in a temporary search folder.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "engine/catalogue/component_catalogue.h"
#include "engine/catalogue/component_loader.h"
#include "engine/text/engine_trace.h"
#include "framework/qva_component.h"
#include "tests/engine/catalogue/fixture_component.h"
#include "tests/engine/catalogue/loader_test_support.h"
#include "tests/support/test_paths.h"

namespace orx::test {
namespace {

FixtureReport Report(ComponentInstance* instance) {
  FixtureReport report{};
  EXPECT_EQ(instance->methods.QVAComp_GetParam(instance, kFixtureReportParam, &report, sizeof report), 0u);
  return report;
}

std::string CapturedTrace(const std::function<void()>& action) {
  testing::internal::CaptureStdout();
  action();
  return testing::internal::GetCapturedStdout();
}

using ComponentLoader = LoaderTest;

TEST_F(ComponentLoader, CatalogueRowFindsQvavencAsLibqvavencSo) {
  const std::string path = Install(kFixtureLibrary, "libqvavenc.so");
  ComponentInstance* encoder = CompCreateByName("qvavenc", 0, 0);
  ASSERT_NE(encoder, nullptr);
  EXPECT_STREQ(encoder->shortName, "FIXT");
  const ActiveCompInfo* entry = CompFindLoaded("QVAVENC", 0);
  ASSERT_NE(entry, nullptr);
  EXPECT_STREQ(entry->registration.name, "libqvavenc.so");
  EXPECT_TRUE(IsLibraryMapped(path));
  EXPECT_EQ(CompUnload(encoder), 0u);
  EXPECT_FALSE(IsLibraryMapped(path));
}

TEST_F(ComponentLoader, NameOutsideTheCatalogueTriesSoThenDll) {
  struct Case {
    std::vector<std::string> files;
    std::string opened;
  };
  const Case cases[] = {
      {{"qvacmux.so"}, "qvacmux.so"},
      {{"qvacmux.dll"}, "qvacmux.dll"},
      {{"qvacmux.dll", "qvacmux.so"}, "qvacmux.so"},
  };
  for (const Case& c : cases) {
    for (const auto& file : std::filesystem::directory_iterator(folder_)) std::filesystem::remove(file.path());
    for (const std::string& file : c.files) Install(kFixtureLibrary, file);
    ComponentInstance* mux = CompCreateByName("qvacmux", 0, 0);
    ASSERT_NE(mux, nullptr) << c.opened;
    EXPECT_EQ(CompFindLoaded("qvacmux", 0)->registration.name, c.opened);
    EXPECT_TRUE(IsLibraryMapped(folder_ + "/" + c.opened));
    EXPECT_EQ(CompUnload(mux), 0u);
  }
}

TEST_F(ComponentLoader, ListCreatesFromTheFirstNameThatLoads) {
  Install(kFixtureLibrary, "good.so");
  ComponentInstance* instance = CompCreateByName(" bad , good", 0, 0);
  ASSERT_NE(instance, nullptr);
  EXPECT_EQ(CompFindCreated("good", 0), instance);
  EXPECT_EQ(CompFindLoaded("bad", 0), nullptr);
  EXPECT_EQ(CompCreateByName("bad;worse", 0, 0), nullptr);
  EXPECT_EQ(CompUnload(instance), 0u);
}

TEST_F(ComponentLoader, SecondCreationReusesTheEntryAndTheLastReleaseUnloads) {
  const std::string path = Install(kFixtureLibrary, "libqvavenc.so");
  ComponentInstance* first = CompCreateByName("qvavenc", 0, 0);
  ComponentInstance* second = CompCreateByName("qvavenc", 0, 0);
  ASSERT_NE(first, nullptr);
  ASSERT_NE(second, nullptr);
  EXPECT_NE(first, second);
  const ActiveCompInfo* entry = CompFindLoaded("qvavenc", 0);
  EXPECT_EQ(entry->refCount, 2u);
  EXPECT_EQ(entry->created[0], first);
  EXPECT_EQ(entry->created[1], second);
  EXPECT_EQ(CompGetActiveCount(), 1u);
  EXPECT_EQ(Report(first).liveCount, 2u);

  EXPECT_EQ(CompUnload(first), 0u);
  EXPECT_TRUE(IsLibraryMapped(path));
  EXPECT_EQ(Report(second).liveCount, 1u);
  EXPECT_EQ(CompUnload(second), 0u);
  EXPECT_FALSE(IsLibraryMapped(path));
  EXPECT_EQ(CompGetActiveCount(), 0u);
}

TEST_F(ComponentLoader, ReleasedHandlesAreForgotten) {
  Install(kFixtureLibrary, "libqvavenc.so");
  ComponentInstance* first = CompCreateByName("qvavenc", 0, 0);
  ComponentInstance* second = CompCreateByName("qvavenc", 0, 0);
  ASSERT_EQ(CompUnload(first), 0u);
  EXPECT_EQ(CompFindCreated("qvavenc", 0), second);
  EXPECT_EQ(CompUnload(first), 7u);  // released before: no entry remembers it
  EXPECT_EQ(CompFindLoaded("qvavenc", 0)->refCount, 1u);
  ASSERT_EQ(CompUnload(second), 0u);
  EXPECT_EQ(CompFindCreated("qvavenc", 0), nullptr);
  EXPECT_EQ(CompUnload(second), 7u);
  EXPECT_EQ(CompUnload(nullptr), 7u);
}

TEST_F(ComponentLoader, TwelveInstancesReleasedLeaveTheLibraryUnmapped) {
  const std::string path = Install(kFixtureLibrary, "libqvavenc.so");
  std::vector<ComponentInstance*> instances;
  for (int i = 0; i < 12; ++i) {
    instances.push_back(CompCreateByName("qvavenc", 0, 0));
    ASSERT_NE(instances.back(), nullptr);
  }
  EXPECT_EQ(CompFindLoaded("qvavenc", 0)->refCount, 12u);
  for (ComponentInstance* instance : instances) EXPECT_EQ(CompUnload(instance), 0u);
  EXPECT_FALSE(IsLibraryMapped(path));
  EXPECT_EQ(CompGetActiveCount(), 0u);
}

TEST_F(ComponentLoader, SearchFolderWithOrWithoutTrailingSeparator) {
  const std::string path = Install(kFixtureLibrary, "qvacmux.so");
  for (const std::string& folder : {folder_, folder_ + "/"}) {
    CompSetLibPath(folder.c_str(), kLibPathNarrow);
    ComponentInstance* mux = CompCreateByName("qvacmux", 0, 0);
    ASSERT_NE(mux, nullptr) << folder;
    EXPECT_TRUE(IsLibraryMapped(path));
    EXPECT_EQ(CompUnload(mux), 0u);
  }
  char stored[512];
  EXPECT_EQ(CompGetLibPath(stored, sizeof stored), 0u);
  EXPECT_EQ(std::string(stored), folder_ + "/");
}

TEST_F(ComponentLoader, WideSearchFoldersBecomeUtf8) {
  const std::filesystem::path wideFolder = std::filesystem::path(folder_) / "biblioth\xC3\xA8que";
  std::filesystem::create_directory(wideFolder);
  std::filesystem::copy_file(std::filesystem::path(TestLibraryDir()) / kFixtureLibrary, wideFolder / "qvacmux.so");
  const std::u16string utf16 = wideFolder.u16string();
  const std::u32string utf32 = wideFolder.u32string();
  const void* texts[] = {utf16.c_str(), utf32.c_str()};
  const uint32_t kinds[] = {kLibPathUtf16, kLibPathUtf32};
  for (int i = 0; i < 2; ++i) {
    CompSetLibPath(texts[i], kinds[i]);
    char stored[512];
    CompGetLibPath(stored, sizeof stored);
    EXPECT_EQ(std::string(stored), wideFolder.string());
    ComponentInstance* mux = CompCreateByName("qvacmux", 0, 0);
    ASSERT_NE(mux, nullptr) << "kind " << kinds[i];
    EXPECT_EQ(CompUnload(mux), 0u);
  }
}

TEST_F(ComponentLoader, FailuresAreTracedAtLevelOne) {
  QVAengine_SetGlobalTraceMask(ENGINEDEBUG_FLAG_ERROR);
  Install(kFixtureNoLibInitLibrary, "nolib.so");
  Install(kFixtureLibrary, "yes.so");
  ComponentInstance* instance = nullptr;
  const std::string trace = CapturedTrace([&] { instance = CompCreateByName("missing,nolib,yes", 0, 0); });
  ASSERT_NE(instance, nullptr);
  EXPECT_EQ(CompFindCreated("yes", 0), instance);
  EXPECT_NE(trace.find("ERROR - Failed to open Component library: missing.so,missing.dll (" + folder_ +
                       "/missing.dll: cannot open shared object file"),
            std::string::npos)
      << trace;
  EXPECT_NE(trace.find("CompLoad(nolib) LibInit(hLib="), std::string::npos) << trace;
  EXPECT_NE(trace.find(folder_ + "/nolib.so) failed\n"), std::string::npos) << trace;
  EXPECT_EQ(CompUnload(instance), 0u);
}

TEST_F(ComponentLoader, InterfaceVersionMismatchIsWarnedAndKept) {
  QVAengine_SetGlobalTraceMask(ENGINEDEBUG_FLAG_ERROR);
  Install(kFixtureOldVersionLibrary, "oldcomp.so");
  ComponentInstance* instance = nullptr;
  const std::string trace = CapturedTrace([&] { instance = CompCreateByName("oldcomp", 0, 0); });
  ASSERT_NE(instance, nullptr);
  EXPECT_EQ(trace, "Warning: Component (FIXT) version mismatch: Engine=0x00040001 Comp=0x00030001\n");
  EXPECT_EQ(CompUnload(instance), 0u);
}

TEST_F(ComponentLoader, TwoLibrariesKeepTheirFrameworkCountersApart) {
  Install(kFixtureLibrary, "libqvavenc.so");
  Install(kFixtureLibrary, "qvacmux.so");
  const QVAMemCounters ownBefore = QVAGetMemCounters();
  ComponentInstance* encoderA = CompCreateByName("qvavenc", 0, 0);
  ComponentInstance* encoderB = CompCreateByName("qvavenc", 0, 0);
  ComponentInstance* mux = CompCreateByName("qvacmux", 0, 0);
  ASSERT_TRUE(encoderA && encoderB && mux);
  const FixtureReport encoders = Report(encoderA);
  const FixtureReport muxes = Report(mux);
  EXPECT_EQ(encoders.liveCount, 2u);
  EXPECT_EQ(muxes.liveCount, 1u);
  EXPECT_GT(encoders.allocations, muxes.allocations);
  EXPECT_EQ(QVAGetMemCounters().allocations, ownBefore.allocations);  // the test's own copy is untouched
  EXPECT_EQ(CompUnload(encoderA), 0u);
  EXPECT_EQ(CompUnload(encoderB), 0u);
  EXPECT_EQ(Report(mux).liveCount, 1u);
  EXPECT_EQ(CompUnload(mux), 0u);
}

// A built-in component made by the test program.
std::vector<ComponentInstance*> g_staticCreated;
uint32_t g_staticLibReleases = 0;
QVAStatus StaticCreate(const uint8_t*, ComponentInstance** out) {
  *out = new ComponentInstance();
  (*out)->interfaceVersion = QVA_INTERFACE_VERSION;
  std::strcpy((*out)->shortName, "STATIC");
  g_staticCreated.push_back(*out);
  return QVA_SUCCESS;
}
QVAStatus StaticRelease(ComponentInstance* instance) {
  delete instance;
  return QVA_SUCCESS;
}
QVAStatus StaticLibRelease() {
  ++g_staticLibReleases;
  return QVA_SUCCESS;
}

StaticCompRecord StaticRecord(const char* name) {
  StaticCompRecord record{};
  std::strncpy(record.name, name, sizeof record.name - 1);
  record.libRelease = StaticLibRelease;
  record.create = StaticCreate;
  record.release = StaticRelease;
  return record;
}

TEST_F(ComponentLoader, RegisteredComponentIsFoundBeforeAnyFile) {
  const std::string path = Install(kFixtureLibrary, "libqvavenc.so");
  g_staticLibReleases = 0;
  const StaticCompRecord record = StaticRecord("qvavenc");
  EXPECT_EQ(CompRegisterStatic(&record, 0), 0u);
  EXPECT_EQ(CompRegisterStatic(&record, 0), 1u);  // already registered by this owner
  ComponentInstance* instance = CompCreateByName("qvavenc", 0, 0);
  ASSERT_NE(instance, nullptr);
  EXPECT_STREQ(instance->shortName, "STATIC");
  EXPECT_FALSE(IsLibraryMapped(path));
  EXPECT_EQ(CompUnload(instance), 0u);
  EXPECT_EQ(g_staticLibReleases, 1u);
  EXPECT_EQ(CompGetActiveCount(), 0u);

  StaticCompRecord empty{};
  std::strcpy(empty.name, "nothing");
  EXPECT_EQ(CompRegisterStatic(&empty, 0), 0u);
  EXPECT_EQ(CompFindLoaded("nothing", 0), nullptr);
}

TEST_F(ComponentLoader, SixteenEntriesInUseRefuseCreation) {
  Install(kFixtureLibrary, "libqvavenc.so");
  for (int i = 0; i < 16; ++i) {
    const StaticCompRecord record = StaticRecord(("comp" + std::to_string(i)).c_str());
    ASSERT_EQ(CompRegisterStatic(&record, 0), 0u);
  }
  EXPECT_EQ(CompGetActiveCount(), 16u);
  EXPECT_EQ(CompCreateByName("qvavenc", 0, 0), nullptr);
  const StaticCompRecord more = StaticRecord("comp16");
  EXPECT_EQ(CompRegisterStatic(&more, 0), 0u);
  EXPECT_EQ(CompFindLoaded("comp16", 0), nullptr);
}

TEST_F(ComponentLoader, CatalogueReplacesAppendsAndRefusesWhenFull) {
  CatalogueEntry row{};
  row.id = 7;
  std::strcpy(row.name, "QVAVENC");
  std::strcpy(row.libraries, "other.so");
  EXPECT_EQ(CatalogueAddEntry(&row), 0u);
  EXPECT_STREQ(CatalogueFindByName("qvavenc")->libraries, "other.so");
  EXPECT_EQ(CatalogueFindById(7), CatalogueFindByName("qvavenc"));
  EXPECT_EQ(CatalogueFindByName("freader")->id, 0xFFFFu);
  EXPECT_STREQ(CatalogueFind("mp3dec")->libraries,
               "libqvampadec.so,libqvamp3fhgdec.so,qvampadec.dll,qvamp3fhgdec.dll");
  for (int i = 0; i < 4; ++i) {
    row.id = 100 + i;
    const std::string name = "added" + std::to_string(i);
    std::strcpy(row.name, name.c_str());
    EXPECT_EQ(CatalogueAddEntry(&row), 0u) << i;
  }
  EXPECT_EQ(CatalogueFindById(103)->name, std::string("added3"));
  std::strcpy(row.name, "onetoomany");
  EXPECT_EQ(CatalogueAddEntry(&row), 54u);
  EXPECT_EQ(CatalogueFindByName("onetoomany"), nullptr);
  std::strcpy(row.name, "ADDED0");
  std::strcpy(row.libraries, "replaced.so");
  EXPECT_EQ(CatalogueAddEntry(&row), 0u);  // replacing still works when full
  EXPECT_STREQ(CatalogueFindByName("added0")->libraries, "replaced.so");
}

TEST_F(ComponentLoader, UnreferencedLoaderFunctions) {
  const std::string path = Install(kFixtureLibrary, "byid.so");
  CatalogueEntry row{};
  row.id = 77;
  std::strcpy(row.name, "byid");
  std::strcpy(row.libraries, "byid.so");
  ASSERT_EQ(CatalogueAddEntry(&row), 0u);
  ComponentInstance* first = CompLoadById(77, 0, 0);
  ASSERT_NE(first, nullptr);
  EXPECT_EQ(CompLoadById(77, 0, 0), first);  // the loaded entry's first instance
  ComponentInstance* second = CompLoadById(77, 0, 1);  // no reuse: loaded again
  ASSERT_NE(second, nullptr);
  EXPECT_NE(second, first);
  EXPECT_EQ(CompGetActiveCount(), 2u);
  EXPECT_EQ(CompLoadById(78, 0, 0), nullptr);

  EXPECT_EQ(CompUnloadById(77, 0), 0u);
  EXPECT_EQ(CompUnloadByName("BYID", 0), 0u);
  EXPECT_EQ(CompUnloadByName("byid", 0), 7u);
  EXPECT_FALSE(IsLibraryMapped(path));

  // Entries anywhere in the table go, their instances first.
  Install(kFixtureLibrary, "libqvavenc.so");
  Install(kFixtureLibrary, "qvacmux.so");
  ASSERT_NE(CompCreateByName("qvavenc", 0, 0), nullptr);
  ComponentInstance* mux = CompCreateByName("qvacmux", 0, 0);
  ASSERT_NE(CompCreateByName("qvavenc", 0, 1), nullptr);
  ASSERT_EQ(CompUnload(mux), 0u);  // leaves a gap at the second place
  EXPECT_EQ(CompGetActiveCount(), 2u);
  CompUnloadAll();
  EXPECT_EQ(CompGetActiveCount(), 0u);
  EXPECT_FALSE(IsLibraryMapped(folder_ + "/libqvavenc.so"));

  const StaticCompRecord record = StaticRecord("forgotten");
  ASSERT_EQ(CompRegisterStatic(&record, 0), 0u);
  ActiveCompClearAll();
  EXPECT_EQ(CompGetActiveCount(), 0u);
  EXPECT_EQ(CompFindLoaded("forgotten", 0), nullptr);
}

using LoaderThreads = LoaderTest;

TEST_F(LoaderThreads, TwoThreadsCreateAndReleaseAtOnce) {
  const std::string path = Install(kFixtureLibrary, "libqvavenc.so");
  Install(kFixtureLibrary, "qvacmux.so");
  auto work = [](const char* name) {
    for (int i = 0; i < 20; ++i) {
      ComponentInstance* a = CompCreateByName(name, 0, 0);
      ComponentInstance* b = CompCreateByName("qvavenc", 0, 0);
      ASSERT_NE(a, nullptr);
      ASSERT_NE(b, nullptr);
      EXPECT_EQ(CompUnload(b), 0u);
      EXPECT_EQ(CompUnload(a), 0u);
    }
  };
  std::thread first(work, "qvavenc");
  std::thread second(work, "qvacmux");
  first.join();
  second.join();
  EXPECT_EQ(CompGetActiveCount(), 0u);
  EXPECT_FALSE(IsLibraryMapped(path));
}

}  // namespace
}  // namespace orx::test
