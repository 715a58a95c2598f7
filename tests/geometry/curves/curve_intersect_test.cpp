#include "geometry/curves/curve_intersect.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

CurveRec* curve3d(const std::vector<Vec3d>& pts) {
  CurveRec* c = curveNewOwned(static_cast<int>(pts.size()), kCurveKindPolyline, true);
  for (size_t i = 0; i < pts.size(); ++i) {
    c->points[i] = {pts[i].x, pts[i].y};
    c->z[i] = pts[i].z;
  }
  curveUpdateLengths(c);
  return c;
}

TEST(CurveIntersectPlane, NearestHitOfTheSegments) {
  // A zig-zag that crosses the plane x = 2 twice; the hit nearer p wins.
  CurveRec* c = curve3d({{0, 0, 0}, {4, 0, 0}, {4, 3, 0}, {0, 3, 0}});
  const Vec3d n{1, 0, 0};
  const Vec3d nearTop{2, 2.5, 0};
  Vec3d out{};
  ASSERT_EQ(curveIntersectPlane(c, &nearTop, &n, &out), 1);
  EXPECT_NEAR(out.y, 3, 1e-12);
  const Vec3d nearBottom{2, 0.4, 0};
  ASSERT_EQ(curveIntersectPlane(c, &nearBottom, &n, &out), 1);
  EXPECT_NEAR(out.y, 0, 1e-12);
  curveFree(c);
}

TEST(CurveIntersectPlane, LengthenedEndsMeetThePlane) {
  CurveRec* c = curve3d({{0, 0, 0}, {1, 0, 1}, {2, 0, 2}});
  const Vec3d n{1, 0, 0};
  Vec3d out{};
  const Vec3d before{-3, 0, 0};
  ASSERT_EQ(curveIntersectPlane(c, &before, &n, &out), 1);
  EXPECT_NEAR(out.x, -3, 1e-9);
  EXPECT_NEAR(out.z, -3, 1e-9);
  const Vec3d after{50, 0, 0};
  ASSERT_EQ(curveIntersectPlane(c, &after, &n, &out), 1);
  EXPECT_NEAR(out.z, 50, 1e-9);
  // Beyond the lengthening of 100.
  const Vec3d far{90, 0, 0};
  EXPECT_EQ(curveIntersectPlane(c, &far, &n, &out), 0);
  curveFree(c);
}

TEST(CurveIntersectPlane, ShortCurvesAndCurvesWithoutZ) {
  const Vec3d p{0, 0, 0}, n{1, 0, 0};
  Vec3d out{};
  CurveRec* one = curve3d({{5, 5, 5}});
  EXPECT_EQ(curveIntersectPlane(one, &p, &n, &out), 0);
  curveFree(one);
  EXPECT_EQ(curveIntersectPlane(nullptr, &p, &n, &out), 0);
  // Without z values the segments are tested at z 0; the ends cannot be
  // lengthened (no 3D tangent).
  Vec2d pts[] = {{-1, 0}, {1, 0}};
  CurveRec* flat = curveNew(pts, 2, kCurveKindPolyline);
  ASSERT_EQ(curveIntersectPlane(flat, &p, &n, &out), 1);
  EXPECT_NEAR(out.x, 0, 1e-12);
  const Vec3d miss{5, 0, 0};
  EXPECT_EQ(curveIntersectPlane(flat, &miss, &n, &out), 0);
  curveFree(flat);
}

}  // namespace
