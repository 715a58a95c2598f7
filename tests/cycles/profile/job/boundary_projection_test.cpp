#include "cycles/profile/job/boundary_projection.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "base/messages.h"
#include "base/text_helpers.h"
#include "cycles/profile/job/job_boundaries.h"
#include "cycles/profile/job/job_prepare.h"
#include "formats/kfy/kfy_file.h"
#include "geometry/frame/working_frame.h"
#include "model/contact/contact_settings.h"
#include "support/temp_dir.h"
#include "support/test_models.h"

namespace {

using tsupport::readFile;
using tsupport::splitLines;
using tsupport::TempDir;
using tsupport::writeFile;

// A square of side 2 drawn at z 0.
constexpr char kSquare[] = "**BND 1\nX0 Y0 Z0\nX2 Y0 Z0\nX2 Y2 Z0\nX0 Y2 Z0\nX0 Y0 Z0\n**END\n";
constexpr double kPlaneZ = 5;

// A point of a projected BND file.
struct Point {
  double x, y, z;
};

// The point lines of every block of a BND text, one list per block.
std::vector<std::vector<Point>> blocks(const std::string& text) {
  std::vector<std::vector<Point>> out;
  for (const std::string& line : splitLines(text)) {
    if (line.rfind("**BND", 0) == 0) {
      out.emplace_back();
      continue;
    }
    Point p{};
    if (!out.empty() && strParseNumbers3(line.c_str(), &p.x, &p.y, &p.z) == 3) {
      out.back().push_back(p);
    }
  }
  return out;
}

bool onSquareOutline(const Point& p) {
  const auto at = [](double v, double w) { return std::fabs(v - w) < 1e-6; };
  const auto within = [](double v) { return v > -1e-6 && v < 2 + 1e-6; };
  return ((at(p.x, 0) || at(p.x, 2)) && within(p.y)) || ((at(p.y, 0) || at(p.y, 2)) && within(p.x));
}

bool hasPoint(const std::vector<Point>& points, double x, double y) {
  for (const Point& p : points) {
    if (std::fabs(p.x - x) < 1e-6 && std::fabs(p.y - y) < 1e-6) return true;
  }
  return false;
}

// A plane at z 5 over [-20, 30]^2 as a binary STL file and a boundary file,
// in a directory of their own that is also the temporary directory.
class BoundaryProjection : public ::testing::Test {
 protected:
  void SetUp() override {
    frameReset();
    contactSettingsReset();
    jobScale = 1;
    const auto plane =
        testmodels::heightField([](double, double) { return kPlaneZ; }, -20, 30, -20, 30, 5, 5);
    ASSERT_TRUE(testmodels::writeBinaryStl(dir_.file("plane.stl"), plane));
    ASSERT_TRUE(writeFile(dir_.file("b.bnd"), kSquare));
    setName(dir_.file("b.bnd"));
  }
  void TearDown() override {
    jobTempFilesRemove();
    frameReset();
    contactSettingsReset();
    jobScale = 1;
  }

  void setName(const std::string& s) { std::snprintf(name_, sizeof name_, "%s", s.c_str()); }

  int project(double radius, Vec3d direction = {0, 0, 1}, std::string part = "") {
    if (part.empty()) part = dir_.file("plane.stl");
    return bndProjectBoundaryFile(name_, sizeof name_, part.c_str(), "", "", dir_.path().c_str(), 0,
                                  0, direction, radius);
  }

