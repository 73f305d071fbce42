#include "tests/engine/catalogue/loader_test_support.h"

#include <link.h>

#include <filesystem>

#include "engine/catalogue/component_catalogue.h"
#include "engine/catalogue/component_loader.h"
#include "engine/text/engine_trace.h"
#include "tests/support/test_paths.h"

namespace orx::test {
namespace {

struct MappedSearch {
  std::string wanted;
  bool found;
};

int VisitLoadedObject(dl_phdr_info* info, size_t, void* data) {
  auto* search = static_cast<MappedSearch*>(data);
  std::error_code error;
  if (info->dlpi_name != nullptr && *info->dlpi_name != '\0' &&
      std::filesystem::weakly_canonical(info->dlpi_name, error).string() == search->wanted) {
    search->found = true;
    return 1;
  }
  return 0;
}

}  // namespace

bool IsLibraryMapped(const std::string& path) {
  std::error_code error;
  MappedSearch search{std::filesystem::weakly_canonical(path, error).string(), false};
  dl_iterate_phdr(VisitLoadedObject, &search);
  return search.found;
}

void LoaderTest::SetUp() {
  CompUnloadAll();
  CatalogueRestoreBuiltIn();
  QVAengine_SetGlobalTraceMask(0);
  folder_ = MakeTempDir("engine-loader");
  CompSetLibPath(folder_.c_str(), kLibPathNarrow);
}

void LoaderTest::TearDown() {
  CompUnloadAll();
  EXPECT_EQ(CompGetActiveCount(), 0u);
  CompSetLibPath("", kLibPathNarrow);
  CatalogueRestoreBuiltIn();
  QVAengine_SetGlobalTraceMask(0);
}

std::string LoaderTest::Install(const char* fixture, const std::string& fileName) const {
  const std::filesystem::path to = std::filesystem::path(folder_) / fileName;
  std::filesystem::copy_file(std::filesystem::path(TestLibraryDir()) / fixture, to,
                             std::filesystem::copy_options::overwrite_existing);
  return to.string();
}

}  // namespace orx::test
