// The contour check's debug output, in its own process: the debug marker is
// read once per process.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "geometry/contour2d/contour_shapes.h"
#include "geometry/contour2d/kont2d.h"
#include "geometry/errors/error_state.h"

namespace {

using namespace contour_shapes;
namespace fs = std::filesystem;

TEST(Kont2dDebug, SelfCrossingTreeIsWrittenToProblemBndWithTheMarkerOn) {
  const fs::path dir =
      fs::path(::testing::TempDir()) / ("kont2d_debug_" + std::to_string(getpid()));
  fs::create_directories(dir);
  const fs::path marker = dir / "marker.info";
  std::ofstream(marker) << "DEBUG 1\n";
  ASSERT_EQ(setenv("TESSARO_VYRDEBUG", marker.c_str(), 1), 0);
  const fs::path before = fs::current_path();
  fs::current_path(dir);
  vyrErrSetDir(dir.c_str());
  ASSERT_EQ(vyrDebugEnabled(), 1);

  Kont2d* bowtie = treeOf({{{0, 0}, {4, 4}, {4, 0}, {0, 4}}});
  Kont2d* fine = treeOf({rect(0, 0, 1, 1)});
  ASSERT_NE(bowtie, nullptr);
  EXPECT_EQ(kontCheck(fine, 3), 1);
  EXPECT_FALSE(fs::exists(dir / "problem.bnd"));
  EXPECT_EQ(kontCheck(bowtie, 2), -41);
  std::ifstream in(dir / "problem.bnd");
  std::stringstream text;
  text << in.rdbuf();
  EXPECT_NE(text.str().find("**BND "), std::string::npos);
  EXPECT_NE(text.str().find("X4.000000 Y4.000000 Z"), std::string::npos);
  EXPECT_NE(text.str().find("**END\n"), std::string::npos);
  kontFree(bowtie);
  kontFree(fine);

  vyrErrSetDir(nullptr);
  fs::current_path(before);
  fs::remove_all(dir);
}

}  // namespace