  TempDir dir_;
  char name_[1024] = {};
};

TEST(BndProjectionScale, SmallToolsAreProjectedLarger) {
  const struct {
    double radius;
    double scale;
  } rows[] = {{0.5, 25}, {0.999, 25}, {1, 2}, {1.5, 2}, {1.999, 2}, {2, 1}, {3, 1}};
  for (const auto& row : rows) EXPECT_EQ(bndProjectionScale(row.radius), row.scale) << row.radius;
}

// The drop reports tool centres: the ball of radius 3 rests on the plane
// with its centre 3 above it.
TEST_F(BoundaryProjection, SquareOnAPlaneGivesTheToolCentrePath) {
  ASSERT_EQ(project(3), 1);
  EXPECT_EQ(std::string(name_), dir_.file("proj.bnd"));
  EXPECT_EQ(readFile(dir_.file("proj.bnd")),
            "**BND 1\n"
            "X0.000000 Y0.000000 Z8.000000\n"
            "X0.008000 Y0.000000 Z8.000000\n"
            "X1.008000 Y0.000000 Z8.000000\n"
            "X2.000000 Y0.000000 Z8.000000\n"
            "X2.000000 Y0.008000 Z8.000000\n"
            "X2.000000 Y1.008000 Z8.000000\n"
            "X2.000000 Y2.000000 Z8.000000\n"
            "X1.992000 Y2.000000 Z8.000000\n"
            "X0.992000 Y2.000000 Z8.000000\n"
            "X0.000000 Y2.000000 Z8.000000\n"
            "X0.000000 Y1.992000 Z8.000000\n"
            "X0.000000 Y0.992000 Z8.000000\n"
            "X0.000000 Y0.008010 Z8.000000\n"
            "X0.000000 Y0.000010 Z8.000000\n"
            "**END\n");
  const std::string kfy = readFile(dir_.file("proj.kfy"));
  EXPECT_EQ(kfy.rfind(std::string(kfyBanner) + "\nkFY-Version: 1.0\ntemporary\nqzdrilhc\n\n"
                                               "vprecision(4) ; Nachkommastellen\n\n"
                                               "oContour[1]()\n{\n"
                                               "  oL( x[0.000000/0.008000] y[0.000000/0.000000] "
                                               "z[8.000000/8.000000] )\n",
                      0),
            0u)
      << kfy;
  EXPECT_EQ(splitLines(kfy).size(), 7u + 2 + 13 + 1);
}

// The projection chooses its own working size from the radius; the path
// lies on the same square whatever it is, and the run's scale stays.
TEST_F(BoundaryProjection, SmallAndLargeToolsProjectTheSameSquare) {
  for (double radius : {0.5, 1.5, 3.0}) {
    SCOPED_TRACE(radius);
    setName(dir_.file("b.bnd"));
    jobScale = 4;
    ASSERT_EQ(project(radius), 1);
    EXPECT_EQ(jobScale, 4);
    const auto b = blocks(readFile(dir_.file("proj.bnd")));
    ASSERT_EQ(b.size(), 1u);
    for (const Point& p : b[0]) {
      EXPECT_TRUE(onSquareOutline(p)) << p.x << " " << p.y;
      EXPECT_NEAR(p.z, kPlaneZ + radius, 1e-6);
    }
    for (const auto& c : std::vector<Point>{{0, 0, 0}, {2, 0, 0}, {2, 2, 0}, {0, 2, 0}}) {
      EXPECT_TRUE(hasPoint(b[0], c.x, c.y)) << c.x << " " << c.y;
    }
  }
}

// The direction is the side the tool comes from; its length does not count.
TEST_F(BoundaryProjection, DirectionChoosesTheSideOfThePart) {
  const struct {
    const char* name;
    Vec3d d;
    double z;
  } rows[] = {
      {"from above", {0, 0, 1}, kPlaneZ + 3},
      {"from below", {0, 0, -1}, kPlaneZ - 3},
      {"from above, longer direction", {0, 0, 4}, kPlaneZ + 3},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    setName(dir_.file("b.bnd"));
    ASSERT_EQ(project(3, row.d), 1);
    const auto b = blocks(readFile(dir_.file("proj.bnd")));
    ASSERT_EQ(b.size(), 1u);
    ASSERT_FALSE(b[0].empty());
    for (const Point& p : b[0]) {
      EXPECT_TRUE(onSquareOutline(p)) << p.x << " " << p.y;
      EXPECT_NEAR(p.z, row.z, 1e-6);
    }
  }
}

TEST_F(BoundaryProjection, EveryBoundaryBecomesABlockOfItsOwn) {
  ASSERT_TRUE(writeFile(dir_.file("two.bnd"),
                        std::string(kSquare) + "**BND 2\nX10 Y10 Z-3\nX12 Y10 Z7\n**END\n"));
  setName(dir_.file("two.bnd"));
  ASSERT_EQ(project(3), 1);
  const auto b = blocks(readFile(dir_.file("proj.bnd")));
  ASSERT_EQ(b.size(), 2u);
  // The heights of the drawing do not count.
  ASSERT_FALSE(b[1].empty());
  for (const Point& p : b[1]) {
    EXPECT_NEAR(p.y, 10, 1e-6);
    EXPECT_NEAR(p.z, kPlaneZ + 3, 1e-6);
  }
}

// A "**CLN" block holds the 3D curve of the boundary before it: no
// boundary of its own is projected from it.
TEST_F(BoundaryProjection, CurveBlocksAreNoBoundariesOfTheirOwn) {
  const std::string cln = "**CLN\nX0 Y0 Z0\nX40 Y40 Z0\n**END\n";
  ASSERT_TRUE(
      writeFile(dir_.file("cln.bnd"),
                std::string(kSquare) + cln + "**BND 2\nX10 Y10 Z0\nX12 Y10 Z0\n**END\n" + cln));
  setName(dir_.file("cln.bnd"));
  ASSERT_EQ(project(3), 1);
  const auto b = blocks(readFile(dir_.file("proj.bnd")));
  ASSERT_EQ(b.size(), 2u);
  for (const Point& p : b[0]) EXPECT_TRUE(onSquareOutline(p)) << p.x << " " << p.y;
  ASSERT_FALSE(b[1].empty());
  for (const Point& p : b[1]) EXPECT_NEAR(p.y, 10, 1e-6);
}

TEST_F(BoundaryProjection, FailuresLeaveTheBoundaryName) {
  ASSERT_TRUE(writeFile(dir_.file("empty.bnd"), ""));
  const struct {
    const char* name;
    std::string boundary;
    std::string part;
    Vec3d d;
    double radius;
  } rows[] = {
      {"missing model", dir_.file("b.bnd"), dir_.file("none.stl"), {0, 0, 1}, 3},
      {"empty boundary file", dir_.file("empty.bnd"), "", {0, 0, 1}, 3},
      {"missing boundary file", dir_.file("none.bnd"), "", {0, 0, 1}, 3},
      {"no direction", dir_.file("b.bnd"), "", {0, 0, 0}, 3},
      {"no tool radius", dir_.file("b.bnd"), "", {0, 0, 1}, 0},
      {"negative tool radius", dir_.file("b.bnd"), "", {0, 0, 1}, -1},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    setName(row.boundary);
    EXPECT_EQ(project(row.radius, row.d, row.part), -1);
    EXPECT_EQ(std::string(name_), row.boundary);
    EXPECT_FALSE(std::filesystem::exists(dir_.file("proj.bnd")));
  }
}

// A projection stopped on its way (here before its first profile) writes
// no boundary at all: part of one would machine another region.
TEST_F(BoundaryProjection, StoppedDropLeavesNoPartOfABoundary) {
  cycSetBreakHook([] { return 1; });
  EXPECT_EQ(project(3), 1);
  cycSetBreakHook(nullptr);
  EXPECT_EQ(std::string(name_), dir_.file("b.bnd"));
  EXPECT_FALSE(std::filesystem::exists(dir_.file("proj.bnd")));
}

// The projected file's path must fit the job's name field whole.
TEST_F(BoundaryProjection, PathLongerThanTheNameFieldFails) {
  char shortName[16] = "b.bnd";
  EXPECT_EQ(bndProjectBoundaryFile(shortName, sizeof shortName, dir_.file("plane.stl").c_str(), "",
                                   "", dir_.path().c_str(), 0, 0, {0, 0, 1}, 3),
            -1);
  EXPECT_STREQ(shortName, "b.bnd");
}

// Without a writable temporary directory the job keeps its own boundary.
TEST_F(BoundaryProjection, UnwritableOutputKeepsTheBoundaryName) {
  const std::string missing = dir_.file("no/such/dir");
  EXPECT_EQ(bndProjectBoundaryFile(name_, sizeof name_, dir_.file("plane.stl").c_str(), "", "",
                                   missing.c_str(), 0, 0, {0, 0, 1}, 3),
            1);
  EXPECT_EQ(std::string(name_), dir_.file("b.bnd"));
}

// The debug file goes with the projected boundary into the temporary
// directory, never into the working directory, and both go at the end of
// the run.
TEST_F(BoundaryProjection, GeneratedFilesAreTemporary) {
  tsupport::ScopedWorkDir work;
  ASSERT_EQ(project(3), 1);
  EXPECT_FALSE(std::filesystem::exists(work.file("proj.kfy")));
  EXPECT_TRUE(std::filesystem::exists(dir_.file("proj.kfy")));
  EXPECT_TRUE(std::filesystem::exists(dir_.file("proj.bnd")));
  jobTempFilesRemove();
  EXPECT_FALSE(std::filesystem::exists(dir_.file("proj.kfy")));
  EXPECT_FALSE(std::filesystem::exists(dir_.file("proj.bnd")));
}

// Each drop points the contact settings at its model; after the projection
// they point where they did before, not into the freed projection model.
TEST_F(BoundaryProjection, LeavesTheContactSelectionAsItWas) {
  Facet facets[2] = {};
  Vec3d corners[2] = {};
  contactSetFacetModel(facets, 2, corners, corners, nullptr, -7, 70, 1);
  for (const bool ok : {true, false}) {
    SCOPED_TRACE(ok);
    setName(dir_.file(ok ? "b.bnd" : "none.bnd"));
    ASSERT_EQ(project(3), ok ? 1 : -1);
    ContactContext after;
    contactContextLoad(&after);
    EXPECT_EQ(after.facets, facets);
    EXPECT_EQ(after.facetCount, 2);
    EXPECT_EQ(after.minCorners, corners);
    EXPECT_EQ(after.zFloor, -7);
    EXPECT_EQ(after.zTop, 70);
    EXPECT_EQ(after.keepUntouched, 1);
  }
}

}  // namespace
