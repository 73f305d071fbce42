#pragma once
// A search folder of fixture component libraries for the loader and graph tests, and a check of
// which libraries the process has mapped.
#include <gtest/gtest.h>

#include <string>

namespace orx::test {

// Built fixture libraries (in the test library folder).
inline constexpr const char* kFixtureLibrary = "libengine_fixture.so";
inline constexpr const char* kFixtureOldVersionLibrary = "libengine_fixture_v3.so";
inline constexpr const char* kFixtureNoLibInitLibrary = "libengine_no_libinit.so";

// True while a library loaded from that path is mapped into the process.
bool IsLibraryMapped(const std::string& path);

// Each test gets the built-in catalogue, an empty loader table, a fresh search folder and the
// trace mask 0; at the end every entry is unloaded.
class LoaderTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;
  // Copies a built fixture library into the search folder as fileName; answers its path.
  std::string Install(const char* fixture, const std::string& fileName) const;
  std::string folder_;
};

}  // namespace orx::test
