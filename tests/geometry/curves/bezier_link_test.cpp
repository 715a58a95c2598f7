#include "geometry/curves/bezier_link.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>

#include "geometry/curves/curve.h"
#include "geometry/curves/spline3d.h"

namespace {

// The cubic Bezier point at t by de Casteljau.
Vec3d bezier(const Vec3d p[4], double t) {
  Vec3d q[4] = {p[0], p[1], p[2], p[3]};
  for (int k = 3; k > 0; --k) {
    for (int i = 0; i < k; ++i) {
      q[i] = Vec3d{q[i].x + t * (q[i + 1].x - q[i].x), q[i].y + t * (q[i + 1].y - q[i].y),
                   q[i].z + t * (q[i + 1].z - q[i].z)};
    }
  }
  return q[0];
}

double segDist(const Vec3d& p, const Vec3d& a, const Vec3d& b) {
  const double ux = b.x - a.x, uy = b.y - a.y, uz = b.z - a.z;
  const double l2 = ux * ux + uy * uy + uz * uz;
  double t = l2 > 0 ? ((p.x - a.x) * ux + (p.y - a.y) * uy + (p.z - a.z) * uz) / l2 : 0;
  t = std::fmax(0, std::fmin(1, t));
  return std::hypot(p.x - a.x - t * ux, p.y - a.y - t * uy, p.z - a.z - t * uz);
}

class BezierLinkTest : public testing::Test {
 protected:
  void TearDown() override { curveLinkSetStepover(0.0); }
};

TEST_F(BezierLinkTest, UTurnHasFourThirdsHandlesAndStaysWithinTheTolerance) {
  const Vec3d before{8, 0, 0}, start{10, 0, 0}, end{10, 2, 0}, after{8, 2, 0};
  Spline3dRec* s = bezierLinkSpline(&start, &before, &end, &after, 1.0);
  ASSERT_NE(s, nullptr);
  // Control points from the power basis: c1 = p0 + b/3.
  const Spline3dSeg& seg = s->segs[0];
  EXPECT_NEAR(seg.cx[0] + seg.cx[1] / 3, 10 + 4.0 / 3, 1e-12);
  spline3dFree(s);

  Vec3d* pts = nullptr;
  int n = 0;
  ASSERT_EQ(curveLinkPolyline(&start, &before, &end, &after, 1.0, 0.01, &pts, &n), 0);
  const Vec3d ctrl[4] = {start, {10 + 4.0 / 3, 0, 0}, {10 + 4.0 / 3, 2, 0}, end};
  EXPECT_EQ(pts[0].x, start.x);
  EXPECT_NEAR(pts[n - 1].y, 2.0, 1e-12);
  for (int k = 0; k <= 200; ++k) {
    const Vec3d c = bezier(ctrl, k / 200.0);
    double best = 1e9;
    for (int i = 1; i < n; ++i) best = std::fmin(best, segDist(c, pts[i - 1], pts[i]));
    EXPECT_LE(best, 0.01) << k;
  }
  std::free(pts);
}

TEST_F(BezierLinkTest, StraightContinuationTurnsTheArrivalAround) {
  const Vec3d before{0, 0, 0}, start{1, 0, 0}, end{3, 0, 0}, after{4, 0, 0};
  Spline3dRec* s = bezierLinkSpline(&start, &before, &end, &after, 1.0);
  ASSERT_NE(s, nullptr);
  const Spline3dSeg& seg = s->segs[0];
  // Leaving and arriving along +x would divide by zero: the arrival handle
  // is turned to lie beyond the end instead of before it.
  const double p2x = seg.cx[0] + 2 * seg.cx[1] / 3 + seg.cx[2] / 3;
  EXPECT_GT(p2x, end.x);
  spline3dFree(s);
  EXPECT_EQ(bezierLinkSpline(&start, &start, &end, &after, 1.0), nullptr);
}

TEST_F(BezierLinkTest, StepoverLimitsTheLinks) {
  const Vec3d before{-1, 0, 0}, after{-1, 0.005, 0};
  const Vec3d start{0, 0, 0}, close{0, 0.005, 0};
  curveLinkSetStepover(0.0);
  CurveRec* link = curveLinkCreate(&start, &before, &close, &after, 0);
  EXPECT_NE(link, nullptr);
  curveFree(link);
  curveLinkSetStepover(1.0);
  EXPECT_EQ(curveLinkCreate(&start, &before, &close, &after, 0), nullptr);
  const Vec3d far{0, 7, 0}, afterFar{-1, 7, 0};
  EXPECT_EQ(curveLinkCreate(&start, &before, &far, &afterFar, 0), nullptr);
  const Vec3d near{0, 2, 0}, afterNear{-1, 2, 0};
  link = curveLinkCreate(&start, &before, &near, &afterNear, 0);
  ASSERT_NE(link, nullptr);
  EXPECT_NE(link->z, nullptr);
  curveFree(link);
}

TEST_F(BezierLinkTest, DipLowersTheMiddleByHalfTheChord) {
  const Vec3d before{8, 0, 5}, start{10, 0, 5}, end{10, 2, 5}, after{8, 2, 5};
  CurveRec* link = curveLinkCreate(&start, &before, &end, &after, 1);
  ASSERT_NE(link, nullptr);
  const int n = link->count;
  const int m = (n - 1) / 2;
  EXPECT_DOUBLE_EQ(link->z[0], 5.0);
  EXPECT_DOUBLE_EQ(link->z[n - 1], 5.0);
  EXPECT_NEAR(link->z[m], 5.0 - 1.0, 1e-12);
  curveFree(link);
}

TEST_F(BezierLinkTest, ApproximationPieces) {
  const Vec3d a{0, 0, 0}, b{1, 0, 0}, c{2, 0, 0}, d{3, 0, 0};
  Spline3dRec* line = spline3dFromCubic(&a, &b, &c, &d, 1.0);
  Vec3d* pts = nullptr;
  int n = 0;
  ASSERT_EQ(curve3DApprox(line, 0.01, &pts, &n), 0);
  EXPECT_EQ(n, 2);
  std::free(pts);
  spline3dFree(line);
  // A large curve with tolerance 0 never becomes flat: every piece is taken
  // at the depth limit.
  const Vec3d p0{0, 0, 0}, p1{1e4, 0, 0}, p2{1e4, 1e4, 0}, p3{0, 1e4, 0};
  Spline3dRec* big = spline3dFromCubic(&p0, &p1, &p2, &p3, 1.0);
  ASSERT_EQ(curve3DApprox(big, 0.0, &pts, &n), 0);
  EXPECT_EQ(n, (1 << kBezierMaxDepth) + 1);
  std::free(pts);
  spline3dFree(big);
  Spline3dRec empty;
  EXPECT_EQ(curve3DApprox(&empty, 0.01, &pts, &n), 0);
  EXPECT_EQ(pts, nullptr);
  EXPECT_EQ(n, 0);
}

TEST(CurveApproxFlatTest, Table) {
  const struct {
    Vec3d a, m, b;
    double tol;
    int flat;
  } rows[] = {
      {{0, 0, 0}, {1, 0.001, 0}, {2, 0, 0}, 0.01, 1},
      {{0, 0, 0}, {1, 0.5, 0}, {2, 0, 0}, 0.01, 0},
      {{0, 0, 0}, {2, 0, 0}, {1, 0, 0}, 0.01, 0},  // turns back
      {{0, 0, 0}, {0, 0, 0}, {0, 0, 0}, 0.0, 1},
  };
  for (const auto& r : rows) {
    double ratio = -1;
    EXPECT_EQ(curveApproxFlat(&r.a, &r.m, &r.b, r.tol, &ratio), r.flat);
  }
  const Vec3d pts[3] = {{0, 0, 0}, {3, 4, 0}, {3, 8, 0}};
  double len = 0;
  EXPECT_EQ(polyLengthWithin(pts, 3, 10, &len), 0);
  EXPECT_EQ(len, 9.0);
  EXPECT_EQ(polyLengthWithin(pts, 3, 6, &len), -1);
}

}  // namespace
