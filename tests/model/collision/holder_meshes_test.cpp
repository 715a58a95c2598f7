#include "model/collision/holder_meshes.h"

#include <gtest/gtest.h>
#include <omp.h>

#include <cmath>
#include <memory>
#include <numbers>
#include <random>
#include <set>
#include <algorithm>
#include <string>
#include <vector>

#include "formats/kfy/kfy_file.h"
#include "geometry/curves/kfy_contours.h"
#include "model/io/model_load.h"
#include "model/io/model_test_files.h"
#include "support/message_capture.h"
#include "support/temp_dir.h"
#include "support/test_models.h"

namespace {

using tsupport::MessageCapture;

struct OutlineDeleter {
  void operator()(ToolOutline* o) const { toolOutlineFree(o); }
};
struct MeshDeleter {
  void operator()(FloatTriList* m) const { listFloatTriFree(m); }
};
using OutlinePtr = std::unique_ptr<ToolOutline, OutlineDeleter>;
using MeshPtr = std::unique_ptr<FloatTriList, MeshDeleter>;

// Holder bottom 30 above the tip, nose to 40, body to 90; head to 200.
HolderClearance clearance() {
  HolderClearance c{};
  c.toolType = kToolBall;
  c.radius = 3.0;
  c.cornerRadius = 3.0;
  c.freeLength = 30.0;
  c.cuttingLength = 12.0;
  c.shankDiameter = 6.0;
  c.noseDiameter = 24.0;
  c.bodyDiameter = 40.0;
  c.noseTop = 40.0;
  c.holderTop = 90.0;
  c.headDiameter1 = 60.0;
  c.headStepTop = 120.0;
  c.headDiameter2 = 100.0;
  c.headTop = 200.0;
  return c;
}

std::vector<Tri> plane(double z, double half) {
  return testmodels::heightField([z](double, double) { return z; }, -half, half, -half, half, 8, 8);
}

int collideAt(double x, double y, double z) {
  const Vec3d p{x, y, z};
  return holderMeshesCollideAt(&p);
}

bool hasMessage(const MessageCapture& cap, const std::string& v) {
  for (const std::string& s : cap.values) {
    if (s == v) return true;
  }
  return false;
}

class HolderMeshesTest : public ::testing::Test {
 protected:
  void SetUp() override {
    holderMeshReset();
    kfyContourFrameReset();
    modelLoadReset();
  }
  void TearDown() override { holderMeshReset(); }
  tsupport::ScopedWorkDir dir_;
};

// ---- Revolved outlines ----------------------------------------------------------

TEST(HolderSectorCountTest, Table) {
  struct Row {
    double radius, tolerance;
    int sectors;
  };
  const Row rows[] = {
      {0.0, 0.5, 2},                                                   // on the axis
      {0.0, 0.0, 2},                                                   // on the axis, no tolerance
      {10.0, 0.01, 1 + static_cast<int>(std::numbers::pi / std::acos(0.999))},
      {10.0, 20.0, 2},                                                 // a tolerance beyond the diameter
      {10.0, 0.0, 1 + static_cast<int>(std::numbers::pi / std::acos(1 - kHolderMinChordShare))},
      {10.0, -1.0, 1 + static_cast<int>(std::numbers::pi / std::acos(1 - kHolderMinChordShare))},
      {10.0, std::nan(""), 1 + static_cast<int>(std::numbers::pi / std::acos(1 - kHolderMinChordShare))},
      {10.0, 1e-12, kHolderMaxSectors},
  };
  for (const Row& r : rows) {
    EXPECT_EQ(holderSectorCount(r.radius, r.tolerance), r.sectors) << r.radius << " " << r.tolerance;
  }
}

TEST(HolderMeshFromOutlineTest, AxisSegmentGivesTwoSectors) {
  OutlinePtr o(toolOutlineNew(3));
  const Seg2 axis{0, 0, 0, 5};
  toolOutlineAppend(o.get(), &axis, 1);
  MeshPtr m(holderMeshFromOutline(o.get(), 0.1));
  ASSERT_NE(m, nullptr);
  EXPECT_EQ(m->count, 4);
}

TEST(HolderMeshFromOutlineTest, FlatOrEmptyOutlineGivesAnEmptyMesh) {
  OutlinePtr o(toolOutlineNew(3));
  MeshPtr empty(holderMeshFromOutline(o.get(), 0.1));
  ASSERT_NE(empty, nullptr);
  EXPECT_EQ(empty->count, 0);
  const Seg2 face{0, 3, 10, 3};
  toolOutlineAppend(o.get(), &face, 1);
  MeshPtr flat(holderMeshFromOutline(o.get(), 0.1));
  ASSERT_NE(flat, nullptr);
  EXPECT_EQ(flat->count, 0);
}

TEST(HolderMeshFromOutlineTest, VerticesLieOnTheCirclesOfTheOutline) {
  const HolderClearance c = clearance();
  OutlinePtr o(toolOutlineHolder(&c));
  MeshPtr m(holderMeshFromOutline(o.get(), 0.05));
  ASSERT_NE(m, nullptr);
  int want = 0;
  for (int i = 0; i < o->count; ++i) {
    const Seg2& s = o->segments[i];
    want += 2 * holderSectorCount(std::max(s.x0, s.x1), 0.05);
  }
  EXPECT_EQ(m->count, want);
  for (int i = 0; i < m->count; ++i) {
    for (const auto& v : m->items[i].v) {
      const double r = std::hypot(v[0], v[1]);
      const bool onCircle = std::fabs(r - 0.0) < 1e-4 || std::fabs(r - 12.0) < 1e-4 ||
                            std::fabs(r - 20.0) < 1e-4;
      EXPECT_TRUE(onCircle) << r;
      EXPECT_GE(v[2], 30.0f - 1e-4f);
      EXPECT_LE(v[2], 90.0f + 1e-4f);
    }
  }
  EXPECT_NEAR(m->maxX, 20.0, 1e-4);
}

TEST(HolderMeshFromOutlineTest, ZeroChordToleranceGivesABoundedMesh) {
  const HolderClearance c = clearance();
  OutlinePtr o(toolOutlineHolder(&c));
  for (double g : {0.0, -3.0}) {
    MeshPtr m(holderMeshFromOutline(o.get(), g));
    ASSERT_NE(m, nullptr);
    EXPECT_LE(m->count, o->count * 2 * kHolderMaxSectors);
    EXPECT_GT(m->count, 0);
  }
}

// ---- Model meshes ------------------------------------------------------------------

TEST(HolderMeshFromModelTest, EveryItemOnceWithOrWithoutGrid) {
  const std::vector<Tri> tris = testmodels::hemisphereOnPlate(10.0, 6, 24, 15.0, 6);
  for (int kind : {kModelKindFacets, kModelKindTriangles}) {
    testmodels::TestModel plain(tris, kind, testmodels::ballTool(2.0));
    testmodels::TestModel gridded(tris, kind, testmodels::ballTool(2.0));
    gridded.buildGrid();
    ASSERT_NE(gridded.model()->grid, nullptr);
    MeshPtr a(holderMeshFromModel(plain.model()));
    MeshPtr b(holderMeshFromModel(gridded.model()));
    ASSERT_NE(a, nullptr);
    ASSERT_NE(b, nullptr);
    const int perItem = kind == kModelKindFacets ? 2 : 1;
    EXPECT_EQ(a->count, perItem * static_cast<int>(tris.size()));
    EXPECT_EQ(b->count, a->count);
    auto key = [](const FloatTri& t) {
      return std::vector<float>(&t.v[0][0], &t.v[0][0] + 9);
    };
    std::multiset<std::vector<float>> sa, sb;
    for (int i = 0; i < a->count; ++i) sa.insert(key(a->items[i]));
    for (int i = 0; i < b->count; ++i) sb.insert(key(b->items[i]));
    EXPECT_EQ(sa, sb);
  }
}

// ---- Default build: collisions and lift ------------------------------------------------

TEST_F(HolderMeshesTest, DefaultBuildCollidesOnlyWhenTheHolderReachesTheModel) {
  testmodels::TestModel tm(plane(0.0, 50.0), kModelKindFacets, testmodels::ballTool(3.0));
  tm.buildGrid();
  const HolderClearance c = clearance();
  ASSERT_EQ(holderBuildDefault(tm.model(), &c, 0.05, 0.0), 1);
  ASSERT_NE(holderMeshSet()->surfaceTree, nullptr);
  EXPECT_EQ(collideAt(0, 0, 100.0), 1);
  EXPECT_EQ(collideAt(0, 0, -29.9), 1);   // holder bottom 0.1 above the plane
  EXPECT_EQ(collideAt(0, 0, -30.0), -2);  // touching counts
  EXPECT_EQ(collideAt(0, 0, -35.0), -2);
  EXPECT_EQ(collideAt(200, 0, -35.0), 1);  // beside the model
  holderFreeModels();
  EXPECT_EQ(holderMeshSet()->surfaceMesh, nullptr);
  EXPECT_EQ(holderMeshSet()->holderTree, nullptr);
}

TEST_F(HolderMeshesTest, LiftThatStartsFreeIsUnchanged) {
  testmodels::TestModel tm(plane(0.0, 50.0), kModelKindFacets, testmodels::ballTool(3.0));
  const HolderClearance c = clearance();
  ASSERT_EQ(holderBuildDefault(tm.model(), &c, 0.05, 0.0), 1);
  const Vec3d p{0, 0, 0};
  double lift = 2.5;
  EXPECT_EQ(holderFindLift(&p, &lift), 1);
  EXPECT_EQ(lift, 2.5);
}

TEST_F(HolderMeshesTest, LiftEndsFreeWithinTheResolutionOfACollision) {
  testmodels::TestModel tm(testmodels::hemisphereOnPlate(20.0, 12, 48, 40.0, 10), kModelKindFacets,
                           testmodels::ballTool(3.0));
  tm.buildGrid();
  const HolderClearance c = clearance();
  ASSERT_EQ(holderBuildDefault(tm.model(), &c, 0.05, 0.0), 1);
  std::mt19937 rng(99);
  std::uniform_real_distribution<double> u(-35.0, 35.0);
  int lifted = 0;
  for (int i = 0; i < 40; ++i) {
    const Vec3d p{u(rng), u(rng), -20.0};
    double lift = 0.0;
    ASSERT_EQ(holderFindLift(&p, &lift), 1);
    if (lift == 0.0) {
      EXPECT_EQ(collideAt(p.x, p.y, p.z), 1);
      continue;
    }
    ++lifted;
    EXPECT_GT(lift, 0.0);
    EXPECT_EQ(collideAt(p.x, p.y, p.z + lift), 1) << i;
    EXPECT_EQ(collideAt(p.x, p.y, p.z + lift - kHolderLiftResolution), -2) << i;
  }
  EXPECT_GT(lifted, 15);
}

TEST_F(HolderMeshesTest, LiftWithoutSurfacesFails) {
  const Vec3d p{0, 0, 0};
  double lift = 1.0;
  EXPECT_EQ(holderFindLift(&p, &lift), 1);  // nothing built: nothing collides
  EXPECT_EQ(lift, 1.0);
}

TEST_F(HolderMeshesTest, ChecksAgreeAcrossThreadCounts) {
  testmodels::TestModel tm(testmodels::hemisphereOnPlate(20.0, 12, 48, 40.0, 10), kModelKindFacets,
                           testmodels::ballTool(3.0));
  tm.buildGrid();
  const HolderClearance c = clearance();
  ASSERT_EQ(holderBuildDefault(tm.model(), &c, 0.05, 0.0), 1);
  const int n = 2000;
  std::vector<int> serial(n), parallel(n);
  auto position = [](int i) {
    return Vec3d{-45.0 + 0.045 * i, 30.0 * std::sin(0.01 * i), -25.0 + 0.02 * i};
  };
  for (int i = 0; i < n; ++i) {
    const Vec3d p = position(i);
    serial[i] = holderMeshesCollideAt(&p);
  }
#pragma omp parallel for num_threads(4) schedule(dynamic, 7)
  for (int i = 0; i < n; ++i) {
    const Vec3d p = position(i);
    parallel[i] = holderMeshesCollideAt(&p);
  }
  EXPECT_EQ(serial, parallel);
  EXPECT_NE(std::count(serial.begin(), serial.end(), -2), 0);
  EXPECT_NE(std::count(serial.begin(), serial.end(), 1), 0);
}

// ---- File build ------------------------------------------------------------------------

std::string kfyText(const std::string& elements) {
  return std::string(kfyBanner) + "\nkFY-Version: 1.0\nGeometry\nContours\n" + elements;
}

TEST_F(HolderMeshesTest, WithOnlyAHeadSurfaceTheHolderNeverCollides) {
  const std::string stl = dir_.file("head.stl");
  model_test::writeText(stl, model_test::stlAsciiText(plane(0.0, 100.0)));
  testmodels::TestModel tm(plane(0.0, 10.0), kModelKindFacets, testmodels::ballTool(3.0));
  const HolderClearance c = clearance();
  ASSERT_EQ(holderBuildFromFiles(tm.model(), &c, 0.0, "", stl.c_str(), "", "", 1.0, 1.0), 1);
  ASSERT_NE(holderMeshSet()->headCheckTree, nullptr);
  EXPECT_EQ(holderMeshSet()->holderCheckMesh, nullptr);
  EXPECT_EQ(collideAt(0, 0, -60.0), 1);    // the holder crosses the plane, untested
  EXPECT_EQ(collideAt(0, 0, -100.0), -2);  // the head reaches it
  double lift = 0.0;
  const Vec3d p{0, 0, -100.0};
  ASSERT_EQ(holderFindLift(&p, &lift), 1);
  EXPECT_EQ(collideAt(0, 0, -100.0 + lift), 1);
  EXPECT_EQ(collideAt(0, 0, -100.0 + lift - kHolderLiftResolution), -2);
}

TEST_F(HolderMeshesTest, MissingContourLeavesTheHolderUncheckedWithAWarning) {
  const std::string kfy = dir_.file("tools.kfy");
  ASSERT_TRUE(tsupport::writeFile(kfy, kfyText("oContour[Other]( )\n{\n oL( x[0/10] y[0/5] )\n}\n")));
  const std::string stl = dir_.file("part.stl");
  model_test::writeText(stl, model_test::stlAsciiText(plane(0.0, 100.0)));
  testmodels::TestModel tm(plane(0.0, 10.0), kModelKindFacets, testmodels::ballTool(3.0));
  const HolderClearance c = clearance();
  MessageCapture cap;
  ASSERT_EQ(holderBuildFromFiles(tm.model(), &c, 0.0, stl.c_str(), "", kfy.c_str(), "", 1.0, 1.0), 1);
  EXPECT_EQ(holderMeshSet()->holderMesh, nullptr);
  EXPECT_NE(holderMeshSet()->headMesh, nullptr);
  EXPECT_TRUE(hasMessage(cap, "6055,1"));
}

TEST_F(HolderMeshesTest, UnreadableSurfaceFileIsReportedNotIgnored) {
  testmodels::TestModel tm(plane(0.0, 10.0), kModelKindFacets, testmodels::ballTool(3.0));
  const HolderClearance c = clearance();
  MessageCapture cap;
  const std::string missing = dir_.file("missing.stl");
  ASSERT_EQ(holderBuildFromFiles(tm.model(), &c, 0.0, missing.c_str(), missing.c_str(), "", "", 1.0,
                                 1.0),
            1);
  EXPECT_TRUE(hasMessage(cap, "6055,3"));
  EXPECT_TRUE(hasMessage(cap, "6055,4"));
}

TEST_F(HolderMeshesTest, KfyHolderWithAllowanceAndShank) {
  const std::string kfy = dir_.file("tools.kfy");
  ASSERT_TRUE(tsupport::writeFile(
      kfy, kfyText("oContour[Holder]( )\n{\n oL( x[0/10] y[0/0] )\n oL( x[/10] y[/40] )\n}\n"
                   "oContour[Head]( )\n{\n oL( x[0/30] y[0/0] )\n oL( x[/30] y[/50] )\n}\n")));
  const std::string stl = dir_.file("part.stl");
  model_test::writeText(stl, model_test::stlAsciiText(plane(0.0, 100.0)));
  testmodels::TestModel tm(plane(0.0, 10.0), kModelKindFacets, testmodels::ballTool(3.0));
  HolderClearance c = clearance();
  c.shankDiameter = 10.0;  // wider than the cutter: the shank is checked too
  holderSetMeshTolerances(0.02, 0.05);
  ASSERT_EQ(holderBuildFromFiles(tm.model(), &c, 0.5, stl.c_str(), stl.c_str(), kfy.c_str(),
                                 kfy.c_str(), 1.0, 2.0),
            1);
  const HolderMeshSet* s = holderMeshSet();
  ASSERT_NE(s->holderMesh, nullptr);
  ASSERT_NE(s->headMesh, nullptr);
  // The shank starts at the cutting length (12), lowered by the offset
  // 1.2 x 0.02 + 1 and raised by the allowance 0.5.
  EXPECT_NEAR(s->holderMesh->minZ, 12.0 - 1.024 + 0.5, 1e-3);
  // The holder's top (30 + 40) grows by the allowance offset before the
  // shank is added, then by the clearance offset and the shift; the head is
  // based on the holder's top after the allowance offset.
  EXPECT_NEAR(s->holderMesh->maxZ, 70.0 + 0.5 + 1.024 + 0.5, 1e-3);
  EXPECT_NEAR(s->headMesh->minZ, 70.5 - (2.0 + 0.5 + 0.06) + 0.5, 1e-3);
  EXPECT_EQ(collideAt(0, 0, -11.0), 1);
  EXPECT_EQ(collideAt(0, 0, -12.0), -2);  // the shank reaches the plane
}

TEST_F(HolderMeshesTest, ZeroClearanceWithoutMeshTolerancesTerminates) {
  const std::string stl = dir_.file("part.stl");
  model_test::writeText(stl, model_test::stlAsciiText(plane(0.0, 100.0)));
  testmodels::TestModel tm(plane(0.0, 10.0), kModelKindFacets, testmodels::ballTool(3.0));
  const HolderClearance c = clearance();
  ASSERT_EQ(holderBuildFromFiles(tm.model(), &c, 0.0, stl.c_str(), stl.c_str(), "", "", 0.0, 0.0), 1);
  ASSERT_NE(holderMeshSet()->holderMesh, nullptr);
  EXPECT_LE(holderMeshSet()->holderMesh->count, 3 * 2 * kHolderMaxSectors);
}

}  // namespace
