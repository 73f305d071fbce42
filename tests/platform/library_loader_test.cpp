#include <gtest/gtest.h>

#include "platform/library_loader.h"
#include "tests/support/test_paths.h"

namespace orx::platform {
namespace {

TEST(LibraryLoader, LoadsByPathAndFindsEntry) {
  std::string path = orx::test::TestLibraryDir() + "/libplatform_probe.so";
  void* lib = LoadLibrary(path.c_str());
  ASSERT_NE(lib, nullptr) << LastLibraryError();
  using AnswerFn = int (*)();
  auto answer = reinterpret_cast<AnswerFn>(GetLibrarySymbol(lib, "PlatformProbeAnswer"));
  ASSERT_NE(answer, nullptr) << LastLibraryError();
  EXPECT_EQ(answer(), 42);
  // Hidden symbols stay hidden.
  EXPECT_EQ(GetLibrarySymbol(lib, "PlatformProbeHidden"), nullptr);
  EXPECT_NE(LastLibraryError().find("PlatformProbeHidden"), std::string::npos);
  EXPECT_TRUE(FreeLibrary(lib));
}

TEST(LibraryLoader, MissingLibraryKeepsTheErrorText) {
  EXPECT_EQ(LoadLibrary("/nonexistent/folder/libnothing.so"), nullptr);
  std::string error = LastLibraryError();
  EXPECT_NE(error.find("libnothing.so"), std::string::npos) << error;
  EXPECT_NE(error.find("No such file"), std::string::npos) << error;
  EXPECT_EQ(LoadLibrary(""), nullptr);
  EXPECT_FALSE(LastLibraryError().empty());
  EXPECT_FALSE(FreeLibrary(nullptr));
}

}  // namespace
}  // namespace orx::platform
