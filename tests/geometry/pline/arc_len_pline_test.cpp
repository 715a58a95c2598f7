#include "geometry/pline/arc_len_pline.h"

#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <memory>
#include <string>
#include <vector>

#include "support/test_plines.h"

namespace {

using tsupport::PlinePtr;
using tsupport::plineThrough;

struct AlpDeleter {
  void operator()(ArcLenPline* p) const { arcLenPlineFree(p); }
};
using AlpPtr = std::unique_ptr<ArcLenPline, AlpDeleter>;

AlpPtr twoPoint(const Vec3d& a, const Vec3d& b, double ta, double tb) {
  AlpPtr pl(arcLenPlineCreate(2));
  pl->points[0] = a;
  pl->points[1] = b;
  pl->params[0] = ta;
  pl->params[1] = tb;
  pl->count = 2;
  return pl;
}

TEST(ArcLenPlineFromCurve, ArcLengthParametersWithoutRepeats) {
  Vec2d pts[] = {{0, 0}, {3, 4}, {3, 4.000001}, {3, 10}};
  CurveRec* c = curveNew(pts, 4, kCurveKindPolyline);
  AlpPtr pl(arcLenPlineFromCurve(c));
  ASSERT_NE(pl, nullptr);
  EXPECT_EQ(pl->capacity, 8);
  ASSERT_EQ(pl->count, 3);
  EXPECT_DOUBLE_EQ(pl->params[1], 5);
  EXPECT_DOUBLE_EQ(pl->params[2], 11);
  EXPECT_EQ(pl->points[2].z, 0);
  curveFree(c);
  const Vec3d a{0, 0, 0}, b{0, 3, 4};
  CurveRec* l3 = curveNewLine3d(&a, &b);
  AlpPtr pz(arcLenPlineFromCurve(l3));
  EXPECT_DOUBLE_EQ(pz->params[1], 5);  // 3D length
  EXPECT_EQ(pz->points[1].z, 4);
  curveFree(l3);
}

TEST(ArcLenPlineFromPline, TrimmedToTheFirstAndLastUsablePoint) {
  const PointStatus gap = pointStatusMake(0, kPointGap);
  const PointStatus cut = pointStatusMake(kPointKindContact, kPointCut);
  const PointStatus dropped = pointStatusMake(kPointKindContact, kPointDropped);
  PlinePtr src = plineThrough({{0, 0, 0}, {1, 0, 0}, {2, 0, 0}, {3, 0, 0}, {4, 0, 0}, {5, 0, 0}},
                              {gap, gap, cut, gap, cut, dropped});
  AlpPtr pl(arcLenPlineFromPline(src.get()));
  ASSERT_NE(pl, nullptr);
  ASSERT_EQ(pl->count, 3);
  EXPECT_EQ(pl->points[0].x, 2);
  EXPECT_EQ(pl->params[2], 4);
  EXPECT_EQ(pl->capacity, 12);
  PlinePtr none = plineThrough({{0, 0, 0}, {1, 0, 0}}, {gap, dropped});
  EXPECT_EQ(arcLenPlineFromPline(none.get()), nullptr);
}

TEST(ArcLenPlineNearest, ParameterOnTheWinningSegment) {
  AlpPtr pl = twoPoint({0, 0, 0}, {10, 0, 0}, 10, 20);
  const Vec3d beside{5, 3, 4};
  double t = 0;
  Vec3d out{};
  EXPECT_NEAR(arcLenPlineNearest3d(pl.get(), &beside, &t, &out), 5, 1e-12);
  EXPECT_NEAR(t, 15, 1e-12);
  EXPECT_NEAR(arcLenPlineNearest2d(pl.get(), &beside, &t, &out), 3, 1e-12);
  EXPECT_NEAR(t, 15, 1e-12);
  // In plan view the height of a sloped polyline does not count.
  AlpPtr slope = twoPoint({0, 0, 0}, {10, 0, 10}, 0, 1);
  const Vec3d above{2.5, 1, 0};
  EXPECT_NEAR(arcLenPlineNearest2d(slope.get(), &above, &t, &out), 1, 1e-12);
  EXPECT_NEAR(t, 0.25, 1e-12);
  EXPECT_NEAR(out.z, 2.5, 1e-12);
}

TEST(ArcLenPlineNearestToSeg, CrossingSegmentTouches) {
  AlpPtr pl = twoPoint({0, 0, 0}, {10, 0, 0}, 0, 10);
  const Vec3d seg[2] = {{4, -3, 0}, {4, 3, 0}};
  double t = 0;
  Vec3d onSeg{}, onPl{};
  EXPECT_NEAR(arcLenPlineNearestToSeg(pl.get(), seg, &t, &onSeg, &onPl), 0, 1e-12);
  EXPECT_NEAR(onSeg.x, 4, 1e-12);
  EXPECT_NEAR(onSeg.y, 0, 1e-12);
  EXPECT_NEAR(onPl.x, 4, 1e-12);
  EXPECT_NEAR(t, 4, 1e-12);
}

// A polyline of one point (a Pline with one usable point gives one) is
// measured as that point: a caller comparing the distance with a clearance
// sees a real distance, never a hit by accident.
TEST(ArcLenPlineNearest, SinglePointAndEmptyPolylines) {
  AlpPtr one(arcLenPlineCreate(0));
  EXPECT_EQ(one->capacity, 1);
  one->points[0] = {1, 1, 1};
  one->params[0] = 7;
  one->count = 1;
  const Vec3d seg[2] = {{0, 5, 1}, {2, 5, 1}};
  double t = 0;
  Vec3d onSeg{}, onPl{};
  EXPECT_NEAR(arcLenPlineNearestToSeg(one.get(), seg, &t, &onSeg, &onPl), 4, 1e-12);
  EXPECT_EQ(t, 7);
  EXPECT_NEAR(onSeg.x, 1, 1e-12);
  const Vec3d p{1, 4, 5};
  EXPECT_NEAR(arcLenPlineNearest3d(one.get(), &p, &t, &onPl), 5, 1e-12);
  EXPECT_NEAR(arcLenPlineNearest2d(one.get(), &p, &t, &onPl), 3, 1e-12);
  EXPECT_EQ(t, 7);
  one->count = 0;
  EXPECT_EQ(arcLenPlineNearest3d(one.get(), &p, &t, &onPl), DBL_MAX);
  EXPECT_EQ(arcLenPlineNearest2d(one.get(), &p, &t, &onPl), DBL_MAX);
  EXPECT_EQ(arcLenPlineNearestToSeg(one.get(), seg, &t, &onSeg, &onPl), DBL_MAX);
}

TEST(ArcLenPlineCopy, SameCapacityPointsAndParameters) {
  AlpPtr pl = twoPoint({0, 0, 0}, {3, 4, 0}, 0, 5);
  AlpPtr copy(arcLenPlineCopy(pl.get()));
  ASSERT_NE(copy, nullptr);
  EXPECT_EQ(copy->capacity, 2);
  EXPECT_EQ(copy->count, 2);
  EXPECT_EQ(copy->points[1].y, 4);
  EXPECT_EQ(copy->params[1], 5);
  EXPECT_EQ(arcLenPlineCopy(nullptr), nullptr);
}

TEST(ArcLenPlineListReadFile, EveryProfileInFileOrder) {
  ArcLenPlineNode* list = arcLenPlineListReadFile(TESSARO_TEST_DATA "/prf/three_profiles.prf");
  ASSERT_NE(list, nullptr);
  int n = 0;
  for (ArcLenPlineNode* node = list; node != nullptr; node = node->next) {
    ASSERT_NE(node->pline, nullptr);
    EXPECT_GE(node->pline->count, 1);
    ++n;
  }
  EXPECT_EQ(n, 3);
  const ArcLenPline* second = list->next->pline;
  ASSERT_EQ(second->count, 3);
  EXPECT_DOUBLE_EQ(second->params[2], 20);
  arcLenPlineListFree(list);
  EXPECT_EQ(arcLenPlineListReadFile("/nonexistent/none.prf"), nullptr);
  arcLenPlineListFree(nullptr);
}

}  // namespace
