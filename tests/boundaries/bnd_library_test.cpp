#include "boundaries/bnd_library.h"

#include <gtest/gtest.h>

#include <string>

namespace {

TEST(BndLibraryPath, JoinsTheDirectoryAndTheLibraryName) {
  const struct {
    const char* dir;
    const char* path;
  } rows[] = {
      {nullptr, "libqzZbnd.so"},        {"", "libqzZbnd.so"},
      {" lib", "libqzZbnd.so"},         {"/opt/lib", "/opt/lib/libqzZbnd.so"},
      {"/opt/lib/", "/opt/lib/libqzZbnd.so"}, {"C:\\lib\\", "C:\\lib\\libqzZbnd.so"},
  };
  for (const auto& row : rows) {
    char out[1024];
    ASSERT_EQ(bndLibraryPath(row.dir, out, sizeof out), 0);
    EXPECT_STREQ(out, row.path);
  }
}

TEST(BndLibraryPath, RefusesAPathThatDoesNotFit) {
  const std::string dir(1100, 'd');
  char out[1024];
  EXPECT_EQ(bndLibraryPath(dir.c_str(), out, sizeof out), -1);
}

TEST(BndDllComputeZBoundary, MissingLibraryGivesMinusOne) {
  EXPECT_EQ(bndDllComputeZBoundary("/nonexistent/dir", "m.3df", 4, "bound.bnd"), -1);
}

}  // namespace
